#include "catalogue/livery.h"

void gf_resetCatalogueForTests() {
    gf_resetLiveryScanTitles();
    g_liveryScanList.clear();
}
