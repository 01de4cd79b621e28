// Static parked traffic at the park airport: the choice of the airport (under
// the user aircraft on the ground, a park airport in sight in the air), the
// list of parking positions to fill from the service's parked traffic and the
// stand options around now, the renewal every 20 minutes, and the leaving of
// the airport. Worker thread; the parked-traffic request and the download of
// an archived stand file run on helper threads and are handed back to the
// worker's pass.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/geometry.h"
#include "feed/feed_records.h"
#include "traffic/live_ac.h"
#include "traffic/parking_position.h"
#include "traffic/stand_choice.h"
#include "traffic/traffic_state.h"

// A static aircraft that keeps its stand through a renewal.
struct KeptStatic {
    std::string callsign;
    std::string callsignCopy;
    std::string spare;  // the coupled callsign
    std::string registration;
    std::string airline;
    std::string type;
    WeekSlot weekSlot;
    std::uint32_t standId = 0;
    bool recreate = false;
};

extern std::vector<KeptStatic> g_keptStatic;
// (callsign, stand id) of static aircraft to remove at the end of a renewal.
extern std::vector<std::pair<std::string, std::uint32_t>> g_staticRemovalList;
extern std::vector<ParkedLiveEntry> g_parkedLiveList;
// The fits (half-hour steps) the last real and soft option searches reached,
// -1 when not run.
extern std::int32_t g_reachedRealFit;
extern std::int32_t g_reachedSoftFit;
// The window's S and W marks: the last stand-option search was soft, and it
// looked at every weekday. Cleared when a calculation or renewal starts.
extern std::atomic<bool> g_softSearchShown;
extern std::atomic<bool> g_weekSearchShown;
// The parking controls are disabled while a calculation or renewal runs.
extern std::atomic<bool> g_parkingControlsBusy;

// The service's parked traffic near the park airport, sorted by age (the
// slot holds the age in half-hours); nothing when it could not be fetched.
using ParkedTrafficSource = std::function<std::optional<std::vector<ParkedRecord>>()>;
// Tests install a source; inlineAnswer answers within the call that asks.
void gf_setParkedTrafficSource(ParkedTrafficSource source, bool inlineAnswer);

// What the static parking asks of the window.
class StaticParkingWindow {
public:
    virtual ~StaticParkingWindow() = default;
    virtual void enableParkingControls() = 0;
    virtual void disableParkingControls() = 0;
    virtual void enableDestination() = 0;
};
// Installs the window; not owned. The static parking stops the run when used
// before one is installed: a control left switched off would go unnoticed.
void gf_setStaticParkingWindow(StaticParkingWindow* window);

// The callsigns of the static aircraft present, for the search's test of
// aircraft already there (g_staticParkingCallsigns).
void lf_listStaticCallsigns();

// ---- The park airport ----
void gf_staticParking(bool first);
void lf_findAirportInSight(LatLon position, bool first);
void lf_inSightCheck(LatLon position);
void gf_calcStaticParking();
void gf_clearAirportTraffic();
void gf_resetCurrentAirport();
bool gf_parkAirportInUse();

// ---- Positions ----
std::string lf_dayInfo(WeekSlot& day);
void lf_markReservedStands();
void lf_clearStandSearchMarks();
void lf_matchParkTraffic(const std::vector<ParkedRecord>& records, WeekSlot day);
void lf_timeFill(WeekSlot day, std::int32_t wanted, std::int32_t base);
bool lf_fitParkTraffic(WeekSlot day, bool real, bool sameDay, std::int32_t wanted,
                       std::vector<ParkingPosition>& candidates);
// Marks the stand used in the search and its neighbours next to used.
void lf_markStandUsed(std::uint32_t standId);
// The week slot half-hours before now (a day back across midnight).
WeekSlot lf_slotBefore(WeekSlot now, std::int32_t halfHours);

// The stand file's download or the parked-traffic answer, when one is there:
// the rest of a calculation or renewal. Once per traffic pass.
void gf_staticParkingPass();
// Whether a stand-file download or a parked-traffic request is on its way.
bool gf_parkedRequestPending();
// The second half of a calculation after the parked-traffic answer.
void lf_finishParkingPositions(WeekSlot day, const std::optional<std::vector<ParkedRecord>>& parked);
// Starts the parked-traffic request; done(answer) runs on the worker later.
void lf_askParkedTraffic(std::function<void(const std::optional<std::vector<ParkedRecord>>&)> done);

// ---- Creation and renewal ----
void lf_detcs();
std::string lf_staticCallsign(std::string text);
void gf_applyParkTrafficChanges(bool flush);
void lf_removeListedStatic();
void lf_trimPositions(std::int32_t wanted);
// The static counter back to its start (tests).
void gf_resetStaticCounter();

// ---- The user aircraft ----
// While the user aircraft is airborne: removes at most one live aircraft in
// its way.
void gf_removeUserConflicts();
// While the user aircraft is on the ground: removes at most one aircraft
// that overlaps it, a live one on the ground first, else one arriving down
// the line of the runway the user stands on, else (once the user has moved)
// a static one.
void gf_removeGroundedUserConflicts();
void gf_resetUserConflicts();

// A static callsign without its final "*".
std::string gf_withoutStar(const std::string& callsign);

// Every list of the static parking emptied; between runs.
void gf_resetStaticParking();
