// The SimClient thread: one per run, it connects to the simulator, declares
// its events and data definitions, dispatches every simulator message to the
// handlers and sends the queued AI commands on each simulator frame.
//
// The flags and blocks below are read by the worker and the window while the
// SimClient thread writes them: each is atomic or copied out under a lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "simconnect/api.h"
#include "simlink/ac_category.h"
#include "simlink/sim_ids.h"
#include "simlink/sim_queues.h"

// The connection; null before SimConnect_Open succeeds and after the SimClient
// thread closed it. Set and cleared only under g_simMutex, so a thread that
// holds g_simMutex and finds it set may call the library with it.
extern std::atomic<SimConnectHandle> g_simHandle;

// The simulator runs a flight (the "Sim" event was 1); cleared on QUIT, a
// "Sim" event of 0 and a lost connection.
extern std::atomic<bool> g_simRunning;
// The window's copy of g_simRunning.
extern std::atomic<bool> g_simRunningShown;
// The simulator answered the Open.
extern std::atomic<bool> g_simConnected;
// A request failed: nothing more is sent in this run (SIMCONNECT ERROR).
extern std::atomic<bool> g_requestError;
// Set on each answer to the per-second request 108; the main loop takes it.
extern std::atomic<bool> g_secondTick;
// Set until a run's connection is open.
extern std::atomic<bool> g_noSimSession;
// The simulator's UTC time (epoch seconds) from the last user position.
extern std::atomic<std::int64_t> g_simTime;
// Frame rate of the simulator, taken every 30 frames.
extern std::atomic<float> g_frameRate;
// P3D_VERSION as the run started (5 or 6).
extern std::atomic<int> g_expectedSimVersion;
// The user aircraft's object id (2 until the first position answer); objects
// with a higher id are AI objects.
inline constexpr std::uint32_t kFirstUserObjectId = 2;
extern std::atomic<std::uint32_t> g_userObjectId;

// The user aircraft's SIM ON GROUND (value) and whether an answer came yet.
struct UserOnGround {
    std::atomic<bool> value{false};
    std::atomic<bool> known{false};
};
extern UserOnGround g_userOnGround;

// The twelve values of definition 403, in its order.
struct UserAcData {
    double lat_deg = 0;
    double lon_deg = 0;
    double pitch_rad = 0;
    double bank_rad = 0;
    double heading_rad = 0;
    double alt_ft = 0;
    double altAboveGround_ft = 0;
    double groundVelocity_kt = 0;
    std::int64_t zuluTime_s = 0;
    std::int64_t zuluDayOfYear = 0;
    std::int64_t zuluYear = 0;
    std::int64_t lightStates = 0;
};
// The latest user aircraft block, copied out under a small lock.
UserAcData gf_userAcData();
void gf_setUserAcData(const UserAcData& data);

// The user aircraft's model: half wing span (nothing until the model answer),
// whether the model's span is known, and its category.
std::optional<double> gf_userHalfWingspanNm();
extern std::atomic<bool> g_userModelKnown;
extern std::atomic<AcCategory> g_userCategory;

// Texts the window paints, copied under a lock.
struct SimLinkTexts {
    std::string simName;        // "{name} ({a}.{b}.{c}.{d})"
    std::string userAcTitle;    // at most 48 characters
    std::string userStandName;  // the window's copy; kNoStandText once the user left a stand
};
SimLinkTexts gf_simLinkTexts();
// What the window shows once the user aircraft left its stand.
inline constexpr const char* kNoStandText = "-";

// ---- The thread ----

// The thread body; ends when the stop token asks, when a stop flag is set
// during the connect loop, or when the connection fails.
void gf_simClientThread(std::stop_token stop);
// The run's SimClient thread object: start joins a previous thread first
// (asked to stop by the previous closing down); stop only asks.
void gf_startSimClientThread();
void gf_stopSimClientThread();
void gf_joinSimClientThread();
// True while a thread started here has not ended.
bool gf_simClientThreadActive();

// ---- Requests from other threads (each under g_simMutex) ----

// Returns the block received before and asks for the next (request 109);
// on the worker it also refreshes the user's stand name (see below).
UserAcData gf_requestUserAcPosition();
// Requests 106 (title) and 107 (ATC model), once per run.
void gf_requestUserAcTitleAndModel();
// Asks for SIM ON GROUND every second (request 108); false when it failed
// (SIMCONNECT ERROR is set then).
bool gf_requestUserOnGroundEverySecond();
// "SimConnect request error": raises g_requestError and ends the run with
// SIMCONNECT ERROR (9 s) when first. Any thread.
void gf_simRequestError();

// ---- User stand (worker thread) ----

// The stand lookups run on the worker, never on the SimClient thread: the
// handlers only store the position and ask for a parking-spot check.
// Refreshes the user's stand name from the latest position and, when the
// SimClient thread asked for it, runs the parking-spot check.
void gf_updateUserStand();
// The parking-spot check now: when the user aircraft stands still on a
// stand of the current park airport, that stand becomes the reserved stand
// of the park-airport list. For the closing down, after the SimClient thread
// was asked to stop.
void gf_checkUserParkingSpot();
// The stand at the user aircraft's position (empty when none).
std::string gf_userParkingSpotName();

// ---- Reset ----

// Back to the start of a run: joins the thread started here, empties the
// queues and pending lists, clears the flags, the user aircraft block and its
// previous position, the texts, and sets g_userObjectId back to 2 and
// g_noSimSession. g_expectedSimVersion takes p3dVersion.
void gf_resetSimLink(int p3dVersion);
