#include "traffic/object_events.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "airports/park_airport_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "simlink/creation_tracking.h"
#include "simconnect/api.h"
#include "simlink/flight_plan.h"
#include "simlink/sim_ids.h"
#include "simlink/sim_queues.h"
#include "traffic/ai_commands.h"
#include "traffic/engine_support.h"
#include "traffic/traffic_link.h"
#include "traffic/traffic_state.h"

namespace {

constexpr std::uint32_t kFirstAiObjectId = 3;
constexpr std::int32_t kFirstLightToggle = 50;
constexpr std::int32_t kSecondLightToggle = 100;
constexpr double kLowLights_ft = 10000.0;
constexpr double kCabinAbove_ft = 2000.0;
constexpr double kMinCg_ft = 1.0;
constexpr double kMaxCg_ft = 35.0;
constexpr double kMinRestPitch_rad = -1.0 * kDegToRad;
constexpr double kMaxRestPitch_rad = 2.5 * kDegToRad;
constexpr double kDefaultRestPitch_rad = 0.012217305;
// Client event data of definition 401: spoilers handle and both throttle
// levers at 100 %.
constexpr double kFullHandle = 100.0;

void lf_onLiveCreated(const SimObjectEvent& e) {
    LiveAc* ac = gf_findLiveAc(e.aux);
    if (!ac || e.objectId < kFirstAiObjectId) return;
    ac->objectId = e.objectId;
    ac->heightAboveGround = e.value2;
    if (!ac->stream.empty() && !ac->stream.front().airborne) lf_parks(*ac);
    lf_createFlightPlan(*ac);
    if (!gf_trafficLink().requestStaticCg(e.objectId)) {
        gf_logHighlight("SimConnect request StaticCG fails");
        gf_trafficLink().requestError();
    }
    g_newObjects.push_back(NewObjectEntry{e.objectId, e.aux, e.kind, 0});
}

void lf_touchdown(LiveAc& ac) {
    ac.motion.touchdownReached = true;
    g_flareActive = false;
    ac.motion.groundHeading_rad = ac.pos.heading;
    gf_setSpoilers(ac, true);
    if (ac.category != AcCategory::Light) {
        const double handles[3] = {kFullHandle, kFullHandle, kFullHandle};
        std::lock_guard lock(g_simMutex);
        if (!g_requestError.load())
            SimConnect_SetDataOnSimObject(g_simHandle.load(), SimDefSpoilersThrottles, ac.objectId, 0, 0,
                                          sizeof(handles), handles);
    }
    const double ticks = ac.onGroundTicks;
    if (ticks <= 0.0) {
        gf_logLine(fmt::format("{} ! onGround slots {:.1f}", ac.callsign, ticks));
        ac.motion.bankRate_rad = 0.0;
        ac.motion.pitchRate_rad = 0.0;
        ac.pos.pitch = ac.restPitch;
    } else {
        ac.motion.bankRate_rad = -ac.pos.bank / ticks;
        ac.motion.pitchRate_rad = (ac.restPitch - ac.pos.pitch) / ticks;
    }
    g_duplicateCheckQueue.push_back(ac.hexid);
}

void lf_onGroundData(const SimObjectEvent& e) {
    LiveAc* ac = gf_findLiveAcByObjectId(e.objectId);
    if (!ac) return;
    if (e.aux == 1 && !ac->groundMode && ac->motion.groundCounter <= 1 && ac->simState != SimState::removingfromsim &&
        ac->flightState != FlightState::take_off) {
        if (ac->motion.touchdownUnderWay) lf_touchdown(*ac);
        ac->groundMode = 1;
        ac->motion.verticalSpeed_ftPerTick = 0.0;
        ac->motion.groundCounter = 1;
    }
    ac->heightAboveGround = e.value2;
    ac->motion.more.simGround_ft = e.value1;
    ac->motion.more.simGroundKnown = true;
    if (ac->groundMode || ac->motion.groundCounter >= 2) ac->pos.alt = e.value1 + ac->cgHeight;
}

void lf_onStaticCg(const SimObjectEvent& e) {
    LiveAc* ac = gf_findLiveAcByObjectId(e.objectId);
    if (!ac) return;
    if (e.value1 >= kMinCg_ft && e.value1 <= kMaxCg_ft) ac->cgHeight = e.value1;
    ac->restPitch =
        (e.value2 <= kMinRestPitch_rad || e.value2 > kMaxRestPitch_rad) ? kDefaultRestPitch_rad : e.value2;
}

void lf_onCreationFailed(std::uint32_t hexid) {
    if (gf_isLiveHexid(hexid)) {
        const LiveAc* found = gf_findLiveAc(hexid);
        if (!found) return;
        const LiveAc ac = *found;
        gf_clearStandOccupant(ac.standId, found);
        lf_eraseLiveAc(static_cast<std::size_t>(found - g_liveAc.data()));
        gf_liveryCreationFailed(ac.callsign, ac.liveryTitle, ac.type, ac.airline);
        return;
    }
    auto it = std::find_if(g_staticAc.begin(), g_staticAc.end(), [&](const StaticAc& a) { return a.hexid == hexid; });
    if (it == g_staticAc.end()) return;
    const StaticAc ac = *it;
    *it = std::move(g_staticAc.back());
    g_staticAc.pop_back();
    gf_liveryCreationFailed(ac.callsign, ac.liveryTitle, ac.type, ac.airline);
}

void lf_handleEvent(const SimObjectEvent& e) {
    switch (e.kind) {
    case SimObjectEventKind::liveCreated: lf_onLiveCreated(e); break;
    case SimObjectEventKind::staticCreated:
        // Stored at once: a removal within the activation ticks needs the
        // object id, without it the static would stay in the simulator.
        if (StaticAc* s = gf_findStaticAc(e.aux); s && e.objectId >= kFirstAiObjectId) s->objectId = e.objectId;
        g_newObjects.push_back(NewObjectEntry{e.objectId, e.aux, e.kind, 0});
        break;
    case SimObjectEventKind::removed: lf_onObjectRemoved(e.objectId); break;
    case SimObjectEventKind::groundData: lf_onGroundData(e); break;
    case SimObjectEventKind::staticCg: lf_onStaticCg(e); break;
    case SimObjectEventKind::blocked: lf_removeBlocked(e.aux); break;
    case SimObjectEventKind::creationFailed: lf_onCreationFailed(e.aux); break;
    default: break;
    }
}

void lf_lightsToggle(std::uint32_t objectId) { gf_queueAiEvent(objectId, SimEventAllLightsToggle, 0); }

std::uint32_t lf_flag(bool on) { return on ? 1u : 0u; }

void lf_bringToLife(LiveAc& ac) {
    const std::uint32_t id = ac.objectId;
    const StreamPoint* front = ac.stream.empty() ? nullptr : &ac.stream.front();
    if (front && front->airborne) {
        const bool low = ac.pos.alt <= kLowLights_ft;
        gf_engineAutoStart(id);
        gf_setSpoilers(ac, false);
        gf_setLights(id, 1, 1, lf_flag(low), 0, 1, lf_flag(low), lf_flag(ac.heightAboveGround >= kCabinAbove_ft));
    } else {
        const bool parked = ac.flightState == FlightState::parked;
        const bool taxi = ac.flightState == FlightState::taxi;
        gf_setSpoilers(ac, false);
        std::uint32_t nav = 1;
        if (parked) {
            gf_engineAutoShutdown(id);
            nav = lf_flag(NAV_LIGHTS_WHILE_PARKED.value());
        } else {
            gf_engineAutoStart(id);
        }
        gf_setLights(id, nav, lf_flag(!parked), 0, lf_flag(taxi), 0, 1, 1);
        gf_setThrottle(ac, ac.category == AcCategory::Rotorcraft ? 4 : 0);
        gf_setFlaps(ac, taxi ? 1 : 0);
    }
    ac.simState = SimState::active;
    if (ac.removeWhenCreated) {
        ac.removeWhenCreated = 0;
        removeAircraftFromSim(ac);
    }
}

// True when the entry is done.
bool lf_activateLive(NewObjectEntry& entry) {
    if (entry.counter < kActivationTicks) {
        ++entry.counter;
        if (entry.counter == kFirstLightToggle || entry.counter == kSecondLightToggle) lf_lightsToggle(entry.objectId);
    }
    if (entry.counter < kActivationTicks) return false;
    // An aircraft erased meanwhile (its object removed, its creation failed)
    // never comes back under this object: the entry ends instead of being
    // walked on every pass for the rest of the run.
    LiveAc* ac = gf_findLiveAc(entry.hexid);
    if (!ac || ac->objectId != entry.objectId) return true;
    // Removed meanwhile: it stays on its way out of the simulator.
    if (ac->simState == SimState::removingfromsim) return true;
    lf_bringToLife(*ac);
    return true;
}

bool lf_activateStatic(NewObjectEntry& entry) {
    if (entry.counter < kActivationTicks) ++entry.counter;
    if (entry.counter < kActivationTicks) return false;
    StaticAc* ac = gf_findStaticAc(entry.hexid);
    if (!ac || (ac->objectId != 0 && ac->objectId != entry.objectId) || ac->simState == SimState::removingfromsim)
        return true;
    ac->simState = SimState::active;
    ac->objectId = entry.objectId;
    gf_parkedConfiguration(*ac);
    gf_logLine(fmt::format("{:8}: {:8} parked", gf_standNameOf(ac->standId), ac->callsign));
    if (ac->removeWhenCreated) {
        ac->removeWhenCreated = 0;
        removeAircraftFromSim(*ac);
    }
    return true;
}

}  // namespace

