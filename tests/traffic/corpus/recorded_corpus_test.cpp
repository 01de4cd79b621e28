// Real recorded flights of every kind (an air-rescue helicopter, flight
// inspection with low passes and go-arounds, a motor glider, an aerial
// survey, an airliner's day), each polled through the live entry parser and
// the intake and flown by the engine over the simulator's ground, flat at
// the flight's field. One table of what a pilot beside them expects, the
// same for every file: each aircraft at its reported height wherever the
// reports are 300 ft or more above the ground, on the ground only where the
// reports reach it, gear and flaps once per approach and up only when the
// reports climb away, no climb low on a landing, and no stand taken that
// the reports were not heading for. A new recording is a new row.
#include <zlib.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "airports/park_airport_state.h"
#include "core/settings.h"
#include "feed/feed_env.h"
#include "feed/traffic_reader.h"
#include "traffic/motion/motion_harness.h"
#include "traffic/motion/recorded_adsb.h"
#include "simlink/sim_ids.h"
#include "traffic/traffic_state.h"

namespace {

constexpr int kPollTicks = 200;
constexpr int kDelayTicks = 3000;
constexpr double kReportedAboveGround_ft = 300.0;
constexpr double kOffReports_ft = 100.0;
constexpr double kClimbAway_ft = 100.0;
constexpr double kLandingClimb_ft = 100.0;
constexpr double kBelowForLanding_ft = 1000.0;
constexpr double kHeadingForStand_m = 60.0;

// One recording and where it flies: the type to use (one the sample Dbase
// knows), the field whose elevation is the simulator's flat ground and whose
// position is the current airport for ground reports, and whether that
// field is the park airport with the demo stand file.
struct CorpusRow {
    const char* file;
    const char* type;
    double fieldLat, fieldLon, fieldElevation_ft;
    bool standFile;
};

const CorpusRow kCorpus[] = {
    {"helicopter_zurich_rega1_2019-05-24.json.gz", "EC35", 47.3969, 8.6381, 1400.0, false},
    {"calibration_toulouse_2017-06-16.json.gz", "BE58", 43.6291, 1.3638, 499.0, false},
    {"calibration_heathrow_2018-01-12.json.gz", "BE58", 51.4700, -0.4543, 83.0, false},
    {"calibration_brussels_2018-12-08.json.gz", "BE58", 50.9014, 4.4844, 184.0, false},
    {"glider_sisteron_2019-05-23.json.gz", "DA40", 44.2828, 5.9303, 1745.0, false},
    {"survey_toulouse_2019-03-31.json.gz", "C182", 43.6291, 1.3638, 499.0, false},
    {"eham_tra051_2018-05-30.json.gz", "B738", kEhamLat, kEhamLon, -11.0, true},
};

using recorded_adsb::ClockedFeedEnv;
using recorded_adsb::Row;

// A report as the engine got it: the parser's altitude (0 on the ground).
struct Report {
    double t, lat, lon, alt;
};

// What a pilot saw of one replayed flight.
struct Truths {
    double deviation_ft = 0.0;  // largest, where the reports were 300 ft or more above the ground
    double deviationAt_s = 0.0;
    double lowest_ft = 1e9;     // wheels above the ground in the air
    int touchdowns = 0;
    int touchdownsWithoutGroundReports = 0;
    int gearDowns = 0, gearUps = 0, flapRetractions = 0;
    int retractionsWithoutClimb = 0;
    double faultAt_s = -1.0;  // the first touchdown or retraction the reports did not show
    double landingClimb_ft = 0.0;  // below 1000 ft on the way to a touchdown
    int parked = 0, parkedAwayFromReports = 0;
    std::size_t samples = 0;
};

class RecordedCorpus : public MotionHarness {
protected:
    Truths replay(const CorpusRow& row, const std::vector<Row>& rows, std::uint32_t hexid);
};

// The reports the engine had between two feed times, with the one before
// (it may still be flying from it) and, across a gap in the recording, the
// one after (the path between them is unknown).
struct ReportBand {
    double low = 1e9, high = -1e9;
    bool ground = false;
    bool any = false;
};

ReportBand lf_band(const std::vector<Report>& reports, double from, double to) {
    ReportBand b;
    auto first = std::lower_bound(reports.begin(), reports.end(), from, [](const Report& r, double v) { return r.t < v; });
    auto last = std::upper_bound(first, reports.end(), to, [](double v, const Report& r) { return v < r.t; });
    if (first != reports.begin()) --first;
    if (last - first < 4 && last != reports.end()) ++last;
    for (auto it = first; it != last; ++it) {
        b.any = true;
        b.ground |= it->alt <= 0.0;
        b.low = std::min(b.low, it->alt);
        b.high = std::max(b.high, it->alt);
    }
    return b;
}

Truths RecordedCorpus::replay(const CorpusRow& row, const std::vector<Row>& rows, std::uint32_t hexid) {
    Truths f;
    elevation_ft = row.fieldElevation_ft;
    if (row.standFile) loadEham();
    COLLISION_USER_AIR.setValue(false);
    LIGHT_AIRCRAFT.setValue(true);
    HELICOPTERS.setValue(true);
    ClockedFeedEnv env;
    TrafficReader reader;
    reader.answerSettings.range_nm = 1000.0;
    reader.answerSettings.currentAirport = FeedAirport{true, row.fieldLat, row.fieldLon, row.fieldElevation_ft};
    reader.answerSettings.airportFileAlt_ft = row.fieldElevation_ft;
    reader.qnh = 1013;
    g_engineQnh = 1013;
    const std::string callsign = row.standFile ? "KLM051" : "GLIM" + std::to_string(hexid % 100);

    std::vector<Report> reports;
    std::vector<double> jumps;
    std::set<std::uint32_t> objects;
    std::size_t eventsSeen = 0;
    bool groundBefore = false, gearDown = false, parkedBefore = false;
    int flaps = 0;
    double lowestSinceDown = 1e9, approachLowest = 1e9, approachClimb = 0.0;
    double tickZero = 0.0;
    const double firstT = rows.front().t;
    std::size_t next = 0;
    double sentT = -1.0;
    for (double t = firstT; t <= rows.back().t + 40.0; t += 2.0) {
        while (next + 1 < rows.size() && rows[next + 1].t <= t) ++next;
        const Row& latest = rows[next];
        sim.user.lat_deg = latest.lat;
        sim.user.lon_deg = latest.lon;
        sim.user.alt_ft = 45000.0;
        if (latest.t != sentT && t <= rows.back().t) {
            sentT = latest.t;
            env.now = static_cast<std::int64_t>(t);
            reader.filterLat = latest.lat;
            reader.filterLon = latest.lon;
            reader.flightRecords.clear();
            reader.entry = recorded_adsb::entry(latest, {"4b43ac", row.type, "", "", "", callsign, ""});
            reader.entry[0] = fmt::format("{:x}", hexid);
            reader.processLine();
            if (tickZero == 0.0) tickZero = g_trafficTick.load() + kDelayTicks - (t - firstT) * 100.0;
            // A report repeated unchanged (the receiver lost the aircraft)
            // tells nothing new: the path across is unknown.
            // A report far beyond where the one before could have flown
            // ends positions a receiver coasted on: the aircraft catches
            // up with the jump, which a pilot does not hold against it.
            for (const FlightRecord& r : reader.flightRecords) {
                if (!reports.empty() && reports.back().lat == r.point.lat && reports.back().lon == r.point.lon &&
                    reports.back().alt == r.point.alt)
                    continue;
                if (!reports.empty() && r.point.gs > 0.0) {
                    const Report& before = reports.back();
                    const double flown_m = r.point.gs * (r.feedTime - before.t) / 3600.0 * 1852.0;
                    if (gf_distanceNm({before.lat, before.lon}, {r.point.lat, r.point.lon}) * 1852.0 >
                        2.0 * flown_m + 200.0)
                        jumps.push_back(r.feedTime);
                }
                reports.push_back(Report{r.feedTime, r.point.lat, r.point.lon, r.point.alt});
            }
            // A ground report the feed keeps away from the current airport
            // still shows the aircraft on the ground.
            if (reader.flightRecords.empty() && latest.alt <= 0.0)
                reports.push_back(Report{latest.t, latest.lat, latest.lon, 0.0});
            takeBatch(reader.flightRecords, 30);
        }
        fly(kPollTicks, [&] {
            const LiveAc* ac = liveAc(hexid);
            if (!ac || ac->simState != SimState::active) return;
            objects.insert(ac->objectId);
            const double feedT = firstT + (g_trafficTick.load() - tickZero) / 100.0;
            const double wheels = ac->pos.alt - cg_ft - elevation_ft;
            // Gear and flaps as the simulator got them.
            for (; eventsSeen < sim.clientEvents.size(); ++eventsSeen) {
                const AiEventCmd& e = sim.clientEvents[eventsSeen];
                if (!objects.count(e.objectId)) continue;
                const ReportBand ahead = lf_band(reports, feedT - 10.0, feedT + 30.0);
                const bool climbsAway = ahead.any && ahead.high >= lowestSinceDown + kClimbAway_ft;
                if (e.eventId == SimEventGearSet && (e.data == 1) != gearDown) {
                    gearDown = e.data == 1;
                    if (gearDown) {
                        ++f.gearDowns;
                        lowestSinceDown = 1e9;
                    } else {
                        ++f.gearUps;
                        if (!climbsAway && !ac->groundMode) {
                            ++f.retractionsWithoutClimb;
                            if (f.faultAt_s < 0) f.faultAt_s = feedT - firstT;
                        }
                    }
                }
                if (e.eventId == SimEventFlapsSet) {
                    const int now = e.data == 0 ? 0 : e.data <= 3072 ? 1 : e.data <= 10240 ? 2 : 3;
                    if (now > flaps) lowestSinceDown = 1e9;
                    if (now < flaps && !ac->groundMode) {
                        ++f.flapRetractions;
                        if (!climbsAway) {
                            ++f.retractionsWithoutClimb;
                            if (f.faultAt_s < 0) f.faultAt_s = feedT - firstT;
                        }
                    }
                    flaps = now;
                }
            }
            // The engine flies its reports some seconds late or early
            // within its windows: the reports of the minute around.
            const ReportBand near = lf_band(reports, feedT - 30.0, feedT + 30.0);
            if ((gearDown || flaps > 0) && near.any) lowestSinceDown = std::min(lowestSinceDown, near.low);
            if (ac->groundMode && !groundBefore) {
                ++f.touchdowns;
                const ReportBand around = lf_band(reports, feedT - 40.0, feedT + 40.0);
                if (!around.ground) {
                    ++f.touchdownsWithoutGroundReports;
                    if (f.faultAt_s < 0) f.faultAt_s = feedT - firstT;
                }
                f.landingClimb_ft = std::max(f.landingClimb_ft, approachClimb);
            }
            groundBefore = ac->groundMode != 0;
            const bool parked = ac->flightState == FlightState::parked;
            if (parked && !parkedBefore) {
                ++f.parked;
                double nearest_m = 1e9;
                for (const Report& r : reports)
                    if (r.t >= feedT - 60.0 && r.t <= feedT + 120.0)
                        nearest_m = std::min(nearest_m, gf_distanceNm({r.lat, r.lon}, {ac->standLat, ac->standLon}) * 1852.0);
                f.parkedAwayFromReports += nearest_m > kHeadingForStand_m;
            }
            parkedBefore = parked;
            if (ac->groundMode) return;
            f.lowest_ft = std::min(f.lowest_ft, wheels);
            // A climb the reports show (a low pass, a circuit) is no climb
            // on the way to a landing.
            if (wheels > kBelowForLanding_ft || (near.any && near.high > approachLowest + kClimbAway_ft)) {
                approachLowest = 1e9;
                approachClimb = 0.0;
            } else {
                approachLowest = std::min(approachLowest, ac->pos.alt);
                approachClimb = std::max(approachClimb, ac->pos.alt - approachLowest);
            }
            if (g_trafficTick.load() % 100 != 0 || !near.any || near.ground) return;
            if (near.low - row.fieldElevation_ft < kReportedAboveGround_ft) return;
            if (std::any_of(jumps.begin(), jumps.end(), [&](double j) { return j >= feedT - 30.0 && j <= feedT + 60.0; }))
                return;
            ++f.samples;
            const double off = std::max(near.low - ac->pos.alt, ac->pos.alt - near.high);
            if (off > f.deviation_ft) {
                f.deviation_ft = off;
                f.deviationAt_s = feedT - firstT;
            }
        });
    }
    return f;
}

TEST_F(RecordedCorpus, EveryKindOfFlightStaysWithItsReports) {
    std::printf("\n%-44s %8s %8s %9s %6s %6s %6s %7s %7s %8s\n", "recording", "off ft", "at s", "lowest", "td",
                "gear", "up", "flapsUp", "climb", "parked");
    std::uint32_t hexid = 0x4b43a0;
    for (const CorpusRow& row : kCorpus) {
        SCOPED_TRACE(row.file);
        const auto file = recorded_adsb::recording(row.file);
        // The recordings belong to every checkout: without them the motion
        // goes unchecked, which is a failure, not a pass.
        ASSERT_TRUE(file.has_value()) << "not at ../shared/data/adsb beside the source folder";
        const std::vector<Row> rows = recorded_adsb::readRows(*file);
        ASSERT_GT(rows.size(), 100u);
        TearDown();
        SetUp();
        const Truths f = replay(row, rows, ++hexid);
        std::printf("%-44s %8.0f %8.0f %9.0f %6d %6d %6d %7d %7.0f %5d/%d\n", row.file, f.deviation_ft,
                    f.deviationAt_s, f.lowest_ft, f.touchdowns, f.gearDowns, f.gearUps, f.flapRetractions,
                    f.landingClimb_ft, f.parked, f.parkedAwayFromReports);
        EXPECT_GT(f.samples, 30u) << "the aircraft flew the recording";
        EXPECT_LT(f.deviation_ft, kOffReports_ft) << "feet off its reports, " << f.deviationAt_s << " s in";
        EXPECT_EQ(f.touchdownsWithoutGroundReports, 0)
            << "on the ground where the reports were in the air, first " << f.faultAt_s << " s in";
        EXPECT_EQ(f.retractionsWithoutClimb, 0)
            << "gear or flaps up while the reports did not climb away, first " << f.faultAt_s << " s in";
        EXPECT_LE(f.landingClimb_ft, kLandingClimb_ft) << "feet climbed below 1000 ft on a landing";
        EXPECT_EQ(f.parkedAwayFromReports, 0) << "parked on a stand the reports were not heading for";
    }
}

}  // namespace
