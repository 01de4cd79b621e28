// One live entry of the service (a 48-value array) into a FlightRecord.
#include "core/clock.h"
#include "core/geometry.h"
#include "core/log.h"
#include "core/text.h"
#include "feed/entry_limits.h"
#include "feed/feed_entry_read.h"
#include "feed/traffic_reader.h"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <optional>
#include <string_view>
#include <unordered_set>

namespace {

constexpr std::size_t kLiveEntrySize = 48;
constexpr double kPi = 3.141592653589793;
constexpr double kGroundRadius_nm = 5.0;
constexpr double kNoAirportFileAlt_ft = -1000.0;
constexpr double kAirborneOnlyMargin_ft = 300.0;
// Where a report in the air corrects to exactly sea level: 0 is the ground.
constexpr double kBelowSeaLevel_ft = 0.01;
// Feed times this far from the system time (beyond the time shift) are
// garbage; they would move the clock and the engine's stream times. A PC
// clock that is off by hours makes every entry look so: hence the log line.
constexpr double kFeedTimeSlack_s = 7200.0;
// Beyond this an epoch time is no date any more.
constexpr double kLargestEpoch_s = 1.0e15;

constexpr std::array<std::string_view, 5> kRejectedCategories = {"B1", "B2", "B4", "C1", "C2"};
constexpr std::array<std::string_view, 4> kRejectedCallsigns = {"ERARMTR0", "ERARMTR1", "AIRPORT1", "00000000"};

struct GroundRule {
    double height_ft;
    double speed_kt;
};
constexpr std::array<GroundRule, 3> kGroundRules = {{{42.0, 120.0}, {84.0, 80.0}, {108.0, 43.0}}};
// At most this fast a report near the field is on the ground at any height
// the pressure altitude reads there (a QNH off by some hPa reads a taxiing
// aircraft a few hundred feet high).
constexpr double kSlowGround_kt = 35.0;
constexpr double kSlowGroundAbove_ft = 300.0;
constexpr double kClimbOrSink_fpm = 256.0;

struct TasRow {
    double alt_ft;
    double tas_kt;
};
constexpr std::array<TasRow, 4> kDefaultTas = {{{2000.0, 180.0}, {5000.0, 220.0}, {10000.0, 250.0}, {20000.0, 350.0}}};
constexpr double kDefaultTasHigh_kt = 430.0;

// Last reported blocked callsign, kept for the life of the program
// (Traffic Reader thread only).
std::string g_lastBlockedCallsign;

bool lf_contains(auto list, std::string_view text) {
    for (auto item : list)
        if (item == text) return true;
    return false;
}

double lf_defaultTas(double alt_ft) {
    for (const auto& row : kDefaultTas)
        if (alt_ft <= row.alt_ft) return row.tas_kt;
    return kDefaultTasHigh_kt;
}

// The ground of the reports near the airport: the stand file's elevation,
// else the current airport's; none without either.
std::optional<double> lf_fieldElevation(const FeedSettings& s) {
    if (s.airportFileAlt_ft) return s.airportFileAlt_ft;
    if (s.currentAirport.present) return s.currentAirport.alt_ft;
    return std::nullopt;
}

// Reads the altitude into p (grounded_ft: the altitude the ground rules
// read as the ground, for the engine that knows the aircraft's state) and
// answers whether the entry goes on. An altitude the receiver did not have
// (null) is no height, not the ground.
bool lf_acceptAltitude(const nlohmann::json& e, StreamPoint& p, double& grounded_ft, int qnh, const FeedSettings& s) {
    const bool hasAlt = gf_entryHasNumber(e, 4);
    const bool hasSpeed = gf_entryHasNumber(e, 5);
    const double vrate = gf_entryNumber(e, 15);
    // A climb or descent of a few of the transponder's 64 ft/min steps: no
    // aircraft on its wheels reports one.
    const bool climbsOrSinks = std::fabs(vrate) >= kClimbOrSink_fpm;
    double a = gf_entryNumber(e, 4);
    p.alt = a;
    if (!hasAlt) {
        // A taxiing aircraft often has no altitude: slow (or of no speed) it
        // stays on the ground. Faster, or climbing or sinking, it is in the
        // air at a height nobody knows: the entry is left out rather than
        // put on the ground (or lifted off it) by a guess.
        if (climbsOrSinks || (hasSpeed && p.gs > kSlowGround_kt)) return false;
        a = 0.0;
    } else if (a > 0.0) {
        // An approach read with a QNH below the one where it flies comes out
        // up to some hundred feet below sea level: it stays in the air there
        // (0 is the ground), the simulator's ground under it decides where
        // its wheels meet the runway.
        a = (qnh - 1013.25) * 27.0 + a;
        if (a == 0.0) a = -kBelowSeaLevel_ft;
        bool ground = false;
        // Heights are read above the field: the stand file's elevation, or
        // the current airport's while its stand file is not read (yet).
        // Measured from 1,000 ft below sea level, a high airport's take-off
        // roll came in the air while its stand file could not be had and
        // lifted off early, hundreds of feet above its reports.
        const std::optional<double> field = lf_fieldElevation(s);
        if (a < 14000.0) {
            const double h = a - field.value_or(kNoAirportFileAlt_ft);
            const double ah = std::fabs(h);
            ground = h <= 0.0;
            for (const auto& rule : kGroundRules)
                if (!ground && ah <= rule.height_ft && p.gs <= rule.speed_kt) ground = true;
        }
        // A slow report is on the ground only near the field: a hovering
        // helicopter or a slow aircraft in a head wind above it flies. With
        // no field known, slow is the ground as before. A report without any
        // speed is no slow one: near the field it reads as standing
        // (receivers send a standing aircraft's reports without a speed),
        // high above it it flies at a speed nobody knows. A standing
        // aircraft's spike of tens of thousands of feet then comes in the
        // air, where the engine refuses a height it cannot have climbed to.
        const bool nearField = !field || a - *field <= kSlowGroundAbove_ft;
        if (!ground && p.gs <= kSlowGround_kt && nearField) ground = true;
        if (ground) {
            grounded_ft = a;
            a = 0.0;
        }
    }
    if (!(p.alt > 0.0)) a = 0.0;  // reported on the ground (also a NaN)
    p.alt = a;
    if (!s.airborneOnly) return true;
    // A ground entry never passes, also at an airport above 300 ft, where
    // its 0 ft would otherwise count as far enough from the elevation.
    if (a == 0.0) return false;
    const double elevation = s.currentAirport.present ? s.currentAirport.alt_ft : 0.0;
    return std::fabs(a - elevation) > kAirborneOnlyMargin_ft;
}

bool lf_acceptCallsign(const nlohmann::json& e, FlightRecord& r, TrafficReader& reader, FeedEnv& env) {
    r.callsign = reader.entryDrops.clean(gf_entryText(e, 13), kMaxCallsign_chars);
    if (r.callsign == "null") {
        r.callsign.clear();
        return true;
    }
    if (r.callsign.find('@') != std::string::npos) {
        r.callsign.clear();
        return true;
    }
    if (lf_contains(kRejectedCallsigns, r.callsign)) return false;
    const std::string& blocked = reader.answerSettings.blockCallsign;
    if (!blocked.empty() && blocked == r.callsign) {
        if (reader.blockReport) {
            reader.blockReport = false;
            g_lastBlockedCallsign = blocked;
            env.pushBlockedEvent(r.hexid);
            env.setStatusLine(fmt::format("Live aircraft '{}' blocked", g_lastBlockedCallsign), true);
        } else if (blocked != g_lastBlockedCallsign) {
            reader.blockReport = true;
            g_lastBlockedCallsign.clear();
        }
        return false;
    }
    return true;
}

bool lf_feedTimeUsable(double t, std::int64_t now, std::int32_t toffset_min) {
    if (!std::isfinite(t)) return false;
    const double earliest = static_cast<double>(now) - toffset_min * 60.0 - kFeedTimeSlack_s;
    const double latest = static_cast<double>(now) + kFeedTimeSlack_s;
    return t >= earliest && t <= latest;
}

// Numbers no aircraft can reach are dropped, not clamped: the simulator
// would fly an aircraft at 1e308 ft, and a clamped value is a lie about where
// the aircraft is.
bool lf_withinAircraftLimits(const nlohmann::json& e, EntryDrops& drops) {
    const ImpossibleValue v = gf_impossibleLiveValue(e);
    if (v == ImpossibleValue::none) return true;
    drops.count(v);
    return false;
}

std::string lf_epochText(double t) {
    if (std::fabs(t) < kLargestEpoch_s) return gf_formatTime(static_cast<std::int64_t>(t));
    return fmt::format("{:.0f}", t);
}

}  // namespace

