// Small operations several parts of the Traffic engine share: the wanted
// number of static parked aircraft, the removal of the farthest live
// aircraft, the window's list of live callsigns, the extension of a stand
// option's half-hours up to now, the blocking neighbour of a stand and the
// erasing of a live record. Worker thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "airports/stand_records.h"
#include "traffic/live_ac.h"

// Wanted static aircraft at the park airport from the stand count, the
// parking percentage and MAX_PARK_SEL.
std::int32_t lf_wantedParkCount();
// The last wanted count and its share of the stands in percent, for the
// window's state band (read on the main thread).
extern std::atomic<std::int32_t> g_wantedParkShown;
extern std::atomic<std::int32_t> g_wantedParkPercentShown;
// True when no active live aircraft lies more than 0.1 nm beyond dist_nm
// (nothing removed); false after removing the farthest one.
bool gf_removeFarthestLiveAc(double dist_nm);
// True when gf_removeFarthestLiveAc(d) is true at once, removing nothing,
// for every distance d of at least atLeast_nm (only while armed; false for
// a figure that is not a number). A waiting aircraft's distance from the
// user is then not needed to the last digit.
bool gf_fartherThanEveryShown(double atLeast_nm);
// While the pass moves its aircraft (armed), the farthest distance is taken
// once and spares the walk when no aircraft lies farther.
void gf_armFarthestOfPass(bool armed);
// The number of active live aircraft (counted once while armed).
std::size_t gf_activeLiveCount();
// A callsign ending in "_" is a ghost's: the feed's second report of a flight.
inline bool gf_hasGhostMark(const std::string& callsign) { return !callsign.empty() && callsign.back() == '_'; }
// While armed: the places in the live vector of the aircraft whose callsign
// is a ghost's, in vector order (taken once); nullptr when not armed.
const std::vector<std::size_t>* gf_ghostsOfPass();
// While armed: an aircraft's callsign changed; the ghost list follows it.
void gf_noteCallsignOfPass(const LiveAc& ac);
// The callsigns of the active, not parked live aircraft, sorted; the
// window's live-aircraft box shows them. False when empty.
bool gf_fillLiveAcCombo();
void gf_resetLiveAcList();
std::vector<std::string> gf_liveAcComboList();
// Whether the option (key) could be extended from stored to now; stored
// follows now, and across midnight also the next day's option (key).
bool lf_inWeekSlotWindow(WeekSlot now, std::vector<StandOption>& options, std::uint32_t& key, WeekSlot& stored,
                         const AcBase& ac);
// The position in standIds of the first neighbour whose parked (or pushing
// back) live aircraft is too close to the asking aircraft on stand; the end
// when none.
std::vector<std::uint32_t>::const_iterator lf_findBlockingNeighbour(const std::vector<std::uint32_t>& standIds,
                                                                    const Stand& stand, const LiveAc& ac);
// Erases one record of the live vector by moving the last into its place.
void lf_eraseLiveAc(std::size_t index);
