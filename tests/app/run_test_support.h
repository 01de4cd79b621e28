// Whole runs in virtual time: a scratch working folder with its own
// application folder and Log.txt, a virtual steady clock, a fixed system
// time, and a world of fakes behind the run's ports that records what the
// run asked of it and at which simulator second.
#pragma once

#include "app/application.h"
#include "app/run_control.h"
#include "app/run_ports.h"
#include "app/run_state.h"
#include "app/window_requests.h"
#include "support/test_env.h"

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
#include <optional>
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

    // Calls a test replaces for the length of a test; empty ones answer as
    // the world above.
    struct Replaced {
        std::function<void(bool)> setWindowTopmost;
        std::function<void()> applySimTime;
        std::function<bool()> readDbase;
        // The site comes back while the run waits for it.
        std::function<void()> siteDelivers;
        std::function<void()> announceStaticUpdate;
        std::function<void(std::int32_t)> applyTimeOffset;
        std::function<void()> fillLiveAcCombo;
        std::function<void(bool)> setParkedNavLights;
        std::function<void(int)> removeSurplusLiveAc;
        std::function<void()> removeAllLiveAc;
        std::function<void()> removeAllStaticAc;
        std::function<void()> scanLiveries;
        std::function<void()> processScannedLiveries;
        std::function<std::optional<RunPosition>(const std::string&)> findAirport;
        std::function<void(const std::string&, RunPosition)> addDestinationAirport;
        std::function<bool(bool, std::string&)> checkParkAirports;
    };
    Replaced replaced;
    bool noSimSession = true;

    // The world as the run's neighbours; window and parking are the ones to
    // use in place of the fake ones (the real ones in tests of their rules).
    RunPorts ports(RunWindow* window = nullptr, RunParking* parking = nullptr) {
        return RunPorts{window ? *window : m_window, m_sim, m_feed, m_engine, parking ? *parking : m_parking,
                        m_catalogue, m_airports};
    }

    std::chrono::milliseconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.elapsed());
    }

    int passes = 0;
    int objectEventDrains = 0;

