#include "traffic/ground_motion.h"

#include <gsl/narrow>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>

#include "airports/park_airport_state.h"
#include "core/log.h"
#include "simconnect/api.h"
#include "simlink/sim_client.h"
#include "simlink/sim_ids.h"
#include "simlink/sim_queues.h"
#include "traffic/ai_commands.h"
#include "traffic/air_motion.h"
#include "traffic/motion_common.h"
#include "traffic/parking.h"
#include "traffic/stand_choice.h"
#include "traffic/traffic_state.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kMetresPerDegree = 111132.95;
constexpr double kTurnMark_deg = 3.0;
constexpr double kMidpointTurn_deg = 45.0;
constexpr double kMidpointApart_nm = 0.027;        // 50 m
constexpr double kMidpointMaxGs_kt = 43.0;
constexpr std::int32_t kMidpointMinGap = 600;
constexpr double kNoCurveTurn_deg = 160.0;
constexpr double kSpeedStepKt = 5.0;
constexpr double kSpeedStepApart_nm = 100.0 / 1852.0;
constexpr double kParkTriggerGs_kt = 5.0;
constexpr double kParkTriggerReach_nm = 0.0189;    // 35 m
constexpr double kRunwayLeft_deg = 15.0;
constexpr double kRollSpoilersOff_kt = 90.0;
constexpr double kRotationCheckGs_kt = 43.0;
constexpr double kClimbingRate_fpm = 256.0;
constexpr std::int32_t kStandArrivalMin = 100;
constexpr std::int32_t kStandSettle = 50;
constexpr std::int32_t kPushBackPhases = 2;
constexpr std::int32_t kSharpTurnWindow = 2000;

bool lf_isRotor(const LiveAc& ac) { return ac.category == AcCategory::Rotorcraft; }

double lf_northOf(double lat, double originLat) { return (lat - originLat) * kMetresPerDegree; }
double lf_eastOf(double lon, double originLon, double originLat) {
    return (lon - originLon) * std::cos(originLat * kDegToRad) * kMetresPerDegree;
}

void lf_buildCurve(LiveAc& ac, const StreamPoint& control, const StreamPoint& end, double turn_deg) {
    GroundCurve& c = ac.motion.curve;
    c.originLat_deg = ac.pos.lat;
    c.originLon_deg = ac.pos.lon;
    c.t0 = 0.0;
    c.t1 = 1.0;
    c.param = 0.0;
    c.controlNorth_m = lf_northOf(control.lat, c.originLat_deg);
    c.controlEast_m = lf_eastOf(control.lon, c.originLon_deg, c.originLat_deg);
    c.endNorth_m = lf_northOf(end.lat, c.originLat_deg);
    c.endEast_m = lf_eastOf(end.lon, c.originLon_deg, c.originLat_deg);
    c.turnAngle_deg = turn_deg;
}

bool lf_curveSet(const LiveAc& ac) { return !std::isnan(ac.motion.curve.controlEast_m); }

// The length of the ground curve in nautical miles, summed over short chords.
double lf_curveLengthNm(const GroundCurve& c) {
    constexpr int kChords = 16;
    double metres = 0.0, east = 0.0, north = 0.0;
    for (int i = 1; i <= kChords; ++i) {
        const double t = static_cast<double>(i) / kChords;
        const double e = 2.0 * (1.0 - t) * t * c.controlEast_m + t * t * c.endEast_m;
        const double n = 2.0 * (1.0 - t) * t * c.controlNorth_m + t * t * c.endNorth_m;
        metres += std::hypot(e - east, n - north);
        east = e;
        north = n;
    }
    return metres / kMetresPerNm;
}

// A point halfway between front and next (position, speed, altitude and
// due time), inserted before next.
void lf_insertMidpoint(LiveAc& ac) {
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    StreamPoint mid = front;
    mid.lat = (front.lat + next.lat) / 2.0;
    mid.lon = (front.lon + next.lon) / 2.0;
    mid.gs = (front.gs + next.gs) / 2.0;
    mid.alt = (front.alt + next.alt) / 2.0;
    mid.time = lf_roundTicks((static_cast<double>(front.time) + next.time) / 2.0);
    mid.airborne = mid.alt > 0.0;
    if (!mid.airborne) mid.alt = 0.0;
    mid.stationary = false;
    ac.stream.insert(ac.stream.begin() + 1, mid);
}

