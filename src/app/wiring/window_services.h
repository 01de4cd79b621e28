// The run's services that act on the real window (Windows build only; the
// native build has no window).
#pragma once

#include "app/run_services.h"

void lf_wireWindow(RunServices& services);
