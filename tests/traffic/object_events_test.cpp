// What the simulator reports, applied to the aircraft: created objects, their
// static CG, failed creations, removals, blocked callsigns, and the pace of
// the pass's own requests and releases.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "airports/park_airport_state.h"
#include "core/settings.h"
#include "simlink/creation_tracking.h"
#include "simlink/sim_ids.h"
#include "simlink/sim_queues.h"
#include "traffic/ai_commands.h"
#include "traffic/object_events.h"
#include "traffic/traffic_cycle.h"
#include "traffic/traffic_state.h"
#include "core/user_error.h"
#include "traffic_harness.h"

namespace {

constexpr std::uint32_t kLive = 0x3C0002;

class ObjectEventsTest : public TrafficHarness {
protected:
    LiveAc& liveInSim(std::uint32_t hexid, std::uint32_t objectId, SimState state = SimState::active) {
        auto records = flight(hexid, "DLH" + std::to_string(hexid % 100), "A320", Fix{}, 3, 5.0);
        AcBase base = gf_buildAircraftBase(records[0]);
        base.hexid = hexid;
        base.liveryTitle = "DLH A320";
        g_liveAc.emplace_back(records[0].point, base, records[0].feedTime);
        LiveAc& ac = g_liveAc.back();
        for (std::size_t i = 1; i < records.size(); ++i) ac.stream.push_back(records[i].point);
        for (auto& p : ac.stream) p.time = 100000;
        ac.objectId = objectId;
        ac.simState = state;
        return ac;
    }
    static void push(SimObjectEventKind kind, std::uint32_t objectId, std::uint32_t aux, double v1 = 0, double v2 = 0) {
        SimObjectEvent e;
        e.kind = kind;
        e.objectId = objectId;
        e.aux = aux;
        e.value1 = v1;
        e.value2 = v2;
        gf_pushSimObjectEvent(e);
    }
};

// A static aircraft created on the stand while a live one born there was on
// its way to the simulator gives way once the live object is reported.
TEST_F(ObjectEventsTest, LiveAircraftParksOverAStaticOnItsStand) {
    addStand("E7", 52.0, 4.0, 40.0);
    addStand("E8", 52.0, 4.001, 40.0);
    LiveAc& ac = liveInSim(kLive, 0, SimState::adding2sim);
    for (StreamPoint& p : ac.stream) {
        p.alt = 0.0;
        p.airborne = false;
    }
    ac.flightState = FlightState::parked;
    ac.standId = 1;
    AcBase base;
    base.callsign = "KLM7*";
    g_staticAc.emplace_back(base, 1u, 52.0, 4.0, 0.0, 0);
    g_staticAc.emplace_back(base, 2u, 52.0, 4.001, 0.0, 0);
    for (StaticAc& s : g_staticAc) s.simState = SimState::active;
    push(SimObjectEventKind::liveCreated, 200, kLive);
    gf_handleSimObjectEvents();
    EXPECT_EQ(g_staticAc[0].simState, SimState::removingfromsim);
    EXPECT_EQ(g_staticAc[1].simState, SimState::active) << "the one on the next stand stays";
    EXPECT_NE(logText().find("parks over static KLM7* \x97 static will be removed"), std::string::npos);
}

TEST_F(ObjectEventsTest, StaticCgTable) {
    struct Row {
        double cg_ft, pitch_deg, wantCg_ft, wantPitch_deg;
    } rows[] = {
        {7.0, 1.0, 7.0, 1.0}, {0.5, 2.5, 3.0, 2.5}, {40.0, -1.0, 3.0, 0.7}, {35.0, 2.6, 35.0, 0.7}, {1.0, -0.9, 1.0, -0.9},
    };
    LiveAc& ac = liveInSim(kLive, 200);
    for (const Row& r : rows) {
        ac.cgHeight = 3.0;
        push(SimObjectEventKind::staticCg, 200, 0, r.cg_ft, r.pitch_deg * kDegToRad);
        gf_handleSimObjectEvents();
        EXPECT_DOUBLE_EQ(ac.cgHeight, r.wantCg_ft) << r.cg_ft;
        EXPECT_NEAR(ac.restPitch, r.wantPitch_deg * kDegToRad, 1e-9) << r.pitch_deg;
    }
}

TEST_F(ObjectEventsTest, CreatedObjectsComeToLifeAfter200TicksAndLowIdsAreIgnored) {
    LiveAc& ac = liveInSim(kLive, 0, SimState::adding2sim);
    push(SimObjectEventKind::liveCreated, 2, kLive);  // the user's own id range
    gf_handleSimObjectEvents();
    EXPECT_EQ(ac.objectId, 0u);
    EXPECT_TRUE(g_newObjects.empty());

    // Asked for removal while its creation was on its way: lit, activated,
    // then removed in the same pass.
    removeAircraftFromSim(ac);
    EXPECT_TRUE(ac.removeWhenCreated);
    push(SimObjectEventKind::liveCreated, 300, kLive, 0.0, 1500.0);
    for (int i = 0; i < 199; ++i) gf_handleSimObjectEvents();
    EXPECT_EQ(ac.simState, SimState::adding2sim);
    EXPECT_EQ(ac.objectId, 300u);
    gf_handleSimObjectEvents();
    EXPECT_EQ(ac.simState, SimState::removingfromsim) << "activated and removed in the same pass";
    EXPECT_EQ(g_respawnRemovalQueue, std::deque<std::uint32_t>{300});
    EXPECT_TRUE(g_newObjects.empty());
    EXPECT_DOUBLE_EQ(ac.heightAboveGround, 1500.0);
    EXPECT_EQ(sim.staticCgRequests, std::vector<std::uint32_t>{300});

    // The removed event erases it.
    push(SimObjectEventKind::removed, 300, 0);
    gf_handleSimObjectEvents();
    EXPECT_EQ(liveAc(kLive), nullptr);

    // An object gone before it came to life leaves no entry behind.
    liveInSim(kLive + 1, 0, SimState::adding2sim);
    push(SimObjectEventKind::liveCreated, 301, kLive + 1);
    push(SimObjectEventKind::removed, 301, 0);
    gf_handleSimObjectEvents();
    EXPECT_EQ(liveAc(kLive + 1), nullptr);
    EXPECT_TRUE(g_newObjects.empty()) << "erased with its object, not walked for 200 ticks";

    // A static's object id is kept from its report on: the simulator's
    // removal before activation erases it.
    StaticAc st;
    st.hexid = 10000;
    st.callsign = "KLM9";
    st.simState = SimState::adding2sim;
    g_staticAc.push_back(st);
    push(SimObjectEventKind::staticCreated, 302, 10000);
    gf_handleSimObjectEvents();
    ASSERT_EQ(g_staticAc.size(), 1u);
    EXPECT_EQ(g_staticAc[0].objectId, 302u);
    push(SimObjectEventKind::removed, 302, 0);
    gf_handleSimObjectEvents();
    EXPECT_TRUE(g_staticAc.empty());
    EXPECT_TRUE(g_newObjects.empty());

    // Removed within its 200 ticks (its removal still queued): it is not
    // brought back to life at tick 200.
    LiveAc& late = liveInSim(kLive + 2, 0, SimState::adding2sim);
    push(SimObjectEventKind::liveCreated, 303, kLive + 2);
    gf_handleSimObjectEvents();
    late.simState = SimState::active;
    removeAircraftFromSim(late);
    for (int i = 0; i < 200; ++i) gf_handleSimObjectEvents();
    EXPECT_EQ(liveAc(kLive + 2)->simState, SimState::removingfromsim);
    EXPECT_TRUE(g_newObjects.empty());
}

TEST_F(ObjectEventsTest, FailedCreationsOfLiveAndStaticAircraftAreErasedAndCounted) {
    // Born parked on B2, its livery refused by the simulator: the record goes
    // and the stand it took is free again.
    useParkAirport(52.0, 4.0);
    addStand("B2", 52.0, 4.0, 30.0);
    sim.user.lat_deg = 52.0;
    sim.user.lon_deg = 3.92;
    sim.refusedTitles.insert("DLH A320");
    bool standTaken = false;
    for (double t : {0.0, 16.0, 32.0}) {
        takeBatch({record(10001, "DLH1", "A320", Fix{52.0, 4.0, 0.0, 0.0, 90.0, 1000.0 + t})}, 30);
        run(200);
    }
    for (int i = 0; i < 3000; ++i) {
        run(1);
        standTaken |= gf_standMark(g_standList[0], StandMark::occupied) != 0;
    }
    EXPECT_TRUE(standTaken);
    EXPECT_EQ(liveAc(10001), nullptr);
    EXPECT_EQ(gf_standMark(g_standList[0], StandMark::occupied), 0) << "its stand is free again";
    EXPECT_TRUE(gf_isFailedLiveryTitle("DLH A320"));

    g_liveAc.clear();
    liveInSim(10002, 0, SimState::adding2sim).liveryTitle = "DLH A321";
    StaticAc st;
    st.hexid = 10000;
    st.callsign = "KLM9";
    st.liveryTitle = "KLM B738";
    st.simState = SimState::adding2sim;
    g_staticAc.push_back(st);
    push(SimObjectEventKind::creationFailed, 0, 10002);
    push(SimObjectEventKind::creationFailed, 0, 10000);
    gf_handleSimObjectEvents();
    EXPECT_TRUE(g_liveAc.empty());
    EXPECT_TRUE(g_staticAc.empty());
    EXPECT_TRUE(gf_isFailedLiveryTitle("DLH A321"));
    EXPECT_TRUE(gf_isFailedLiveryTitle("KLM B738"));
}

TEST_F(ObjectEventsTest, TooManyFailedLiveriesEndTheRunAfterTheFailureIsRecorded) {
    for (std::uint32_t i = 0; i < 20; ++i) {
        LiveAc& ac = liveInSim(20000 + i, 0, SimState::adding2sim);
        ac.liveryTitle = "title " + std::to_string(i);
        push(SimObjectEventKind::creationFailed, 0, 20000 + i);
    }
    try {
        gf_handleSimObjectEvents();
        FAIL() << "no user error";
    } catch (const ozr::UserErrorException& e) {
        EXPECT_NE(std::string(e.what()).find("81"), std::string::npos) << e.what();
    }
    EXPECT_EQ(gf_failedLiveryTitleCount(), 20u);
    EXPECT_TRUE(g_liveAc.empty());
}

TEST_F(ObjectEventsTest, BlockedCallsignDropsABufferedAircraftAndRemovesAnActiveOne) {
    LiveAc& buffered = liveInSim(kLive, 0, SimState::buffer);
    liveInSim(kLive + 1, 400);
    push(SimObjectEventKind::blocked, 0, kLive);
    push(SimObjectEventKind::blocked, 0, kLive + 1);
    gf_handleSimObjectEvents();
    EXPECT_TRUE(g_liveAc[0].removeFromBuffer);
    EXPECT_EQ(g_liveAc[1].simState, SimState::removingfromsim);
    EXPECT_NE(logText().find("will be removed from buffer while blocked"), std::string::npos);
    (void)buffered;
}

TEST_F(ObjectEventsTest, RemovalByStateTable) {
    // buffer: dropped; adding2sim with a queued creation: taken back; active:
    // its object queued for removal, its stand freed; again: queued again.
    LiveAc& b = liveInSim(1000001, 0, SimState::buffer);
    removeAircraftFromSim(b);
    EXPECT_TRUE(b.removeFromBuffer);

    LiveAc& q = liveInSim(1000002, 0, SimState::adding2sim);
    g_liveCreationQueue.push_back(AiCreateRequest{{}, q.callsign, "x", q.hexid});
    removeAircraftFromSim(q);
    EXPECT_TRUE(q.creationCancelled);
    EXPECT_TRUE(g_liveCreationQueue.empty());

    // Born parked on A1 through the feed.
    useParkAirport(52.0, 4.0);
    addStand("A1", 52.0, 4.0, 40.0);
    sim.user.lat_deg = 52.0;
    sim.user.lon_deg = 3.92;
    for (double t : {0.0, 16.0, 32.0}) {
        takeBatch({record(1000003, "DLH3", "A320", Fix{52.0, 4.0, 0.0, 0.0, 90.0, 1000.0 + t})}, 30);
        run(200);
    }
    run(3000);
    LiveAc* parked = liveAc(1000003);
    ASSERT_NE(parked, nullptr);
    ASSERT_EQ(parked->simState, SimState::active);
    ASSERT_EQ(gf_standMark(g_standList[0], StandMark::occupied), 1);
    LiveAc& a = *parked;
    const std::uint32_t objectId = a.objectId;
    g_respawnRemovalQueue.clear();
    removeAircraftFromSim(a);
    removeAircraftFromSim(a);
    EXPECT_EQ(a.simState, SimState::removingfromsim);
    EXPECT_EQ(gf_standMark(g_standList[0], StandMark::occupied), 0);
    EXPECT_EQ(g_respawnRemovalQueue, (std::deque<std::uint32_t>{objectId, objectId}));

    // In the simulator without an object id (active, respawning, removing):
    // no removed event will come, the record is erased after the pass.
    for (SimState s : {SimState::active, SimState::liveryrespawn, SimState::removingfromsim}) {
        SCOPED_TRACE(gf_simStateName(s));
        LiveAc& z = liveInSim(1000004, 0, s);
        removeAircraftFromSim(z);
        EXPECT_TRUE(z.countsAsRemoved());
        lf_updateAllLiveAc();
        EXPECT_EQ(liveAc(1000004), nullptr);
    }
    EXPECT_EQ(g_respawnRemovalQueue.size(), 2u);

    // The removal-when-created mark holds back a removal only while the
    // creation is on its way; an active aircraft carrying it is removed.
    LiveAc& w = liveInSim(1000005, 0, SimState::adding2sim);
    removeAircraftFromSim(w);
    ASSERT_TRUE(w.removeWhenCreated);
    removeAircraftFromSim(w);
    EXPECT_EQ(w.simState, SimState::adding2sim);
    w.simState = SimState::active;
    w.objectId = 501;
    removeAircraftFromSim(w);
    EXPECT_EQ(w.simState, SimState::removingfromsim);
    EXPECT_FALSE(w.removeWhenCreated);
    EXPECT_EQ(g_respawnRemovalQueue.back(), 501u);

    // Popped from the adding stack without a callsign: it leaves instead of
    // waiting in "adding" for the rest of the run.
    LiveAc& n = liveInSim(1000006, 0, SimState::adding2sim);
    n.callsign.clear();
    g_addingStack.push_back(1000006);
    run(2);
    EXPECT_EQ(liveAc(1000006), nullptr);
    EXPECT_TRUE(g_liveCreationQueue.empty());
}

// Hundreds of records dropped in one pass (a busy poll's waiting aircraft
// falling due together) leave the others in their order, also when the next
// pass drops as many again before the dropped ones are freed.
TEST_F(ObjectEventsTest, ManyRecordsDroppedInOnePassLeaveTheOthersInOrder) {
    std::uint32_t next = 2000000;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::uint32_t> kept;
        for (const LiveAc& a : g_liveAc) kept.push_back(a.hexid);
        for (int i = 0; i < 600; ++i) {
            const std::uint32_t hexid = next++;
            LiveAc& a = liveInSim(hexid, 0, SimState::buffer);
            if (i % 3 == 0) {
                kept.push_back(hexid);
            } else {
                a.removeFromBuffer = 1;
            }
        }
        lf_updateAllLiveAc();
        std::vector<std::uint32_t> left;
        for (const LiveAc& a : g_liveAc) left.push_back(a.hexid);
        EXPECT_EQ(left, kept);
        ASSERT_NE(liveAc(kept.back()), nullptr);
        EXPECT_EQ(liveAc(kept.back())->hexid, kept.back());
        // The second round comes before the first one's records are freed.
        if (round == 1) run(100);
    }
}

