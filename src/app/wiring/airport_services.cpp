// The airports and stands wired into the run. The traffic engine's static
// parking chooses the park airport and reads its stand file
// (static_traffic_services.cpp).
#include "app/wiring/airport_services.h"

#include "airports/airport_database.h"
#include "airports/airport_hooks.h"
#include "airports/airport_scan.h"
#include "airports/learned_writer.h"
#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/stand_file.h"
#include "app/window_services.h"
#include "catalogue/dbase.h"
#include "catalogue/dbase_queries.h"
#include "core/log.h"
#include "simlink/sim_client.h"
#include "simlink/sim_neighbours.h"
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

// The stand side of the simulator link's neighbours; the catalogue side and
// the simulator version go to the neighbours installed before.
class AirportNeighbours final : public SimLinkNeighbours {
public:
    void forwardTo(SimLinkNeighbours* next) { m_next = next; }

    double halfWingspanNm(std::string_view type) override { return m_next->halfWingspanNm(type); }
    double maxHalfWingspanNm() override { return m_next->maxHalfWingspanNm(); }
    AcCategory acCategory(std::string_view type) override { return m_next->acCategory(type); }
    std::string categoryName(AcCategory category) override { return m_next->categoryName(category); }
    std::string simVersionText() override { return m_next->simVersionText(); }

    // The link asks only for the user aircraft's position.
    std::string standNameAt(LatLon position) override {
        std::string name = gf_standNameAt(position, lf_userOnGround());
        g_userStandSeen.set(name);
        return name;
    }

    void reserveUserStand(const std::string& standName) override {
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

private:
    SimLinkNeighbours* m_next = nullptr;
};
AirportNeighbours g_airportNeighbours;

void lf_installNeighbours() {
    SimLinkNeighbours* before = &gf_simLinkNeighbours();
    if (before == &g_airportNeighbours) return;
    g_airportNeighbours.forwardTo(before);
    gf_setSimLinkNeighbours(&g_airportNeighbours);
}

void lf_installHooks() {
    AirportHooks hooks;
    hooks.userStateKnown = [] { return g_userOnGround.known.load(); };
    hooks.userPosition = lf_userLatLon;
    hooks.userOnGround = lf_userOnGround;
    hooks.userStand = [] { return g_userStandSeen.get(); };
    // The stand file belongs to the worker, which is where the airport side
    // asks for a repaint: the week is copied for the window there.
    hooks.repaint = [] {
        g_mainWindowState.week = g_parkAirportFile.RT_traffic_week;
        gf_repaintAll();
    };
    // A learned stand file brings its own airport settings: the window's
    // controls follow them as they follow a click.
    hooks.applyAutoRange = [] { gf_applyAutoRange(); };
    hooks.applyParkTrafficOnly = [] { gf_applyParkTrafficOnly(); };
    hooks.updateNowButton = [] { gf_updateNowButton(); };
    gf_setAirportHooks(std::move(hooks));
}

}  // namespace

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
    lf_installNeighbours();
    lf_installHooks();
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

void RealRunAirports::scanAddonAirports() { gf_scanAddonAirports(); }

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