void lf_midpointOnSpeedChange(LiveAc& ac) {
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    if (std::fabs(front.gs - next.gs) > kSpeedStepKt && (front.gs > 0.0 || next.gs > 0.0) &&
        lf_distanceNm(front, next) >= kSpeedStepApart_nm)
        lf_insertMidpoint(ac);
}

// Step 3 of the ground planning: curves through turns, midpoints where
// the speed changes or a sharp turn comes after a long straight.
void lf_shapeTaxiSegment(LiveAc& ac) {
    if (ac.stream.size() >= 3 && !ac.stream[2].stationary) {
        const double delta = lf_headingChangeAhead(ac) * kRadToDeg;
        const double a = std::fabs(delta);
        if (a > kTurnMark_deg) {
            const StreamPoint& front = ac.stream[0];
            StreamPoint& next = ac.stream[1];
            StreamPoint& after = ac.stream[2];
            if (a > kMidpointTurn_deg && lf_distanceNm(front, next) > kMidpointApart_nm &&
                front.gs <= kMidpointMaxGs_kt && next.time - front.time >= kMidpointMinGap) {
                lf_insertMidpoint(ac);
                return;
            }
            if (a <= kNoCurveTurn_deg && !lf_samePlace(after, front.lat, front.lon)) {
                if (after.gs == 0.0) after.gs = (front.gs + next.gs) / 2.0;
                lf_buildCurve(ac, next, after, a);
                // The curve runs through next to the point after it: the
                // segment ends where the curve does, due when that point is.
                next = after;
                ac.stream.erase(ac.stream.begin() + 2);
            } else {
                lf_midpointOnSpeedChange(ac);
            }
        }
    } else if (ac.stream.size() >= 3 || ac.extensionCount < 1) {
        lf_midpointOnSpeedChange(ac);
    }
    MotionFields& f = ac.motion.more;
    if (!lf_curveSet(ac)) {
        f.sharpTurnAngle_deg = std::fabs(lf_toPiRange(ac.targetHeading - ac.pos.heading)) * kRadToDeg;
        f.sharpTurn = f.sharpTurnAngle_deg > kTurnMark_deg;
    } else {
        f.sharpTurn = false;
    }
}

// An aircraft that has just left its stand does not park again at once.
bool lf_justLeftStand(const LiveAc& ac) {
    const FlightState before = ac.previousFlightState;
    return !ac.towed && (before == FlightState::parked || before == FlightState::pushing_back ||
                         before == FlightState::pushed_back);
}

// Before the segment that would take a taxiing aircraft into the wings of
// one parked where its stream ends (live or static): the arrival otherwise
// reaches its last point, inside the parked one, before it looks for its
// stand.
bool lf_stopShortTrigger(LiveAc& ac) {
    if (ac.flightState != FlightState::taxi || ac.motion.more.takeOffRun || lf_justLeftStand(ac)) return false;
    gf_staticMakesWayAhead(ac);
    return gf_stopShortAhead(ac);
}

void lf_parkingTrigger(LiveAc& ac) {
    if (ac.stream.size() < 2 || !ac.stream.back().stationary || ac.flightState != FlightState::taxi) return;
    if (!g_standsLoaded.load() || g_standList.empty()) return;
    if (lf_justLeftStand(ac)) return;
    if (ac.extensionCount >= 1) {
        try2Park(ac, true);
        return;
    }
    const StreamPoint& last = ac.stream.back();
    if (ac.stream[1].gs <= kParkTriggerGs_kt &&
        gf_distanceNm(LatLon{ac.pos.lat, ac.pos.lon}, LatLon{last.lat, last.lon}) <= kParkTriggerReach_nm)
        try2Park(ac, false);
}

