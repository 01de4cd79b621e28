// The motion state of a live aircraft: what the air and ground motion keep
// between ticks. The engine's life cycle only resets it; the motion code owns
// its meaning.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/geometry.h"
#include "traffic/motion_fields.h"

// A quadratic curve on the ground: the start point is the origin itself, the
// control and end points are east/north offsets in metres from it. An unset
// curve has NaN control values.
struct GroundCurve {
    double originLat_deg = 0.0;
    double originLon_deg = 0.0;
    double t0 = 0.0;
    double t1 = 1.0;
    double controlEast_m = std::numeric_limits<double>::quiet_NaN();
    double controlNorth_m = std::numeric_limits<double>::quiet_NaN();
    double endEast_m = 0.0;
    double endNorth_m = 0.0;
    double param = 0.0;
    double paramStep = 0.0;
    double turnAngle_deg = 0.0;
};

struct MotionState {
    // Per-tick rates of the current segment.
    double latVelocity_deg = 0.0;
    double lonVelocity_deg = 0.0;
    double pitchRate_rad = 0.0;
    double bankRate_rad = 0.0;
    double headingRate_rad = 0.0;
    double verticalSpeed_ftPerTick = 0.0;
    // The segment's targets.
    double targetVerticalRate_fpm = 0.0;
    double targetAirspeed_kt = 0.0;
    double groundHeading_rad = 0.0;
    // 1 once the aircraft is on the ground (the ground state machine's
    // counter); 0 in the air.
    std::int32_t groundCounter = 0;
    // Signed ground-move value: 1 or more while a ground move is under way.
    std::int32_t groundMove = 0;
    // Window limits before and after a point's received time (ticks).
    std::int32_t windowBefore = 1000;
    std::int32_t windowAfter = 1000;
    std::uint64_t segmentCounter = 1;
    // Touchdown marks set by the air motion and the ground-data event.
    bool touchdownUnderWay = false;
    bool touchdownReached = false;
    bool derotation = false;
    bool landingRoll = false;
    double touchdownHeading_rad = 0.0;
    GroundCurve curve;
    MotionFields more;
};
