// Reports a receiver scattered, polled through the live entry parser and the
// intake and flown over flat ground at the field: real recordings (altitudes
// that jump some hundred feet from one report to the next, single reports
// tens of thousands of feet off, reports without an altitude, positions a
// receiver kept repeating with garbage altitudes and then jumped on), and a
// clean real arrival with such scatter laid over it. One table of what a
// pilot beside them sees; a new case is a new row.
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "core/settings.h"
#include "feed/traffic_reader.h"
#include "motion_harness.h"
#include "recorded_adsb.h"
#include "simlink/sim_ids.h"
#include "traffic/corpus/report_noise.h"
#include "traffic/traffic_state.h"

namespace {

using recorded_adsb::Row;

struct Case {
    const char* name;
    std::function<std::vector<Row>()> rows;
    const char* type;
    const char* callsign;
    double fieldLat, fieldLon, field_ft;
    int qnh;  // the feed's correction; 1013 leaves the pressure altitudes as they are
    // What the pilot expects.
    double offMedian_ft;    // at most, from the run of the reports around
    int gearChanges, flapRetractions;  // at most, in the air
    double finalClimb_ft;   // at most, below 1000 ft above the field on the way down
    double below_ft;        // at most, below all its reports of 15 s around (when all in the air)
    double highest_ft = 0;  // at most, in the air after its first minute (0: any)
};

struct Seen {
    double below_ft = 0.0;  // the most below all its reports of 15 s around, all of them in the air
    double offMedian_ft = 0.0, offAt_s = 0.0, lowest_ft = 1e9, finalClimb_ft = 0.0, highest_ft = 0.0;
    double step_mps = 0.0;
    int gearChanges = 0, flapChanges = 0, flapRetractions = 0, airborneOnGroundReports = 0;
    std::size_t samples = 0;
};

// A report the receiver repeated (the same position again) is none.
bool lf_fresh(const std::vector<Row>& rows, std::size_t i) {
    return i == 0 || rows[i].lat != rows[i - 1].lat || rows[i].lon != rows[i - 1].lon;
}

// The median of the reports (altitude given, in the air) within 15 s of
// each report: the run of reports, without its scatter.
std::vector<double> lf_runningMedian(const std::vector<Row>& rows) {
    std::vector<double> out(rows.size(), std::nan(""));
    std::size_t first = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        while (rows[first].t < rows[i].t - 15.0) ++first;
        std::vector<double> nearby;
        for (std::size_t j = first; j < rows.size() && rows[j].t <= rows[i].t + 15.0; ++j)
            if (rows[j].alt > 0.0 && lf_fresh(rows, j)) nearby.push_back(rows[j].alt);
        if (nearby.size() < 3) continue;
        std::nth_element(nearby.begin(), nearby.begin() + nearby.size() / 2, nearby.end());
        out[i] = nearby[nearby.size() / 2];
    }
    return out;
}

// The receiver's flag where it gives one: a hovering helicopter is slow.
bool lf_groundReport(const Row& r) {
    return r.onground >= 0 ? r.onground == 1 : r.alt <= 0.0 || r.gs <= 35.0;
}

class NoisyReports : public MotionHarness {
protected:
    Seen replay(const Case& c);
};