bool gf_slowReadsAsGround(double height_ft, double speed_kt) {
    if (height_ft <= 0.0) return true;
    for (const auto& rule : kGroundRules)
        if (height_ft <= rule.height_ft && speed_kt <= rule.speed_kt) return true;
    return speed_kt <= kSlowGround_kt && height_ft <= kSlowGroundAbove_ft;
}

bool gf_isNonAircraftType(std::string_view type) {
    static const std::unordered_set<std::string_view> kTypes = {"BALL", "EMER", "GLID", "GRND", "GND",
                                                                "PARA", "SERV", "SHIP", "VENT"};
    return kTypes.count(type) > 0;
}

void TrafficReader::processLine() {
    try {
        const nlohmann::json& e = entry;
        if (!e.is_array() || e.size() != kLiveEntrySize) return;
        FeedEnv& env = gf_feedEnv();
        const FeedSettings& s = answerSettings;
        FlightRecord r;

        // 1. Feed time, also the clock's data time.
        const double t = gf_entryNumberRaw(e, 10);
        const std::int64_t now = env.systemTime();
        if (!lf_feedTimeUsable(t, now, toffset.load())) {
            if (!feedTimeReported && std::isfinite(t)) {
                feedTimeReported = true;
                gf_logHighlight(fmt::format("Live traffic dropped: its time {} is more than 2 hours from this PC's "
                                            "time {}; check the PC's date, time and time zone",
                                            lf_epochText(t), gf_formatTime(now)));
            }
            return;
        }
        r.feedTime = t;
        gf_setDataTime(t);
        if (!lf_withinAircraftLimits(e, entryDrops)) return;

        // 2. Registration. Every text of the entry is cleaned and cut to its
        // field as it is read: it goes on to the simulator, the flight plan
        // and Log.txt.
        r.registration = gf_entryText(e, 9);
        if (r.registration.size() > 12) return;
        if (r.registration == "null") r.registration.clear();
        r.registration = entryDrops.clean(r.registration, kMaxRegistration_chars);

        // 3.-4. Type and emitter category.
        r.type = entryDrops.clean(gf_entryText(e, 8), kMaxType_chars);
        if (r.type == "0" || r.type == "ZZZZ") r.type.clear();
        if (r.type.empty()) return;
        const std::string category = gf_entryText(e, 28);
        if (category != "null" && !category.empty()) {
            if (lf_contains(kRejectedCategories, category)) return;
            if (gf_isNonAircraftType(r.type)) return;
        }

        // 5. Position.
        StreamPoint& p = r.point;
        p.lat = gf_entryNumberRaw(e, 1);
        p.lon = gf_entryNumberRaw(e, 2);
        if (!gf_positionInRange(p.lat, p.lon)) return;

        // 6. Range around the user.
        if (gf_distanceNm({filterLat.load(), filterLon.load()}, {p.lat, p.lon}) > s.range_nm) return;

        // 7. True heading, only from ADS-B with an ICAO address.
        if (gf_entryText(e, 17) == "adsb_icao") {
            const double v = gf_entryNumber(e, 25);
            if (v > 360.0) return;
            if (v == 0.0) {
                p.trueHeading_rad = 2.0 * kPi;
            } else if (v > 0.0) {
                p.trueHeading_rad = v * kPi / 180.0;
            }
            p.hasTrueHeading = p.trueHeading_rad.has_value();
        }

        // 8. Hexid.
        r.hexid = gf_parseHexid(gf_entryText(e, 0));
        if (r.hexid <= 10000) return;

        // 9.-12. Ground speed, altitude, callsign.
        p.gs = gf_entryNumber(e, 5);
        r.speedUnknown = !gf_entryHasNumber(e, 5);
        r.altitudeUnknown = !gf_entryHasNumber(e, 4);
        if (!lf_acceptAltitude(e, p, r.groundedAlt_ft, qnh.load(), s)) return;
        p.airborne = p.alt != 0.0;
        if (!lf_acceptCallsign(e, r, *this, env)) return;
        if (r.registration.empty() && r.callsign.empty()) return;

        // 13. Ids for the static parking.
        if (collect.load()) {
            std::lock_guard lock(m_collectMutex);
            if (!r.callsign.empty()) m_collected.callsigns.insert(r.callsign);
            m_collected.hexids.insert(r.hexid);
        }

        // 14. Ground traffic only around the current airport.
        if (!p.airborne) {
            if (!s.currentAirport.present) return;
            if (gf_distanceNm({s.currentAirport.lat, s.currentAirport.lon}, {p.lat, p.lon}) > kGroundRadius_nm) return;
        }

        // 15.-17. Track, vertical rate, origin and destination.
        p.track = gf_entryNumber(e, 3);
        if (p.track == 0.0 && p.trueHeading_rad) p.track = *p.trueHeading_rad * 180.0 / kPi;
        p.vrate = gf_entryNumber(e, 15);
        r.origin = entryDrops.clean(gf_entryText(e, 11), kMaxAirportCode_chars);
        if (r.origin == "null") r.origin.clear();
        r.destination = entryDrops.clean(gf_entryText(e, 12), kMaxAirportCode_chars);
        if (r.destination == "null") r.destination.clear();

        // 18. Bank, airborne only.
        if (p.airborne) {
            const double roll = gf_entryNumber(e, 23);
            if (roll != 0.0 && roll != -1.0) p.bank_rad = -roll * kPi / 180.0;
        }

        // 19. True airspeed, else the default by altitude.
        const auto& tas = e[20];
        if (tas.is_number() && gf_entryNumber(e, 20) != -1.0) {
            p.tas = gf_entryNumber(e, 20);
        } else {
            p.tas = lf_defaultTas(p.alt);
        }

        p.stationary = false;
        flightRecords.push_back(std::move(r));
    } catch (const std::runtime_error&) {
    } catch (const std::exception& ex) {
        gf_logLine(fmt::format("{}: {}", "processLine", gf_logExcerpt(ex.what())));
    }
}
