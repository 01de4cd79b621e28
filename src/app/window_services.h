// The window's side of a run: filling and enabling the controls at the start
// of every run, the traffic range, the time shift, the static-update
// announcement, the counters, and the destination. The functions work on the
// controls through the UI sink, so they run on the worker and on the main
// thread alike; what acts on the engine's aircraft lists runs only on the
// worker (from the main thread it becomes a request, window_requests.h).
#pragma once

#include "app/run_ports.h"
#include "core/settings.h"

#include <cstddef>

#include <cstdint>
#include <optional>
#include <string>

// ---- Controls ----
void gf_enableControl(int controlId, bool enabled);
void gf_fillComboFromInts(ComboParameter& combo);
void gf_fillComboBoxes();
void gf_enableTimeShiftControls(bool enable);
void gf_disableParkingControls();
void gf_enableParkingControls();
void gf_applyParkTrafficOnly();
// "Now" may be enabled again (set by the start of a run and the parking).
bool gf_nowAllowed();
// "Now" follows INITIAL_LOAD_ONLY (left alone while the parking is rebuilt).
void gf_updateNowButton();
void gf_fillCallsignCombo();
// The engine's callsign list shown; the list and "Block" enabled exactly
// when it holds a callsign.
void gf_showCallsignList();
// The callsign list back to one empty entry, CALLSIGN_2_OBJECTID empty, the
// list and "Block" disabled.
void gf_resetLiveAcCombo();

// ---- Traffic range ----
// RANGE := nm clamped (selected in its combo when listed); the range and the
// radius (nm x 1852 + 10000 m) follow nm as given. Returns the radius.
std::int32_t gf_selectRangeCombo(int nm);
struct AutoRangeInput {
    bool onGround = false;
    double alt_ft = 0.0;
    int arAboveHeight_ft = 0;
    int airpHeight_ft = 0;
    // Distance to the first park airport; nothing when the list is empty.
    std::optional<double> parkAirportDist_nm;
};
// The range the automatic rule chooses; throws gsl::narrowing_error when
// the rounded distance is not integral.
int gf_autoRangeNm(const AutoRangeInput& in);
// Chooses the range from the user's aircraft (worker thread).
void gf_autoRange(const RunPorts& ports);
// The AUTO_RANGE box (main thread).
void gf_applyAutoRange();

// ---- MAX_FIT ----
float gf_maxFitHours(int step);
void gf_selectMaxFitCombo();

// ---- Time shift ----
struct TimeShiftSplit {
    int days, hours, minutes;
};
TimeShiftSplit gf_splitTimeShift(int minutes);
// Days, hours and minutes of the shift saved and selected.
void lf_setTimeShiftCombos(int minutes);
// Applies a shift: combos, the readers' toffset, the status line. True when
// every aircraft must now leave the simulator (not quiet); the caller on the
// worker does that at once (lf_clearTrafficForTimeShift), the main thread
// raises the request.
bool gf_setTimeShift(int minutes, bool quiet);
void lf_clearTrafficForTimeShift(const RunPorts& ports);
// The SIM_TIME box; onWorker says which thread calls.
void gf_applySimTime(bool onWorker);

// ---- Static parking ----
void gf_announceStaticUpdate();
void gf_checkNoTraffic(const RunPorts& ports);
// The ParkingPositions still waiting, shown while the static parking is
// rebuilt.
void gf_showParkingPositionCount(const RunPorts& ports);
void gf_updateLiveCount(const RunPorts& ports);

// ---- Destination ----
// DESTINATION := code, saved and shown; "New destination: {}"; the airport
// goes to the front of the park-airport list (directly on the worker, as a
// request from the main thread); "Re-read" disabled.
void gf_setDestination(const std::string& code, RunPosition position, bool onWorker);

// ---- Folder openers ----
bool gf_openParametersFolder();
bool gf_openManual();

// The two counters of hand-made airport files (airports/my_ORBX and
// airports/my_thirdparty).
void gf_showHandmadeCounters(std::size_t orbx, std::size_t thirdparty);
// The window's texts of a run emptied, its display marks back to their start
// values.
void gf_resetWindowTexts();
// Serves the window's requests (the per-second check of the main loop).
void lf_serveWindowRequests(const RunPorts& ports);
// Back to the start of the process (tests).
void gf_resetWindowServices();
