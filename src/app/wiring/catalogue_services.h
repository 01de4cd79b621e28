// The aircraft catalogue wired into the run: the Dbase read at start-up, the
// livery catalogue, the match reports, and the catalogue answers the
// simulator link needs.
#pragma once

#include "app/run_ports.h"

// Installs the catalogue's answers to the simulator link.
void lf_wireCatalogue();

class RealRunCatalogue final : public RunCatalogue {
public:
    bool readDbase() override;
    void scanLiveries() override;
    void processScannedLiveries() override;
    void reserveLiveryCatalogue() override;
    void clearLiveryCatalogue() override;
    void logLiveryMatchingSummary() override;
    void logUnmatchedFlights() override;
    void clearUnmatchedFlights() override;
};
