// Whole runs in virtual time: a scratch working folder with its own
// application folder and Log.txt, a virtual steady clock, a fixed system
// time, and a world of fakes behind the run's services that records what
// the run asked of it and at which simulator second.
#pragma once

#include "app/application.h"
#include "app/run_control.h"
#include "app/run_services.h"
#include "app/run_state.h"
#include "app/window_requests.h"

#include "core/clock.h"
#include "core/exit_reason.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "core/steady_clock.h"
#include "core/status_line.h"
#include "core/ui_sink.h"
#include "ui/window_controls.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace run_test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// 2026-12-07 10:00:00 UTC.
inline constexpr std::int64_t kNow = 1796637600;
inline std::int64_t g_fixedNow = kNow;
inline std::int64_t lf_fixedNow() { return g_fixedNow; }

inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void writeFile(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++n;
    return n;
}

inline void setEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// The window's controls as the user would find them: every request is
// recorded, and each control keeps its enabled state, its text and its list.
// A control nobody touched is in the state the window creates it in: check
// boxes and combos enabled, push buttons and edits disabled.
class RecordingSink final : public UiSink {
public:
    void enableControl(int id, bool enabled) override {
        calls.push_back(fmtCall("enable", id, enabled));
        m_enabled[id] = enabled;
    }
    void setCheck(int id, bool checked) override { calls.push_back(fmtCall("check", id, checked)); }
    void fillCombo(int id, const std::vector<std::string>& items, int) override {
        calls.push_back(fmtCall("fill", id, 1));
        lists[id] = items;
    }
    void selectCombo(int id, int selected) override { calls.push_back(fmtCall("select", id, selected)); }
    void setText(int id, const std::string& text) override {
        calls.push_back("text " + std::to_string(id) + " " + text);
        texts[id] = text;
    }
    void invalidateBand(UiBand) override {}
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }
    bool controlEnabled(int id) override {
        const auto it = m_enabled.find(id);
        if (it != m_enabled.end()) return it->second;
        const ControlSpec* spec = gf_findControl(id);
        return spec && (spec->kind == ControlKind::check || spec->kind == ControlKind::combo);
    }

    bool has(const std::string& call) const { return std::find(calls.begin(), calls.end(), call) != calls.end(); }
    std::vector<std::string> calls;
    std::map<int, std::string> texts;
    std::map<int, std::vector<std::string>> lists;

private:
    static std::string fmtCall(const char* what, int id, int value) {
        return std::string(what) + " " + std::to_string(id) + " " + std::to_string(value);
    }
    std::map<int, bool> m_enabled;
};

// The simulator, the readers, the engine and the window as a run sees them.
// Every call is recorded as "<name>@<simulator second>"; actions scheduled at
// virtual times run as the clock passes them.
class FakeWorld {
public:
    explicit FakeWorld(VirtualSteadyClock& clock) : m_clock(clock) {
        m_clock.onAdvance = [this] { onAdvance(); };
    }
    ~FakeWorld() { m_clock.onAdvance = nullptr; }
    FakeWorld(const FakeWorld&) = delete;
    FakeWorld& operator=(const FakeWorld&) = delete;

    // ---- The world's state ----
    bool simRunning = true;
    bool ticking = true;            // the simulator sends its seconds
    bool userPositionKnown = true;
    bool loginSucceeds = true;
    bool weatherSendsQnh = true;
    bool trafficReceives = true;
    bool readersFinishOnStop = true;
    bool userOnGround = true;
    bool parkAirportInUse = false;
    bool standListEmpty = true;
    bool standsLoaded = false;
    bool parkingBusy = false;
    bool checkForUpdatesResult = true;
    bool readDbaseResult = true;
    std::int64_t simTime = kNow;
    std::function<void()> onClearAirportTraffic;
    std::function<void()> onAuthenticate;

    // Simulator seconds delivered so far.
    int seconds = 0;
    bool authenticated = false;
    bool weatherFinished = false;
    bool trafficFinished = false;
    int qnh = 0;
    std::vector<std::string> calls;
    std::vector<RunMessage> posted;
    std::vector<int> timeShifts;
    std::vector<bool> timeShiftsQuiet;
    std::vector<std::int32_t> appliedStaticUpdates;

    // Runs action once the virtual clock reaches at (since the clock was
    // made).
    void at(std::chrono::milliseconds when, std::function<void()> action) {
        m_actions.emplace(when, std::move(action));
    }

