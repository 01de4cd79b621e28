// The airports and stands wired into the run. The traffic engine's static
// parking chooses the park airport and reads its stand file
// (static_traffic_services.cpp).
#include "app/wiring/airport_services.h"
#include "app/wiring/airport_scan_services.h"

#include "airports/airport_database.h"
#include "airports/airport_ports.h"
#include "airports/learned_writer.h"
#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/stand_file.h"
#include "app/window_services.h"
#include "catalogue/dbase.h"
#include "catalogue/dbase_queries.h"
#include "core/log.h"
#include "simlink/sim_client.h"
#include "simlink/sim_state.h"
#include "core/ui_sink.h"
#include "ui/window_state.h"

#include <fmt/format.h>

namespace {

LatLon lf_userLatLon() {
    const UserAcData data = gf_userAcData();
    return LatLon{data.lat_deg, data.lon_deg};
}

bool lf_userOnGround() { return g_userOnGround.value.load(); }

// The stand the user aircraft stands on, as the simulator link last asked
// (worker thread); the feed's threads read this copy, never the stand list.
Guarded<std::string> g_userStandSeen;

// The airport side's neighbours as the program has them: the simulator
// link's user aircraft and the main window.
class RealAirportPorts final : public AirportUserLink, public AirportWindow {
public:
    bool userStateKnown() override { return g_userOnGround.known.load(); }
    LatLon userPosition() override { return lf_userLatLon(); }
    bool userOnGround() override { return lf_userOnGround(); }
    std::string userStand() override { return g_userStandSeen.get(); }

    bool parkingControlsBusy() override { return g_mainWindowState.parkingBusy.load(); }
    // A learned stand file brings its own airport settings: the window's
    // controls follow them as they follow a click.
    void applyAutoRange() override { gf_applyAutoRange(); }
    void applyParkTrafficOnly() override { gf_applyParkTrafficOnly(); }
    void updateNowButton() override { gf_updateNowButton(); }
    // The stand file belongs to the worker, which is where the airport side
    // asks for a repaint: the week is copied for the window there.
    void repaint() override {
        g_mainWindowState.week = g_parkAirportFile.RT_traffic_week;
        gf_repaintAll();
    }
};
RealAirportPorts g_airportPorts;

}  // namespace

std::string gf_userStandNameAt(LatLon position) {
    std::string name = gf_standNameAt(position, lf_userOnGround());
    g_userStandSeen.set(name);
    return name;
}

void gf_reserveUserStand(const std::string& standName) {
    bool changed = false;
    const auto current = g_currentAirport.get();
    gf_withParkAirports([&](std::list<ParkAirport>& list) {
        if (list.empty() || !current || list.front().code != current->code) return;
        if (list.front().reservedStand == standName) return;
        list.front().reservedStand = standName;
        changed = true;
    });
    if (changed) gf_writeMyParkAirports();
}

void gf_addAirportFeedSettings(FeedSettings& settings) {
    if (const auto airport = g_currentAirport.get()) {
        settings.currentAirport = FeedAirport{true, airport->latitude, airport->longitude, airport->altitude};
    }
    settings.airportFileAlt_ft = g_airportAltitude_ft.get();
    settings.reservedStand = g_reservedStand.get();
    settings.userParkingSpot = g_userStandSeen.get();
}

std::optional<FeedAirport> gf_feedParkAirport() {
    const auto airport = g_currentAirport.get();
    if (!airport || !g_standsLoaded.load()) return std::nullopt;
    return FeedAirport{true, airport->latitude, airport->longitude, airport->altitude};
}

void lf_wireAirports() {
    gf_setAirportPorts(&g_airportPorts, &g_airportPorts);
    // Stand files leave out airline and type of a registration the Dbase
    // knows and take them from it on reading.
    gf_setStandRegistrationLookup([](std::string_view registration) -> std::optional<StandDbaseRecord> {
        if (!g_dbaseReady.load(std::memory_order_acquire)) return std::nullopt;
        const auto record = gf_lookupRegistration(registration);
        if (!record) return std::nullopt;
        return StandDbaseRecord{record->airl, record->type, record->opr};
    });
}

bool RealRunAirports::readAirports() { return gf_readAirports(); }

bool RealRunAirports::readMyParkAirports() { return lf_readMyParkAirports(); }

void RealRunAirports::scanAddonAirports() { lf_scanAddonAirports(); }

std::optional<RunPosition> RealRunAirports::findAirport(const std::string& code) {
    const auto airport = gf_findAirport(code);
    if (!airport) return std::nullopt;
    return RunPosition{airport->latitude, airport->longitude};
}

void RealRunAirports::addDestinationAirport(const std::string& code, RunPosition p) {
    gf_addDestinationAirport(code, LatLon{p.lat, p.lon});
}

std::optional<RunPosition> RealRunAirports::firstParkAirport() {
    std::optional<RunPosition> first;
    gf_withParkAirports([&](std::list<ParkAirport>& list) {
        if (!list.empty()) first = RunPosition{list.front().latitude, list.front().longitude};
    });
    return first;
}

bool RealRunAirports::checkParkAirports(bool check, std::string& message) {
    return gf_checkParkAirports(check, message);
}
