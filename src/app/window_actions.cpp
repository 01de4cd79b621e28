#include "app/window_actions.h"

#include "app/app_info.h"
#include "app/run_state.h"
#include "app/window_position.h"
#include "app/worker_thread.h"

#include "core/clock.h"
#include "core/exit_reason.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/status_line.h"

#include <fmt/format.h>

#include <exception>

bool lf_onStartRun() {
    if (g_closeRequested.load()) return false;
    gf_startWorkerThread();
    return true;
}

int lf_onEndProgram(int left, int top) {
    try {
        lf_storeWindowPositionAtExit(left, top);
    } catch (const std::exception& e) {
        // The program ends all the same.
        gf_logHighlight(fmt::format("{}: {}", "lf_saveWindowPosition", e.what()));
    }
    gf_logLine(gf_formatTime(gf_systemTime()));
    return g_exitCode.load();
}

void lf_onUserClose() {
    gf_setStatusLine(fmt::format("Close window button clicked, closing {} ...", kAppName), false);
    g_closeRequested = true;
    gf_setExitReason(ExitReason::userClosedSim, 0);
}

void lf_initialWindowPosition(int& x, int& y) {
    try {
        const WindowPosition position = lf_readWindowPosition();
        x = position.x;
        y = position.y;
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: {}", "initInstance", e.what()));
        x = MAIN_WINDOW_X.value();
        y = MAIN_WINDOW_Y.value();
    }
}
