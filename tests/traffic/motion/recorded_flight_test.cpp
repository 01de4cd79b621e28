// A real recorded flight (five hours of a B738 out of and back into EHAM,
// one row a second) polled every 2 s through the live entry parser and the
// intake, flown by the engine over flat terrain at the recorded field
// elevation. Prints how far the simulated aircraft is from the recorded
// track (the nearest point of the recorded path) and from where the real
// one was at the same time (the 30 s hand-over delay taken out; the engine
// runs a few seconds behind by design) in the air and in the last two
// minutes before touchdown, the touchdown itself and the steadiness of
// level flight. Asserts only generous bounds: the figures are for reading.
#include <zlib.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "feed/feed_env.h"
#include "feed/traffic_reader.h"
#include "motion_harness.h"
#include "traffic/traffic_state.h"

namespace {

constexpr const char* kFile = "eham_tra051_2018-05-30.json.gz";
constexpr std::uint32_t kHex = 0x484506;
constexpr int kPollTicks = 200;
constexpr int kDelayTicks = 3000;

struct Row {
    double t;  // seconds
    double lat, lon, alt, gs, track, vrate;
};

std::optional<std::filesystem::path> lf_recording() {
    const char* source = std::getenv("GLIM_SOURCE_DIR");
    const std::filesystem::path root = source ? source : ".";
    for (const char* up : {"../shared/data/adsb", "../../shared/data/adsb"}) {
        const std::filesystem::path p = root / up / kFile;
        if (std::filesystem::exists(p)) return p;
    }
    return std::nullopt;
}

std::vector<Row> lf_readRows(const std::filesystem::path& file) {
    gzFile gz = gzopen(file.string().c_str(), "rb");
    std::string text;
    char buffer[65536];
    for (int n; gz && (n = gzread(gz, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    if (gz) gzclose(gz);
    std::vector<Row> rows;
    for (const auto& o : nlohmann::json::parse(text)) {
        rows.push_back(Row{o["timestamp"].get<double>() / 1000.0, o["latitude"].get<double>(),
                           o["longitude"].get<double>(), o["altitude"].get<double>(), o["groundspeed"].get<double>(),
                           o["track"].get<double>(), o["vertical_rate"].get<double>()});
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.t < b.t; });
    return rows;
}

// The service's entry: the 48 values of one aircraft.
nlohmann::json lf_entry(const Row& r) {
    nlohmann::json e = nlohmann::json::array();
    for (int i = 0; i < 48; ++i) e.push_back(0);
    e[0] = "484506";
    e[1] = r.lat;
    e[2] = r.lon;
    e[3] = r.track;
    e[4] = r.alt;
    e[5] = r.gs;
    e[8] = "B738";
    e[9] = "PH-BXA";
    e[10] = r.t;
    e[11] = "AMS";
    e[12] = "AMS";
    e[13] = "TRA051";
    e[15] = r.vrate;
    e[17] = "adsb";
    e[20] = -1;
    e[23] = 0;
    e[25] = 0;
    e[28] = "A3";
    return e;
}

// Truth at time t, linear between the recorded rows.
Row lf_truthAt(const std::vector<Row>& rows, double t) {
    auto it = std::lower_bound(rows.begin(), rows.end(), t, [](const Row& r, double v) { return r.t < v; });
    if (it == rows.begin()) return rows.front();
    if (it == rows.end()) return rows.back();
    const Row& b = *it;
    const Row& a = *(it - 1);
    const double f = (t - a.t) / (b.t - a.t);
    Row r = a;
    r.t = t;
    r.lat = a.lat + f * (b.lat - a.lat);
    r.lon = a.lon + f * (b.lon - a.lon);
    r.alt = a.alt + f * (b.alt - a.alt);
    return r;
}

// Horizontal distance in metres from (lat, lon) to the recorded track: the
// nearest point on the polyline of the rows within two minutes of t (the
// aircraft runs some seconds behind the recording, never minutes).
double lf_trackDistance_m(const std::vector<Row>& rows, double lat, double lon, double t) {
    constexpr double kMetresPerDeg = 6371008.8 * 3.141592653589793 / 180.0;
    const double east = kMetresPerDeg * std::cos(lat * 3.141592653589793 / 180.0);
    auto first = std::lower_bound(rows.begin(), rows.end(), t - 120.0, [](const Row& r, double v) { return r.t < v; });
    auto last = std::lower_bound(first, rows.end(), t + 120.0, [](const Row& r, double v) { return r.t < v; });
    if (first != rows.begin()) --first;
    if (last == rows.end()) --last;
    double best = 1e12;
    for (auto it = first; it != last; ++it) {
        const double ax = (it->lon - lon) * east, ay = (it->lat - lat) * kMetresPerDeg;
        const double bx = ((it + 1)->lon - lon) * east, by = ((it + 1)->lat - lat) * kMetresPerDeg;
        const double dx = bx - ax, dy = by - ay;
        const double len2 = dx * dx + dy * dy;
        const double f = len2 > 0.0 ? std::clamp(-(ax * dx + ay * dy) / len2, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(ax + f * dx, ay + f * dy));
    }
    return best;
}

// The feed alone, on the recording's clock: the settings are the program's,
// no catalogue, no park airport, no engine behind it.
class ClockedFeedEnv final : public FeedEnv {
public:
    ClockedFeedEnv() { gf_setFeedEnv(this); }
    ~ClockedFeedEnv() override { gf_setFeedEnv(nullptr); }
    FeedSettings settings() override { return gf_feedSettingsFromCore(); }
    void stopWithError(std::string_view, bool) override {}
    void setStatusLine(const std::string&, bool) override {}
    void clearStatusLine() override {}
    void repaint() override {}
    void takeTrafficBatch(std::vector<FlightRecord>& batch, int) override { batch.clear(); }
    void pushBlockedEvent(std::uint32_t) override {}
    void publishEngineQnh(int) override {}
    std::optional<FeedDbaseRecord> lookupRegistration(std::string_view) override { return std::nullopt; }
    std::vector<std::string> registrationKeys(std::string_view registration) override {
        return {std::string(registration)};
    }
    std::optional<FeedDbaseRecord> findRegistrationKey(std::string_view) override { return std::nullopt; }
    bool isKnownAcType(std::string_view) override { return false; }
    FeedCategory acCategory(std::string_view) override { return FeedCategory::large; }
    FeedUserPosition userPosition() override { return {}; }
    std::optional<FeedAirport> parkAirport() override { return std::nullopt; }
    void sleepMs(int) override {}
    std::int64_t systemTime() override { return now; }
    std::int64_t now = 0;
};

struct Figures {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    double at(double q) {
        if (values.empty()) return 0.0;
        std::sort(values.begin(), values.end());
        return values[std::min(values.size() - 1, static_cast<std::size_t>(q * values.size()))];
    }
    void print(const char* what) {
        std::printf("%-38s n=%5zu  median %7.1f  p95 %7.1f  max %7.1f\n", what, values.size(), at(0.5), at(0.95),
                    values.empty() ? 0.0 : *std::max_element(values.begin(), values.end()));
    }
};

class RecordedFlight : public MotionHarness {};

TEST_F(RecordedFlight, FollowsTheRecordedFlightAndLandsOnTheRunway) {
    const auto file = lf_recording();
    // The recording belongs to every checkout: without it the motion goes
    // unchecked, which is a failure, not a pass.
    ASSERT_TRUE(file.has_value()) << "the recorded flights are not at ../shared/data/adsb beside the source folder";
    const std::vector<Row> rows = lf_readRows(*file);
    ASSERT_GT(rows.size(), 1000u);
    // The touchdown: the first row on the ground after the long flight.
    double touchdownT = 0.0;
    for (const Row& r : rows)
        if (r.alt <= 0.0 && r.t > rows.front().t + 3600.0) {
            touchdownT = r.t;
            break;
        }
    ASSERT_GT(touchdownT, 0.0);

    loadEham();
    COLLISION_USER_AIR.setValue(false);
    ClockedFeedEnv env;
    TrafficReader reader;
    reader.answerSettings.range_nm = 1000.0;
    reader.answerSettings.currentAirport = FeedAirport{true, kEhamLat, kEhamLon, -11.0};
    reader.answerSettings.airportFileAlt_ft = -11.0;

    Figures air, final2min, altitudeFinal, offsets, residual, trackAir, trackFinal2min;
    std::vector<double> levelPitch_deg;
    Figures levelBank;
    double levelBankMax_deg = 0.0;
    int flareStageMax = 0;
    double touchdownHeading = -1.0;
    std::optional<LatLon> touchdownAt;
    double tickZero = 0.0;
    const double firstT = rows.front().t;
    std::size_t next = 0;
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
            reader.entry = lf_entry(latest);
            reader.processLine();
            if (t == firstT) tickZero = g_trafficTick.load() + kDelayTicks;
            takeBatch(reader.flightRecords, 30);
        }
        fly(kPollTicks, [&] {
            const std::int32_t tick = g_trafficTick.load();
            const LiveAc* ac = liveAc(kHex);
            if (!ac || ac->simState != SimState::active || tick % 100 != 0) return;
            const double feedT = firstT + (tick - tickZero) / 100.0;
            const Row truth = lf_truthAt(rows, feedT);
            const double d_m = gf_distanceNm({ac->pos.lat, ac->pos.lon}, {truth.lat, truth.lon}) * 1852.0;
            if (feedT < touchdownT && truth.alt > 0.0) {
                air.add(d_m);
                trackAir.add(lf_trackDistance_m(rows, ac->pos.lat, ac->pos.lon, feedT));
            }
            // Every 10 s: the time shift that brings the aircraft nearest to the
            // recorded path, and how near it comes then.
            if (feedT < touchdownT && truth.alt > 0.0 && tick % 1000 == 0) {
                double best = 1e9, bestDt = 0;
                for (double dt = -40; dt <= 40; dt += 0.5) {
                    const Row tr = lf_truthAt(rows, feedT + dt);
                    const double dd = gf_distanceNm({ac->pos.lat, ac->pos.lon}, {tr.lat, tr.lon}) * 1852.0;
                    if (dd < best) { best = dd; bestDt = dt; }
                }
                offsets.add(bestDt);
                residual.add(best);
            }
            if (feedT >= touchdownT - 120.0 && feedT < touchdownT) {
                final2min.add(d_m);
                trackFinal2min.add(lf_trackDistance_m(rows, ac->pos.lat, ac->pos.lon, feedT));
                altitudeFinal.add(std::fabs(ac->pos.alt - std::max(truth.alt, -11.0)));
            }
            flareStageMax = std::max(flareStageMax, ac->motion.more.flareStage);
            if (ac->motion.landingRoll && !touchdownAt) {
                touchdownAt = LatLon{ac->pos.lat, ac->pos.lon};
                touchdownHeading = ac->motion.touchdownHeading_rad * kRadToDeg;
            }
            // Level, straight flight in the recording for the last 20 s.
            const Row before = lf_truthAt(rows, feedT - 20.0);
            if (truth.alt > 2000.0 && std::fabs(truth.vrate) < 64.0 && std::fabs(before.vrate) < 64.0 &&
                std::fabs(truth.alt - before.alt) < 30.0 && std::fabs(truth.track - before.track) < 1.0) {
                levelPitch_deg.push_back(ac->pos.pitch * kRadToDeg);
                levelBankMax_deg = std::max(levelBankMax_deg, std::fabs(ac->pos.bank * kRadToDeg));
                levelBank.add(std::fabs(ac->pos.bank * kRadToDeg));
            }
        });
    }

    std::printf("\nRecorded flight TRA051 (%zu rows, polled every 2 s)\n", rows.size());
    trackAir.print("to the recorded track, air (m)");
    trackFinal2min.print("to the recorded track, last 2 min (m)");
    air.print("time-aligned, in the air (m)");
    final2min.print("time-aligned, last 2 min (m)");
    altitudeFinal.print("altitude error, last 2 min (feet)");
    std::printf("time behind the recording: median %.1f s (p5 %.1f, p95 %.1f); off the recorded path: median %.0f m\n",
                -offsets.at(0.5), -offsets.at(0.95), -offsets.at(0.05), residual.at(0.5));
    const Row truthTd = lf_truthAt(rows, touchdownT);
    const double tdOff_m =
        touchdownAt ? gf_distanceNm(*touchdownAt, {truthTd.lat, truthTd.lon}) * 1852.0 : -1.0;
    std::printf("flare stage reached %d; touchdown heading %.1f deg (runway 058); %.0f m from the recorded touchdown\n",
                flareStageMax, touchdownHeading, tdOff_m);
    double pitchMin = 0, pitchMax = 0, mean = 0, var = 0;
    if (!levelPitch_deg.empty()) {
        pitchMin = *std::min_element(levelPitch_deg.begin(), levelPitch_deg.end());
        pitchMax = *std::max_element(levelPitch_deg.begin(), levelPitch_deg.end());
        for (double p : levelPitch_deg) mean += p / levelPitch_deg.size();
        for (double p : levelPitch_deg) var += (p - mean) * (p - mean) / levelPitch_deg.size();
    }
    std::printf("level flight: %zu samples, pitch %.2f..%.2f deg (sd %.2f), bank median %.1f p95 %.1f max %.1f deg\n",
                levelPitch_deg.size(), pitchMin, pitchMax, std::sqrt(var), levelBank.at(0.5), levelBank.at(0.95),
                levelBankMax_deg);

    // The accuracy the figures above show (p95 about 30 m off the track in
    // the air, 16 m on the final approach, the aircraft 7 s behind the
    // recording), with a margin for rounding on other machines.
    EXPECT_GT(air.values.size(), 5000u) << "the aircraft flew the recording";
    EXPECT_LT(trackAir.at(0.5), 10.0) << "off the recorded track in the air";
    EXPECT_LT(trackAir.at(0.95), 45.0) << "off the recorded track in the air";
    EXPECT_LT(trackFinal2min.at(0.95), 30.0) << "off the recorded track on the final approach";
    EXPECT_LT(air.at(0.5), 1200.0) << "about 7 s behind the recording at 140 to 250 kt";
    EXPECT_LT(final2min.at(0.95), 800.0);
    EXPECT_LT(altitudeFinal.at(0.95), 150.0) << "feet, on the final approach";
    EXPECT_LT(-offsets.at(0.5), 10.0) << "seconds behind the recording";
    EXPECT_GE(flareStageMax, 3);
    ASSERT_TRUE(touchdownAt.has_value());
    EXPECT_NEAR(touchdownHeading, 58.0, 5.0);
    EXPECT_LT(tdOff_m, 500.0) << "from the recorded touchdown";
}

}  // namespace
