// Timing and angle helpers that the air motion, the ground motion and the
// stream checks share. Units: ticks of 10 ms, nautical miles, knots, radians.
#pragma once

#include <cstdint>

#include "feed/feed_records.h"
#include "traffic/live_ac.h"

inline constexpr std::int32_t kMinSegmentTicks = 25;
inline constexpr double kTicksPerSecond = 100.0;
inline constexpr double kTicksPerHourKt = 360000.0;  // d nm at v kt takes d * 360000 / v ticks
inline constexpr double kSamePlace_deg = 1e-8;
inline constexpr std::int32_t kWindowFloor = 1000;
inline constexpr std::int32_t kWindowReset = 3000;
inline constexpr std::int32_t kWindowResetTakeOff = 5000;
inline constexpr std::int32_t kWindowStep = 100;
inline constexpr double kFeetPerNm = 6076.11549;

// Ticks from now to the due time, never fewer than 25 (a due time in the
// past still gives a segment).
std::int32_t lf_ticksUntil(std::int32_t due);
// round(value) as a tick count; throws gsl::narrowing_error beyond 32 bits.
std::int32_t lf_roundTicks(double value);
// Ticks to fly dist_nm at speed_kt.
std::int32_t lf_flightTicks(double dist_nm, double speed_kt);
// The mean of both ground speeds, or (both 0) distance over their due-time
// difference, at least 1 kt.
double lf_segmentSpeed(const StreamPoint& front, const StreamPoint& next);
// now + max(ticks, 25), kept within the window around the received due time
// unless a stream extension runs; never earlier than now.
std::int32_t lf_windowedDue(const LiveAc& ac, std::int32_t receivedDue, std::int32_t ticks);
// The fastest an aircraft flies between two of its points: the faster of
// their reported ground speeds with a quarter and 10 kt on top (what it
// adds to catch up on its reports), or their distance over their due-time
// difference where neither reports a speed.
double lf_flyableSpeed(const StreamPoint& front, const StreamPoint& next);
// The due time of next pulled in no further than the aircraft flies from its
// position now at the flyable speed (taken before next was retimed): a window that lets the aircraft fall
// behind its reports (a gap, a report that leaps ahead, a retimed due) is
// caught up at a speed it can fly, never by a leap.
std::int32_t lf_flyableDue(const LiveAc& ac, const StreamPoint& next, double flyable_kt);
void lf_shrinkWindows(LiveAc& ac);
// 3000 before, 3000 after (5000 in the take-off run).
void lf_resetWindows(LiveAc& ac);
bool lf_samePlace(const StreamPoint& a, double lat, double lon);
double lf_distanceNm(const StreamPoint& a, const StreamPoint& b);
double lf_bearing(const StreamPoint& from, const StreamPoint& to);
// -pi..pi and 0..2 pi.
double lf_toPiRange(double a);
double lf_toTwoPi(double a);
// Turns the heading by at most `rate` toward target, the shorter way.
void lf_turnToward(LiveAc& ac, double target_rad, double rate_rad);
// The bearing from next to the point after it minus the heading (-pi..pi);
// 0 with fewer than three points.
double lf_headingChangeAhead(const LiveAc& ac);
// A running stream extension stops: front due at the next tick, limits reset.
void lf_stopExtension(LiveAc& ac);
