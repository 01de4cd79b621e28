// A buffered live aircraft waits until its first point falls due; then it is
// dropped, held for the user aircraft, or handed to the simulator with a
// livery and a birth state (flying, parked on a stand, or taxiing).
#pragma once

#include "airports/stand_records.h"
#include "traffic/live_ac.h"

// Ticks before its first point that a buffered aircraft is spawned.
inline constexpr std::int32_t kGroundSpawnLead = 300;
inline constexpr std::int32_t kSpawnLead = 100;

// The per-tick gate of a buffered aircraft.
void lf_handleBuffered(LiveAc& ac);
// True when the aircraft must wait for the user aircraft (its front point is
// dropped then).
bool lf_userCollisionHold(LiveAc& ac);
// Livery, birth state, position block, adding stack.
void spawnLiveAc(LiveAc& ac);
// The stand an aircraft born on the ground is placed on; nullptr when none.
Stand* lf_birthStand(LiveAc& ac);
