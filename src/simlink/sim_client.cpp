#include "simlink/sim_client.h"

#include <fmt/format.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "core/exit_reason.h"
#include "core/log.h"
#include "core/run_flags.h"
#include "core/user_error.h"
#include "simconnect/config.h"
#include "simlink/sim_neighbours.h"
#include "simlink/sim_state.h"
#include "simlink/sim_timer.h"
#include "core/status_line.h"
#include "core/ui_sink.h"

std::atomic<SimConnectHandle> g_simHandle{nullptr};
std::atomic<bool> g_simRunning{false};
std::atomic<bool> g_simRunningShown{false};
std::atomic<bool> g_simConnected{false};
std::atomic<bool> g_requestError{false};
std::atomic<bool> g_secondTick{false};
std::atomic<bool> g_noSimSession{true};
std::atomic<std::int64_t> g_simTime{0};
std::atomic<float> g_frameRate{0.0f};
std::atomic<int> g_expectedSimVersion{5};
std::atomic<std::uint32_t> g_userObjectId{kFirstUserObjectId};
UserOnGround g_userOnGround;
std::atomic<bool> g_userModelKnown{false};
std::atomic<AcCategory> g_userCategory{AcCategory::Light};

std::atomic<bool> g_simQuitReceived{false};
std::atomic<bool> g_userParkingSpotCheckDue{false};
std::atomic<int> g_frameCount{0};