void lf_pushBackPhase(LiveAc& ac) {
    MotionState& m = ac.motion;
    MotionFields& f = m.more;
    --m.groundMove;
    if (m.groundMove == 1) {
        if (f.pushSideKnown) {
            // The tail swings to the end point's side, so the nose turns the
            // other way: the end point toward the push direction + 90 degrees
            // turns it clockwise, the alternative one counter-clockwise.
            if (!f.pushRightSide) {
                const std::int32_t due = ac.stream.back().time;
                ac.stream.back() = f.pushAltEnd;
                ac.stream.back().time = due;
            }
            m.curve.paramStep = 1.0 / std::max(1, lf_roundTicks(90.0 / (ac.turnRate * kRadToDeg) / 100.0));
            lf_buildCurve(ac, ac.stream[1], ac.stream.back(), 90.0);
        } else if (ac.stream.size() > 2) {
            ac.stream.pop_back();
        }
        return;
    }
    if (m.groundMove <= 0) {
        ac.targetHeading = ac.pos.heading;
        gf_engineAutoStart(ac.objectId);
        gf_setThrottle(ac, 0);
        gf_setFlaps(ac, 1);
        ac.setFlightState(FlightState::pushed_back);
        m.groundMove = 1;
        f.pushFirstDistance_nm = 900.0;
        ac.extensionCount = 0;
        f.departurePending = false;
    }
}

void lf_leaveStand(LiveAc& ac) {
    lf_resetWindows(ac);
    if (!ac.motion.more.departurePending) return;
    const StreamPoint& last = ac.stream.back();
    const double bearing = gf_initialBearing(LatLon{ac.standLat, ac.standLon}, LatLon{last.lat, last.lon});
    const double angle = std::round(lf_toPiRange(bearing - ac.standHeading) * kRadToDeg);
    if (std::fabs(angle) < 90.0) lf_pullOut(ac);
    else lf_pushBack(ac);
}

void lf_leavingLights(const LiveAc& ac) { gf_setLights(ac.objectId, 1, 1, 0, 1, 0, 1, 0); }

StreamPoint lf_movedPoint(const StreamPoint& from, LatLon to, double gs, std::int32_t due) {
    StreamPoint p = from;
    p.lat = to.lat;
    p.lon = to.lon;
    p.gs = gs;
    p.time = due;
    p.stationary = false;
    p.airborne = false;
    return p;
}

}  // namespace

// The roll's speeds are often read from the positions of a receiver that
// coasts and catches up: from standstill at the mean of two such speeds the
// run falls half a minute behind its reports and lifts off that late. The
// run keeps to its reports' due times instead, no faster than its reported
// speeds allow an aircraft to catch up along the path it rolls (through a
// curve's control point to its end).
std::int32_t lf_takeOffRunTicks(const LiveAc& ac, std::int32_t ticks) {
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    const std::int64_t untilDue = static_cast<std::int64_t>(next.time) - g_trafficTick.load();
    if (untilDue >= ticks) return ticks;
    double path_nm = lf_distanceNm(front, next);
    if (lf_curveSet(ac)) {
        const GroundCurve& c = ac.motion.curve;
        path_nm = (std::hypot(c.controlEast_m, c.controlNorth_m) +
                   std::hypot(c.endEast_m - c.controlEast_m, c.endNorth_m - c.controlNorth_m)) /
                  kMetresPerNm;
    }
    const std::int32_t fastest = lf_flightTicks(path_nm, lf_flyableSpeed(front, next));
    return std::max({static_cast<std::int32_t>(std::max<std::int64_t>(untilDue, 0)), fastest, kMinSegmentTicks});
}

