// Real recorded flights of every kind (an air-rescue helicopter, flight
// inspection with low passes and go-arounds, a motor glider, an aerial
// survey, an airliner's day, and noisy receivers at Zurich and Porto), each
// fed as a run feeds it: the buffered snapshots at the start, then a live
// poll every 2 s through the live entry parser and the intake on the run's
// clock, flown by the engine over the simulator's ground, flat at the
// flight's field. One table of what a pilot beside them expects, the same
// for every file: the aircraft flies; at every second it is where the
// reports put it at its own point of the path (the feed's delay accounted,
// interpolated between reports the aircraft could have made); on the ground
// only where the reports reach it and off it only where they leave it; gear
// and flaps once per approach and up only when the reports climb away; no
// climb the reports do not show; no jump its performance rules out; never
// under the ground; and no stand taken that the reports were not heading
// for. A new recording is a new row.
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <cmath>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "airports/park_airport_state.h"
#include "core/settings.h"
#include "feed/feed_env.h"
#include "feed/traffic_reader.h"
#include "traffic/intake.h"
#include "report_noise.h"
#include "traffic/motion/motion_harness.h"
#include "traffic/motion/recorded_adsb.h"
#include "simlink/sim_ids.h"
#include "traffic/traffic_state.h"

namespace {

// The run's pace and delays: a live poll every 2 s, due 30 s after it; five
// buffered snapshots 6 s apart at the start, due 0 to 24 s after it.
constexpr int kPollTicks = 200;
constexpr int kLiveDelay_s = 30;
constexpr int kSnapshots = 5;
constexpr int kSnapshotStep_s = 6;
constexpr double kQnhFeet = (1013 - 1013.25) * 27.0;

// What a pilot beside the aircraft accepts: its height within four of the
// reports' 25 ft steps, its place within a few wing spans of the path the
// reports draw.
constexpr double kOffReports_ft = 100.0;
constexpr double kOffReports_m = 400.0;
constexpr double kReportedAboveGround_ft = 300.0;
// No aircraft flies under the ground: its wheels within two of the
// altimeter's 25 ft steps of it at the lowest.
constexpr double kUnderGround_ft = 50.0;
// The engine moves a point's due time by up to 30 s (50 s in a take-off
// run) to fly a smooth path: the reports of these feed times around the
// delayed one are where it may be now.
constexpr double kRetimeWindow_s = 50.0;
// Between reports farther apart than this the path is unknown.
constexpr double kDenseSpacing_s = 2.0;
constexpr double kLongestKnownGap_s = 20.0;
constexpr double kClimbAway_ft = 100.0;
constexpr double kLandingClimb_ft = 100.0;
constexpr double kBelowForLanding_ft = 1000.0;
constexpr double kApproachDip_ft = 300.0;
constexpr double kUnshownClimb_ft = 150.0;
constexpr double kClimbWindow_s = 30.0;
constexpr double kHeadingForStand_m = 60.0;
// What no aircraft of these does within one second: 9,000 ft/min, or half
// again its fastest reported speed nearby plus 60 kt.
constexpr double kJumpVertical_ft = 150.0;
constexpr double kJumpSpeedFactor = 1.5;
constexpr double kJumpSpeedMargin_kt = 60.0;
// What no report of them shows: a climb or descent above 6,000 ft/min, a
// place beyond 1.3 times its speed and 30 kt.
constexpr double kReportRate_fps = 100.0;
constexpr double kReportStep_ft = 150.0;
// A height is judged against the heights of up to this many reports on
// each side within a few seconds.
constexpr std::size_t kSpikeNeighbours = 4;
constexpr double kSpikeWindow_s = 4.0;
// Heights carried along their rates agree within three of the altimeter's
// 25 ft steps.
constexpr double kAgreeing_ft = 75.0;
// The believed heights nearest a report on each side, within the few
// seconds over which a rate carries a height, that rule it out when they
// agree.
constexpr int kCarriedEachSide = 2;
constexpr double kCarryWindow_s = 8.0;
// Between sparse reports the steepest a light aircraft climbs or sinks
// (1,500 ft/min), within half a minute on each side.
constexpr double kSpikeRate_fps = 25.0;
constexpr double kSparseWindow_s = 30.0;
// Faster than this a report's place moves with its speed: one that covers
// less than this share of what the speed carries is a coasting receiver's.
constexpr double kCoastingAbove_kt = 30.0;
constexpr double kCoastingShare = 0.25;

// The truths of every row. A fault of the flight that is known and not yet
// mended is named in its row: the table prints it as known with its figure,
// and the row is held to every other truth.
enum Truth : unsigned {
    kHeight = 1u << 0,        // height off the reports at its own point
    kPlace = 1u << 1,         // distance off the reported path
    kTouchdown = 1u << 2,     // on the ground where the reports are in the air
    kDeparture = 1u << 3,     // off the ground where the reports are on it
    kRetraction = 1u << 4,    // gear or flaps up without a climb away
    kUnshownClimb = 1u << 5,  // a climb the reports do not show
    kFinalClimb = 1u << 6,    // a climb below 1000 ft on a landing
    kJump = 1u << 7,          // a jump beyond the aircraft's performance
    kStand = 1u << 8,         // parked where the reports were not heading
    kGearCycles = 1u << 9,    // gear down more often than the reports approach
    kBelowGround = 1u << 10,  // wheels under the ground in the air
};

// One recording and where it flies: the type to use (one the sample Dbase
// knows), the field whose elevation is the simulator's flat ground and whose
// position is the current airport for ground reports, whether that field is
// the park airport with the demo stand file, the callsign (one whose
// airline has a livery of the type among the harness's installed ones: a
// run flies with the user's liveries, and an aircraft without one is never
// created), and the faults of its flight known and not yet mended.
struct CorpusRow {
    const char* file;
    const char* type;
    double fieldLat, fieldLon, fieldElevation_ft;
    bool standFile;
    const char* callsign;
    unsigned knownFaults;
};

const CorpusRow kCorpus[] = {
    {"helicopter_zurich_rega1_2019-05-24.json.gz", "EC35", 47.3969, 8.6381, 1400.0, false, "REGA1", 0},
    {"calibration_toulouse_2017-06-16.json.gz", "BE58", 43.6291, 1.3638, 499.0, false, "CALIBRA", 0},
    {"calibration_heathrow_2018-01-12.json.gz", "BE58", 51.4700, -0.4543, 83.0, false, "VOR05", 0},
    {"calibration_brussels_2018-12-08.json.gz", "BE58", 50.9014, 4.4844, 184.0, false, "CALIBRA", 0},
    {"glider_sisteron_2019-05-23.json.gz", "DA40", 44.2828, 5.9303, 1745.0, false, "DKVLT", 0},
    {"survey_toulouse_2019-03-31.json.gz", "C182", 43.6291, 1.3638, 499.0, false, "PXR31F", 0},
    {"eham_tra051_2018-05-30.json.gz", "B738", kEhamLat, kEhamLon, -11.0, true, "KLM051", 0},
    {"noisy_ground_zurich_2019-11-11.json.gz", "A320", 47.4647, 8.5492, 1416.0, false, "DLH570", 0},
    {"noisy_takeoff_zurich_2019-11-11.json.gz", "A320", 47.4647, 8.5492, 1416.0, false, "DLH181", 0},
    {"noisy_positions_porto_2022-07-13.json.gz", "A320", 41.2481, -8.6814, 228.0, false, "DLH1815", 0},
};

using recorded_adsb::ClockedFeedEnv;
using recorded_adsb::Row;

// A report a pilot would believe: where the aircraft was at feed time t.
struct Report {
    double t, lat, lon;
    double alt;  // NaN: no altitude known
    double gs;
    bool ground;
    bool carried = false;  // every value of the report before it but the place
};

// The reports of a recording the aircraft could have made, in time order:
// a place that stays behind its speed (the receiver coasting), a place
// beyond its speed, a height spiking off its neighbours or beyond its climb
// from the last believed report is no report of the aircraft. Heights are the feed's (QNH corrected), ground
// as the receiver flags it, else as the feed reads it; within a few seconds
// the median of the believed heights, as the eye averages a transponder's
// jitter.
// The feed's reading of a height above the field and a speed as the ground
// (where the receiver gives no flag): below the field, or low and slow.
bool lf_feedGround(double h, double gs) {
    return h <= 0.0 || (std::fabs(h) <= 42.0 && gs <= 120.0) || (std::fabs(h) <= 84.0 && gs <= 80.0) ||
           (std::fabs(h) <= 108.0 && gs <= 43.0) || gs <= 35.0;
}

// The heights of the two reports on each side of report i within half a
// minute, i's own among them, and how far from their median i may lie: a
// height that stands off them has to be climbed to from the report before
// and left again to the report after.
bool lf_sparseNeighbours(const std::vector<Row>& rows, std::size_t i, std::vector<double>& near, double& allowed_ft) {
    const auto within = [&](std::size_t j) { return std::fabs(rows[j].t - rows[i].t) <= kSparseWindow_s; };
    const auto usable = [&](std::size_t j) { return !std::isnan(rows[j].alt) && rows[j].onground != 1; };
    near.assign(1, rows[i].alt);
    double gap_s = kSparseWindow_s;
    int before = 0, after = 0;
    for (std::size_t j = i; j-- > 0 && before < 2 && within(j);) {
        if (!usable(j) || rows[j].t >= rows[i].t) continue;
        if (before++ == 0) gap_s = std::min(gap_s, rows[i].t - rows[j].t);
        near.push_back(rows[j].alt);
    }
    for (std::size_t j = i + 1; j < rows.size() && after < 2 && within(j); ++j) {
        if (!usable(j) || rows[j].t <= rows[i].t) continue;
        if (after++ == 0) gap_s = std::min(gap_s, rows[j].t - rows[i].t);
        near.push_back(rows[j].alt);
    }
    allowed_ft = std::max(kReportStep_ft, kSpikeRate_fps * gap_s);
    return before == 2 && after == 2;
}

// A height far off the median of the heights reported around it within a
// few seconds is the transponder's spike: believed, it would anchor the
// climb check below and throw away the true reports after it.
// Where the reports around a height give their vertical rates, each of
// their heights carried to its time along its own rate: the height most of
// them agree on is where the aircraft was. On a steep climb whose
// transponder spikes low in one report of three, the median of the plain
// heights sinks onto the spikes and would call the true reports above it
// spikes.
bool lf_agreedHeight(const std::vector<Row>& rows, const std::vector<std::size_t>& near, std::size_t i,
                     double& agreed_ft) {
    std::vector<double> carried;
    for (const std::size_t j : near) {
        if (std::isnan(rows[j].vrate)) return false;
        carried.push_back(rows[j].alt + rows[j].vrate / 60.0 * (rows[i].t - rows[j].t));
    }
    std::vector<double> sorted = carried;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double median = sorted[sorted.size() / 2];
    std::size_t bestSupport = 0;
    for (const double c : carried) {
        const auto support = static_cast<std::size_t>(std::count_if(
            carried.begin(), carried.end(), [c](double o) { return std::fabs(o - c) <= kAgreeing_ft; }));
        if (support > bestSupport || (support == bestSupport && std::fabs(c - median) < std::fabs(agreed_ft - median))) {
            bestSupport = support;
            agreed_ft = c;
        }
    }
    return true;
}

std::vector<bool> lf_heightSpikes(const std::vector<Row>& rows) {
    std::vector<bool> spike(rows.size(), false);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (std::isnan(rows[i].alt) || rows[i].onground == 1) continue;
        std::vector<double> near;
        std::vector<std::size_t> nearRows;
        for (std::size_t j = i >= kSpikeNeighbours ? i - kSpikeNeighbours : 0;
             j < rows.size() && j <= i + kSpikeNeighbours; ++j)
            if (std::fabs(rows[j].t - rows[i].t) <= kSpikeWindow_s && !std::isnan(rows[j].alt) &&
                rows[j].onground != 1) {
                near.push_back(rows[j].alt);
                nearRows.push_back(j);
            }
        double allowed_ft = kReportStep_ft;
        if (near.size() <= kSpikeNeighbours) {
            // Sparse reports (a glider received every few seconds): the two
            // heights on each side, whatever their time, allowing the
            // steepest a light aircraft climbs or sinks between them.
            if (!lf_sparseNeighbours(rows, i, near, allowed_ft)) continue;  // too few to judge by
        }
        std::nth_element(near.begin(), near.begin() + near.size() / 2, near.end());
        spike[i] = std::fabs(rows[i].alt - near[near.size() / 2]) > allowed_ft;
        double agreed_ft = std::nan("");
        if (nearRows.size() > kSpikeNeighbours && lf_agreedHeight(rows, nearRows, i, agreed_ft))
            spike[i] = std::fabs(rows[i].alt - agreed_ft) > allowed_ft;
    }
    // A height that the believed reports on both sides, each carried to its
    // time along its own rate, agree rules out: a receiver that mixes in
    // readings of some seconds before puts one 150 ft under a steep climb
    // now and then, and believed it would bend the climb to a rate that the
    // reports and the aircraft's performance rule out.
    const auto believable = [&](std::size_t j) {
        return !spike[j] && !std::isnan(rows[j].alt) && !std::isnan(rows[j].vrate) && rows[j].onground != 1;
    };
    std::vector<bool> ruledOut(rows.size(), false);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (spike[i] || std::isnan(rows[i].alt) || rows[i].onground == 1) continue;
        std::vector<double> carried;
        const auto carry = [&](std::size_t j) {
            carried.push_back(rows[j].alt + rows[j].vrate / 60.0 * (rows[i].t - rows[j].t));
        };
        int before = 0, after = 0;
        for (std::size_t j = i; j-- > 0 && before < kCarriedEachSide && rows[i].t - rows[j].t <= kCarryWindow_s;)
            if (believable(j) && rows[j].t < rows[i].t) ++before, carry(j);
        for (std::size_t j = i + 1;
             j < rows.size() && after < kCarriedEachSide && rows[j].t - rows[i].t <= kCarryWindow_s; ++j)
            if (believable(j) && rows[j].t > rows[i].t) ++after, carry(j);
        if (before < kCarriedEachSide || after < kCarriedEachSide) continue;
        const auto [low, high] = std::minmax_element(carried.begin(), carried.end());
        if (*high - *low > kAgreeing_ft) continue;  // the sides do not agree: a change of rate
        ruledOut[i] = std::fabs(rows[i].alt - (*low + *high) / 2.0) > kAgreeing_ft;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) spike[i] = spike[i] || ruledOut[i];
    return spike;
}

