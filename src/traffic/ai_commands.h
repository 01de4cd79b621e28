// The small commands that change an AI aircraft's controls (queued as client
// events for the next simulator frame), the removal of an aircraft by its
// state, the taking back of a queued creation and the parked configuration.
// Worker thread.
#pragma once

#include <cstdint>
#include <deque>
#include <string_view>
#include <vector>

#include "airports/stand_records.h"
#include "simlink/sim_queues.h"
#include "traffic/live_ac.h"

// Index 0..4 (5 and more: recorded, not sent); nothing when unchanged.
void gf_setThrottle(AcBase& base, AcSimFields& sim, std::int32_t index);
// Index 0..3; nothing when unchanged or for a Rotorcraft.
void gf_setFlaps(AcBase& base, AcSimFields& sim, std::int32_t index);
// Sent on every call except for a Rotorcraft.
void gf_setSpoilers(const AcBase& base, const AcSimFields& sim, bool on);
void gf_setGear(const AcBase& base, const AcSimFields& sim, bool down);

template <typename Ac>
void gf_setThrottle(Ac& ac, std::int32_t index) { gf_setThrottle(ac, ac, index); }
template <typename Ac>
void gf_setFlaps(Ac& ac, std::int32_t index) { gf_setFlaps(ac, ac, index); }
template <typename Ac>
void gf_setSpoilers(const Ac& ac, bool on) { gf_setSpoilers(ac, ac, on); }
template <typename Ac>
void gf_setGear(const Ac& ac, bool down) { gf_setGear(ac, ac, down); }

// Throttle 0, flaps 0, engines off, lights of a parked aircraft.
void gf_parkedConfiguration(AcBase& base, AcSimFields& sim);
template <typename Ac>
void gf_parkedConfiguration(Ac& ac) { gf_parkedConfiguration(ac, ac); }

// Takes every request with that callsign out of the queue; true when one was
// there.
bool gf_eraseQueuedCreation(std::deque<AiCreateRequest>& queue, std::string_view callsign);

// By state: a buffered record is dropped, a queued creation taken back, an
// object in the simulator queued for removal.
void removeAircraftFromSim(AcBase& base, AcSimFields& sim);
template <typename Ac>
void removeAircraftFromSim(Ac& ac) { removeAircraftFromSim(ac, ac); }

// The stand is free again (its aircraft left or never came), unless another
// live aircraft than `leaving` still stands on it.
void gf_clearStandOccupant(std::uint32_t standId, const AcSimFields* leaving = nullptr);

// A stand by name: gf_findStandByName of airports/park_airport_state.h.