namespace {

void lf_takeOffCheck(LiveAc& ac, std::int32_t dt) {
    const std::size_t n = ac.stream.size();
    const double liftOff = gf_categoryMotion(ac.category).liftOffSpeed_kt;
    bool allClimb = true;
    bool allAirborne = true;
    bool anyAirborne = false;
    bool liftOffReached = true;
    for (std::size_t i = 1; i < n; ++i) {
        const StreamPoint& p = ac.stream[i];
        if (p.vrate <= kClimbingRate_fpm) allClimb = false;
        if (!p.airborne) allAirborne = false;
        anyAirborne = anyAirborne || p.airborne;
        if (p.gs < liftOff) liftOffReached = false;
    }
    // Climbing rates alone lift no report off: its altitudes ahead must
    // leave the ground too. A silent run (the stream extended without
    // reports) has only the rates of its extension to go by.
    if (!anyAirborne && ac.extensionCount <= 0) allClimb = false;
    if (!allClimb) {
        // The rotation waits for the points that show the aircraft flying.
        if (!liftOffReached || !allAirborne) return;
        ac.motion.verticalSpeed_ftPerTick = ac.maxClimb;
    } else if (!allAirborne) {
        ac.motion.verticalSpeed_ftPerTick = ac.maxClimb;
    } else {
        ac.motion.verticalSpeed_ftPerTick = std::max(ac.stream[1].alt - ac.pos.alt, 0.1) / dt;
    }
    lf_takeOffRotation(ac);
}

void lf_landingRollStep(LiveAc& ac) {
    MotionState& m = ac.motion;
    const double off = std::fabs(lf_toPiRange(ac.pos.heading - m.touchdownHeading_rad)) * kRadToDeg;
    if (off >= kRunwayLeft_deg) {
        gf_setFlaps(ac, 0);
        m.landingRoll = false;
        m.touchdownHeading_rad = 0.0;
        gf_setThrottle(ac, lf_isRotor(ac) ? 4 : 0);
        gf_setSpoilers(ac, false);
        lf_zeroSpoilersAndThrottles(ac);
        gf_setLights(ac.objectId, 1, 1, 0, 1, 0, 1, 1);
    } else if (ac.stream[0].gs <= kRollSpoilersOff_kt) {
        gf_setSpoilers(ac, false);
        lf_zeroSpoilersAndThrottles(ac);
        gf_setFlaps(ac, 1);
    }
}

int lf_takeOffThrottle(const StreamPoint& front, const StreamPoint& next) {
    if (front.gs >= 25.0 || next.gs >= 30.0) return 4;
    if (front.gs >= 20.0 || next.gs >= 25.0) return 2;
    if (front.gs >= 15.0 || next.gs >= 20.0) return 1;
    return 0;
}

}  // namespace

void lf_zeroSpoilersAndThrottles(const LiveAc& ac) {
    if (ac.category == AcCategory::Light) return;
    const double zeros[3] = {0.0, 0.0, 0.0};
    std::lock_guard lock(g_simMutex);
    if (!g_requestError.load())
        SimConnect_SetDataOnSimObject(g_simHandle.load(), SimDefSpoilersThrottles, ac.objectId, 0, 0, sizeof(zeros),
                                      zeros);
}

