// Natively there is no window: the feed's time shift and its counts still
// reach the run.
#include "app/wiring/window_services.h"

#include "feed/reader_services.h"
#include "feed/feed_window_values.h"
#include "simlink/sim_client.h"
#include "ui/window_paint.h"

void lf_wireWindow(RunServices& services) {
    services.applyTimeOffset = [](std::int32_t minutes) { gf_applyTimeOffset(minutes); };
    services.receivedFlightCount = [] { return g_trafficReader.trafficCount.load(); };
    services.userAltitudeFt = [] { return gf_userAcData().alt_ft; };
    services.noSimSession = [] { return g_noSimSession.load(); };
}

void lf_fillLinkDisplay(DisplaySnapshot&) {}