Seen NoisyReports::replay(const Case& c) {
    Seen s;
    const std::vector<Row> rows = c.rows();
    if (rows.size() < 10) return s;
    const std::vector<double> median = lf_runningMedian(rows);
    const double qnhShift = (c.qnh - 1013.25) * 27.0;
    elevation_ft = c.field_ft;
    COLLISION_USER_AIR.setValue(false);
    LIGHT_AIRCRAFT.setValue(true);
    HELICOPTERS.setValue(true);
    recorded_adsb::ClockedFeedEnv env;
    TrafficReader reader;
    reader.answerSettings.range_nm = 1000.0;
    reader.answerSettings.currentAirport = FeedAirport{true, c.fieldLat, c.fieldLon, c.field_ft};
    reader.answerSettings.airportFileAlt_ft = c.field_ft;
    reader.qnh = c.qnh;
    g_engineQnh = c.qnh;
    constexpr std::uint32_t kHex = 0x4b1815;
    const double firstT = rows.front().t;
    double tickZero = 0.0, lowestBelow1000 = 1e9;
    int gear = -1, flaps = -1;
    std::size_t events = 0, next = 0;
    LatLon last{0.0, 0.0};
    std::uint32_t object = 0;
    for (double t = firstT; t <= rows.back().t + 40.0; t += 2.0) {
        while (next + 1 < rows.size() && rows[next + 1].t <= t) ++next;
        const Row& latest = rows[next];
        sim.user.lat_deg = latest.lat;
        sim.user.lon_deg = latest.lon;
        sim.user.alt_ft = 45000.0;
        if (t <= rows.back().t) {
            env.now = static_cast<std::int64_t>(t);
            reader.filterLat = latest.lat;
            reader.filterLon = latest.lon;
            reader.flightRecords.clear();
            reader.entry = recorded_adsb::entry(latest, {"4b1815", c.type, "", "", "", c.callsign, ""});
            reader.processLine();
            if (tickZero == 0.0) tickZero = g_trafficTick.load() + 3000 - (t - firstT) * 100.0;
            takeBatch(reader.flightRecords, 30);
        }
        fly(200, [&] {
            const LiveAc* ac = liveAc(kHex);
            if (!ac || ac->simState != SimState::active) return;
            for (; events < sim.clientEvents.size(); ++events) {
                const AiEventCmd& e = sim.clientEvents[events];
                if (e.objectId != ac->objectId) continue;
                if (e.eventId == SimEventGearSet) {
                    const int now = e.data == 1 ? 1 : 0;
                    s.gearChanges += gear >= 0 && now != gear;
                    gear = now;
                } else if (e.eventId == SimEventFlapsSet) {
                    const int now = static_cast<int>(e.data);
                    s.flapChanges += flaps >= 0 && now != flaps;
                    s.flapRetractions += flaps >= 0 && now < flaps && !ac->groundMode;
                    flaps = now;
                }
            }
            // A new object (the aircraft removed and made again) is no jump.
            if (ac->objectId != object) last = LatLon{0.0, 0.0}, object = ac->objectId;
            const LatLon here{ac->pos.lat, ac->pos.lon};
            if (last.lat != 0.0) s.step_mps = std::max(s.step_mps, gf_distanceNm(last, here) * 1852.0 * 100.0);
            last = here;
            const std::int32_t tick = g_trafficTick.load();
            const double feedT = firstT + (tick - tickZero) / 100.0;
            const double wheels = ac->pos.alt - cg_ft - elevation_ft;
            // The reports a minute around: their run, and whether all of
            // them say ground.
            double low = 1e9, high = -1e9, lowest15 = 1e9;
            bool allGround = true, any = false, allAir15 = true;
            auto from = std::lower_bound(rows.begin(), rows.end(), feedT - 30.0,
                                         [](const Row& r, double v) { return r.t < v; });
            for (std::size_t i = static_cast<std::size_t>(from - rows.begin());
                 i < rows.size() && rows[i].t <= feedT + 30.0; ++i) {
                any = true;
                allGround &= lf_groundReport(rows[i]);
                if (std::fabs(rows[i].t - feedT) <= 15.0) {
                    allAir15 &= rows[i].alt > 0.0;
                    if (rows[i].alt > 0.0 && lf_fresh(rows, i)) lowest15 = std::min(lowest15, rows[i].alt + qnhShift);
                }
                if (std::isnan(median[i]) || !lf_fresh(rows, i)) continue;
                low = std::min(low, median[i] + qnhShift);
                high = std::max(high, median[i] + qnhShift);
            }
            if (!ac->groundMode && allAir15 && lowest15 < 1e9 && feedT <= rows.back().t)
                s.below_ft = std::max(s.below_ft, lowest15 - ac->pos.alt);
            if (!ac->groundMode) {
                s.lowest_ft = std::min(s.lowest_ft, wheels);
                s.airborneOnGroundReports += any && allGround;
                if (wheels > 1000.0) lowestBelow1000 = 1e9;
                else {
                    lowestBelow1000 = std::min(lowestBelow1000, ac->pos.alt);
                    if (ac->motion.more.landing)
                        s.finalClimb_ft = std::max(s.finalClimb_ft, ac->pos.alt - lowestBelow1000);
                }
            }
            if (tick % 100 != 0) return;
            // Not in the first minute: an aircraft is made where its first
            // report puts it, and catches up with the run from there.
            if (ac->groundMode || low > high || low - c.field_ft < 300.0 || feedT > rows.back().t ||
                feedT < firstT + 60.0)
                return;
            ++s.samples;
            s.highest_ft = std::max(s.highest_ft, ac->pos.alt);
            const double off = std::max(low - ac->pos.alt, ac->pos.alt - high);
            if (off > s.offMedian_ft) s.offMedian_ft = off, s.offAt_s = feedT - firstT;
        });
    }
    return s;
}

