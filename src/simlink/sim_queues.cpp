#include "simlink/sim_queues.h"

#include <fmt/format.h>

#include "core/clock.h"
#include "core/log.h"
#include "simlink/sim_client.h"
#include "simlink/sim_flush.h"
#include "simlink/sim_ids.h"
#include "core/status_line.h"

std::mutex g_simMutex;
SimCommandQueues g_simQueues;
SimObjectEventQueue g_simObjectEvents;

namespace {

constexpr std::size_t kQueueReserve = 256;

void lf_appendEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data) {
    g_simQueues.events.push_back(AiEventCmd{objectId, eventId, data});
}

template <typename T>
void lf_reserve(std::vector<T>& list) {
    if (list.capacity() < kQueueReserve) list.reserve(kQueueReserve);
}

void lf_emptyUnsent() {
    g_simQueues.positionsFront.clear();
    g_simQueues.events.clear();
    g_simQueues.creations.clear();
    g_simQueues.removals.clear();
}

// SimClient thread only. The library refuses a position with a value no
// aircraft can have; the flight keeps its last good position in the
// simulator. Logged at the first refusal and every thousandth after it, so a
// broken stream cannot fill Log.txt at the frame rate.
std::uint64_t g_refusedPositions = 0;
constexpr std::uint64_t kRefusalLogEvery = 1000;

void lf_sendPositions(SimConnectHandle handle, std::uint32_t userObjectId) {
    for (const AiPositionCmd& p : g_simQueues.positionsFront) {
        // The user aircraft (and anything at or below its id) is the user's to fly.
        if (p.objectId <= userObjectId) continue;
        const double values[8] = {p.lat_deg,     p.lon_deg, p.pitch_rad,         p.bank_rad,
                                  p.heading_rad, p.alt_ft,  p.verticalSpeed_fps, p.trueAirspeed_kt};
        const SimConnectResult result =
            SimConnect_SetDataOnSimObject(handle, SimDefAiPosition, p.objectId, 0, 0, kAiPositionSize, values);
        if (result == SIMCONNECT_E_INVALIDARG && g_refusedPositions++ % kRefusalLogEvery == 0) {
            gf_logHighlight(fmt::format("SimConnect refused a position no aircraft can have (object {}, {} refused so "
                                        "far): lat {} lon {} alt {} ft, bank {}, vs {} ft/s, tas {} kt",
                                        p.objectId, g_refusedPositions, p.lat_deg, p.lon_deg, p.alt_ft, p.bank_rad,
                                        p.verticalSpeed_fps, p.trueAirspeed_kt));
        }
    }
    g_simQueues.positionsFront.clear();
}

void lf_sendClientEvents(SimConnectHandle handle) {
    for (const AiEventCmd& e : g_simQueues.events) {
        // Flaps only move on an object out of AI control; the release after
        // the transmit keeps the simulator from taking it back.
        const bool flaps = e.eventId == SimEventFlapsSet;
        if (flaps) SimConnect_AIReleaseControl(handle, e.objectId, SimReqReleaseControl);
        const SimConnectResult result =
            SimConnect_TransmitClientEvent(handle, e.objectId, e.eventId, e.data, SimGroupAiEvents, 0);
        if (gf_simConnectFailed(result)) {
            gf_setStatusLine(fmt::format("SimConnect TransmitClientEvent: {} fails", e.eventId), true);
            continue;
        }
        if (flaps) SimConnect_AIReleaseControl(handle, e.objectId, SimReqReleaseControl);
    }
    g_simQueues.events.clear();
}

}  // namespace

void gf_queueAiCreation(const AiCreateRequest& request) {
    std::lock_guard lock(g_simMutex);
    g_simQueues.creations.push_back(request);
}

void gf_queueAiEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data) {
    std::lock_guard lock(g_simMutex);
    lf_appendEvent(objectId, eventId, data);
}

void gf_queueAiRemoval(std::uint32_t objectId) {
    std::lock_guard lock(g_simMutex);
    g_simQueues.removals.push_back(objectId);
}

void gf_engineAutoShutdown(std::uint32_t objectId) { gf_queueAiEvent(objectId, SimEventEngineAutoShutdown, 0); }

void gf_engineAutoStart(std::uint32_t objectId) { gf_queueAiEvent(objectId, SimEventEngineAutoStart, 0); }

void gf_setLights(std::uint32_t objectId, std::uint32_t nav, std::uint32_t beacon, std::uint32_t landing,
                  std::uint32_t taxi, std::uint32_t strobes, std::uint32_t logo, std::uint32_t cabin) {
    std::lock_guard lock(g_simMutex);
    lf_appendEvent(objectId, SimEventNavLightsSet, nav);
    lf_appendEvent(objectId, SimEventBeaconLightsSet, beacon);
    lf_appendEvent(objectId, SimEventLandingLightsSet, landing);
    lf_appendEvent(objectId, SimEventTaxiLightsSet, taxi);
    lf_appendEvent(objectId, SimEventStrobesSet, strobes);
    lf_appendEvent(objectId, SimEventLogoLightsSet, logo);
    lf_appendEvent(objectId, SimEventCabinLightsSet, cabin);
}

void gf_setNavLights(std::uint32_t objectId, std::uint32_t value) {
    gf_queueAiEvent(objectId, SimEventNavLightsSet, value);
}

void gf_setCabinLights(std::uint32_t objectId, std::uint32_t value) {
    gf_queueAiEvent(objectId, SimEventCabinLightsSet, value);
}

void gf_pushSimObjectEvent(const SimObjectEvent& event) {
    std::lock_guard lock(g_simObjectEvents.mutex);
    g_simObjectEvents.events.push_back(event);
}

