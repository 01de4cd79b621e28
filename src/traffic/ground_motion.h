// A live aircraft on the ground: leaving its stand (pull-out or push-back
// with a quarter turn), taxiing on its received points with curves through
// turns and midpoints where the speed changes, the take-off run, the roll-out
// after landing and the drive onto its stand.
#pragma once

#include <cstdint>

#include "feed/feed_records.h"
#include "traffic/live_ac.h"

// The stand point an aircraft drives onto.
struct StandPoint {
    double lat_deg = 0.0;
    double lon_deg = 0.0;
    double heading_rad = 0.0;
};

// Ground half of the segment planning.
void nextPosGround(LiveAc& ac);
// Ground half of the per-segment step.
void lf_groundStep(LiveAc& ac);
// The due time of the segment toward next on the ground.
void lf_groundTiming(LiveAc& ac);
// Appends the two points that bring the aircraft onto its stand.
void drive2Stand(LiveAc& ac, const StandPoint& stand);
void lf_pullOut(LiveAc& ac);
void lf_pushBack(LiveAc& ac);
// Start of the take-off run.
void lf_takeOffConfiguration(LiveAc& ac);
// Every tick of the take-off run: rotates once the climb-out must start to
// reach the stream's first point in the air at its time.
void lf_takeOffWhenDue(LiveAc& ac);
// A segment of the take-off run keeps to its point's due time, no faster
// than the reported speeds let the aircraft catch up: the ticks to fly it.
std::int32_t lf_takeOffRunTicks(const LiveAc& ac, std::int32_t ticks);
// The take-off run's configuration with the given throttle lever index and
// spoilers: flaps 1, the take-off lights and windows, no landing or go-around.
void lf_startTakeOffRun(LiveAc& ac, std::int32_t throttle, bool spoilers);
// A parked aircraft starts to leave (the received point moves away).
void lf_departStand(LiveAc& ac, StreamPoint& point);
// Spoiler handle and both throttle levers to 0 % (not for Light aircraft).
void lf_zeroSpoilersAndThrottles(const LiveAc& ac);
