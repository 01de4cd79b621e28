// One traffic pass with 500 live aircraft and 500 static aircraft in the
// simulator: every live aircraft moved and its position handed over, the
// object events drained, two received records decoded a pass from a live
// poll of all 500 flights every 5 s, and once a second the checks that walk
// both vectors (static twins, user conflicts). Prints the mean and the 99th
// percentile of one pass in microseconds; the pass runs every 10 ms on the
// worker thread, so both must stay far below 10,000 µs.
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "fakelink/fake_sim_link.h"
#include "traffic/intake.h"
#include "traffic/removal_rules.h"
#include "traffic/static_parking.h"
#include "traffic/traffic_cycle.h"
#include "traffic/traffic_link.h"
#include "traffic/traffic_state.h"

namespace {

constexpr int kAircraft = 500;
constexpr int kStatics = 500;
constexpr int kPoints = 60;
constexpr int kPointEvery = 500;  // ticks
constexpr int kPasses = 20000;

FlightRecord lf_record(int i, int k) {
    FlightRecord r;
    r.hexid = 0x400000 + static_cast<std::uint32_t>(i);
    r.callsign = fmt::format("BEN{}", i);
    r.type = "A320";
    r.airline = "BEN";
    r.point.lat = 50.0 + (i % 25) * 0.05;
    r.point.lon = 4.0 + (i / 25) * 0.05 + k * 0.005;
    r.point.alt = 3000.0 + 100.0 * i;
    r.point.gs = 250.0;
    r.point.tas = 250.0;
    r.point.track = 90.0;
    r.point.airborne = true;
    r.feedTime = 1000.0 + 5.0 * k;
    return r;
}

void lf_fillSky() {
    for (int i = 0; i < kAircraft; ++i) {
        const FlightRecord first = lf_record(i, 0);
        AcBase base = gf_buildAircraftBase(first);
        base.hexid = first.hexid;
        g_liveAc.emplace_back(first.point, base, first.feedTime);
        LiveAc& ac = g_liveAc.back();
        ac.stream.clear();
        for (int k = 0; k < kPoints; ++k) {
            StreamPoint p = lf_record(i, k).point;
            p.time = kPointEvery * k;
            ac.stream.push_back(p);
        }
        ac.lastFeedTime = lf_record(i, kPoints - 1).feedTime;
        ac.simState = SimState::active;
        ac.flightState = FlightState::flying;
        ac.objectId = 100 + static_cast<std::uint32_t>(i);
        gf_fillPositionBlock(ac);
    }
}

// Parked on a grid of stands at an airport of their own, each with its own
// callsign and registration (no twin of a live flight).
void lf_fillStands() {
    for (int i = 0; i < kStatics; ++i) {
        FlightRecord r = lf_record(i, 0);
        r.hexid = 0x500000 + static_cast<std::uint32_t>(i);
        r.callsign = fmt::format("STA{}*", i);
        r.registration = fmt::format("PH-S{:03d}", i);
        AcBase base = gf_buildAircraftBase(r);
        base.hexid = r.hexid;
        const double lat = 52.0 + (i % 25) * 0.0005;
        const double lon = 5.0 + (i / 25) * 0.0008;
        StaticAc st(base, static_cast<std::uint32_t>(i + 1), lat, lon, 0.0, 0);
        st.simState = SimState::active;
        st.objectId = 1000 + static_cast<std::uint32_t>(i);
        g_staticAc.push_back(std::move(st));
    }
}

}  // namespace

int main() {
    FakeSimLink sim;
    gf_setTrafficLink(&sim);
    gf_reserveTrafficContainers();
    gf_setTrafficHandover(true);
    lf_fillSky();
    lf_fillStands();

    std::vector<double> pass_us;
    pass_us.reserve(kPasses);
    int poll = kPoints;
    for (int n = 0; n < kPasses; ++n) {
        if (n % kPointEvery == 0) {
            std::vector<FlightRecord> batch;
            for (int i = 0; i < kAircraft; ++i) batch.push_back(lf_record(i, poll));
            ++poll;
            gf_takeTrafficBatch(batch, 30);
        }
        const auto start = std::chrono::steady_clock::now();
        lf_handleAddingStack();
        if (n % 100 == 0) {
            gf_removeStaticTwins();
            gf_removeUserConflicts();
        }
        const auto end = std::chrono::steady_clock::now();
        pass_us.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        sim.frame();
    }
    gf_setTrafficLink(nullptr);

    double sum = 0.0;
    for (double v : pass_us) sum += v;
    std::sort(pass_us.begin(), pass_us.end());
    const double p99 = pass_us[static_cast<std::size_t>(pass_us.size() * 0.99)];
    std::printf("traffic pass, %d live and %d static aircraft, %d passes: mean %.1f us, p99 %.1f us, max %.1f us "
                "(%zu live and %zu static still there)\n",
                kAircraft, kStatics, kPasses, sum / static_cast<double>(pass_us.size()), p99, pass_us.back(),
                g_liveAc.size(), g_staticAc.size());
    // For scripts/bench's table.
    std::printf("RESULT traffic_pass_ms %.4f ms\n", sum / static_cast<double>(pass_us.size()) / 1000.0);
    std::printf("RESULT traffic_pass_p99_ms %.4f ms\n", p99 / 1000.0);
    return 0;
}
