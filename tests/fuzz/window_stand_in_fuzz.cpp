// Installs the window's stand-in before the first input (the program's
// wiring, which installs the real one, is not part of a fuzz target).
#include "support/window_stand_in.h"

namespace {
const WindowStandIn& g_window = WindowStandIn::installed();
}  // namespace
