// The airport database: every airport the program knows (ICAO and IATA
// codes, position, altitude, stands value), decrypted from input/airports.enc
// once per process and read-only afterwards.
#pragma once

#include "core/geometry.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

struct Airport {
    std::string code;
    std::string iata;
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    double altitude = 0.0;   // feet
    // 1 and 2 choose the default parking percentage of an airport without a
    // learned file; not a count of stands.
    std::int32_t stands = 0;
};

// Reads the database when it has not been read yet; true when it holds at
// least one airport. A database that cannot be loaded throws
// ozr::UserErrorException 88; the plain input/airports.xml is removed on
// every path.
bool gf_readAirports();
// Reads one airport element whose code the caller has read.
void lf_readAirportElement(pugi::xml_node airport, const std::string& code);

// The first airport of exactly that code.
std::optional<Airport> gf_findAirport(std::string_view code);
bool gf_isKnownAirport(std::string_view code);
// The park airport for a position: of all airports within 5 NM, the one
// whose stand lies closest to the position (the nearer airport on a tie,
// the nearest when none has a stand); nothing when none is in reach.
std::optional<Airport> gf_findClosestAirport(LatLon position);
// "EHAM (AMS)", "EHAM", or "?" for an empty code.
std::string gf_parkAirportLabel(const Airport& airport);

// The whole database, sorted by code.
const std::vector<Airport>& gf_airports();
// An empty, unread database; for tests.
void gf_resetAirportDatabase();
