// The window's commands, edit fields and range/time-shift rules, natively:
// the settings they save, the status lines they show and the requests they
// raise for the worker.
#include "app/run_test_support.h"
#include "app/window_commands.h"
#include "app/window_services.h"
#include "app/wiring/window_services.h"

#include "core/settings_file.h"
#include "core/shell.h"
#include "ui/control_ids.h"
#include "ui/window_controls.h"
#include "ui/window_fault.h"
#include "ui/window_state.h"

#include <gsl/narrow>

namespace {

using namespace run_test;

class WindowCommandsTest : public RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        gf_resetWindowServices();
        for (auto* flag : {&g_navLightsRequested, &g_maxLiveTrimRequested, &g_timeShiftTrafficRequested,
                           &g_autoRangeRequested, &g_liveryCatalogueResetRequested, &g_destinationRequested,
                           &g_blockCallsignChanged, &g_rematchRequested}) {
            flag->store(false);
        }
        world.replaced.applyTimeOffset = [this](std::int32_t m) { offsets.push_back(m); };
        world.replaced.findAirport = [](const std::string& code) {
            return code == "EHAM" ? std::optional<RunPosition>(RunPosition{52.31, 4.76}) : std::nullopt;
        };
    }
    void TearDown() override {
        gf_resetWindowServices();
        RunFixture::TearDown();
    }
    std::string status() { return gf_statusLineSnapshot().statusText; }
    // The window's own rules in place of the fake window.
    void useRealWindow() { gf_installRunPorts(world.ports(&realWindow)); }
    std::vector<std::int32_t> offsets;
    RealRunWindow realWindow;
};

TEST(WindowRules, AutoRangeTable) {
    struct Row {
        bool onGround;
        double alt_ft;
        std::optional<double> dist_nm;
        int range;
    };
    const Row rows[] = {
        {true, 30000, 500.0, 10},  {false, 49000, 3.0, 100}, {false, 20000, 3.0, 40}, {false, 1000, 20.4, 20},
        {false, 1000, 36.9, 35},   {false, 1000, 7.0, 10},   {false, 1000, 37.0, 40}, {false, 1000, std::nullopt, 40},
        {false, 1000, 8.6, 10},    {false, 1000, 8.4, 8},    {false, 1000, 17.5, 18}, {false, 1000, 29.0, 30},
        {false, 1000, 24.0, 25},   {false, 1000, 15.2, 16},  {false, 1000, 13.0, 14}, {false, 1000, 11.4, 12},
    };
    for (const Row& row : rows) {
        AutoRangeInput in{row.onGround, row.alt_ft, 48000, 18000, row.dist_nm};
        EXPECT_EQ(gf_autoRangeNm(in), row.range) << row.alt_ft << " ft, " << row.dist_nm.value_or(-1) << " nm";
    }
}

TEST(WindowRules, MaxFitStepsAndHoursRoundTrip) {
    for (float hours : MAX_FIT_FL.allowedValues()) {
        const int step = gsl::narrow<int>(std::round(2.0 * hours)) - 1;
        EXPECT_EQ(gf_maxFitHours(step), hours) << hours;
    }
    EXPECT_EQ(gf_maxFitHours(20), 11.0f);  // not in the list: selects nothing
    EXPECT_EQ(gf_maxFitHours(47), 24.0f);
    EXPECT_EQ(gf_maxFitHours(-5), 0.5f);
}

TEST(WindowRules, TimeShiftSplit) {
    struct Row {
        int minutes, days, hours, mins;
    };
    for (const Row& r : {Row{20160, 13, 23, 0}, Row{1441, 1, 0, 1}, Row{59, 0, 0, 59}, Row{0, 0, 0, 0},
                         Row{25 * 60 + 7, 1, 1, 7}}) {
        const TimeShiftSplit s = gf_splitTimeShift(r.minutes);
        EXPECT_EQ(s.days, r.days) << r.minutes;
        EXPECT_EQ(s.hours, r.hours) << r.minutes;
        EXPECT_EQ(s.minutes, r.mins) << r.minutes;
    }
}

