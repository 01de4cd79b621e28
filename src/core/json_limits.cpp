#include "core/json_limits.h"

#include <fmt/format.h>

#include <stdexcept>

bool gf_jsonDeeperThan(std::string_view text, int maxDepth) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth) return true;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

nlohmann::json gf_parseJsonCapped(std::string_view text, bool allowExceptions, std::string_view what) {
    if (gf_jsonDeeperThan(text, kMaxJsonDepth)) {
        if (allowExceptions) throw std::runtime_error(fmt::format("{} nested deeper than {} levels", what, kMaxJsonDepth));
        return nlohmann::json(nlohmann::json::value_t::discarded);
    }
    return nlohmann::json::parse(text, nullptr, allowExceptions);
}
