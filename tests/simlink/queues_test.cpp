// The command queues without a simulator: what the queue functions append,
// and the frame flush's two ways of not sending (a busy g_simMutex, a failed
// request). What the flush sends is checked against simstub in
// session_stub_test.cpp.
#include "simlink/sim_flush.h"

#include "simlink_test_support.h"

#include <condition_variable>
#include <stdexcept>

namespace {

using Queues = SimLinkTest;

std::vector<std::pair<std::uint32_t, std::uint32_t>> eventsOf(std::uint32_t objectId) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    std::lock_guard lock(g_simMutex);
    for (const auto& e : g_simQueues.events)
        if (e.objectId == objectId) out.emplace_back(e.eventId, e.data);
    return out;
}

TEST_F(Queues, ClientEventFunctions) {
    gf_setLights(101, 1, 2, 3, 4, 5, 6, 7);
    EXPECT_EQ(eventsOf(101), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                                 {208, 1}, {207, 2}, {211, 3}, {209, 4}, {210, 5}, {213, 6}, {212, 7}}));
    gf_engineAutoStart(102);
    gf_engineAutoShutdown(102);
    gf_setNavLights(102, 1);
    gf_setCabinLights(102, 0);
    gf_queueAiEvent(102, SimEventGearSet, 1);
    EXPECT_EQ(eventsOf(102), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                                 {221, 0}, {222, 0}, {208, 1}, {212, 0}, {220, 1}}));
}

// A handler that throws (the twentieth failed livery ends the run) must not
// get the events before it again on the next drain, nor lose those after it.
TEST_F(Queues, DrainThatThrowsHandsEachEventOverOnce) {
    for (std::uint32_t id : {301u, 302u, 303u}) {
        SimObjectEvent event;
        event.objectId = id;
        gf_pushSimObjectEvent(event);
    }
    std::vector<std::uint32_t> seen;
    EXPECT_THROW(gf_drainSimObjectEvents([&](const SimObjectEvent& e) {
                     seen.push_back(e.objectId);
                     if (e.objectId == 302) throw std::runtime_error("81");
                 }),
                 std::runtime_error);
    gf_drainSimObjectEvents([&](const SimObjectEvent& e) { seen.push_back(e.objectId); });
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{301, 302, 303}));
    EXPECT_TRUE(objectEvents().empty());
}

// Holds g_simMutex on another thread, as the worker does while it queues.
class MutexHolder {
public:
    MutexHolder() {
        m_thread = std::thread([this] {
            std::lock_guard held(g_simMutex);
            std::unique_lock lock(m_mutex);
            m_holding = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_release; });
        });
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_holding; });
    }
    ~MutexHolder() {
        {
            std::lock_guard lock(m_mutex);
            m_release = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_holding = false;
    bool m_release = false;
    std::thread m_thread;
};

TEST_F(Queues, BusyMutexSkipsTheFrameAndLosesNothing) {
    {
        std::lock_guard lock(g_simMutex);
        g_simQueues.positionsFront.push_back(AiPositionCmd{50.0, 8.5, 0, 0, 0, 1000, 0, 150, 150});
        g_simQueues.events.push_back(AiEventCmd{150, SimEventGearSet, 1});
        g_simQueues.creations.push_back(AiCreateRequest{{}, "DLH4", "Stub Jet", 0x3C6444});
        g_simQueues.removals.push_back(151);
    }
    {
        MutexHolder worker;
        EXPECT_FALSE(lf_flushSimCommandQueues());
        g_requestError.store(true);
        EXPECT_FALSE(lf_flushSimCommandQueues()) << "also the emptying after a failed request waits for its frame";
        g_requestError.store(false);
    }
    std::lock_guard lock(g_simMutex);
    EXPECT_EQ(g_simQueues.positionsFront.size(), 1u);
    EXPECT_EQ(g_simQueues.events.size(), 1u);
    EXPECT_EQ(g_simQueues.creations.size(), 1u);
    EXPECT_EQ(g_simQueues.removals.size(), 1u);
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
}

TEST_F(Queues, AfterARequestErrorNothingIsSent) {
    {
        std::lock_guard lock(g_simMutex);
        g_simQueues.positionsFront.push_back(AiPositionCmd{});
        g_simQueues.positionsBack.push_back(AiPositionCmd{});
        g_simQueues.events.push_back(AiEventCmd{150, SimEventGearSet, 1});
        g_simQueues.creations.push_back(AiCreateRequest{{}, "DLH4", "Stub Jet", 0x3C6444});
        g_simQueues.removals.push_back(151);
        g_simQueues.pendingCreations.push_back(PendingCreation{3, 0x4CA123, "EIN12"});
    }
    g_requestError.store(true);
    EXPECT_TRUE(lf_flushSimCommandQueues());
    std::lock_guard lock(g_simMutex);
    EXPECT_TRUE(g_simQueues.positionsFront.empty());
    EXPECT_TRUE(g_simQueues.events.empty());
    EXPECT_TRUE(g_simQueues.creations.empty());
    EXPECT_TRUE(g_simQueues.removals.empty());
    // Not the engine's fill buffer, and not what the simulator may still answer.
    EXPECT_EQ(g_simQueues.positionsBack.size(), 1u);
    EXPECT_EQ(g_simQueues.pendingCreations.size(), 1u);
    EXPECT_FALSE(logHas("Simcon call"));
}

TEST_F(Queues, RemovalOfTheUserAircraftSendsNothing) {
    g_userObjectId.store(5);
    gf_queueAiRemoval(5);
    gf_queueAiRemoval(1);
    EXPECT_TRUE(lf_flushSimCommandQueues());
    EXPECT_TRUE(logHas("==> SimConnect call to remove ac with objectid 5\n"));
    EXPECT_TRUE(logHas("==> SimConnect call to remove ac with objectid 1\n"));
    EXPECT_FALSE(g_requestError.load());
}

// Without a connection the library refuses the creation: a request error,
// SIMCONNECT ERROR, and no pending creation.
TEST_F(Queues, FailedCreationCallEndsTheRun) {
    AiCreateRequest request;
    request.callsign = "DLH4";
    request.liveryTitle = "Stub Jet";
    request.hexid = 0x3C6444;
    gf_queueAiCreation(request);
    EXPECT_TRUE(lf_flushSimCommandQueues());
    EXPECT_TRUE(logHas("==> ! Simcon call to create ac in sim failed, hexid:3957828, liv: 'Stub Jet', callsign: DLH4)\n"));
    EXPECT_TRUE(g_requestError.load());
    EXPECT_EQ(gf_exitReason(), ExitReason::simconnectError);
    EXPECT_EQ(gf_exitDelaySeconds(), 9);
    EXPECT_EQ(gf_statusLineSnapshot().statusText, "SimConnect request error");
    std::lock_guard lock(g_simMutex);
    EXPECT_TRUE(g_simQueues.pendingCreations.empty());
    EXPECT_TRUE(g_simQueues.creations.empty());
}

}  // namespace