namespace {

constexpr const char* kAppName = "GLIM_P3D";
constexpr auto kOpenRetry = std::chrono::milliseconds(100);
constexpr auto kDispatchPeriod = std::chrono::milliseconds(1);
constexpr int kSimRequestErrorDelay_s = 9;
// Below this ground speed the user aircraft stands on its stand.
constexpr double kParkedSpeed_kt = 2.0;

// The user aircraft block and the position of the answer before it.
std::mutex g_userAcMutex;
UserAcData g_userAcData;
LatLon g_userPreviousPosition{0.0, 0.0};

// Window texts and the worker's stand name.
std::mutex g_textMutex;
SimLinkTexts g_texts;
std::string g_userStandName;

std::atomic<double> g_userHalfWingspanNm{std::numeric_limits<double>::quiet_NaN()};

std::mutex g_threadMutex;
std::jthread g_simClientThreadObject;
std::atomic<bool> g_simClientThreadRunning{false};


// Step 1: retries the Open every 100 ms; false when the run stops first.
bool lf_connect(const std::stop_token& stop, bool announce) {
    bool first = announce;
    for (;;) {
        if (g_runStopping.load() || g_userClosing.load() || stop.stop_requested()) return false;
        if (first) {
            first = false;
            const std::string version = gf_simLinkNeighbours().simVersionText();
            // Without SimConnect.cfg the library looks for the pipe and the
            // registry ports of the version the user is waiting for.
            gf_setSimConnectP3dVersion(version == "6" ? 6 : 5);
            // Where it is looked for, when SimConnect.cfg says: a user whose
            // file names a PC that is off sees which one the program waits for.
            const std::string target = gf_simConnectTargetText();
            gf_setStatusLine(target.empty() ? fmt::format("Waiting for Prepar3Dv{} ...", version)
                                            : fmt::format("Waiting for Prepar3Dv{} ... ({})", version, target),
                             true);
            gf_logFlush();
            gf_repaintAll();
        }
        SimConnectHandle handle = nullptr;
        if (SimConnect_Open(&handle, kAppName, nullptr, 0, nullptr, 0) == SIMCONNECT_OK && handle) {
            std::lock_guard lock(g_simMutex);
            g_simHandle.store(handle);
            return true;
        }
        std::this_thread::sleep_for(kOpenRetry);
    }
}

struct DatumDef {
    const char* name;
    const char* units;
    std::uint32_t type;
};

void lf_addDefinition(SimConnectHandle h, std::uint32_t defineId, std::initializer_list<DatumDef> datums) {
    for (const DatumDef& d : datums)
        SimConnect_AddToDataDefinition(h, defineId, d.name, d.units, d.type, 0.0f, kSimUnusedDatumId);
}

void lf_setupSimConnect(SimConnectHandle h) {
    SimConnect_SubscribeToSystemEvent(h, SimEventSim, "Sim");
    SimConnect_SubscribeToSystemEvent(h, SimEventObjectAdded, "ObjectAdded");
    SimConnect_SubscribeToSystemEvent(h, SimEventObjectRemoved, "ObjectRemoved");
    SimConnect_SubscribeToSystemEvent(h, SimEventPositionChanged, "PositionChanged");
    SimConnect_SubscribeToSystemEvent(h, SimEventFlightLoaded, "FlightLoaded");
    SimConnect_SubscribeToSystemEvent(h, SimEventFrame, "Frame");

    constexpr std::uint32_t f64 = SimDatumFloat64, i64 = SimDatumInt64;
    lf_addDefinition(h, SimDefTitle, {{"TITLE", nullptr, SimDatumStringV}});
    lf_addDefinition(h, SimDefAtcModel, {{"ATC MODEL", nullptr, SimDatumString32}});
    lf_addDefinition(h, SimDefOnGround, {{"SIM ON GROUND", "Bool", i64}});
    lf_addDefinition(h, SimDefAiPosition,
                     {{"Plane Latitude", "degree", f64},
                      {"Plane Longitude", "degree", f64},
                      {"Plane Pitch degrees", "radians", f64},
                      {"Plane Bank degrees", "radians", f64},
                      {"Plane Heading degrees true", "radians", f64},
                      {"Plane Altitude", "feet", f64},
                      {"Vertical Speed", "feet per second", f64},
                      {"Airspeed True", "knots", f64}});
    lf_addDefinition(h, SimDefUserAircraft,
                     {{"Plane Latitude", "degree", f64},
                      {"Plane Longitude", "degree", f64},
                      {"Plane Pitch degrees", "radians", f64},
                      {"Plane Bank degrees", "radians", f64},
                      {"Plane Heading degrees true", "radians", f64},
                      {"Plane Altitude", "feet", f64},
                      {"Plane Alt Above Ground", "feet", f64},
                      {"Ground Velocity", "knots", f64},
                      {"ZULU TIME", "Seconds", i64},
                      {"ZULU DAY OF YEAR", "Number", i64},
                      {"ZULU YEAR", "Number", i64},
                      {"LIGHT STATES", "Mask", i64}});
    lf_addDefinition(h, SimDefStaticCg,
                     {{"Static CG to Ground", "feet", f64}, {"Static Pitch", "radians", f64}});
    lf_addDefinition(h, SimDefLightStates, {{"Light On States", "Mask", i64}});
    lf_addDefinition(h, SimDefAircraftByType,
                     {{"Plane Alt Above Ground", "feet", f64},
                      {"Ground Altitude", "feet", f64},
                      {"SIM ON GROUND", "Bool", i64},
                      {"ATC ID", nullptr, SimDatumString32}});
    lf_addDefinition(h, SimDefSpoilersThrottles,
                     {{"SPOILERS HANDLE POSITION", "percent", f64},
                      {"GENERAL ENG THROTTLE LEVER POSITION:1", "percent", f64},
                      {"GENERAL ENG THROTTLE LEVER POSITION:2", "percent", f64}});

    struct EventName {
        std::uint32_t id;
        const char* name;
    };
    static const EventName kMapped[] = {
        {SimEventGearSet, "GEAR_SET"},
        {SimEventEngineAutoStart, "ENGINE_AUTO_START"},
        {SimEventEngineAutoShutdown, "ENGINE_AUTO_SHUTDOWN"},
        {SimEventThrottleSet, "THROTTLE_SET"},
        {SimEventFlapsSet, "FLAPS_SET"},
        {SimEventSpoilersSet, "SPOILERS_SET"},
        {SimEventNavLightsSet, "NAV_LIGHTS_SET"},
        {SimEventBeaconLightsSet, "BEACON_LIGHTS_SET"},
        {SimEventLandingLightsSet, "LANDING_LIGHTS_SET"},
        {SimEventTaxiLightsSet, "TAXI_LIGHTS_SET"},
        {SimEventStrobesSet, "STROBES_SET"},
        {SimEventLogoLightsSet, "LOGO_LIGHTS_SET"},
        {SimEventCabinLightsSet, "CABIN_LIGHTS_SET"},
        {SimEventAllLightsToggle, "ALL_LIGHTS_TOGGLE"},
        {SimEventFreezeLatitudeLongitudeSet, "FREEZE_LATITUDE_LONGITUDE_SET"},
        {SimEventFreezeAltitudeSet, "FREEZE_ALTITUDE_SET"},
        {SimEventFreezeAttitudeSet, "FREEZE_ATTITUDE_SET"},
    };
    for (const EventName& e : kMapped) SimConnect_MapClientEventToSimEvent(h, e.id, e.name);

    // ENGINE_AUTO_START is mapped but not a member of the group.
    static const std::uint32_t kGrouped[] = {
        SimEventNavLightsSet,   SimEventBeaconLightsSet, SimEventLandingLightsSet,
        SimEventTaxiLightsSet,  SimEventStrobesSet,      SimEventLogoLightsSet,
        SimEventCabinLightsSet, SimEventAllLightsToggle, SimEventFlapsSet,
        SimEventSpoilersSet,    SimEventGearSet,         SimEventEngineAutoShutdown,
        SimEventThrottleSet,    SimEventFreezeLatitudeLongitudeSet,
        SimEventFreezeAltitudeSet, SimEventFreezeAttitudeSet,
    };
    for (std::uint32_t id : kGrouped) SimConnect_AddClientEventToNotificationGroup(h, SimGroupAiEvents, id, true);

    // Priority 1: the highest.
    SimConnect_SetNotificationGroupPriority(h, SimGroupAiEvents, 1);
}

// How a dispatch loop ended.
enum class DispatchEnd { stopped, simGone, lostBeforeAnswer };

// Step 3: dispatch about every millisecond until the run stops it. A failed
// dispatch or a QUIT means the simulator is gone: the run ends as SIM WAS
// CLOSED instead of waiting for a simulator that will not come back. A link
// that fails before the simulator ever answered was no simulator at all (a
// host that took the connection and dropped it): it is waited for again,
// like one that refused.
DispatchEnd lf_dispatchLoop(const std::stop_token& stop, SimConnectHandle handle) {
    while (!stop.stop_requested()) {
        const SimConnectResult result = SimConnect_CallDispatch(handle, lf_dispatchSimMessage, nullptr);
        const auto returned = std::chrono::steady_clock::now();
        if (gf_simConnectFailed(result) && !g_simConnected.load() && !g_simQuitReceived.load())
            return DispatchEnd::lostBeforeAnswer;
        if (gf_simConnectFailed(result) || g_simQuitReceived.load()) {
            g_simRunning.store(false);
            g_simRunningShown.store(false);
            gf_simDisconnected();
            return DispatchEnd::simGone;
        }
        std::this_thread::sleep_until(returned + kDispatchPeriod);
    }
    return DispatchEnd::stopped;
}

// Step 5.
void lf_endSession() {
    g_userParkingSpotCheckDue.store(true);
    g_simConnected.store(false);
    gf_repaintAll();
    // Closed under g_simMutex: a thread that holds it either finished its call
    // before or finds the handle null afterwards, never a closed connection.
    std::lock_guard lock(g_simMutex);
    const SimConnectHandle handle = g_simHandle.exchange(nullptr);
    if (!handle) return;
    if (gf_simConnectFailed(SimConnect_Close(handle))) {
        gf_logHighlight("Closing SimConnect failed?!");
    } else {
        gf_logLine("SimConnect closed ok");
    }
}

void lf_simClientSession(const std::stop_token& stop) {
    bool timerOn = false;
    try {
        bool again = false;
        while (lf_connect(stop, !again)) {
            g_noSimSession.store(false);
            lf_setupSimConnect(g_simHandle.load());
            gf_simTimerResolutionBegin();
            timerOn = true;
            const DispatchEnd end = lf_dispatchLoop(stop, g_simHandle.load());
            timerOn = false;
            gf_simTimerResolutionEnd();
            if (end != DispatchEnd::lostBeforeAnswer) break;
            // Said once: a host that takes and drops every attempt would
            // otherwise fill Log.txt.
            if (!again) gf_logLine("SimConnect: the connection failed before Prepar3D answered, waiting again");
            again = true;
            g_noSimSession.store(true);
            // Nothing of a session began: only the connection goes.
            std::lock_guard lock(g_simMutex);
            if (const SimConnectHandle handle = g_simHandle.exchange(nullptr)) SimConnect_Close(handle);
        }
    } catch (const ozr::UserErrorException& e) {
        if (timerOn) gf_simTimerResolutionEnd();
        const std::string text = e.what();
        gf_setErrorLine(text.empty() ? "Unknown exception" : text);
    } catch (const std::exception& e) {
        if (timerOn) gf_simTimerResolutionEnd();
        gf_setErrorLine(e.what());
        g_simRunning.store(false);
        gf_simDisconnected();
    } catch (...) {
        if (timerOn) gf_simTimerResolutionEnd();
        gf_setErrorLine(fmt::format("Exception in {}", "SimClient"));
        g_simRunning.store(false);
        gf_simDisconnected();
    }
    lf_endSession();
}


}  // namespace

