// The gate of buffered aircraft and their birth: who waits, who is dropped,
// who is spawned, with which livery and birth state.
#include "airports/park_airport_state.h"
#include "airports/park_stand_file.h"
#include "catalogue/match_report.h"
#include "catalogue/matcher.h"
#include "core/settings.h"
#include "simlink/creation_tracking.h"
#include "traffic/spawn.h"
#include "traffic/traffic_state.h"
#include "traffic_harness.h"

namespace {

constexpr std::uint32_t kSpawnHex = 0x4CA7B1;

class SpawnTest : public TrafficHarness {
protected:
    // A buffered aircraft with n points 5 s apart, due from tick 1000 on.
    LiveAc& buffered(const std::string& callsign, const std::string& type, int n, Fix fix = Fix{},
                     const std::string& registration = {}) {
        auto records = flight(kSpawnHex, callsign, type, fix, n, 5.0);
        for (std::size_t i = 0; i < records.size(); ++i) {
            records[i].registration = registration;
            records[i].point.time = 1000 + 500 * static_cast<std::int32_t>(i);
        }
        g_liveAc.clear();
        AcBase base = gf_buildAircraftBase(records[0]);
        base.hexid = kSpawnHex;
        g_liveAc.emplace_back(records[0].point, base, records[0].feedTime);
        for (std::size_t i = 1; i < records.size(); ++i) g_liveAc[0].stream.push_back(records[i].point);
        return g_liveAc[0];
    }
};

struct GateRow {
    const char* what;
    const char* callsign;
    const char* type;
    const char* registration;
    int points;
    std::int32_t maxLive;
    const char* blocked;
    bool spawned;
    bool removed;
    const char* callsignAfter;
};

TEST_F(SpawnTest, GateTable) {
    const GateRow rows[] = {
        {"spawned with its airline's livery", "DLH4AB", "A320", "", 3, 500, "", true, false, "DLH4AB"},
        {"a single point is dropped", "DLH4AB", "A320", "", 1, 500, "", false, true, "DLH4AB"},
        {"no live aircraft wanted", "DLH4AB", "A320", "", 3, 0, "", false, true, "DLH4AB"},
        {"blocked callsign", "DLH4AB", "A320", "", 3, 500, "DLH4AB", false, true, "DLH4AB"},
        {"invalid callsign, no registration", "@@@@@@@@", "A320", "", 3, 500, "", false, true, "@@@@@@@@"},
        {"invalid callsign, registration takes its place", "TOOLONG123", "B738", "PH-BXA", 3, 500, "", true, false,
         "PH-BXA"},
        {"no livery for the type", "BAW1", "F18", "G-ABCD", 3, 500, "", false, true, "BAW1"},
    };
    MATCHING_DEPTH.setValue(2);  // the own airline's liveries, no generic fallback
    for (const GateRow& row : rows) {
        SCOPED_TRACE(row.what);
        MAX_LIVE_SEL.setValue(row.maxLive);
        BLOCK_CALLSIGN.set(row.blocked);
        g_addingStack.clear();
        gf_clearRememberedLiveryTitles();  // one hexid for every row
        LiveAc& ac = buffered(row.callsign, row.type, row.points, Fix{}, row.registration);
        g_trafficTick = 899;
        lf_handleBuffered(ac);
        EXPECT_EQ(ac.simState, SimState::buffer) << "not due before 1 s ahead of its first point";
        g_trafficTick = 900;
        lf_handleBuffered(ac);
        EXPECT_EQ(ac.simState == SimState::adding2sim, row.spawned);
        EXPECT_EQ(ac.removeFromBuffer != 0, row.removed) << ac.liveryTitle;
        EXPECT_EQ(ac.callsign, row.callsignAfter);
        if (row.spawned) {
            EXPECT_EQ(g_addingStack, std::vector<std::uint32_t>{kSpawnHex});
            EXPECT_FALSE(ac.liveryTitle.empty());
        }
    }
    EXPECT_TRUE(gf_isUnmatched("BAW F18  G-ABCD")) << "a flight without livery is reported and not tried again";
}

TEST_F(SpawnTest, AnAirborneFirstPointTheAircraftCannotFlyOnFromInTimeIsDroppedBeforeItsBirth) {
    // 2 nm behind the next point, due 5 s before it: a report the service
    // repeated long after the receiver lost the aircraft.
    LiveAc& ac = buffered("DLH4AB", "A320", 4);
    ac.stream[0].lon -= 2.0 / 60.0 / 0.6;
    const double second = ac.stream[1].lon;
    for (std::int32_t tick = 900; ac.simState == SimState::buffer && tick <= 3000; tick += 100) {
        g_trafficTick = tick;
        lf_handleBuffered(ac);
    }
    ASSERT_EQ(ac.simState, SimState::adding2sim);
    EXPECT_DOUBLE_EQ(ac.pos.lon, second);
}

TEST_F(SpawnTest, GroundAircraftSpawnThreeSecondsAheadAndBornTaxiingOrParkedOrWaiting) {
    useParkAirport(52.3, 4.76);
    LiveAc& taxi = buffered("KLM1", "B738", 3, Fix{.lat = 52.3, .lon = 4.76, .alt_ft = 0.0, .gs_kt = 10.0});
    g_trafficTick = 700;
    lf_handleBuffered(taxi);
    EXPECT_EQ(taxi.simState, SimState::adding2sim);
    EXPECT_EQ(taxi.flightState, FlightState::taxi);
    EXPECT_NEAR(taxi.pos.pitch, 0.6 * kDegToRad, 1e-12);

    // Standing still without a stand: waits, losing its front point.
    LiveAc& still = buffered("KLM2", "B738", 3, Fix{.lat = 52.3, .lon = 4.76, .alt_ft = 0.0, .gs_kt = 0.0});
    g_trafficTick = 900;
    lf_handleBuffered(still);
    EXPECT_EQ(still.simState, SimState::buffer);
    EXPECT_EQ(still.stream.size(), 2u);

    // On a stand that fits: born parked on it, the use recorded.
    addStand("E7", 52.3, 4.76, 40.0);
    LiveAc& parked = buffered("KLM3", "B738", 3, Fix{.lat = 52.3, .lon = 4.76, .alt_ft = 0.0, .gs_kt = 0.0},
                              "PH-BXA");
    lf_handleBuffered(parked);
    EXPECT_EQ(parked.flightState, FlightState::parked);
    EXPECT_EQ(parked.standId, 1u);
    EXPECT_EQ(parked.stream.size(), 1u);
    EXPECT_NEAR(parked.pos.heading, 1.0, 1e-12) << "a parked aircraft faces the stand's way";
    ASSERT_EQ(g_standList[0].options.size(), 1u);
    EXPECT_EQ(g_standList[0].options[0].reg, "PH-BXA");
    EXPECT_EQ(g_standList[0].options[0].halfHours, std::uint64_t{1} << 20);

    // The user's reserved stand is never given to a newborn: it is dropped.
    addStand("E9", 52.302, 4.76, 40.0);
    g_reservedStand.set("E9");
    LiveAc& reserved = buffered("KLM4", "B738", 3, Fix{.lat = 52.302, .lon = 4.76, .alt_ft = 0.0, .gs_kt = 0.0});
    lf_handleBuffered(reserved);
    EXPECT_EQ(reserved.simState, SimState::buffer);
    EXPECT_EQ(reserved.standId, 0u);
}

TEST_F(SpawnTest, UserAircraftHoldDropsPointsUntilItMoves) {
    sim.userOnGroundFlag = true;
    sim.user.lat_deg = 52.3;
    sim.user.lon_deg = 4.76;
    g_userAcData = sim.user;
    // 100 m from the user, on the ground, moving: waits and loses its front point.
    LiveAc& near = buffered("KLM5", "B738", 4, Fix{.lat = 52.3009, .lon = 4.76, .alt_ft = 0.0, .gs_kt = 10.0});
    g_trafficTick = 700;
    lf_handleBuffered(near);
    EXPECT_EQ(near.simState, SimState::buffer);
    EXPECT_EQ(near.stream.size(), 3u);
    COLLISION_USER_GND.setValue(false);
    g_trafficTick = 1200;
    lf_handleBuffered(near);
    EXPECT_EQ(near.simState, SimState::adding2sim);
}

}  // namespace