TEST_F(WindowCommandsTest, TimeShiftIsCappedSentToTheReadersAndSaved) {
    EXPECT_TRUE(gf_setTimeShift(20161, false));
    EXPECT_EQ(offsets, std::vector<std::int32_t>{20160});
    EXPECT_EQ(status(), "Time shifted 20160 minutes");
    EXPECT_NE(log().find("Time shifting is limited to 2 weeks"), std::string::npos);
    EXPECT_NE(parametersFile().find("name=\"TIME_SHIFT_DAYS\" value=\"13\""), std::string::npos);
    EXPECT_TRUE(gf_timeShiftOn());

    EXPECT_FALSE(gf_setTimeShift(0, true));
    EXPECT_EQ(status(), "Time shift = 0");
    EXPECT_FALSE(gf_setTimeShift(90, true));
    EXPECT_EQ(offsets.back(), 90);

    // From the window the aircraft leave through the worker.
    EXPECT_TRUE(lf_onComboBox(kIdTimeShiftMins, 5, "5"));
    EXPECT_TRUE(g_timeShiftTrafficRequested.load());
    EXPECT_EQ(offsets.back(), 65);
}

TEST_F(WindowCommandsTest, CheckBoxesSaveAndAct) {
    struct Row {
        int id;
        bool value;
        bool noSimSession;
        const char* status;  // nullptr: empty
        ExitReason exit;
    };
    const Row rows[] = {
        {kIdLigPrioritize, false, false, nullptr, ExitReason::notYetSet},
        {kIdCollisionUserAir, false, false,
         "Be aware, user aircraft may collide with (run through) live aircraft in the air", ExitReason::notYetSet},
        {kIdAirborneOnly, true, false, "Be aware, airborne live traffic only!  (greater than 300 ft above ground ...)",
         ExitReason::notYetSet},
        {kIdAlwaysOnTop, true, false, "GLIM_P3D's window will remain visible", ExitReason::notYetSet},
        {kIdScanAirports, true, false, "Your airports will be scanned at the next start of GLIM_P3D",
         ExitReason::notYetSet},
        {kIdScanLiveries, true, true, "Your liveries will be scanned", ExitReason::newSettings},
    };
    for (const Row& row : rows) {
        gf_resetExitReason();
        gf_resetRunFlags();
        world.noSimSession = row.noSimSession;
        EXPECT_TRUE(lf_onCheckBox(row.id, row.value)) << row.id;
        const auto* box = static_cast<const CheckBoxParameter*>(gf_findControl(row.id)->binding);
        EXPECT_EQ(box->value(), row.value) << row.id;
        EXPECT_NE(parametersFile().find("name=\"" + box->name() + "\" value=\"" + (row.value ? "true" : "false")),
                  std::string::npos)
            << row.id;
        EXPECT_EQ(status(), row.status ? row.status : "") << row.id;
        EXPECT_EQ(gf_exitReason(), row.exit) << row.id;
    }
    EXPECT_EQ(gf_exitDelaySeconds(), 2);
    EXPECT_TRUE(g_liveryCatalogueResetRequested.load());

    EXPECT_TRUE(lf_onCheckBox(kIdNavLights, false));
    EXPECT_TRUE(g_navLightsRequested.load());
    EXPECT_FALSE(lf_onCheckBox(kIdReRead, true));
}

TEST_F(WindowCommandsTest, CombosSaveTheirChoice) {
    MATCHING_DEPTH.setValue(4);
    lf_onComboBox(kIdMatchingDepth, 0, "1");
    EXPECT_FALSE(g_rematchRequested.load());  // lower: nothing to match again
    lf_onComboBox(kIdMatchingDepth, 3, "4");
    EXPECT_TRUE(g_rematchRequested.load());
    EXPECT_NE(parametersFile().find("name=\"MATCHING_DEPTH\" value=\"4\""), std::string::npos);

    const auto& fits = MAX_FIT_FL.allowedValues();
    lf_onComboBox(kIdMaxFit, static_cast<int>(fits.size() - 1), "24.0");
    EXPECT_EQ(MAX_FIT.value(), 47);
    lf_onComboBox(kIdMaxFit, 0, "0.5");
    EXPECT_EQ(MAX_FIT.value(), 0);

    lf_onComboBox(kIdMaxLiveSel, 1, "");
    EXPECT_TRUE(g_maxLiveTrimRequested.load());

    lf_onComboBox(kIdCallsignList, 2, "KLM123");
    EXPECT_EQ(CALLSIGN_2_OBJECTID.get(), "KLM123");
    EXPECT_TRUE(sink.has("enable " + std::to_string(kIdBlock) + " 1"));
}

