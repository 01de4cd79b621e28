// Whole user flights at the demo airport with its stands full of reported
// traffic: what the pilot sees while flying past, taking off, landing and
// standing on the runway, and two aircraft meeting on one stand.
#include <zlib.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>

#include "airports/park_airport_state.h"
#include "core/geometry.h"
#include "core/settings.h"
#include "simlink/sim_ids.h"
#include "traffic/traffic_state.h"
#include "user_flight_driver.h"

namespace {

// A runway along the demo airport's west side, northbound, its threshold at
// the south end; the D and E stands lie 0.23 nm and more east of it, their
// noses toward it.
constexpr double kRwyLat = 52.300, kRwyLon = 4.755;
constexpr double kLonPerNm = 1.0 / 60.0 / 0.6115;

class UserFlights : public UserFlightDriver {
protected:
    void SetUp() override {
        UserFlightDriver::SetUp();
        loadDemoAirport();
        CUSTOM_PARKING_PERCENTAGE.setValue(100);  // no parked aircraft removed to keep stands free
    }
    // 21 aircraft reported on the D and E stands throughout.
    std::vector<std::uint32_t> fillStands(double to_s, const std::string& except = {}) {
        std::vector<std::uint32_t> hexids;
        for (const Stand& s : g_standList) {
            const std::string name = gf_standName(s);
            if ((name[0] != 'D' && name[0] != 'E') || name == except) continue;
            const std::uint32_t hex = 0x480000 + static_cast<std::uint32_t>(hexids.size());
            standing(hex, "KLM" + std::to_string(100 + hexids.size()), "A320", s, 0.0, to_s);
            hexids.push_back(hex);
        }
        return hexids;
    }
    static int parkedActive(const std::vector<std::uint32_t>& hexids) {
        int n = 0;
        for (std::uint32_t h : hexids) {
            const LiveAc* ac = liveAc(h);
            n += ac && ac->simState == SimState::active && ac->flightState == FlightState::parked;
        }
        return n;
    }
    // Taxis at 8 kt from `from` to `to` (records every 5 s), then stands
    // still there, reported until `to_s`.
    void taxiThenStand(std::uint32_t hexid, const std::string& cs, LatLon from, LatLon to, double to_s) {
        const double track = gf_initialBearing(from, to) * kRadToDeg;
        const double d_nm = gf_distanceNm(from, to);
        const int steps = std::max(1, static_cast<int>(d_nm * 3600.0 / 8.0 / 5.0));
        double t = 0;
        for (int i = 0; i <= steps; ++i, t += 5.0) {
            const double f = static_cast<double>(i) / steps;
            schedule({record(hexid, cs, "A320",
                             Fix{.lat = from.lat + f * (to.lat - from.lat), .lon = from.lon + f * (to.lon - from.lon),
                                 .alt_ft = 0, .gs_kt = i < steps ? 8.0 : 0.0, .track_deg = track, .feedTime = t})});
        }
        for (; t <= to_s; t += 16.0)
            schedule({record(hexid, cs, "A320",
                             Fix{.lat = to.lat, .lon = to.lon, .alt_ft = 0, .gs_kt = 0, .track_deg = track,
                                 .feedTime = t})});
    }
    // A northbound flight down the runway's line: n records every dt_s from
    // d_nm south of the threshold, 3 degrees down to the ground at it.
    static std::vector<FlightRecord> arrival(std::uint32_t hexid, double from_s, double d_nm, double gs_kt,
                                             double dt_s, int n) {
        std::vector<FlightRecord> out;
        for (int i = 0; i < n; ++i) {
            const double left_nm = d_nm - gs_kt * dt_s * i / 3600.0;
            const double agl = std::max(0.0, left_nm * kFeetPerNm * std::tan(3.0 * kDegToRad));
            out.push_back(record(hexid, "DLH9", "A320",
                                 Fix{.lat = kRwyLat - left_nm / 60.0,
                                     .lon = kRwyLon,
                                     .alt_ft = agl > 0 ? agl - 11.0 : 0.0,
                                     .gs_kt = left_nm > 0 ? gs_kt : 60.0,
                                     .track_deg = 0.0,
                                     .feedTime = from_s + dt_s * i}));
        }
        return out;
    }
};

TEST_F(UserFlights, ParkedTrafficStaysWhileTheUserFliesACircuitOverTheAprons) {
    const auto parked = fillStands(400.0);
    // 2 x 1 nm at 900 ft over the D and E stands, 120 kt, twice round after
    // a minute on the way in while the stands fill.
    const double cLat = 52.311, cLon = 4.765;
    std::vector<UserWaypoint> path{{0, cLat - 0.5 / 60, cLon - 4.0 * kLonPerNm, 900}};
    double t = 60;
    for (int lap = 0; lap < 2; ++lap) {
        for (auto [dLat, dLon] : {std::pair{-0.5, -1.0}, {-0.5, 1.0}, {0.5, 1.0}, {0.5, -1.0}}) {
            const UserWaypoint& last = path.back();
            const UserWaypoint next{0, cLat + dLat / 60, cLon + dLon * kLonPerNm, 900};
            t += gf_distanceNm({last.lat, last.lon}, {next.lat, next.lon}) * 30.0;
            path.push_back(UserWaypoint{t, next.lat, next.lon, 900});
        }
    }
    const FlightFindings seen = fly(path);
    EXPECT_TRUE(seen.removals.empty()) << seen.removals.size() << " removals, the first of " << std::hex
                                       << (seen.removals.empty() ? 0 : seen.removals[0].hexid);
    EXPECT_EQ(parkedActive(parked), 21);
    EXPECT_TRUE(seen.overlaps.empty()) << seen.overlaps.front();
    EXPECT_TRUE(seen.offGround.empty()) << seen.offGround.front();
}

TEST_F(UserFlights, ParkedTrafficStaysWhileTheUserTakesOffPastTheAprons) {
    const auto parked = fillStands(300.0);
    // Lined up 100 s while the stands fill, a 30 s roll, lift-off and a
    // climb at 1,000 ft a minute past the stands.
    const std::vector<UserWaypoint> path{{0, kRwyLat, kRwyLon, 0},
                                         {100, kRwyLat, kRwyLon, 0},
                                         {130, kRwyLat + 0.6 / 60, kRwyLon, 0},
                                         {250, kRwyLat + 6.0 / 60, kRwyLon, 2000}};
    const FlightFindings seen = fly(path);
    EXPECT_TRUE(seen.removals.empty()) << seen.removals.size() << " removals";
    EXPECT_EQ(parkedActive(parked), 21);
    EXPECT_TRUE(seen.overlaps.empty()) << seen.overlaps.front();
    EXPECT_TRUE(seen.offGround.empty()) << seen.offGround.front();
}

// The user lined up on the runway; an arrival comes down its line to land
// through the user: it goes on final, a mile or more before it reaches the
// user. One that lands on a parallel runway 0.5 nm east passes.
TEST_F(UserFlights, ArrivalToTheRunwayTheUserStandsOnGoesOnFinal) {
    constexpr std::uint32_t kArrival = 0x3C0001, kParallel = 0x3C0002;
    schedule(arrival(kArrival, 0.0, 8.0, 140.0, 5.0, 50));
    auto parallel = arrival(kParallel, 2.0, 8.0, 140.0, 5.0, 50);
    for (FlightRecord& r : parallel) r.point.lon += 0.5 * kLonPerNm;
    schedule(parallel);
    const std::vector<UserWaypoint> path{{0, kRwyLat, kRwyLon, 0}, {300, kRwyLat, kRwyLon, 0}};
    const FlightFindings seen = fly(path);
    // Removed, it comes back at its next report and goes again.
    ASSERT_GE(seen.removedBy(kArrival), 1) << "the arrival lands through the user";
    for (const UserRemoval& r : seen.removals) {
        if (r.hexid != kArrival) continue;
        EXPECT_FALSE(r.acOnGround);
        EXPECT_GE(r.dist_nm, 1.0) << "at " << r.t_s << " s";
    }
    EXPECT_EQ(seen.removedBy(kParallel), 0);
}

// On final to the runway with an aircraft lined up on it: it goes while the
// user is in the air. Beside it one stands still on the runway's edge facing
// across it, as at a holding point: it stays.
TEST_F(UserFlights, AircraftLinedUpOnTheRunwayTheUserLandsOnGoes) {
    constexpr std::uint32_t kLinedUp = 0x3C0011, kHolding = 0x3C0012;
    taxiThenStand(kLinedUp, "KLM77", gf_toward(kRwyLat, kRwyLon, 180.0, 0.05), {kRwyLat, kRwyLon}, 260.0);
    taxiThenStand(kHolding, "KLM78", gf_toward(kRwyLat - 0.0005, kRwyLon, 90.0, 0.15),
                  gf_toward(kRwyLat - 0.0005, kRwyLon, 90.0, 0.05), 260.0);
    // Four miles out at 1,270 ft from second 90, down at the threshold at 200.
    const std::vector<UserWaypoint> path{{0, kRwyLat - 6.0 / 60, kRwyLon, 1900},
                                         {90, kRwyLat - 4.0 / 60, kRwyLon, 1270},
                                         {200, kRwyLat, kRwyLon, 0},
                                         {230, kRwyLat + 0.5 / 60, kRwyLon, 0}};
    const FlightFindings seen = fly(path);
    ASSERT_EQ(seen.removedBy(kLinedUp), 1);
    for (const UserRemoval& r : seen.removals) {
        if (r.hexid == kLinedUp) {
            EXPECT_FALSE(r.userOnGround);
        }
    }
    EXPECT_EQ(seen.removedBy(kHolding), 0);
}

}  // namespace