TEST_F(ObjectEventsTest, ControlCommandsSendOnlyChanges) {
    LiveAc& jet = liveInSim(kLive, 600);
    gf_setFlaps(jet, 1);
    gf_setFlaps(jet, 1);
    gf_setFlaps(jet, 4);  // outside the table: nothing sent
    gf_setFlaps(jet, 5);
    gf_setFlaps(jet, -1);
    EXPECT_EQ(jet.lastFlaps, 1);
    gf_setThrottle(jet, 2);
    gf_setThrottle(jet, 2);
    gf_setGear(jet, true);
    gf_setGear(jet, true);
    LiveAc& heli = liveInSim(kLive + 1, 601);
    heli.category = AcCategory::Rotorcraft;
    gf_setFlaps(heli, 1);
    gf_setGear(heli, true);
    gf_setSpoilers(heli, true);
    gf_setThrottle(heli, 4);
    std::lock_guard lock(g_simMutex);
    const std::vector<AiEventCmd>& e = g_simQueues.events;
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e[0].eventId, SimEventFlapsSet);
    EXPECT_EQ(e[0].data, 3072u);
    EXPECT_EQ(e[1].eventId, SimEventThrottleSet);
    EXPECT_EQ(e[1].data, 8191u);
    EXPECT_EQ(e[2].eventId, SimEventGearSet);
    EXPECT_EQ(e[3].eventId, SimEventGearSet);
    EXPECT_EQ(e[4].objectId, 601u);
    EXPECT_EQ(e[4].data, 16383u) << "a rotorcraft gets throttle only";
}

