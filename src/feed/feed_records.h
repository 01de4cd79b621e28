// The records the feed builds from the service's entries: one received
// position, one live flight and one parked aircraft.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct StreamPoint {
    double lat = 0.0;          // degrees
    double lon = 0.0;          // degrees
    double alt = 0.0;          // feet above MSL after the QNH correction; 0 is on the ground
    double gs = 0.0;           // ground speed, knots
    double track = 0.0;        // degrees
    double vrate = 0.0;        // feet per minute
    double tas = 0.0;          // true airspeed, knots
    std::int32_t time = 0;     // traffic ticks; set when the batch is handed over
    bool airborne = false;
    bool stationary = false;
    bool hasTrueHeading = false;
    std::optional<double> bank_rad;
    std::optional<double> trueHeading_rad;  // (0, 2 pi]
};

// Identity texts shared by FlightRecord, ParkedRecord and the engine's
// aircraft; the engine copies them as one unit.
struct FeedIdentity {
    std::string airline;
    std::string type;
    std::string origin;
    std::string destination;
    std::string callsign;
    std::string callsignCopy;
    std::string spare;
    std::string registration;  // at most 12 characters
    std::uint64_t tag = 0;
};

struct FlightRecord : FeedIdentity {
    StreamPoint point;
    double feedTime = 0.0;  // epoch seconds
    std::uint32_t hexid = 0;
    // The receiver had no ground speed: the point's speed reads 0.
    bool speedUnknown = false;
    // The receiver had no altitude: the point reads as the ground.
    bool altitudeUnknown = false;
    // A reported altitude above 0 that the ground rules read as the ground
    // (QNH corrected, feet); 0 when the point's altitude is as reported.
    double groundedAlt_ft = 0.0;
};

struct ParkedRecord : FeedIdentity {
    double lat = 0.0;
    double lon = 0.0;
    std::uint32_t hexid = 0;
    // Half-hour slot of the UTC day when the service last saw the aircraft
    // (-1 without a usable time); the parked request turns it into an age.
    std::int32_t slot = -1;
    std::string standName;
};
