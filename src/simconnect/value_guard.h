// The client's last guard before a value reaches the simulator: a position
// or a data block holding a value that is not finite, or that no aircraft
// can have, is refused (E_INVALIDARG) and nothing is sent. The simulator
// flies whatever it gets: an aircraft at 1e308 ft or with a bank of NaN.
#pragma once

#include "simconnect/api.h"

#include <cstdint>

// What a sent value may be. Wider than what the feed lets in: the traffic
// engine's own motion (a flare, a turn, the QNH correction) may go a little
// beyond a report, and this guard is only for what cannot be right at all.
struct SimValueLimits {
    double minAlt_ft = -5000.0;
    double maxAlt_ft = 110000.0;
    double maxAttitude_rad = 3.2;  // pitch and bank, a little beyond pi
    double maxHeading_rad = 12.6;  // two turns either way
    double minSpeed_kt = -200.0;
    double maxSpeed_kt = 2500.0;
    double maxVerticalSpeed_fps = 1100.0;  // 66,000 ft/min
};
inline constexpr SimValueLimits kSimValueLimits{};

// The datums of every data definition, as the client added them, so that a
// data block can be read value by value.
void gf_simGuardAddDatum(SimConnectHandle handle, std::uint32_t defineId, const char* name, const char* units,
                         std::uint32_t datumType);
void gf_simGuardForget(SimConnectHandle handle);

// True when every value of count elements of unitSize bytes at data may go
// out: each FLOAT64 of the definition finite, and the ones whose meaning the
// definition names (latitude, longitude, altitude, attitude, heading,
// vertical speed, airspeed) within what an aircraft can have. A block whose
// layout the definition does not give is only checked for nothing.
bool gf_simGuardDataAllowed(SimConnectHandle handle, std::uint32_t defineId, std::uint32_t count,
                            std::uint32_t unitSize, const void* data);
bool gf_simGuardPositionAllowed(const SimConnectInitPosition& position);