// The shortest time in which an aircraft at this speed turns far enough to
// come back within a quarter of the way it flew (283 degrees, where the
// chord of the arc is a quarter of its length), banked 60 degrees, the
// steepest any of these turns.
double lf_turnBack_s(double gs_kt) {
    constexpr double kGravity_mps2 = 9.80665, kTan60 = 1.7320508075688772, kTurnBack_rad = 4.94;
    return kTurnBack_rad * gs_kt * 1852.0 / 3600.0 / (kGravity_mps2 * kTan60);
}

std::vector<Report> lf_believedReports(const std::vector<Row>& rows, double fieldElevation_ft) {
    std::vector<Report> out;
    const std::vector<bool> spike = lf_heightSpikes(rows);
    const Row* lastRow = nullptr;
    double heldSince = 0.0;  // feed time of the first report of the run of this height
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        const double gs = std::isnan(r.gs) ? 0.0 : r.gs;
        if (i == 0 || r.alt != rows[i - 1].alt) heldSince = r.t;
        // A receiver that coasts repeats its last place, or creeps on far
        // slower than the speed it reports: no place of the aircraft. Given
        // the time to turn most of a circle, though, an aircraft comes back
        // near where it was (a glider circling in a thermal between two
        // reports).
        const bool coasting = lastRow && r.t > lastRow->t && gs > kCoastingAbove_kt &&
                              r.t - lastRow->t < lf_turnBack_s(gs) &&
                              gf_distanceNm({lastRow->lat, lastRow->lon}, {r.lat, r.lon}) <
                                  kCoastingShare * gs * (r.t - lastRow->t) / 3600.0;
        lastRow = &r;
        if (coasting) continue;
        const double alt = std::isnan(r.alt) || spike[i] ? std::nan("") : std::max(0.0, r.alt + kQnhFeet);
        const bool ground = r.onground >= 0
                                ? r.onground == 1
                                : !std::isnan(alt) && (alt <= 0.0 || lf_feedGround(alt - fieldElevation_ft, gs));
        Report rep{r.t, r.lat, r.lon, ground ? fieldElevation_ft : alt, gs, ground};
        const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
        if (i > 0) {
            const Row& before = rows[i - 1];
            rep.carried = same(r.alt, before.alt) && same(r.gs, before.gs) && same(r.track, before.track) &&
                          same(r.vrate, before.vrate) && (r.lat != before.lat || r.lon != before.lon);
        }
        const std::size_t placed = out.size();
        if (placed > 0) {
            const auto apart = [](double t0, double lat0, double lon0, double gs0, double t1, double lat1, double lon1,
                                  double gs1) {
                const double reach_m =
                    ((std::max({gs0, gs1, 30.0}) * 1.3 + 30.0) * std::fabs(t1 - t0) / 3600.0) * 1852.0 + 100.0;
                return gf_distanceNm({lat0, lon0}, {lat1, lon1}) * 1852.0 > reach_m;
            };
            const auto beyondReach = [&](const Report& last) {
                return apart(last.t, last.lat, last.lon, last.gs, r.t, r.lat, r.lon, gs);
            };
            // A place beyond reach of the last believed report but within
            // reach of the one before it and of the next report lies on the
            // path: it is the last one's place that lagged (a position
            // decoded late), and dropping this one would leave a gap.
            const auto onPath = [&] {
                const auto next =
                    std::find_if(rows.begin() + i + 1, rows.end(), [&](const Row& n) { return n.t > r.t; });
                return placed > 1 && !out[placed - 1].carried && !beyondReach(out[placed - 2]) &&
                       next != rows.end() &&
                       !apart(r.t, r.lat, r.lon, gs, next->t, next->lat, next->lon,
                              std::isnan(next->gs) ? 0.0 : next->gs);
            };
            if (beyondReach(out[placed - 1]) && !onPath()) {
                // A receiver that lost the aircraft may carry its last report
                // on along the track at the speed, every value but the place
                // repeated: where the first report that changes them lies
                // beyond reach of the carried places but within reach of the
                // report they were carried from, they were none of the
                // aircraft's (a glider circled on in its thermal meanwhile).
                std::size_t kept = placed;
                while (kept > 1 && out[kept - 1].carried) --kept;
                if (kept == placed || beyondReach(out[kept - 1])) continue;
                out.resize(kept);
            }
        }
        if (!out.empty() && !ground && !std::isnan(alt)) {
            // The last believed height, on the ground the field's.
            double from = std::nan("");
            // A transponder that jumped to a height no climb reaches
            // and holds it repeats that one reading: the aircraft had
            // only until the hold began to get there. A height held for
            // half a minute is flown level, wherever the climb began.
            const double reached = r.t - heldSince < kSparseWindow_s ? heldSince : r.t;
            for (auto it = out.rbegin(); it != out.rend(); ++it)
                if (!std::isnan(it->alt)) {
                    from = it->ground ? fieldElevation_ft : it->alt;
                    if (std::fabs(alt - from) > kReportStep_ft + kReportRate_fps * std::max(0.0, reached - it->t))
                        rep.alt = std::nan("");
                    break;
                }
            if (std::isnan(rep.alt)) continue;
        }
        out.push_back(rep);
    }
    // The median of as many heights before a report as after it: on a
    // climb, heights from one side only (the reports before it lost to a
    // coasting receiver) would put it where the aircraft is seconds later.
    std::vector<double> smoothed(out.size());
    const auto smoothable = [&](std::size_t j, std::size_t i) {
        return std::fabs(out[j].t - out[i].t) <= 3.0 && !out[j].ground && !std::isnan(out[j].alt);
    };
    for (std::size_t i = 0; i < out.size(); ++i) {
        std::vector<double> before, after, near{out[i].alt};
        for (std::size_t j = i; j-- > 0 && j + 3 >= i;)
            if (smoothable(j, i)) before.push_back(out[j].alt);
        for (std::size_t j = i + 1; j < out.size() && j <= i + 3; ++j)
            if (smoothable(j, i)) after.push_back(out[j].alt);
        const std::size_t sides = std::min(before.size(), after.size());
        near.insert(near.end(), before.begin(), before.begin() + sides);
        near.insert(near.end(), after.begin(), after.begin() + sides);
        smoothed[i] = out[i].alt;
        if (!out[i].ground && !std::isnan(out[i].alt)) {
            std::nth_element(near.begin(), near.begin() + near.size() / 2, near.end());
            smoothed[i] = near[near.size() / 2];
        }
    }
    for (std::size_t i = 0; i < out.size(); ++i) out[i].alt = smoothed[i];
    // A height taken out (a spike, a reading no climb reaches) among
    // reports a second or two apart leaves its place on the path: the
    // aircraft was on the line between the heights around it. Between
    // sparse reports a glider may have circled up and down meanwhile.
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i].ground || !std::isnan(out[i].alt)) continue;
        std::size_t before = i, after = i + 1;
        while (before > 0 && std::isnan(out[before - 1].alt) && !out[before - 1].ground) --before;
        while (after < out.size() && std::isnan(out[after].alt) && !out[after].ground) ++after;
        if (before < 2 || after + 1 >= out.size() || out[before - 1].ground || out[after].ground ||
            out[after].t - out[before - 1].t > kLongestKnownGap_s ||
            out[before - 1].t - out[before - 2].t > kDenseSpacing_s || out[after + 1].t - out[after].t > kDenseSpacing_s)
            continue;
        const Report &a = out[before - 1], &b = out[after];
        smoothed[i] = a.alt + (out[i].t - a.t) / (b.t - a.t) * (b.alt - a.alt);
    }
    for (std::size_t i = 0; i < out.size(); ++i) out[i].alt = smoothed[i];
    return out;
}