// The user flies at 20,000 ft; new aircraft at that level come in one poll
// per 10 s. One crosses 3 nm north of the user, clear of its path: it
// appears at once. One flies along the user's latitude straight through the
// user's position: it waits while it is within 6 nm and appears once it is
// beyond.
TEST_F(SpawnTest, AirborneUserHoldsOnlyAircraftWhosePathRunsCloseAndOnlyWhileItIs) {
    constexpr double kNmLon = 1.0 / 60.0 / 0.6157;  // at 52.3 N
    constexpr std::uint32_t kClear = 0x4CA7C1, kThrough = 0x4CA7C2;
    auto clear = flight(kClear, "KLM21", "B738", Fix{.lat = 52.35, .lon = 4.70, .alt_ft = 20000.0}, 20, 10.0);
    auto through =
        flight(kThrough, "KLM22", "B738", Fix{.lat = 52.3, .lon = 4.76 - 4.0 * kNmLon, .alt_ft = 20500.0}, 20, 10.0);
    double clearFirstNm = 99.0, throughFirstNm = -1.0;
    for (std::size_t i = 0; i < clear.size(); ++i) {
        takeBatch({clear[i], through[i]}, 30);
        for (int pass = 0; pass < 1000; ++pass) {
            run(1);
            const LiveAc* c = liveAc(kClear);
            if (c && c->simState != SimState::buffer && clearFirstNm > 98.0) clearFirstNm = (c->pos.lon - 4.76) / kNmLon;
            const LiveAc* t = liveAc(kThrough);
            if (t && t->simState != SimState::buffer && throughFirstNm < 0.0)
                throughFirstNm = (t->pos.lon - 4.76) / kNmLon;
        }
    }
    run(3500);
    EXPECT_LT(clearFirstNm, -1.5) << "an aircraft whose track passes 3 nm from the user appears at its first point";
    EXPECT_GT(throughFirstNm, 6.0) << "the aircraft on the user's line appears only beyond 6 nm, east of the user";
    ASSERT_NE(liveAc(kThrough), nullptr);
}

