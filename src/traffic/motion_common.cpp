#include "traffic/motion_common.h"

#include <gsl/narrow>

#include <algorithm>
#include <cmath>

#include "core/geometry.h"
#include "traffic/traffic_state.h"

namespace {
constexpr double kPi = 3.141592653589793;
constexpr double kCatchUpShare = 1.25;
constexpr double kCatchUpMargin_kt = 10.0;
}  // namespace

std::int32_t lf_ticksUntil(std::int32_t due) {
    const std::int64_t d = static_cast<std::int64_t>(due) - g_trafficTick.load();
    return static_cast<std::int32_t>(std::max<std::int64_t>(d, kMinSegmentTicks));
}

std::int32_t lf_roundTicks(double value) {
    const double r = std::round(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw gsl::narrowing_error();
    return static_cast<std::int32_t>(r);
}

std::int32_t lf_flightTicks(double dist_nm, double speed_kt) {
    return lf_roundTicks(dist_nm * kTicksPerHourKt / speed_kt);
}

double lf_segmentSpeed(const StreamPoint& front, const StreamPoint& next) {
    if (front.gs != 0.0 || next.gs != 0.0) return (front.gs + next.gs) / 2.0;
    const double dt = std::max<double>(static_cast<double>(next.time) - front.time, kMinSegmentTicks);
    return std::max(lf_distanceNm(front, next) * kTicksPerHourKt / dt, 1.0);
}

std::int32_t lf_windowedDue(const LiveAc& ac, std::int32_t receivedDue, std::int32_t ticks) {
    const std::int64_t now = g_trafficTick.load();
    std::int64_t due = now + std::max(ticks, kMinSegmentTicks);
    if (ac.extensionCount < 1) {
        due = std::clamp<std::int64_t>(due, static_cast<std::int64_t>(receivedDue) - ac.motion.windowBefore,
                                       static_cast<std::int64_t>(receivedDue) + ac.motion.windowAfter);
    }
    due = std::max(due, now);
    if (due > INT32_MAX) throw gsl::narrowing_error();
    return static_cast<std::int32_t>(due);
}

double lf_flyableSpeed(const StreamPoint& front, const StreamPoint& next) {
    const double reported = std::max(front.gs, next.gs);
    const double speed = reported > 0.0 ? reported : lf_segmentSpeed(front, next);
    return speed * kCatchUpShare + kCatchUpMargin_kt;
}

std::int32_t lf_flyableDue(const LiveAc& ac, const StreamPoint& next, double flyable_kt) {
    const double dist_nm = gf_distanceNm(LatLon{ac.pos.lat, ac.pos.lon}, LatLon{next.lat, next.lon});
    const std::int64_t earliest = g_trafficTick.load() + lf_flightTicks(dist_nm, flyable_kt);
    const std::int64_t due = std::max<std::int64_t>(next.time, earliest);
    if (due > INT32_MAX) throw gsl::narrowing_error();
    return static_cast<std::int32_t>(due);
}

void lf_shrinkWindows(LiveAc& ac) {
    ac.motion.windowBefore = std::max(ac.motion.windowBefore - kWindowStep, kWindowFloor);
    ac.motion.windowAfter = std::max(ac.motion.windowAfter - kWindowStep, kWindowFloor);
}

void lf_resetWindows(LiveAc& ac) {
    ac.motion.windowBefore = kWindowReset;
    ac.motion.windowAfter = ac.motion.more.takeOffRun ? kWindowResetTakeOff : kWindowReset;
}

bool lf_samePlace(const StreamPoint& a, double lat, double lon) {
    return std::fabs(a.lat - lat) < kSamePlace_deg && std::fabs(a.lon - lon) < kSamePlace_deg;
}

double lf_distanceNm(const StreamPoint& a, const StreamPoint& b) {
    return gf_distanceNm(LatLon{a.lat, a.lon}, LatLon{b.lat, b.lon});
}

double lf_bearing(const StreamPoint& from, const StreamPoint& to) {
    return gf_initialBearing(LatLon{from.lat, from.lon}, LatLon{to.lat, to.lon});
}

double lf_toPiRange(double a) {
    a = std::fmod(a, 2.0 * kPi);
    if (a > kPi) a -= 2.0 * kPi;
    if (a < -kPi) a += 2.0 * kPi;
    return a;
}

double lf_toTwoPi(double a) {
    a = std::fmod(a, 2.0 * kPi);
    if (a < 0.0) a += 2.0 * kPi;
    return a;
}

void lf_turnToward(LiveAc& ac, double target_rad, double rate_rad) {
    const double diff = lf_toPiRange(target_rad - ac.pos.heading);
    if (std::fabs(diff) <= 0.5 * kDegToRad) return;
    const double step = std::min(std::fabs(rate_rad), std::fabs(diff));
    ac.pos.heading = lf_toTwoPi(ac.pos.heading + (diff > 0.0 ? step : -step));
}

double lf_headingChangeAhead(const LiveAc& ac) {
    if (ac.stream.size() < 3) return 0.0;
    return lf_toPiRange(lf_bearing(ac.stream[1], ac.stream[2]) - ac.pos.heading);
}

void lf_stopExtension(LiveAc& ac) {
    if (ac.extensionCount < 1) return;
    ac.extensionCount = 0;
    lf_resetWindows(ac);
    if (!ac.stream.empty()) ac.stream.front().time = g_trafficTick.load() + 1;
}
