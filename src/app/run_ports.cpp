#include "app/run_ports.h"

#include "core/port_missing.h"
#include <optional>

namespace {
std::optional<RunPorts> g_runPorts;
}  // namespace

const RunPorts& gf_runPorts() {
    if (!g_runPorts) gf_portNotInstalled("the run's neighbours");
    return *g_runPorts;
}

void gf_installRunPorts(const RunPorts& ports) { g_runPorts.emplace(ports); }

void gf_uninstallRunPorts() { g_runPorts.reset(); }
