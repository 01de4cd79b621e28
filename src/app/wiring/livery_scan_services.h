// The run's livery scan wired to the catalogue's scan.
#pragma once

#include "catalogue/livery_scan.h"

struct RunServices;

void lf_wireLiveryScan(RunServices& services);

// The window as the program shows the scan to the user.
LiveryScanWindow& gf_realLiveryScanWindow();
