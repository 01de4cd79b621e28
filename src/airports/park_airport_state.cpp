#include "airports/park_airport_state.h"
#include "airports/park_stand_file.h"
#include "airports/stand_file.h"
#include "airports/stand_file_locate.h"

std::vector<Stand> g_standList;
ParkAirportFile g_parkAirportFile;
std::atomic<bool> g_standsLoaded{false};
std::atomic<std::int32_t> g_standFileUpdates{0};
Guarded<std::optional<Airport>> g_currentAirport;
Guarded<std::optional<double>> g_airportAltitude_ft;
Guarded<std::string> g_reservedStand;
std::atomic<bool> g_reservedStandFound{false};
Guarded<AirportDisplay> g_airportDisplay;

namespace {

constexpr double kStandCatchRadius_nm = 55.0 / 1852.0;

struct StandAnswer {
    bool valid = false;
    LatLon position{0.0, 0.0};
    std::string id;
};
StandAnswer g_lastStandAnswer;

}  // namespace

std::string gf_standNameAt(LatLon position, bool onGround) {
    if (!g_standsLoaded.load() || !onGround) return {};
    if (g_lastStandAnswer.valid && g_lastStandAnswer.position.lat == position.lat &&
        g_lastStandAnswer.position.lon == position.lon) {
        return g_lastStandAnswer.id;
    }
    // The nearest stand in reach: stands of a pier lie closer together than
    // the reach, and the first one in file order may be the neighbour.
    std::string id;
    double best = kStandCatchRadius_nm;
    for (const Stand& s : g_standList) {
        const double d = gf_distanceNm(position, {s.latitude, s.longitude});
        if (d <= best) {
            best = d;
            id = s.id;
        }
    }
    g_lastStandAnswer = {true, position, id};
    return id;
}

std::vector<Stand>::iterator gf_findStandByName(const std::string& id) {
    for (auto it = g_standList.begin(); it != g_standList.end(); ++it) {
        if (it->id == id) return it;
    }
    return g_standList.end();
}

void gf_clearStands() {
    g_standList.clear();
    g_lastStandAnswer = {};
}

void gf_resetParkAirportState() {
    gf_forgetFetchedStandFiles();
    gf_clearStands();
    g_standList.shrink_to_fit();
    g_parkAirportFile = {};
    gf_forgetStandFileRead();
    gf_forgetUnsavedUses();
    g_standsLoaded = false;
    g_standFileUpdates = 0;
    g_currentAirport.set(std::nullopt);
    g_airportAltitude_ft.set(std::nullopt);
    g_reservedStand.set({});
    g_reservedStandFound = false;
    g_airportDisplay.set({});
}