void gf_handleSimObjectEvents() {
    gf_drainSimObjectEvents(lf_handleEvent);
    if (!g_newObjects.empty()) lf_activateNewObjects();
}

void lf_activateNewObjects() {
    bool anyDone = false;
    for (NewObjectEntry& entry : g_newObjects) {
        if (entry.counter < 0) continue;
        const bool done =
            entry.kind == SimObjectEventKind::liveCreated ? lf_activateLive(entry) : lf_activateStatic(entry);
        if (done) {
            entry.counter = -1;
            anyDone = true;
        }
    }
    if (anyDone) std::erase_if(g_newObjects, [](const NewObjectEntry& e) { return e.counter < 0; });
}

void lf_parks(LiveAc& ac) {
    ac.groundMode = 1;
    ac.motion.verticalSpeed_ftPerTick = 0.0;
    if (ac.flightState != FlightState::parked) {
        ac.motion.groundCounter = 1;
        return;
    }
    ac.weekSlot = gf_currentWeekSlot();
    const std::string stand = gf_standNameOf(ac.standId);
    gf_logLine(fmt::format("{:8}: {:8} parks", stand, ac.callsign));
    for (StaticAc& s : g_staticAc) {
        if (s.simState != SimState::active || s.standId != ac.standId) continue;
        gf_logLine(fmt::format("{:8}: {:8} parks over static {} \x97 static will be removed", stand, ac.callsign,
                               s.callsign));
        removeAircraftFromSim(s);
    }
    ac.motion.groundCounter = 1;
}