// The aircraft's own point of the reported path: the nearest point of the
// path flown between believed reports (interpolated), searched among the
// reports of the feed times the engine may fly at this moment (its due
// times move within half a minute of the delayed feed time), so that a
// crossing leg of a circuit or survey is not taken for it. Between reports
// farther apart than the known gap the path is unknown.
struct PointOfPath {
    bool known = false;
    double off_m = 1e9;
    double alt = std::nan("");  // where both reports are in the air with heights
};

PointOfPath lf_ownPoint(const std::vector<Report>& reports, double feedT, double lat, double lon, double alt) {
    PointOfPath p;
    auto first = std::lower_bound(reports.begin(), reports.end(), feedT - kRetimeWindow_s,
                                  [](const Report& r, double v) { return r.t < v; });
    if (first != reports.begin()) --first;
    const double east_m = std::cos(lat * kDegToRad) * 60.0 * 1852.0, north_m = 60.0 * 1852.0;
    double bestScore = 1e18;
    if (first == reports.end() || first->t > feedT - kRetimeWindow_s) return p;
    for (auto a = first; a != reports.end() && a->t <= feedT + kRetimeWindow_s; ++a) {
        // Across a gap the engine carries the aircraft on its own: no report
        // tells where it should be.
        if (a + 1 == reports.end() || (a + 1)->t - a->t > kLongestKnownGap_s) return PointOfPath{};
        const Report& b = *(a + 1);
        const double ax = (a->lon - lon) * east_m, ay = (a->lat - lat) * north_m;
        const double bx = (b.lon - lon) * east_m, by = (b.lat - lat) * north_m;
        const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
        const double f = len2 > 0.0 ? std::clamp(-(ax * dx + ay * dy) / len2, 0.0, 1.0) : 0.0;
        const double off_m = std::hypot(ax + f * dx, ay + f * dy);
        double h = std::nan("");
        if (!a->ground && !b.ground && !std::isnan(a->alt) && !std::isnan(b.alt)) h = a->alt + f * (b.alt - a->alt);
        // Where the path passes a place twice (a hover, a turn), the point
        // at the aircraft's height is its own.
        const double score = off_m + (std::isnan(h) ? 0.0 : std::fabs(h - alt) * 0.3048);
        if (score < bestScore) {
            bestScore = score;
            p.known = true;
            p.off_m = off_m;
            p.alt = h;
        }
    }
    return p;
}

// The fastest believed report within a minute of t; in a longer gap of the
// recording the reports on both sides of it (with none, every move of the
// aircraft carried on through the gap counted as a jump).
double lf_fastestNear(const std::vector<Report>& reports, double t) {
    const auto after =
        std::lower_bound(reports.begin(), reports.end(), t - 60.0, [](const Report& r, double v) { return r.t < v; });
    double fastest = 0.0;
    auto it = after;
    for (; it != reports.end() && it->t <= t + 60.0; ++it) fastest = std::max(fastest, it->gs);
    if (it != after) return fastest;
    if (after != reports.begin()) fastest = std::prev(after)->gs;
    if (after != reports.end()) fastest = std::max(fastest, after->gs);
    return fastest;
}

// Whether the believed reports between two feed times show ground, air, a climb.
struct ReportSpan {
    bool any = false, ground = false, air = false;
    double low = 1e9, high = -1e9;
};

ReportSpan lf_span(const std::vector<Report>& reports, double from, double to) {
    ReportSpan s;
    auto it = std::lower_bound(reports.begin(), reports.end(), from, [](const Report& r, double v) { return r.t < v; });
    for (; it != reports.end() && it->t <= to; ++it) {
        s.any = true;
        s.ground |= it->ground;
        s.air |= !it->ground;
        if (std::isnan(it->alt)) continue;
        s.low = std::min(s.low, it->alt);
        s.high = std::max(s.high, it->alt);
    }
    return s;
}

// A silence of the receiver hides the aircraft: where one lies within the
// feed times around and the report that ends it is on the ground, the
// aircraft came down somewhere in it.
bool lf_groundAfterSilence(const std::vector<Report>& reports, double from, double to) {
    for (std::size_t i = 1; i < reports.size() && reports[i - 1].t <= to; ++i)
        if (reports[i].t >= from && reports[i].t - reports[i - 1].t > kLongestKnownGap_s && reports[i].ground)
            return true;
    return false;
}

