// One capability end to end: received flights become AI objects with their
// liveries and flight plans, are brought to life, follow their points and
// leave again, all through the fake simulator link.
#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "simlink/flight_plan.h"
#include "traffic/intake.h"
#include "traffic/traffic_cycle.h"

#include "simlink/sim_ids.h"
#include "traffic/traffic_state.h"
#include "traffic_harness.h"

namespace {

constexpr std::uint32_t kDlh = 0x3C0001;

class LifeCycleTest : public TrafficHarness {};

TEST_F(LifeCycleTest, FlightIsCreatedActivatedMovedAndRemovedWhenItsStreamEnds) {
    auto records = flight(kDlh, "DLH4AB", "A320", Fix{}, 6, 5.0);
    for (auto& r : records) {
        r.origin = "EHAM";
        r.destination = "EDDF";
    }
    // One live poll every 5 s, each due 30 s after its hand-over.
    for (const FlightRecord& r : records) {
        takeBatch({r}, 30);
        run(500);
        if (r.feedTime == records.front().feedTime) {
            ASSERT_NE(liveAc(kDlh), nullptr);
            EXPECT_EQ(liveAc(kDlh)->stream.front().time, 3000);
        }
    }
    // Spawned 1 s before its first point, created on the next 50-tick mark,
    // brought to life over 200 ticks.
    EXPECT_EQ(liveAc(kDlh)->simState, SimState::adding2sim);
    run(300);
    // The plan is written off the pass and set on a pass after its write.
    EXPECT_TRUE(sim.flightPlans.empty() || std::filesystem::exists(sim.flightPlans[0].second));
    gf_waitFlightPlanWrites();
    run(1);
    const LiveAc& ac = *liveAc(kDlh);
    EXPECT_EQ(ac.simState, SimState::active);
    EXPECT_EQ(ac.stream.size(), 5u) << "the first point reached";

    const FakeObject* object = sim.objectWithCallsign("DLH4AB");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->title, "DLH A320");
    EXPECT_EQ(object->initial.onGround, 0u);
    EXPECT_NEAR(object->initial.altitude_ft, 5000.0, 1e-9);
    EXPECT_EQ(ac.objectId, object->objectId);
    EXPECT_EQ(ac.flightState, FlightState::flying);
    EXPECT_EQ(sim.staticCgRequests, std::vector<std::uint32_t>{object->objectId});
    ASSERT_EQ(sim.flightPlans.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(sim.flightPlans[0].second));
    EXPECT_TRUE(ac.hasFlightPlan);
    int toggles = 0;
    for (const AiEventCmd& e : sim.eventsOf(object->objectId)) toggles += e.eventId == SimEventAllLightsToggle;
    EXPECT_EQ(toggles, 2) << "lights toggled at 50 and 100 ticks";

    run(5);
    const std::uint32_t objectId = object->objectId;
    EXPECT_GE(sim.objects.at(objectId).positionCount, 4u) << "positions reach the object every pass";

    // The feed stops: the aircraft flies on for eight extension steps of 8 s,
    // then it is removed and erased once the simulator reports the object
    // gone.
    const std::string plan = sim.flightPlans[0].second;
    run(3000 + 8 * 800);
    gf_waitFlightPlanWrites();
    EXPECT_EQ(liveAc(kDlh), nullptr);
    EXPECT_EQ(sim.objects.count(objectId), 0u);
    EXPECT_FALSE(std::filesystem::exists(plan)) << "the flight plan goes with the object";
    EXPECT_EQ(sim.requestErrors, 0);
}

// A run ends in the middle of everything: flights shown and waiting,
// creations queued, a poll still handed over, a flare under way. The reset
// leaves nothing of it to the next run, in which the same flight is
// received and created anew.
TEST_F(LifeCycleTest, ResetBetweenRunsLeavesNothingBehind) {
    auto shown = flight(kDlh, "DLH4AB", "A320", Fix{}, 6, 2.0);
    for (const FlightRecord& r : shown) {
        takeBatch({r}, 30);
        run(200);
    }
    ASSERT_TRUE(runUntilActive(kDlh));
    std::vector<FlightRecord> waiting;
    for (std::uint32_t i = 0; i < 30; ++i)
        waiting.push_back(record(0x3C1000 + i, "KLM" + std::to_string(300 + i), "B738", Fix{.lat = 52.5 + i * 0.01}));
    takeBatch(waiting, 12);  // a snapshot: decoded at once, all buffered
    takeBatch({record(0x3C2000, "KLM400", "B738", Fix{})}, 30);
    g_flareActive = true;
    g_liveCreationQueue.push_back(gf_creationRequest(*liveAc(kDlh)));
    g_removedGhosts.push_back("KLM1_");
    ASSERT_FALSE(g_liveAc.empty());

    gf_resetTraffic();
    EXPECT_TRUE(g_liveAc.empty());
    EXPECT_EQ(liveAc(kDlh), nullptr) << "the hexid index forgot it too";
    EXPECT_TRUE(g_addingStack.empty());
    EXPECT_TRUE(g_liveCreationQueue.empty());
    EXPECT_TRUE(g_removedGhosts.empty());
    EXPECT_TRUE(g_duplicateCheckQueue.empty());
    EXPECT_FALSE(g_flareActive.load());
    {
        std::lock_guard lock(g_trafficMutex);
        EXPECT_TRUE(g_handedOverRecords.empty()) << "a poll of the ended run is not decoded into the next";
    }

    // The next run: the same flight again, from the start.
    g_userAcData = UserAcData{};
    const std::size_t created = sim.creations;
    for (FlightRecord r : shown) {
        r.feedTime += 600.0;
        takeBatch({r}, 30);
        run(200);
    }
    ASSERT_TRUE(runUntilActive(kDlh));
    EXPECT_EQ(sim.creations, created + 1);
    EXPECT_EQ(g_liveAc.size(), 1u);
}

// The threads of a run at once: the Traffic Reader hands over its start-of-
// run snapshots and live polls, the simulator link's thread sends frames, the
// worker runs passes under the engine's lock (as the run wiring does).
TEST_F(LifeCycleTest, ReaderSimulatorAndPassesShareTheEngineSafely) {
    std::atomic<bool> stop{false};
    std::thread simulator([&] {
        while (!stop.load()) {
            sim.frame();
            std::this_thread::yield();
        }
    });
    std::thread reader([&] {
        for (int poll = 0; poll < 40; ++poll) {
            std::vector<FlightRecord> batch;
            for (std::uint32_t i = 0; i < 20; ++i) {
                Fix fix;
                fix.lat = 52.0 + i * 0.01;
                fix.lon = 4.0 + poll * 0.01;
                fix.feedTime = 1000.0 + poll * 5.0;
                batch.push_back(record(0x500000 + i, "DLH" + std::to_string(i), "A320", fix));
            }
            takeBatch(batch, poll < 5 ? poll * 6 : 30);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int i = 0; i < 6000; ++i) {
        std::lock_guard lock(g_engineMutex);
        lf_handleAddingStack();
    }
    reader.join();
    stop = true;
    simulator.join();
    std::lock_guard lock(g_engineMutex);
    run(20);  // the last poll decoded
    // How far the flights got depends on the threads' timing; that no
    // record was lost or doubled does not.
    std::set<std::uint32_t> hexids;
    for (const LiveAc& ac : g_liveAc) {
        EXPECT_TRUE(hexids.insert(ac.hexid).second) << "one record per flight";
        EXPECT_GE(ac.hexid, 0x500000u);
        EXPECT_LT(ac.hexid, 0x500014u);
    }
    EXPECT_EQ(sim.requestErrors, 0);
}

}  // namespace
