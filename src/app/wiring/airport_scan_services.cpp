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
#include <memory>
#include <string>
#include <vector>

namespace {

// The Dbase's publishers and archive lists: the scan runs after the Dbase was
// read and nothing changes it while task threads ask.
class RealAirportScanLookups final : public AirportScanLookups {
public:
    bool isKnownAirport(const std::string& code) override { return gf_isKnownAirport(code); }
    std::string publisherOfPath(const std::string& pathUtf8) override {
        const auto publisher = gf_publisherOfPath(std::filesystem::path(reinterpret_cast<const char8_t*>(pathUtf8.c_str())));
        return publisher.value_or(std::string());
    }
    bool hasSimAddonKey(const std::string& key) override { return g_dbase.simAddonAirports.count(key) > 0; }
    std::vector<std::string> thirdPartyEntries(const std::string& publisher) override {
        std::vector<std::string> entries;
        for (const ThirdPartyAirports& list : g_dbase.thirdPartyAirports) {
            if (list.publisher == publisher) entries.insert(entries.end(), list.airports.begin(), list.airports.end());
        }
        return entries;
    }
};

class RealAirportScanWindow final : public AirportScanWindow {
public:
    void openManual() override { gf_openContainingFolder(gf_workPaths().docs / "Manual.pdf"); }
    void openParametersFolder() override { gf_openContainingFolder(gf_parametersPath()); }
    // tblo.zip is there to be opened; the tblo reminder stands in the
    // controls band.
    void tbloCollected() override {
        gf_uiSink().enableControl(kIdTblo, true);
        gf_uiSink().invalidateBand(UiBand::controls);
    }
};
RealAirportScanWindow g_airportScanWindow;

}  // namespace

void lf_scanAddonAirports() {
    static const auto lookups = std::make_shared<RealAirportScanLookups>();
    gf_scanAddonAirports(lookups, g_airportScanWindow);
}
