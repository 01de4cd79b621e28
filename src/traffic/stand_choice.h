// The Traffic engine's queries on the park airport's stand list: a free stand
// for a live aircraft at a position, the record of a real use of a stand, and
// the coupled callsign of an arriving aircraft. Worker thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// ---- For the static parking ----
struct ParkingPosition;

// One pass over the stands for the slot offset half-hours before now: per
// free stand one option of that slot (kind 1 real only, 0 soft only, else
// all) becomes a ParkingPosition carrying sortKey.
void lf_searchStands(WeekSlot now, int kind, bool weekdayFilter, std::int32_t offset, std::int32_t sortKey,
                     std::vector<ParkingPosition>& out);
// Whether the aircraft of a parked identity is already present.
bool lf_isKnownParkedIdentity(const std::string& registration, const std::string& callsign,
                              const std::string& coupledCallsign);
// The option is the identity's on the slot's weekday with a half-hour from
// max(now - offset, 0) up to now.
bool lf_optionAtOrBefore(WeekSlot slot, std::int32_t offset, const AcBase& identity, const StandOption& option);
// The same identity test, with a half-hour from max(47 - offset, 0) to 47.
bool lf_optionLateInDay(WeekSlot slot, std::int32_t offset, const AcBase& identity, const StandOption& option);
// Static aircraft in active or removingfromsim; withMean also stores their
// mean parked hours for the window.
std::int32_t gf_showStaticParkStats(bool withMean);
float gf_staticParkedMeanHours();
