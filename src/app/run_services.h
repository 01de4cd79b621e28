// Everything a run asks of the other subsystems, as one set of replaceable
// calls: the simulator link, the live feed, the traffic engine, the aircraft
// catalogue, the airports and the window. The program installs its real
// wiring once at start (gf_realRunServices); what is not built yet stays a
// quiet stand-in. Tests install fakes and drive whole runs in virtual time.
#pragma once

#include "core/settings.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

struct RunPosition {
    double lat = 0.0;
    double lon = 0.0;
};

// The window messages a run posts when it ends.
enum class RunMessage {
    startRun,    // WM_APP+1: the next run
    endProgram,  // WM_APP+2: save the window position and quit
};

struct RunServices {
    // ---- Settings file ----
    std::function<void()> checkParametersFile = [] {};

    // ---- Main window and updater ----
    std::function<void(RunMessage)> postToWindow = [](RunMessage) {};
    std::function<void()> fillComboBoxes = [] {};
    // False when a new program version was fetched (NEW VERSION is set then).
    std::function<bool()> checkForUpdates = [] { return true; };
    std::function<void(ComboParameter&)> fillComboFromInts = [](ComboParameter&) {};
    std::function<void()> applySimTime = [] {};
    std::function<void(int minutes, bool quiet)> setTimeShift = [](int, bool) {};
    std::function<void(const std::string& code, RunPosition position)> setDestination = [](const std::string&,
                                                                                           RunPosition) {};
    std::function<void()> autoRange = [] {};
    std::function<void()> checkNoTraffic = [] {};
    std::function<void()> fillCallsignCombo = [] {};
    std::function<void()> announceStaticUpdate = [] {};
    std::function<void()> disableParkingControls = [] {};
    // The parking controls back once the static parking has been rebuilt (or
    // there was nothing to rebuild).
    std::function<void()> enableParkingControls = [] {};
    // The window's parking-busy flag: the parking controls are disabled while
    // the static parking is rebuilt.
    std::function<bool()> parkingControlsBusy = [] { return false; };
    std::function<void()> showParkingPositionCount = [] {};
    std::function<void()> updateLiveCount = [] {};
    std::function<void(bool topmost)> setWindowTopmost = [](bool) {};
    // The two counters of hand-made airport files (airports/my_ORBX and
    // airports/my_thirdparty).
    std::function<void(std::size_t orbx, std::size_t thirdparty)> showHandmadeCounters = [](std::size_t,
                                                                                            std::size_t) {};
    // The window's texts of a run emptied, its display marks back to their
    // start values.
    std::function<void()> resetWindowTexts = [] {};
    // Before the simulator session of the run opens.
    std::function<bool()> noSimSession = [] { return true; };
    // The time shift (minutes, 0..20160) sent with every request of both
    // readers.
    std::function<void(std::int32_t minutes)> applyTimeOffset = [](std::int32_t) {};
    // The Traffic Reader's count of received flights.
    std::function<std::int64_t()> receivedFlightCount = [] { return std::int64_t{0}; };
    std::function<double()> userAltitudeFt = [] { return 0.0; };

    // ---- Simulator link ----
    std::function<void()> resetSimQueues = [] {};
    // Joins a previous SimClient thread (asked to stop by the previous
    // closing down) and starts the run's one.
    std::function<void()> startSimClient = [] {};
    std::function<void()> requestSimClientStop = [] {};
    std::function<void()> joinSimClient = [] {};
    std::function<bool()> simRunning = [] { return false; };
    std::function<bool()> requestError = [] { return false; };
    // Takes the per-second tick (exchange with false).
    std::function<bool()> takeSecondTick = [] { return false; };
    std::function<bool()> secondTickPending = [] { return false; };
    // Asks for the user aircraft's on-ground state every second; false when
    // the request failed.
    std::function<bool()> requestUserOnGround = [] { return true; };
    std::function<void()> simRequestError = [] {};
    std::function<bool()> userOnGroundKnown = [] { return false; };
    std::function<bool()> userOnGround = [] { return false; };
    // Asks for the next position of the user aircraft and keeps the one
    // received before as the run's user aircraft block.
    std::function<void()> requestUserAcPosition = [] {};
    std::function<RunPosition()> userPosition = [] { return RunPosition{}; };
    std::function<void()> requestUserAcTitleAndModel = [] {};
    // The simulator's UTC time in epoch seconds.
    std::function<std::int64_t()> simTime = [] { return std::int64_t{0}; };
    std::function<void()> createFlightPlanFolder = [] {};
    std::function<void()> removeFlightPlanFolder = [] {};
    std::function<void()> clearRememberedLiveryTitles = [] {};
    std::function<void()> clearAiPositionBuffers = [] {};
    // The link back to its start: queues, pending lists, connection, flags
    // (simulator running, request error, second tick), the user aircraft
    // block; the expected simulator version from P3D_VERSION.
    std::function<void()> resetSimLink = [] {};

