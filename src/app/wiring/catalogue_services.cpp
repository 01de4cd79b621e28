#include "app/wiring/catalogue_services.h"

#include "app/wiring/sim_neighbours_real.h"
#include "catalogue/catalogue.h"
#include "catalogue/dbase.h"
#include "catalogue/match_report.h"

void lf_wireCatalogue() { gf_setSimLinkNeighbours(&gf_realSimNeighbours()); }

bool RealRunCatalogue::readDbase() { return gf_readDbase(); }

void RealRunCatalogue::processScannedLiveries() { gf_processScannedLiveries(); }

void RealRunCatalogue::reserveLiveryCatalogue() { gf_reserveLiveryCatalogue(); }

// Cleared and built again by the next processing of the scanned liveries,
// which runs once per process unless the catalogue is stale.
void RealRunCatalogue::clearLiveryCatalogue() { gf_markLiveryCatalogueStale(); }

void RealRunCatalogue::logLiveryMatchingSummary() { gf_logLiveryMatchingSummary(); }

void RealRunCatalogue::logUnmatchedFlights() { gf_logUnmatchedFlights(); }

void RealRunCatalogue::clearUnmatchedFlights() { gf_clearUnmatchedFlights(); }