TEST_F(WindowCommandsTest, BlockCallsignEnter) {
    struct Row {
        const char* typed;
        const char* stored;  // BLOCK_CALLSIGN afterwards
        const char* status;
    };
    const Row rows[] = {
        {"abc", "", "callsign 'abc' is not valid"},
        {"abcdefghi", "", "callsign 'abcdefghi' is not valid"},
        {"", "", ""},
        {"klm12", "KLM12", ""},
        {"KLM12", "KLM12", "callsign 'KLM12' was already set ..."},
        {"", "", "no more blocking of live aircraft 'KLM12'"},
        {"d\xc3\xa9mo1", "D\xc3\xa9MO1", ""},  // bytes above 127 stay as they are
    };
    for (const Row& row : rows) {
        g_blockCallsignChanged = false;
        const std::string before = BLOCK_CALLSIGN.get();
        lf_onEditEnter(kIdBlockCallsign, row.typed);
        EXPECT_EQ(BLOCK_CALLSIGN.get(), row.stored) << row.typed;
        EXPECT_EQ(status(), row.status) << row.typed;
        EXPECT_EQ(g_blockCallsignChanged.load(), before != row.stored) << row.typed;
    }
}

TEST_F(WindowCommandsTest, DestinationEnter) {
    lf_onEditEnter(kIdDestination, "EHA");
    EXPECT_EQ(status(), "destination 'EHA' is not valid");
    lf_onEditEnter(kIdDestination, "zzzz");
    EXPECT_EQ(status(), "destination 'ZZZZ' is unknown ...");
    EXPECT_TRUE(sink.has("text " + std::to_string(kIdDestination) + " "));
    lf_onEditEnter(kIdDestination, "eHaM");
    EXPECT_EQ(status(), "New destination: EHAM");
    EXPECT_EQ(DESTINATION.get(), "EHAM");
    EXPECT_TRUE(g_destinationRequested.load());
    lf_onEditEnter(kIdDestination, "eham");
    EXPECT_EQ(status(), "destination 'EHAM' was already set ...");

    // The worker puts the airport in front of the park-airport list.
    std::string added;
    world.replaced.addDestinationAirport = [&](const std::string& code, RunPosition) { added = code; };
    lf_serveWindowRequests(gf_runPorts());
    EXPECT_EQ(added, "EHAM");

    lf_onEditEnter(kIdDestination, "");
    EXPECT_EQ(status(), "destination set to empty");
    EXPECT_TRUE(sink.has("enable " + std::to_string(kIdReRead) + " 1"));
}

TEST_F(WindowCommandsTest, InstallPathEnterRestartsAfterError151) {
    gf_setErrorLine("151: No P3D install path detected");
    g_installPathError = true;
    gf_forceExitReason(ExitReason::systemError);

    lf_onEditEnter(kIdInstallPath, (workFolder() / "no such folder").string());
    EXPECT_EQ(gf_statusLineSnapshot().errorText, "");
    EXPECT_NE(status().find("This install path does not exist: "), std::string::npos);
    EXPECT_EQ(gf_exitReason(), ExitReason::systemError);

    lf_onEditEnter(kIdInstallPath, workFolder().string());
    EXPECT_EQ(SIM_INSTALL_PATH.get(), workFolder().string());
    EXPECT_EQ(gf_exitReason(), ExitReason::newSettings);
    EXPECT_EQ(gf_exitDelaySeconds(), 3);
}

TEST_F(WindowCommandsTest, WorkerServesTheWindowsRequests) {
    std::vector<std::string> calls;
    FakeWorld::Replaced& s = world.replaced;
    s.removeAllLiveAc = [&] { calls.push_back("live"); };
    s.removeAllStaticAc = [&] { calls.push_back("static"); };
    s.announceStaticUpdate = [&] { calls.push_back("announce"); };
    s.setParkedNavLights = [&](bool on) { calls.push_back(on ? "lights on" : "lights off"); };
    s.removeSurplusLiveAc = [&](int max) { calls.push_back("max " + std::to_string(max)); };
    MAX_LIVE_SEL.setValue(10);
    NAV_LIGHTS_WHILE_PARKED.setValue(false);
    g_timeShiftTrafficRequested = g_navLightsRequested = g_maxLiveTrimRequested = true;
    lf_serveWindowRequests(gf_runPorts());
    EXPECT_EQ(calls, (std::vector<std::string>{"lights off", "max 10", "live", "static", "announce"}));
    calls.clear();
    lf_serveWindowRequests(gf_runPorts());
    EXPECT_TRUE(calls.empty());
}