// The approaches the reports fly: descents of 300 ft or more that reach
// below 1000 ft above the field, each counted again only after the reports
// climbed 300 ft from its lowest. Gear comes down at most once on each.
int lf_approaches(const std::vector<Report>& reports, double field_ft) {
    int approaches = 0;
    bool armed = true;
    double peak = -1e9, trough = 1e9;
    for (const Report& r : reports) {
        if (std::isnan(r.alt)) continue;
        const double h = r.alt - field_ft;
        if (armed) {
            peak = std::max(peak, h);
            if (h < kBelowForLanding_ft && peak - h >= kApproachDip_ft) {
                ++approaches;
                armed = false;
                trough = h;
            }
        } else {
            trough = std::min(trough, h);
            if (h - trough >= kApproachDip_ft) {
                armed = true;
                peak = h;
            }
        }
    }
    return approaches;
}

// The most the path of the believed reports between two feed times rose.
// The path runs straight from one report to the next: where a silence spans
// an end of the span, its height there lies on the line between the reports
// on both sides of the silence, and a climb through the silence is shown.
double lf_reportsRise(const std::vector<Report>& reports, double from, double to) {
    const auto heightAt = [&](double t) {
        auto after =
            std::lower_bound(reports.begin(), reports.end(), t, [](const Report& r, double v) { return r.t < v; });
        auto before = after;
        while (after != reports.end() && std::isnan(after->alt)) ++after;
        while (before != reports.begin() && std::isnan(std::prev(before)->alt)) --before;
        if (after == reports.end() || before == reports.begin()) return std::nan("");
        const Report &a = *std::prev(before), &b = *after;
        return b.t > a.t ? a.alt + (t - a.t) / (b.t - a.t) * (b.alt - a.alt) : b.alt;
    };
    std::vector<double> heights{heightAt(from)};
    auto it = std::lower_bound(reports.begin(), reports.end(), from, [](const Report& r, double v) { return r.t < v; });
    for (; it != reports.end() && it->t <= to; ++it) heights.push_back(it->alt);
    heights.push_back(heightAt(to));
    double lowest = 1e9, rise = 0.0;
    for (const double alt : heights) {
        if (std::isnan(alt)) continue;
        lowest = std::min(lowest, alt);
        rise = std::max(rise, alt - lowest);
    }
    return rise;
}

// What a pilot saw of one replayed flight.
struct Truths {
    bool flown = false;
    std::size_t samples = 0;             // seconds flown against a known point of the path
    double off_ft = 0.0, offAt_s = 0.0;  // largest height off the point, reports 300 ft or more up
    double off_m = 0.0, offAtM_s = 0.0;  // largest distance off the point
    double lowest_ft = 1e9;              // wheels above the ground in the air
    int touchdowns = 0, touchdownsWithoutGroundReports = 0;
    int groundDepartures = 0;  // off the ground while the reports held it there
    int gearDowns = 0, gearUps = 0, flapChanges = 0;
    int approaches = 0;  // of the reports
    int retractionsWithoutClimb = 0;
    int unshownClimbs = 0;  // climbs the reports did not show
    int climbsOnFinal = 0;  // landings with a climb below 1000 ft on the way
    double landingClimb_ft = 0.0;
    int jumps = 0;  // runs of seconds beyond its performance
    int parked = 0, parkedAwayFromReports = 0;
    double firstAt_s[11] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};  // the first fault of each truth
    void fault(Truth truth, double at) {
        double& first = firstAt_s[std::countr_zero(static_cast<unsigned>(truth))];
        if (first < 0.0) first = at;
    }
    std::string firstFault(Truth truth) const {
        return fmt::format(", first {:.0f} s in", firstAt_s[std::countr_zero(static_cast<unsigned>(truth))]);
    }
};

// The feed of a run on the recording's clock: what the reader hands over
// goes to the intake, the buffered snapshots decoded at once, the live polls
// handed to the traffic pass.
class RunFeedEnv final : public recorded_adsb::ClockedFeedEnv {
public:
    void takeTrafficBatch(std::vector<FlightRecord>& batch, int delay_s) override {
        gf_takeTrafficBatch(batch, delay_s);
    }
};

class RecordedCorpus : public MotionHarness {
protected:
    // fed: the rows the feed delivers when they are not the recording's
    // own (receiver noise laid over it); the truths stay the recording's.
    Truths replay(const CorpusRow& row, const std::vector<Row>& rows, std::uint32_t hexid,
                  const std::vector<Row>* fed = nullptr);
};

