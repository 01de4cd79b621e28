// Natively there is no window: nothing to post to, nothing to raise, nothing
// to paint.
#include "app/wiring/window_services.h"

void RealRunWindow::postToWindow(RunMessage) {}

void RealRunWindow::setWindowTopmost(bool) {}

void lf_fillLinkDisplay(DisplaySnapshot&) {}
