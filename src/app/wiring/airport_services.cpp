// The airports and stands wired into the run. The traffic engine that will
// own the park airport is not built yet; until it is, this file makes the
// airport the user stands at current once the user aircraft is known on the
// ground (the engine's airport-in-sight search without the sky part), reads
// its stand file, and leaves it at the closing down with the learned file
// saved and the settings restored.
#include "app/wiring/airport_services.h"

#include "airports/airport_database.h"
#include "airports/airport_hooks.h"
#include "airports/learned_writer.h"
#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "core/log.h"
#include "simlink/sim_client.h"
#include "simlink/sim_neighbours.h"
#include "simlink/sim_state.h"
#include "ui/ui_sink.h"

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
    gf_setAirportHooks(std::move(hooks));
}

// Until the traffic engine chooses park airports: the airport the user
// stands at becomes current and its stand file is read, once.
void lf_parkAtUsersAirport() {
    if (g_currentAirport.get() || !g_userOnGround.known.load() || !lf_userOnGround()) return;
    const auto airport = gf_findClosestAirport(lf_userLatLon());
    if (!airport || !gf_logParkAirport(airport->code)) return;
    const std::string error = lf_readParkedFile();
    if (!error.empty()) gf_logLine(error);
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

void lf_wireAirports(RunServices& s) {
    lf_installNeighbours();
    lf_installHooks();
    s.readAirports = [] { return gf_readAirports(); };
    s.readMyParkAirports = [] { return lf_readMyParkAirports(); };
    s.findAirport = [](const std::string& code) -> std::optional<RunPosition> {
        const auto airport = gf_findAirport(code);
        if (!airport) return std::nullopt;
        return RunPosition{airport->latitude, airport->longitude};
    };
    s.checkParkAirports = [](bool check, std::string& message) { return gf_checkParkAirports(check, message); };
    s.showHandmadeCounters = [](std::size_t orbx, std::size_t thirdparty) {
        gf_changeAirportDisplay([&](AirportDisplay& d) {
            d.orbxFileCount = orbx;
            d.thirdpartyFileCount = thirdparty;
        });
        gf_uiSink().invalidateBand(UiBand::all);
    };

    // The park airport's side of the traffic engine's services.
    s.staticParking = [](bool) { lf_parkAtUsersAirport(); };
    s.parkAirportInUse = [] { return g_currentAirport.get().has_value(); };
    s.standListEmpty = [] { return g_standList.empty(); };
    s.standsLoaded = [] { return g_standsLoaded.load(); };
    s.reservedStand = [] { return g_reservedStand.get(); };
    s.clearAirportTraffic = [] { gf_leaveParkAirport(); };
}