TEST_F(ObjectEventsTest, PassPaceOfRequestsReleasesAndPositionHandOver) {
    // The aircraft-in-range request every 100 ticks, every 20 during a flare.
    run(200);
    EXPECT_EQ(sim.rangeRadii.size(), 2u);
    EXPECT_EQ(sim.rangeRadii[0], 40u * 1852u);
    g_flareActive = true;
    run(100);
    EXPECT_EQ(sim.rangeRadii.size(), 7u);
    g_flareActive = false;

    // Live and static creations both waiting: live first, static 50 ticks later.
    g_trafficTick = 1000;
    g_staticCreationQueue.push_back(AiCreateRequest{{}, "STAT", "KLM B738", 5});
    g_liveCreationQueue.push_back(AiCreateRequest{{}, "LIVE", "DLH A320", 50000});
    lf_sendQueuedCreations();
    {
        std::lock_guard lock(g_simMutex);
        ASSERT_EQ(g_simQueues.creations.size(), 1u);
        EXPECT_EQ(g_simQueues.creations[0].callsign, "LIVE");
    }
    g_trafficTick = 1050;
    lf_sendQueuedCreations();
    {
        std::lock_guard lock(g_simMutex);
        EXPECT_EQ(g_simQueues.creations.size(), 2u);
    }

    // With the link holding g_simMutex: at 30 frames a second the pass's
    // positions are dropped, above 50 it waits for the lock.
    liveInSim(kLive, 700);
    std::unique_lock held(g_simMutex);
    sim.frameRateValue = 30.0f;
    g_simQueues.positionsFront.clear();
    lf_updateAllLiveAc();
    EXPECT_TRUE(g_simQueues.positionsBack.empty());
    EXPECT_TRUE(g_simQueues.positionsFront.empty());
    held.unlock();
    lf_updateAllLiveAc();
    {
        std::lock_guard lock(g_simMutex);
        ASSERT_EQ(g_simQueues.positionsFront.size(), 1u);
        EXPECT_EQ(g_simQueues.positionsFront[0].objectId, 700u);
        g_simQueues.positionsFront.clear();
    }

    // At 60 frames a second the pass waits for the link to let go.
    sim.frameRateValue = 60.0f;
    std::atomic<bool> locked{false};
    std::thread link([&] {
        std::lock_guard lock(g_simMutex);
        locked = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    while (!locked.load()) std::this_thread::yield();
    lf_updateAllLiveAc();
    link.join();
    std::lock_guard lock(g_simMutex);
    ASSERT_EQ(g_simQueues.positionsFront.size(), 1u);
    EXPECT_EQ(g_simQueues.positionsFront[0].objectId, 700u);
}

}  // namespace
