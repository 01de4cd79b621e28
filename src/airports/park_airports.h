// The park-airport list: the airports at which static parked traffic is
// made when the user comes in sight of them, each with the stand reserved
// for the user. The user keeps it in airports/my_park_airports.txt (one
// "CODE" or "CODE,STAND" a line); the program adds the airports whose stand
// files lie in airports/my_thirdparty and writes back the current airport
// with the stand the user's aircraft stands on. The first entry is the
// current park airport.
//
// The main window (a destination) and the worker both change the list, so
// every use of it goes through its lock.
#pragma once

#include "core/geometry.h"

#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct ParkAirport {
    std::string code;
    std::string reservedStand;
    double latitude = 0.0;
    double longitude = 0.0;
    double distance = 0.0;  // NM from the user; filled by the traffic engine
};

// Runs f on the list under its lock (the engine orders it by distance this
// way). f must not call the functions below that take the lock themselves
// from another thread; on this thread the lock may be taken again.
void gf_withParkAirports(const std::function<void(std::list<ParkAirport>&)>& f);
std::list<ParkAirport> gf_parkAirportsCopy();

// Rebuilds the list from the file and the my_thirdparty folder; false when a
// listed airport is unknown or reading failed (a missing file is no error).
bool lf_readMyParkAirports();
void lf_addThirdpartyParkAirports();
// Writes the first entry of the list (which must not be empty) into the file.
void gf_writeMyParkAirports();
// Replaces the first line of the entry's airport by line, or inserts line at
// the front; the index of the replaced line, or lines.size() when none was.
std::size_t lf_updateParkAirportLine(std::vector<std::string>& lines, const ParkAirport& entry,
                                     const std::string& line);
// Makes the database airport of the code the current airport; false when the
// code is unknown.
bool gf_logParkAirport(std::string_view code);
// Reads the current airport's stand file; the reader's error text, empty on
// success.
std::string lf_readParkedFile();
// Reads the list again and takes over a reserved stand the user changed in
// the file; true with a text for the status line.
bool gf_checkParkAirports(bool checkReservedStand, std::string& message);
// Puts a destination at the front of the list.
void gf_addDestinationAirport(const std::string& code, LatLon position);
// An empty list; for tests.
void gf_resetParkAirports();