// ---- Shared blocks ----

UserAcData gf_userAcData() {
    std::lock_guard lock(g_userAcMutex);
    return g_userAcData;
}

void gf_setUserAcData(const UserAcData& data) {
    std::lock_guard lock(g_userAcMutex);
    g_userAcData = data;
}

LatLon lf_storeUserAcData(const UserAcData& data) {
    std::lock_guard lock(g_userAcMutex);
    g_userAcData = data;
    const LatLon previous = g_userPreviousPosition;
    g_userPreviousPosition = LatLon{data.lat_deg, data.lon_deg};
    return previous;
}

std::optional<double> gf_userHalfWingspanNm() {
    const double v = g_userHalfWingspanNm.load();
    if (std::isnan(v)) return std::nullopt;
    return v;
}

void lf_setUserHalfWingspanNm(double halfSpan_nm) { g_userHalfWingspanNm.store(halfSpan_nm); }

SimLinkTexts gf_simLinkTexts() {
    std::lock_guard lock(g_textMutex);
    return g_texts;
}

void lf_setSimName(const std::string& name) {
    std::lock_guard lock(g_textMutex);
    g_texts.simName = name;
}

std::string lf_userAcTitle() {
    std::lock_guard lock(g_textMutex);
    return g_texts.userAcTitle;
}