namespace {

// An aircraft parked on D7, then another taxis in to the same stand. When the
// feed no longer reports the parked one (it left unseen), it gives way to the
// newcomer; while it is still reported it keeps the stand and the newcomer
// waits short of it, never inside it.
TEST_F(UserFlights, SecondArrivalTakesAStandFromAStaleOccupantAndALiveOneKeepsIt) {
    constexpr std::uint32_t kOccupant = 0x3C0021, kNewcomer = 0x3C0022;
    for (bool stillReported : {false, true}) {
        SCOPED_TRACE(stillReported ? "occupant still reported" : "occupant silent");
        TearDown();
        SetUp();
        const Stand& d7 = standNamed("D7");
        const std::uint32_t d7Id = gf_standNumericId(d7);
        standing(kOccupant, "KLM401", "A320", d7, 0.0, stillReported ? 600.0 : 32.0);
        // From 150 m north-east at 8 kt, the last 45 m at a walking pace,
        // ending 4 m from the stand's mark.
        double t = 200.0;
        for (double left_m = 154.0; left_m >= 4.0; t += 5.0) {
            const LatLon at = gf_toward(d7.latitude, d7.longitude, 60.0, left_m / 1852.0);
            const double gs = left_m > 49.0 ? 8.0 : left_m > 4.0 ? 3.0 : 0.0;
            schedule({record(kNewcomer, "KLM402", "A320",
                             Fix{.lat = at.lat, .lon = at.lon, .alt_ft = 0, .gs_kt = gs, .track_deg = 240.0,
                                 .feedTime = t})});
            left_m = left_m > 4.0 ? std::max(4.0, left_m - gs * 1852.0 / 3600.0 * 5.0) : -1.0;
        }
        const LatLon end = gf_toward(d7.latitude, d7.longitude, 60.0, 4.0 / 1852.0);
        for (; t <= 600; t += 16)
            schedule({record(kNewcomer, "KLM402", "A320",
                             Fix{.lat = end.lat, .lon = end.lon, .alt_ft = 0, .gs_kt = 0, .track_deg = 240.0,
                                 .feedTime = t})});
        const FlightFindings seen = fly({{0, kRwyLat, kRwyLon, 0}, {600, kRwyLat, kRwyLon, 0}});
        const LiveAc* occupant = liveAc(kOccupant);
        const LiveAc* newcomer = liveAc(kNewcomer);
        ASSERT_NE(newcomer, nullptr);
        EXPECT_EQ(newcomer->simState, SimState::active);
        if (!stillReported) {
            EXPECT_TRUE(!occupant || occupant->simState != SimState::active);
            EXPECT_EQ(newcomer->flightState, FlightState::parked);
            EXPECT_EQ(newcomer->standId, d7Id);
            EXPECT_NE(logText().find("D7      : KLM401   removed, KLM402 wants to park there"), std::string::npos);
        } else {
            ASSERT_NE(occupant, nullptr);
            EXPECT_EQ(occupant->simState, SimState::active);
            EXPECT_EQ(occupant->flightState, FlightState::parked);
            EXPECT_EQ(occupant->standId, d7Id);
            EXPECT_NE(newcomer->standId, d7Id);
            // It rests where its path ended, its later reports from the
            // stand taken as its standing there: not stuck in "taxi", not
            // driven on into the parked one.
            EXPECT_EQ(newcomer->flightState, FlightState::parked);
            // Never within the circle of both wings, as a pilot sees it.
            const double wings_m = (occupant->size + newcomer->size) * 1852.0;
            EXPECT_GE(seen.closestOf(kOccupant, kNewcomer), wings_m) << logText();
            EXPECT_NE(logText().find("D7      : KLM402   stops short of KLM401 parked there"), std::string::npos);
        }
        EXPECT_TRUE(seen.offGround.empty()) << seen.offGround.front();
    }
}

}  // namespace

