// What a run asks of its neighbours, one interface each: the window, the
// simulator link, the live feed, the traffic engine, the static parking at
// the park airport, the aircraft catalogue and the airports. The program's
// wiring (src/app/wiring) implements every interface once and installs them
// at start; tests implement them with fakes that record what the run asked.
// Nothing has a default: an implementation that leaves out a call does not
// compile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
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

// The main window, the updater and the settings file.
class RunWindow {
public:
    virtual ~RunWindow() = default;
    // Loads parameters.xml and brings a file an older program wrote up to
    // date.
    virtual void checkParametersFile() = 0;
    virtual void postToWindow(RunMessage message) = 0;
    virtual void setWindowTopmost(bool topmost) = 0;
    // False when a new program version was fetched (NEW VERSION is set then).
    virtual bool checkForUpdates() = 0;
    // A data file the run cannot start without did not come from the site:
    // tells the user what to check and waits before the next try; false
    // when the user closed the window meanwhile.
    virtual bool waitForDownloadSite(const std::filesystem::path& missing, bool first) = 0;
    virtual void fillComboBoxes() = 0;
    virtual void applySimTime() = 0;
    virtual void setTimeShift(int minutes, bool quiet) = 0;
    virtual void autoRange() = 0;
    // Logs "No traffic in this region?" when the Traffic Reader still has
    // received nothing after a short wait.
    virtual void checkNoTraffic() = 0;
    virtual void announceStaticUpdate() = 0;
    virtual void disableParkingControls() = 0;
    // The parking controls back once the static parking has been rebuilt (or
    // there was nothing to rebuild).
    virtual void enableParkingControls() = 0;
    // The window's parking-busy flag: the parking controls are disabled while
    // the static parking is rebuilt.
    virtual bool parkingControlsBusy() = 0;
    virtual void updateLiveCount() = 0;
};

// The SimConnect client and the user aircraft as it reports it.
class RunSimLink {
public:
    virtual ~RunSimLink() = default;
    virtual void resetSimQueues() = 0;
    // Joins a previous SimClient thread (asked to stop by the previous
    // closing down) and starts the run's one.
    virtual void startSimClient() = 0;
    virtual void requestSimClientStop() = 0;
    virtual void joinSimClient() = 0;
    // Before the simulator session of the run opens.
    virtual bool noSimSession() = 0;
    virtual bool simRunning() = 0;
    virtual bool requestError() = 0;
    // Takes the per-second tick (exchange with false).
    virtual bool takeSecondTick() = 0;
    virtual bool secondTickPending() = 0;
    // Asks for the user aircraft's on-ground state every second; false when
    // the request failed.
    virtual bool requestUserOnGround() = 0;
    virtual void simRequestError() = 0;
    virtual bool userOnGroundKnown() = 0;
    virtual bool userOnGround() = 0;
    // Asks for the next position of the user aircraft and keeps the one
    // received before as the run's user aircraft block.
    virtual void requestUserAcPosition() = 0;
    virtual RunPosition userPosition() = 0;
    virtual double userAltitudeFt() = 0;
    virtual void requestUserAcTitleAndModel() = 0;
    // The simulator's UTC time in epoch seconds.
    virtual std::int64_t simTime() = 0;
    virtual void createFlightPlanFolder() = 0;
    virtual void removeFlightPlanFolder() = 0;
    virtual void clearRememberedLiveryTitles() = 0;
    virtual void clearAiPositionBuffers() = 0;
    // The link back to its start: queues, pending lists, connection, flags
    // (simulator running, request error, second tick), the user aircraft
    // block; the expected simulator version from P3D_VERSION.
    virtual void resetSimLink() = 0;
};

// The RealTraffic login and its two readers.
class RunFeed {
public:
    virtual ~RunFeed() = default;
    virtual void updateTrafficBox() = 0;
    virtual void updateReaderLamps() = 0;
    // The login, on the worker thread.
    virtual void authenticate() = 0;
    // The session GUID is there.
    virtual bool authenticated() = 0;
    virtual void deauthenticate() = 0;
    virtual void startWeatherReader() = 0;
    virtual void startTrafficReader() = 0;
    virtual bool weatherReaderFinished() = 0;
    virtual bool trafficReaderFinished() = 0;
    // Raises both readers' stop flags.
    virtual void stopReaders() = 0;
    // Joins reader threads that have finished.
    virtual void joinFinishedReaders() = 0;
    // The QNH shown in the window; 0 until the first of the run.
    virtual int qnhShown() = 0;
    virtual bool trafficReaderReceiving() = 0;
    // The Traffic Reader's count of received flights.
    virtual std::int64_t receivedFlightCount() = 0;
    virtual void setTrafficFilterCentre(RunPosition centre) = 0;
    // The Traffic Reader collects callsigns and hexids for the static update.
    virtual void raiseCollectFlag() = 0;
    // The time shift (minutes, 0..20160) sent with every request of both
    // readers.
    virtual void applyTimeOffset(std::int32_t minutes) = 0;
    // Both reader lamps (1 receiving, 2 idle, 3 stopped), repainted.
    virtual void setReaderLamps(int lamp) = 0;
    // Clients, lamps and the QNH shown back to the start of a run.
    virtual void resetRtClients() = 0;
};

