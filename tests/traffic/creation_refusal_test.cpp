// A creation the SimConnect library refuses because a text is too long for
// its field comes back to the engine as a failed creation, not as a broken
// connection: the run goes on and the title is never offered again.
#include "../simconnect/sc_test_support.h"
#include "simlink/creation_tracking.h"
#include "simlink/sim_client.h"
#include "simlink/sim_flush.h"
#include "simlink/sim_queues.h"

namespace {

class CreationRefusal : public SimConnectFixture {
protected:
    void TearDown() override {
        {
            std::lock_guard lock(g_simMutex);
            g_simHandle.store(nullptr);
        }
        gf_clearSimCommandQueues();
        std::lock_guard lock(g_simObjectEvents.mutex);
        g_simObjectEvents.events.clear();
        SimConnectFixture::TearDown();
    }
};

TEST_F(CreationRefusal, TooLongTitleBecomesAFailedCreationEvent) {
    openFake();
    {
        std::lock_guard lock(g_simMutex);
        g_simHandle.store(handle);
    }
    g_requestError.store(false);
    gf_queueAiCreation(AiCreateRequest{{}, "DLH4AB", std::string(256, 'T'), 0x3C0001});
    gf_queueAiCreation(AiCreateRequest{{}, "KLM1", "KLM B738", 0x484F6D});
    EXPECT_TRUE(lf_flushSimCommandQueues());
    EXPECT_FALSE(g_requestError.load());
    {
        std::lock_guard lock(g_simObjectEvents.mutex);
        ASSERT_EQ(g_simObjectEvents.events.size(), 1u);
        EXPECT_EQ(g_simObjectEvents.events[0].kind, SimObjectEventKind::creationFailed);
        EXPECT_EQ(g_simObjectEvents.events[0].aux, 0x3C0001u);
    }
    std::lock_guard lock(g_simMutex);
    ASSERT_EQ(g_simQueues.pendingCreations.size(), 1u) << "the good one went out";
    EXPECT_EQ(g_simQueues.pendingCreations[0].callsign, "KLM1");
}

}  // namespace
