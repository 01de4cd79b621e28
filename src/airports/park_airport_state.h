// The park airport as the rest of the program sees it: its stand list, the
// stand file in memory, the current airport, the user's reserved stand and
// the flags the traffic engine gates its parking on.
//
// The stand list and the stand file are the worker thread's. The current
// airport, the airport altitude and the reserved stand are read by the live
// feed's threads as well, so they are kept behind a lock and handed out as
// copies.
#pragma once

#include "airports/airport_database.h"
#include "airports/quality_factor.h"
#include "airports/stand_records.h"
#include "core/geometry.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A value that several threads read and write, copied in and out under its
// own lock.
template <typename T>
class Guarded {
public:
    T get() const {
        std::lock_guard lock(m_mutex);
        return m_value;
    }
    void set(T value) {
        std::lock_guard lock(m_mutex);
        m_value = std::move(value);
    }

private:
    mutable std::mutex m_mutex;
    T m_value{};
};

// The nine airport settings as they were before a stand file changed them.
struct AirportSettingsBackup {
    std::int32_t maxLiveSel = 0;
    std::int32_t maxFit = 0;
    std::int32_t range = 0;
    std::int32_t parkingPercentage = 0;
    bool autoRange = false;
    bool initialLoadOnly = false;
    bool rtParkTrafficOnly = false;
    bool parkSoft = false;
    bool week = false;
};

// The park airport's stand file in memory (its stands are g_standList).
struct ParkAirportFile {
    std::string airport_name;
    std::string publisher;
    std::int32_t altitude = 0;  // feet
    bool handmade = false;
    QualityPair quality;  // 0/0 at start, -1/-1 for a list without options
    std::int32_t RT_traffic_week = 0;
    AirportSettingsBackup backup;
    // The learned file was there but did not read whole: writing the list
    // back would cut the user's file short, so it is left as it is.
    bool learnedNotWhole = false;
};

// The traffic engine's names for these: g_parkAirportInfo is g_currentAirport
// with g_airportAltitude_ft and the in-use mark (a current airport is set);
// g_standChangeCount is g_standFileUpdates.

// Worker thread only.
extern std::vector<Stand> g_standList;
extern ParkAirportFile g_parkAirportFile;

// Set after every stand-file read that passed the file checks; the traffic
// engine clears it when it leaves the airport and parks only while it is set.
extern std::atomic<bool> g_standsLoaded;
// Stand changes the engine recorded since the last save of the learned file.
extern std::atomic<std::int32_t> g_standFileUpdates;

// The airport the traffic engine made current; empty before.
extern Guarded<std::optional<Airport>> g_currentAirport;
// The stand file's altitude; empty while no park airport is set.
extern Guarded<std::optional<double>> g_airportAltitude_ft;
// The stand reserved for the user at the current airport, and whether it
// names a stand of the stand list.
extern Guarded<std::string> g_reservedStand;
extern std::atomic<bool> g_reservedStandFound;

// What the main window shows of the park airport.
struct AirportDisplay {
    std::string parkAirportText;  // gf_parkAirportLabel of the current airport
    std::string airportName;
    std::string publisher;
    std::string qualityText;
    std::size_t standCount = 0;
    bool standsShown = false;
    bool handmade = false;
    // Files in airports/my_ORBX and airports/my_thirdparty.
    std::size_t orbxFileCount = 0;
    std::size_t thirdpartyFileCount = 0;
};
extern Guarded<AirportDisplay> g_airportDisplay;
// Changes one part of the display values and repaints the window.
template <typename F>
void gf_changeAirportDisplay(F change) {
    AirportDisplay display = g_airportDisplay.get();
    change(display);
    g_airportDisplay.set(std::move(display));
}

// The id of the stand within 55 m of position, while stands are loaded and
// the user aircraft is on the ground; empty otherwise. The answer is kept
// while the position does not change.
std::string gf_standNameAt(LatLon position, bool onGround);
// The stand of that id in g_standList, or g_standList.end().
std::vector<Stand>::iterator gf_findStandByName(const std::string& id);
// Empties the stand list (and the cached stand answer).
void gf_clearStands();

// Everything above back to the start of the program; for tests and the
// reset of the traffic state.
void gf_resetParkAirportState();
