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

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kExpectedAirports = 15000;
constexpr double kClosestAirportRange_nm = 5.0;
constexpr double kNoAirport_nm = 100.0;

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
    const Airport* best = nullptr;
    const Airport* neighbour = nullptr;
    double bestDistance = kNoAirport_nm;
    // The neighbour is the second nearest airport in reach, whatever the
    // order of the codes: a user at a stand of the farther airport of two
    // must get that one.
    double neighbourDistance = kNoAirport_nm;
    for (const Airport& airport : g_airports) {
        const double d = gf_distanceNm(position, {airport.latitude, airport.longitude});
        if (d > kClosestAirportRange_nm) continue;
        if (d < bestDistance) {
            neighbour = best;
            neighbourDistance = bestDistance;
            best = &airport;
            bestDistance = d;
        } else if (d < neighbourDistance) {
            neighbour = &airport;
            neighbourDistance = d;
        }
    }
    if (!best) return std::nullopt;
    if (!neighbour) return *best;
    gf_logLine(fmt::format("Airport {} is closest, neighbour is {}", best->code, neighbour->code));
    std::string bestStand, neighbourStand;
    const double bestStand_nm = gf_readDestApfForClosestStand(best->code, position, bestStand);
    const double neighbourStand_nm = gf_readDestApfForClosestStand(neighbour->code, position, neighbourStand);
    if (neighbourStand_nm < bestStand_nm) {
        gf_logLine(fmt::format("Airport {} is closest, but stand {} at neighbouring airport {} is closer at {:.0F} "
                               "meters ...",
                               best->code, neighbourStand, neighbour->code, neighbourStand_nm * 1852.0));
        return *neighbour;
    }
    return *best;
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
