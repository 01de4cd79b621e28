// The run's services of the static parked traffic: the park airport's
// choice and calculation every 16 seconds, the renewal, the flush, the
// user-aircraft conflicts and the park airport's state for the main loop.
#pragma once

#include "app/run_services.h"

// After lf_wireTraffic and lf_wireAirports: the static side replaces their
// stand-ins.
void lf_wireStaticTraffic(RunServices& services);
