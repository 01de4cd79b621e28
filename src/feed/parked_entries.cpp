// One parked entry of the service ([lat, lon, stand, type, registration,
// time, callsign]) into a ParkedRecord.
#include "core/clock.h"
#include "core/log.h"
#include "core/text.h"
#include "feed/entry_limits.h"
#include "feed/feed_entry_read.h"
#include "feed/traffic_reader.h"

#include <fmt/format.h>
#include <gsl/narrow>

#include <cmath>

namespace {

constexpr std::size_t kParkedEntryMinSize = 7;

std::int32_t lf_slotOf(std::int64_t t) {
    const auto utc = gf_utcBreakdown(t);
    if (!utc) return -1;
    int slot = 2 * utc->hour;
    if (utc->minute >= 30 || (utc->minute == 29 && utc->second >= 30)) slot += 1;
    return slot % 48;
}

std::int64_t lf_timeStamp(const nlohmann::json& v) {
    if (v.is_number_float()) {
        // Checked before the conversion: a value outside the 64-bit range
        // (or not finite) is a narrowing error, never undefined behaviour.
        const double t = std::round(v.get<double>());
        if (!(t >= -9.2233720368547758e18 && t < 9.2233720368547758e18)) throw gsl::narrowing_error();
        return static_cast<std::int64_t>(t);
    }
    // Anything but a number throws the JSON library's type error.
    return v.get<std::int64_t>();
}

std::string lf_aliasType(const std::string& type) {
    if (type == "A380") return "A388";
    if (type == "B767") return "B763";
    if (type == "B747") return "B744";
    if (type == "B757") return "B752";
    return type;
}

std::string lf_cleanCallsign(std::string cs) {
    if (cs == "null") return {};
    if (cs.find('@') != std::string::npos) return {};
    if (cs.size() >= 5 && cs.find("00000") != std::string::npos) return {};
    if (cs.size() > 8) return {};
    if (!cs.empty() && cs.front() == '.') cs.erase(0, 1);
    return cs;
}

void lf_completeFromDbase(ParkedRecord& r, FeedEnv& env) {
    if (r.registration.empty() && !r.callsign.empty()) {
        if (auto rec = env.lookupRegistration(r.callsign)) {
            r.airline = rec->airl;
            r.type = rec->type;
            r.registration = r.callsign;
            if (!rec->opr.empty()) r.airline = rec->opr;
        }
        return;
    }
    if (r.registration.empty()) return;
    for (const auto& key : env.registrationKeys(r.registration)) {
        if (auto rec = env.findRegistrationKey(key)) {
            r.airline = rec->airl;
            r.type = rec->type;
            if (!rec->opr.empty()) r.airline = rec->opr;
            if (r.callsign.empty()) r.callsign = r.registration;
            return;
        }
    }
}

bool lf_categoryWanted(FeedCategory category, const FeedSettings& s) {
    switch (category) {
        case FeedCategory::light: return s.lightAircraft;
        case FeedCategory::highPerf: return s.highPerfAircraft;
        case FeedCategory::rotorcraft: return s.helicopters;
        default: return true;
    }
}

}  // namespace

void TrafficReader::processParkedTrafficLine(const std::string& key) {
    try {
        const nlohmann::json& e = parkedEntry;
        if (!e.is_array() || e.size() < kParkedEntryMinSize) return;
        FeedEnv& env = gf_feedEnv();
        const FeedSettings& s = answerSettings;
        ParkedRecord r;

        r.hexid = gf_parseHexid(key);
        if (r.hexid <= 10000) return;

        r.slot = lf_slotOf(lf_timeStamp(e[5]));

        r.registration = gf_entryText(e, 4);
        if (r.registration.size() > 12 || r.registration == "null") r.registration.clear();
        r.registration = entryDrops.clean(r.registration, kMaxRegistration_chars);

        r.type = entryDrops.clean(gf_entryText(e, 3), kMaxType_chars);
        if (r.type == "0" || r.type == "ZZZZ") {
            r.type.clear();
        } else {
            r.type = lf_aliasType(r.type);
        }

        // Integers are positions too: the service writes whole degrees
        // without a decimal point.
        r.lat = gf_entryNumberRaw(e, 0);
        r.lon = gf_entryNumberRaw(e, 1);
        if (!gf_positionInRange(r.lat, r.lon)) return;

        r.callsign = lf_cleanCallsign(entryDrops.clean(gf_entryText(e, 6), std::string::npos));

        lf_completeFromDbase(r, env);

        if (r.type.empty() || !env.isKnownAcType(r.type)) return;
        if (!lf_categoryWanted(env.acCategory(r.type), s)) return;

        if (!e[2].is_string()) return;
        r.standName = entryDrops.clean(e[2].get<std::string>(), kMaxStandName_chars);
        if (r.standName == s.reservedStand) return;
        if (r.standName == s.userParkingSpot) return;

        m_parkedWork.push_back(std::move(r));
    } catch (const std::runtime_error&) {
    } catch (const std::exception& ex) {
        gf_logHighlight(fmt::format("{}: {}", "processParkedTrafficLine", gf_logExcerpt(ex.what())));
    }
}