namespace {

// Two aircraft reported standing still on neighbouring stands 30 m apart:
// the first is born parked; the second would stand wing over wing with it
// and is dropped instead of being placed there.
TEST_F(SpawnTest, NewbornNeverParksBesideAParkedNeighbourWithinBothWings) {
    constexpr double kLat = 52.31, kLon = 4.70;
    constexpr double kLonPer30m = 30.0 / (1852.0 * 60.0 * 0.6115);
    useParkAirport(kLat, kLon);
    parking_percentage.setValue(100);
    for (int i = 0; i < 4; ++i) addStand("F" + std::to_string(i + 1), kLat, kLon + i * kLonPer30m, 20.0);
    gf_numberStandsAndNeighbours(g_standList);
    // A poll every 16 s (a standing aircraft's reports are kept one per 15 s).
    auto standing = [&](std::uint32_t hexid, const std::string& cs, double lon) {
        for (int i = 0; i < 3; ++i) {
            takeBatch({record(hexid, cs, "B738",
                              Fix{.lat = kLat, .lon = lon, .alt_ft = 0.0, .gs_kt = 0.0, .feedTime = 1000.0 + 16.0 * i})},
                      30);
            run(1600);
        }
        run(3000);
    };
    standing(0x4CA801, "KLM31", kLon);
    ASSERT_NE(liveAc(0x4CA801), nullptr);
    ASSERT_EQ(liveAc(0x4CA801)->simState, SimState::active);
    ASSERT_EQ(liveAc(0x4CA801)->flightState, FlightState::parked);
    EXPECT_EQ(gf_standNameOf(liveAc(0x4CA801)->standId), "F1");
    standing(0x4CA802, "KLM32", kLon + kLonPer30m);
    EXPECT_EQ(liveAc(0x4CA802), nullptr) << "dropped, not parked on F2 beside KLM31";
    EXPECT_EQ(sim.objectWithCallsign("KLM32"), nullptr);
}

}  // namespace

