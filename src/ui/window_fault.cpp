#include "ui/window_fault.h"

#include "core/log.h"

#include <fmt/format.h>

WindowFaultAnswer gf_windowFault(WindowMessageKind kind, std::string_view what) {
    gf_logHighlight(fmt::format("lf_mainWndProc: {}", what));
    switch (kind) {
    case WindowMessageKind::create:
        // initInstance then logs its failure and the program ends with 1.
        return {false, 0, false, -1};
    case WindowMessageKind::startRun:
        // Without a run nothing would ever end the program: it ends now,
        // as a run's end would, but not as a clean exit.
        return {true, 1, true, 0};
    case WindowMessageKind::endProgram:
        // The position is saved before the end is posted; a failure after
        // that must still end the program, and not as a clean exit.
        return {true, 1, false, 0};
    case WindowMessageKind::other:
        break;
    }
    // One failed message (a paint, a command) must not take the run and the
    // user's session with it: the window goes on.
    return {false, 0, false, 0};
}