namespace {

// A whole flight among the parked traffic: a minute on stand E9, the taxi to
// the runway's threshold past the E stands, the line-up, the take-off, a
// circuit at 900 ft over the aprons, the approach and the landing roll. No
// aircraft goes for the user, none stands in another, none floats.
TEST_F(UserFlights, WholeFlightFromAStandAndBackLeavesTheParkedTrafficAlone) {
    const Stand& e9 = standNamed("E9");
    const auto parked = fillStands(700.0, "E9");
    const double taxiLon = kRwyLon + 0.002;
    const double north = e9.latitude + 0.0008;
    std::vector<UserWaypoint> path{{0, e9.latitude, e9.longitude, 0},
                                   {60, e9.latitude, e9.longitude, 0},
                                   {90, north, e9.longitude, 0},
                                   {150, north, taxiLon, 0},
                                   {330, kRwyLat, taxiLon, 0},
                                   {360, kRwyLat, kRwyLon, 0},
                                   {380, kRwyLat + 0.0001, kRwyLon, 0},
                                   {410, kRwyLat + 0.6 / 60, kRwyLon, 0},
                                   {470, kRwyLat + 2.5 / 60, kRwyLon, 900},
                                   {500, kRwyLat + 2.5 / 60, kRwyLon + 1.0 * kLonPerNm, 900},
                                   {570, kRwyLat - 1.5 / 60, kRwyLon + 1.0 * kLonPerNm, 900},
                                   {600, kRwyLat - 1.5 / 60, kRwyLon, 600},
                                   {640, kRwyLat, kRwyLon, 0},
                                   {680, kRwyLat + 0.8 / 60, kRwyLon, 0}};
    const FlightFindings seen = fly(path);
    EXPECT_TRUE(seen.removals.empty()) << seen.removals.size() << " removals";
    EXPECT_EQ(parkedActive(parked), 20);
    EXPECT_TRUE(seen.overlaps.empty()) << seen.overlaps.front();
    EXPECT_TRUE(seen.offGround.empty()) << seen.offGround.front();
}

}  // namespace

