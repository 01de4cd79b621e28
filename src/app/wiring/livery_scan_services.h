// The livery scan as the program shows it to the user.
#pragma once

#include "catalogue/livery_scan.h"

// The window as the program shows the scan to the user.
LiveryScanWindow& gf_realLiveryScanWindow();
