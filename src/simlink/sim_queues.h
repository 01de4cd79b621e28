// What the other threads hand to the simulator and what the simulator hands
// back.
//
// SimCommandQueues: AI positions, client events, creations and removals that
// the Traffic engine and the window queue and the SimClient thread sends on
// the next simulator frame, all under g_simMutex. SimObjectEventQueue: what
// the simulator reports about AI objects, drained by the Traffic engine each
// tick, under its own mutex.
//
// Lock order: the object-event queue's mutex first, then g_simMutex; nothing
// here takes them the other way round, and the SimClient thread never holds
// g_simMutex while it appends an object event.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "simconnect/api.h"

// Guards g_simQueues and every SimConnect call made on a thread other than the
// SimClient thread; the SimClient thread also closes the connection under it.
extern std::mutex g_simMutex;

// One AI position: the eight values of definition 402 in its order, then the
// object it is for.
struct AiPositionCmd {
    double lat_deg = 0;
    double lon_deg = 0;
    double pitch_rad = 0;
    double bank_rad = 0;
    double heading_rad = 0;
    double alt_ft = 0;
    double verticalSpeed_fps = 0;
    double trueAirspeed_kt = 0;
    std::uint32_t objectId = 0;
};

// One client event for an AI object (event id 207..223, see sim_ids.h).
struct AiEventCmd {
    std::uint32_t objectId = 0;
    std::uint32_t eventId = 0;
    std::uint32_t data = 0;
};

// One AI aircraft to create: its initial position (the 56 bytes of the
// creation packet), the callsign (sent as tail number), the livery title and
// the hexid of the aircraft record.
struct AiCreateRequest {
    SimConnectInitPosition position;
    std::string callsign;
    std::string liveryTitle;
    std::uint32_t hexid = 0;
};

// A creation sent and not yet answered: tied to the new object by its
// callsign, or to a refusal by its send id.
struct PendingCreation {
    std::uint32_t sendId = 0;
    std::uint32_t hexid = 0;
    std::string callsign;
};

struct SimCommandQueues {
    // The frame flush sends and empties the front; the Traffic engine fills the
    // back and swaps the two once per pass (under g_simMutex), so only the
    // newest positions are ever sent.
    std::vector<AiPositionCmd> positionsFront;
    std::vector<AiPositionCmd> positionsBack;
    std::vector<AiEventCmd> events;
    std::vector<AiCreateRequest> creations;
    std::vector<std::uint32_t> removals;
    // Kept by the SimClient thread (the flush appends, the handlers consume).
    std::vector<PendingCreation> pendingCreations;
    // Objects reported by ObjectAdded and not yet tied to a creation.
    std::vector<std::uint32_t> newObjects;
};

// Guarded by g_simMutex.
extern SimCommandQueues g_simQueues;

enum class SimObjectEventKind : std::uint32_t {
    liveCreated = 0,     // aux hexid; value 2 altitude above ground, feet
    staticCreated = 1,   // aux hexid
    removed = 2,
    groundData = 3,      // aux SIM ON GROUND; value 1 ground altitude, value 2 altitude above ground, feet
    staticCg = 4,        // value 1 static CG to ground, feet; value 2 static pitch, radians
    blocked = 5,         // aux hexid (queued by the live feed)
    creationFailed = 6,  // aux hexid
};

struct SimObjectEvent {
    std::uint32_t objectId = 0;
    std::uint32_t aux = 0;
    std::uint32_t counter = 0;  // always 0 when queued
    SimObjectEventKind kind = SimObjectEventKind::removed;
    double value1 = 0;
    double value2 = 0;
};

struct SimObjectEventQueue {
    std::mutex mutex;
    std::deque<SimObjectEvent> events;
};

extern SimObjectEventQueue g_simObjectEvents;

// ---- Queue functions (any thread; each takes g_simMutex for its append) ----

void gf_queueAiCreation(const AiCreateRequest& request);
// One client event, as the Traffic engine's gear, flaps, spoilers and throttle
// commands queue them.
void gf_queueAiEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data);
// One AI object to remove on the next frame.
void gf_queueAiRemoval(std::uint32_t objectId);
// ENGINE_AUTO_SHUTDOWN / ENGINE_AUTO_START with data 0.
void gf_engineAutoShutdown(std::uint32_t objectId);
void gf_engineAutoStart(std::uint32_t objectId);
// Seven events, in this order: nav, beacon, landing, taxi, strobes, logo, cabin.
void gf_setLights(std::uint32_t objectId, std::uint32_t nav, std::uint32_t beacon, std::uint32_t landing,
                  std::uint32_t taxi, std::uint32_t strobes, std::uint32_t logo, std::uint32_t cabin);
void gf_setNavLights(std::uint32_t objectId, std::uint32_t value);
void gf_setCabinLights(std::uint32_t objectId, std::uint32_t value);

// Appends under the event queue's mutex (SimClient thread, Traffic Reader).
void gf_pushSimObjectEvent(const SimObjectEvent& event);
// The Traffic engine's drain: holds the queue's mutex for the whole drain
// (handle may take g_simMutex inside it) and hands every event over in queue
// order, taking each off the queue first; an exception from handle leaves
// the events not yet handed over queued.
void gf_drainSimObjectEvents(const std::function<void(const SimObjectEvent&)>& handle);

// At the start of each run's simulator connection: stores the expected
// simulator version (g_expectedSimVersion), makes room for 256 entries in the
// lists (keeping what they hold) and clears g_requestError.
void gf_resetSimQueues(int p3dVersion);
// Empties both position buffers under g_simMutex (the simulator stopped).
void gf_clearAiPositionBuffers();
// Empties every command queue, the pending creations and the new objects,
// under g_simMutex (end of a run).
void gf_clearSimCommandQueues();