TEST_F(WindowCommandsTest, UnhandledCommandsAndExceptions) {
    EXPECT_FALSE(lf_HandleWMCOMMAND(WindowCommand{WindowCommand::Kind::button, 1234, false, -1, {}}));
    // A failing handler is logged and counts as not handled.
    world.replaced.setWindowTopmost = [](bool) { throw std::runtime_error("boom"); };
    EXPECT_FALSE(lf_HandleWMCOMMAND(WindowCommand{WindowCommand::Kind::check, kIdAlwaysOnTop, true, -1, {}}));
    EXPECT_NE(log().find("lf_HandleWMCOMMAND exception boom"), std::string::npos);

    // "Now" with stands loaded: the update is announced for the next
    // 15-second job and the renewal display starts again at 20.
    world.standsLoaded = true;
    g_mainWindowState.minutesToRenewal = 3;
    EXPECT_TRUE(lf_HandleWMCOMMAND(WindowCommand{WindowCommand::Kind::button, kIdNow, false, -1, {}}));
    EXPECT_TRUE(g_staticUpdateRequested.load());
    EXPECT_TRUE(g_mainWindowState.parkingBusy.load());
    EXPECT_EQ(g_mainWindowState.minutesToRenewal.load(), 20);
    EXPECT_EQ(status(), "GLIM_P3D will update static parking in 15 seconds ...");
}

TEST_F(WindowCommandsTest, RenewalDisplayFollowsTheCountdown) {
    g_staticRenewalMinutes = 20;
    for (std::uint32_t minute = 1; minute <= 3; ++minute) lf_periodicJobs(60 * minute);
    EXPECT_EQ(g_staticRenewalMinutes.load(), 17);
    EXPECT_EQ(g_mainWindowState.minutesToRenewal.load(), 17);
}

TEST_F(WindowCommandsTest, FolderOpeners) {
    std::vector<fs::path> opened;
    gf_setShellOpener([&](const fs::path& folder) {
        opened.push_back(folder);
        return true;
    });
    EXPECT_FALSE(gf_openManual());  // docs/Manual.pdf missing
    writeFile(workFolder() / "docs" / "Manual.pdf", "pdf");
    EXPECT_TRUE(gf_openManual());
    writeFile(gf_parametersPath(), "<root/>");
    EXPECT_TRUE(gf_openParametersFolder());
    gf_setShellOpener(nullptr);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].filename(), "docs");
}

TEST_F(WindowCommandsTest, WorkerServesFlushAndCallsignList) {
    useRealWindow();
    world.replaced.fillLiveAcCombo = [] {
        g_mainWindowState.changeTexts([](WindowTexts& t) { t.callsigns = {"AFR12", "KLM123"}; });
    };
    CALLSIGN_2_OBJECTID.setValue("KLM");
    INITIAL_LOAD_ONLY.setValue(false);
    g_flushStaticRequested = true;
    EXPECT_TRUE(lf_onButton(kIdCsOid));
    lf_flightResumed();
    // Flushing turns INITIAL_LOAD_ONLY on as a click would: checked and saved.
    EXPECT_TRUE(sink.has("check " + std::to_string(kIdInitialLoadOnly) + " 1"));
    EXPECT_NE(parametersFile().find("name=\"INITIAL_LOAD_ONLY\" value=\"true\""), std::string::npos);
    EXPECT_EQ(sink.lists[kIdCallsignList], (std::vector<std::string>{"AFR12", "KLM123"}));
    // A list with callsigns can be chosen from and blocked; an empty one not.
    EXPECT_TRUE(sink.controlEnabled(kIdCallsignList));
    EXPECT_TRUE(sink.controlEnabled(kIdBlock));
    EXPECT_TRUE(g_callsignListReady.load());
    world.replaced.fillLiveAcCombo = [] {
        g_mainWindowState.changeTexts([](WindowTexts& t) { t.callsigns = {""}; });
    };
    EXPECT_TRUE(lf_onButton(kIdCsOid));
    lf_flightResumed();
    EXPECT_FALSE(sink.controlEnabled(kIdCallsignList));
    EXPECT_FALSE(sink.controlEnabled(kIdBlock));
}

