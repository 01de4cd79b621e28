// Parking on real stands and the conflicts around a stand: the stand a
// taxiing aircraft takes, who gives way to it (the live aircraft parked on
// it or close beside it, static aircraft on it or next to it), the
// arbitration of a stand wanted by a newborn aircraft and the arrival.
// Worker thread.
#pragma once

#include <cstdint>
#include <string>

#include "airports/stand_records.h"
#include "traffic/live_ac.h"

// Looks for a stand at the stream's last point (55 m wide, else 20 m) and
// starts the parking move.
void try2Park(LiveAc& ac, bool wide);
// An aircraft creeping to the end of its stream inside the wings of a
// parked aircraft that keeps its place, about to enter them on its next
// segment: it parks where its path meets their circle. Checked as each
// segment is planned: the stand search waits for the stream's stationary
// end, which comes when the aircraft has already crept inside. Whether it
// stopped.
bool gf_stopShortAhead(LiveAc& ac);
// A static aircraft where the taxiing aircraft's stream ends, about to be
// entered on its next segment, makes way before the wings meet: the stand
// search comes only once the arrival has crept onto its last point.
void gf_staticMakesWayAhead(const LiveAc& ac);
// The live aircraft parked on the stand gives way.
void lf_clearStandOccupant(std::uint32_t standId, const LiveAc& newcomer);
// A live aircraft on an adjacent stand that would collide gives way.
void lf_clearAdjacentStands(std::uint32_t adjacentId, const LiveAc& newcomer, const Stand& target);
// Static aircraft on the stand and (colliding) on its neighbours give way.
void lf_makesWay(const LiveAc& newcomer, const Stand& stand);
void lf_makesWayAdjacent(const LiveAc& newcomer, std::uint32_t adjacentId, const Stand& target);
// Whether a newborn live aircraft may take the stand.
bool lf_standArbitration(std::uint32_t standId, const std::string& callsign);
// A parked aircraft the feed reported standing there within the last two
// minutes: its flight is still there, and it keeps its stand.
bool gf_parkedStillReported(const LiveAc& ac);
// End of the parking move.
void lf_arriveAtStand(LiveAc& ac);
// A cargo aircraft parked on a stand whose cargo attribute changed since it
// took it.
void lf_standCargoAttribute(LiveAc& ac, Stand& stand);