Truths RecordedCorpus::replay(const CorpusRow& row, const std::vector<Row>& rows, std::uint32_t hexid,
                              const std::vector<Row>* fed) {
    Truths f;
    elevation_ft = row.fieldElevation_ft;
    if (row.standFile)
        loadEham();
    else
        useParkAirport(row.fieldLat, row.fieldLon, row.fieldElevation_ft);
    COLLISION_USER_AIR.setValue(false);
    LIGHT_AIRCRAFT.setValue(true);
    HELICOPTERS.setValue(true);
    RunFeedEnv env;
    TrafficReader reader;
    reader.answerSettings.range_nm = 1000.0;
    reader.answerSettings.currentAirport = FeedAirport{true, row.fieldLat, row.fieldLon, row.fieldElevation_ft};
    reader.answerSettings.airportFileAlt_ft = row.fieldElevation_ft;
    reader.qnh = 1013;
    g_engineQnh = 1013;
    const std::vector<Report> reports = lf_believedReports(rows, row.fieldElevation_ft);
    f.approaches = lf_approaches(reports, row.fieldElevation_ft);

    // One answer of the service: the latest row at recording time t.
    const auto answer = [&](double t, int delay_s) {
        const std::vector<Row>& sent = fed ? *fed : rows;
        auto it = std::upper_bound(sent.begin(), sent.end(), t, [](double v, const Row& r) { return v < r.t; });
        if (it == sent.begin()) return;
        const Row& latest = *(it - 1);
        env.now = static_cast<std::int64_t>(t);
        reader.filterLat = latest.lat;
        reader.filterLon = latest.lon;
        sim.user.lat_deg = latest.lat;
        sim.user.lon_deg = latest.lon;
        sim.user.alt_ft = 45000.0;
        reader.flightRecords.clear();
        reader.entry =
            recorded_adsb::entry(latest, {fmt::format("{:x}", hexid), row.type, "", "", "", row.callsign, ""});
        reader.processLine();
        env.takeTrafficBatch(reader.flightRecords, delay_s);
    };

    // The run starts 24 s into the recording with its snapshots of the half
    // minute before; from then on the aircraft is due where the reports had
    // it 30 s before.
    const double start = rows.front().t + (kSnapshots - 1) * kSnapshotStep_s;
    for (int i = 0; i < kSnapshots; ++i) answer(start - (kSnapshots - 1 - i) * kSnapshotStep_s, i * kSnapshotStep_s);
    const double tickZero = g_trafficTick.load();
    const auto feedTimeNow = [&] { return start - kLiveDelay_s + (g_trafficTick.load() - tickZero) / 100.0; };

    std::pair<double, double> trace{1e9, -1e9};
    if (const char* span = std::getenv("GLIM_CORPUS_TRACE")) std::sscanf(span, "%lf-%lf", &trace.first, &trace.second);
    std::set<std::uint32_t> objects;
    std::size_t eventsSeen = 0;
    bool groundBefore = false, gearDown = false, parkedBefore = false, wasActive = false;
    bool climbing = false, hasLast = false, jumpedBefore = false;
    int flaps = 0;
    double lowestSinceDown = 1e9, approachLowest = 1e9, approachClimb = 0.0;
    double lastLat = 0.0, lastLon = 0.0, lastAlt = 0.0;
    std::deque<std::pair<double, double>> recentAlt;  // feed time, aircraft altitude
    for (double t = start; t <= rows.back().t + kLiveDelay_s + 10.0; t += kPollTicks / 100.0) {
        if (t > start && t <= rows.back().t) answer(t, kLiveDelay_s);
        fly(kPollTicks, [&] {
            const LiveAc* ac = liveAc(hexid);
            if (!ac || ac->simState != SimState::active) {
                wasActive = hasLast = false;
                return;
            }
            f.flown = true;
            objects.insert(ac->objectId);
            const double feedT = feedTimeNow();
            const double at_s = feedT - rows.front().t;
            const double wheels = ac->pos.alt - cg_ft - elevation_ft;
            // Gear and flaps as the simulator got them.
            for (; eventsSeen < sim.clientEvents.size(); ++eventsSeen) {
                const AiEventCmd& e = sim.clientEvents[eventsSeen];
                if (!objects.count(e.objectId)) continue;
                const ReportSpan ahead = lf_span(reports, feedT - 10.0, feedT + kRetimeWindow_s);
                const ReportSpan near = lf_span(reports, feedT - kRetimeWindow_s, feedT + kRetimeWindow_s);
                const double lowest = near.any ? std::min(lowestSinceDown, near.low) : lowestSinceDown;
                const bool climbsAway = ahead.any && ahead.high >= lowest + kClimbAway_ft;
                if (e.eventId == SimEventGearSet && (e.data == 1) != gearDown) {
                    gearDown = e.data == 1;
                    if (gearDown) {
                        ++f.gearDowns;
                        lowestSinceDown = 1e9;
                    } else {
                        ++f.gearUps;
                        if (!climbsAway && !ac->groundMode) {
                            ++f.retractionsWithoutClimb;
                            f.fault(kRetraction, at_s);
                        }
                    }
                }
                if (e.eventId == SimEventFlapsSet) {
                    const int now = e.data == 0 ? 0 : e.data <= 3072 ? 1 : e.data <= 10240 ? 2 : 3;
                    if (now != flaps) ++f.flapChanges;
                    if (now > flaps) lowestSinceDown = 1e9;
                    if (now < flaps && !ac->groundMode && !climbsAway) {
                        ++f.retractionsWithoutClimb;
                        f.fault(kRetraction, at_s);
                    }
                    flaps = now;
                }
            }
            const bool secondTick = g_trafficTick.load() % 100 == 0;
            const PointOfPath here =
                secondTick ? lf_ownPoint(reports, feedT, ac->pos.lat, ac->pos.lon, ac->pos.alt) : PointOfPath{};
            // GLIM_CORPUS_TRACE=from-to (seconds into the replay): the aircraft
            // against its own point, each second, to find a fault's cause.
            if (secondTick && trace.first <= at_s && at_s <= trace.second)
                std::printf("trace  %6.0f s alt %7.0f own %7.0f off %5.0f m tas %4.0f %s%s\n", at_s, ac->pos.alt,
                            here.alt, here.off_m, ac->pos.tas, ac->groundMode ? "ground " : "",
                            here.known ? "" : "unknown");
            // The lowest the reports went since gear or flaps came down, in
            // the feed times the engine may be flying.
            if ((gearDown || flaps > 0) && secondTick) {
                const ReportSpan near = lf_span(reports, feedT - kRetimeWindow_s, feedT + kRetimeWindow_s);
                if (near.any) lowestSinceDown = std::min(lowestSinceDown, near.low);
            }
            if (ac->groundMode && !groundBefore && wasActive) {
                ++f.touchdowns;
                if (!lf_span(reports, feedT - 40.0, feedT + 40.0).ground &&
                    !lf_groundAfterSilence(reports, feedT - 40.0, feedT + 40.0)) {
                    ++f.touchdownsWithoutGroundReports;
                    f.fault(kTouchdown, at_s);
                }
                if (approachClimb > kLandingClimb_ft) ++f.climbsOnFinal;
                f.landingClimb_ft = std::max(f.landingClimb_ft, approachClimb);
            }
            if (!ac->groundMode && groundBefore && wasActive && lf_span(reports, feedT - 30.0, feedT + 30.0).any &&
                !lf_span(reports, feedT - 30.0, feedT + 30.0).air) {
                ++f.groundDepartures;
                f.fault(kDeparture, at_s);
            }
            groundBefore = ac->groundMode != 0;
            const bool parked = ac->flightState == FlightState::parked;
            if (parked && !parkedBefore) {
                ++f.parked;
                double nearest_m = 1e9;
                for (const Report& r : reports)
                    if (r.t >= feedT - 60.0 && r.t <= feedT + 120.0)
                        nearest_m =
                            std::min(nearest_m, gf_distanceNm({r.lat, r.lon}, {ac->standLat, ac->standLon}) * 1852.0);
                f.parkedAwayFromReports += nearest_m > kHeadingForStand_m;
            }
            parkedBefore = parked;
            if (secondTick) {
                // A jump: farther within one second than the aircraft flies.
                if (hasLast) {
                    const double moved_kt = gf_distanceNm({lastLat, lastLon}, {ac->pos.lat, ac->pos.lon}) * 3600.0;
                    const double limit_kt = lf_fastestNear(reports, feedT) * kJumpSpeedFactor + kJumpSpeedMargin_kt;
                    const bool jumping = moved_kt > limit_kt || std::fabs(ac->pos.alt - lastAlt) > kJumpVertical_ft;
                    if (jumping && !jumpedBefore) {
                        ++f.jumps;
                        f.fault(kJump, at_s);
                    }
                    jumpedBefore = jumping;
                }
                lastLat = ac->pos.lat;
                lastLon = ac->pos.lon;
                lastAlt = ac->pos.alt;
                hasLast = true;
            }
            wasActive = true;
            if (ac->groundMode) {
                recentAlt.clear();
                return;
            }
            f.lowest_ft = std::min(f.lowest_ft, wheels);
            if (wheels < -kUnderGround_ft) f.fault(kBelowGround, at_s);
            if (!secondTick) return;
            // A climb the reports show (a low pass, a circuit) is no climb
            // on the way to a landing.
            const ReportSpan near = lf_span(reports, feedT - 30.0, feedT + 30.0);
            if (wheels > kBelowForLanding_ft || (near.any && near.high > approachLowest + kClimbAway_ft)) {
                approachLowest = 1e9;
                approachClimb = 0.0;
            } else {
                approachLowest = std::min(approachLowest, ac->pos.alt);
                approachClimb = std::max(approachClimb, ac->pos.alt - approachLowest);
            }
            // A climb of the last half minute that the reports do not show:
            // the most they rose within the feed times the engine may have
            // flown meanwhile (the half minute, widened by its retiming).
            recentAlt.emplace_back(feedT, ac->pos.alt);
            while (recentAlt.front().first < feedT - kClimbWindow_s) recentAlt.pop_front();
            double lowest = 1e9;
            for (const auto& [when, alt] : recentAlt) lowest = std::min(lowest, alt);
            const double shown =
                lf_reportsRise(reports, feedT - kClimbWindow_s - kRetimeWindow_s, feedT + kRetimeWindow_s);
            const bool unshown = ac->pos.alt - lowest > shown + kUnshownClimb_ft;
            if (unshown && !climbing) {
                ++f.unshownClimbs;
                f.fault(kUnshownClimb, at_s);
            }
            climbing = unshown;
            // The aircraft against the reports at its own point of the path.
            if (!here.known) return;
            ++f.samples;
            if (here.off_m > f.off_m) {
                f.off_m = here.off_m;
                f.offAtM_s = at_s;
            }
            if (std::isnan(here.alt) || here.alt - row.fieldElevation_ft < kReportedAboveGround_ft) return;
            const double off_ft = std::fabs(ac->pos.alt - here.alt);
            if (off_ft > f.off_ft) {
                f.off_ft = off_ft;
                f.offAt_s = at_s;
            }
        });
    }
    return f;
}

// The believed reports of a climb at 150 kt and 3,000 ft/min: a height
// spiking off its neighbours after a silence would anchor the climb check
// and throw away the true heights after it; a place that creeps on far
// slower than the speed (a coasting receiver) is none of the aircraft's.
TEST(BelievedReports, NeitherASpikeNorACoastingPlaceIsTheAircraft) {
    constexpr double kStepDeg = 150.0 / 3600.0 / 60.0;  // one second at 150 kt
    std::vector<Row> rows;
    for (int i = 0; i <= 14; ++i) rows.push_back(Row{double(i), 50.0 + i * kStepDeg, 4.0, 3000.0 + 50.0 * i, 150.0, 0, 0});
    rows[5].alt = rows[6].alt = std::nan("");
    rows[7].alt -= 300.0;                  // the spike, believable from row 4 after the silence
    rows[12].lat = rows[11].lat + 1e-5;    // 1 m on in a second at 150 kt
    const std::vector<Report> out = lf_believedReports(rows, 0.0);
    const auto at = [&](double t) {
        return std::find_if(out.begin(), out.end(), [t](const Report& r) { return r.t == t; });
    };
    for (const double t : {8.0, 9.0}) {
        ASSERT_NE(at(t), out.end()) << t;
        // Within the reach of the few seconds' median.
        EXPECT_NEAR(at(t)->alt, 3000.0 + 50.0 * t + kQnhFeet, 110.0) << t;
    }
    EXPECT_EQ(at(12.0), out.end()) << "a coasting place believed";
}

