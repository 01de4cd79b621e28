#include "app/wiring/traffic_services.h"

#include "app/wiring/engine_lock.h"
#include "airports/park_airports.h"
#include "catalogue/catalogue.h"
#include "core/settings.h"
#include "simlink/sim_queues.h"
#include "traffic/ai_commands.h"
#include "traffic/engine_support.h"
#include "traffic/intake.h"
#include "traffic/object_events.h"
#include "traffic/removal_rules.h"
#include "traffic/traffic_cycle.h"
#include "traffic/parking_position.h"
#include "traffic/stand_choice.h"
#include "traffic/traffic_state.h"
#include "core/ui_sink.h"
#include "ui/window_state.h"

#include <algorithm>

void gf_engineTakeTrafficBatch(std::vector<FlightRecord>& batch, int delay_s) { gf_takeTrafficBatch(batch, delay_s); }

void gf_enginePushBlockedEvent(std::uint32_t hexid) {
    SimObjectEvent event;
    event.aux = hexid;
    event.kind = SimObjectEventKind::blocked;
    gf_pushSimObjectEvent(event);
}

void gf_enginePublishQnh(int qnh_hpa) { g_engineQnh = qnh_hpa; }

void lf_wireTraffic(RunServices& s) {
    s.reserveTrafficContainers = lf_engine([] { gf_reserveTrafficContainers(); });
    s.setTrafficHandover = [](bool open) { gf_setTrafficHandover(open); };
    s.handleAddingStack = lf_engine([] { lf_handleAddingStack(); });
    s.handleSimObjectEvents = lf_engine([] { gf_handleSimObjectEvents(); });
    s.removeStaticTwins = lf_engine([] { gf_removeStaticTwins(); });
    s.clearReservedStand = lf_engine([] { gf_clearReservedStand(); });
    s.handleNewLiveHexid = lf_engine([] { gf_handleNewLiveHexid(); });
    s.removeAllStaticAc = lf_engine([] { gf_removeAllStaticAc(); });
    // The engine gives the callsigns; the window's list shows them.
    s.fillLiveAcCombo = lf_engine([] {
        gf_fillLiveAcCombo();
        std::vector<std::string> list = gf_liveAcComboList();
        g_mainWindowState.changeTexts([&](WindowTexts& t) { t.callsigns = std::move(list); });
    });
    s.avoidLiveParkedCollisions = lf_engine([] { gf_avoidLiveParkedCollisions(); });
    s.removeBlockedCallsign = lf_engine([](const std::string& callsign) { gf_removeBlockedCallsign(callsign); });
    s.clearGhostCallsigns = lf_engine([] { g_removedGhosts.clear(); });
    s.resetTraffic = lf_engine([] { gf_resetTraffic(); });

    // The window's requests, served on the worker.
    s.setParkedNavLights = lf_engine([](bool on) {
        for (const LiveAc& ac : g_liveAc) {
            if (ac.simState == SimState::active && ac.flightState == FlightState::parked && ac.objectId != 0)
                gf_setNavLights(ac.objectId, on ? 1u : 0u);
        }
        for (const StaticAc& ac : g_staticAc) {
            if (ac.simState == SimState::active && ac.objectId != 0) gf_setNavLights(ac.objectId, on ? 1u : 0u);
        }
    });
    s.removeSurplusLiveAc = lf_engine([](int max) {
        auto active = std::count_if(g_liveAc.begin(), g_liveAc.end(),
                                    [](const LiveAc& ac) { return ac.simState == SimState::active; });
        // One farthest aircraft per call; each call marks one for removal.
        for (; active > max; --active) {
            if (gf_removeFarthestLiveAc(-1.0)) break;
        }
    });
    s.removeAllLiveAc = lf_engine([] {
        for (LiveAc& ac : g_liveAc) removeAircraftFromSim(ac);
    });
    s.countParkedLiveAc = lf_engine([](bool storeFit) {
        const std::int32_t count = gf_countParkedLiveAc(storeFit);
        if (storeFit) g_mainWindowState.liveAverageFit = gf_parkedLiveMeanHalfHours() / 2.0f;
        return static_cast<int>(count);
    });
    s.countFlyingLiveAc = lf_engine([] {
        return static_cast<int>(std::count_if(g_liveAc.begin(), g_liveAc.end(), [](const LiveAc& ac) {
            return ac.simState == SimState::active && ac.flightState != FlightState::parked;
        }));
    });
    s.showStaticParkStats = lf_engine([](bool storeFit) {
        const std::int32_t count = gf_showStaticParkStats(storeFit);
        if (storeFit) g_mainWindowState.staticAverageFit = gf_staticParkedMeanHours();
        return static_cast<int>(count);
    });
    s.waitingParkingPositions = lf_engine([] { return static_cast<int>(g_parkingPositions.size()); });
    // Cleared and built again by the next processing of the scanned
    // liveries, which runs once per process unless the catalogue is stale.
    s.clearLiveryCatalogue = [] { gf_markLiveryCatalogueStale(); };
    s.addDestinationAirport = [](const std::string& code, RunPosition p) {
        gf_addDestinationAirport(code, LatLon{p.lat, p.lon});
    };
    s.firstParkAirport = [] {
        std::optional<RunPosition> first;
        gf_withParkAirports([&](std::list<ParkAirport>& list) {
            if (!list.empty()) first = RunPosition{list.front().latitude, list.front().longitude};
        });
        return first;
    };
}