// The traffic engine's live aircraft.
class RunEngine {
public:
    virtual ~RunEngine() = default;
    virtual void reserveTrafficContainers() = 0;
    // Opens or closes the hand-over of live batches (under the traffic mutex).
    virtual void setTrafficHandover(bool open) = 0;
    // One traffic pass.
    virtual void handleAddingStack() = 0;
    virtual void handleSimObjectEvents() = 0;
    // The front of the new live hexids: coupled callsigns and static
    // duplicates; at most one entry a call.
    virtual void handleNewLiveHexid() = 0;
    virtual void fillLiveAcCombo() = 0;
    virtual void avoidLiveParkedCollisions() = 0;
    // Removes the first active live aircraft with this callsign.
    virtual void removeBlockedCallsign(const std::string& callsign) = 0;
    virtual void clearGhostCallsigns() = 0;
    virtual void resetTraffic() = 0;
    // Served for the window's requests (worker thread).
    virtual void setParkedNavLights(bool on) = 0;
    // Removes the farthest active live aircraft until at most max are left.
    virtual void removeSurplusLiveAc(int max) = 0;
    // Every live aircraft out of the simulator (a new time shift).
    virtual void removeAllLiveAc() = 0;
    // Active parked live aircraft; with the flag, their mean parked hours
    // become the window's live average fit.
    virtual int countParkedLiveAc(bool storeFit) = 0;
    // Active live aircraft that are not parked.
    virtual int countFlyingLiveAc() = 0;
};

// The static parked traffic at the park airport.
class RunParking {
public:
    virtual ~RunParking() = default;
    virtual void staticParking(bool initial) = 0;
    virtual void removeUserAirConflicts() = 0;
    virtual void removeUserGroundConflicts() = 0;
    virtual void removeStaticTwins() = 0;
    virtual void removeAllStaticAc() = 0;
    virtual void applyParkTrafficChanges(std::int32_t value) = 0;
    // Static aircraft active or being removed; with the flag, their mean
    // parked hours become the window's static average fit.
    virtual int showStaticParkStats(bool storeFit) = 0;
    // The ParkingPositions still waiting while the static parking is built.
    virtual int waitingParkingPositions() = 0;
    virtual bool parkAirportInUse() = 0;
    virtual bool standListEmpty() = 0;
    virtual bool standsLoaded() = 0;
    virtual std::string reservedStand() = 0;
    virtual void clearReservedStand() = 0;
    // Leaves the park airport: its settings restored, its learned stand file
    // saved, its static aircraft gone.
    virtual void clearAirportTraffic() = 0;
};

// The Dbase, the livery catalogue and its match reports.
class RunCatalogue {
public:
    virtual ~RunCatalogue() = default;
    virtual bool readDbase() = 0;
    virtual void scanLiveries() = 0;
    virtual void processScannedLiveries() = 0;
    virtual void reserveLiveryCatalogue() = 0;
    // The catalogue is built again by the next run's processing.
    virtual void clearLiveryCatalogue() = 0;
    virtual void logLiveryMatchingSummary() = 0;
    virtual void logUnmatchedFlights() = 0;
    virtual void clearUnmatchedFlights() = 0;
};

// The airport database and the park-airport list.
class RunAirports {
public:
    virtual ~RunAirports() = default;
    virtual bool readAirports() = 0;
    virtual bool readMyParkAirports() = 0;
    virtual void scanAddonAirports() = 0;
    virtual std::optional<RunPosition> findAirport(const std::string& code) = 0;
    // Puts the airport at the front of the park-airport list.
    virtual void addDestinationAirport(const std::string& code, RunPosition position) = 0;
    // The first entry of the park-airport list, nothing when it is empty.
    virtual std::optional<RunPosition> firstParkAirport() = 0;
    // Reads my_park_airports.txt again; true with a message for the status
    // line.
    virtual bool checkParkAirports(bool checkReservedStand, std::string& message) = 0;
};

// The neighbours of a run.
struct RunPorts {
    RunWindow& window;
    RunSimLink& sim;
    RunFeed& feed;
    RunEngine& engine;
    RunParking& parking;
    RunCatalogue& catalogue;
    RunAirports& airports;
};

// The run control's free functions reach the neighbours through the ports
// installed here: the program's wiring at start, fakes in tests. Using them
// before an installation stops the run with the cause in Log.txt
// (core/port_missing.h).
const RunPorts& gf_runPorts();
void gf_installRunPorts(const RunPorts& ports);
// Tests: the ports of a fixture that goes away.
void gf_uninstallRunPorts();