// An airliner climbing 3,600 ft/min at 300 kt, as a receiver delivers it:
// a transponder that jumps 600 ft in a second and holds that reading until
// the climb catches up gives no height of the aircraft while it holds, and
// the reports after it climb on from the line; a report whose neighbours
// before it were lost to a coasting receiver keeps its own height, not the
// one the reports after it reach seconds later; a climb whose transponder
// spikes low keeps the heights its rate carries on, and the places of the
// spikes lie on its line; so does one whose receiver mixes in now and then
// a reading of some seconds before, 120-140 ft under the line.
TEST(BelievedReports, WhatATransponderHoldsOrLosesDoesNotMoveTheClimb) {
    constexpr double kStepDeg = 300.0 / 3600.0 / 60.0;  // one second at 300 kt
    const auto climb = [&] {
        std::vector<Row> rows;
        for (int i = 0; i <= 24; ++i)
            rows.push_back(Row{double(i), 52.0 + i * kStepDeg, 5.0, 10000.0 + 60.0 * i, 300.0, 0.0, 3600.0});
        return rows;
    };
    struct Case {
        const char* what;
        std::vector<Row> rows;
    };
    std::vector<Row> held = climb(), coasting = climb(), spiking = climb(), mixing = climb();
    for (int i = 10; i < 20; ++i) held[i].alt = held[9].alt + 600.0;
    for (int i = 10; i < 14; ++i) coasting[i].lat = coasting[9].lat;
    // One report in three, now and then two in a row, 300 to 800 ft low:
    // the plain median of a few seconds sinks onto them.
    for (const int i : {2, 5, 6, 9, 12, 13, 16, 19, 22}) spiking[i].alt -= 300.0 + 60.0 * (i % 9);
    for (const int i : {4, 9, 14, 19}) mixing[i].alt -= 120.0 + i;
    for (const Case& c : {Case{"a held jump", held}, Case{"a coasting receiver", coasting},
                          Case{"a climb spiking low", spiking}, Case{"a climb read a little low", mixing}}) {
        for (const Report& r : lf_believedReports(c.rows, 0.0)) {
            if (r.t == 0.0 || r.t == 24.0) continue;  // the ends have no line to lie on
            EXPECT_NEAR(r.alt, 10000.0 + 60.0 * r.t + kQnhFeet, 1.0) << c.what << " at " << r.t << " s";
        }
    }
}

// Each kind of receiver noise spoils what it names, and no more, in the
// amount the noisy replay counts on: a kind that quietly stopped spoiling
// would leave the noisy replay passing over clean reports. A silence hides
// the aircraft from the truths as from the feed; the same seed draws the
// same noise.
TEST(ReportNoise, EachKindSpoilsWhatItNamesAndNothingElse) {
    constexpr double kStepDeg = 150.0 / 3600.0 / 60.0;  // one second at 150 kt
    std::vector<Row> clean;
    for (int i = 0; i <= 3600; ++i)
        clean.push_back(Row{double(i), 50.0 + i * kStepDeg, 4.0, 3000.0 + i, 150.0, 90.0, 60.0});
    struct Spoil {
        unsigned kind;
        double heightsOff, heightsHigh, heightsNull, speedsNull, placesOff, placesFar, silent;  // shares of reports
    };
    // At least these shares of the hour's reports, none of the others.
    const Spoil kinds[] = {
        {report_noise::kSpikes, 0.10, 0, 0, 0, 0, 0, 0},
        {report_noise::kGateHeights, 0, 0.003, 0, 0, 0, 0, 0},
        {report_noise::kNullValues, 0, 0, 0.05, 0.05, 0, 0, 0},
        {report_noise::kPlaceJumps, 0, 0, 0, 0, 0.002, 0.002, 0},
        {report_noise::kPlaceAhead, 0, 0, 0, 0, 0.01, 0, 0},
        {report_noise::kCoasting, 0, 0, 0, 0, 0.05, 0, 0},
        {report_noise::kGaps, 0, 0, 0, 0, 0, 0, 0.05},
        {report_noise::kStale, 0, 0, 0, 0, 0.002, 0, 0},
    };
    for (const Spoil& k : kinds) {
        SCOPED_TRACE(report_noise::kKindNames[std::countr_zero(k.kind)]);
        const report_noise::Noisy n = report_noise::addNoise(clean, k.kind, 7);
        ASSERT_EQ(n.fed.size(), n.kept.size());
        double off = 0, high = 0, nullAlt = 0, nullGs = 0, moved = 0, far = 0;
        for (std::size_t i = 0; i < n.fed.size(); ++i) {
            const Row &r = n.fed[i], &c = n.kept[i];
            ASSERT_EQ(r.t, c.t);
            off += !std::isnan(r.alt) && std::fabs(r.alt - c.alt) > 150.0;
            high += r.alt >= 36000.0;
            nullAlt += std::isnan(r.alt);
            nullGs += std::isnan(r.gs);
            const double m = gf_distanceNm({c.lat, c.lon}, {r.lat, r.lon}) * 1852.0;
            moved += m > 100.0;
            far += m > 5000.0;
        }
        const double all = double(clean.size()), silent = 1.0 - double(n.fed.size()) / all;
        const auto share = [&](double seen, double least) {
            if (least > 0.0) EXPECT_GE(seen / all, least);
            else EXPECT_EQ(seen, 0.0);
        };
        share(off, k.heightsOff + k.heightsHigh);
        share(high, k.heightsHigh);
        share(nullAlt, k.heightsNull);
        share(nullGs, k.speedsNull);
        share(moved, k.placesOff);
        share(far, k.placesFar);
        if (k.silent > 0.0) EXPECT_GE(silent, k.silent);
        else EXPECT_EQ(silent, 0.0);
        const report_noise::Noisy again = report_noise::addNoise(clean, k.kind, 7);
        ASSERT_EQ(again.fed.size(), n.fed.size());
        for (std::size_t i = 0; i < n.fed.size(); ++i)
            EXPECT_TRUE(again.fed[i].lat == n.fed[i].lat &&
                        (again.fed[i].alt == n.fed[i].alt || std::isnan(n.fed[i].alt)))
                << i;
    }
}

// A place that creeps on far slower than the speed is a coasting receiver's
// only where the aircraft had no time to turn back near it: a glider
// circling in a thermal between reports 12 s apart comes back within a few
// dozen metres, an airliner or a glider a few seconds on cannot.
TEST(BelievedReports, ACircleFlownBetweenReportsIsTheAircraft) {
    struct Case {
        double gs_kt, step_s, creep_m;
        bool believed;
    };
    for (const Case c : {Case{65, 12, 50, true}, Case{65, 6, 30, false}, Case{150, 12, 50, false}}) {
        std::vector<Row> rows;
        for (int i = 0; i < 3; ++i)
            rows.push_back(Row{i * c.step_s, 44.0 + i * c.creep_m / 1852.0 / 60.0, 6.0, 6000.0 + 100.0 * i, c.gs_kt, 0, 0});
        EXPECT_EQ(lf_believedReports(rows, 0.0).size(), c.believed ? 3u : 1u) << c.gs_kt << " kt, " << c.step_s << " s";
    }
}

// What no glider flies, between reports some seconds apart: a height that
// stands 200 ft off its neighbours 6 s away on each side (2,000 ft/min up
// and down again), and the places a receiver made up by carrying its last
// report on along the track while the glider circled on elsewhere. A steady
// 1,000 ft/min climb and a glide that really ran straight stay believed; so
// does a light aircraft's report beyond reach of one whose place lagged
// (decoded late) but within reach of the reports on both sides.
TEST(BelievedReports, WhatNoGliderFliesBetweenSparseReports) {
    constexpr double kM = 1.0 / 1852.0 / 60.0;  // one metre in degrees of latitude
    const double kEastM = kM / std::cos(44.0 * kDegToRad);
    struct Case {
        const char* what;
        std::vector<Row> rows;
        std::vector<double> heightsAt, placesAt;  // believed with a height; believed at all
    };
    const auto glide = [&](int n, double step_s, double climb_ft, double spikeAt) {
        std::vector<Row> rows;
        for (int i = 0; i < n; ++i)
            rows.push_back(Row{i * step_s, 44.0 + i * step_s * 33.0 * kM, 6.0, 6000.0 + climb_ft * i + (i == spikeAt ? 200 : 0),
                               65.0, 0.0, 0.0});
        return rows;
    };
    // Carried on north from the report at 0 s, 400 m each 12 s, every value
    // repeated; the glider is 1 km east of it 48 s later.
    std::vector<Row> carried;
    for (int i = 0; i < 4; ++i) carried.push_back(Row{12.0 * i, 44.0 + 400.0 * i * kM, 6.0, 6000.0, 65.0, 200.0, 64.0});
    carried.push_back(Row{48.0, 44.0, 6.0 + 1000.0 * kEastM, 6100.0, 60.0, 90.0, 512.0});
    std::vector<Row> straight = carried;
    straight.back().lat = carried[3].lat + 300 * kM;
    straight.back().lon = 6.0;
    // At 108 kt, 389 m in 7 s, 271 m in 12 s (the lag), 901 m in 8 s.
    std::vector<Row> lagging;
    for (const auto& [t, north_m, alt, track] : {std::tuple{0.0, 0.0, 1500.0, 132.0}, {7.0, 389.0, 1500.0, 132.0},
                                                 {19.0, 660.0, 1500.0, 131.0}, {27.0, 1561.0, 1700.0, 131.0},
                                                 {39.0, 2228.0, 1900.0, 126.0}})
        lagging.push_back(Row{t, 44.0 + north_m * kM, 6.0, alt, 108.0, track, 0.0});
    const Case cases[] = {
        {"a lagging place", lagging, {0, 7, 19, 27, 39}, {0, 7, 19, 27, 39}},
        {"a height spike", glide(7, 6, 0, 3), {0, 6, 12, 24, 30, 36}, {0, 6, 12, 18, 24, 30, 36}},
        {"a steady climb", glide(7, 6, 100, -1), {0, 6, 12, 18, 24, 30, 36}, {0, 6, 12, 18, 24, 30, 36}},
        {"carried-on places", carried, {0, 48}, {0, 48}},
        {"a straight glide", straight, {0, 12, 24, 36, 48}, {0, 12, 24, 36, 48}},
    };
    for (const Case& c : cases) {
        const std::vector<Report> out = lf_believedReports(c.rows, 0.0);
        std::vector<double> heightsAt, placesAt;
        for (const Report& r : out) {
            placesAt.push_back(r.t);
            if (!std::isnan(r.alt)) heightsAt.push_back(r.t);
        }
        EXPECT_EQ(heightsAt, c.heightsAt) << c.what;
        EXPECT_EQ(placesAt, c.placesAt) << c.what;
    }
}