std::vector<Row> lf_recorded(const char* file, double fromEnd_s = 0.0) {
    const auto path = recorded_adsb::recording(file);
    EXPECT_TRUE(path.has_value()) << file << " is not at ../shared/data/adsb beside the source folder";
    if (!path) return {};
    std::vector<Row> rows = recorded_adsb::readRows(*path);
    // Negative: the first so many seconds only.
    if (fromEnd_s < 0.0 && !rows.empty()) {
        const double until = rows.front().t - fromEnd_s;
        std::erase_if(rows, [&](const Row& r) { return r.t > until; });
    }
    if (fromEnd_s > 0.0) {
        // The arrival: the last minutes before the first touchdown after
        // the long flight, and a minute of the roll-out.
        double touchdown = rows.back().t;
        for (const Row& r : rows)
            if (r.alt <= 0.0 && r.t > rows.front().t + 3600.0) {
                touchdown = r.t;
                break;
            }
        std::erase_if(rows, [&](const Row& r) { return r.t < touchdown - fromEnd_s || r.t > touchdown + 60.0; });
    }
    return rows;
}

// The clean arrival with a receiver's scatter laid over it: every third
// report polled (every 6 s) 250 ft off, high and low by turns, each off
// alone, as in the recordings; single reports near 30,000 ft.
std::vector<Row> lf_scatteredArrival() {
    std::vector<Row> rows = lf_recorded("eham_tra051_2018-05-30.json.gz", 900.0);
    if (rows.empty()) return rows;
    const double first = rows.front().t;
    for (Row& r : rows) {
        const long s = std::lround(r.t - first);
        if (r.alt <= 0.0 || s % 6 != 0 || s < 60) continue;
        r.alt += s % 12 == 0 ? 250.0 : -250.0;
        if (s == 120 || s == 300 || s == 480) r.alt = 28975.0 + static_cast<double>(s);
    }
    // Some seconds of reports near 30,000 ft.
    for (Row& r : rows) {
        const long s = std::lround(r.t - first);
        if (s >= 360 && s <= 372) r.alt = 29975.0;
    }
    // And on the runway, rolling out fast, some seconds of reports at
    // 30,000 ft.
    const auto touchdown = std::find_if(rows.begin(), rows.end(), [](const Row& r) { return r.alt <= 0.0; });
    for (auto it = touchdown; it != rows.end() && it->t <= touchdown->t + 8.0; ++it)
        if (it->t >= touchdown->t + 2.0) it->alt = 29975.0;
    return rows;
}

// A light aircraft level, reported every so many seconds, two reports in a
// row spiked high; the rest as reported.
std::vector<Row> lf_levelWithTwoSpikes(double step_s, double lat, double lon, double dlon, double level_ft,
                                       double first_ft, double second_ft, double gs_kt, double rate_fpm) {
    std::vector<Row> rows;
    for (int i = 0; i < 40; ++i) {
        const double alt = level_ft + (i == 20 ? first_ft : i == 21 ? second_ft : 0.0);
        const double rate = i % 2 ? rate_fpm : -rate_fpm;  // a glider sends small rates either way
        rows.push_back(Row{1000.0 + step_s * i, lat, lon + i * dlon, alt, gs_kt, 90.0, rate == 0.0 ? 0.0 : rate, 0});
    }
    return rows;
}

// A C182 level at 3,900 ft, reported every 12 s without rates, two reports
// in a row spiked 400 and 775 ft high: they agree with each other, but no
// such aircraft climbs 400 ft in 12 s from level and sinks 775 ft in 12 s.
// (Between the two only the spikes lie within 15 s: no bound below.)
std::vector<Row> lf_levelWithAgreeingSpikes() {
    return lf_levelWithTwoSpikes(12.0, 43.6, 1.2, 0.00997, 3900.0, 400.0, 775.0, 130.0, 0.0);
}

// The C182 reported every 6 s, two reports in a row 140 and 300 ft high:
// the first lies within a report's scatter, but from the second it would
// have to sink 300 ft in 6 s to the level the next two hold.
std::vector<Row> lf_levelWithSpikesItCannotSinkBackFrom() {
    return lf_levelWithTwoSpikes(6.0, 43.6, 1.2, 0.005, 3900.0, 140.0, 300.0, 130.0, 0.0);
}

