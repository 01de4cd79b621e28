// A position the static parking fills with a parked aircraft, and the lists
// the static parking keeps. Worker thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ParkingPosition {
    std::uint32_t hexid = 0;    // the parked-traffic aircraft's address, 0 otherwise
    std::uint32_t origin = 0;   // 0 parked traffic, 1 stand options
    std::uint32_t standId = 0;
    std::int32_t sortKey = 0;   // age in half-hours
    std::string airline;
    std::string type;
    std::string callsign;
    std::string secondCallsign;
    std::string registration;
    bool callsignFirst = true;
};

// The current airport's positions, consumed from the end.
extern std::vector<ParkingPosition> g_parkingPositions;
// Callsigns the static parking already placed or saw parked (its list).
extern std::vector<std::string> g_staticParkingCallsigns;
