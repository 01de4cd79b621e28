#include "app/wiring/airport_scan_services.h"

#include "airports/airport_database.h"
#include "airports/airport_scan.h"
#include "catalogue/dbase.h"
#include "catalogue/dbase_queries.h"
#include "core/paths.h"
#include "core/shell.h"
#include "ui/control_ids.h"
#include "core/ui_sink.h"

#include <filesystem>

void lf_wireAirportScan() {
    AirportScanEnv env;
    env.isKnownAirport = [](const std::string& code) { return gf_isKnownAirport(code); };
    env.openManual = [] { gf_openContainingFolder(gf_workPaths().docs / "Manual.pdf"); };
    env.openParametersFolder = [] { gf_openContainingFolder(gf_parametersPath()); };
    // tblo.zip is there to be opened; the tblo reminder stands in the
    // controls band.
    env.tbloCollected = [] {
        gf_uiSink().enableControl(kIdTblo, true);
        gf_uiSink().invalidateBand(UiBand::controls);
    };
    // The Dbase's publishers and archive lists: the scan runs after the Dbase
    // was read and nothing changes it while task threads ask.
    env.publisherOfPath = [](const std::string& pathUtf8) {
        const auto publisher = gf_publisherOfPath(std::filesystem::path(reinterpret_cast<const char8_t*>(pathUtf8.c_str())));
        return publisher.value_or(std::string());
    };
    env.hasSimAddonKey = [](const std::string& key) { return g_dbase.simAddonAirports.count(key) > 0; };
    env.thirdPartyEntries = [](const std::string& publisher) {
        std::vector<std::string> entries;
        for (const ThirdPartyAirports& list : g_dbase.thirdPartyAirports) {
            if (list.publisher == publisher) entries.insert(entries.end(), list.airports.begin(), list.airports.end());
        }
        return entries;
    };
    gf_setAirportScanEnv(std::move(env));
}