// A glider level at 4,000 ft, its reports 11 s apart with the small rates
// it sends, two of them in a row 700 and 575 ft high: two spikes, not a
// climb no glider makes.
std::vector<Row> lf_gliderLevelWithTwoSpikes() {
    return lf_levelWithTwoSpikes(11.0, 44.3, 5.9, 0.0055, 4000.0, 700.0, 575.0, 90.0, 64.0);
}

// Sinking at its reported rate for three quarters of its reports and level
// after, a receiver's runs of reports low among them: {first, count, feet}.
std::vector<Row> lf_descentWithLowRuns(double step_s, int reports, double lat, double lon, double rate_fpm,
                                       std::vector<std::array<double, 3>> runs) {
    std::vector<Row> rows;
    for (int i = 0; i < reports; ++i) {
        double alt = 6500.0 + rate_fpm / 60.0 * step_s * std::min(i, reports * 3 / 4);
        for (const auto& [first, count, low] : runs) alt -= i >= first && i < first + count ? low : 0.0;
        rows.push_back(Row{1000.0 + step_s * i, lat, lon + 0.0005 * step_s * i, std::round(alt / 25.0) * 25.0, 70.0,
                           90.0, i < reports * 3 / 4 ? rate_fpm : 0.0, 0});
    }
    return rows;
}

// The motor glider's last minutes at Sisteron, a receiver's spikes laid
// over its reports around a silence of 26 s after a dive: 475 ft low, then
// 375 ft high, then after the silence 775 ft low, where its next report
// is level with the ones before the silence.
std::vector<Row> lf_gliderSpikedAroundASilence() {
    std::vector<Row> rows = lf_recorded("glider_sisteron_2019-05-23.json.gz");
    if (rows.empty()) return rows;
    const double first = rows.front().t;
    std::erase_if(rows, [&](const Row& r) { return r.t < first + 17900.0 || r.t > first + 18300.0; });
    for (Row& r : rows) {
        const long s = std::lround(r.t - first);
        r.alt += s == 18137 ? -475.0 : s == 18146 ? 375.0 : s == 18172 ? -775.0 : 0.0;
    }
    return rows;
}

// The motor glider's descent to Sisteron, three reports in a row 4-9 s
// apart some 800 ft low: a run of a receiver's spikes that lasts longer
// than an airliner's.
std::vector<Row> lf_gliderThreeSpikesInARow() {
    std::vector<Row> rows = lf_recorded("glider_sisteron_2019-05-23.json.gz");
    if (rows.empty()) return rows;
    const double first = rows.front().t;
    std::erase_if(rows, [&](const Row& r) { return r.t < first + 17900.0 || r.t > first + 18450.0; });
    for (Row& r : rows) {
        const long s = std::lround(r.t - first);
        r.alt -= s == 18285 || s == 18289 ? 800.0 : s == 18298 ? 750.0 : 0.0;
    }
    return rows;
}

// The glider's descent to Sisteron, 575 ft low, 325 ft high, 650 ft high.
std::vector<Row> lf_gliderSpikesBothWays() {
    std::vector<Row> rows = lf_recorded("glider_sisteron_2019-05-23.json.gz");
    const double first = rows.empty() ? 0.0 : rows.front().t;
    std::erase_if(rows, [&](const Row& r) { return r.t < first + 17900.0 || r.t > first + 18450.0; });
    for (Row& r : rows)
        r.alt += std::map<long, double>{{18271, -575.0}, {18278, 325.0}, {18298, 650.0}}[std::lround(r.t - first)];
    return rows;
}

// The clean arrival as a receiver that mixes sources delivers it.
std::vector<Row> lf_mixedSourcesArrival() {
    std::vector<Row> rows = lf_recorded("eham_tra051_2018-05-30.json.gz", 900.0);
    std::uint32_t n = 0;
    for (Row& r : rows)
        if (r.alt > 0.0 && r.t - rows.front().t >= 60.0) r.alt += recorded_adsb::mixedSourcesOffset_ft(++n);
    return rows;
}

// The clean arrival from a receiver whose spikes come in runs close
// together, each run off by its own amount: every half minute a run of
// five seconds 325 ft low straight into two seconds 525 ft low, and a
// quarter of a minute later one report 500 ft high, one 475 ft low and two
// 525 ft high within five seconds. The true reports around, carried along
// their rates, agree; the spikes agree with nothing.
std::vector<Row> lf_spikeRunsArrival() {
    std::vector<Row> rows = lf_recorded("eham_tra051_2018-05-30.json.gz", 900.0);
    if (rows.empty()) return rows;
    const double first = rows.front().t;
    for (Row& r : rows) {
        const long s = std::lround(r.t - first);
        if (r.alt <= 0.0 || s < 60) continue;
        const long k = s % 30;
        r.alt += k < 5 ? -325.0 : k < 7 ? -525.0 : k == 15 ? 500.0 : k == 16 ? -475.0 : k == 18 || k == 19 ? 525.0 : 0.0;
    }
    return rows;
}

