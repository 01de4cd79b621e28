// The Traffic engine's containers and counters. The worker thread alone
// touches the vectors, stacks and queues; what the Traffic Reader thread
// meets (the hand-over, the tick counter) is behind g_trafficMutex or atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "feed/feed_records.h"
#include "simlink/sim_client.h"
#include "simlink/sim_queues.h"
#include "traffic/live_ac.h"

// 100 ticks a second; the time base of every StreamPoint. Never reset.
extern std::atomic<std::int64_t> g_trafficTick;

extern std::vector<LiveAc> g_liveAc;
extern std::vector<StaticAc> g_staticAc;

// Hexids whose creation request is due; popped from the back.
extern std::vector<std::uint32_t> g_addingStack;
extern std::deque<AiCreateRequest> g_liveCreationQueue;
extern std::deque<AiCreateRequest> g_staticCreationQueue;
// Object ids to remove, handed to the simulator link one every 10 ticks
// (removals of every rule and of the livery respawn alike).
extern std::deque<std::uint32_t> g_respawnRemovalQueue;

// Guards g_trafficHandover and g_handedOverRecords.
extern std::mutex g_trafficMutex;
extern bool g_trafficHandover;
extern std::vector<FlightRecord> g_handedOverRecords;

// Set while an aircraft flares: the aircraft-in-range request runs every 20
// ticks instead of every 100.
extern std::atomic<bool> g_flareActive;

// A created object being brought to life over 200 ticks.
struct NewObjectEntry {
    std::uint32_t objectId = 0;
    std::uint32_t hexid = 0;
    SimObjectEventKind kind = SimObjectEventKind::liveCreated;
    std::int32_t counter = 0;  // -1: done
};
extern std::vector<NewObjectEntry> g_newObjects;

// Callsigns of ghosts removed in this run.
extern std::vector<std::string> g_removedGhosts;
// Hexids waiting for the per-second static-duplicate check.
extern std::deque<std::uint32_t> g_duplicateCheckQueue;

// One parked live aircraft as the static planner sees it.
struct ParkedLiveEntry {
    std::string callsign;
    std::uint32_t standId = 0;
    std::int64_t minutes = 0;
};

// The user aircraft as the engine saw it last (every 100 ticks).
extern UserAcData g_userAcData;

// The engine's copies of the Traffic Reader's collected callsigns and hexids.
extern std::unordered_set<std::string> g_collectedCallsigns;
extern std::unordered_set<std::uint32_t> g_collectedHexids;

// The engine's QNH (hPa), published by the Weather Reader.
extern std::atomic<int> g_engineQnh;

// Steady-clock time in the 100 ns units of parkedSince.
std::int64_t gf_engineNow100ns();
// The current week slot (weekday 1..7, half-hour 0..47).
WeekSlot gf_currentWeekSlot();

// Live and static aircraft by hexid or object id; nullptr when none.
LiveAc* gf_findLiveAc(std::uint32_t hexid);
// Only where the search last found it; nullptr says nothing about the list.
LiveAc* gf_findIndexedLiveAc(std::uint32_t hexid);
// The aircraft at that place of the live list is found there next time.
void gf_noteLiveAcPlace(std::size_t index);
LiveAc* gf_findLiveAcByObjectId(std::uint32_t objectId);
StaticAc* gf_findStaticAc(std::uint32_t hexid);
StaticAc* gf_findStaticAcByObjectId(std::uint32_t objectId);

// Once per process: room for the engine's containers.
void gf_reserveTrafficContainers();
// Between runs: every container and value back to the start of a run.
void gf_resetTraffic();
