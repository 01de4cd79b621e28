// Whole runs on the worker in virtual time: the start of the session in its
// order, the hold before the login, production mode, the folder check, the
// time-out of the Traffic Reader, and the restart after an install path.
#include "run_test_support.h"

#include "app/window_actions.h"

namespace run_test {
namespace {

class RunWorkerTest : public RunFixture {
protected:
    void closeAt(std::chrono::milliseconds when) {
        world.at(when, [] { lf_onUserClose(); });
    }
};

TEST_F(RunWorkerTest, SessionStartsInOrderAndEndsOnClose) {
    closeAt(20000ms);
    lf_runWorker();

    const std::vector<const char*> order{"startSimClient",     "requestUserAcTitleAndModel", "authenticate",
                                         "startWeatherReader", "startTrafficReader",         "staticParking initial"};
    for (std::size_t i = 1; i < order.size(); ++i) {
        EXPECT_LT(world.indexOf(order[i - 1]), world.indexOf(order[i])) << order[i - 1] << " before " << order[i];
    }
    EXPECT_TRUE(world.called("checkForUpdates"));
    EXPECT_TRUE(world.called("readDbase"));
    EXPECT_TRUE(world.called("createFlightPlanFolder"));
    EXPECT_EQ(world.posted, std::vector<RunMessage>{RunMessage::endProgram});
    EXPECT_NE(log().find("Exiting: USER CLOSED SIM"), std::string::npos);
    // The working folders were made.
    for (const char* folder : {"output/info", "output/errors", "airports/learned/stock", "airports/learned/simaddon",
                               "airports/learned/thirdparty", "airports/my_ORBX", "airports/my_thirdparty",
                               "input/my_regcodes"}) {
        EXPECT_TRUE(fs::is_directory(workFolder() / folder)) << folder;
    }
}

TEST_F(RunWorkerTest, RestartedRunSkipsTheUpdateCheckAndTheDbase) {
    closeAt(20000ms);
    g_restarting = true;
    g_dataFilesRead = true;
    lf_runWorker();
    EXPECT_FALSE(world.called("checkForUpdates"));
    EXPECT_FALSE(world.called("readDbase"));
    EXPECT_TRUE(world.called("readAirports"));
}

TEST_F(RunWorkerTest, FailedDbaseEndsTheRunAndIsReadAgainNextTime) {
    world.readDbaseResult = false;
    closeAt(1000ms);
    lf_runWorker();
    EXPECT_NE(log().find("Error reading data files failed!"), std::string::npos);
    EXPECT_FALSE(g_dataFilesRead.load());
    EXPECT_FALSE(world.called("startSimClient"));
}

TEST_F(RunWorkerTest, NewVersionEndsTheStartUpReadingAndTheProgram) {
    world.checkForUpdatesResult = false;
    lf_runWorker();
    EXPECT_FALSE(world.called("readDbase"));
    EXPECT_FALSE(world.called("startSimClient"));
    EXPECT_EQ(world.posted, std::vector<RunMessage>{RunMessage::endProgram});
    EXPECT_NE(log().find("Exiting: NEW VERSION"), std::string::npos);
}

TEST_F(RunWorkerTest, ProductionModeEndsAfterTheStartUpReading) {
    g_productionMode = true;
    g_exitCode = 5;
    lf_runWorker();
    EXPECT_EQ(g_exitCode.load(), 0);
    EXPECT_TRUE(world.called("readAirports"));
    EXPECT_TRUE(world.called("scanLiveries"));
    EXPECT_TRUE(world.called("processScannedLiveries"));
    EXPECT_FALSE(world.called("startSimClient"));
    EXPECT_EQ(gf_exitReason(), ExitReason::userClosedSim);
    EXPECT_EQ(world.posted, std::vector<RunMessage>{RunMessage::endProgram});
    EXPECT_EQ(elapsed(), 0ms);
}

TEST_F(RunWorkerTest, MissingDocsFolderIsASystemError) {
    fs::remove(workFolder() / "docs");
    closeAt(3000ms);
    lf_runWorker();
    EXPECT_NE(log().find("Error 41: GLIM_P3D must be run from the GLIM_P3D folder!"), std::string::npos);
    EXPECT_EQ(gf_exitReason(), ExitReason::systemError);
    EXPECT_FALSE(world.called("fillComboBoxes"));
    EXPECT_GE(elapsed(), 3000ms);
    EXPECT_EQ(world.posted, std::vector<RunMessage>{RunMessage::endProgram});
}

struct HoldCase {
    std::int64_t lastVisit;
    const char* message;  // empty when the run does not hold
    std::chrono::milliseconds held;
};

TEST_F(RunWorkerTest, HoldBeforeLoginKeepsTwoSecondsFromTheLastVisit) {
    const std::vector<HoldCase> cases{
        {kNow - 1, "Holding for 1 seconds... (RT API cannot be revisited within 2 seconds)", 1000ms},
        {kNow, "Holding for 2 seconds... (RT API cannot be revisited within 2 seconds)", 2000ms},
        {kNow - 2, "", 0ms},
        // A time in the future never holds longer than the two seconds.
        {kNow + 100000, "Holding for 2 seconds... (RT API cannot be revisited within 2 seconds)", 2000ms},
    };
    for (const HoldCase& c : cases) {
        SCOPED_TRACE(c.lastVisit - kNow);
        gf_resetStatusLine();
        gf_logClose();
        gf_logOpen(workFolder() / "Log.txt");
        LAST_EPOCH_TIME.setValue(static_cast<std::int32_t>(c.lastVisit));
        const auto before = elapsed();
        lf_holdBeforeLogin(kNow - c.lastVisit);
        EXPECT_EQ(elapsed() - before, c.held);
        if (*c.message) {
            EXPECT_NE(log().find(c.message), std::string::npos);
        } else {
            EXPECT_EQ(log().find("Holding for"), std::string::npos);
        }
    }
}

TEST_F(RunWorkerTest, HoldEndsEarlyWhenTheUserCloses) {
    closeAt(300ms);
    lf_holdBeforeLogin(0);
    EXPECT_LE(elapsed(), 400ms);
}

TEST_F(RunWorkerTest, TrafficReaderTimeOutRestartsWithoutEnteringTheMainLoop) {
    world.trafficReceives = false;
    lf_runWorker();
    const std::string text = log();
    EXPECT_NE(text.find("TrafficReader receiving timed out after 10 seconds?"), std::string::npos);
    EXPECT_NE(text.find("Exiting: READER ERROR"), std::string::npos);
    EXPECT_FALSE(world.called("staticParking initial"));
    EXPECT_FALSE(world.called("handover open"));
    EXPECT_EQ(world.posted, std::vector<RunMessage>{RunMessage::startRun});
    EXPECT_TRUE(world.called("stopReaders"));
    EXPECT_FALSE(SCAN_LIVERIES.value());
}

TEST_F(RunWorkerTest, FailedLoginStartsNoReader) {
    world.loginSucceeds = false;
    lf_runWorker();
    EXPECT_FALSE(world.called("startWeatherReader"));
    EXPECT_FALSE(world.called("startTrafficReader"));
    EXPECT_FALSE(world.called("stopReaders"));
    EXPECT_FALSE(world.called("deauthenticate"));
    EXPECT_EQ(world.posted, std::vector<RunMessage>{RunMessage::startRun});
}

TEST_F(RunWorkerTest, SimulatorNeverRunningWaitsUntilTheUserCloses) {
    world.simRunning = false;
    closeAt(60000ms);
    lf_runWorker();
    EXPECT_FALSE(world.called("authenticate"));
    EXPECT_GE(elapsed(), 60000ms);
    EXPECT_LT(elapsed(), 60200ms);
    EXPECT_EQ(world.posted, std::vector<RunMessage>{RunMessage::endProgram});
}

TEST_F(RunWorkerTest, AcceptedInstallPathRestartsTheRun) {
    SIM_INSTALL_PATH.setValue("");
    world.at(4000ms, [] { gf_restartForNewInstallPath(); });
    // The error line goes with the restart: the countdown is shown.
    StatusLineSnapshot duringCountdown;
    world.at(5600ms, [&] { duringCountdown = gf_statusLineSnapshot(); });
    lf_runWorker();
    EXPECT_TRUE(duringCountdown.errorText.empty());
    EXPECT_EQ(duringCountdown.statusText.rfind("Restarting after ", 0), 0u) << duringCountdown.statusText;
    EXPECT_NE(log().find("Error 151: No P3D install path detected. Type the full Install Path above, then press Enter"),
              std::string::npos);
    // SYSTEM ERROR turned into NEW SETTINGS: a restart after 3 s.
    EXPECT_EQ(world.posted, std::vector<RunMessage>{RunMessage::startRun});
    EXPECT_GE(elapsed(), 7000ms);
    EXPECT_LT(elapsed(), 7600ms);
    EXPECT_TRUE(gf_statusLineSnapshot().errorText.empty());
    EXPECT_FALSE(g_installPathError.load());
}

TEST_F(RunWorkerTest, OtherSystemErrorsStillWaitForTheUser) {
    world.readDbaseResult = false;
    world.at(4000ms, [] { gf_restartForNewInstallPath(); });
    closeAt(6000ms);
    lf_runWorker();
    EXPECT_EQ(world.posted, std::vector<RunMessage>{RunMessage::endProgram});
    EXPECT_GE(elapsed(), 6000ms);
}

}  // namespace
}  // namespace run_test
