#include "app/app_info.h"
#include "app/run_control.h"
#include "app/run_ports.h"
#include "app/run_state.h"
#include "app/window_services.h"
#include "app/window_requests.h"

#include "core/clock.h"
#include "core/exit_reason.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "core/steady_clock.h"
#include "core/user_error.h"
#include "ui/control_ids.h"
#include "core/status_line.h"
#include "core/ui_sink.h"
#include "ui/window_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <new>

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kRevisit_s = 2;
constexpr auto kStopWatchStep = 100ms;
constexpr auto kSimWaitStep = 100ms;
constexpr auto kPositionWaitStep = 500ms;
constexpr auto kReaderStartStep = 300ms;
constexpr int kReaderStartLooks = 10;
constexpr auto kReceivingLookStep = 100ms;
constexpr auto kReceivingTimeout = 10s;
constexpr double kNoPosition_deg = 0.0001;

// Sleeps d in short steps; false as soon as a stop flag is set.
bool lf_sleepUnlessStopped(std::chrono::milliseconds d) {
    return gf_sleepWatching(d, kStopWatchStep, gf_stopFlagSet);
}

bool lf_userPositionKnown(const RunPorts& ports) {
    if (!ports.sim.userOnGroundKnown()) return false;
    const RunPosition p = ports.sim.userPosition();
    return std::fabs(p.lat) > kNoPosition_deg || std::fabs(p.lon) > kNoPosition_deg;
}

// Up to ten looks 300 ms apart while the condition is not met; the run's
// stop ends the wait.
template <typename Condition, typename EachLook>
void lf_waitForReader(Condition met, EachLook eachLook) {
    for (int i = 0; i < kReaderStartLooks && !met() && !gf_stopFlagSet(); ++i) {
        gf_sleepFor(kReaderStartStep);
        eachLook();
    }
}

void lf_waitUntilTrafficReaderReceives(const RunPorts& ports) {
    const SteadyTime start = gf_steadyNow();
    while (!ports.feed.trafficReaderReceiving() && !gf_stopFlagSet()) {
        gf_sleepFor(kReceivingLookStep);
        if (gf_steadyNow() - start > kReceivingTimeout) {
            gf_logLine("TrafficReader receiving timed out after 10 seconds?");
            gf_setExitReason(ExitReason::readerError, 15);
            return;
        }
    }
}

// The steps after the start-up reading and the scans, while no stop flag is
// set.
void lf_runSteps(const RunPorts& ports, std::int64_t elapsed_s) {
    const WorkPaths& paths = gf_workPaths();
    if (SCAN_AIRPORTS.value()) {
        gf_showHandmadeCounters(0, 0);
        ports.airports.scanAddonAirports();
    }
    lf_holdBeforeLogin(elapsed_s);
    gf_showHandmadeCounters(gf_countDirectoryEntries(paths.myOrbx), gf_countDirectoryEntries(paths.myThirdparty));
    if (gf_stopFlagSet()) {
        gf_setExitReason(ExitReason::userClosedSim, 0);
        return;
    }
    ports.sim.createFlightPlanFolder();
    ports.airports.readMyParkAirports();
    gf_uiSink().enableControl(kIdReRead, true);
    gf_uiSink().enableControl(DESTINATION.controlId(), true);
    const std::string destination = DESTINATION.get();
    if (!destination.empty()) {
        if (const auto airport = ports.airports.findAirport(destination))
            gf_setDestination(destination, *airport, true);
    }
    ports.window.setWindowTopmost(ALWAYS_ON_TOP.value());
    lf_runTraffic();
}

}  // namespace

std::string lf_appMessage(std::string_view format) { return fmt::format(fmt::runtime(format), kAppName, kAppName); }

void lf_holdBeforeLogin(std::int64_t elapsed_s) {
    if (elapsed_s >= kRevisit_s) return;
    // A LAST_EPOCH_TIME: in the future (a clock set back, a hand-edited file)
    // would ask for an endless hold: never more than the service's two
    // seconds.
    const std::int64_t n = std::clamp<std::int64_t>(kRevisit_s - elapsed_s, 0, kRevisit_s);
    gf_setStatusLine(
        fmt::format("Holding for {} seconds... (RT API cannot be revisited within {} seconds)", n, kRevisit_s), true);
    lf_sleepUnlessStopped(std::chrono::seconds(n));
}