void gf_drainSimObjectEvents(const std::function<void(const SimObjectEvent&)>& handle) {
    std::lock_guard lock(g_simObjectEvents.mutex);
    // Each event leaves the queue before it is handled: when a handler throws
    // (too many failed liveries), the events handled so far are not handed
    // over a second time by the next drain, and the ones after it are kept.
    while (!g_simObjectEvents.events.empty()) {
        const SimObjectEvent event = g_simObjectEvents.events.front();
        g_simObjectEvents.events.pop_front();
        handle(event);
    }
}

void gf_resetSimQueues(int p3dVersion) {
    g_expectedSimVersion.store(p3dVersion);
    {
        std::lock_guard lock(g_simMutex);
        lf_reserve(g_simQueues.positionsFront);
        lf_reserve(g_simQueues.positionsBack);
        lf_reserve(g_simQueues.creations);
        lf_reserve(g_simQueues.removals);
        lf_reserve(g_simQueues.pendingCreations);
        lf_reserve(g_simQueues.newObjects);
    }
    g_requestError.store(false);
}

void gf_clearAiPositionBuffers() {
    std::lock_guard lock(g_simMutex);
    g_simQueues.positionsFront.clear();
    g_simQueues.positionsBack.clear();
}

void gf_clearSimCommandQueues() {
    std::lock_guard lock(g_simMutex);
    g_simQueues.positionsFront.clear();
    g_simQueues.positionsBack.clear();
    g_simQueues.events.clear();
    g_simQueues.creations.clear();
    g_simQueues.removals.clear();
    g_simQueues.pendingCreations.clear();
    g_simQueues.newObjects.clear();
}

// ---- SimClient thread: the frame flush ----

void lf_releaseAndFreezeAiObject(std::uint32_t objectId) {
    SimConnect_AIReleaseControl(g_simHandle.load(), objectId, SimReqReleaseControl);
    std::lock_guard lock(g_simMutex);
    lf_appendEvent(objectId, SimEventFreezeLatitudeLongitudeSet, 1);
    lf_appendEvent(objectId, SimEventFreezeAltitudeSet, 1);
    lf_appendEvent(objectId, SimEventFreezeAttitudeSet, 1);
}

// False when the library refused the request's texts as too long: the
// caller reports that creation as failed to the Traffic engine.
bool lf_createAiAircraftInSim(SimConnectHandle handle, const AiCreateRequest& request) {
    const SimConnectResult result = SimConnect_AICreateNonATCAircraft(
        handle, request.liveryTitle.c_str(), request.callsign.c_str(), request.position, SimReqCreateAi);
    if (gf_simConnectFailed(result)) {
        gf_logHighlight(fmt::format("! Simcon call to create ac in sim failed, hexid:{}, liv: '{}', callsign: {})",
                                    request.hexid, request.liveryTitle, request.callsign));
        // A callsign too long for the tail number, a title too long for its
        // field or a position no aircraft can have is this aircraft's fault,
        // not the connection's: the same flight would come back after a
        // restart and end the run again.
        if (result != SIMCONNECT_E_TEXT_TOO_LONG && result != SIMCONNECT_E_INVALIDARG) {
            gf_simRequestError();
            return true;
        }
        return false;
    }
    std::uint32_t sendId = 0;
    if (gf_simConnectFailed(SimConnect_GetLastSentPacketID(handle, &sendId))) {
        gf_logHighlight("GetLastSentPacketID");
        sendId = 0;
    }
    g_simQueues.pendingCreations.push_back(PendingCreation{sendId, request.hexid, request.callsign});
    return true;
}

void lf_removeAiObjectFromSim(SimConnectHandle handle, std::uint32_t objectId) {
    if (objectId > g_userObjectId.load()) {
        if (gf_simConnectFailed(SimConnect_AIRemoveObject(handle, objectId, SimReqRemoveAi))) {
            gf_logHighlight(fmt::format("{} !SimConnect call to remove AI ac from sim failed, id {}?",
                                        gf_clockText(), objectId));
            gf_simRequestError();
        }
        return;
    }
    gf_logHighlight(fmt::format("SimConnect call to remove ac with objectid {}", objectId));
}

bool lf_flushSimCommandQueues() {
    if (g_requestError.load()) {
        // Nothing more goes out in this run; what was queued is dropped so the
        // queues cannot grow while the run winds down.
        std::unique_lock lock(g_simMutex, std::try_to_lock);
        if (lock.owns_lock()) lf_emptyUnsent();
        return lock.owns_lock();
    }
    // Never wait for the worker here: the simulator's message stream must not
    // be held up. What stays queued goes out on the next frame.
    std::unique_lock lock(g_simMutex, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    const SimConnectHandle handle = g_simHandle.load();
    lf_sendPositions(handle, g_userObjectId.load());
    lf_sendClientEvents(handle);
    std::vector<std::uint32_t> refused;
    for (const AiCreateRequest& request : g_simQueues.creations) {
        if (!lf_createAiAircraftInSim(handle, request)) refused.push_back(request.hexid);
    }
    g_simQueues.creations.clear();
    for (std::uint32_t objectId : g_simQueues.removals) lf_removeAiObjectFromSim(handle, objectId);
    g_simQueues.removals.clear();
    lock.unlock();
    // A refused creation would otherwise wait for an object that never
    // comes: the engine hears of it as a failed creation, like a refusal by
    // the simulator. Pushed after the unlock: the event queue's mutex is
    // never taken while g_simMutex is held.
    for (std::uint32_t hexid : refused) {
        SimObjectEvent event;
        event.aux = hexid;
        event.kind = SimObjectEventKind::creationFailed;
        gf_pushSimObjectEvent(event);
    }
    return true;
}
