#include "app/run_control.h"
#include "app/run_ports.h"
#include "app/run_state.h"
#include "app/window_requests.h"
#include "app/window_services.h"

#include "core/clock.h"
#include "core/log.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/steady_clock.h"
#include "ui/control_ids.h"
#include "core/status_line.h"
#include "core/ui_sink.h"
#include "ui/window_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>

namespace {

using namespace std::chrono_literals;

constexpr auto kPass = 10ms;
constexpr int kNotRunningPasses = 100;
constexpr std::int64_t kSimTimeJump_s = 30;
constexpr std::int32_t kStaticRenewal_min = 20;

// The main loop's own state; the worker thread alone touches it.
struct MainLoopState {
    bool flightNotRunning = false;
    int notRunningCountdown = kNotRunningPasses;
    bool staticParkingBusy = false;
};
MainLoopState g_loop;
// The simulator seconds of the loop. Atomic: the window's announcement of a
// static update reads it on the main thread.
std::atomic<std::uint32_t> g_secondCounter{0};

void lf_userCollisions(const RunPorts& ports) {
    if (!ports.sim.userOnGround()) {
        if (COLLISION_USER_AIR.value()) ports.parking.removeUserAirConflicts();
    } else if (COLLISION_USER_GND.value()) {
        ports.parking.removeUserGroundConflicts();
    }
}

// a - b, held at the limits instead of overflowing: the simulator's clock
// comes from outside and may hold any value.
std::int64_t lf_saturatingDifference(std::int64_t a, std::int64_t b) {
    std::int64_t d = 0;
    if (!__builtin_sub_overflow(a, b, &d)) return d;
    return b < 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

// The simulator's clock drives the time shift: a jump of 30 s or more (the
// user set the simulator's clock) shifts the traffic to the simulator's time.
void lf_followSimTime(const RunPorts& ports) {
    if (!SIM_TIME.value()) return;
    const std::int64_t t = ports.sim.simTime();
    const std::int64_t jump_s = lf_saturatingDifference(t, g_lastSimTimeSeen.load());
    if (jump_s >= kSimTimeJump_s || jump_s <= -kSimTimeJump_s) {
        const std::int64_t minutes = std::max<std::int64_t>(0, lf_saturatingDifference(gf_systemTime(), t) / 60);
        ports.window.setTimeShift(static_cast<int>(std::min<std::int64_t>(minutes, 1 << 30)), false);
    }
    g_lastSimTimeSeen = t;
}

// The 5-second jobs, and at every 15th second the periodic ones.
void lf_fiveSecondJobs(const RunPorts& ports, std::uint32_t c) {
    ports.feed.updateReaderLamps();
    ports.feed.setTrafficFilterCentre(ports.sim.userPosition());
    ports.feed.updateTrafficBox();
    if (!ports.parking.reservedStand().empty()) ports.parking.clearReservedStand();
    lf_handleReReadRequest();
    if (c % 15 == 0) lf_periodicJobs(c);
}

void lf_otherSecondJobs(const RunPorts& ports, std::uint32_t c) {
    if (c % 16 == 0 && !g_loop.staticParkingBusy) ports.parking.staticParking(false);
    if (c % 61 == 0) ports.parking.removeStaticTwins();
}

// The static update runs in two phases 15 s apart: the first disables the
// parking controls and lets the Traffic Reader collect the flights in the
// air, the second rebuilds the static parking with what it collected.
void lf_serveStaticUpdate(const RunPorts& ports) {
    if (!g_staticUpdateRequested.load()) return;
    if (g_loop.staticParkingBusy) {
        g_loop.staticParkingBusy = false;
        const std::int32_t value = g_savedStaticUpdate.load();
        gf_emptyErrorText();
        gf_clearStatusLine();
        if (ports.parking.parkAirportInUse() && !ports.parking.standListEmpty()) {
            ports.parking.applyParkTrafficChanges(value);
            g_savedStaticUpdate = 0;
        } else {
            // Nothing to rebuild (no park airport, or one without stands):
            // no parking will give the controls back, so they come back
            // here, or the time shift, the parking and "Re-read" would stay
            // disabled for the rest of the run.
            ports.window.enableParkingControls();
        }
        gf_logFlush();
        g_staticUpdateRequested = false;
    } else {
        g_loop.staticParkingBusy = true;
        ports.window.disableParkingControls();
        ports.feed.raiseCollectFlag();
    }
}

}  // namespace

std::uint32_t lf_secondCounter() { return g_secondCounter.load(); }

void lf_resetMainLoopState() {
    g_loop = MainLoopState{};
    g_secondCounter = 0;
    g_lastSimTimeSeen = 0;
    g_staticUpdateRequested = false;
    g_blockCallsignChanged = false;
    // A new run has no aircraft to take away and no destination yet.
    g_timeShiftTrafficRequested = false;
    g_destinationRequested = false;
    g_maxLiveTrimRequested = false;
    g_navLightsRequested = false;
    g_autoRangeRequested = false;
}

void lf_handleReReadRequest() {
    const RunPorts& ports = gf_runPorts();
    if (!g_reReadRequested.load() || ports.window.parkingControlsBusy()) return;
    std::string message;
    if (ports.airports.checkParkAirports(true, message)) gf_setStatusLine(message, true);
    gf_uiSink().enableControl(kIdReRead, true);
    gf_uiSink().enableControl(DESTINATION.controlId(), true);
    g_reReadRequested = false;
}

void lf_periodicJobs(std::uint32_t c) {
    const RunPorts& ports = gf_runPorts();
    lf_serveStaticUpdate(ports);
    if (c % 30 == 0) {
        if (g_rematchRequested.exchange(false)) ports.catalogue.clearUnmatchedFlights();
        if (AUTO_RANGE.value()) ports.window.autoRange();
    }
    if (c % 60 == 0) {
        if (--g_staticRenewalMinutes < 1) {
            g_staticRenewalMinutes = kStaticRenewal_min;
            if (ports.parking.standsLoaded() && !INITIAL_LOAD_ONLY.value() && !ports.window.parkingControlsBusy() &&
                !g_staticUpdateRequested.load()) {
                ports.window.announceStaticUpdate();
            }
        }
        // The window's "(next in {} min)" follows the countdown.
        g_mainWindowState.minutesToRenewal = g_staticRenewalMinutes.load();
        gf_uiSink().invalidateBand(UiBand::controls);
    }
    if (c % 1200 == 0) ports.catalogue.logUnmatchedFlights();
    if (c % 86400 == 0) {
        g_secondCounter = 0;
        ports.catalogue.logLiveryMatchingSummary();
        ports.sim.clearRememberedLiveryTitles();
    }
    gf_logFlush();
}

void lf_flightResumed() {
    const RunPorts& ports = gf_runPorts();
    if (g_loop.flightNotRunning) {
        g_loop.flightNotRunning = false;
        gf_logLine(fmt::format("{} Flight resumed", gf_clockText()));
        ports.engine.setTrafficHandover(true);
    }
    ++g_tickCount;
    gf_clearStatusLineWhenDue();
    ports.window.updateLiveCount();
    gf_refreshNowSlot();
    lf_followSimTime(ports);
    ++g_secondCounter;
    ports.engine.handleNewLiveHexid();
    if (g_flushStaticRequested.exchange(false)) {
        ports.parking.removeAllStaticAc();
        if (!INITIAL_LOAD_ONLY.value()) {
            INITIAL_LOAD_ONLY.setValue(true);
            // Saved like a click on the box: the box shows what the file keeps.
            gf_saveBoolParameter(INITIAL_LOAD_ONLY);
            gf_uiSink().setCheck(INITIAL_LOAD_ONLY.controlId(), true);
        }
    }
    if (g_callsignListRequested.exchange(false)) {
        gf_uiSink().invalidateBand(UiBand::header);
        ports.engine.fillLiveAcCombo();
        // The engine gives the callsigns; the window shows them and lets
        // the user choose one.
        gf_showCallsignList();
        g_callsignListReady = true;
    }
    lf_userCollisions(ports);
    if (COLLISION_LIVE_PARKED_GND.value()) ports.engine.avoidLiveParkedCollisions();
    if (g_blockCallsignChanged.exchange(false)) {
        const std::string callsign = BLOCK_CALLSIGN.get();
        if (!callsign.empty()) ports.engine.removeBlockedCallsign(callsign);
    }
    if (ports.window.parkingControlsBusy()) gf_showParkingPositionCount(ports);
    lf_serveWindowRequests(ports);
}

void lf_flightNotRunning() {
    const RunPorts& ports = gf_runPorts();
    if (!g_loop.flightNotRunning) {
        ports.engine.setTrafficHandover(false);
        g_loop.flightNotRunning = true;
        g_loop.notRunningCountdown = kNotRunningPasses;
        ports.sim.clearAiPositionBuffers();
        gf_logLine(fmt::format("{} Flight not running", gf_clockText()));
    }
    ports.engine.handleSimObjectEvents();
    --g_loop.notRunningCountdown;
    if (g_loop.notRunningCountdown % kNotRunningPasses == 0) {
        lf_handleReReadRequest();
        ports.feed.updateTrafficBox();
    }
    if (g_loop.notRunningCountdown < 1) {
        g_loop.notRunningCountdown = kNotRunningPasses;
        ports.window.updateLiveCount();
        gf_refreshNowSlot();
    }
}

void lf_mainLoop() {
    const RunPorts& ports = gf_runPorts();
    ports.parking.staticParking(true);
    ports.feed.updateReaderLamps();
    g_secondCounter = 0;

    SteadyTime deadline = gf_steadyNow();
    gf_refreshNowSlot();
    ports.engine.setTrafficHandover(true);
    deadline += kPass;
    gf_fillCallsignCombo();
    gf_uiSink().enableControl(kIdCsOid, true);

    const FineTimerScope fineTimer;
    // The stop flags are looked at on every pass, not only when a simulator
    // second arrives: a simulator that stopped sending seconds must not keep
    // the window from closing.
    while (!gf_stopFlagSet()) {
        if (ports.sim.simRunning() && !ports.sim.requestError()) {
            ports.engine.handleAddingStack();
            if (ports.sim.takeSecondTick()) {
                lf_flightResumed();
                if (gf_stopFlagSet()) break;
                const std::uint32_t c = g_secondCounter.load();
                if (c % 5 == 0) {
                    lf_fiveSecondJobs(ports, c);
                } else {
                    lf_otherSecondJobs(ports, c);
                }
            }
        } else {
            lf_flightNotRunning();
            if (gf_stopFlagSet()) break;
        }
        if (deadline - gf_steadyNow() >= 1ms) gf_sleepUntil(deadline);
        if (ports.sim.secondTickPending()) deadline = gf_steadyNow();
        deadline += kPass;
    }
}
