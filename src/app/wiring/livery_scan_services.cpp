#include "app/wiring/livery_scan_services.h"

#include "app/run_services.h"
#include "catalogue/livery_scan.h"

void lf_wireLiveryScan(RunServices& services) {
    services.scanLiveries = [] { gf_scanLiveries(); };
}