void lf_groundTiming(LiveAc& ac) {
    const StreamPoint& front = ac.stream[0];
    StreamPoint& next = ac.stream[1];
    if (next.stationary) {
        lf_stopTiming(ac);
        return;
    }
    MotionState& m = ac.motion;
    ac.currentTurnRate = ac.turnRate;
    const bool curve = lf_curveSet(ac);
    // A curve is flown over its own length, not over the chord to its end.
    const double dist_nm = curve ? lf_curveLengthNm(m.curve) : lf_distanceNm(front, next);
    std::int32_t ticks = std::max(lf_flightTicks(dist_nm, lf_segmentSpeed(front, next)), kMinSegmentTicks);
    if (m.more.takeOffRun) ticks = lf_takeOffRunTicks(ac, ticks);
    if (curve || m.more.sharpTurn) {
        const double a = m.more.sharpTurn ? m.more.sharpTurnAngle_deg : m.curve.turnAngle_deg;
        const double turnRate_deg = ac.turnRate * kRadToDeg;
        const std::int32_t k = std::max(lf_roundTicks(a / turnRate_deg / 100.0), 1);
        const double r = static_cast<double>(ticks) / k;
        // The turn must be flown within the segment's time: the turn rate
        // follows the time the feed gives for it.
        if (a <= kMidpointTurn_deg) {
            double factor = 1.0;
            if (r >= 1.2) {
                const double metres = dist_nm * kMetresPerNm;
                double least = std::min(r, 10.0 * r / std::max(a, 1e-9));
                if (metres > 0.0) least = std::min(least, 30.0 * r / metres);
                if (least > 0.0) factor = 1.0 / least;
            } else if (r > 0.0) {
                factor = 1.0 / r;
            }
            ac.currentTurnRate *= factor;
        } else {
            ac.currentTurnRate *= std::min(r, std::min(a, 90.0) / 30.0);
            if (a >= 90.0) {
                m.windowBefore = std::max(m.windowBefore, kSharpTurnWindow);
                m.windowAfter = std::max(m.windowAfter, kSharpTurnWindow);
            }
        }
    }
    next.time = lf_windowedDue(ac, next.time, ticks);
    // The window may pull the due time in to catch up on the reports; on
    // the ground too that is done at a speed the aircraft can roll, never
    // by a leap along the taxiway.
    const double ahead_nm = curve ? dist_nm : gf_distanceNm(LatLon{ac.pos.lat, ac.pos.lon}, LatLon{next.lat, next.lon});
    const std::int64_t earliest =
        static_cast<std::int64_t>(g_trafficTick.load()) + lf_flightTicks(ahead_nm, lf_flyableSpeed(front, next));
    if (earliest > INT32_MAX) throw gsl::narrowing_error();
    next.time = std::max(next.time, static_cast<std::int32_t>(earliest));
    if (curve || m.more.sharpTurn) {
        // Never so slow that the turn outlasts its segment: the aircraft
        // reaches its point (a stand, a taxiway) with the heading it turns
        // to there.
        const double a_rad = (m.more.sharpTurn ? m.more.sharpTurnAngle_deg : m.curve.turnAngle_deg) * kDegToRad;
        ac.currentTurnRate = std::max(ac.currentTurnRate, a_rad / lf_ticksUntil(next.time));
    }
}

void nextPosGround(LiveAc& ac) {
    try {
        switch (ac.flightState) {
        case FlightState::pushing_back: lf_pushBackPhase(ac); break;
        case FlightState::parked: lf_leaveStand(ac); break;
        default:
            if (!lf_stopShortTrigger(ac) && !ac.stream[1].stationary) lf_shapeTaxiSegment(ac);
            break;
        }
        lf_parkingTrigger(ac);
        if (ac.stream.size() >= 2) lf_groundTiming(ac);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("{}: {}, {}, sz:{}", "nextPosGround", e.what(), gf_acDescription(ac), ac.stream.size()));
        throw;
    }
}

void lf_groundStep(LiveAc& ac) {
    MotionState& m = ac.motion;
    if (ac.flightState == FlightState::flying || ac.flightState == FlightState::parked)
        ac.setFlightState(FlightState::taxi);
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    if (m.more.takeOffRun) {
        gf_setThrottle(ac, lf_isRotor(ac) ? 4 : lf_takeOffThrottle(front, next));
    } else if (m.landingRoll) {
        lf_landingRollStep(ac);
    } else {
        gf_setThrottle(ac, lf_isRotor(ac) ? 4 : 0);
    }
    if (!m.more.takeOffRun && !m.landingRoll) lf_shrinkWindows(ac);
    if (m.more.flareStage == 0 && ac.flightState != FlightState::take_off && !m.derotation) {
        ac.pos.pitch = ac.restPitch;
        ac.pos.bank = 0.0;
        m.pitchRate_rad = 0.0;
        m.bankRate_rad = 0.0;
    }
    const std::int32_t dt = lf_ticksUntil(ac.stream[1].time);
    if (lf_curveSet(ac)) m.curve.paramStep = 1.0 / dt;
    m.targetAirspeed_kt = ac.flightState == FlightState::pushing_back ? -next.gs : next.gs;
    if (m.more.takeOffRun && ac.flightState != FlightState::take_off && front.gs >= kRotationCheckGs_kt)
        lf_takeOffCheck(ac, dt);
}

void lf_startTakeOffRun(LiveAc& ac, std::int32_t throttle, bool spoilers) {
    MotionFields& f = ac.motion.more;
    f.takeOffRun = true;
    gf_setThrottle(ac, throttle);
    gf_setSpoilers(ac, spoilers);
    gf_setFlaps(ac, 1);
    f.landing = false;
    f.goAround = false;
    gf_setLights(ac.objectId, 1, 1, 1, 1, 1, 1, 0);
    ac.motion.windowBefore = kWindowReset;
    ac.motion.windowAfter = kWindowResetTakeOff;
}


