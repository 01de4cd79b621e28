#include "app/app_info.h"
#include "app/run_control.h"
#include "app/run_ports.h"
#include "app/run_state.h"
#include "app/window_services.h"

#include "core/clock.h"
#include "core/exit_reason.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/steady_clock.h"
#include "core/status_line.h"
#include "core/ui_sink.h"

#include <fmt/format.h>

#include <chrono>
#include <string>

RunStarts g_runStarts;

namespace {

using namespace std::chrono_literals;

constexpr auto kReaderLookStep = 100ms;
constexpr auto kUserCloseLookStep = 500ms;
constexpr auto kCountdownStep = 100ms;
constexpr auto kNewFlightWait = 10s;

bool lf_closeRequested() { return g_closeRequested.load(); }

// Lines the closing down shows and logs: the status line does not log
// while the run's stop flags are set, and they always are here.
void lf_statusAndLog(const std::string& text) {
    gf_setStatusLine(text, false);
    gf_logLine(text);
}

bool lf_restarts(ExitReason reason) {
    return reason == ExitReason::newSettings || reason == ExitReason::simconnectError ||
           reason == ExitReason::readerError;
}

// Readers that were never started never finish: only the started ones are
// waited for, and never longer than their transfers can last.
void lf_stopReaders(const RunPorts& ports) {
    const bool weather = g_runStarts.weatherReader.load();
    const bool traffic = g_runStarts.trafficReader.load();
    if (weather || traffic) {
        ports.feed.stopReaders();
        const auto finished = [&] {
            return (!weather || ports.feed.weatherReaderFinished()) && (!traffic || ports.feed.trafficReaderFinished());
        };
        const SteadyTime deadline = gf_steadyNow() + std::chrono::seconds(kReaderFinishWait_s);
        while (!finished()) {
            if (gf_steadyNow() >= deadline) {
                gf_logHighlight(fmt::format("The readers did not finish within {} seconds", kReaderFinishWait_s));
                break;
            }
            gf_sleepFor(kReaderLookStep);
        }
        ports.feed.joinFinishedReaders();
    }
    if (ports.feed.authenticated()) ports.feed.deauthenticate();
}

void lf_saveRunSettings() {
    DESTINATION.set("");
    BLOCK_CALLSIGN.set("");
    // The edits show what the settings hold: a text left there after the
    // restart would look like a destination or a block still in force.
    gf_uiSink().setText(DESTINATION.controlId(), "");
    gf_uiSink().setText(BLOCK_CALLSIGN.controlId(), "");
    gf_setTimeShiftOn(false);
    if (!KEEP_SIM_TIME_PAR.value()) {
        SIM_TIME.setValue(false);
        gf_saveBoolParameter(SIM_TIME);
        lf_resetTimeShift();
    } else if (SIM_TIME.value()) {
        lf_resetTimeShift();
    }
}

// SYSTEM ERROR keeps the window open with its error line until the user
// closes it, or until an accepted install path turned it into a restart.
void lf_waitForUser() {
    if (gf_exitReason() != ExitReason::systemError) return;
    while (!g_userClosing.load() && gf_exitReason() == ExitReason::systemError) {
        gf_sleepFor(kUserCloseLookStep);
    }
    if (gf_exitReason() == ExitReason::systemError) lf_statusAndLog(fmt::format("User closed {}", kAppName));
}

// True when the next run is to start.
bool lf_restartOrQuit(ExitReason reason) {
    if (lf_restarts(reason) && !lf_closeRequested()) {
        g_restarting = true;
        // An error line (the install path the user has since typed) would
        // swallow every status line of the countdown.
        gf_emptyErrorText();
        gf_clearStatusLine();
        lf_statusAndLog("Prepare for a restart ...");
        if (reason != ExitReason::newSettings) {
            SCAN_LIVERIES.setValue(false);
            gf_saveBoolParameter(SCAN_LIVERIES);
            SCAN_AIRPORTS.setValue(false);
            gf_saveBoolParameter(SCAN_AIRPORTS);
        }
        lf_restartCountdown();
        // The user closed the window during the countdown: that ends the
        // program, it does not start another run.
        if (!lf_closeRequested()) {
            lf_resetRunState();
            return true;
        }
    }
    g_restarting = false;
    if (reason == ExitReason::newFlight) {
        lf_statusAndLog(fmt::format("New flight detected, {} will close, please restart manually ...", kAppName));
        gf_sleepWatching(kNewFlightWait, kCountdownStep, lf_closeRequested);
    }
    return false;
}

}  // namespace