namespace {

struct RecordedRow {
    double t, lat, lon, alt, gs, track;
};

// The last minutes of a real flight's approach to runway 06 of the demo
// airport and its touchdown, one row a second, from the shared recordings.
std::vector<RecordedRow> lf_recordedFinal(double minutes) {
    const char* source = std::getenv("GLIM_SOURCE_DIR");
    std::filesystem::path file;
    for (const char* up : {"../shared/data/adsb", "../../shared/data/adsb"}) {
        const auto p = std::filesystem::path(source ? source : ".") / up / "eham_tra051_2018-05-30.json.gz";
        if (std::filesystem::exists(p)) file = p;
    }
    std::vector<RecordedRow> rows;
    if (file.empty()) return rows;
    gzFile gz = gzopen(file.string().c_str(), "rb");
    std::string text;
    char buffer[65536];
    for (int n; gz && (n = gzread(gz, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    if (gz) gzclose(gz);
    for (const auto& o : nlohmann::json::parse(text))
        rows.push_back(RecordedRow{o["timestamp"].get<double>() / 1000.0, o["latitude"].get<double>(),
                                   o["longitude"].get<double>(), o["altitude"].get<double>(),
                                   o["groundspeed"].get<double>(), o["track"].get<double>()});
    std::sort(rows.begin(), rows.end(), [](const RecordedRow& a, const RecordedRow& b) { return a.t < b.t; });
    const double end = rows.back().t;
    std::erase_if(rows, [&](const RecordedRow& r) { return r.t < end - minutes * 60.0; });
    for (RecordedRow& r : rows) r.t -= end - minutes * 60.0;
    return rows;
}

// A real arrival to runway 06, reported every 2 s: with the user lined up on
// that runway where the arrival touched down, it goes on final, a mile or
// more out; with the user on stand E9 it lands.
TEST_F(UserFlights, RecordedArrivalGoesOnlyForAUserOnItsRunway) {
    const std::vector<RecordedRow> rows = lf_recordedFinal(6.0);
    ASSERT_GT(rows.size(), 300u) << "the recorded flights are not at ../shared/data/adsb beside the source folder";
    const auto touchdown = std::find_if(rows.begin(), rows.end(), [](const RecordedRow& r) { return r.alt <= 0.0; });
    ASSERT_NE(touchdown, rows.end());
    for (bool onRunway : {true, false}) {
        SCOPED_TRACE(onRunway ? "user lined up on runway 06" : "user on stand E9");
        TearDown();
        SetUp();
        for (std::size_t i = 0; i < rows.size(); i += 2) {
            const RecordedRow& r = rows[i];
            // Under a callsign the sample liveries know.
            schedule({record(0x484506, "KLM051", "B738",
                             Fix{.lat = r.lat, .lon = r.lon, .alt_ft = std::max(r.alt, 0.0), .gs_kt = r.gs,
                                 .track_deg = r.track, .feedTime = r.t})});
        }
        const Stand& e9 = standNamed("E9");
        const LatLon at = onRunway ? LatLon{touchdown->lat, touchdown->lon} : LatLon{e9.latitude, e9.longitude};
        const double heading = onRunway ? 58.0 : e9.heading * kRadToDeg;
        const LatLon ahead = gf_toward(at.lat, at.lon, heading, 1.0 / 1852.0);
        const FlightFindings seen =
            fly({{0, at.lat, at.lon, 0}, {1, ahead.lat, ahead.lon, 0}, {400, ahead.lat, ahead.lon, 0}});
        if (onRunway) {
            ASSERT_GE(seen.removedBy(0x484506), 1);
            for (const UserRemoval& r : seen.removals) {
                EXPECT_FALSE(r.acOnGround);
                EXPECT_GE(r.dist_nm, 1.0) << "at " << r.t_s << " s";
            }
        } else {
            EXPECT_EQ(seen.removedBy(0x484506), 0);
        }
    }
}

}  // namespace

namespace {

// Low traffic that is not landing, and approaches flown anywhere: the user
// stands at the demo airport while aircraft fly their reports around it. A
// pilot expects each at its reported height, gear and flaps once per
// approach, and only what the reports land on the ground.
class AirTraffic : public UserFlights {
protected:
    // Reports every dt_s from `from` along a bearing at gs_kt until to_s:
    // the height above the ground (feet) and the reported vertical rate at
    // each report's time.
    struct Profile {
        std::function<double(double)> agl_ft;
        std::function<double(double)> vrate_fpm;
    };
    std::vector<FlightRecord> airFlight(std::uint32_t hexid, const std::string& type, LatLon from, double bearing_deg,
                                        double gs_kt, double dt_s, double to_s, const Profile& p) {
        std::vector<FlightRecord> out;
        for (double t = 0.0; t <= to_s; t += dt_s) {
            const LatLon at = gf_toward(from.lat, from.lon, bearing_deg, gs_kt * t / 3600.0);
            const double agl = p.agl_ft(t);
            // Under a callsign the sample liveries know for an airliner.
            const std::string airline = type == "A320" ? "DLH" : "AIR";
            FlightRecord r = record(hexid, airline + std::to_string(hexid % 1000), type,
                                    Fix{.lat = at.lat, .lon = at.lon, .alt_ft = agl > 0.0 ? agl + elevation_ft : 0.0,
                                        .gs_kt = agl > 0.0 ? gs_kt : 40.0, .track_deg = bearing_deg, .feedTime = t});
            r.point.vrate = agl > 0.0 ? p.vrate_fpm(t) : 0.0;
            out.push_back(r);
            m_profile.push_back({t, agl});
        }
        return out;
    }
    // What the pilot saw of the aircraft: how far below (or above) its
    // reports it flew where they were 300 ft or more above the ground (the
    // reports of the 20 s around the one it flies, 30 s behind the feed),
    // how low its wheels came in the air, whether it touched the ground,
    // and how often its gear went down or up.
    struct Seen {
        double deviation_ft = 0.0;
        double lowest_ft = 1e9;
        bool touched = false;
        int gearChanges = 0;
    };
    Seen watch(std::uint32_t hexid, double to_s) {
        Seen seen;
        eachSecond = [&, hexid](double t) {
            const LiveAc* ac = liveAc(hexid);
            if (!ac || ac->simState != SimState::active) return;
            seen.touched |= ac->groundMode != 0;
            if (ac->groundMode) return;
            const double wheels = ac->pos.alt - cg_ft - elevation_ft;
            seen.lowest_ft = std::min(seen.lowest_ft, wheels);
            double low = 1e9, high = -1e9;
            for (const auto& [rt, agl] : m_profile)
                if (std::fabs(rt - (t - 30.0)) <= 10.0) low = std::min(low, agl), high = std::max(high, agl);
            if (low >= 300.0) seen.deviation_ft = std::max({seen.deviation_ft, low - wheels, wheels - high});
        };
        fly({{0, kRwyLat, kRwyLon, 0}, {to_s, kRwyLat, kRwyLon, 0}});
        eachSecond = nullptr;
        const LiveAc* ac = liveAc(hexid);
        const std::uint32_t object = ac ? ac->objectId : 0;
        bool down = false;
        for (const AiEventCmd& e : sim.eventsOf(object)) {
            if (e.eventId != SimEventGearSet || (e.data == 1) == down) continue;
            ++seen.gearChanges;
            down = e.data == 1;
        }
        return seen;
    }
    std::vector<std::pair<double, double>> m_profile;
};

double lf_ramp(double t, double t0, double a0, double t1, double a1) {
    return t <= t0 ? a0 : t >= t1 ? a1 : a0 + (a1 - a0) * (t - t0) / (t1 - t0);
}

// Measured before this rule: the helicopter on the ground after 140 s (with
// scattered rates 2,573 ft below the ground), the A320 and the C172 flown
// onto the ground, the air ambulance 169 ft below its reports.
TEST_F(AirTraffic, LowTrafficThatIsNotLandingFliesAtItsReportedHeight) {
    struct Row {
        const char* what;
        const char* type;
        double fromAirport_nm;
        double gs_kt;
        std::function<double(double)> agl_ft;
        std::function<double(double)> vrate_fpm;
    };
    // Rates as a transponder scatters them about level flight.
    const auto scatter = [](double t) { return (static_cast<int>(t) % 6 - 2.5) * 128.0; };
    const Row rows[] = {
        {"a helicopter at 500 ft 20 nm from any airport, one report at 475 ft, then level", "EC35", 20.0, 100.0,
         [](double t) { return t == 20.0 ? 475.0 : 500.0; }, [](double t) { return t == 20.0 ? -320.0 : 0.0; }},
        {"the same with scattered vertical rates", "EC35", 20.0, 100.0,
         [](double t) { return t == 20.0 ? 475.0 : 500.0; }, scatter},
        {"an A320 stepping down to 600 ft 22 nm out, then level", "A320", 22.0, 180.0,
         [](double t) { return lf_ramp(t, 0, 2500, 114, 600); },
         [](double t) { return t < 114 ? -1000.0 : 0.0; }},
        {"a C172 level at 575 ft 6 nm from the park airport after a descent", "C172", 6.0, 90.0,
         [](double t) { return lf_ramp(t, 0, 900, 39, 575); }, [](double t) { return t < 39 ? -500.0 : 0.0; }},
        {"an air ambulance down to 600 ft, then level with scattered rates", "EC35", 12.0, 110.0,
         [](double t) { return lf_ramp(t, 0, 1500, 108, 600); },
         [&](double t) { return t < 108 ? -500.0 : scatter(t); }},
    };
    std::uint32_t hex = 0x3D0001;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TearDown();
        SetUp();
        m_profile.clear();
        // South of the airport, flying east past it.
        const LatLon from = gf_toward(kDemoLat, kDemoLon, 180.0, r.fromAirport_nm);
        schedule(airFlight(++hex, r.type, from, 90.0, r.gs_kt, 2.0, 330.0, Profile{r.agl_ft, r.vrate_fpm}));
        const Seen seen = watch(hex, 360.0);
        std::printf("%s: %.0f ft off its reports, wheels at least %.0f ft, touched %d, gear changes %d\n", r.what,
                    seen.deviation_ft, seen.lowest_ft, seen.touched, seen.gearChanges);
        EXPECT_FALSE(seen.touched);
        EXPECT_LT(seen.deviation_ft, 100.0) << "feet off its reports";
        EXPECT_GT(seen.lowest_ft, 370.0) << "feet above the ground";
    }
}

// Measured before this rule: the approach with a level stretch lowered its
// gear at 2,032 ft, raised it 24 s later and lowered it again; the
// overflight descending at 300 fpm lowered and raised it.
TEST_F(AirTraffic, GearComesDownOncePerApproachAndUpOnlyWhenTheReportsClimbAway) {
    struct Row {
        const char* what;
        std::function<double(double)> agl_ft;
        std::function<double(double)> vrate_fpm;
        int gearChanges;
        bool lands;
    };
    // 3 degrees at 140 kt: 743 fpm.
    const Row rows[] = {
        {"an approach with a level stretch at 1,500 ft 30 nm from the park airport",
         [](double t) {
             return t < 60 ? lf_ramp(t, 0, 2600, 60, 1500) : t < 120 ? 1500.0 : lf_ramp(t, 120, 1500, 241, 0);
         },
         [](double t) { return t < 60 ? -1100.0 : t < 120 ? 0.0 : -743.0; }, 1, true},
        {"an overflight descending from 1,900 to 1,700 ft at 300 fpm, then level",
         [](double t) { return lf_ramp(t, 20, 1900, 60, 1700); },
         [](double t) { return t >= 20 && t < 60 ? -300.0 : 0.0; }, 0, false},
        {"a low pass down to 30 ft that climbs away",
         [](double t) { return t < 150 ? lf_ramp(t, 0, 1830, 150, 30) : lf_ramp(t, 160, 30, 280, 2030); },
         [](double t) { return t < 150 ? -720.0 : t < 160 ? 0.0 : 1000.0; }, 2, false},
    };
    std::uint32_t hex = 0x3D0101;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TearDown();
        SetUp();
        m_profile.clear();
        const LatLon from = gf_toward(kDemoLat, kDemoLon, 180.0, 30.0);
        schedule(airFlight(++hex, "A320", from, 90.0, 140.0, 2.0, 300.0, Profile{r.agl_ft, r.vrate_fpm}));
        const Seen seen = watch(hex, 340.0);
        std::printf("%s: gear changes %d, %.0f ft off its reports, touched %d\n", r.what, seen.gearChanges,
                    seen.deviation_ft, seen.touched);
        EXPECT_EQ(seen.gearChanges, r.gearChanges);
        EXPECT_EQ(seen.touched, r.lands);
        EXPECT_LT(seen.deviation_ft, 100.0) << "feet off its reports";
    }
}

}  // namespace

namespace {

// The ground traffic around the user on the aprons and beside the runway:
// a taxi that waits behind parked traffic, a user taxiing beside the runway
// while an arrival comes in, a user on final with an aircraft lined up.
class GroundUserFlights : public UserFlights {
protected:
    // Taxis north at 8 kt along a lane `east_m` east of the D stands' marks,
    // behind the noses-west row, holds `hold_s` where it is abeam `holdLat`,
    // then taxis on; reported every 5 s from `from_s`.
    void taxiAlongTheRow(std::uint32_t hexid, const std::string& cs, const std::string& type, double east_m,
                         double holdLat, double hold_s, double from_s) {
        const double lon = standNamed("D7").longitude + east_m / (111132.95 * std::cos(52.31 * kDegToRad));
        const double step = 8.0 * 1852.0 / 3600.0 * 5.0 / 111132.95;
        double t = from_s;
        auto at = [&](double lat, double gs) {
            schedule({record(hexid, cs, type,
                             Fix{.lat = lat, .lon = lon, .alt_ft = 0, .gs_kt = gs, .track_deg = 0.0, .feedTime = t})});
            t += 5.0;
        };
        double lat = 52.3060;
        for (; lat < holdLat; lat += step) at(lat, 8.0);
        for (double held = 0; held <= hold_s; held += 5.0) at(holdLat, 0.0);
        for (lat = holdLat + step; lat < 52.3170; lat += step) at(lat, 8.0);
    }
};

// A taxi waits 40 s on a lane behind the reported D row, within 55 m of the
// parked aircraft, then taxis on: it stays a taxi where the feed holds it,
// neither stopped short of a stand it never headed for nor parked there.
TEST_F(GroundUserFlights, ATaxiWaitingBehindParkedTrafficStaysATaxi) {
    struct Row {
        const char* name;
        const char* type;
        const char* callsign;
        double east_m;
        double holdLatFromD7;  // degrees north of D7
    };
    // A B77W's wings and an A320's reach 55 m: the wide-bodied taxi waits
    // within the circle of both wings around a parked one.
    const Row rows[] = {
        {"B77W 45 m behind D7", "B77W", "BAW500", 45.0, 0.0},
        {"B77W 50 m behind, between D7 and D8", "B77W", "BAW500", 50.0, 0.0003},
        {"A320 41 m behind D10", "A320", "KLM500", 41.0, 0.0018},
    };
    constexpr std::uint32_t kTaxi = 0x3C0031;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TearDown();
        SetUp();
        const auto parked = fillStands(500.0);
        const double holdLat = standNamed("D7").latitude + r.holdLatFromD7;
        taxiAlongTheRow(kTaxi, r.callsign, r.type, r.east_m, holdLat, 40.0, 100.0);
        const LatLon hold{holdLat, standNamed("D7").longitude + r.east_m / (111132.95 * std::cos(52.31 * kDegToRad))};
        std::set<FlightState> states;
        double worstFromHold_m = 0, northmost = 0;
        LatLon before{0, 0};
        eachSecond = [&](double) {
            const LiveAc* ac = liveAc(kTaxi);
            if (!ac || ac->simState != SimState::active) return;
            states.insert(ac->flightState);
            northmost = std::max(northmost, ac->pos.lat);
            // Where it stands still, it stands where the feed holds it.
            const LatLon here{ac->pos.lat, ac->pos.lon};
            if (gf_distanceNm(here, before) * 1852.0 < 0.1 && gf_distanceNm(here, hold) * 1852.0 < 100.0)
                worstFromHold_m = std::max(worstFromHold_m, gf_distanceNm(here, hold) * 1852.0);
            before = here;
        };
        const FlightFindings seen = fly({{0, kRwyLat, kRwyLon, 0}, {480, kRwyLat, kRwyLon, 0}});
        const std::string log = logText();
        EXPECT_EQ(log.find("sid==0?"), std::string::npos) << log;
        EXPECT_EQ(log.find(fmt::format("{:8} stops short", r.callsign)), std::string::npos) << log;
        EXPECT_EQ(log.find(fmt::format("{:8} arrived at stand", r.callsign)), std::string::npos) << log;
        EXPECT_FALSE(states.count(FlightState::parking) || states.count(FlightState::parked))
            << "the waiting taxi was parked";
        EXPECT_GT(northmost, 52.3150) << "it taxis on after its wait";
        EXPECT_EQ(parkedActive(parked), 21);
        // It waits at the feed's place (its stop is flown from the last
        // moving report, 6 m before it), not short of it.
        EXPECT_LT(worstFromHold_m, 10.0);
        EXPECT_TRUE(seen.removals.empty());
    }
}

// A static aircraft stands on D7 where a wide-bodied taxi waits 45 m behind
// it, within both wings, then taxis on: the static stays, for the taxi was
// never heading for its stand.
TEST_F(GroundUserFlights, AStaticBesideAWaitingTaxiStays) {
    const Stand& d7 = standNamed("D7");
    AcBase base;
    base.hexid = 5;
    base.callsign = "KLM1093*";
    base.registration = "PH-BXA";
    base.type = "B738";
    base.size = 17.9 / 1852.0;
    g_staticAc.emplace_back(base, gf_standNumericId(d7), d7.latitude, d7.longitude, d7.heading, 0);
    g_staticAc.back().objectId = 900;
    g_staticAc.back().simState = SimState::active;
    constexpr std::uint32_t kTaxi = 0x3C0032;
    taxiAlongTheRow(kTaxi, "BAW500", "B77W", 45.0, d7.latitude, 40.0, 10.0);
    double northmost = 0;
    eachSecond = [&](double) {
        if (const LiveAc* ac = liveAc(kTaxi)) northmost = std::max(northmost, ac->pos.lat);
    };
    fly({{0, kRwyLat, kRwyLon, 0}, {400, kRwyLat, kRwyLon, 0}});
    EXPECT_EQ(g_staticAc.front().simState, SimState::active) << logText();
    EXPECT_EQ(logText().find("makes way for"), std::string::npos) << logText();
    EXPECT_GT(northmost, 52.3150) << "it taxis on after its wait";
}

// An arrival to D7, held by a parked aircraft the feed still reports, waits
// short of it; a minute later it taxis away again. Log.txt names no
// placeholder stand for it, and it leaves rather than staying stuck.
TEST_F(GroundUserFlights, AnArrivalThatWaitedShortOfAnOccupiedStandLeavesAgain) {
    constexpr std::uint32_t kOccupant = 0x3C0061, kNewcomer = 0x3C0062;
    const Stand& d7 = standNamed("D7");
    standing(kOccupant, "KLM401", "A320", d7, 0.0, 700.0);
    // In from 150 m north-east at 8 kt, the last 45 m at a walking pace, to
    // 4 m from the stand's mark; a minute there, then out the way it came.
    double t = 100.0;
    auto report = [&](double left_m, double gs, double track) {
        const LatLon at = gf_toward(d7.latitude, d7.longitude, 60.0, left_m / 1852.0);
        schedule({record(kNewcomer, "KLM402", "A320",
                         Fix{.lat = at.lat, .lon = at.lon, .alt_ft = 0, .gs_kt = gs, .track_deg = track, .feedTime = t})});
        t += 5.0;
    };
    double left_m = 154.0;
    for (; left_m > 4.0; left_m = std::max(4.0, left_m - (left_m > 49.0 ? 8.0 : 3.0) * 1852.0 / 3600.0 * 5.0))
        report(left_m, left_m > 49.0 ? 8.0 : 3.0, 240.0);
    for (int i = 0; i < 13; ++i) report(4.0, 0.0, 240.0);
    for (left_m = 10.0; left_m < 400.0; left_m += 8.0 * 1852.0 / 3600.0 * 5.0) report(left_m, 8.0, 60.0);
    std::set<FlightState> states;
    double farthest_m = 0;
    eachSecond = [&](double) {
        const LiveAc* ac = liveAc(kNewcomer);
        if (!ac || ac->simState != SimState::active) return;
        states.insert(ac->flightState);
        farthest_m = std::max(farthest_m, gf_distanceNm({ac->pos.lat, ac->pos.lon}, {d7.latitude, d7.longitude}) * 1852.0);
    };
    fly({{0, kRwyLat, kRwyLon, 0}, {600, kRwyLat, kRwyLon, 0}});
    const std::string log = logText();
    EXPECT_NE(log.find("D7      : KLM402   stops short of KLM401 parked there"), std::string::npos) << log;
    EXPECT_TRUE(states.count(FlightState::parked)) << "it waits where its path met the occupant's wings";
    EXPECT_EQ(log.find("sid=="), std::string::npos) << log;
    EXPECT_GT(farthest_m, 300.0) << "it leaves again";
}

}  // namespace

