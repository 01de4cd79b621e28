// The end of a run: every exit reason with its restart or quit, the first
// reason winning, the user's close during a restart, and a closing down that
// always lets the program end.
#include "run_test_support.h"

#include "app/window_actions.h"
#include "app/window_commands.h"
#include "ui/control_ids.h"

namespace run_test {
namespace {

class ClosingDownTest : public RunFixture {};

struct ReasonCase {
    const char* name;
    std::function<void()> end;  // how the run was ended
    const char* text;
    bool restarts;
    int delay_s;
    bool scansOff;
    std::chrono::milliseconds waited;  // virtual time the closing down took
};

TEST_F(ClosingDownTest, EveryExitReasonRestartsOrQuits) {
    const std::vector<ReasonCase> cases{
        {"install path", [] { gf_setExitReason(ExitReason::newSettings, 3); }, "NEW SETTINGS", true, 3, false, 3s},
        {"check box", [] { gf_setExitReason(ExitReason::newSettings, 2); }, "NEW SETTINGS", true, 2, false, 2s},
        {"request failed", [] { gf_setExitReason(ExitReason::simconnectError, 9); }, "SIMCONNECT ERROR", true, 9,
         true, 9s},
        {"reader", [] { gf_stopWithError("Traffic Reader", true); }, "READER ERROR", true, 15, true, 15s},
        {"simulator gone", [] { gf_simDisconnected(); }, "SIM WAS CLOSED", false, 0, false, 0s},
        {"new flight", [] { gf_setExitReason(ExitReason::newFlight, 0); }, "NEW FLIGHT", false, 0, false, 10s},
        {"new version", [] { gf_setExitReason(ExitReason::newVersion, 0); }, "NEW VERSION", false, 0, false, 0s},
        {"user", [] { lf_onUserClose(); }, "USER CLOSED SIM", false, 0, false, 0s},
    };
    for (const ReasonCase& c : cases) {
        SCOPED_TRACE(c.name);
        gf_resetExitReason();
        g_closeRequested = false;
        SCAN_LIVERIES.setValue(true);
        SCAN_AIRPORTS.setValue(true);
        world.posted.clear();
        world.calls.clear();
        const auto before = elapsed();

        c.end();
        EXPECT_EQ(gf_exitDelaySeconds(), c.delay_s);
        lf_closingDown();

        ASSERT_EQ(world.posted.size(), 1u);
        EXPECT_EQ(world.posted[0], c.restarts ? RunMessage::startRun : RunMessage::endProgram);
        EXPECT_EQ(elapsed() - before, c.waited);
        EXPECT_EQ(g_restarting.load(), c.restarts);
        EXPECT_EQ(SCAN_LIVERIES.value(), !c.scansOff);
        EXPECT_EQ(SCAN_AIRPORTS.value(), !c.scansOff);
        const std::string text = log();
        EXPECT_NE(text.find(std::string("Exiting: ") + c.text), std::string::npos);
        if (c.restarts) {
            EXPECT_NE(text.find(fmt::format("Restarting after {} seconds", c.delay_s)), std::string::npos);
            // The next run starts clean.
            EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
            EXPECT_FALSE(g_runStopping.load());
            EXPECT_TRUE(world.called("resetSimLink"));
        } else {
            EXPECT_FALSE(world.called("resetSimLink"));
        }
    }
    EXPECT_NE(log().find("New flight detected, GLIM_P3D will close, please restart manually ..."), std::string::npos);
}

TEST_F(ClosingDownTest, SystemErrorWaitsForTheUserAfterSavingEverything) {
    DESTINATION.set("EHAM");
    world.parkAirportInUse = true;
    bool savedBeforeClose = false;
    world.at(7000ms, [&] {
        // The wait may end in a logoff: by now everything must be on disk.
        savedBeforeClose = world.called("clearAirportTraffic") &&
                           parametersFile().find("name=\"DESTINATION\" value=\"\"") != std::string::npos;
        lf_onUserClose();
    });
    gf_stopWithError("Weather Reader", false);
    lf_closingDown();

    EXPECT_TRUE(savedBeforeClose);
    ASSERT_EQ(world.posted, std::vector<RunMessage>{RunMessage::endProgram});
    EXPECT_GE(elapsed(), 7000ms);
    EXPECT_LT(elapsed(), 7600ms);
    EXPECT_NE(log().find("User closed GLIM_P3D"), std::string::npos);
}

TEST_F(ClosingDownTest, FirstReasonWinsAndTheUsersCloseStillEndsTheProgram) {
    gf_stopWithError("Traffic Reader", true);
    lf_onUserClose();
    EXPECT_EQ(gf_exitReason(), ExitReason::readerError);
    EXPECT_EQ(gf_exitDelaySeconds(), 15);
    EXPECT_TRUE(g_userClosing.load());
    gf_setExitReason(ExitReason::simconnectError, 9);
    EXPECT_EQ(gf_exitReason(), ExitReason::readerError);

    // A restart reason, but the user closed the window: no countdown, no
    // next run.
    lf_closingDown();
    EXPECT_EQ(world.posted, std::vector<RunMessage>{RunMessage::endProgram});
    EXPECT_EQ(elapsed(), 0ms);
    EXPECT_FALSE(g_restarting.load());
    EXPECT_FALSE(lf_onStartRun());
}

TEST_F(ClosingDownTest, CloseDuringTheRestartCountdownEndsTheProgram) {
    world.at(5000ms, [] { lf_onUserClose(); });
    gf_stopWithError("Traffic Reader", true);
    lf_closingDown();
    EXPECT_EQ(world.posted, std::vector<RunMessage>{RunMessage::endProgram});
    EXPECT_LT(elapsed(), 5200ms);
    EXPECT_FALSE(world.called("resetSimLink"));
    EXPECT_FALSE(g_restarting.load());
    // The message that would have started the next run ends the program.
    EXPECT_FALSE(lf_onStartRun());
}

TEST_F(ClosingDownTest, ExceptionInTheClosingDownStillEndsTheProgram) {
    world.parkAirportInUse = true;
    world.onClearAirportTraffic = [] { throw std::runtime_error("disk full"); };
    gf_setExitReason(ExitReason::newSettings, 3);
    lf_closingDown();
    EXPECT_EQ(world.posted, std::vector<RunMessage>{RunMessage::endProgram});
    EXPECT_FALSE(g_restarting.load());
    EXPECT_NE(log().find("lf_closingDown exception disk full"), std::string::npos);
}

TEST_F(ClosingDownTest, SimClientEndsBeforeTheRunIsReset) {
    g_runStarts.simClient = true;
    gf_setExitReason(ExitReason::simconnectError, 9);
    lf_closingDown();
    const long stop = world.indexOf("requestSimClientStop");
    const long join = world.indexOf("joinSimClient");
    const long reset = world.indexOf("resetSimLink");
    ASSERT_GE(stop, 0);
    EXPECT_LT(stop, join);
    EXPECT_LT(join, reset);
}

TEST_F(ClosingDownTest, OnlyStartedReadersAreWaitedForAndNeverForEver) {
    // No reader started: nothing to stop or wait for.
    world.authenticated = true;
    gf_setExitReason(ExitReason::newVersion, 0);
    lf_closingDown();
    EXPECT_FALSE(world.called("stopReaders"));
    EXPECT_TRUE(world.called("deauthenticate"));
    EXPECT_EQ(elapsed(), 0ms);

    // A started reader that never finishes holds the closing down only for
    // the bounded wait.
    gf_resetExitReason();
    world.calls.clear();
    world.readersFinishOnStop = false;
    g_runStarts.weatherReader = true;
    gf_setExitReason(ExitReason::newVersion, 0);
    lf_closingDown();
    EXPECT_TRUE(world.called("stopReaders"));
    EXPECT_GE(elapsed(), std::chrono::seconds(kReaderFinishWait_s));
    EXPECT_LT(elapsed(), std::chrono::seconds(kReaderFinishWait_s + 1));
    EXPECT_LT(world.indexOf("stopReaders"), world.indexOf("deauthenticate"));
    EXPECT_NE(log().find("The readers did not finish within 40 seconds"), std::string::npos);
    EXPECT_EQ(world.posted.back(), RunMessage::endProgram);
}

TEST_F(ClosingDownTest, TimeShiftIsResetUnlessKept) {
    TIME_SHIFT_HOURS.setValue(3);
    SIM_TIME.setValue(true);
    KEEP_SIM_TIME_PAR.setValue(true);
    gf_setExitReason(ExitReason::newVersion, 0);
    lf_closingDown();
    EXPECT_TRUE(SIM_TIME.value());
    EXPECT_EQ(TIME_SHIFT_HOURS.value(), 0);

    gf_resetExitReason();
    TIME_SHIFT_HOURS.setValue(3);
    SIM_TIME.setValue(false);
    gf_setExitReason(ExitReason::newVersion, 0);
    lf_closingDown();
    EXPECT_EQ(TIME_SHIFT_HOURS.value(), 3);

    gf_resetExitReason();
    KEEP_SIM_TIME_PAR.setValue(false);
    SIM_TIME.setValue(true);
    gf_setExitReason(ExitReason::newVersion, 0);
    lf_closingDown();
    EXPECT_FALSE(SIM_TIME.value());
    EXPECT_EQ(TIME_SHIFT_HOURS.value(), 0);
    EXPECT_NE(parametersFile().find("name=\"SIM_TIME\" value=\"false\""), std::string::npos);
}

// After a restart the two edits show what their settings hold: nothing.
TEST_F(ClosingDownTest, TheDestinationAndBlockEditsAreEmptied) {
    world.replaced.findAirport = [](const std::string&) { return std::optional<RunPosition>(RunPosition{52.31, 4.76}); };
    lf_onEditEnter(kIdBlockCallsign, "klm1234");
    lf_onEditEnter(kIdDestination, "eham");
    ASSERT_EQ(sink.texts[kIdDestination], "EHAM");
    ASSERT_EQ(sink.texts[kIdBlockCallsign], "KLM1234");
    gf_setExitReason(ExitReason::newSettings, 0);
    lf_closingDown();
    EXPECT_EQ(sink.texts[kIdDestination], "");
    EXPECT_EQ(sink.texts[kIdBlockCallsign], "");
    EXPECT_EQ(DESTINATION.get(), "");
    g_destinationRequested = false;
    g_blockCallsignChanged = false;
}

}  // namespace
}  // namespace run_test
