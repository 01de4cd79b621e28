// The rules that keep live and static aircraft from duplicating or
// overlapping each other: ghosts, static twins and duplicates, collisions of
// a moving live aircraft with a static one, the parking limit and the user's
// reserved stand. Each finds its victim and removes it through
// removeAircraftFromSim. Worker thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "traffic/live_ac.h"
#include "traffic/traffic_state.h"

// Removes the ghost ("{callsign}_") of a callsign.
void lf_ghostCheck(const std::string& callsign);
// Whether the real flight of a ghost callsign is present.
bool gf_realCallsignActive(const std::string& ghost);
// Removes one static twin of a new live aircraft (same hexid, registration
// or callsign).
void gf_removeStaticDuplicates(const LiveAc& live, bool onGround);
// Removes one static aircraft in the way of a moving live one.
void gf_avoidStaticCollision(LiveAc& live);
// The per-second walk: every active, moving ground aircraft checked.
void gf_avoidLiveParkedCollisions();
// Removes one static aircraft that repeats a ground live aircraft.
void gf_removeStaticTwins();
// Frees the user's reserved stand.
void gf_clearReservedStand();
// The parking limit, with toCome aircraft about to park.
void lf_checkMaxPark(std::int32_t toCome);
void lf_removeLongestParked(std::int32_t n);
std::vector<ParkedLiveEntry> lf_parkedLiveList();
void gf_removeAllStaticAc();
// Parked active live aircraft; withMean also stores their mean parked
// half-hours for the window.
std::int32_t gf_countParkedLiveAc(bool withMean);
float gf_parkedLiveMeanHalfHours();
// The per-second work on the front of the duplicate-check queue: the coupled
// callsign search once, then the static duplicates. One hexid a call.
void gf_handleNewLiveHexid();
// The window's blocked callsign: the first active live aircraft with it goes.
void gf_removeBlockedCallsign(const std::string& callsign);
