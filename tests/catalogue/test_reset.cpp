#include "catalogue/catalogue.h"
#include "catalogue/dbase.h"
#include "catalogue/dbase_queries.h"
#include "catalogue/livery.h"
#include "catalogue/matcher.h"
#include "catalogue/regcode_map.h"
#include "core/random.h"
#include "core/settings.h"
#include "simlink/creation_tracking.h"
#include "core/status_line.h"

void gf_resetCatalogueForTests() {
    gf_resetLiveryScanTitles();
    g_liveryScanList.clear();
    gf_clearLiveryCatalogue();
    g_catalogueProcessed = false;
    gf_resetDbase();
    gf_resetMatcher();
    gf_resetCreationTracking();
    gf_resetStatusLine();
    g_offlineReportLines.clear();
    MATCHING_DEPTH.resetToDefault();
    LIGHT_AIRCRAFT.resetToDefault();
    HIGH_PERF_AIRCRAFT.resetToDefault();
    HELICOPTERS.resetToDefault();
    g_rng.seed(12345);
}