// A stream leaves the ground with its reports some seconds before its
// first point in the air, which often lies a hundred feet or more above the
// simulator's runway (a pressure altitude read on another QNH). Rotated
// only when the roll reached its last point on the ground, the aircraft
// left the runway as that point came due and reached the report a few
// seconds late. The rotation starts when the climb-out at its best climb
// just reaches the first point in the air at that point's time.
void lf_takeOffWhenDue(LiveAc& ac) {
    if (!ac.groundMode || !ac.motion.more.takeOffRun || ac.flightState == FlightState::take_off) return;
    if (ac.stream.size() < 2 || ac.stream[0].gs < kRotationCheckGs_kt || ac.maxClimb <= 0.0) return;
    std::size_t first = 1;
    while (first < ac.stream.size() && !ac.stream[first].airborne) ++first;
    // The reports ahead fly on from that point: not one report's flag.
    if (first + 1 >= ac.stream.size() || !ac.stream[first + 1].airborne) return;
    const StreamPoint& air = ac.stream[first];
    const double height_ft = air.alt - ac.pos.alt;
    if (height_ft <= 0.0) return;
    const std::int64_t untilDue = static_cast<std::int64_t>(air.time) - g_trafficTick.load();
    // Rotated now at its best climb, it would be at the point's height by
    // its time: still time to roll on.
    const std::int32_t rotation = std::max(ac.rotationTicks, 1);
    const auto ticks = static_cast<std::int32_t>(std::clamp<std::int64_t>(untilDue, 0, INT32_MAX));
    if (ac.maxClimb * lf_climbOutGain(rotation, ticks) > height_ft) return;
    ac.motion.verticalSpeed_ftPerTick = ac.maxClimb;
    lf_takeOffRotation(ac);
}

void lf_takeOffConfiguration(LiveAc& ac) {
    if (ac.towed) gf_logLine(fmt::format("towed aircraft takes-off? {}", gf_acDescription(ac)));
    lf_startTakeOffRun(ac, 0, false);
}

void lf_pullOut(LiveAc& ac) {
    MotionFields& f = ac.motion.more;
    f.departurePending = false;
    ac.extensionCount = 0;
    const double slow = ac.slowGroundSpeed;
    StreamPoint& front = ac.stream.front();
    front.gs = slow;
    const double dist_ft = ac.size * 2.0 * kFeetPerNm;
    const LatLon to = gf_destinationPoint(LatLon{ac.pos.lat, ac.pos.lon}, ac.standHeading, dist_ft);
    const std::int32_t due = g_trafficTick.load() + lf_flightTicks(dist_ft / kFeetPerNm, slow);
    const StreamPoint target = lf_movedPoint(front, to, slow, due);
    ac.stream.resize(1);
    ac.stream.push_back(target);
    ac.setFlightState(FlightState::taxi);
    ac.targetHeading = ac.pos.heading;
    lf_leavingLights(ac);
    gf_engineAutoStart(ac.objectId);
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 1);
    gf_logLine(fmt::format("{}{:8} pulling out", gf_standHead(ac.standId), ac.callsign));
}

