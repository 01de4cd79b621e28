#include "app/wiring/traffic_services.h"

#include "app/wiring/engine_lock.h"
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

void RealRunEngine::reserveTrafficContainers() {
    const EngineLock lock;
    gf_reserveTrafficContainers();
}

void RealRunEngine::setTrafficHandover(bool open) { gf_setTrafficHandover(open); }

void RealRunEngine::handleAddingStack() {
    const EngineLock lock;
    lf_handleAddingStack();
}

void RealRunEngine::handleSimObjectEvents() {
    const EngineLock lock;
    gf_handleSimObjectEvents();
}

void RealRunEngine::handleNewLiveHexid() {
    const EngineLock lock;
    gf_handleNewLiveHexid();
}

// The engine gives the callsigns; the window's list shows them.
void RealRunEngine::fillLiveAcCombo() {
    const EngineLock lock;
    gf_fillLiveAcCombo();
    std::vector<std::string> list = gf_liveAcComboList();
    g_mainWindowState.changeTexts([&](WindowTexts& t) { t.callsigns = std::move(list); });
}

void RealRunEngine::avoidLiveParkedCollisions() {
    const EngineLock lock;
    gf_avoidLiveParkedCollisions();
}

void RealRunEngine::removeBlockedCallsign(const std::string& callsign) {
    const EngineLock lock;
    gf_removeBlockedCallsign(callsign);
}

void RealRunEngine::clearGhostCallsigns() {
    const EngineLock lock;
    g_removedGhosts.clear();
}

void RealRunEngine::resetTraffic() {
    const EngineLock lock;
    gf_resetTraffic();
}

void RealRunEngine::setParkedNavLights(bool on) {
    const EngineLock lock;
    for (const LiveAc& ac : g_liveAc) {
        if (ac.simState == SimState::active && ac.flightState == FlightState::parked && ac.objectId != 0)
            gf_setNavLights(ac.objectId, on ? 1u : 0u);
    }
    for (const StaticAc& ac : g_staticAc) {
        if (ac.simState == SimState::active && ac.objectId != 0) gf_setNavLights(ac.objectId, on ? 1u : 0u);
    }
}

void RealRunEngine::removeSurplusLiveAc(int max) {
    const EngineLock lock;
    auto active = std::count_if(g_liveAc.begin(), g_liveAc.end(),
                                [](const LiveAc& ac) { return ac.simState == SimState::active; });
    // One farthest aircraft per call; each call marks one for removal.
    for (; active > max; --active) {
        if (gf_removeFarthestLiveAc(-1.0)) break;
    }
}

void RealRunEngine::removeAllLiveAc() {
    const EngineLock lock;
    for (LiveAc& ac : g_liveAc) removeAircraftFromSim(ac);
}

int RealRunEngine::countParkedLiveAc(bool storeFit) {
    const EngineLock lock;
    const std::int32_t count = gf_countParkedLiveAc(storeFit);
    if (storeFit) g_mainWindowState.liveAverageFit = gf_parkedLiveMeanHalfHours() / 2.0f;
    return static_cast<int>(count);
}

int RealRunEngine::countFlyingLiveAc() {
    const EngineLock lock;
    return static_cast<int>(std::count_if(g_liveAc.begin(), g_liveAc.end(), [](const LiveAc& ac) {
        return ac.simState == SimState::active && ac.flightState != FlightState::parked;
    }));
}
