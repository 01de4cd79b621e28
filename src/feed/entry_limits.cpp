#include "feed/entry_limits.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr std::array<const char*, static_cast<std::size_t>(ImpossibleValue::count)> kValueNames = {
    "", "latitude", "longitude", "altitude", "ground speed", "true airspeed", "vertical rate", "track", "roll"};

// A number at index of the entry, or no judgement for anything else.
bool lf_number(const nlohmann::json& entry, std::size_t index, double& v) {
    if (!entry.is_array() || index >= entry.size() || !entry[index].is_number()) return false;
    v = entry[index].get<double>();
    return true;
}

bool lf_outside(const nlohmann::json& entry, std::size_t index, double low, double high) {
    double v = 0.0;
    if (!lf_number(entry, index, v)) return false;
    return !(v >= low && v <= high);  // NaN and infinities are outside
}

}  // namespace

ImpossibleValue gf_impossibleLiveValue(const nlohmann::json& e) {
    const AircraftLimits& k = kAircraftLimits;
    if (lf_outside(e, 1, -90.0, 90.0)) return ImpossibleValue::latitude;
    if (lf_outside(e, 2, -180.0, 180.0)) return ImpossibleValue::longitude;
    if (lf_outside(e, 4, k.minAlt_ft, k.maxAlt_ft)) return ImpossibleValue::altitude;
    if (lf_outside(e, 5, k.minSpeed_kt, k.maxSpeed_kt)) return ImpossibleValue::groundSpeed;
    if (lf_outside(e, 20, k.minSpeed_kt, k.maxSpeed_kt)) return ImpossibleValue::trueAirspeed;
    if (lf_outside(e, 15, -k.maxVerticalRate_fpm, k.maxVerticalRate_fpm)) return ImpossibleValue::verticalRate;
    if (lf_outside(e, 3, -k.maxTrack_deg, k.maxTrack_deg)) return ImpossibleValue::track;
    if (lf_outside(e, 23, -k.maxRoll_deg, k.maxRoll_deg)) return ImpossibleValue::roll;
    return ImpossibleValue::none;
}

std::string gf_cleanFeedText(std::string_view text, std::size_t maxChars, bool* changed) {
    std::string out;
    out.reserve(std::min(text.size(), maxChars));
    bool taken = false;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x7F) {
            taken = true;
            continue;
        }
        if (out.size() == maxChars) {
            taken = true;
            break;
        }
        out += ch;
    }
    if (changed && taken) *changed = true;
    return out;
}

std::string EntryDrops::clean(std::string_view text, std::size_t maxChars) {
    bool changed = false;
    std::string out = gf_cleanFeedText(text, maxChars, &changed);
    if (changed) ++textsCleaned;
    return out;
}

int EntryDrops::dropped() const {
    int n = 0;
    for (int c : byValue) n += c;
    return n;
}

std::string EntryDrops::logLine(std::string_view answerName) const {
    const int n = dropped();
    if (n == 0 && textsCleaned == 0) return {};
    std::string reasons;
    for (std::size_t i = 1; i < byValue.size(); ++i) {
        if (byValue[i] == 0) continue;
        reasons += fmt::format("{}{} {}", reasons.empty() ? "" : ", ", byValue[i], kValueNames[i]);
    }
    return fmt::format("{}: {} entr{} dropped for values no aircraft can have{}{}, {} text{} cleaned", answerName, n,
                       n == 1 ? "y" : "ies", reasons.empty() ? "" : " (", reasons.empty() ? "" : reasons + ")",
                       textsCleaned, textsCleaned == 1 ? "" : "s");
}