bool lf_requestAircraftGndAir() {
    const RunPorts& ports = gf_runPorts();
    while (!ports.sim.simRunning() || ports.sim.requestError()) {
        if (gf_stopFlagSet()) return false;
        gf_sleepFor(kSimWaitStep);
    }
    if (gf_stopFlagSet()) return false;
    if (!ports.sim.requestUserOnGround()) {
        gf_logHighlight("SimConnect request ac gnd/air fails");
        ports.sim.simRequestError();
    }
    while (!lf_userPositionKnown(ports)) {
        ports.sim.requestUserAcPosition();
        if (gf_stopFlagSet()) return false;
        gf_sleepUntil(gf_steadyNow() + kPositionWaitStep);
    }
    ports.sim.requestUserAcTitleAndModel();
    return true;
}

bool lf_runTraffic() {
    const RunPorts& ports = gf_runPorts();
    // The service's lamp leaves its idle black: red until the login holds.
    g_mainWindowState.rtIdle = false;
    gf_uiSink().invalidateBand(UiBand::header);
    ports.engine.reserveTrafficContainers();
    ports.catalogue.reserveLiveryCatalogue();
    ports.sim.resetSimQueues();
    gf_uiSink().invalidateBand(UiBand::all);

    g_runStarts.simClient = true;
    ports.sim.startSimClient();
    if (!lf_requestAircraftGndAir()) return false;
    if (AUTO_RANGE.value()) ports.window.autoRange();
    if (gf_stopFlagSet()) return false;
    gf_uiSink().invalidateBand(UiBand::header);
    if (gf_stopFlagSet()) return false;

    ports.engine.setTrafficHandover(false);
    ports.feed.updateTrafficBox();
    ports.feed.authenticate();
    ports.feed.setReaderLamps(2);

    // A failed login stops the run: no reader is started for a session that
    // does not exist (nothing would ever stop it).
    lf_waitForReader([&] { return ports.feed.authenticated(); }, [] {});
    if (gf_stopFlagSet()) return false;
    g_runStarts.weatherReader = true;
    ports.feed.startWeatherReader();

    lf_waitForReader([&] { return ports.feed.qnhShown() != 0; }, [] { lf_handleReReadRequest(); });
    if (gf_stopFlagSet()) return false;
    // The centre of the range filter before the reader's first request: the
    // buffered snapshots would otherwise be filtered around 0,0 and all lost.
    ports.feed.setTrafficFilterCentre(ports.sim.userPosition());
    g_runStarts.trafficReader = true;
    ports.feed.startTrafficReader();
    gf_sleepFor(kReaderStartStep);

    ports.window.checkNoTraffic();
    gf_refreshNowSlot();
    lf_waitUntilTrafficReaderReceives(ports);
    // After the time-out (or any stop during the session start) the main
    // loop would only open the hand-over and start the static parking of a
    // run that is ending.
    if (gf_stopFlagSet()) return false;
    lf_mainLoop();
    return true;
}

void lf_runWorker() {
    const RunPorts& ports = gf_runPorts();
    try {
        if (!fs::is_directory(gf_workPaths().docs)) {
            throw ozr::UserErrorException(41, lf_appMessage("{} must be run from the {} folder!"));
        }
        lf_startupReading();
        gf_logFlush();
        const std::int64_t elapsed_s = gf_systemTime() - LAST_EPOCH_TIME.value();
        lf_checkSceneryFolders();
        gf_resetScanSlots();
        // SCAN_LIVERIES ticked before the last run's simulator session: the
        // catalogue is built anew from this run's scan.
        if (g_liveryCatalogueResetRequested.exchange(false)) ports.catalogue.clearLiveryCatalogue();
        if (SCAN_LIVERIES.value()) ports.catalogue.scanLiveries();
        ports.catalogue.processScannedLiveries();
        if (!gf_stopFlagSet()) lf_runSteps(ports, elapsed_s);
    } catch (const ozr::UserErrorException& e) {
        gf_setErrorLine(e.what());
        gf_forceExitReason(ExitReason::systemError);
    } catch (const fmt::format_error& e) {
        gf_setErrorLine(std::string("std::format error: ") + e.what());
        gf_setErrorLine(e.what());
        gf_setExitReason(ExitReason::systemError, 0);
    } catch (const std::exception& e) {
        gf_setErrorLine(e.what());
        gf_setExitReason(ExitReason::systemError, 0);
    } catch (...) {
        gf_setErrorLine("Unknown exception");
        gf_forceExitReason(ExitReason::systemError);
    }
    gf_logFlush();
    lf_closingDown();
}
