#include "traffic/ai_commands.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>

#include "airports/park_airport_state.h"
#include "core/log.h"
#include "core/random.h"
#include "core/settings.h"
#include "simlink/sim_ids.h"
#include "traffic/traffic_state.h"

namespace {

constexpr std::array<std::uint32_t, 5> kThrottleValues{0, 4914, 8191, 11468, 16383};
constexpr std::array<std::uint32_t, 4> kFlapsValues{0, 3072, 10240, 16383};

bool lf_isRotorcraft(const AcBase& base) { return base.category == AcCategory::Rotorcraft; }

}  // namespace

void gf_clearStandOccupant(std::uint32_t standId, const AcSimFields* leaving) {
    if (standId == 0) return;
    // A newcomer may have taken the stand before the record that left it is
    // erased: its mark stays.
    for (const LiveAc& other : g_liveAc) {
        if (&other == leaving || other.standId != standId || other.countsAsRemoved()) continue;
        if (other.simState == SimState::removingfromsim) continue;
        if (other.flightState == FlightState::parked) return;
    }
    for (Stand& s : g_standList) {
        if (gf_standNumericId(s) == standId) {
            gf_standMark(s, StandMark::occupied) = 0;
            return;
        }
    }
}

void gf_setThrottle(AcBase& base, AcSimFields& sim, std::int32_t index) {
    if (index == sim.lastThrottle) return;
    sim.lastThrottle = index;
    if (index < 0 || index >= static_cast<std::int32_t>(kThrottleValues.size())) return;
    gf_queueAiEvent(sim.objectId, SimEventThrottleSet, kThrottleValues[static_cast<std::size_t>(index)]);
}

void gf_setFlaps(AcBase& base, AcSimFields& sim, std::int32_t index) {
    if (index == sim.lastFlaps || lf_isRotorcraft(base)) return;
    // Only the table's indexes are sent; 4 (the "nothing sent yet" value of
    // a new record) or anything else is a fault of the caller and leaves the
    // last flaps sent as they are.
    if (index < 0 || index >= static_cast<std::int32_t>(kFlapsValues.size())) {
        gf_logHighlight("gf_setFlaps: invalid flaps index");
        return;
    }
    sim.lastFlaps = index;
    gf_queueAiEvent(sim.objectId, SimEventFlapsSet, kFlapsValues[static_cast<std::size_t>(index)]);
}

void gf_setSpoilers(const AcBase& base, const AcSimFields& sim, bool on) {
    if (lf_isRotorcraft(base)) return;
    gf_queueAiEvent(sim.objectId, SimEventSpoilersSet, on ? 16383u : 0u);
}

void gf_setGear(const AcBase& base, const AcSimFields& sim, bool down) {
    if (lf_isRotorcraft(base)) return;
    gf_queueAiEvent(sim.objectId, SimEventGearSet, down ? 1u : 0u);
}

void gf_parkedConfiguration(AcBase& base, AcSimFields& sim) {
    gf_setThrottle(base, sim, 0);
    gf_setFlaps(base, sim, 0);
    gf_engineAutoShutdown(sim.objectId);
    const std::uint32_t cabin = sim.standCargo ? 0u : (g_rng() % 10 < 9 ? 1u : 0u);
    gf_setLights(sim.objectId, NAV_LIGHTS_WHILE_PARKED.value() ? 1u : 0u, 0, 0, 0, 0, 1, cabin);
}

bool gf_eraseQueuedCreation(std::deque<AiCreateRequest>& queue, std::string_view callsign) {
    const auto before = queue.size();
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [&](const AiCreateRequest& r) { return r.callsign == callsign; }),
                queue.end());
    return queue.size() != before;
}

void removeAircraftFromSim(AcBase& base, AcSimFields& sim) {
    if (sim.simState == SimState::buffer) {
        sim.removeFromBuffer = 1;
        return;
    }
    if (sim.simState == SimState::adding2sim) {
        if (sim.removeWhenCreated) return;
        if (gf_eraseQueuedCreation(g_liveCreationQueue, base.callsign) ||
            gf_eraseQueuedCreation(g_staticCreationQueue, base.callsign)) {
            sim.creationCancelled = 1;
        } else {
            sim.removeWhenCreated = 1;
        }
        return;
    }
    // The mark only waits for the creation; an aircraft in the simulator
    // carrying it is removed now and must not be removed again at activation.
    sim.removeWhenCreated = 0;
    if (gf_isLiveHexid(base.hexid) && sim.standId != 0) gf_clearStandOccupant(sim.standId, &sim);
    sim.simState = SimState::removingfromsim;
    if (sim.objectId != 0) {
        g_respawnRemovalQueue.push_back(sim.objectId);
    } else {
        gf_logHighlight(fmt::format("{} removing act {}, with objectid=0 ?", "removeAircraftFromSim",
                                    gf_acDescription(base)));
        // No object will ever be reported removed: the record is erased by
        // the engine itself instead of waiting for the rest of the run.
        sim.removeFromBuffer = 1;
    }
}