// The rise the climb check allows: the path of the reports runs straight
// from one to the next, so a climb of 900 ft/min through a 65 s silence is
// shown by the reports on both sides of it, wherever the span ends.
TEST(ClimbCheck, AClimbThroughASilenceIsShown) {
    std::vector<Report> reports;
    for (double t = 0.0; t <= 350.0; t += 5.0)
        if (t <= 280.0 || t >= 345.0) reports.push_back(Report{t, 51.0, 0.0, 1000.0 + 15.0 * t, 125.0, false});
    for (const auto& [from, to] : {std::pair{281.0, 411.0}, {300.0, 340.0}, {102.0, 198.0}})
        EXPECT_NEAR(lf_reportsRise(reports, from, to), 15.0 * (std::min(to, 350.0) - from), 1.0) << from << "-" << to;
}

// The two layouts of a stored recording read the same rows; what the
// receiver did not have stays unknown, and the entry carries it as null.
TEST(RecordingReader, RecordsAndColumnsReadAlike) {
    const nlohmann::json records = nlohmann::json::parse(R"([
        {"timestamp": 2000, "latitude": 47.1, "longitude": 8.1, "altitude": null, "groundspeed": 12, "track": 90,
         "onground": true},
        {"timestamp": 1000, "latitude": 47.0, "longitude": 8.0, "altitude": 1525, "groundspeed": null, "track": 80,
         "vertical_rate": 64, "onground": false}])");
    const nlohmann::json columns = nlohmann::json::parse(R"({
        "timestamp": {"0": 2000, "1": 1000}, "latitude": {"0": 47.1, "1": 47.0}, "longitude": {"0": 8.1, "1": 8.0},
        "altitude": {"0": null, "1": 1525}, "groundspeed": {"0": 12, "1": null}, "track": {"0": 90, "1": 80},
        "vertical_rate": {"1": 64}, "onground": {"0": true, "1": false}})");
    const nlohmann::json lists = nlohmann::json::parse(R"({
        "timestamp": [2000, 1000], "latitude": [47.1, 47.0], "longitude": [8.1, 8.0], "altitude": [null, 1525],
        "groundspeed": [12, null], "track": [90, 80], "vertical_rate": [null, 64], "onground": [true, false]})");
    for (const nlohmann::json* doc : {&records, &columns, &lists}) {
        std::vector<Row> rows = recorded_adsb::parseRows(*doc);
        ASSERT_EQ(rows.size(), 2u) << doc->dump();
        std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.t < b.t; });
        EXPECT_EQ(rows[0].t, 1.0);
        EXPECT_EQ(rows[0].alt, 1525.0);
        EXPECT_TRUE(std::isnan(rows[0].gs));
        EXPECT_EQ(rows[0].vrate, 64.0);
        EXPECT_EQ(rows[0].onground, 0);
        EXPECT_EQ(rows[1].lat, 47.1);
        EXPECT_TRUE(std::isnan(rows[1].alt));
        EXPECT_EQ(rows[1].track, 90.0);
        EXPECT_EQ(rows[1].onground, 1);
        EXPECT_TRUE(recorded_adsb::entry(rows[1], {"4b1815", "A320", "", "", "", "", ""})[4].is_null());
    }
}

TEST_F(RecordedCorpus, EveryKindOfFlightStaysWithItsReports) {
    std::printf("\n%-42s %5s %6s %6s %7s %8s %5s %5s %7s %6s %5s %7s %7s\n", "recording", "flown", "off ft", "off m",
                "lowest", "gear/app", "flaps", "td", "climbs", "final", "jumps", "gndDep", "parked");
    std::uint32_t hexid = 0x4b43a0;
    const char* only = std::getenv("GLIM_CORPUS_ROW");
    for (const CorpusRow& row : kCorpus) {
        SCOPED_TRACE(row.file);
        if (only && !std::string(row.file).starts_with(only)) continue;
        const auto file = recorded_adsb::recording(row.file);
        // The recordings belong to every checkout: without them the motion
        // goes unchecked, which is a failure, not a pass.
        ASSERT_TRUE(file.has_value()) << "not at ../shared/data/adsb beside the source folder";
        const std::vector<Row> rows = recorded_adsb::readRows(*file);
        ASSERT_GT(rows.size(), 100u);
        TearDown();
        SetUp();
        const Truths f = replay(row, rows, ++hexid);
        std::printf("%-42s %5s %6.0f %6.0f %7.0f %2d/%2d/%-2d %5d %5d %7d %6d %5d %7d %5d/%d\n", row.file,
                    f.flown ? "yes" : "no", f.off_ft, f.off_m, f.lowest_ft, f.gearDowns, f.gearUps, f.approaches,
                    f.flapChanges, f.touchdowns, f.unshownClimbs, f.climbsOnFinal, f.jumps, f.groundDepartures,
                    f.parked, f.parkedAwayFromReports);
        EXPECT_TRUE(f.flown) << "the aircraft never flew";
        EXPECT_GT(f.samples, 30u) << "seconds flown against the reports";
        const auto hold = [&](Truth truth, bool kept, const std::string& what) {
            if (row.knownFaults & truth) {
                if (!kept) std::printf("    known fault, not yet mended: %s\n", what.c_str());
                return;
            }
            EXPECT_TRUE(kept) << what;
        };
        hold(kHeight, f.off_ft < kOffReports_ft,
             fmt::format("{:.0f} ft off its reports, {:.0f} s in", f.off_ft, f.offAt_s));
        hold(kPlace, f.off_m < kOffReports_m,
             fmt::format("{:.0f} m off its reported path, {:.0f} s in", f.off_m, f.offAtM_s));
        hold(kTouchdown, f.touchdownsWithoutGroundReports == 0,
             fmt::format("{} touchdowns where the reports were in the air{}", f.touchdownsWithoutGroundReports,
                         f.firstFault(kTouchdown)));
        hold(kDeparture, f.groundDepartures == 0,
             fmt::format("{} departures from the ground where the reports were on it{}", f.groundDepartures,
                         f.firstFault(kDeparture)));
        hold(kRetraction, f.retractionsWithoutClimb == 0,
             fmt::format("{} gear or flap retractions while the reports did not climb away{}",
                         f.retractionsWithoutClimb, f.firstFault(kRetraction)));
        hold(kUnshownClimb, f.unshownClimbs == 0,
             fmt::format("{} climbs the reports did not show{}", f.unshownClimbs, f.firstFault(kUnshownClimb)));
        hold(kFinalClimb, f.climbsOnFinal == 0,
             fmt::format("{} landings with a climb below 1000 ft (largest {:.0f} ft)", f.climbsOnFinal,
                         f.landingClimb_ft));
        hold(kJump, f.jumps == 0,
             fmt::format("{} jumps beyond the aircraft's performance{}", f.jumps, f.firstFault(kJump)));
        hold(kGearCycles, f.gearDowns <= f.approaches,
             fmt::format("gear down {} times on {} approaches of the reports", f.gearDowns, f.approaches));
        hold(kBelowGround, f.lowest_ft >= -kUnderGround_ft,
             fmt::format("{:.0f} ft under the ground{}", -f.lowest_ft, f.firstFault(kBelowGround)));
        hold(kStand, f.parkedAwayFromReports == 0,
             fmt::format("{} stands taken that the reports were not heading for", f.parkedAwayFromReports));
    }
}

// The clean flights again where noise does harm (a hover, low passes, a
// take-off run, approaches, a thermal, a survey turn), each under three
// receivers: one whose heights spike, one that loses values (runs without
// altitude or speed, a 36,000 ft reading now and then), one whose places
// are bad (jumps, a place held ahead, coasting, silences, stale reports),
// and each receiver in several draws of its noise: a rule that holds for
// one draw only is tuned to that draw, not to what receivers send. The
// truths are those of the clean recording: what the aircraft really did. A
// fault known and not yet mended is named for its stretch, draw and
// receiver, as in the corpus. GLIM_NOISE_KINDS (bits of report_noise::Kind,
// 0 for the clean stretch) replays every stretch under that noise alone,
// GLIM_NOISE_SEED one other draw of it.
struct NoisyStretch {
    const char* file;
    double from_s, to_s;  // into the recording
};

