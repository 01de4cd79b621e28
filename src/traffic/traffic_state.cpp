#include "traffic/traffic_state.h"

#include "simlink/flight_plan.h"
#include "traffic/static_parking.h"

#include <chrono>
#include <unordered_map>

#include "airports/park_airport_state.h"
#include "app/run_state.h"
#include "catalogue/match_report.h"
#include "catalogue/matcher.h"
#include "core/steady_clock.h"
#include "simlink/creation_tracking.h"
#include "simlink/flight_plan.h"
#include "traffic/parking_position.h"

std::atomic<std::int64_t> g_trafficTick{0};

std::vector<LiveAc> g_liveAc;
std::vector<StaticAc> g_staticAc;
std::vector<std::uint32_t> g_addingStack;
std::deque<AiCreateRequest> g_liveCreationQueue;
std::deque<AiCreateRequest> g_staticCreationQueue;
std::deque<std::uint32_t> g_respawnRemovalQueue;

std::mutex g_trafficMutex;
bool g_trafficHandover = false;
std::vector<FlightRecord> g_handedOverRecords;

std::atomic<bool> g_flareActive{false};
std::vector<NewObjectEntry> g_newObjects;
std::vector<std::string> g_removedGhosts;
std::deque<std::uint32_t> g_duplicateCheckQueue;
UserAcData g_userAcData;
std::unordered_set<std::string> g_collectedCallsigns;
std::unordered_set<std::uint32_t> g_collectedHexids;
std::atomic<int> g_engineQnh{1013};

namespace {

bool g_reserved = false;

template <typename V>
void lf_reserve(V& v, std::size_t n) {
    if (v.capacity() < n) v.reserve(n);
}

template <typename V, typename P>
auto* lf_findIf(V& v, P pred) {
    for (auto& x : v)
        if (pred(x)) return &x;
    return static_cast<typename V::value_type*>(nullptr);
}

// Where a live aircraft was last found, by hexid and by object id. The list
// is changed in many places (erased from the middle, swapped with its last
// element, appended to), so a position is only a hint: used when that
// aircraft is still there, else the list is searched and the hint renewed.
// The answers are the plain search's: hexids are unique in the list (the
// intake adds only unknown ones) and so are given object ids; object id 0,
// that of every aircraft not yet created, is always searched.
using LiveIndex = std::unordered_map<std::uint32_t, std::size_t>;
LiveIndex g_liveByHexid;
LiveIndex g_liveByObjectId;

template <typename KeyOf>
LiveAc* lf_findIndexed(LiveIndex& index, std::uint32_t key, KeyOf keyOf) {
    if (const auto it = index.find(key);
        it != index.end() && it->second < g_liveAc.size() && keyOf(g_liveAc[it->second]) == key)
        return &g_liveAc[it->second];
    for (std::size_t i = 0; i < g_liveAc.size(); ++i) {
        if (keyOf(g_liveAc[i]) != key) continue;
        // Hints of aircraft long gone are dropped now and then.
        if (index.size() > 2 * g_liveAc.size() + 64) index.clear();
        index[key] = i;
        return &g_liveAc[i];
    }
    return nullptr;
}

}  // namespace

std::int64_t gf_engineNow100ns() {
    return std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
               gf_steadyNow().time_since_epoch())
        .count();
}

WeekSlot gf_currentWeekSlot() {
    const NowSlot now = gf_nowSlot();
    return WeekSlot{now.weekday, now.halfHour};
}

LiveAc* gf_findIndexedLiveAc(std::uint32_t hexid) {
    const auto it = g_liveByHexid.find(hexid);
    if (it == g_liveByHexid.end() || it->second >= g_liveAc.size() || g_liveAc[it->second].hexid != hexid) return nullptr;
    return &g_liveAc[it->second];
}
void gf_noteLiveAcPlace(std::size_t index) {
    if (index >= g_liveAc.size()) return;
    if (g_liveByHexid.size() > 2 * g_liveAc.size() + 64) g_liveByHexid.clear();
    g_liveByHexid[g_liveAc[index].hexid] = index;
}
LiveAc* gf_findLiveAc(std::uint32_t hexid) {
    return lf_findIndexed(g_liveByHexid, hexid, [](const LiveAc& a) { return a.hexid; });
}
LiveAc* gf_findLiveAcByObjectId(std::uint32_t objectId) {
    if (objectId == 0) return lf_findIf(g_liveAc, [](const LiveAc& a) { return a.objectId == 0; });
    return lf_findIndexed(g_liveByObjectId, objectId, [](const LiveAc& a) { return a.objectId; });
}
StaticAc* gf_findStaticAc(std::uint32_t hexid) {
    return lf_findIf(g_staticAc, [&](const StaticAc& a) { return a.hexid == hexid; });
}
StaticAc* gf_findStaticAcByObjectId(std::uint32_t objectId) {
    return lf_findIf(g_staticAc, [&](const StaticAc& a) { return a.objectId == objectId; });
}

void gf_reserveTrafficContainers() {
    if (g_reserved) return;
    g_reserved = true;
    lf_reserve(g_liveAc, 512);
    lf_reserve(g_staticAc, 256);
    lf_reserve(g_standList, 512);
    lf_reserve(g_newObjects, 128);
    lf_reserve(g_addingStack, 64);
    lf_reserve(g_removedGhosts, 64);
    lf_reserve(g_handedOverRecords, 256);
    lf_reserve(g_parkingPositions, 512);
    lf_reserve(g_staticParkingCallsigns, 256);
}

void gf_resetTraffic() {
    // The park airport is given up: the next run chooses it again.
    g_currentAirport.set(std::nullopt);
    g_airportAltitude_ft.set(std::nullopt);
    {
        std::lock_guard lock(g_simObjectEvents.mutex);
        g_simObjectEvents.events.clear();
    }
    g_newObjects.clear();
    // Plans of the run that ends are not handed to the next one's objects.
    gf_waitFlightPlanWrites();
    gf_takeWrittenFlightPlans();
    g_removedGhosts.clear();
    g_parkingPositions.clear();
    g_staticParkingCallsigns.clear();
    gf_clearRememberedLiveryTitles();
    g_addingStack.clear();
    g_duplicateCheckQueue.clear();
    g_respawnRemovalQueue = {};
    g_liveCreationQueue = {};
    g_staticCreationQueue = {};
    g_staticAc.clear();
    gf_resetStaticParking();
    gf_resetUserConflicts();
    {
        std::lock_guard lock(g_trafficMutex);
        g_handedOverRecords.clear();
    }
    g_flareActive = false;
    g_liveAc.clear();
    g_liveByHexid.clear();
    g_liveByObjectId.clear();
    gf_clearStands();
    g_standsLoaded = false;
    g_engineQnh = 1013;
    g_collectedCallsigns.clear();
    g_collectedHexids.clear();
    g_userAcData = UserAcData{};
    g_nowSlot = 0;
    gf_clearUnmatchedFlights();
}
