#include "traffic/stream_checks.h"

#include "traffic/ai_commands.h"

namespace {
constexpr std::size_t kMaxStreamPoints = 200;
}

void decodeExisting(LiveAc& ac, const StreamPoint& point) {
    // A stream that keeps growing is an aircraft that no longer moves on.
    if (ac.stream.size() > kMaxStreamPoints) {
        removeAircraftFromSim(ac);
        return;
    }
    if (ac.flightState == FlightState::parking || ac.flightState == FlightState::parked) ac.stillReported = 1;
    ac.stream.push_back(point);
}

bool lf_extendOrEnd(LiveAc&) { return false; }