    // ---- Live feed ----
    std::function<void()> updateTrafficBox = [] {};
    std::function<void()> updateReaderLamps = [] {};
    // The login, on the worker thread.
    std::function<void()> authenticate = [] {};
    // The session GUID is there.
    std::function<bool()> authenticated = [] { return false; };
    std::function<void()> startWeatherReader = [] {};
    std::function<void()> startTrafficReader = [] {};
    std::function<bool()> weatherReaderFinished = [] { return true; };
    std::function<bool()> trafficReaderFinished = [] { return true; };
    // Raises both readers' stop flags.
    std::function<void()> stopReaders = [] {};
    // Joins reader threads that have finished.
    std::function<void()> joinFinishedReaders = [] {};
    std::function<void()> deauthenticate = [] {};
    // The QNH shown in the window; 0 until the first of the run.
    std::function<int()> qnhShown = [] { return 0; };
    std::function<bool()> trafficReaderReceiving = [] { return false; };
    std::function<void(RunPosition)> setTrafficFilterCentre = [](RunPosition) {};
    // The Traffic Reader collects callsigns and hexids for the static update.
    std::function<void()> raiseCollectFlag = [] {};
    // Both reader lamps (1 receiving, 2 idle, 3 stopped), repainted.
    std::function<void(int lamp)> setReaderLamps = [](int) {};
    // Clients, lamps and the QNH shown back to the start of a run.
    std::function<void()> resetRtClients = [] {};

    // ---- Traffic engine ----
    std::function<void()> reserveTrafficContainers = [] {};
    // Opens or closes the hand-over of live batches (under the traffic mutex).
    std::function<void(bool open)> setTrafficHandover = [](bool) {};
    // One traffic pass.
    std::function<void()> handleAddingStack = [] {};
    std::function<void(bool initial)> staticParking = [](bool) {};
    std::function<void()> removeStaticTwins = [] {};
    std::function<std::string()> reservedStand = [] { return std::string(); };
    std::function<void()> clearReservedStand = [] {};
    std::function<void()> handleSimObjectEvents = [] {};
    // The front of the new live hexids: coupled callsigns and static
    // duplicates; at most one entry a call.
    std::function<void()> handleNewLiveHexid = [] {};
    std::function<void()> removeAllStaticAc = [] {};
    std::function<void()> fillLiveAcCombo = [] {};
    std::function<void()> removeUserAirConflicts = [] {};
    std::function<void()> removeUserGroundConflicts = [] {};
    std::function<void()> avoidLiveParkedCollisions = [] {};
    // Removes the first active live aircraft with this callsign.
    std::function<void(const std::string& callsign)> removeBlockedCallsign = [](const std::string&) {};
    std::function<bool()> parkAirportInUse = [] { return false; };
    std::function<bool()> standListEmpty = [] { return true; };
    std::function<bool()> standsLoaded = [] { return false; };
    std::function<void(std::int32_t value)> applyParkTrafficChanges = [](std::int32_t) {};
    // Leaves the park airport: its settings restored, its learned stand file
    // saved, its static aircraft gone.
    std::function<void()> clearAirportTraffic = [] {};
    std::function<void()> clearGhostCallsigns = [] {};
    std::function<void()> clearUnmatchedFlights = [] {};
    std::function<void()> resetTraffic = [] {};
    // Served for the window's requests (worker thread).
    std::function<void(bool on)> setParkedNavLights = [](bool) {};
    // Removes the farthest active live aircraft until at most max are left.
    std::function<void(int max)> removeSurplusLiveAc = [](int) {};
    // Every live aircraft out of the simulator (a new time shift).
    std::function<void()> removeAllLiveAc = [] {};
    // Active parked live aircraft; with the flag, their mean parked hours
    // become the window's live average fit.
    std::function<int(bool storeFit)> countParkedLiveAc = [](bool) { return 0; };
    // Active live aircraft that are not parked.
    std::function<int()> countFlyingLiveAc = [] { return 0; };
    // Static aircraft active or being removed; with the flag, their mean
    // parked hours become the window's static average fit.
    std::function<int(bool storeFit)> showStaticParkStats = [](bool) { return 0; };
    // The ParkingPositions still waiting while the static parking is built.
    std::function<int()> waitingParkingPositions = [] { return 0; };

    // ---- Aircraft catalogue ----
    std::function<bool()> readDbase = [] { return true; };
    std::function<void()> scanLiveries = [] {};
    std::function<void()> processScannedLiveries = [] {};
    std::function<void()> reserveLiveryCatalogue = [] {};
    std::function<void()> logLiveryMatchingSummary = [] {};
    std::function<void()> logUnmatchedFlights = [] {};
    // The catalogue is built again by the next run's processing.
    std::function<void()> clearLiveryCatalogue = [] {};

    // ---- Airports and stands ----
    std::function<bool()> readAirports = [] { return true; };
    std::function<bool()> readMyParkAirports = [] { return true; };
    std::function<void()> scanAddonAirports = [] {};
    std::function<std::optional<RunPosition>(const std::string& code)> findAirport = [](const std::string&) {
        return std::optional<RunPosition>{};
    };
    // Puts the airport at the front of the park-airport list.
    std::function<void(const std::string& code, RunPosition position)> addDestinationAirport =
        [](const std::string&, RunPosition) {};
    // The first entry of the park-airport list, nothing when it is empty.
    std::function<std::optional<RunPosition>()> firstParkAirport = [] { return std::optional<RunPosition>{}; };
    // Reads my_park_airports.txt again; true with a message for the status
    // line.
    std::function<bool(bool checkReservedStand, std::string& message)> checkParkAirports = [](bool, std::string&) {
        return false;
    };
};

// The services in use.
RunServices& gf_runServices();
// Replaces the services (the program's wiring at start; fakes in tests).
void gf_setRunServices(RunServices services);

// The program's wiring: the real simulator link and live feed, the window
// where it exists, stand-ins for the rest.
RunServices gf_realRunServices();
// The end of the process: threads the wiring started that are still there
// are asked to stop and joined.
void gf_stopRunServiceThreads();