// The clean arrival from a receiver whose heights spike as the noisy
// receivers' do (one draw of their noise): true reports that the runs of
// spikes around them pull off are flown as reported, and with them the
// reports judged from them.
std::vector<Row> lf_receiverSpikesArrival() {
    const std::vector<Row> rows = lf_recorded("eham_tra051_2018-05-30.json.gz", 900.0);
    return report_noise::addNoise(rows, report_noise::kSpikes, 35).fed;
}

TEST_F(NoisyReports, TheRunOfTheReportsIsFlownNotTheirScatter) {
    // The Zurich take-offs start from a standstill (their reports show no
    // take-off roll) and the Porto departure is made at 350 ft climbing: the
    // climb-out lags its reports by some hundred feet whatever the scatter,
    // hence their wider bounds.
    const Case cases[] = {
        {"take-off at Zurich, noisy altitudes", [] { return lf_recorded("noisy_takeoff_zurich_2019-11-11.json.gz"); },
         "A320", "KLM015", 47.4581, 8.5481, 1416.0, 1009, 550.0, 1, 1, 1e9, 1e9},
        {"ground and take-off at Zurich", [] { return lf_recorded("noisy_ground_zurich_2019-11-11.json.gz"); }, "A320",
         "KLM015", 47.4581, 8.5481, 1416.0, 1009, 550.0, 1, 1, 1e9, 1e9},
        {"departure from Porto, positions off",
         [] { return lf_recorded("noisy_positions_porto_2022-07-13.json.gz", -7000.0); }, "A320", "KLM015", 41.2481,
         -8.6814, 228.0, 1013, 250.0, 1, 1, 1e9, 100.0},
        {"arrival at EHAM with scatter", lf_scatteredArrival, "B738", "KLM015", kEhamLat, kEhamLon, -11.0, 1013, 150.0,
         1, 0, 25.0, 100.0},
        {"arrival at EHAM, spike runs close together", lf_spikeRunsArrival, "B738", "KLM015", kEhamLat, kEhamLon,
         -11.0, 1013, 150.0, 1, 0, 25.0, 100.0},
        {"arrival at EHAM, a receiver's spikes", lf_receiverSpikesArrival, "B738", "KLM015", kEhamLat, kEhamLon,
         -11.0, 1013, 150.0, 1, 0, 25.0, 100.0},
        {"airliner level, spike runs in a row",
         [] { return lf_descentWithLowRuns(1.0, 150, 52.3, 4.7, -64.0, {{100, 6, -225}, {106, 4, -475}, {110, 4, 475}}); },
         "B738", "KLM015", kEhamLat, kEhamLon, -11.0, 1013, 100.0, 0, 0, 1e9, 1e9},
        // Such scatter in its level stretch too, where its rates are 0.
        {"arrival at EHAM, sources mixed", lf_mixedSourcesArrival, "B738", "KLM015", kEhamLat, kEhamLon, -11.0, 1013,
         150.0, 1, 0, 25.0, 100.0},
        // A helicopter that comes down to a low hover, read with a QNH
        // 8 hPa above the standard: the gap the QNH predicts between its
        // reports and the ground is no reason to hover below them (it hovered
        // 164 ft below them; now 9).
        {"helicopter hovering at QNH 1021", [] { return lf_recorded("helicopter_zurich_rega1_2019-05-24.json.gz"); },
         "EC35", "REGA1", 47.3969, 8.6381, 1400.0, 1021, 100.0, 0, 0, 1e9, 100.0},
        {"light aircraft level, two agreeing spikes", lf_levelWithAgreeingSpikes, "C182", "PXR31F", 43.6291, 1.3638,
         499.0, 1013, 150.0, 0, 0, 1e9, 1e9, 4050.0},
        {"light aircraft level, spikes it cannot sink back from", lf_levelWithSpikesItCannotSinkBackFrom, "C182",
         "PXR31F", 43.6291, 1.3638, 499.0, 1013, 150.0, 0, 0, 1e9, 1e9, 3975.0},
        {"glider level, two spikes in a row", lf_gliderLevelWithTwoSpikes, "DA40", "DKVLT", 44.2828, 5.9303, 1745.0,
         1013, 150.0, 0, 0, 1e9, 1e9, 4150.0},
        {"glider, spikes around a silence", lf_gliderSpikedAroundASilence, "DA40", "DKVLT", 44.2828, 5.9303, 1745.0,
         1013, 150.0, 1, 1, 1e9, 1e9},
        {"glider, three spikes in a row", lf_gliderThreeSpikesInARow, "DA40", "DKVLT", 44.2828, 5.9303, 1745.0, 1013,
         150.0, 1, 1, 1e9, 1e9},
        {"glider, spikes low then high", lf_gliderSpikesBothWays, "DA40", "DKVLT", 44.2828, 5.9303, 1745.0, 1013,
         150.0, 1, 1, 100.0, 1e9},
        // Reports low that the aircraft would have to sink to and climb
        // back from faster than every report around, theirs too, shows: a
        // glider's one 275 ft low among reports 11 s apart sinking at 250
        // fpm; a helicopter's five 200 ft low, then five 625 ft low, among
        // reports a second apart sinking at 1,400 fpm.
        {"glider sinking, a report low",
         [] { return lf_descentWithLowRuns(11.0, 60, 44.3, 5.9, -250.0, {{30, 1, 275}}); }, "DA40", "DKVLT", 44.2828,
         5.9303, 1745.0, 1013, 100.0, 0, 0, 1e9, 1e9},
        {"helicopter sinking, reports low",
         [] { return lf_descentWithLowRuns(1.0, 150, 47.4, 8.6, -1400.0, {{100, 5, 200}, {106, 5, 625}}); }, "EC35",
         "REGA1", 47.3969, 8.6381, 1400.0, 1013, 100.0, 0, 0, 1e9, 1e9},
        // Its take-off climbs away at 1,000 fpm: the flaps stay out past
        // the first feet above the runway.
        {"glider take-off, climbing away fast", [] { return lf_recorded("glider_sisteron_2019-05-23.json.gz", -240.0); },
         "DA40", "DKVLT", 44.2828, 5.9303, 1745.0, 1013, 250.0, 1, 0, 1e9, 1e9},
    };
    std::printf("\n%-38s %7s %7s %7s %6s %5s %5s %5s %6s %7s %6s\n", "case", "off ft", "at s", "lowest", "below",
                "gear", "flaps", "up", "climb", "step m", "gndAir");
    std::uint32_t n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (n++) {
            TearDown();
            SetUp();
        }
        const Seen s = replay(c);
        std::printf("%-38s %7.0f %7.0f %7.0f %6.0f %5d %5d %5d %6.0f %7.0f %6d\n", c.name, s.offMedian_ft,
                    s.offAt_s, s.lowest_ft, s.below_ft, s.gearChanges, s.flapChanges, s.flapRetractions, s.finalClimb_ft,
                    s.step_mps, s.airborneOnGroundReports);
        EXPECT_GT(s.samples, 30u) << "the aircraft flew the reports";
        EXPECT_LT(s.offMedian_ft, c.offMedian_ft) << "feet off the run of its reports, " << s.offAt_s << " s in";
        EXPECT_LE(s.gearChanges, c.gearChanges);
        EXPECT_LE(s.flapRetractions, c.flapRetractions);
        EXPECT_LE(s.finalClimb_ft, c.finalClimb_ft) << "feet climbed below 1000 ft on the way down";
        EXPECT_LE(s.below_ft, c.below_ft) << "feet below all its reports around, all of them in the air";
        EXPECT_LT(s.step_mps, 400.0) << "metres in one second: the aircraft jumped";
        EXPECT_EQ(s.airborneOnGroundReports, 0) << "in the air while all its reports said ground";
        if (c.highest_ft > 0.0) {
            EXPECT_LE(s.highest_ft, c.highest_ft) << "feet high: climbed to spikes";
        }
    }
}

