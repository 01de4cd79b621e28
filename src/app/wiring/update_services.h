// The run's update check wired to the self-update.
#pragma once

#include "app/run_services.h"

void lf_wireUpdates(RunServices& services);