private:
    class Window final : public RunWindow {
    public:
        explicit Window(FakeWorld& w) : w(w) {}
        void postToWindow(RunMessage m) override {
            w.posted.push_back(m);
            w.record(m == RunMessage::startRun ? "post startRun" : "post endProgram");
        }
        void setWindowTopmost(bool topmost) override {
            if (w.replaced.setWindowTopmost) return w.replaced.setWindowTopmost(topmost);
            w.record(topmost ? "topmost" : "not topmost");
        }
        void checkParametersFile() override {}
        bool checkForUpdates() override {
            w.record("checkForUpdates");
            if (!w.checkForUpdatesResult) gf_setExitReason(ExitReason::newVersion, 0);
            return w.checkForUpdatesResult;
        }
        bool waitForDownloadSite(const std::filesystem::path& missing, bool) override {
            w.record("waitForDownloadSite " + missing.filename().string());
            // Without a site that comes back the user closes the window.
            if (!w.replaced.siteDelivers) return false;
            w.replaced.siteDelivers();
            return true;
        }
        void fillComboBoxes() override { w.record("fillComboBoxes"); }
        void applySimTime() override {
            if (w.replaced.applySimTime) w.replaced.applySimTime();
        }
        void setTimeShift(int minutes, bool quiet) override {
            w.timeShifts.push_back(minutes);
            w.timeShiftsQuiet.push_back(quiet);
        }
        void autoRange() override { w.record("autoRange"); }
        void checkNoTraffic() override {}
        void announceStaticUpdate() override {
            if (w.replaced.announceStaticUpdate) return w.replaced.announceStaticUpdate();
            w.record("announceStaticUpdate");
        }
        void disableParkingControls() override {
            w.record("disableParkingControls");
            w.parkingBusy = true;
        }
        void enableParkingControls() override {}
        bool parkingControlsBusy() override { return w.parkingBusy; }
        void updateLiveCount() override { w.record("updateLiveCount"); }

    private:
        FakeWorld& w;
    };

    class SimLink final : public RunSimLink {
    public:
        explicit SimLink(FakeWorld& w) : w(w) {}
        void resetSimQueues() override { w.record("resetSimQueues"); }
        void startSimClient() override { w.record("startSimClient"); }
        void requestSimClientStop() override { w.record("requestSimClientStop"); }
        void joinSimClient() override { w.record("joinSimClient"); }
        bool noSimSession() override { return w.noSimSession; }
        bool simRunning() override { return w.simRunning; }
        bool requestError() override { return false; }
        bool takeSecondTick() override {
            if (!w.m_tickPending) return false;
            w.m_tickPending = false;
            return true;
        }
        bool secondTickPending() override { return w.m_tickPending; }
        bool requestUserOnGround() override { return true; }
        void simRequestError() override {}
        bool userOnGroundKnown() override { return w.userPositionKnown; }
        bool userOnGround() override { return w.userOnGround; }
        void requestUserAcPosition() override {}
        RunPosition userPosition() override { return w.userPositionKnown ? RunPosition{52.3, 4.76} : RunPosition{}; }
        double userAltitudeFt() override { return 0.0; }
        void requestUserAcTitleAndModel() override { w.record("requestUserAcTitleAndModel"); }
        std::int64_t simTime() override { return w.simTime; }
        void createFlightPlanFolder() override { w.record("createFlightPlanFolder"); }
        void removeFlightPlanFolder() override { w.record("removeFlightPlanFolder"); }
        void clearRememberedLiveryTitles() override { w.record("clearRememberedLiveryTitles"); }
        void clearAiPositionBuffers() override { w.record("clearAiPositionBuffers"); }
        void resetSimLink() override { w.record("resetSimLink"); }

    private:
        FakeWorld& w;
    };

    class Feed final : public RunFeed {
    public:
        explicit Feed(FakeWorld& w) : w(w) {}
        void updateTrafficBox() override { w.record("updateTrafficBox"); }
        void updateReaderLamps() override { w.record("updateReaderLamps"); }
        void authenticate() override {
            w.record("authenticate");
            if (w.onAuthenticate) w.onAuthenticate();
            if (w.loginSucceeds) {
                w.authenticated = true;
            } else {
                gf_stopWithError("Authenticater", true);
            }
        }
        bool authenticated() override { return w.authenticated; }
        void deauthenticate() override { w.record("deauthenticate"); }
        void startWeatherReader() override {
            w.record("startWeatherReader");
            if (w.weatherSendsQnh) w.at(w.elapsed() + 400ms, [this] { w.qnh = 1013; });
        }
        void startTrafficReader() override {
            w.record("startTrafficReader");
            if (w.trafficReceives) w.m_receiving = true;
        }
        bool weatherReaderFinished() override { return w.weatherFinished; }
        bool trafficReaderFinished() override { return w.trafficFinished; }
        void stopReaders() override {
            w.record("stopReaders");
            if (w.readersFinishOnStop) w.weatherFinished = w.trafficFinished = true;
        }
        void joinFinishedReaders() override { w.record("joinFinishedReaders"); }
        int qnhShown() override { return w.qnh; }
        bool trafficReaderReceiving() override { return w.m_receiving; }
        std::int64_t receivedFlightCount() override { return 0; }
        void setTrafficFilterCentre(RunPosition) override {}
        void raiseCollectFlag() override { w.record("raiseCollectFlag"); }
        void applyTimeOffset(std::int32_t minutes) override {
            if (w.replaced.applyTimeOffset) w.replaced.applyTimeOffset(minutes);
        }
        void setReaderLamps(int) override {}
        void resetRtClients() override { w.record("resetRtClients"); }

    private:
        FakeWorld& w;
    };

    class Engine final : public RunEngine {
    public:
        explicit Engine(FakeWorld& w) : w(w) {}
        void reserveTrafficContainers() override {}
        void setTrafficHandover(bool open) override { w.record(open ? "handover open" : "handover closed"); }
        void handleAddingStack() override { ++w.passes; }
        void handleSimObjectEvents() override { ++w.objectEventDrains; }
        void handleNewLiveHexid() override {}
        void fillLiveAcCombo() override {
            if (w.replaced.fillLiveAcCombo) w.replaced.fillLiveAcCombo();
        }
        void avoidLiveParkedCollisions() override {}
        void removeBlockedCallsign(const std::string&) override {}
        void clearGhostCallsigns() override {}
        void resetTraffic() override { w.record("resetTraffic"); }
        void setParkedNavLights(bool on) override {
            if (w.replaced.setParkedNavLights) w.replaced.setParkedNavLights(on);
        }
        void removeSurplusLiveAc(int max) override {
            if (w.replaced.removeSurplusLiveAc) w.replaced.removeSurplusLiveAc(max);
        }
        void removeAllLiveAc() override {
            if (w.replaced.removeAllLiveAc) w.replaced.removeAllLiveAc();
        }
        int countParkedLiveAc(bool) override { return 0; }
        int countFlyingLiveAc() override { return 0; }

    private:
        FakeWorld& w;
    };

    class Parking final : public RunParking {
    public:
        explicit Parking(FakeWorld& w) : w(w) {}
        void staticParking(bool initial) override { w.record(initial ? "staticParking initial" : "staticParking"); }
        void removeUserAirConflicts() override { w.record("removeUserAirConflicts"); }
        void removeUserGroundConflicts() override { w.record("removeUserGroundConflicts"); }
        void removeStaticTwins() override { w.record("removeStaticTwins"); }
        void removeAllStaticAc() override {
            if (w.replaced.removeAllStaticAc) return w.replaced.removeAllStaticAc();
            w.record("removeAllStaticAc");
        }
        void applyParkTrafficChanges(std::int32_t value) override {
            w.record("applyParkTrafficChanges");
            w.appliedStaticUpdates.push_back(value);
        }
        int showStaticParkStats(bool) override { return 0; }
        int waitingParkingPositions() override { return 0; }
        bool parkAirportInUse() override { return w.parkAirportInUse; }
        bool standListEmpty() override { return w.standListEmpty; }
        bool standsLoaded() override { return w.standsLoaded; }
        std::string reservedStand() override { return {}; }
        void clearReservedStand() override {}
        void clearAirportTraffic() override {
            w.record("clearAirportTraffic");
            if (w.onClearAirportTraffic) w.onClearAirportTraffic();
        }

    private:
        FakeWorld& w;
    };

    class Catalogue final : public RunCatalogue {
    public:
        explicit Catalogue(FakeWorld& w) : w(w) {}
        bool readDbase() override {
            w.record("readDbase");
            if (w.replaced.readDbase) return w.replaced.readDbase();
            return w.readDbaseResult;
        }
        void scanLiveries() override {
            if (w.replaced.scanLiveries) return w.replaced.scanLiveries();
            w.record("scanLiveries");
        }
        void processScannedLiveries() override {
            if (w.replaced.processScannedLiveries) return w.replaced.processScannedLiveries();
            w.record("processScannedLiveries");
        }
        void reserveLiveryCatalogue() override {}
        void clearLiveryCatalogue() override {}
        void logLiveryMatchingSummary() override { w.record("logLiveryMatchingSummary"); }
        void logUnmatchedFlights() override { w.record("logUnmatchedFlights"); }
        void clearUnmatchedFlights() override { w.record("clearUnmatchedFlights"); }

    private:
        FakeWorld& w;
    };

    class Airports final : public RunAirports {
    public:
        explicit Airports(FakeWorld& w) : w(w) {}
        bool readAirports() override {
            w.record("readAirports");
            return true;
        }
        bool readMyParkAirports() override { return true; }
        void scanAddonAirports() override { w.record("scanAddonAirports"); }
        std::optional<RunPosition> findAirport(const std::string& code) override {
            if (w.replaced.findAirport) return w.replaced.findAirport(code);
            return std::nullopt;
        }
        void addDestinationAirport(const std::string& code, RunPosition position) override {
            if (w.replaced.addDestinationAirport) w.replaced.addDestinationAirport(code, position);
        }
        std::optional<RunPosition> firstParkAirport() override { return std::nullopt; }
        bool checkParkAirports(bool checkReservedStand, std::string& message) override {
            if (w.replaced.checkParkAirports) return w.replaced.checkParkAirports(checkReservedStand, message);
            return false;
        }

    private:
        FakeWorld& w;
    };

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
    Window m_window{*this};
    SimLink m_sim{*this};
    Feed m_feed{*this};
    Engine m_engine{*this};
    Parking m_parking{*this};
    Catalogue m_catalogue{*this};
    Airports m_airports{*this};
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
        setTestEnv("GLIM_APPDATA", (m_folder / "appdata").string());
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
        gf_installRunPorts(world.ports());
    }

    void TearDown() override {
        gf_uninstallRunPorts();
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
