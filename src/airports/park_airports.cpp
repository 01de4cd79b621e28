#include "airports/park_airports.h"

#include "airports/airport_database.h"
#include "airports/airport_ports.h"
#include "airports/park_airport_state.h"
#include "airports/park_stand_file.h"
#include "airports/stand_file_locate.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/text.h"
#include "core/text_encoding.h"
#include "core/status_line.h"

#include <algorithm>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <sstream>
#include <unordered_set>

namespace fs = std::filesystem;

namespace {

constexpr const char* kListName = "my_park_airports.txt";
constexpr std::size_t kManyParkAirports = 3000;

std::recursive_mutex g_listMutex;
std::list<ParkAirport> g_parkAirports;

// The lines of the file; false when it cannot be opened.
bool lf_readListFile(std::vector<std::string>& lines) {
    std::ifstream in(gf_workPaths().myParkAirports, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    gf_splitLines(text.str(), lines);
    return true;
}

std::vector<std::string> lf_fields(const std::string& line) {
    if (gf_trim(line).empty()) return {};
    return gf_split(line, ',');
}

void lf_readListLines(bool& result) {
    std::vector<std::string> lines;
    if (!lf_readListFile(lines)) {
        gf_logLine(gf_pathToUtf8(gf_workPaths().myParkAirports) + " not found");
        return;
    }
    std::unordered_set<std::string> taken;
    for (const std::string& line : lines) {
        const std::vector<std::string> fields = lf_fields(line);
        if (fields.empty()) continue;
        if (fields.size() > 2) {
            gf_logHighlight(fmt::format("{}:{} wrong syntax, skipped", kListName, line));
            continue;
        }
        const std::string& code = fields[0];
        if (taken.count(code) != 0) {
            gf_logHighlight(fmt::format("{}:{} double, skipped", kListName, code));
            continue;
        }
        const auto airport = gf_findAirport(code);
        if (!airport) {
            gf_setStatusLine(fmt::format("airport {} is unknown", code), true);
            result = false;
            continue;
        }
        g_parkAirports.push_back({code, fields.size() > 1 ? fields[1] : std::string(), airport->latitude,
                                  airport->longitude, 0.0});
        taken.insert(code);
    }
}

bool lf_frontIsCurrent() {
    const auto current = g_currentAirport.get();
    return !g_parkAirports.empty() && current && g_parkAirports.front().code == current->code;
}

}  // namespace

void gf_withParkAirports(const std::function<void(std::list<ParkAirport>&)>& f) {
    std::lock_guard lock(g_listMutex);
    f(g_parkAirports);
}

std::list<ParkAirport> gf_parkAirportsCopy() {
    std::lock_guard lock(g_listMutex);
    return g_parkAirports;
}

void gf_resetParkAirports() {
    std::lock_guard lock(g_listMutex);
    g_parkAirports.clear();
}

bool lf_readMyParkAirports() {
    std::lock_guard lock(g_listMutex);
    bool result = true;
    try {
        g_parkAirports.clear();
        lf_readListLines(result);
        const std::size_t count = g_parkAirports.size();
        if (count > 0) {
            gf_logLine(fmt::format("{} park airport{} read from '{}'", count, gf_pluralSize(count), kListName));
        }
        if (count > kManyParkAirports) {
            gf_setStatusLine(fmt::format("Warning: There are a lot of airports ({}), that will cost GLIM much cpu "
                                         "time and may cause stutters",
                                         count),
                             true);
        }
        lf_addThirdpartyParkAirports();
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: {}", "lf_readMyParkAirports", e.what()));
        result = false;
    }
    return result;
}

void lf_addThirdpartyParkAirports() {
    std::lock_guard lock(g_listMutex);
    const fs::path folder = gf_workPaths().myThirdparty;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return;
    std::size_t added = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const std::string code = gf_pathToUtf8(entry.path().stem());
        const bool listed = std::any_of(g_parkAirports.begin(), g_parkAirports.end(),
                                        [&](const ParkAirport& p) { return p.code == code; });
        if (listed) continue;
        const auto airport = gf_findAirport(code);
        if (!airport) continue;
        g_parkAirports.push_back({code, {}, airport->latitude, airport->longitude, 0.0});
        ++added;
    }
    if (added > 0) {
        gf_logLine(fmt::format("{} park airport{} added from my_thirdparty folder(-s)", added, gf_pluralSize(added)));
    }
}

std::size_t lf_updateParkAirportLine(std::vector<std::string>& lines, const ParkAirport& entry,
                                     const std::string& line) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::vector<std::string> fields = lf_fields(lines[i]);
        if (fields.empty() || fields[0] != entry.code) continue;
        lines[i] = line;
        gf_logLine(fmt::format("{}:{} updated stand", kListName, line));
        return i;
    }
    lines.insert(lines.begin(), line);
    gf_logLine(fmt::format("{}:{} new entry", kListName, line));
    return lines.size();
}

