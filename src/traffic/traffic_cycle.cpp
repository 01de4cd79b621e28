#include "traffic/traffic_cycle.h"

#include <fmt/format.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/log.h"
#include "core/settings.h"
#include "simlink/traffic_requests.h"
#include "traffic/ai_commands.h"
#include "traffic/air_motion.h"
#include "traffic/engine_support.h"
#include "traffic/intake.h"
#include "traffic/object_events.h"
#include "traffic/static_parking.h"
#include "traffic/traffic_link.h"
#include "traffic/traffic_state.h"

namespace {

constexpr std::int32_t kRemovalEvery = 10;
constexpr std::int32_t kCreationEvery = 50;
constexpr std::int32_t kRangeEveryFlare = 20;
constexpr std::int32_t kRangeEvery = 100;
constexpr std::int32_t kUserPositionEvery = 100;
constexpr float kWaitAboveFrameRate = 50.0f;
// At least two records a pass; more when many wait, at an even pace set when
// a poll arrives, so that it is decoded within a second (100 passes) however
// busy the region, and the next poll (2 s later) finds the hand-over
// drained. A pace that shrank with the records left would leave a tail of
// them for the next poll; one that took a large share at once would make
// one long pass. Records fall due 30 s after their poll, so the pace costs
// no point.
constexpr std::size_t kMinRecordsPerPass = 2;
constexpr std::size_t kMaxRecordsPerPass = 256;
constexpr std::size_t kDrainPasses = 100;

// Records erased in a pass that drops many at once are not destroyed in it:
// a poll's worth of aircraft waiting in range fall due together and may all
// be dropped in one pass, and freeing thousands of records with their
// streams made that pass the longest of all. The kept records move into a
// spare vector (in order) and the old one, holding the dropped ones, is
// destroyed a few records a pass. What the engine does with each record is
// unchanged; only the memory is given back later.
constexpr std::size_t kRetireAbove = 256;
constexpr std::size_t kRetiredFreedPerPass = 128;
std::vector<LiveAc> g_retiredLiveAc;

void lf_eraseRemovedLiveAc(std::size_t removed) {
    if (removed <= kRetireAbove || !g_retiredLiveAc.empty()) {
        std::erase_if(g_liveAc, [](const LiveAc& a) { return a.countsAsRemoved(); });
        return;
    }
    std::vector<LiveAc>& kept = g_retiredLiveAc;
    kept.reserve(g_liveAc.capacity());
    for (LiveAc& a : g_liveAc)
        if (!a.countsAsRemoved()) kept.push_back(std::move(a));
    g_liveAc.swap(kept);
}

void lf_freeRetiredLiveAc() {
    for (std::size_t i = 0; i < kRetiredFreedPerPass && !g_retiredLiveAc.empty(); ++i) g_retiredLiveAc.pop_back();
}

void lf_decodeHandedOver() {
    // Worker thread only; kept from pass to pass.
    static std::vector<FlightRecord> taken(kMaxRecordsPerPass);
    static std::size_t pace = kMinRecordsPerPass;
    static std::size_t leftLastPass = 0;
    std::size_t n = 0;
    {
        // Taken out under the lock, decoded outside it: the Traffic Reader
        // never waits for the engine's decoding.
        std::lock_guard lock(g_trafficMutex);
        const std::size_t waiting = g_handedOverRecords.size();
        // Only a hand-over (or the reset) changes the count between passes.
        if (waiting != leftLastPass) {
            pace = std::clamp((waiting + kDrainPasses - 1) / kDrainPasses, kMinRecordsPerPass, kMaxRecordsPerPass);
        }
        for (; n < pace && !g_handedOverRecords.empty(); ++n) {
            taken[n] = std::move(g_handedOverRecords.back());
            g_handedOverRecords.pop_back();
        }
        leftLastPass = g_handedOverRecords.size();
    }
    LiveLookup lookup;
    for (std::size_t i = 0; i < n; ++i) lf_decodeRecord(taken[i], lookup);
}

void lf_buildOneCreation() {
    if (g_addingStack.empty()) return;
    const std::uint32_t hexid = g_addingStack.back();
    g_addingStack.pop_back();
    LiveAc* ac = gf_findLiveAc(hexid);
    if (!ac) return;
    if (ac->callsign.empty()) {
        gf_logHighlight(fmt::format("{} {} objectid = 0?", "lf_handleAddingStack", gf_acDescription(*ac)));
        // Never queued, never created: left as it is, the record would sit
        // in "adding" for the rest of the run.
        ac->removeFromBuffer = 1;
        return;
    }
    g_liveCreationQueue.push_back(gf_creationRequest(*ac));
}

void lf_requestAircraftInRange(std::int64_t tick) {
    const std::int32_t every = g_flareActive.load() ? kRangeEveryFlare : kRangeEvery;
    if (tick % every != 0) return;
    if (!gf_trafficLink().requestAircraftInRange(static_cast<std::uint32_t>(std::max(g_trafficRadiusMeters.load(), 0)))) {
        gf_logHighlight("SimConnect request ac within range fails");
        gf_trafficLink().requestError();
    }
}

}  // namespace

