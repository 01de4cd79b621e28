#include "app/run_ports.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {
std::optional<RunPorts> g_runPorts;
}  // namespace

const RunPorts& gf_runPorts() {
    if (!g_runPorts) {
        std::fputs("GLIM_P3D: a run used its neighbours before the program's wiring installed them\n", stderr);
        std::abort();
    }
    return *g_runPorts;
}

void gf_installRunPorts(const RunPorts& ports) { g_runPorts.emplace(ports); }

void gf_uninstallRunPorts() { g_runPorts.reset(); }