    void record(const std::string& name) { calls.push_back(name + "@" + std::to_string(seconds)); }
    std::size_t count(const std::string& name) const {
        return std::count_if(calls.begin(), calls.end(),
                             [&](const std::string& c) { return c.substr(0, c.find('@')) == name; });
    }
    bool called(const std::string& name) const { return count(name) > 0; }
    bool calledAt(const std::string& name, int second) const {
        return std::find(calls.begin(), calls.end(), name + "@" + std::to_string(second)) != calls.end();
    }
    // The seconds at which name was called.
    std::vector<int> secondsOf(const std::string& name) const {
        std::vector<int> result;
        for (const auto& c : calls) {
            const auto at = c.find('@');
            if (c.substr(0, at) == name) result.push_back(std::stoi(c.substr(at + 1)));
        }
        return result;
    }
    // Position of the first call of name in the record, -1 when never.
    long indexOf(const std::string& name) const {
        for (std::size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].substr(0, calls[i].find('@')) == name) return static_cast<long>(i);
        }
        return -1;
    }

    RunServices services() {
        RunServices s;
        auto rec = [this](const char* name) { return [this, name] { record(name); }; };
        s.postToWindow = [this](RunMessage m) {
            posted.push_back(m);
            record(m == RunMessage::startRun ? "post startRun" : "post endProgram");
        };
        s.fillComboBoxes = rec("fillComboBoxes");
        s.checkForUpdates = [this] {
            record("checkForUpdates");
            if (!checkForUpdatesResult) gf_setExitReason(ExitReason::newVersion, 0);
            return checkForUpdatesResult;
        };
        s.setTimeShift = [this](int minutes, bool quiet) {
            timeShifts.push_back(minutes);
            timeShiftsQuiet.push_back(quiet);
        };
        s.autoRange = rec("autoRange");
        s.announceStaticUpdate = rec("announceStaticUpdate");
        s.disableParkingControls = [this] {
            record("disableParkingControls");
            parkingBusy = true;
        };
        s.parkingControlsBusy = [this] { return parkingBusy; };
        s.setWindowTopmost = [this](bool topmost) { record(topmost ? "topmost" : "not topmost"); };

        s.resetSimQueues = rec("resetSimQueues");
        s.startSimClient = rec("startSimClient");
        s.requestSimClientStop = rec("requestSimClientStop");
        s.joinSimClient = rec("joinSimClient");
        s.simRunning = [this] { return simRunning; };
        s.requestError = [] { return false; };
        s.takeSecondTick = [this] {
            if (!m_tickPending) return false;
            m_tickPending = false;
            return true;
        };
        s.secondTickPending = [this] { return m_tickPending; };
        s.userOnGroundKnown = [this] { return userPositionKnown; };
        s.userOnGround = [this] { return userOnGround; };
        s.userPosition = [this] { return userPositionKnown ? RunPosition{52.3, 4.76} : RunPosition{}; };
        s.requestUserAcTitleAndModel = rec("requestUserAcTitleAndModel");
        s.simTime = [this] { return simTime; };
        s.createFlightPlanFolder = rec("createFlightPlanFolder");
        s.removeFlightPlanFolder = rec("removeFlightPlanFolder");
        s.clearAiPositionBuffers = rec("clearAiPositionBuffers");
        s.resetSimLink = rec("resetSimLink");

        s.updateTrafficBox = rec("updateTrafficBox");
        s.updateReaderLamps = rec("updateReaderLamps");
        s.updateLiveCount = rec("updateLiveCount");
        s.authenticate = [this] {
            record("authenticate");
            if (onAuthenticate) onAuthenticate();
            if (loginSucceeds) {
                authenticated = true;
            } else {
                gf_stopWithError("Authenticater", true);
            }
        };
        s.authenticated = [this] { return authenticated; };
        s.startWeatherReader = [this] {
            record("startWeatherReader");
            if (weatherSendsQnh) at(elapsed() + 400ms, [this] { qnh = 1013; });
        };
        s.startTrafficReader = [this] {
            record("startTrafficReader");
            if (trafficReceives) m_receiving = true;
        };
        s.weatherReaderFinished = [this] { return weatherFinished; };
        s.trafficReaderFinished = [this] { return trafficFinished; };
        s.stopReaders = [this] {
            record("stopReaders");
            if (readersFinishOnStop) weatherFinished = trafficFinished = true;
        };
        s.joinFinishedReaders = rec("joinFinishedReaders");
        s.deauthenticate = rec("deauthenticate");
        s.qnhShown = [this] { return qnh; };
        s.trafficReaderReceiving = [this] { return m_receiving; };
        s.raiseCollectFlag = rec("raiseCollectFlag");
        s.resetRtClients = rec("resetRtClients");

        s.setTrafficHandover = [this](bool open) { record(open ? "handover open" : "handover closed"); };
        s.handleAddingStack = [this] { ++passes; };
        s.staticParking = [this](bool initial) { record(initial ? "staticParking initial" : "staticParking"); };
        s.removeStaticTwins = rec("removeStaticTwins");
        s.handleSimObjectEvents = [this] { ++objectEventDrains; };
        s.removeAllStaticAc = rec("removeAllStaticAc");
        s.parkAirportInUse = [this] { return parkAirportInUse; };
        s.standListEmpty = [this] { return standListEmpty; };
        s.standsLoaded = [this] { return standsLoaded; };
        s.applyParkTrafficChanges = [this](std::int32_t value) {
            record("applyParkTrafficChanges");
            appliedStaticUpdates.push_back(value);
        };
        s.clearAirportTraffic = [this] {
            record("clearAirportTraffic");
            if (onClearAirportTraffic) onClearAirportTraffic();
        };
        s.resetTraffic = rec("resetTraffic");
        s.clearUnmatchedFlights = rec("clearUnmatchedFlights");
        s.clearRememberedLiveryTitles = rec("clearRememberedLiveryTitles");
        s.logUnmatchedFlights = rec("logUnmatchedFlights");
        s.logLiveryMatchingSummary = rec("logLiveryMatchingSummary");

        s.readDbase = [this] {
            record("readDbase");
            return readDbaseResult;
        };
        s.scanLiveries = rec("scanLiveries");
        s.processScannedLiveries = rec("processScannedLiveries");
        s.readAirports = [this] {
            record("readAirports");
            return true;
        };
        s.scanAddonAirports = rec("scanAddonAirports");
        return s;
    }

    std::chrono::milliseconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.elapsed());
    }

    int passes = 0;
    int objectEventDrains = 0;