namespace {

// The user waits near the runway's threshold, on it or on a taxiway beside
// it, while an arrival comes down the runway's line: only a user on the
// runway itself (within its width and a margin) sends the arrival away, and
// then on final, about 3 nm out.
TEST_F(GroundUserFlights, AnArrivalGoesOnlyForAUserOnTheRunwayNotBesideIt) {
    struct Row {
        const char* name;
        double east_ft;  // the user from the runway's centre line
        bool removed;
    };
    const Row rows[] = {
        {"on the centre line", 0.0, true},
        {"on the runway, 60 ft right of its centre line", 60.0, true},
        {"on the parallel taxiway, 250 ft from the centre line", 250.0, false},
        {"on the parallel taxiway, 250 ft left of the centre line", -250.0, false},
    };
    constexpr std::uint32_t kArrival = 0x3C0041;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TearDown();
        SetUp();
        schedule(arrival(kArrival, 0.0, 8.0, 140.0, 5.0, 50));
        const LatLon at = gf_toward(kRwyLat, kRwyLon, r.east_ft >= 0 ? 90.0 : 270.0, std::fabs(r.east_ft) / kFeetPerNm);
        const LatLon ahead = gf_toward(at.lat, at.lon, 0.0, 1.0 / 1852.0);
        const FlightFindings seen = fly({{0, at.lat, at.lon, 0}, {1, ahead.lat, ahead.lon, 0}, {300, ahead.lat, ahead.lon, 0}});
        std::string where;
        for (const UserRemoval& u : seen.removals) where += fmt::format(" {:.2f} nm", u.dist_nm);
        RecordProperty(r.name, where);
        if (!r.removed) {
            EXPECT_EQ(seen.removedBy(kArrival), 0) << "removed at" << where;
            continue;
        }
        ASSERT_GE(seen.removedBy(kArrival), 1);
        EXPECT_GE(seen.removals.front().dist_nm, 2.5) << "removed at" << where;
        for (const UserRemoval& u : seen.removals) EXPECT_FALSE(u.acOnGround);
    }
}

