#include "app/wiring/airport_scan_services.h"

#include "airports/airport_database.h"
#include "airports/airport_scan.h"
#include "core/paths.h"
#include "core/shell.h"
#include "ui/ui_sink.h"

void lf_wireAirportScan(RunServices& services) {
    AirportScanEnv env;
    env.isKnownAirport = [](const std::string& code) { return gf_isKnownAirport(code); };
    env.openManual = [] { gf_openContainingFolder(gf_workPaths().docs / "Manual.pdf"); };
    env.openParametersFolder = [] { gf_openContainingFolder(gf_parametersPath()); };
    // The tblo reminder stands in the controls band.
    env.tbloCollected = [] { gf_uiSink().invalidateBand(UiBand::controls); };
    // The Dbase's publishers and archive lists (publisherOfPath,
    // hasSimAddonKey, thirdPartyEntries) join once the catalogue is wired;
    // until then every decoded airport gets a generated stand file.
    gf_setAirportScanEnv(std::move(env));
    services.scanAddonAirports = [] { gf_scanAddonAirports(); };
}
