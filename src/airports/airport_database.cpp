#include "airports/airport_database.h"

#include "airports/stand_file_locate.h"
#include "core/decrypt.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/text_encoding.h"
#include "core/user_error.h"

#include <algorithm>
#include <fmt/format.h>
#include <unordered_set>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kExpectedAirports = 15000;
constexpr double kClosestAirportRange_nm = 5.0;

std::vector<Airport> g_airports;
std::unordered_set<std::string> g_knownCodes;
bool g_airportsLoaded = false;

void lf_removePlainFile(const fs::path& plain) {
    std::error_code ec;
    if (fs::exists(plain, ec)) gf_removeFileWarn(plain);
}

void lf_readAirportsXml(const fs::path& plain) {
    pugi::xml_document document;
    const pugi::xml_parse_result result = document.load_file(plain.c_str());
    if (!result) {
        lf_removePlainFile(plain);
        throw std::runtime_error(gf_pathToUtf8(plain) + " not loaded: " + result.description());
    }
    pugi::xml_node airports = document.child("root") ? document.child("root").child("airports")
                                                      : document.child("airports");
    if (!airports) {
        lf_removePlainFile(plain);
        throw std::runtime_error("Missing <airports> root in: " + gf_pathToUtf8(plain));
    }
    for (pugi::xml_node airport : airports.children("airport")) {
        lf_readAirportElement(airport, airport.attribute("code").as_string());
    }
    std::sort(g_airports.begin(), g_airports.end(),
              [](const Airport& a, const Airport& b) { return a.code < b.code; });
    gf_logLine(fmt::format("{} airports read", g_airports.size()));
    gf_removeFileWarn(plain);
    g_airports.shrink_to_fit();
}

}  // namespace

void lf_readAirportElement(pugi::xml_node airport, const std::string& code) {
    if (!airport.attribute("lat") || !airport.attribute("lon")) {
        gf_logHighlight(fmt::format("Missing latLons for airport '{}'", code));
        return;
    }
    if (!airport.attribute("alt")) {
        gf_logHighlight(fmt::format("Missing alt for airport '{}'", code));
        return;
    }
    if (!airport.attribute("stands")) gf_logHighlight(fmt::format("Missing stands for airport '{}'", code));
    if (!airport.attribute("iata")) {
        gf_logHighlight(fmt::format("Missing IATA for airport '{}'", code));
        return;
    }
    try {
        Airport record;
        record.code = code;
        record.iata = airport.attribute("iata").as_string();
        record.latitude = airport.attribute("lat").as_double();
        record.longitude = airport.attribute("lon").as_double();
        record.altitude = airport.attribute("alt").as_double();
        record.stands = airport.attribute("stands").as_int();
        g_airports.push_back(std::move(record));
        g_knownCodes.insert(code);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("Error parsing coordinates for airport '{}': {}", code, e.what()));
    }
}

bool gf_readAirports() {
    if (g_airportsLoaded) return !g_airports.empty();
    const WorkPaths& paths = gf_workPaths();
    try {
        // A plain file left by an earlier crash must not be read in place of
        // a failed decryption.
        lf_removePlainFile(paths.airportsXml);
        gf_streamDecrypt(paths.airportsEnc, paths.airportsXml);
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{} exception : {}", "gf_readAirports", e.what()));
        throw;
    }
    if (g_airports.capacity() < kExpectedAirports) g_airports.reserve(kExpectedAirports);
    try {
        lf_readAirportsXml(paths.airportsXml);
    } catch (const std::exception& e) {
        lf_removePlainFile(paths.airportsXml);
        // A half-read database is not kept: the next run reads it whole.
        g_airports.clear();
        g_knownCodes.clear();
        throw ozr::UserErrorException(88, e.what());
    }
    g_airportsLoaded = true;
    return !g_airports.empty();
}

std::optional<Airport> gf_findAirport(std::string_view code) {
    for (const Airport& airport : g_airports) {
        if (airport.code == code) return airport;
    }
    return std::nullopt;
}

bool gf_isKnownAirport(std::string_view code) { return g_knownCodes.count(std::string(code)) != 0; }

std::optional<Airport> gf_findClosestAirport(LatLon position) {
    // Every airport in reach, nearest first: a user at a stand of the third
    // nearest of three close airports must get that one, so each of them is
    // asked for its nearest stand, not only the nearest two.
    std::vector<std::pair<double, const Airport*>> inReach;
    for (const Airport& airport : g_airports) {
        const double d = gf_distanceNm(position, {airport.latitude, airport.longitude});
        if (d <= kClosestAirportRange_nm) inReach.emplace_back(d, &airport);
    }
    if (inReach.empty()) return std::nullopt;
    std::stable_sort(inReach.begin(), inReach.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const Airport& nearest = *inReach.front().second;
    if (inReach.size() == 1) return nearest;
    for (std::size_t i = 1; i < inReach.size(); ++i) {
        gf_logLine(fmt::format("Airport {} is closest, neighbour is {}", nearest.code, inReach[i].second->code));
    }
    std::string nearestStand;
    const Airport* chosen = &nearest;
    double chosenStand_nm = gf_readDestApfForClosestStand(nearest.code, position, nearestStand);
    for (std::size_t i = 1; i < inReach.size(); ++i) {
        const Airport& neighbour = *inReach[i].second;
        std::string stand;
        const double stand_nm = gf_readDestApfForClosestStand(neighbour.code, position, stand);
        // Of equal stand distances the nearer airport keeps its place.
        if (stand_nm < chosenStand_nm) {
            gf_logLine(fmt::format("Airport {} is closest, but stand {} at neighbouring airport {} is closer at {:.0F} "
                                   "meters ...",
                                   nearest.code, stand, neighbour.code, stand_nm * 1852.0));
            chosen = &neighbour;
            chosenStand_nm = stand_nm;
        }
    }
    return *chosen;
}

std::string gf_parkAirportLabel(const Airport& airport) {
    std::string label = airport.code.empty() ? "?" : airport.code;
    if (!airport.iata.empty()) label += " (" + airport.iata + ")";
    return label;
}

const std::vector<Airport>& gf_airports() { return g_airports; }

void gf_resetAirportDatabase() {
    g_airports.clear();
    g_airports.shrink_to_fit();
    g_knownCodes.clear();
    g_airportsLoaded = false;
}
