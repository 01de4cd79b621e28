// One run after another on the worker thread: the start-up reading, the
// session start, the main loop with its periodic jobs, and the closing down
// that restarts the next run or ends the program.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// ---- Worker and session (run_worker.cpp) ----

// Body of the worker thread of one run.
void lf_runWorker();
// The session start and the main loop.
bool lf_runTraffic();
// Waits until the simulator runs and the user aircraft has a position; false
// when a stop flag was set meanwhile.
bool lf_requestAircraftGndAir();
// Before the login: keeps the service's two seconds between visits, counted
// from LAST_EPOCH_TIME:. elapsed_s is the time since then.
void lf_holdBeforeLogin(std::int64_t elapsed_s);
// The format with the application name in both of its placeholders.
std::string lf_appMessage(std::string_view format);

// ---- Start-up reading (startup_reading.cpp) ----

// Prepar3D v5 and v6 found in the registry, once at program start.
extern std::atomic<bool> g_p3dV5Installed;
extern std::atomic<bool> g_p3dV6Installed;
void gf_findInstalledSimulators();

void lf_startupReading();
void lf_prepareAirportsFolder();
void lf_checkSceneryFolders();
void lf_detectSimulator();
// "5" or "6"; throws user error 77 when neither the install path nor
// P3D_VERSION tells.
std::string gf_simVersionFromPath();
void lf_productionExit();

// The Dbase is read once per process; a run whose reading failed leaves it
// unread for the next run to try again.
extern std::atomic<bool> g_dataFilesRead;

// The run ended on an install path the user must type (user errors 151, 153
// and 77). Entering an accepted install path then restarts the run.
extern std::atomic<bool> g_installPathError;
void gf_markInstallPathError();
// The install-path edit accepted a new path: NEW SETTINGS with 3 s, also in
// place of the SYSTEM ERROR of an install-path error.
void gf_restartForNewInstallPath();

// ---- Main loop (main_loop.cpp) ----

void lf_mainLoop();
void lf_flightResumed();
void lf_flightNotRunning();
void lf_handleReReadRequest();
void lf_periodicJobs(std::uint32_t count);
// The main loop's state back to its start (second counter, marks, the
// static-update request and the block-callsign flag).
void lf_resetMainLoopState();
// The simulator seconds counted by the running main loop.
std::uint32_t lf_secondCounter();

// ---- Closing down (closing_down.cpp) ----

void lf_closingDown();
void lf_restartCountdown();
void lf_resetRunState();
void lf_resetTimeShift();

// What the run started that its closing down must end.
struct RunStarts {
    std::atomic<bool> simClient{false};
    std::atomic<bool> weatherReader{false};
    std::atomic<bool> trafficReader{false};
};
extern RunStarts g_runStarts;

// How long the closing down waits for the readers to finish: their
// transfers end within 30 s of a stop.
inline constexpr int kReaderFinishWait_s = 40;
