// The add-on airport scan wired into the run: the airport database, the
// shell and the window as its neighbours.
#pragma once

#include "app/run_services.h"

void lf_wireAirportScan(RunServices& services);
