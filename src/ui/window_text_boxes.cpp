#include "ui/window_text_boxes.h"

#include "core/log.h"

#include <fmt/format.h>

#include <cstdlib>
#include <mutex>
#include <set>

namespace {

constexpr std::size_t kMaxName_chars = 64;
constexpr std::string_view kSuffix = ".txt";

bool lf_isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
}

}  // namespace

bool gf_isTextBoxesFileName(std::string_view name) {
    if (name.size() <= kSuffix.size() || name.size() > kMaxName_chars || name.front() == '.') return false;
    for (const char c : name) {
        if (!lf_isNameChar(c)) return false;
    }
    // Windows ignores trailing dots and spaces, and "NUL.txt" is a device:
    // the suffix checked as written keeps both out ("." is allowed inside).
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower.compare(lower.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) return false;
    static const std::set<std::string> kDevices = {"con", "prn", "aux", "nul", "com1", "com2", "com3", "com4", "com5",
                                                   "com6", "com7", "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4",
                                                   "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};
    return kDevices.count(lower.substr(0, lower.find('.'))) == 0;
}

std::optional<std::string> gf_textBoxesFileFromEnv() {
    const char* value = std::getenv("GLIM_TEXT_BOXES");
    if (!value || !*value) return std::nullopt;
    if (gf_isTextBoxesFileName(value)) return std::string(value);
    static std::mutex mutex;
    static std::set<std::string> logged;
    std::lock_guard lock(mutex);
    if (logged.insert(value).second) {
        gf_logHighlight("GLIM_TEXT_BOXES ignored: only a .txt file name in the working folder");
    }
    return std::nullopt;
}