// A report between two that agree lies where the aircraft cannot have got
// since the one before, or a fresh report lies behind the last one where
// the aircraft was seconds before: its place is not flown (the stream asks
// for no speed beyond its reports'). Real motion between such reports
// stays as reported: a turn, a receiver back after a silent minute, a
// helicopter darting off its hover or turning back, a glider circling in
// a strong wind. Nor is a refused place that the receiver repeats after a
// silence.
struct PlaceCase {
    const char* name;
    const char* type;
    double step_s, gs_kt;
    // Where the aircraft is t seconds in, east and north of the start (m).
    std::function<std::pair<double, double>(double)> path;
    std::size_t odd;                // the report judged: sent so far ahead and aside,
    double oddAhead_s, oddAside_m;  // after so long a silence
    double silence_s, climb_fpm;
    bool mended;
    bool noTrack = false;  // the receiver had no track: it reads as 0
    bool repeated = false;  // the silence comes after it, and the report after repeats its place
};

TEST_F(NoisyReports, APlaceTheReportsAroundRuleOutIsNotFlown) {
    constexpr double kPi = 3.141592653589793;
    const auto straight = [](double kt) {
        return [kt](double t) { return std::pair{kt * 1852.0 / 3600.0 * t, 0.0}; };
    };
    const auto circling = [](double kt, double radius_m, double wind_kt) {
        return [=](double t) {
            const double a = kt * 1852.0 / 3600.0 * t / radius_m;
            return std::pair{radius_m * std::sin(a) + wind_kt * 1852.0 / 3600.0 * t, radius_m * (1.0 - std::cos(a))};
        };
    };
    const PlaceCase cases[] = {
        {"a place sent 6 s ahead", "B738", 4.0, 260.0, straight(260.0), 3, 6.0, 0.0, 0.0, 0.0, true},
        {"place and height 6 s ahead, climbing", "B738", 4.0, 260.0, straight(260.0), 3, 6.0, 0.0, 0.0, 3000.0, true},
        {"a place 1.5 km aside", "B738", 4.0, 260.0, straight(260.0), 3, 0.0, 1500.0, 0.0, 0.0, true},
        {"a standard-rate turn", "B738", 4.0, 250.0, circling(250.0, 2450.0, 0.0), 3, 0.0, 0.0, 0.0, 0.0, false},
        {"back after a silent minute", "B738", 4.0, 260.0, straight(260.0), 3, 0.0, 0.0, 60.0, 0.0, false},
        {"a helicopter darting off", "EC35", 4.0, 40.0,
         [](double t) { return std::pair{t < 10.0 ? 20.0 * t : 200.0 + 60.0 * (t - 10.0), 0.0}; }, 3, 0.0, 0.0, 0.0,
         0.0, false},
        {"a glider circling in wind", "DA40", 6.0, 60.0, circling(60.0, 120.0, 35.0), 3, 0.0, 0.0, 0.0, 0.0, false},
        {"a 9 s old place with a fresh time", "B738", 5.0, 110.0, straight(110.0), 3, -9.0, 0.0, 0.0, 0.0, true},
        {"a helicopter's 10 s old place", "EC35", 4.0, 70.0, straight(70.0), 3, -10.0, 0.0, 0.0, 0.0, true},
        {"a helicopter circling, back after 40 s", "EC35", 4.0, 80.0, circling(80.0, 400.0, 0.0), 3, 0.0, 0.0, 40.0,
         0.0, false},
        {"a helicopter turning back", "EC35", 3.0, 80.0, circling(80.0, 150.0, 0.0), 3, 0.0, 0.0, 0.0, 0.0, false},
        {"an airliner's steep turn", "B738", 5.0, 180.0, circling(180.0, 1000.0, 0.0), 3, 0.0, 0.0, 0.0, 0.0, false},
        {"a light twin's place 4.5 s ahead, reports 5 s apart", "BE58", 5.0, 200.0, straight(200.0), 3, 4.5, 0.0, 0.0,
         0.0, true},
        {"a light aircraft's 10 s old place after 12 s", "DA40", 5.0, 110.0, straight(110.0), 3, -10.0, 0.0, 12.0,
         0.0, true},
        {"a light aircraft's last place 6 km aside", "DA40", 12.0, 110.0, straight(110.0), 6, 0.0, 6000.0, 0.0, 0.0,
         true},
        {"a light aircraft back after a silent minute", "C182", 8.0, 108.0, straight(108.0), 3, 0.0, 0.0, 60.0, 0.0,
         false},
        {"a light aircraft back after a silent half minute, 4 km aside", "C182", 8.0, 108.0, straight(108.0), 3, 0.0,
         4000.0, 30.0, 0.0, true},
        {"a light aircraft's place 8 s ahead, reports 12 s apart", "C182", 12.0, 108.0, straight(108.0), 5, 8.0, 0.0,
         0.0, 1500.0, true},
        {"a light twin's 4 s old report after 10 s, climbing", "BE58", 5.0, 150.0, straight(150.0), 4, -4.0, 0.0, 5.0,
         1500.0, true},
        {"southbound, no track reported", "B738", 2.0, 110.0, [](double t) { return std::pair{0.0, -56.6 * t}; }, 3,
         0.0, 0.0, 4.0, 0.0, false, true},
        {"a light twin's old place, repeated after a silent minute", "BE58", 5.0, 160.0, straight(160.0), 4, -10.0, 0.0,
         60.0, -1000.0, true, false, true},
    };
    constexpr std::uint32_t kHex = 0x4b1815;
    const double east_deg = 1.0 / (60.0 * 1852.0 * std::cos(kEhamLat * kPi / 180.0)), north_deg = 1.0 / (60.0 * 1852.0);
    for (const PlaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        LIGHT_AIRCRAFT.setValue(true);
        HELICOPTERS.setValue(true);
        recorded_adsb::ClockedFeedEnv env;
        TrafficReader reader;
        reader.answerSettings.range_nm = 1000.0;
        double oddLat = 0.0, oddLon = 0.0;
        const std::size_t silentFrom = c.odd + (c.repeated ? 1 : 0);
        for (std::size_t i = 0; i < 7; ++i) {
            const double t = static_cast<double>(i) * c.step_s + (i >= silentFrom ? c.silence_s : 0.0);
            auto [e, n] = c.path(i == c.odd ? t + c.oddAhead_s : t);
            if (i == c.odd) n += c.oddAside_m;
            const double alt = 3000.0 + c.climb_fpm * (i == c.odd ? t + c.oddAhead_s : t) / 60.0;
            // The track the aircraft flies there (an old place comes with its old track).
            const double at = i == c.odd ? t + c.oddAhead_s : t;
            const auto [e0, n0] = c.path(at - 0.05);
            const auto [e1, n1] = c.path(at + 0.05);
            const double track = c.noTrack ? 0.0 : std::fmod(std::atan2(e1 - e0, n1 - n0) * 180.0 / kPi + 360.0, 360.0);
            Row r{1000.0 + t, kEhamLat + n * north_deg, kEhamLon + e * east_deg, alt, c.gs_kt, track, c.climb_fpm};
            if (i == c.odd) oddLat = r.lat, oddLon = r.lon;
            if (c.repeated && i == c.odd + 1) r.lat = oddLat, r.lon = oddLon;
            env.now = static_cast<std::int64_t>(r.t);
            reader.filterLat = r.lat;
            reader.filterLon = r.lon;
            reader.flightRecords.clear();
            reader.entry = recorded_adsb::entry(r, {"4b1815", c.type, "", "", "", "KLM015", ""});
            reader.processLine();
            takeBatch(reader.flightRecords, 30);
            fly(static_cast<int>(c.step_s * 100.0) + (i + 1 == silentFrom ? static_cast<int>(c.silence_s * 100.0) : 0));
        }
        const LiveAc* ac = liveAc(kHex);
        ASSERT_NE(ac, nullptr);
        bool oddFlown = false;
        double fastest = 0.0;   // share of the reported speed a stream leg asks for
        double steepest = 0.0;  // the same of the reported climb
        for (std::size_t i = 0; i < ac->stream.size(); ++i) {
            const StreamPoint& p = ac->stream[i];
            oddFlown |= std::fabs(p.lat - oddLat) < 1e-9 && std::fabs(p.lon - oddLon) < 1e-9;
            if (i < 2) continue;
            const StreamPoint& q = ac->stream[i - 1];
            const double dt_s = (p.time - q.time) / 100.0;
            if (!(dt_s > 0.0)) continue;
            fastest = std::max(fastest, gf_distanceNm({q.lat, q.lon}, {p.lat, p.lon}) * 3600.0 / dt_s / c.gs_kt);
            if (c.climb_fpm > 0.0) steepest = std::max(steepest, std::fabs(p.alt - q.alt) * 60.0 / dt_s / c.climb_fpm);
        }
        std::printf("%-38s odd place flown %d, fastest leg %.2f x its speed, steepest %.2f x its climb\n", c.name,
                    oddFlown, fastest, steepest);
        EXPECT_EQ(oddFlown, !c.mended);
        if (!c.mended) continue;
        EXPECT_LT(fastest, 1.3) << "a leg of the stream asks for a dash";
        EXPECT_LT(steepest, 1.3) << "a leg of the stream asks for a climb beyond its reports'";
    }
}

}  // namespace