namespace {

// With the live limit reached (MAX_LIVE_SEL 10), a newcomer nearer to the
// user than the farthest shown aircraft takes its place; one farther than
// all of them is dropped.
TEST_F(SpawnTest, LiveLimitMakesTheFarthestGiveWayToANearerNewcomer) {
    MAX_LIVE_SEL.setValue(10);
    auto polls = [&](const std::vector<std::vector<FlightRecord>>& flights) {
        for (std::size_t k = 0; k < flights.front().size(); ++k) {
            std::vector<FlightRecord> batch;
            for (const auto& f : flights) batch.push_back(f[k]);
            takeBatch(batch, 30);
            run(200);
        }
    };
    std::vector<std::vector<FlightRecord>> far;
    for (std::uint32_t i = 0; i < 10; ++i)
        far.push_back(flight(0x4CB000 + i, "KLM" + std::to_string(40 + i), "B738",
                             Fix{.lat = 52.3 + (20.0 + i) / 60.0, .lon = 4.76, .gs_kt = 110.0}, 6, 2.0));
    polls(far);
    run(3000);
    int active = 0;
    for (const LiveAc& a : g_liveAc) active += a.simState == SimState::active;
    ASSERT_EQ(active, 10);

    auto near = flight(0x4CB100, "KLM60", "B738", Fix{.lat = 52.3 + 5.0 / 60.0, .lon = 4.76, .gs_kt = 110.0}, 6, 2.0);
    auto farther =
        flight(0x4CB101, "KLM61", "B738", Fix{.lat = 52.3 + 40.0 / 60.0, .lon = 4.76, .gs_kt = 110.0}, 6, 2.0);
    for (auto& r : near) r.feedTime += 100.0;
    for (auto& r : farther) r.feedTime += 100.0;
    polls({near, farther});
    run(3500);
    ASSERT_NE(liveAc(0x4CB100), nullptr);
    EXPECT_EQ(liveAc(0x4CB100)->simState, SimState::active) << "the nearer newcomer is shown";
    EXPECT_EQ(liveAc(0x4CB101), nullptr) << "the farther newcomer is dropped";
    EXPECT_EQ(sim.objectWithCallsign("KLM61"), nullptr);
    EXPECT_EQ(liveAc(0x4CB009), nullptr) << "the farthest shown aircraft gave way";
    EXPECT_NE(sim.objectWithCallsign("KLM40"), nullptr) << "the nearest of them stays";
}

// The feed's second report of a flight (its callsign marked "_") gives way
// when the flight itself is created, among other aircraft of the pass.
TEST_F(SpawnTest, ACreatedFlightRemovesItsGhost) {
    const auto polls = [&](std::vector<std::vector<FlightRecord>> flights) {
        for (std::size_t k = 0; k < flights.front().size(); ++k) {
            std::vector<FlightRecord> batch;
            for (const auto& f : flights) batch.push_back(f[k]);
            takeBatch(batch, 30);
            run(200);
        }
    };
    polls({flight(0x4CB200, "KLM7_", "B738", Fix{.lat = 52.4, .gs_kt = 110.0}, 4, 2.0),
           flight(0x4CB201, "KLM8", "B738", Fix{.lat = 52.5, .gs_kt = 110.0}, 4, 2.0)});
    ASSERT_TRUE(runUntilActive(0x4CB200, 6000));
    ASSERT_TRUE(runUntilActive(0x4CB201, 6000));
    auto real = flight(0x4CB202, "KLM7", "B738", Fix{.lat = 52.45, .gs_kt = 110.0}, 4, 2.0);
    for (auto& r : real) r.feedTime += 100.0;
    polls({real});
    ASSERT_TRUE(runUntilActive(0x4CB202, 6000));
    EXPECT_NE(logText().find("KLM7_    is a ghost and will be removed, continue with KLM7"), std::string::npos);
    EXPECT_EQ(sim.objectWithCallsign("KLM7_"), nullptr);
}

}  // namespace

namespace {

// Twenty flights fall due at once and fill the creation queue (one creation
// leaves it every 0.5 s); flights falling due a few seconds later wait,
// losing their points as these fall due, while more than ten creations
// queue, and are created once the queue has shrunk.
TEST_F(SpawnTest, BirthsWaitWhileMoreThanTenCreationsQueue) {
    std::vector<std::vector<FlightRecord>> first, later;
    for (std::uint32_t i = 0; i < 20; ++i)
        first.push_back(flight(0x4CC000 + i, "KLM" + std::to_string(100 + i), "B738",
                               Fix{.lat = 52.0 + i * 0.01, .gs_kt = 110.0}, 8, 2.0));
    for (std::uint32_t i = 0; i < 3; ++i)
        later.push_back(flight(0x4CC100 + i, "KLM" + std::to_string(200 + i), "B738",
                               Fix{.lat = 52.5 + i * 0.01, .gs_kt = 110.0, .feedTime = 1002.0}, 8, 2.0));
    for (std::size_t k = 0; k < 8; ++k) {
        std::vector<FlightRecord> batch;
        for (const auto& f : first) batch.push_back(f[k]);
        if (k >= 1)
            for (const auto& f : later) batch.push_back(f[k - 1]);
        takeBatch(batch, 30);
        run(200);
    }
    // The first flights' first points fall due 3000 ticks after their poll
    // (tick 2900 with the lead); the later ones' 200 ticks after that, while
    // about 15 creations wait.
    run(3200 - 8 * 200);
    std::size_t queued = g_liveCreationQueue.size();
    EXPECT_GT(queued, 10u);
    for (std::uint32_t i = 0; i < 3; ++i) {
        const LiveAc* ac = liveAc(0x4CC100 + i);
        ASSERT_NE(ac, nullptr);
        EXPECT_EQ(ac->simState, SimState::buffer) << "waits while the queue is long";
        EXPECT_LT(ac->stream.size(), 8u) << "and loses its points as they fall due";
    }
    run(1500);
    for (std::uint32_t i = 0; i < 3; ++i) {
        const LiveAc* ac = liveAc(0x4CC100 + i);
        ASSERT_NE(ac, nullptr);
        EXPECT_NE(ac->simState, SimState::buffer) << "created once the queue has shrunk";
    }
}

}  // namespace
