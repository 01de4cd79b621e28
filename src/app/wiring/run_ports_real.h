// The program's wiring: the run's neighbours as the real subsystems.
#pragma once

#include "app/run_ports.h"

// Installs the real neighbours with the given window. The first call builds
// them and installs the subsystems' own environments and ports; they stay for
// the rest of the process.
void gf_installRealRunPorts(RunWindow& window);
// The end of the process: threads the wiring started that are still there
// are asked to stop and joined.
void gf_stopRealRunThreads();
