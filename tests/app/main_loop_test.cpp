// The main loop in virtual time: its job schedule, the static update's two
// phases, the stop flags and the paused simulator.
#include "run_test_support.h"

namespace run_test {
namespace {

class MainLoopTest : public RunFixture {
protected:
    // Runs the main loop until the user closes the window half a second
    // after simulator second `lastSecond`.
    void runUntilSecond(int lastSecond) {
        world.at(std::chrono::milliseconds(lastSecond * 1000 + 500),
                 [] { gf_setExitReason(ExitReason::userClosedSim, 0); });
        lf_mainLoop();
    }
};

TEST_F(MainLoopTest, JobScheduleFollowsTheSecondCounter) {
    runUntilSecond(310);

    // The 5-second jobs run at every multiple of 5, 80 included.
    EXPECT_TRUE(world.calledAt("updateReaderLamps", 80));
    EXPECT_TRUE(world.calledAt("updateTrafficBox", 80));
    EXPECT_FALSE(world.calledAt("updateReaderLamps", 81));

    // The 16-second static parking only at multiples of 16 that are not
    // multiples of 5: 80 and 160 are left out.
    const std::vector<int> parking = world.secondsOf("staticParking");
    const std::vector<int> expectedParking{16, 32, 48, 64, 96, 112, 128, 144, 176, 192, 208, 224, 256, 272, 288, 304};
    EXPECT_EQ(parking, expectedParking);

    // Static twins at multiples of 61, but not at 305 (a 5-second second).
    EXPECT_EQ(world.secondsOf("removeStaticTwins"), (std::vector<int>{61, 122, 183, 244}));

    // The loop opened the hand-over and started the static parking first.
    EXPECT_TRUE(world.calledAt("staticParking initial", 0));
    EXPECT_TRUE(world.calledAt("handover open", 0));
    // One traffic pass every 10 ms.
    EXPECT_NEAR(world.passes, 31050, 5);
}

TEST_F(MainLoopTest, StaticUpdateRunsInTwoPhasesFifteenSecondsApart) {
    world.parkAirportInUse = true;
    world.standListEmpty = false;
    world.at(20500ms, [] {
        g_savedStaticUpdate = 7;
        g_staticUpdateRequested = true;
    });
    runUntilSecond(70);

    EXPECT_EQ(world.secondsOf("disableParkingControls"), std::vector<int>{30});
    EXPECT_EQ(world.secondsOf("raiseCollectFlag"), std::vector<int>{30});
    EXPECT_EQ(world.secondsOf("applyParkTrafficChanges"), std::vector<int>{45});
    EXPECT_EQ(world.appliedStaticUpdates, std::vector<std::int32_t>{7});
    EXPECT_FALSE(g_staticUpdateRequested.load());
    EXPECT_EQ(g_savedStaticUpdate.load(), 0);
    // While the update is under way the 16-second parking check waits.
    EXPECT_FALSE(world.calledAt("staticParking", 32));
    EXPECT_TRUE(world.calledAt("staticParking", 48));
}

TEST_F(MainLoopTest, StaticParkingRenewsEveryTwentyMinutes) {
    world.standsLoaded = true;
    runUntilSecond(2410);
    EXPECT_EQ(world.secondsOf("announceStaticUpdate"), (std::vector<int>{1200, 2400}));
}

TEST_F(MainLoopTest, StopFlagsEndTheLoopWithoutASimulatorSecond) {
    // The simulator runs but has stopped sending its seconds: the window's
    // close must still end the loop at the next pass.
    world.ticking = false;
    world.at(3505ms, [] { gf_setExitReason(ExitReason::userClosedSim, 0); });
    lf_mainLoop();
    EXPECT_LE(elapsed(), 3520ms);
    EXPECT_EQ(world.seconds, 0);
}

TEST_F(MainLoopTest, StopFlagsEndTheLoopWhileTheSimulatorIsPaused) {
    world.simRunning = false;
    world.at(2505ms, [] { gf_stopWithError("Traffic Reader", true); });
    lf_mainLoop();
    EXPECT_LE(elapsed(), 2520ms);
}

TEST_F(MainLoopTest, PauseClosesTheHandOverOnceAndResumeOpensIt) {
    world.at(3200ms, [this] { world.simRunning = false; });
    world.at(6200ms, [this] { world.simRunning = true; });
    runUntilSecond(8);

    const std::string text = log();
    EXPECT_EQ(countOf(text, "Flight not running"), 1u);
    EXPECT_EQ(countOf(text, "Flight resumed"), 1u);
    EXPECT_EQ(world.count("clearAiPositionBuffers"), 1u);
    // Object events are drained on every paused pass (about 300 of them).
    EXPECT_NEAR(world.objectEventDrains, 300, 2);
    // Opened by the loop's start, closed by the pause, opened by the resume.
    std::vector<std::string> handover;
    for (const auto& call : world.calls) {
        if (call.rfind("handover", 0) == 0) handover.push_back(call.substr(0, call.find('@')));
    }
    EXPECT_EQ(handover, (std::vector<std::string>{"handover open", "handover closed", "handover open"}));
}

TEST_F(MainLoopTest, SimulatorClockSetBackShiftsTheTraffic) {
    SIM_TIME.setValue(true);
    world.simTime = kNow;
    world.at(3500ms, [this] { world.simTime = kNow - 2 * 3600; });
    world.at(5500ms, [this] { world.simTime = kNow + 3600; });
    runUntilSecond(6);
    // Second 1 (the first look), second 4 (two hours back), second 6 (a
    // simulator clock ahead of the system clock gives no shift).
    EXPECT_EQ(world.timeShifts, (std::vector<int>{0, 120, 0}));
}

TEST_F(MainLoopTest, ReReadWaitsWhileTheParkingIsBusy) {
    RunServices services = world.services();
    int checks = 0;
    services.checkParkAirports = [&](bool reserved, std::string& message) {
        EXPECT_TRUE(reserved);
        ++checks;
        message = "park airports and stands are okay";
        return true;
    };
    gf_setRunServices(services);
    world.parkingBusy = true;
    world.at(2500ms, [] { g_reReadRequested = true; });
    world.at(7500ms, [this] { world.parkingBusy = false; });
    runUntilSecond(11);
    EXPECT_EQ(checks, 1);
    EXPECT_FALSE(g_reReadRequested.load());
    EXPECT_NE(log().find("park airports and stands are okay"), std::string::npos);
}

}  // namespace
}  // namespace run_test