void lf_createFlightPlan(LiveAc& ac) {
    if (ac.origin.empty() || ac.destination.empty()) return;
    // The file is written off the pass; lf_applyWrittenFlightPlans brings it
    // to the simulator once it is whole.
    gf_queueFlightPlanWrite(ac.objectId, ac.hexid, ac.category, ac.origin, ac.destination);
}

void lf_applyWrittenFlightPlans() {
    for (const WrittenFlightPlan& w : gf_takeWrittenFlightPlans()) {
        // An object removed meanwhile has had its plan removed after it (and
        // its id may already be another aircraft's).
        LiveAc* ac = gf_findLiveAcByObjectId(w.objectId);
        if (!ac || ac->hexid != w.owner || ac->simState == SimState::removingfromsim) continue;
        const bool ok = w.ok && gf_trafficLink().setFlightPlan(w.objectId, w.path);
        ac->hasFlightPlan = lf_flag(ok);
        if (!ok) gf_logHighlight(fmt::format("{} creating a flight plan failed", gf_acDescriptionLong(*ac)));
    }
}

void lf_onObjectRemoved(std::uint32_t objectId) {
    // An object gone before its activation ends is never brought to life.
    std::erase_if(g_newObjects, [&](const NewObjectEntry& n) { return n.objectId == objectId; });
    if (LiveAc* live = gf_findLiveAcByObjectId(objectId)) {
        if (live->simState == SimState::liveryrespawn) {
            live->simState = SimState::buffer;
            live->objectId = 0;
            live->lastThrottle = 5;
            live->lastFlaps = 4;
            live->motion.more.gearSent = -1;  // the new object's gear is told again
            return;
        }
        // Also a plan whose write is still on its way: the removal follows it.
        if (!live->origin.empty() && !live->destination.empty()) gf_queueFlightPlanRemoval(objectId);
        lf_eraseLiveAc(static_cast<std::size_t>(live - g_liveAc.data()));
        return;
    }
    auto st = std::find_if(g_staticAc.begin(), g_staticAc.end(), [&](const StaticAc& a) { return a.objectId == objectId; });
    if (st != g_staticAc.end()) g_staticAc.erase(st);
}

void lf_removeBlocked(std::uint32_t hexid) {
    LiveAc* ac = gf_findLiveAc(hexid);
    if (!ac) return;
    if (ac->simState == SimState::buffer) {
        ac->removeFromBuffer = 1;
        gf_logLine(fmt::format("{} will be removed from buffer while blocked", gf_acDescription(*ac)));
    } else if (ac->simState == SimState::active) {
        gf_logLine(fmt::format("{} removed from simulator immediately while blocked", gf_acDescription(*ac)));
        removeAircraftFromSim(*ac);
    }
}