void lf_pushBack(LiveAc& ac) {
    const Stand* stand = gf_standById(ac.standId);
    // Without its stand there is no room known behind the aircraft: it stays.
    if (!stand) return;
    ac.extensionCount = 0;
    MotionFields& f = ac.motion.more;
    const double push = lf_toTwoPi(ac.standHeading + kPi);
    const double slow = ac.slowGroundSpeed;
    const LatLon here{ac.pos.lat, ac.pos.lon};
    const double distA_ft = 2.5 * stand->radius * kFeetPerNm;
    const LatLon a = gf_destinationPoint(here, push, distA_ft);
    ac.stream.front().gs = slow;
    // A copy: the midpoint inserted below moves the stream's elements, so a
    // reference to the front would no longer name it.
    const StreamPoint front = ac.stream.front();
    ac.targetHeading = ac.pos.heading;
    const std::int32_t now = g_trafficTick.load();
    const std::int32_t ticksA = lf_flightTicks(distA_ft / kFeetPerNm, slow);
    const StreamPoint pointA = lf_movedPoint(front, a, slow, now + ticksA);
    ac.stream.resize(1);
    ac.stream.push_back(pointA);
    lf_insertMidpoint(ac);
    const double size_ft = ac.size * kFeetPerNm;
    const LatLon b = gf_destinationPoint(a, push + kPi / 2.0, size_ft);
    const LatLon alt = gf_destinationPoint(a, push - kPi / 2.0, size_ft);
    const StreamPoint& mid = ac.stream[1];
    const std::int32_t dueB = now + ticksA / 2 +
                              lf_flightTicks(gf_distanceNm(LatLon{mid.lat, mid.lon}, b), slow);
    ac.stream.push_back(lf_movedPoint(front, b, slow, dueB));
    f.pushAltEnd = lf_movedPoint(front, alt, slow, dueB);
    f.pushSideKnown = false;
    f.pushRightSide = false;
    f.sharpTurn = false;
    lf_leavingLights(ac);
    ac.setFlightState(FlightState::pushing_back);
    ac.motion.groundMove = kPushBackPhases;
}

void drive2Stand(LiveAc& ac, const StandPoint& stand) {
    if (ac.stream.empty()) {
        gf_logHighlight(fmt::format("{} empty sz?", "drive2Stand"));
        return;
    }
    StreamPoint& last = ac.stream.back();
    const double slow = ac.slowGroundSpeed;
    const double dist_nm = gf_distanceNm(LatLon{last.lat, last.lon}, LatLon{stand.lat_deg, stand.lon_deg});
    const std::int32_t ticks = std::max(lf_flightTicks(dist_nm, slow), kStandArrivalMin);
    last.gs = slow;
    StreamPoint onStand = last;
    onStand.stationary = lf_samePlace(last, stand.lat_deg, stand.lon_deg);
    onStand.lat = stand.lat_deg;
    onStand.lon = stand.lon_deg;
    onStand.alt = ac.pos.alt;
    onStand.gs = slow;
    onStand.tas = slow;
    onStand.track = stand.heading_rad * kRadToDeg;
    onStand.time = ac.stream.front().time + ticks;
    onStand.airborne = false;
    onStand.bank_rad = ac.pos.bank;
    StreamPoint settled = onStand;
    settled.stationary = true;
    settled.gs = 0.0;
    settled.tas = 0.0;
    settled.time = onStand.time + kStandSettle;
    ac.stream.push_back(onStand);
    ac.stream.push_back(settled);
    ac.targetHeading = stand.heading_rad;
    lf_stopExtension(ac);
    lf_resetWindows(ac);
}

void lf_departStand(LiveAc& ac, StreamPoint& point) {
    point.stationary = false;
    MotionFields& f = ac.motion.more;
    f.departurePending = true;
    if (ac.previousFlightState == FlightState::parked) return;
    const std::int32_t now = g_trafficTick.load();
    if (ac.extensionCount >= 1 && ac.flightState == FlightState::parked && !ac.stream.empty()) {
        if (f.landed) {
            f.landed = false;
            // A short stay after landing: the aircraft is towed away rather
            // than taxiing under its own power.
            const std::int64_t parked = static_cast<std::int64_t>(now) - (ac.stream.front().time - 60480000LL);
            std::int64_t limit = 0;
            if (ac.category == AcCategory::Heavy) limit = 360000;
            else if (ac.category == AcCategory::Large) limit = 150000;
            else if (ac.category == AcCategory::Buzjets) limit = 90000;
            ac.towed = parked < limit ? 1 : 0;
        }
        ac.stream.front().time = now + 1;
    }
    if (ac.extensionCount >= 1) {
        ac.extensionCount = 0;
        lf_resetWindows(ac);
    }
    lf_addRealStandOption(ac.standId, ac, StandUse::leaving);
    gf_clearStandOccupant(ac.standId, &ac);
    ac.setFlightState(FlightState::parked);
}