AiCreateRequest gf_creationRequest(const LiveAc& ac) {
    AiCreateRequest r;
    r.position.latitude_deg = ac.pos.lat;
    r.position.longitude_deg = ac.pos.lon;
    r.position.altitude_ft = ac.pos.alt;
    r.position.pitch_deg = ac.pos.pitch * kRadToDeg;
    r.position.bank_deg = ac.pos.bank * kRadToDeg;
    r.position.heading_deg = ac.pos.heading * kRadToDeg;
    r.position.onGround = !ac.stream.empty() && !ac.stream.front().airborne ? 1u : 0u;
    r.position.airspeed_kt = 0;
    r.callsign = ac.callsign;
    r.liveryTitle = ac.liveryTitle;
    r.hexid = ac.hexid;
    return r;
}

void lf_handleAddingStack() {
    gf_handleSimObjectEvents();
    lf_applyWrittenFlightPlans();
    lf_updateAllLiveAc();
    lf_sendQueuedCreations();
    lf_decodeHandedOver();
    lf_buildOneCreation();
    const std::int64_t tick = g_trafficTick.load();
    lf_requestAircraftInRange(tick);
    // The static parking's parked-traffic answer, once it is there.
    gf_staticParkingPass();
    if (tick % kUserPositionEvery == 0) g_userAcData = gf_trafficLink().requestUserAcPosition();
    g_trafficTick.fetch_add(1);
}

void lf_updateAllLiveAc() {
    bool anyRemoved = false;
    {
        struct Armed {
            Armed() { gf_armFarthestOfPass(true); }
            ~Armed() { gf_armFarthestOfPass(false); }
        } armed;
        for (LiveAc& ac : g_liveAc) anyRemoved = updateLiveAc(ac) || anyRemoved;
    }
    if (anyRemoved) {
        // A record born on a stand that never reached the simulator leaves
        // the stand free for the next aircraft.
        std::size_t removed = 0;
        for (const LiveAc& a : g_liveAc) {
            if (!a.countsAsRemoved()) continue;
            ++removed;
            gf_clearStandOccupant(a.standId, &a);
        }
        lf_eraseRemovedLiveAc(removed);
    }
    lf_freeRetiredLiveAc();

    std::unique_lock lock(g_simMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        // At a low frame rate the simulator keeps the previous positions
        // rather than hold up the pass.
        if (gf_trafficLink().frameRate() <= kWaitAboveFrameRate) {
            g_simQueues.positionsBack.clear();
            return;
        }
        lock.lock();
    }
    lf_swapAiPositionBuffers();
}

void lf_sendQueuedCreations() {
    const std::int64_t tick = g_trafficTick.load();
    if (tick % kRemovalEvery == 0 && !g_respawnRemovalQueue.empty()) {
        gf_queueAiRemoval(g_respawnRemovalQueue.front());
        g_respawnRemovalQueue.pop_front();
    }
    if (tick % kCreationEvery != 0) return;
    if (!g_liveCreationQueue.empty()) {
        gf_queueAiCreation(g_liveCreationQueue.front());
        g_liveCreationQueue.pop_front();
        return;
    }
    if (!g_staticCreationQueue.empty()) {
        gf_queueAiCreation(g_staticCreationQueue.front());
        g_staticCreationQueue.pop_front();
    }
    lf_detcs();
}