private:
    void onAdvance() {
        const auto now = elapsed();
        if (ticking && simRunning && now >= m_nextTick) {
            m_tickPending = true;
            ++seconds;
            m_nextTick = now + 1000ms;
        }
        if (!ticking || !simRunning) m_nextTick = std::max(m_nextTick, now);
        while (!m_actions.empty() && m_actions.begin()->first <= now) {
            auto action = std::move(m_actions.begin()->second);
            m_actions.erase(m_actions.begin());
            action();
        }
    }

    VirtualSteadyClock& m_clock;
    std::multimap<std::chrono::milliseconds, std::function<void()>> m_actions;
    std::chrono::milliseconds m_nextTick{1000};
    bool m_tickPending = false;
    bool m_receiving = false;
};

// A scratch working folder (with "docs") and application folder, the log in
// it, virtual time, and every global of the run control at its start.
class RunFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_previousFolder = fs::current_path();
        static int counter = 0;
        m_folder = fs::temp_directory_path() /
                   ("glim_run_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                    std::to_string(++counter));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder / "work" / "docs");
        fs::create_directories(m_folder / "appdata");
        fs::current_path(m_folder / "work");
        setEnv("GLIM_APPDATA", (m_folder / "appdata").string());
        gf_rebuildAppPaths();
        fs::create_directories(gf_appFolderPath());
        gf_logOpen(m_folder / "work" / "Log.txt");

        g_fixedNow = kNow;
        gf_setSystemTimeSource(lf_fixedNow);
        gf_setSteadyClock(&clock);
        gf_setUiSink(&sink);

        gf_resetSettings();
        gf_resetExitReason();
        gf_resetRunFlags();
        gf_resetStatusLine();
        gf_setTimeShiftOn(false);
        lf_resetMainLoopState();
        g_restarting = false;
        g_closeRequested = false;
        g_exitCode = 0;
        g_productionMode = false;
        g_dataFilesRead = false;
        g_installPathError = false;
        g_p3dV5Installed = false;
        g_p3dV6Installed = false;
        g_runStarts.simClient = false;
        g_runStarts.weatherReader = false;
        g_runStarts.trafficReader = false;
        g_reReadRequested = false;
        g_flushStaticRequested = false;
        g_staticUpdateRequested = false;
        g_savedStaticUpdate = 0;
        g_callsignListRequested = false;
        g_callsignListReady = false;
        g_rematchRequested = false;
        g_staticRenewalMinutes = 20;
        g_lastSimTimeSeen = 0;
        // A simulator that is found, so that start-up reading needs no
        // registry.
        SIM_INSTALL_PATH.setValue("C:\\Lockheed Martin\\Prepar3D v5");
        gf_setRunServices(world.services());
    }

    void TearDown() override {
        gf_setRunServices(RunServices{});
        gf_setUiSink(nullptr);
        gf_setSteadyClock(nullptr);
        gf_setSystemTimeSource(nullptr);
        gf_logClose();
        fs::current_path(m_previousFolder);
        std::error_code ec;
        fs::remove_all(m_folder, ec);
        gf_resetExitReason();
        gf_resetRunFlags();
        gf_resetStatusLine();
        gf_resetSettings();
    }

    std::string log() {
        gf_logFlush();
        return readFile(m_folder / "work" / "Log.txt");
    }
    fs::path workFolder() const { return m_folder / "work"; }
    std::string parametersFile() { return readFile(gf_parametersPath()); }
    std::chrono::milliseconds elapsed() const { return world.elapsed(); }

    VirtualSteadyClock clock;
    FakeWorld world{clock};
    RecordingSink sink;

private:
    fs::path m_previousFolder;
    fs::path m_folder;
};

}  // namespace run_test
