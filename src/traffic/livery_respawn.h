// New facts about a flight already in the simulator (another callsign,
// registration or route): the identity texts follow the feed, and, when
// GUID_CHANGES is on, the aircraft is created again with a livery chosen
// anew. Worker thread.
#pragma once

#include "feed/feed_records.h"
#include "traffic/live_ac.h"

// False when the record is not to be taken into the stream (a respawn
// started, or it is the ghost of a present flight).
bool lf_respawnCheck(LiveAc& ac, const FlightRecord& record);
// Removes the object while keeping the record; it is spawned again from
// "buffer".
void liveryRespawn(LiveAc& ac);
void lf_refreshTexts(LiveAc& ac, const FlightRecord& record);
// True when the route did not change.
bool lf_routeCheck(LiveAc& ac, const FlightRecord& record);
// True when the registration gives no reason to respawn.
bool lf_registrationCheck(LiveAc& ac, const FlightRecord& record);
// True when a respawn is due.
bool lf_regcodeLiveryChange(LiveAc& ac, const FlightRecord& record);
bool lf_dbaseTypeChange(LiveAc& ac, const FlightRecord& record);
void lf_resetForRespawn(LiveAc& ac);