void lf_resetTimeShift() {
    for (ComboParameter* setting : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
        setting->setValue(setting->clamp(0));
        gf_saveNumberParameter(*setting);
    }
}

void lf_restartCountdown() {
    const int d = gf_exitDelaySeconds();
    if (d < 1) return;
    gf_logLine(fmt::format("Restarting after {} seconds", d));
    gf_logLine(std::string(48, '-'));
    for (int k = d; k >= 1 && !lf_closeRequested(); --k) {
        gf_setStatusLine(fmt::format("Restarting after {} second{}", k, k == 1 ? "" : "s"), false);
        gf_sleepWatching(1s, kCountdownStep, lf_closeRequested);
    }
    gf_logLine("Restart countdown finished");
}

void lf_resetRunState() {
    const RunPorts& ports = gf_runPorts();
    ports.feed.resetRtClients();
    ports.sim.resetSimLink();
    ports.engine.resetTraffic();
    gf_resetWindowTexts();
    ports.feed.setReaderLamps(3);
    gf_resetExitReason();
    lf_resetMainLoopState();
    g_runStarts.simClient = false;
    g_runStarts.weatherReader = false;
    g_runStarts.trafficReader = false;
    g_installPathError = false;
    g_tickCount = 0;
    gf_resetStatusStamp();
    gf_emptyErrorText();
    gf_setStockSceneryPath({});
}

void lf_closingDown() {
    const RunPorts& ports = gf_runPorts();
    bool posted = false;
    try {
        gf_logLine(fmt::format("Exiting: {}", gf_exitReasonText(gf_exitReason())));
        ports.engine.setTrafficHandover(false);
        if (g_runStarts.simClient.load()) ports.sim.requestSimClientStop();
        lf_stopReaders(ports);
        // The SimClient thread ends before anything of the run is reset, so
        // it never works on queues or flags the reset is clearing.
        if (g_runStarts.simClient.load()) ports.sim.joinSimClient();

        // Everything worth keeping is saved before the wait for the user
        // below: a logoff during that wait must not lose it.
        if (ports.parking.parkAirportInUse()) ports.parking.clearAirportTraffic();
        ports.sim.clearRememberedLiveryTitles();
        ports.sim.removeFlightPlanFolder();
        lf_saveRunSettings();
        ports.engine.clearGhostCallsigns();
        ports.catalogue.logLiveryMatchingSummary();
        ports.catalogue.logUnmatchedFlights();

        // The log too: while the window waits with its error line, Log.txt
        // must already say why the run stopped.
        gf_logFlush();
        lf_waitForUser();
        const bool restart = lf_restartOrQuit(gf_exitReason());
        ports.window.postToWindow(restart ? RunMessage::startRun : RunMessage::endProgram);
        posted = true;
        gf_logFlush();
    } catch (const std::exception& e) {
        lf_statusAndLog(fmt::format("{} exception {}", "lf_closingDown", e.what()));
    } catch (...) {
        lf_statusAndLog(fmt::format("{} exception {}", "lf_closingDown", "Unknown exception"));
    }
    // Whatever failed above, the program must still be able to end.
    if (!posted) {
        g_restarting = false;
        ports.window.postToWindow(RunMessage::endProgram);
        gf_logFlush();
    }
}