void lf_setUserAcTitle(const std::string& title) {
    std::lock_guard lock(g_textMutex);
    g_texts.userAcTitle = title;
}

// ---- The thread ----

void gf_simClientThread(std::stop_token stop) { lf_simClientSession(stop); }

void gf_startSimClientThread() {
    std::lock_guard lock(g_threadMutex);
    if (g_simClientThreadObject.joinable()) {
        g_simClientThreadObject.request_stop();
        g_simClientThreadObject.join();
    }
    g_simClientThreadRunning.store(true);
    g_simClientThreadObject = std::jthread([](std::stop_token stop) {
        lf_simClientSession(stop);
        g_simClientThreadRunning.store(false);
    });
}

void gf_stopSimClientThread() {
    std::lock_guard lock(g_threadMutex);
    if (g_simClientThreadObject.joinable()) g_simClientThreadObject.request_stop();
}

void gf_joinSimClientThread() {
    std::lock_guard lock(g_threadMutex);
    if (g_simClientThreadObject.joinable()) g_simClientThreadObject.join();
}

bool gf_simClientThreadActive() { return g_simClientThreadRunning.load(); }

// ---- Requests from other threads ----

void gf_simRequestError() {
    gf_setStatusLine("SimConnect request error", true);
    g_requestError.store(true);
    // First wins: a run that was stopping already keeps its reason.
    gf_setExitReason(ExitReason::simconnectError, kSimRequestErrorDelay_s);
}

UserAcData gf_requestUserAcPosition() {
    const UserAcData before = gf_userAcData();
    bool failed = false;
    {
        std::lock_guard lock(g_simMutex);
        if (!g_requestError.load()) {
            failed = gf_simConnectFailed(SimConnect_RequestDataOnSimObject(
                g_simHandle.load(), SimReqUserPosition, SimDefUserAircraft, kSimObjectIdUser, SimPeriodOnce, 0, 0, 0, 0));
        }
    }
    if (failed) {
        gf_logHighlight("SimConnect request user ac position fails");
        gf_simRequestError();
    }
    gf_updateUserStand();
    return before;
}

