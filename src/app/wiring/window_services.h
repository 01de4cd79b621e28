// The run's services that act on the real window and the window's values
// of the simulator link and the feed.
#pragma once

#include "app/run_services.h"

struct DisplaySnapshot;

void lf_wireWindow(RunServices& services);
// The simulator link's and the feed's display values, for a paint.
void lf_fillLinkDisplay(DisplaySnapshot& snapshot);
