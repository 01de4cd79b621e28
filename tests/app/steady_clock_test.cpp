// The clock seam the run's waits go through.
#include "core/steady_clock.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

class SteadyClockTest : public ::testing::Test {
protected:
    void SetUp() override { gf_setSteadyClock(&clock); }
    void TearDown() override { gf_setSteadyClock(nullptr); }
    VirtualSteadyClock clock;
};

TEST_F(SteadyClockTest, SleepUntilReachesTheDeadlineExactly) {
    int sleeps = 0;
    clock.onAdvance = [&] { ++sleeps; };
    const SteadyTime deadline = gf_steadyNow() + 35ms;
    gf_sleepUntil(deadline);
    EXPECT_EQ(gf_steadyNow(), deadline);
    EXPECT_EQ(sleeps, 1);
    // A deadline in the past does not sleep.
    gf_sleepUntil(deadline - 5ms);
    EXPECT_EQ(sleeps, 1);
}

TEST_F(SteadyClockTest, SleepWatchingEndsAtTheFirstStepAfterTheStop) {
    bool stop = false;
    clock.onAdvance = [&] { stop = clock.elapsed() >= 250ms; };
    EXPECT_FALSE(gf_sleepWatching(2s, 100ms, [&] { return stop; }));
    EXPECT_EQ(clock.elapsed(), 300ms);

    stop = false;
    clock.onAdvance = nullptr;
    EXPECT_TRUE(gf_sleepWatching(1050ms, 100ms, [&] { return stop; }));
    EXPECT_EQ(clock.elapsed(), 1350ms);
}

}  // namespace