// However often a rebuild disables the parking controls, its end gives the
// time-shift group back as the user had it: "Now" and the update's first
// phase both disable before the rebuild enables once.
TEST_F(WindowCommandsTest, ARebuildGivesTheTimeShiftGroupBackAsTheUserHadIt) {
    useRealWindow();
    world.standsLoaded = true;
    for (bool simTime : {false, true}) {
        SIM_TIME.setValue(simTime);
        gf_applySimTime(false);
        for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(lf_onButton(kIdNow));
            EXPECT_FALSE(sink.controlEnabled(kIdTimeShiftMins));
            lf_periodicJobs(15);  // first phase: the Traffic Reader collects
            lf_periodicJobs(30);  // second phase: nothing to rebuild, controls back
            ASSERT_FALSE(g_mainWindowState.parkingBusy.load());
        }
        EXPECT_TRUE(sink.controlEnabled(kIdSimTime)) << simTime;
        EXPECT_TRUE(sink.controlEnabled(kIdKeepSimTime)) << simTime;
        for (int id : {kIdTimeShiftDays, kIdTimeShiftHours, kIdTimeShiftMins})
            EXPECT_EQ(sink.controlEnabled(id), !simTime) << id << (simTime ? " with" : " without") << " SIM_TIME";
    }
    // A run that ended during a rebuild: the next run's rebuild gives back
    // the next run's states, not the ones the unfinished rebuild kept.
    ASSERT_TRUE(lf_onButton(kIdNow));
    SIM_TIME.setValue(false);
    gf_fillComboBoxes();
    gf_applySimTime(false);
    ASSERT_TRUE(lf_onButton(kIdNow));
    lf_periodicJobs(15);
    lf_periodicJobs(30);
    EXPECT_TRUE(sink.controlEnabled(kIdTimeShiftMins));
}

TEST_F(WindowCommandsTest, ParkingControlsComeBackWhenThereIsNothingToRebuild) {
    useRealWindow();
    gf_announceStaticUpdate();
    EXPECT_TRUE(gf_runPorts().window.parkingControlsBusy());
    lf_periodicJobs(15);  // first phase: the Traffic Reader collects
    lf_periodicJobs(30);  // second phase: no park airport to rebuild
    EXPECT_FALSE(g_staticUpdateRequested.load());
    EXPECT_FALSE(gf_runPorts().window.parkingControlsBusy());
    EXPECT_TRUE(sink.has("enable " + std::to_string(kIdReRead) + " 1"));
}

// A message whose handling threw is logged; one failed paint or click does not
// end the program, a failed creation fails the window, and a failed start or
// end of a run ends the program with 1 (the start's end saves the position).
TEST_F(WindowCommandsTest, AFailedWindowMessageIsLoggedAndAnswered) {
    struct Row {
        WindowMessageKind kind;
        bool quit;
        int exitCode;
        bool savePosition;
        long result;
    };
    const Row rows[] = {
        {WindowMessageKind::other, false, 0, false, 0},
        {WindowMessageKind::create, false, 0, false, -1},
        {WindowMessageKind::startRun, true, 1, true, 0},
        {WindowMessageKind::endProgram, true, 1, false, 0},
    };
    for (const Row& row : rows) {
        const WindowFaultAnswer a = gf_windowFault(row.kind, "boom " + std::to_string(static_cast<int>(row.kind)));
        EXPECT_EQ(a.quit, row.quit) << static_cast<int>(row.kind);
        EXPECT_EQ(a.exitCode, row.exitCode) << static_cast<int>(row.kind);
        EXPECT_EQ(a.savePosition, row.savePosition) << static_cast<int>(row.kind);
        EXPECT_EQ(a.result, row.result) << static_cast<int>(row.kind);
        EXPECT_NE(log().find("==> lf_mainWndProc: boom " + std::to_string(static_cast<int>(row.kind))),
                  std::string::npos);
    }
}

}  // namespace
