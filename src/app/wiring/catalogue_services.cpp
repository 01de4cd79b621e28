#include "app/wiring/catalogue_services.h"

#include "app/wiring/sim_neighbours_real.h"
#include "catalogue/catalogue.h"
#include "catalogue/dbase.h"
#include "catalogue/match_report.h"

void lf_wireCatalogue(RunServices& s) {
    gf_setSimLinkNeighbours(&gf_realSimNeighbours());
    s.readDbase = [] { return gf_readDbase(); };
    s.processScannedLiveries = [] { gf_processScannedLiveries(); };
    s.reserveLiveryCatalogue = [] { gf_reserveLiveryCatalogue(); };
    s.logLiveryMatchingSummary = [] { gf_logLiveryMatchingSummary(); };
    s.logUnmatchedFlights = [] { gf_logUnmatchedFlights(); };
    s.clearUnmatchedFlights = [] { gf_clearUnmatchedFlights(); };
}
