// The Traffic engine's queries on the park airport's stand list: a free stand
// for a live aircraft at a position, the record of a real use of a stand, and
// the coupled callsign of an arriving aircraft. Worker thread.
#pragma once

#include <cstdint>

#include "airports/stand_records.h"
#include "core/geometry.h"
#include "traffic/live_ac.h"

// How a stand use comes about (lf_addRealStandOption).
enum class StandUse : int {
    arrived = 0,   // arrived on its stand, or through the spawn gate
    bornParked = 1,
    leaving = 2,   // a parked aircraft starts to leave
    removedAway = 3,
};

// The nearest free stand within radius_nm that fits the aircraft, else (with
// airlineMatch) a near stand whose options know the aircraft; nullptr when
// none. A too small stand within 20 m is taken and learns the aircraft's size.
Stand* lf_chooseStand(LatLon position, const LiveAc& ac, double radius_nm, bool airlineMatch);
// The stand with that numeric id; nullptr when none.
Stand* gf_standById(std::uint32_t standId);
// Records the aircraft's use of the stand in its options.
void lf_addRealStandOption(std::uint32_t standId, AcBase& ac, StandUse kind);
// The coupled callsigns an option of today around now knows for the aircraft.
void lf_searchForCoupledCsAroundThisTime(WeekSlot now, AcBase& ac);