void gf_requestUserAcTitleAndModel() {
    SimConnectResult title = SIMCONNECT_OK;
    SimConnectResult model = SIMCONNECT_OK;
    {
        std::lock_guard lock(g_simMutex);
        const SimConnectHandle h = g_simHandle.load();
        title = SimConnect_RequestDataOnSimObject(h, SimReqUserTitle, SimDefTitle, kSimObjectIdUser, SimPeriodOnce,
                                                  0, 0, 0, 0);
        model = SimConnect_RequestDataOnSimObject(h, SimReqUserModel, SimDefAtcModel, kSimObjectIdUser,
                                                  SimPeriodOnce, 0, 0, 0, 0);
    }
    // Reported outside g_simMutex: the status line and the exit reason need
    // no connection.
    if (gf_simConnectFailed(title)) {
        gf_logHighlight("SimConnect request user ac title fails");
        gf_simRequestError();
    }
    if (gf_simConnectFailed(model)) {
        gf_logHighlight("SimConnect reques user ac model fails");
        gf_simRequestError();
    }
}

bool gf_requestUserOnGroundEverySecond() {
    SimConnectResult result = SIMCONNECT_OK;
    {
        std::lock_guard lock(g_simMutex);
        result = SimConnect_RequestDataOnSimObject(g_simHandle.load(), SimReqUserOnGround, SimDefOnGround,
                                                   kSimObjectIdUser, SimPeriodSecond, 0, 0, 0, 0);
    }
    if (!gf_simConnectFailed(result)) return true;
    gf_logHighlight("SimConnect request ac gnd/air fails");
    gf_simRequestError();
    return false;
}

// ---- User stand (worker) ----

std::string gf_userParkingSpotName() {
    const UserAcData data = gf_userAcData();
    return gf_simLinkNeighbours().standNameAt(LatLon{data.lat_deg, data.lon_deg});
}

void gf_updateUserStand() {
    const std::string name = gf_userParkingSpotName();
    bool changed = false;
    {
        std::lock_guard lock(g_textMutex);
        if (!name.empty() && name != g_userStandName) {
            g_texts.userStandName = name;
            changed = true;
        } else if (name.empty() && !g_userStandName.empty()) {
            g_texts.userStandName = kNoStandText;
            changed = true;
        }
        g_userStandName = name;
    }
    if (changed) gf_repaintAll();
    if (g_userParkingSpotCheckDue.exchange(false)) gf_checkUserParkingSpot();
}

void gf_checkUserParkingSpot() {
    g_userParkingSpotCheckDue.store(false);
    if (!g_userOnGround.known.load()) return;
    if (gf_userAcData().groundVelocity_kt > kParkedSpeed_kt) return;
    const std::string name = gf_userParkingSpotName();
    if (!name.empty()) gf_simLinkNeighbours().reserveUserStand(name);
}

// ---- Reset ----

void gf_resetSimLink(int p3dVersion) {
    gf_joinSimClientThread();
    g_expectedSimVersion.store(p3dVersion);
    gf_clearSimCommandQueues();
    {
        std::lock_guard lock(g_simMutex);
        // The thread closes its own connection; one left behind by a thread
        // started elsewhere and never ended is closed here.
        if (SimConnectHandle handle = g_simHandle.exchange(nullptr)) SimConnect_Close(handle);
    }
    g_simRunning.store(false);
    g_simRunningShown.store(false);
    g_simConnected.store(false);
    g_requestError.store(false);
    g_secondTick.store(false);
    g_noSimSession.store(true);
    g_simQuitReceived.store(false);
    g_userParkingSpotCheckDue.store(false);
    g_frameCount.store(0);
    g_frameRate.store(0.0f);
    g_simTime.store(0);
    g_userObjectId.store(kFirstUserObjectId);
    g_userOnGround.value.store(false);
    g_userOnGround.known.store(false);
    g_userModelKnown.store(false);
    g_userCategory.store(AcCategory::Light);
    g_userHalfWingspanNm.store(std::numeric_limits<double>::quiet_NaN());
    {
        std::lock_guard lock(g_userAcMutex);
        g_userAcData = UserAcData{};
        g_userPreviousPosition = LatLon{0.0, 0.0};
    }
    {
        std::lock_guard lock(g_textMutex);
        g_texts = SimLinkTexts{};
        g_userStandName.clear();
    }
}
