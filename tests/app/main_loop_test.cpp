// The main loop in virtual time: its job schedule, the static update's two
// phases, the stop flags and the paused simulator.
#include "run_test_support.h"

#include <limits>

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

struct PeriodicCase {
    std::uint32_t second;
    std::vector<std::string> jobs;  // beside the flush, in the order they run
};

TEST_F(MainLoopTest, PeriodicJobsByMultipleOfTheSecond) {
    AUTO_RANGE.setValue(true);
    const std::vector<PeriodicCase> cases{
        {15, {}},
        {45, {}},
        {30, {"clearUnmatchedFlights", "autoRange"}},
        {1200, {"clearUnmatchedFlights", "autoRange", "logUnmatchedFlights"}},
        {86400,
         {"clearUnmatchedFlights", "autoRange", "logUnmatchedFlights", "logLiveryMatchingSummary",
          "clearRememberedLiveryTitles"}},
    };
    for (const PeriodicCase& c : cases) {
        SCOPED_TRACE(c.second);
        world.calls.clear();
        g_rematchRequested = true;
        lf_flightResumed();
        ASSERT_GT(lf_secondCounter(), 0u);
        lf_periodicJobs(c.second);
        std::vector<std::string> jobs;
        for (const auto& call : world.calls) {
            const std::string name = call.substr(0, call.find('@'));
            if (name != "updateLiveCount" && name != "removeUserGroundConflicts") jobs.push_back(name);
        }
        EXPECT_EQ(jobs, c.jobs);
        // The rematch request is served only at a multiple of 30.
        EXPECT_EQ(g_rematchRequested.load(), c.second % 30 != 0);
        // A day ends: the second counter starts again.
        EXPECT_EQ(lf_secondCounter() == 0, c.second == 86400);
    }
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
    // The not-running countdown: the query box and the live count once every
    // 100 paused passes (the live count once more for simulator second 3).
    EXPECT_EQ(std::count(world.calls.begin(), world.calls.end(), "updateTrafficBox@3"), 3);
    EXPECT_EQ(std::count(world.calls.begin(), world.calls.end(), "updateLiveCount@3"), 4);
}

TEST_F(MainLoopTest, SimulatorClockSetBackShiftsTheTraffic) {
    SIM_TIME.setValue(true);
    world.simTime = kNow;
    world.at(3500ms, [this] { world.simTime = kNow - 2 * 3600; });
    world.at(5500ms, [this] { world.simTime = kNow + 3600; });
    // A simulator clock at the ends of its range (a broken reply) must not
    // overflow the differences.
    world.at(7500ms, [this] { world.simTime = std::numeric_limits<std::int64_t>::min(); });
    world.at(8500ms, [this] { world.simTime = std::numeric_limits<std::int64_t>::max(); });
    runUntilSecond(9);
    // Second 1 (the first look), second 4 (two hours back), second 6 (a
    // simulator clock ahead of the system clock gives no shift), seconds 8
    // and 9 (the limits).
    EXPECT_EQ(world.timeShifts, (std::vector<int>{0, 120, 0, 1 << 30, 0}));
    EXPECT_EQ(world.timeShiftsQuiet, std::vector<bool>(5, false));
}

TEST_F(MainLoopTest, SimTimeBoxMakesTheNextSecondTakeTheShift) {
    SIM_TIME.setValue(true);
    world.simTime = kNow - 600;
    // The box turned on again: the last simulator time seen becomes 0.
    world.at(3500ms, [] { g_lastSimTimeSeen = 0; });
    runUntilSecond(5);
    EXPECT_EQ(world.timeShifts, (std::vector<int>{10, 10}));
}

// Once a second the user rules run: the airborne user's in the air, the
// grounded user's on the ground, each only while its box is ticked.
TEST_F(MainLoopTest, UserRulesFollowWhereTheUserIsAndTheirBoxes) {
    world.userOnGround = false;
    world.at(3500ms, [this] { world.userOnGround = true; });
    world.at(6500ms, [] { COLLISION_USER_GND.setValue(false); });
    world.at(8500ms, [this] {
        world.userOnGround = false;
        COLLISION_USER_AIR.setValue(false);
    });
    runUntilSecond(10);
    EXPECT_EQ(world.secondsOf("removeUserAirConflicts"), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(world.secondsOf("removeUserGroundConflicts"), (std::vector<int>{4, 5, 6}));
}

TEST_F(MainLoopTest, ReReadWaitsWhileTheParkingIsBusy) {
    int checks = 0;
    world.replaced.checkParkAirports = [&](bool reserved, std::string& message) {
        EXPECT_TRUE(reserved);
        ++checks;
        message = "park airports and stands are okay";
        return true;
    };
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