// The user on final, an aircraft lined up on the runway's threshold, its
// nose a few degrees off the runway's heading, as a reported track often
// is: it goes at the same distance whatever its heading, and whatever the
// user's crab in a crosswind.
TEST_F(GroundUserFlights, AnAircraftLinedUpAFewDegreesOffGoesAtTheSameDistance) {
    struct Row {
        double offHeading_deg;
        double crab_deg;
    };
    const Row rows[] = {{0, 0}, {1, 0}, {2, 0}, {4, 0}, {-4, 0}, {0, 5}, {4, -5}};
    constexpr std::uint32_t kLinedUp = 0x3C0051;
    for (const Row& r : rows) {
        const std::string name = fmt::format("lined up {} degrees off, user crabbing {} degrees", r.offHeading_deg, r.crab_deg);
        SCOPED_TRACE(name);
        TearDown();
        SetUp();
        crab_deg = r.crab_deg;
        taxiThenStand(kLinedUp, "KLM77", gf_toward(kRwyLat, kRwyLon, 180.0 + r.offHeading_deg, 0.05), {kRwyLat, kRwyLon},
                      260.0);
        const FlightFindings seen = fly({{0, kRwyLat - 6.0 / 60, kRwyLon, 1900},
                                         {90, kRwyLat - 4.0 / 60, kRwyLon, 1270},
                                         {200, kRwyLat, kRwyLon, 0}});
        ASSERT_EQ(seen.removedBy(kLinedUp), 1);
        const UserRemoval& u = seen.removals.front();
        RecordProperty(name, fmt::format("{:.2f} nm", u.dist_nm));
        EXPECT_FALSE(u.userOnGround);
        // The user 1,000 ft above it, the first second it is in reach.
        EXPECT_NEAR(u.dist_nm, 3.15, 0.1);
    }
}

}  // namespace