constexpr unsigned kReceivers[] = {
    report_noise::kSpikes,
    report_noise::kGateHeights | report_noise::kNullValues,
    report_noise::kPlaceJumps | report_noise::kPlaceAhead | report_noise::kCoasting | report_noise::kGaps |
        report_noise::kStale,
};

constexpr std::uint64_t kDraws[] = {1, 2, 3, 5};

const NoisyStretch kNoisyStretches[] = {
    {"helicopter_zurich_rega1", 0, 340},   {"calibration_toulouse", 1150, 1550}, {"calibration_heathrow", 5050, 5450},
    {"calibration_heathrow", 6300, 6650}, {"calibration_brussels", 0, 400},     {"calibration_brussels", 9050, 9520},
    {"glider_sisteron", 0, 500},          {"glider_sisteron", 17900, 18450},    {"survey_toulouse", 0, 450},
    {"survey_toulouse", 5050, 5600},      {"eham_tra051", 0, 450},              {"eham_tra051", 17600, 18078},
};

struct KnownNoisyFault {
    const char* stretch;  // as the table prints it
    std::uint64_t draw;
    unsigned kinds;
    unsigned truths;
};

const KnownNoisyFault kKnownNoisyFaults[] = {
    {"survey_toulouse 0-450 s", 5, 0x6, kHeight},
};

// A stretch's own draw of the noise, whatever the table's order.
std::uint64_t lf_stretchSeed(const std::string& name, std::uint64_t seed) {
    std::uint64_t h = 14695981039346656037ull ^ seed;
    for (const char c : name) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return h;
}

TEST_F(RecordedCorpus, NoisyReceiversOverCleanFlightsChangeNothingAPilotSees) {
    const char* kindsEnv = std::getenv("GLIM_NOISE_KINDS");
    const char* seedEnv = std::getenv("GLIM_NOISE_SEED");
    const char* only = std::getenv("GLIM_CORPUS_ROW");
    std::vector<std::uint64_t> draws(std::begin(kDraws), std::end(kDraws));
    if (seedEnv) draws = {std::strtoull(seedEnv, nullptr, 0)};
    std::vector<unsigned> mixes(std::begin(kReceivers), std::end(kReceivers));
    if (kindsEnv) mixes = {static_cast<unsigned>(std::strtoul(kindsEnv, nullptr, 0))};
    std::printf("\n%-36s %4s %5s %5s %6s %6s %7s %8s %5s %5s %7s %6s %5s\n", "stretch", "draw", "noise", "flown",
                "off ft",
                "off m", "lowest", "gear/app", "flaps", "td", "climbs", "final", "jumps");
    std::uint32_t hexid = 0x4b5300;
    std::map<std::string, std::vector<Row>> recordings;
    // GLIM_NOISE_STRETCH="<recording> <from> <to>" replays a stretch of
    // one's own choice instead of the table's.
    std::vector<NoisyStretch> stretches(std::begin(kNoisyStretches), std::end(kNoisyStretches));
    std::string chosenFile;
    if (const char* chosen = std::getenv("GLIM_NOISE_STRETCH")) {
        char file[128] = {};
        NoisyStretch one{nullptr, 0.0, 0.0};
        ASSERT_EQ(std::sscanf(chosen, "%127s %lf %lf", file, &one.from_s, &one.to_s), 3) << chosen;
        chosenFile = file;
        one.file = chosenFile.c_str();
        stretches = {one};
    }
    for (const NoisyStretch& stretch : stretches) {
        const std::string name = fmt::format("{} {:.0f}-{:.0f} s", stretch.file, stretch.from_s, stretch.to_s);
        if (only && name.find(only) == std::string::npos) continue;
        const CorpusRow* row = std::find_if(std::begin(kCorpus), std::end(kCorpus), [&](const CorpusRow& r) {
            return std::string(r.file).starts_with(stretch.file);
        });
        ASSERT_NE(row, std::end(kCorpus)) << name;
        std::vector<Row>& all = recordings[row->file];
        if (all.empty()) {
            const auto file = recorded_adsb::recording(row->file);
            ASSERT_TRUE(file.has_value()) << "not at ../shared/data/adsb beside the source folder";
            all = recorded_adsb::readRows(*file);
        }
        std::vector<Row> clean;
        for (const Row& r : all)
            if (r.t >= all.front().t + stretch.from_s && r.t <= all.front().t + stretch.to_s) clean.push_back(r);
        ASSERT_GT(clean.size(), 50u) << name;
        // Fault times as seconds into the recording, as the corpus table gives them.
        const double in_s = clean.front().t - all.front().t;
        for (const std::uint64_t seed : draws)
        for (const unsigned kinds : mixes) {
            SCOPED_TRACE(fmt::format("{}, draw {}, noise {:#x}", name, seed, kinds));
            const report_noise::Noisy noisy = report_noise::addNoise(clean, kinds, lf_stretchSeed(name, seed));
            if (const char* span = std::getenv("GLIM_CORPUS_TRACE")) {
                double from = 0.0, to = 0.0;
                std::sscanf(span, "%lf-%lf", &from, &to);
                for (const Row& r : noisy.fed) {
                    const double at = r.t - clean.front().t;
                    if (at < from || at > to) continue;
                    const LatLon truth = report_noise::placeAt(clean, r.t);
                    std::printf("fed   %6.0f s alt %7.0f gs %4.0f vrate %5.0f %4.0f m off its place\n", at, r.alt,
                                r.gs, r.vrate, gf_distanceNm(truth, {r.lat, r.lon}) * 1852.0);
                }
            }
            TearDown();
            SetUp();
            const Truths f = replay(*row, noisy.kept, ++hexid, &noisy.fed);
            std::printf("%-36s %4llu %#5x %5s %6.0f %6.0f %7.0f %2d/%2d/%-2d %5d %5d %7d %6d %5d\n", name.c_str(),
                        static_cast<unsigned long long>(seed), kinds,
                        f.flown ? "yes" : "no", f.off_ft, f.off_m, f.lowest_ft, f.gearDowns, f.gearUps, f.approaches,
                        f.flapChanges, f.touchdowns, f.unshownClimbs, f.climbsOnFinal, f.jumps);
            EXPECT_TRUE(f.flown) << "the aircraft never flew";
            unsigned known = 0;
            for (const KnownNoisyFault& k : kKnownNoisyFaults)
                if (name == k.stretch && seed == k.draw && kinds == k.kinds) known |= k.truths;
            const auto hold = [&](Truth truth, bool kept, const std::string& what) {
                if (kept) return;
                std::printf("    %s: %s\n", known & truth ? "known fault, not yet mended" : "FAULT", what.c_str());
                if (!(known & truth)) ADD_FAILURE() << what;
            };
            const auto first = [&](Truth truth) {
                return fmt::format(", first {:.0f} s in", f.firstAt_s[std::countr_zero(unsigned{truth})] + in_s);
            };
            hold(kHeight, f.off_ft < kOffReports_ft,
                 fmt::format("{:.0f} ft off its reports, {:.0f} s in", f.off_ft, f.offAt_s + in_s));
            hold(kPlace, f.off_m < kOffReports_m,
                 fmt::format("{:.0f} m off its reported path, {:.0f} s in", f.off_m, f.offAtM_s + in_s));
            hold(kTouchdown, f.touchdownsWithoutGroundReports == 0,
                 fmt::format("{} touchdowns where the reports were in the air{}", f.touchdownsWithoutGroundReports,
                             first(kTouchdown)));
            hold(kDeparture, f.groundDepartures == 0,
                 fmt::format("{} departures from the ground where the reports were on it{}", f.groundDepartures,
                             first(kDeparture)));
            hold(kRetraction, f.retractionsWithoutClimb == 0,
                 fmt::format("{} gear or flap retractions while the reports did not climb away{}",
                             f.retractionsWithoutClimb, first(kRetraction)));
            hold(kUnshownClimb, f.unshownClimbs == 0,
                 fmt::format("{} climbs the reports did not show{}", f.unshownClimbs, first(kUnshownClimb)));
            hold(kFinalClimb, f.climbsOnFinal == 0,
                 fmt::format("{} landings with a climb below 1000 ft (largest {:.0f} ft)", f.climbsOnFinal,
                             f.landingClimb_ft));
            hold(kJump, f.jumps == 0,
                 fmt::format("{} jumps beyond the aircraft's performance{}", f.jumps, first(kJump)));
            hold(kGearCycles, f.gearDowns <= f.approaches,
                 fmt::format("gear down {} times on {} approaches of the reports", f.gearDowns, f.approaches));
            hold(kBelowGround, f.lowest_ft >= -kUnderGround_ft,
                 fmt::format("{:.0f} ft under the ground{}", -f.lowest_ft, first(kBelowGround)));
        }
    }
}

}  // namespace
