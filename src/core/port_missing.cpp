#include "core/port_missing.h"

#include "core/exit_reason.h"
#include "core/log.h"

#include <fmt/format.h>

#include <cstdio>

void gf_portNotInstalled(std::string_view port) {
    const std::string text = fmt::format("{} used before the wiring installed it", port);
    std::fprintf(stderr, "GLIM_P3D: %s\n", text.c_str());
    // Written before anything else is tried: the thread's handler may need
    // the very port that is missing (the window for its error line) and end
    // the process instead.
    gf_logHighlight(text);
    gf_setExitReason(ExitReason::systemError, 0);
    gf_logFlush();
    throw PortNotInstalled(text);
}