void gf_writeMyParkAirports() {
    std::lock_guard lock(g_listMutex);
    if (g_parkAirports.empty()) return;
    const ParkAirport& entry = g_parkAirports.front();
    const std::string line = entry.reservedStand.empty() ? entry.code : entry.code + "," + entry.reservedStand;
    std::vector<std::string> lines;
    // The lines are read the way the list reader reads them (a byte-order
    // mark skipped), so a sorted file never carries a mark into a code.
    if (!lf_readListFile(lines)) {
        lines = {line};
        gf_logLine(fmt::format("{} created with {}", kListName, line));
    } else {
        lf_updateParkAirportLine(lines, entry, line);
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    if (!gf_writeLines(lines, gf_workPaths().myParkAirports)) {
        gf_logHighlight(fmt::format("{}: could not write {}", "gf_writeMyParkAirports", kListName));
    }
}

bool gf_logParkAirport(std::string_view code) {
    const auto airport = gf_findAirport(code);
    if (!airport) {
        gf_changeAirportDisplay([](AirportDisplay& d) { d.parkAirportText.clear(); });
        gf_airportWindow().repaint();
        return false;
    }
    g_currentAirport.set(*airport);
    const std::string label = gf_parkAirportLabel(*airport);
    gf_logLine("\nThe park airport is " + label);
    gf_changeAirportDisplay([&](AirportDisplay& d) { d.parkAirportText = label; });
    gf_airportWindow().repaint();
    return true;
}

std::string lf_readParkedFile() {
    AirportUserLink& link = gf_airportUserLink();
    AirportWindow& window = gf_airportWindow();
    gf_clearStands();
    const auto current = g_currentAirport.get();
    const std::string code = current ? current->code : std::string();
    const std::string reference = gf_resolveAirportFile(code);
    if (reference.empty()) return fmt::format("{} {} not found", "lf_readParkedFile", code);

    g_parkAirportFile.airport_name.clear();
    g_parkAirportFile.publisher.clear();
    g_parkAirportFile.altitude = 0;
    const std::string error = gf_readApf(reference);
    if (error.empty()) {
        std::lock_guard lock(g_listMutex);
        if (link.userStateKnown()) {
            const std::string name = gf_standNameAt(link.userPosition(), link.userOnGround());
            if (lf_frontIsCurrent()) {
                if (!name.empty() && name != g_parkAirports.front().reservedStand) {
                    g_parkAirports.front().reservedStand = name;
                    gf_writeMyParkAirports();
                }
            } else {
                g_parkAirports.push_front({code, name, current->latitude, current->longitude, 0.0});
                gf_writeMyParkAirports();
            }
        }
        g_standList.shrink_to_fit();
        if (lf_frontIsCurrent() && !g_parkAirports.front().reservedStand.empty()) {
            const std::string reserved = g_parkAirports.front().reservedStand;
            const bool found = gf_findStandByName(reserved) != g_standList.end();
            g_reservedStand.set(found ? reserved : std::string());
            g_reservedStandFound = found;
            window.repaint();
        } else {
            g_reservedStand.set({});
        }
    }
    gf_changeAirportDisplay([&](AirportDisplay& d) {
        d.standsShown = error.empty();
        d.airportName = g_parkAirportFile.airport_name;
    });
    window.repaint();
    g_standFileUpdates = 0;
    return error;
}

bool gf_checkParkAirports(bool checkReservedStand, std::string& message) {
    std::lock_guard lock(g_listMutex);
    if (!lf_readMyParkAirports()) return false;
    // The file is kept sorted, so the current airport is seldom its first
    // line; the list's front must stay the current airport, or its changed
    // reserved stand would go unseen and another airport be taken as current.
    if (const auto current = g_currentAirport.get()) {
        const auto it = std::find_if(g_parkAirports.begin(), g_parkAirports.end(),
                                     [&](const ParkAirport& p) { return p.code == current->code; });
        if (it != g_parkAirports.end()) g_parkAirports.splice(g_parkAirports.begin(), g_parkAirports, it);
    }
    AirportUserLink& link = gf_airportUserLink();
    AirportWindow& window = gf_airportWindow();
    if (checkReservedStand && link.userStateKnown() && !window.parkingControlsBusy() && lf_frontIsCurrent() &&
        link.userStand().empty()) {
        const std::string wanted = g_parkAirports.front().reservedStand;
        const std::string old = g_reservedStand.get();
        if (!wanted.empty() && wanted != old) {
            message = fmt::format("reserved stand changed from '{}' to '{}'", old, wanted);
            if (!old.empty()) {
                const auto stand = gf_findStandByName(old);
                if (stand != g_standList.end()) gf_standMark(*stand, StandMark::reserved) = 0;
            }
            // The worker's five-second job removes the aircraft that stands
            // on a set reserved stand.
            g_reservedStand.set(wanted);
            // A stand the file names but the stand file does not know is no
            // reserved stand: nothing to mark, and the window shows it as
            // not found.
            const auto stand = gf_findStandByName(wanted);
            g_reservedStandFound = stand != g_standList.end();
            if (stand != g_standList.end()) gf_standMark(*stand, StandMark::reserved) = 1;
            window.repaint();
        }
    }
    if (message.empty()) message = "park airports and stands are okay";
    return true;
}

void gf_addDestinationAirport(const std::string& code, LatLon position) {
    std::lock_guard lock(g_listMutex);
    const auto it = std::find_if(g_parkAirports.begin(), g_parkAirports.end(),
                                 [&](const ParkAirport& p) { return p.code == code; });
    if (it != g_parkAirports.end()) {
        g_parkAirports.splice(g_parkAirports.begin(), g_parkAirports, it);
        return;
    }
    g_parkAirports.push_front({code, {}, position.lat, position.lon, 0.0});
    gf_writeMyParkAirports();
}
