#include "feed/feed_entry_read.h"

#include <cmath>

double gf_entryNumberRaw(const nlohmann::json& entry, std::size_t index) {
    if (!entry.is_array() || index >= entry.size()) return 0.0;
    const auto& v = entry[index];
    return v.is_number() ? v.get<double>() : 0.0;
}

double gf_entryNumber(const nlohmann::json& entry, std::size_t index) {
    const double v = gf_entryNumberRaw(entry, index);
    return std::isfinite(v) ? v : 0.0;
}

bool gf_entryHasNumber(const nlohmann::json& entry, std::size_t index) {
    if (!entry.is_array() || index >= entry.size() || !entry[index].is_number()) return false;
    return std::isfinite(entry[index].get<double>());
}

std::string gf_entryText(const nlohmann::json& entry, std::size_t index) {
    if (!entry.is_array() || index >= entry.size()) return {};
    const auto& v = entry[index];
    return v.is_string() ? v.get<std::string>() : std::string();
}

std::uint32_t gf_parseHexid(std::string_view text) {
    std::uint64_t value = 0;
    bool any = false;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            break;
        }
        any = true;
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFull) return 0;
    }
    return any ? static_cast<std::uint32_t>(value) : 0;
}

bool gf_positionInRange(double lat, double lon) {
    if (!(lat >= -90.0 && lat <= 90.0)) return false;
    if (!(lon >= -180.0 && lon <= 180.0)) return false;
    return !(std::fabs(lat) < 0.0001 && std::fabs(lon) < 0.0001);
}
