#include "app/wiring/window_services.h"

void lf_wireWindow(RunServices&) {}
