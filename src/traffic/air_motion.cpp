#include "traffic/air_motion.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>

#include <gsl/narrow>

#include "airports/park_airport_state.h"
#include "core/log.h"
#include "simlink/sim_queues.h"
#include "traffic/ai_commands.h"
#include "traffic/ground_motion.h"
#include "traffic/motion_common.h"
#include "traffic/spawn.h"
#include "traffic/stream_checks.h"
#include "traffic/traffic_state.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kLowAltitude_ft = 10000.0;
constexpr double kNearGround_ft = 1000.0;
constexpr double kDescentToGround_fpm = -601.0;
constexpr double kFpmPerFtPerTick = 6000.0;
constexpr double kFlareBelow_ft = 400.0;
constexpr double kFlarePitch_rad = -4.0 * kDegToRad;
constexpr double kFlareLaidOutFor_fpm = 600.0;
constexpr double kApproachNear_nm = 10.0;
constexpr double kApproachSink_fpm = -250.0;
constexpr double kAltimeterStep_ft = 25.0;
constexpr std::size_t kLevelPoints = 4;
constexpr double kTicksPerMinute = 6000.0;
constexpr double kRunwayOffsetMin_ft = 54.0;  // 2 hPa
// The feed's altitude correction: feet per hPa of QNH off the standard.
constexpr double kFtPerHpa = 27.0;
constexpr double kStandardPressure_hpa = 1013.25;
// Reports level this close above the simulator's ground may be a runway read
// with a QNH up to 11 hPa off the local one.
constexpr double kRunwayBand_ft = 300.0;
// A roll-out slows below this share of the lift-off speed; a low pass keeps
// its speed.
constexpr double kRollOutShareOfLiftOff = 0.8;
// The reports ahead show a descent only over at least this many ticks.
constexpr std::int64_t kDescentSeen_ticks = 1000;
// A descent is an approach when it meets the ground within this time.
constexpr double kApproachWithin_min = 4.0;
// A go-around: the reports ahead climb at least this far above the front.
constexpr double kClimbAway_ft = 100.0;
// A sink of a few of the transponder's 64 ft/min steps, as reported.
constexpr double kReportedSink_fpm = 256.0;
// The runway offset comes in at most this much faster (or slower) than the
// reported sink.
constexpr double kOffsetBlend_fpm = 300.0;
// A receiver's readings cut at zero last no longer than this; the reports
// after them lie this close to the approach's descent carried on.
constexpr std::int32_t kGroundRunAtMost_ticks = 1000;
constexpr double kOnTheDescent_ft = 150.0;
constexpr std::size_t kReportsAfterRun = 3;
// An airliner holding a level drifts off it no faster than this.
constexpr double kLevelDrift_fpm = 500.0;
// Wheels above the simulator's ground of an aircraft whose reports do not
// reach it: less would count as a touchdown.
constexpr double kGroundClearance_ft = 10.0;
constexpr double kClimbOutDone_ft = 800.0;
// Flaps and gear come up above this height and out again on the way down only
// below the lower mark: the band (four altimeter steps) keeps a level leg
// whose reports step 25 ft from changing the configuration.
constexpr double kRetractAbove_ft = 2450.0;
constexpr double kExtendBelow_ft = 2350.0;
// Once up in the air the gear comes down again no sooner than this (ticks):
// what a pilot does between a go-around and the next approach.
constexpr std::int64_t kGearDownAgainAfter_ticks = 3000;
constexpr std::int32_t kCountdownFloor = -1000;

struct FlareStep {
    double aboveCg_ft;
    double verticalSpeed_ftPerTick;
    int throttle;  // -1: unchanged
};
// Stage n+1 starts at the given height above the CG height: the sink rate
// halves step by step so the wheels meet the runway gently.
constexpr FlareStep kFlareSteps[] = {{20.0, -0.075, -1}, {10.0, -0.05, 0}, {3.0, -0.025, -1}};

bool lf_isRotor(const LiveAc& ac) { return ac.category == AcCategory::Rotorcraft; }

double lf_targetPitch(double vrate_fpm) {
    double v = std::min(vrate_fpm, 2400.0);
    if (v < 0.0) v = std::max(v, -3000.0) / 2.0;
    return (-3.0 - v / 600.0 * 2.2) * kDegToRad;
}

// The height above the simulator's ground now: its last ground altitude
// under the aircraft (terrain assumed level until the next report), or its
// last reported height above ground before the first report.
double lf_heightNow_ft(const LiveAc& ac) {
    const MotionFields& f = ac.motion.more;
    return f.simGroundKnown ? ac.pos.alt - f.simGround_ft : ac.heightAboveGround;
}

// A touchdown reported by the ground data: the landing roll starts with the
// nose still up.
void lf_takeTouchdown(LiveAc& ac) {
    MotionState& m = ac.motion;
    m.touchdownReached = false;
    m.touchdownUnderWay = false;
    m.more.gearWanted = -1;  // an up held for a climb-out that did not come
    m.more.flapsUpAfterTouch = false;
    m.landingRoll = true;
    m.derotation = true;
    m.touchdownHeading_rad = ac.pos.heading;
    m.more.landed = true;
    m.more.runwayOffsetApplied_ft = 0.0;
    // The roll-out takes over from the approach: new points are judged as
    // points of a roll-out, no longer of an approach.
    m.more.landing = false;
}

// ---- Segment timing in the air ----
// An aircraft circling in a thermal, orbiting or holding turns through most
// of a circle between two reports: the straight line between them is far
// shorter than its path, and flown at its speed it reaches each report long
// before the report's time, runs out of reports and flies on straight, out
// of its circle and ahead of its height. Where the reported tracks point
// well away from that line, the path is the reports' own and the aircraft
// keeps their time, arriving at most a few seconds early.
constexpr double kTurnOffLine_rad = 60.0 * kDegToRad;
constexpr std::int32_t kTurnEarlyTicks = 200;

double lf_offLine_rad(double track_deg, double bearing_rad) {
    return std::fabs(std::remainder(track_deg * kDegToRad - bearing_rad, 2.0 * kPi));
}

bool lf_turnsOffLine(const StreamPoint& front, const StreamPoint& next) {
    if (front.gs <= 0.0 || next.gs <= 0.0 || lf_samePlace(next, front.lat, front.lon)) return false;
    const double bearing = gf_initialBearing(LatLon{front.lat, front.lon}, LatLon{next.lat, next.lon});
    return lf_offLine_rad(front.track, bearing) > kTurnOffLine_rad ||
           lf_offLine_rad(next.track, bearing) > kTurnOffLine_rad;
}

void lf_airTiming(LiveAc& ac) {
    const StreamPoint& front = ac.stream[0];
    StreamPoint& next = ac.stream[1];
    double speed = 0.0;
    if (ac.motion.more.landing && !next.airborne) {
        speed = front.gs == 0.0 ? 100.0 : front.gs;
    } else {
        speed = lf_segmentSpeed(front, next);
    }
    const double flyable = lf_flyableSpeed(front, next);
    const std::int32_t ticks = lf_flightTicks(lf_distanceNm(front, next), speed);
    const std::int32_t received = next.time;
    ac.motion.more.frontReceivedDue = received;
    next.time = lf_windowedDue(ac, next.time, ticks);
    // A full circle between two reports can end on the line between them:
    // the turn shows on the neighbouring leg.
    const bool circling = lf_turnsOffLine(front, next) || (ac.stream.size() > 2 && lf_turnsOffLine(next, ac.stream[2]));
    if (ac.extensionCount < 1 && next.airborne && circling)
        next.time = std::max(next.time, received - kTurnEarlyTicks);
    next.time = lf_flyableDue(ac, next, flyable);
}

// ---- Vertical speed ----
void lf_setDescentRate(LiveAc& ac, StreamPoint& next, double rate_fpm) {
    next.vrate = rate_fpm;
    ac.motion.targetVerticalRate_fpm = rate_fpm;
    ac.motion.verticalSpeed_ftPerTick = rate_fpm / kFpmPerFtPerTick;
}

// The reported rates shape the last of a descent that the reports confirm
// by reaching the ground. The QNH does not enter: it shifts every altitude
// by the same height, which changes no rate; the gap it leaves between the
// reports and the simulator's runway is taken in along the approach.
void lf_landingDescentRate(LiveAc& ac, const StreamPoint& front, StreamPoint& next) {
    double rate = -600.0;
    if (ac.heightAboveGround > 100.0) rate = std::min((front.vrate + next.vrate) / 2.0, -601.0);
    lf_setDescentRate(ac, next, rate);
}

// In the climb-out the rate is what its build-up needs to meet the point at
// its time: at the plain rate it arrived a hundred feet and more low.
void lf_climbRate(LiveAc& ac, const StreamPoint& next, std::int32_t dt) {
    const double ticks =
        ac.flightState == FlightState::take_off ? lf_climbOutGain(ac.motion.more.countdown, dt) : static_cast<double>(dt);
    const double c = (next.alt - ac.pos.alt) / std::max(ticks, 1.0);
    ac.motion.verticalSpeed_ftPerTick = c > 0.0 ? std::min(c, ac.maxClimb) : 0.0;
}

// Both points on the ground without a landing: the climb is aimed at the
// first airborne point among the next few, the points between are dropped.
// The first point in the air counts too: skipped, the climb would aim past
// the report it has to meet. Rotated in the take-off run, the aircraft
// keeps to that point's time as its roll did, rather than retiming it from
// the roll's speeds (read from positions, they put it seconds late).
void lf_skipToAirborne(LiveAc& ac) {
    const std::size_t last = std::min<std::size_t>(ac.stream.size() - 1, 10);
    for (std::size_t k = 2; k <= last; ++k) {
        if (!ac.stream[k].airborne) continue;
        ac.stream.erase(ac.stream.begin() + 1, ac.stream.begin() + static_cast<std::ptrdiff_t>(k));
        const StreamPoint& front = ac.stream[0];
        StreamPoint& next = ac.stream[1];
        std::int32_t ticks = lf_flightTicks(lf_distanceNm(front, next), lf_segmentSpeed(front, next));
        if (ac.motion.more.takeOffRun) ticks = lf_takeOffRunTicks(ac, ticks);
        next.time = lf_windowedDue(ac, next.time, ticks);
        lf_climbRate(ac, next, lf_ticksUntil(next.time));
        return;
    }
    StreamPoint& next = ac.stream[1];
    next.vrate = std::max(next.vrate, 601.0);
    ac.motion.verticalSpeed_ftPerTick = next.vrate / kFpmPerFtPerTick;
}

// A short run of ground points among an airliner's approach reports, after
// which the reports in the air go on along the descent the report before it
// showed, is a receiver's readings cut at zero, no touchdown: a touch-and-go
// rolls for longer and climbs away from the runway, not from the approach's
// height. Returns the index of the report in the air after the run, 0 when
// the run at i is no such run.
std::size_t lf_disownedGroundRun(const LiveAc& ac, std::size_t i) {
    if (!gf_isAirliner(ac.category) || i == 0 || i >= ac.stream.size() || ac.stream[i].airborne ||
        !ac.stream[i - 1].airborne)
        return 0;
    std::size_t j = i;
    while (j < ac.stream.size() && !ac.stream[j].airborne) ++j;
    if (j == ac.stream.size() || ac.stream[j].time - ac.stream[i].time > kGroundRunAtMost_ticks) return 0;
    // A feed without the rate sends none (0): its descent carried flat tells
    // nothing. The reports after the run may be off as well: one of the
    // first few on the descent bears it out.
    const StreamPoint& last = ac.stream[i - 1];
    if (!(std::fabs(last.vrate) > 0.0)) return 0;
    for (std::size_t k = j; k < std::min(ac.stream.size(), j + kReportsAfterRun); ++k) {
        const StreamPoint& after = ac.stream[k];
        if (!after.airborne) return 0;
        const double carried_ft = last.alt + last.vrate * (after.time - last.time) / kTicksPerMinute;
        if (std::fabs(after.alt - carried_ft) <= kOnTheDescent_ft) return j;
    }
    return 0;
}

// How far the stream's touchdown lies above the simulator's runway: the
// stream's altitude where its first ground point ahead lies, against the
// ground the simulator reports under the aircraft. The altitudes are
// corrected with the user's QNH, which differs from the one where the
// aircraft lands by a few hPa (27 ft each); on the final approach the
// stream is followed that much lower (or higher), so that the wheels meet
// the simulator's runway where the stream touches down. Small differences
// (the last point's own height over the runway) are left alone. Also the
// due time of the last point in the air, where the stream leaves for the
// ground.
struct RunwayOffset {
    double offset_ft = 0.0;
    std::int32_t lastAirborneDue = 0;
};

RunwayOffset lf_runwayOffset(const LiveAc& ac) {
    const MotionFields& f = ac.motion.more;
    if (!f.simGroundKnown) return {};
    for (std::size_t i = 1; i < ac.stream.size(); ++i) {
        if (ac.stream[i].airborne) continue;
        if (const std::size_t after = lf_disownedGroundRun(ac, i)) {
            i = after;
            continue;
        }
        if (!ac.stream[i - 1].airborne) return {};
        // One ground point alone at the end waits for the report after it:
        // a receiver's spike cut at zero among an approach's reports is
        // no runway, and the report after it takes it out of the stream.
        if (i + 1 == ac.stream.size()) return {};
        // The last airborne point may lie some hundred metres before the
        // ground point (the stream is thinned in the air): carried on at
        // its vertical rate to the ground point's time. A last point that
        // the motion moved past the ground point's time is not carried
        // back up: the runway never lies above a report in the air.
        const StreamPoint& last = ac.stream[i - 1];
        const double minutes = std::max<double>(ac.stream[i].time - last.time, 0.0) / kTicksPerMinute;
        const double runway = last.alt + std::min(last.vrate, 0.0) * minutes;
        const double offset = runway - (f.simGround_ft + ac.cgHeight);
        return {std::fabs(offset) > kRunwayOffsetMin_ft ? offset : 0.0, last.time};
    }
    return {};
}

// The next points of the stream stay within one 25 ft step of the
// altimeter: level, where a slow descent loses more over as many points.
bool lf_levelAhead(const LiveAc& ac) {
    const std::size_t n = std::min<std::size_t>(ac.stream.size(), kLevelPoints + 2);
    if (n < kLevelPoints) return false;
    const auto [low, high] = std::minmax_element(ac.stream.begin(), ac.stream.begin() + static_cast<std::ptrdiff_t>(n),
                                                 [](const StreamPoint& a, const StreamPoint& b) { return a.alt < b.alt; });
    return high->alt - low->alt <= kAltimeterStep_ft;
}

bool lf_nearParkAirport(const LiveAc& ac) {
    if (!g_standsLoaded.load()) return false;
    const auto airport = g_currentAirport.get();
    return airport && gf_distanceNm(LatLon{ac.pos.lat, ac.pos.lon}, LatLon{airport->latitude, airport->longitude}) <=
                          kApproachNear_nm;
}

// Its stream reaches the ground: it lands, at whatever airport.
bool lf_streamReachesGround(const LiveAc& ac) {
    return std::any_of(ac.stream.begin(), ac.stream.end(), [](const StreamPoint& p) { return !p.airborne; });
}

// ---- Configuration ----
// The gear follows what the motion asks for, as a pilot would move it, not
// every flip of the motion's own marks: a touch shows in the stream about
// 30 s ahead together with the climb-out after it, so the motion may see a
// go-around while the aircraft still comes down to the touch.
// Committed to a touch: reports on the ground still lie ahead.
bool lf_touchAhead(const LiveAc& ac) { return lf_streamReachesGround(ac); }

// Sends the gear change asked for when it may go: up only once no touch lies
// ahead (the climb-out is then established), down again only a while after
// it came up. A held change goes out on a later step.
void lf_applyGear(LiveAc& ac) {
    MotionFields& f = ac.motion.more;
    if (f.gearWanted < 0) return;
    // The gear is where it was asked to be: nothing to send (a climb asks
    // for the gear up on every step above the retraction height).
    if (f.gearWanted == f.gearSent) {
        f.gearWanted = -1;
        return;
    }
    const bool down = f.gearWanted == 1;
    if (f.gearSent >= 0 && f.gearWanted != f.gearSent) {
        if (!down && lf_touchAhead(ac)) return;
        if (down && g_trafficTick.load() - f.gearChangedTick < kGearDownAgainAfter_ticks) return;
        f.gearChangedTick = g_trafficTick.load();
    }
    gf_setGear(ac, down);
    if (!down && f.flapsUpAfterTouch) gf_setFlaps(ac, 0);
    f.flapsUpAfterTouch = false;
    f.gearSent = f.gearWanted;
    f.gearWanted = -1;
}

void lf_wantGear(LiveAc& ac, bool down) {
    MotionFields& f = ac.motion.more;
    // Down asked again while an up waits for the climb-out after the touch:
    // the gear is down already and the up still stands.
    if (down && f.gearSent == 1 && f.gearWanted == 0) return;
    f.gearWanted = down ? 1 : 0;
    lf_applyGear(ac);
}

// A roll-out that the feed reports in the air (an airport without ground
// reports): the reports level within one altimeter step, close enough above
// the simulator's ground to be its runway read with another QNH, and
// slowing down as only a roll-out does. A low pass or a hover at that
// height keeps its speed and is flown as reported.
bool lf_onRunwayLevel(const LiveAc& ac) {
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    if (ac.heightAboveGround > kNearGround_ft || front.vrate + next.vrate > 100.0) return false;
    if (front.alt != next.alt && !lf_levelAhead(ac)) return false;
    const MotionFields& f = ac.motion.more;
    const double above_ft = f.simGroundKnown ? front.alt - (f.simGround_ft + ac.cgHeight) : ac.heightAboveGround;
    if (above_ft > kRunwayBand_ft) return false;
    const double rollOut_kt = gf_categoryMotion(ac.category).liftOffSpeed_kt * kRollOutShareOfLiftOff;
    return std::any_of(ac.stream.begin(), ac.stream.end(), [&](const StreamPoint& p) { return p.gs < rollOut_kt; });
}

// The part of the gap between an approach's reports and the simulator's
// runway that is known before the ground shows in the stream: the feed
// lifts every report by (QNH - 1013.25) x 27 ft, the simulator's pressure
// stays the standard one, so the reports meet its runway that much high
// (low with a QNH below standard). The last 2 hPa of it (54 ft, what
// 300 fpm beyond the reported sink takes in over the 13 s between the
// ground showing in the stream and the last point in the air) are left
// for the end, when the stream shows where the reports really touch down:
// a descent that turns out to be a low pass, or reports that meet the
// runway after all, are flown that much less off them.
double lf_qnhOffset_ft() {
    const double offset = (g_engineQnh.load() - kStandardPressure_hpa) * kFtPerHpa;
    return std::copysign(std::max(std::fabs(offset) - kRunwayOffsetMin_ft, 0.0), offset);
}

// Which way the run of the reports ahead goes, down to a touchdown: +1 up,
// -1 down, 0 level or too few points to tell. A receiver that mixes sources
// puts every other report some hundred feet off the run, often two or three
// in a row, more than the stream's smoothing takes out; the median of the
// rates between all pairs of points ahead is the run's rate without them.
// The run moves when that rate makes more than 50 ft over the points' span
// (some 100 fpm over the half minute a stream holds ahead): less is a level
// stretch, whose scatter this does not judge.
constexpr std::size_t kRunPoints = 16;
constexpr std::size_t kRunJudged = 6;
constexpr double kRunMoves_ft = 50.0;
// A climb that its next point all but stops (below this share of its rate)
// may be one that a scattered report stops: the run judges it. A climb the
// next point only slows is flown as reported: an aircraft behind its
// reports in place would otherwise climb on ahead of them.
constexpr double kSlowedClimbShare = 0.1;

// The run's way, and the height it gives at the next point's time: each
// point ahead carried along the run's rate to that time, the middle one of
// them (a minority of scattered points does not move it).
struct RunAhead {
    int way = 0;
    double atNext_ft = 0.0;
};

RunAhead lf_runAhead(const LiveAc& ac) {
    std::array<const StreamPoint*, kRunPoints> points{};
    std::size_t n = 0;
    for (std::size_t i = 1; i < ac.stream.size() && n < points.size(); ++i) {
        points[n++] = &ac.stream[i];
        if (!ac.stream[i].airborne) break;
    }
    if (n < kRunJudged) return {};
    // The next point's due time may have been moved to fly a smooth path
    // (an aircraft behind its reports reaches it later): its place in the
    // run is the time the feed gave it, back from the point after it at
    // their speed.
    std::array<double, kRunPoints> times{};
    for (std::size_t i = 0; i < n; ++i) times[i] = static_cast<double>(points[i]->time);
    times[0] = times[1] - lf_flightTicks(lf_distanceNm(*points[0], *points[1]), lf_segmentSpeed(*points[0], *points[1]));
    std::array<double, kRunPoints * (kRunPoints - 1) / 2> rates{};
    std::size_t m = 0;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) {
            const double ticks = times[j] - times[i];
            if (ticks > 0.0) rates[m++] = (points[j]->alt - points[i]->alt) / ticks;
        }
    if (m == 0) return {};
    const auto mid = rates.begin() + static_cast<std::ptrdiff_t>(m / 2);
    std::nth_element(rates.begin(), mid, rates.begin() + static_cast<std::ptrdiff_t>(m));
    const double rate = *mid;
    const double change = rate * (times[n - 1] - times[0]);
    RunAhead run;
    if (change > kRunMoves_ft) run.way = 1;
    if (change < -kRunMoves_ft) run.way = -1;
    for (std::size_t i = 0; i < n; ++i)
        rates[i] = points[i]->alt + rate * (times[0] - times[i]);
    std::nth_element(rates.begin(), rates.begin() + static_cast<std::ptrdiff_t>(n / 2),
                     rates.begin() + static_cast<std::ptrdiff_t>(n));
    run.atNext_ft = rates[n / 2];
    return run;
}

// An airliner's transponder may send a reading again while the aircraft
// climbs on (an update missed): a point of a steady climb or descent then
// lies some altimeter steps behind it. Flown as it stands, the climb
// slows to half its rate and then rushes on at half as much
// again, where every report's rate says it held. While the rates reported
// at the points around agree on one climb (or descent), the next point is
// flown at the height their run gives it (the middle of the pairwise rates
// and of the points carried along it, so one lagging point does not move
// it) when it lies behind it by no more than a held reading's lag;
// farther off, ahead of it, or with rates that change, it is the
// aircraft's own.
constexpr double kSteadyRate_fpm = 500.0;
constexpr double kSteadyRatesAgree_fpm = 600.0;
constexpr double kLaggedReading_ft = 150.0;
constexpr std::size_t kSteadyPoints = 5;

std::optional<double> lf_steadyRunAtNext(const LiveAc& ac) {
    if (!gf_isAirliner(ac.category) || ac.motion.more.landing || ac.stream.size() < kSteadyPoints) return std::nullopt;
    std::array<double, kSteadyPoints> times{}, alts{};
    double low = ac.stream[0].vrate, high = low;
    for (std::size_t i = 0; i < kSteadyPoints; ++i) {
        const StreamPoint& p = ac.stream[i];
        if (!p.airborne || p.stationary) return std::nullopt;
        low = std::min(low, p.vrate);
        high = std::max(high, p.vrate);
        alts[i] = p.alt;
        // The reports' own spacing, at their speeds: the due times may have
        // been moved to fly a smooth path.
        if (i > 0)
            times[i] = times[i - 1] + lf_flightTicks(lf_distanceNm(ac.stream[i - 1], p),
                                                     lf_segmentSpeed(ac.stream[i - 1], p));
    }
    if (high - low > kSteadyRatesAgree_fpm || (low < kSteadyRate_fpm && high > -kSteadyRate_fpm)) return std::nullopt;
    std::array<double, kSteadyPoints * (kSteadyPoints - 1) / 2> rates{};
    std::size_t m = 0;
    for (std::size_t i = 0; i < kSteadyPoints; ++i)
        for (std::size_t j = i + 1; j < kSteadyPoints; ++j)
            if (times[j] > times[i]) rates[m++] = (alts[j] - alts[i]) / (times[j] - times[i]);
    if (m < rates.size()) return std::nullopt;
    std::sort(rates.begin(), rates.end());
    const double rate = (rates[m / 2 - 1] + rates[m / 2]) / 2.0;
    std::array<double, kSteadyPoints> carried{};
    for (std::size_t i = 0; i < kSteadyPoints; ++i) carried[i] = alts[i] + rate * (times[1] - times[i]);
    std::sort(carried.begin(), carried.end());
    const double run_ft = carried[kSteadyPoints / 2];
    // Only behind the run: a missed update repeats the reading before, it
    // never runs ahead (a reading ahead is a step the transponder made);
    // and the reading it repeats was taken after this point's, so it lies
    // no farther back than this point's height.
    const double way = low > 0.0 ? 1.0 : -1.0;
    const double behind_ft = (run_ft - ac.stream[1].alt) * way;
    if (!(behind_ft > 0.0 && behind_ft <= kLaggedReading_ft && (ac.stream[1].alt - alts[0]) * way >= 0.0))
        return std::nullopt;
    return run_ft;
}

// An airliner's next point that lies hundreds of feet off the line from the
// aircraft to a point after it (within the seconds a receiver's run of bad
// readings lasts), where that line holds the rate the next point reports,
// is a run of bad readings: out and back within seconds, against its own
// reported rate, no airliner flies. The line's height at the point's time
// is flown instead.
constexpr double kOffRateLine_ft = 200.0;
constexpr double kHeldReading_min = 0.1;
constexpr double kLineHoldsRate_fpm = 500.0;
constexpr std::int32_t kBadRunAtMost_ticks = 3000;
constexpr std::size_t kBackWithin = 6;

std::optional<double> lf_rateLineAtNext(const LiveAc& ac) {
    const StreamPoint& next = ac.stream[1];
    const MotionFields& f = ac.motion.more;
    // A feed without the rate sends none (0): nothing to judge against.
    // A glider's or light aircraft's too: its rate swings with each
    // thermal, but a report hundreds of feet off the line through the
    // reports around it that holds its own rate is a receiver's spike, and
    // sunk to it the aircraft climbs back where every report descends.
    const bool judged = gf_isAirliner(ac.category) || ac.category == AcCategory::Light;
    if (!judged || ac.stream.size() < 3 || !(std::fabs(next.vrate) > 0.0)) return std::nullopt;
    const double from_ft = ac.pos.alt + f.runwayOffsetApplied_ft;
    const auto now = g_trafficTick.load();
    // The points after next are reached as late (or early) as next was
    // retimed against its report.
    const std::int32_t shift =
        f.frontReceivedDue == std::numeric_limits<std::int32_t>::min() ? 0 : next.time - f.frontReceivedDue;
    const std::size_t last = std::min(ac.stream.size() - 1, kBackWithin);
    for (std::size_t k = 2; k <= last; ++k) {
        const StreamPoint& p = ac.stream[k];
        const std::int64_t at = static_cast<std::int64_t>(p.time) + shift;
        if (!p.airborne || at - next.time > kBadRunAtMost_ticks || at <= next.time) break;
        const double rate_fpm = (p.alt - from_ft) * kTicksPerMinute / static_cast<double>(at - now);
        if (std::fabs(rate_fpm - next.vrate) > kLineHoldsRate_fpm) continue;
        const double line_ft = from_ft + rate_fpm * static_cast<double>(next.time - now) / kTicksPerMinute;
        const double off_ft = std::max(kOffRateLine_ft, std::fabs(rate_fpm) * kHeldReading_min);
        return std::fabs(next.alt - line_ft) > off_ft ? std::optional<double>(line_ft) : std::nullopt;
    }
    return std::nullopt;
}

// Both points in the air: the aircraft flies at its reported height. On an
// approach the gap between the stream's touchdown and the simulator's runway
// is taken in from the landing configuration on (about 2,000 ft), at most
// 300 fpm faster or slower than the reported sink: first most of the part
// the QNH predicts; once the ground shows in the stream (some 30 s before
// the touchdown) the gap measured there, the remainder spread evenly over
// the time left when 300 fpm would not meet the runway where the stream
// does. Taken in all at the end, 300 ft of gap made a sink of 1,900 fpm.
// An approach never climbs while its reports do not; away from a touchdown
// the wheels never meet the ground, whatever the QNH makes of the reports.
void lf_followReports(LiveAc& ac, std::int32_t dt) {
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    MotionFields& f = ac.motion.more;
    const bool landing = f.landing;
    if (landing && lf_streamReachesGround(ac)) f.touchdownAhead = true;
    const RunwayOffset runway = landing ? lf_runwayOffset(ac) : RunwayOffset{};
    // A helicopter comes down to a hover and may stay there at any height:
    // its reports show no touchdown to take the predicted gap in toward, and
    // it sinks the measured one in at its own pace once the ground shows.
    const bool predicted = landing && !lf_isRotor(ac);
    const double target_ft = runway.lastAirborneDue > 0 ? runway.offset_ft : predicted ? lf_qnhOffset_ft() : 0.0;
    const double gap_ft = target_ft - f.runwayOffsetApplied_ft;
    double step_ft = kOffsetBlend_fpm * dt / kTicksPerMinute;
    if (runway.lastAirborneDue > 0) {
        const double left = std::max<double>(runway.lastAirborneDue - g_trafficTick.load(), dt);
        step_ft = std::max(step_ft, std::fabs(gap_ft) * dt / left);
    }
    // Rising toward reports above the aircraft is only ever sinking slower:
    // never by more than the reports come down over the segment. Below them
    // by a gap taken in toward ground points that the reports after them
    // showed to be readings cut at zero, it levels off until it is back on
    // them.
    const bool runwayGone = runway.lastAirborneDue == 0 && f.runwayOffsetApplied_ft > std::max(target_ft, 0.0);
    const double rise_ft = !landing ? step_ft
                           : runwayGone ? std::max(front.alt - next.alt, 0.0)
                                        : std::min(step_ft, std::max(front.alt - next.alt, 0.0));
    f.runwayOffsetApplied_ft += std::clamp(gap_ft, -rise_ft, step_ft);
    const double next_ft = lf_rateLineAtNext(ac).value_or(lf_steadyRunAtNext(ac).value_or(next.alt));
    double c = (next_ft - f.runwayOffsetApplied_ft - ac.pos.alt) / dt;
    // While the run of the reports ahead goes down, an aircraft not already
    // climbing climbs toward no report above it (and while the run goes up,
    // one not already sinking sinks toward no report below it): a go-around
    // or a thermal turns the run up and climbs at once, and an aircraft
    // climbing to a top the reports give flies on to it.
    // The run is judged only where it could turn the aircraft round: it
    // costs a hundred rates, and most ticks keep the way they went.
    // A climbing aircraft whose next point would stop it climbs on along
    // the run to where the run puts that point: a receiver that puts two or
    // three reports in a row hundreds of feet below a steep climb would
    // otherwise level it for seconds and leave it to catch up at its best
    // climb, far behind the reports. A descent is not pulled down along its
    // run: there the reports' own sink and the runway decide.
    // A receiver's spike keeps the aircraft's own vertical rate: where the
    // transponder's rates at both ends of the segment say it climbs (or
    // sinks) toward the next point, that point is the aircraft's, and a run
    // that goes the other way on the whole (a glider climbing in a thermal
    // on a long glide down) does not hold it level until the point is
    // passed and has to be caught up with.
    const bool ratesClimb = front.vrate >= kReportedSink_fpm && next.vrate >= kReportedSink_fpm;
    const bool ratesSink = front.vrate <= -kReportedSink_fpm && next.vrate <= -kReportedSink_fpm;
    const double was = ac.motion.verticalSpeed_ftPerTick;
    const bool slowsClimb = was > 0.0 && c < kSlowedClimbShare * was;
    if ((c > 0.0 && was <= 0.0) || (c < 0.0 && was >= 0.0) || slowsClimb || (c >= 0.0 && was < 0.0)) {
        const RunAhead run = lf_runAhead(ac);
        const double along = (run.atNext_ft - f.runwayOffsetApplied_ft - ac.pos.alt) / dt;
        if (run.way < 0 && was <= 0.0 && !ratesClimb) c = std::min(c, 0.0);
        if (run.way > 0 && was >= 0.0 && !ratesSink) c = std::max(c, 0.0);
        if (run.way > 0 && was > 0.0) c = std::max(c, along);
    }
    if (landing && ac.heightAboveGround <= kNearGround_ft && next.alt <= front.alt + kAltimeterStep_ft)
        c = std::min(c, 0.0);
    // Configured for the landing with the runway in the stream ahead, a
    // descending aircraft sinks on to it: a report above it on the way
    // (one scattered high, fewer ahead than the run needs) is no climb.
    if (landing && f.touchdownAhead && was <= 0.0) c = std::min(c, 0.0);
    // Nor does a descending airliner climb toward a point whose own report
    // says it sinks: that point reads high (a receiver's spike among the
    // few points of a stream just begun, too few for the run to judge),
    // and the reports come down to the aircraft. A glider's or a light
    // aircraft's rate swings faster than its reports come.
    const bool airliner = gf_isAirliner(ac.category);
    if (airliner && was <= 0.0 && next.vrate <= -kReportedSink_fpm) c = std::min(c, 0.0);
    // An airliner whose transponder reports it level at both ends of the
    // segment leaves its level no faster than a pilot drifts off it: readings
    // that step away for seconds while every rate says level are a
    // receiver's, not a descent of thousands of feet a minute and back.
    if (airliner && f.ratesSeen && !landing && std::fabs(front.vrate) < kReportedSink_fpm &&
        std::fabs(next.vrate) < kReportedSink_fpm)
        c = std::clamp(c, -kLevelDrift_fpm / kTicksPerMinute, kLevelDrift_fpm / kTicksPerMinute);
    if (!landing) c = std::min(c, ac.maxClimb);
    if (!f.touchdownAhead && ac.heightAboveGround <= kNearGround_ft) {
        const double terrain = ac.pos.alt - ac.heightAboveGround;
        c = std::max(c, (terrain + kGroundClearance_ft - ac.pos.alt) / dt);
        if (!landing) c = std::min(c, ac.maxClimb);
    }
    ac.motion.verticalSpeed_ftPerTick = c;
}

void lf_airVerticalSpeed(LiveAc& ac, std::int32_t dt) {
    const StreamPoint& front = ac.stream[0];
    StreamPoint& next = ac.stream[1];
    MotionState& m = ac.motion;
    m.more.touchdownAhead = false;
    // Readings cut at zero among the approach's reports are flown as the
    // descent carried on to their time.
    if (lf_disownedGroundRun(ac, 1) > 0) {
        next.alt = front.alt + front.vrate * (next.time - front.time) / kTicksPerMinute;
        next.airborne = true;
    }
    if (!front.airborne && next.airborne) {
        lf_climbRate(ac, next, dt);
    } else if (!front.airborne) {
        // Both on the ground: it climbs only toward reports in the air
        // ahead. The reported rates do not decide: scattered above zero
        // they would climb it away from reports that all say ground.
        const bool airAhead =
            std::any_of(ac.stream.begin() + 2, ac.stream.end(), [](const StreamPoint& p) { return p.airborne; });
        if (m.more.landing || !airAhead) {
            lf_landingDescentRate(ac, front, next);
            m.more.touchdownAhead = true;
        } else {
            lf_skipToAirborne(ac);
        }
        // Rotated early in its run, the aircraft climbs out with the gear
        // still down from the roll: the climb-out raises it.
        if (ac.flightState != FlightState::take_off) lf_wantGear(ac, true);
    } else if (!next.airborne) {
        m.more.touchdownAhead = true;
        // The park airport's elevation is the ground only for an aircraft
        // landing there.
        const auto parkElevation = lf_nearParkAirport(ac) ? g_airportAltitude_ft.get() : std::nullopt;
        if (g_engineQnh.load() > 1013) {
            lf_landingDescentRate(ac, front, next);
        } else if (parkElevation) {
            m.verticalSpeed_ftPerTick = (*parkElevation - ac.pos.alt) / dt;
        } else {
            lf_setDescentRate(ac, next, kDescentToGround_fpm);
        }
        lf_wantGear(ac, true);
    } else if (m.more.landing && lf_onRunwayLevel(ac)) {
        // A QNH off the local one would otherwise roll it out in the air.
        lf_landingDescentRate(ac, front, next);
        m.more.touchdownAhead = true;
    } else {
        lf_followReports(ac, dt);
    }
}

// ---- Systems ----
void lf_giveUpStand(LiveAc& ac) {
    ac.standLat = 0.0;
    ac.standLon = 0.0;
    ac.standId = 0;
    ac.standCargo = 0;
}

// The mean sink of the reports ahead (feet per minute, positive down) when
// they cover at least 10 s and never climb by more than one altimeter step:
// the altitudes, not the reported rates, which a feed may lack or scatter.
std::optional<double> lf_sinkAhead_fpm(const LiveAc& ac) {
    const StreamPoint& front = ac.stream.front();
    const StreamPoint& last = ac.stream.back();
    const std::int64_t span = static_cast<std::int64_t>(last.time) - front.time;
    if (ac.stream.size() < 3 || span < kDescentSeen_ticks) return std::nullopt;
    double low = front.alt;
    for (const StreamPoint& p : ac.stream) {
        if (p.alt > low + kAltimeterStep_ft) return std::nullopt;
        low = std::min(low, p.alt);
    }
    return (front.alt - last.alt) / (static_cast<double>(span) / kTicksPerMinute);
}

// The reports say it lands: they reach the ground, or they come down over
// the whole stream ahead fast enough to meet the ground within a few
// minutes. One low report, a level stretch or a slow descent to a lower
// level is no approach.
bool lf_landingInSight(const LiveAc& ac) {
    // The ground ahead, not the point just left: an aircraft rotated before
    // the end of its roll plans its climb from a point on the ground.
    if (std::any_of(ac.stream.begin() + 1, ac.stream.end(), [](const StreamPoint& p) { return !p.airborne; }))
        return true;
    const auto sink = lf_sinkAhead_fpm(ac);
    return sink && *sink >= -kApproachSink_fpm && lf_heightNow_ft(ac) <= *sink * kApproachWithin_min;
}

// The reports climb away: a go-around or the end of a low pass, not a level
// stretch of an approach or one report's scatter.
// The newest point has no report after it yet to judge its height by: one
// that reads high while its vertical rate says it sinks is a receiver's
// spike until the point before it reads high too.
bool lf_climbsAway(const LiveAc& ac) {
    const std::size_t n = ac.stream.size();
    const double above = ac.stream.front().alt + kClimbAway_ft;
    const StreamPoint& last = ac.stream[n - 1];
    if (!last.airborne || last.alt < above) return false;
    if (!(last.vrate < 0.0)) return true;
    return n >= 3 && ac.stream[n - 2].airborne && ac.stream[n - 2].alt >= above;
}

// A light aircraft or glider climbing out after its lift-off keeps its
// take-off flaps: its pilot raises them once clear of the ground, not feet
// above the runway. The climb-out raises the gear itself; a go-around is
// flown from an approach.
bool lf_lightClimbOut(const LiveAc& ac) {
    return ac.category == AcCategory::Light && ac.flightState == FlightState::take_off;
}

void lf_approachSystems(LiveAc& ac) {
    MotionFields& f = ac.motion.more;
    const double rate = ac.stream.front().vrate;
    gf_setCabinLights(ac.objectId, 0);
    // An approach below the approach height configures for the landing at
    // any airport, as high as at the park airport: the ground ahead shows
    // in the stream only some 30 s before the touchdown, far too late for
    // gear and flaps.
    if (!f.landing && lf_landingInSight(ac)) {
        gf_setThrottle(ac, lf_isRotor(ac) ? 4 : 1);
        gf_setFlaps(ac, 3);
        lf_wantGear(ac, true);
        lf_giveUpStand(ac);
        // The stand is chosen again close to the time of arrival.
        g_duplicateCheckQueue.push_back(ac.hexid);
        f.landing = true;
        f.goAround = false;
        f.countdown = 1;
        lf_resetWindows(ac);
    } else if ((f.landing ? lf_climbsAway(ac) : rate > 600.0) && !f.goAround && !lf_lightClimbOut(ac)) {
        // Gear and flaps come up once, and on an approach only when the
        // reports climb away.
        f.goAround = true;
        lf_shrinkWindows(ac);
        gf_setThrottle(ac, 4);
        // Ahead of a touch the flaps stay out until the climb-out, with
        // the gear.
        if (lf_touchAhead(ac)) f.flapsUpAfterTouch = true;
        else gf_setFlaps(ac, 0);
        lf_wantGear(ac, false);
        f.flareStage = 0;
        f.landing = false;
        ac.motion.touchdownUnderWay = false;
    }
}

void lf_lowAltitudeSystems(LiveAc& ac) {
    MotionFields& f = ac.motion.more;
    if (!f.lowAltitudeLights) {
        f.lowAltitudeLights = true;
        f.highAltitudeLights = false;
        gf_setLights(ac.objectId, 1, 1, 1, 1, 1, 1, 1);
    }
    const bool big = gf_isAirliner(ac.category);
    const double hag = ac.heightAboveGround;
    if (hag <= (big ? 2050.0 : 625.0)) {
        lf_approachSystems(ac);
        return;
    }
    lf_shrinkWindows(ac);
    gf_setCabinLights(ac.objectId, 1);
    f.landing = false;
    f.takeOffRun = false;
    const double rate = ac.stream.front().vrate;
    if (rate <= -250.0 && ac.lastThrottle == 3) gf_setThrottle(ac, lf_isRotor(ac) ? 4 : 2);
    if (rate > 400.0 && ac.lastThrottle == 4) gf_setThrottle(ac, lf_isRotor(ac) ? 4 : 3);
    if (hag >= kRetractAbove_ft) {
        lf_wantGear(ac, false);
        gf_setFlaps(ac, 0);
    } else if (rate <= 100.0 && hag < kExtendBelow_ft) {
        if (hag < 2000.0) {
            if (ac.lastFlaps == 0) gf_setFlaps(ac, 1);
            else if (ac.lastFlaps == 1) gf_setFlaps(ac, 2);
        } else if (ac.lastFlaps == 0) {
            gf_setFlaps(ac, 1);
        }
    }
}

void lf_airSystems(LiveAc& ac) {
    if (ac.stream.front().alt < kLowAltitude_ft) {
        lf_lowAltitudeSystems(ac);
        return;
    }
    MotionFields& f = ac.motion.more;
    if (f.highAltitudeLights) return;
    f.highAltitudeLights = true;
    f.lowAltitudeLights = false;
    gf_setLights(ac.objectId, 1, 1, 0, 0, 0, 0, 1);
    gf_setThrottle(ac, lf_isRotor(ac) ? 4 : 3);
    lf_wantGear(ac, false);
    gf_setFlaps(ac, 0);
}

// ---- The airborne step ----
void lf_airStep(LiveAc& ac) {
    MotionState& m = ac.motion;
    if (ac.flightState != FlightState::take_off && ac.flightState != FlightState::flying)
        ac.setFlightState(FlightState::flying);
    {
        const StreamPoint& next = ac.stream[1];
        m.targetVerticalRate_fpm = next.vrate;
        m.targetAirspeed_kt = next.tas;
    }
    std::int32_t dt = lf_ticksUntil(ac.stream[1].time);
    if (m.more.flareStage == 0) {
        lf_airVerticalSpeed(ac, dt);
        dt = lf_ticksUntil(ac.stream[1].time);  // a climb aimed farther ahead moved the due time
    }
    const StreamPoint& next = ac.stream[1];
    const CategoryMotion& cat = gf_categoryMotion(ac.category);
    if (ac.flightState != FlightState::take_off) {
        // The reported rate shapes the nose (smoother than the altimeter's
        // steps) only as far as the aircraft flies it: a hold whose rates
        // still say 500 fpm down keeps its nose level.
        const double flown = m.verticalSpeed_ftPerTick * kFpmPerFtPerTick;
        const double shaped =
            m.more.flareStage == 0 ? std::clamp(next.vrate, std::min(flown, 0.0), std::max(flown, 0.0)) : next.vrate;
        const double rate = (lf_targetPitch(shaped) - ac.pos.pitch) / dt;
        m.pitchRate_rad = std::clamp(rate, -cat.pitchRate_rad, cat.pitchRate_rad);
    }
    double change = 0.0;
    const double below = m.more.landing ? 2000.0 : 1000.0;
    if (next.hasTrueHeading && next.bank_rad && next.trueHeading_rad && ac.heightAboveGround < below) {
        change = lf_toPiRange(*next.trueHeading_rad - ac.pos.heading);
    } else {
        change = lf_headingChangeAhead(ac);
    }
    m.headingRate_rad = change / dt;
    if (next.bank_rad) {
        m.bankRate_rad = (*next.bank_rad - ac.pos.bank) / dt;
    } else {
        const double target = -std::clamp(change, -cat.maxBank_rad, cat.maxBank_rad);
        m.bankRate_rad = std::clamp((target - ac.pos.bank) / dt, -cat.bankRate_rad, cat.bankRate_rad);
    }
    lf_airSystems(ac);
    lf_applyGear(ac);
}

// ---- Per tick ----
void lf_curveMove(LiveAc& ac, bool& skip) {
    GroundCurve& c = ac.motion.curve;
    c.param = std::clamp(c.param + c.paramStep, 0.0, 0.999999);
    const auto point = gf_groundCurvePoint(c, c.param);
    if (!point) {
        gf_logLine(fmt::format("{} error in curve at index: {:.2F}", ac.callsign, c.param));
        skip = true;
        return;
    }
    ac.pos.lat = point->lat_deg;
    ac.pos.lon = point->lon_deg;
    ac.targetHeading = point->heading_rad;
    if (ac.flightState == FlightState::pushing_back) ac.targetHeading = lf_toTwoPi(ac.targetHeading + kPi);
    lf_turnToward(ac, ac.targetHeading, ac.currentTurnRate);
}

// False when the position is not to move this tick (pushed_back).
bool lf_straightMove(LiveAc& ac) {
    switch (ac.flightState) {
    case FlightState::take_off:
    case FlightState::flying:
    case FlightState::parked:
    case FlightState::birth: ac.pos.heading = lf_toTwoPi(ac.pos.heading + ac.motion.headingRate_rad); break;
    default:
        if (ac.flightState == FlightState::parking || ac.motion.more.sharpTurn)
            lf_turnToward(ac, ac.targetHeading, ac.currentTurnRate);
        if (ac.flightState == FlightState::pushed_back) return false;
        break;
    }
    ac.pos.lat += ac.motion.latVelocity_deg;
    ac.pos.lon += ac.motion.lonVelocity_deg;
    return true;
}

// A steeper approach sinks faster than the 600 fpm the flare's steps are
// laid out for: its flare begins higher and sinks faster in proportion, so
// it takes as long and ends as far beyond the stream's touchdown as on a
// 3 degree approach instead of floating hundreds of metres down the runway.
double lf_flareScale(const LiveAc& ac) {
    return std::max(1.0, -ac.motion.verticalSpeed_ftPerTick * kFpmPerFtPerTick / kFlareLaidOutFor_fpm);
}

void lf_flareCheck(LiveAc& ac) {
    MotionState& m = ac.motion;
    MotionFields& f = m.more;
    if (!f.flareElevationTaken) {
        f.flareElevationTaken = true;
        // The park airport's elevation is the runway's only when it lands there.
        const auto alt = lf_nearParkAirport(ac) ? g_airportAltitude_ft.get() : std::nullopt;
        f.flareElevationValid = alt.has_value();
        if (alt) f.flareElevation_ft = *alt;
    }
    const double above = lf_heightNow_ft(ac);
    f.heightAboveElevation_ft = f.flareElevationValid ? ac.pos.alt - f.flareElevation_ft : above;
    const double h = std::min(above, f.heightAboveElevation_ft);
    if (f.flareStage == 0) {
        const double k = lf_flareScale(ac);
        if (ac.cgHeight + 30.0 * k < h) return;
        f.flareScale = k;
        m.pitchRate_rad = (kFlarePitch_rad - ac.pos.pitch) / std::max(ac.flareTicks, 1);
        m.verticalSpeed_ftPerTick = -0.1 * k;
        if (ac.stream.size() > 1) ac.stream[1].vrate = -601.0;
        m.targetVerticalRate_fpm = -601.0;
        f.flareStage = 1;
        m.touchdownUnderWay = true;
        g_flareActive = true;
        return;
    }
    if (f.flareStage > 3) return;
    const FlareStep& step = kFlareSteps[f.flareStage - 1];
    if (h > ac.cgHeight + step.aboveCg_ft * f.flareScale) return;
    if (step.throttle >= 0) gf_setThrottle(ac, step.throttle);
    m.verticalSpeed_ftPerTick = step.verticalSpeed_ftPerTick * f.flareScale;
    m.targetVerticalRate_fpm = m.verticalSpeed_ftPerTick * kFpmPerFtPerTick;
    ++f.flareStage;
    f.flareElevationValid = false;
}

void lf_attitudeMove(LiveAc& ac) {
    MotionState& m = ac.motion;
    PositionBlock& b = ac.pos;
    if (lf_heightNow_ft(ac) <= kFlareBelow_ft && m.more.landing && m.more.touchdownAhead && !ac.groundMode)
        lf_flareCheck(ac);
    if (m.derotation) {
        b.pitch += m.pitchRate_rad;
        if (b.pitch >= ac.restPitch) {
            b.pitch = ac.restPitch;
            m.pitchRate_rad = 0.0;
            m.bankRate_rad = 0.0;
            b.bank = 0.0;
            m.derotation = false;
            m.more.flareStage = 0;
        }
        b.bank += m.bankRate_rad;
    } else if (m.more.flareStage > 0) {
        b.bank = std::clamp(b.bank + m.bankRate_rad, -kPi, kPi);
        b.pitch = std::max(b.pitch + m.pitchRate_rad, kFlarePitch_rad);
        b.alt += m.verticalSpeed_ftPerTick;
    } else if (ac.groundMode) {
        b.pitch = ac.restPitch;
        b.bank = 0.0;
    } else {
        b.bank += m.bankRate_rad;
        b.pitch += m.pitchRate_rad;
        b.alt += m.verticalSpeed_ftPerTick;
    }
}

// The climb-out's build-up, by countdown after the rotation: a tenth, a
// fifth and half of the vertical speed a second each, then all of it.
struct BuildUpStep {
    std::int32_t above;  // countdowns above this and at or below the step before
    double share;
};
constexpr BuildUpStep kBuildUp[] = {{0, 0.0}, {-100, 0.1}, {-200, 0.2}, {-300, 0.5}};

double lf_climbOutShare(std::int32_t c) {
    for (const BuildUpStep& s : kBuildUp)
        if (c > s.above) return s.share;
    return 1.0;
}

void lf_climbOutMove(LiveAc& ac) {
    MotionState& m = ac.motion;
    MotionFields& f = m.more;
    PositionBlock& b = ac.pos;
    f.countdown = std::max(f.countdown - 1, kCountdownFloor);
    if (f.countdown >= 1) {
        ac.groundMode = 0;
        m.groundCounter = 0;
        if (b.pitch > ac.rotationPitch) b.pitch += m.pitchRate_rad;
        return;
    }
    b.bank = std::clamp(b.bank + m.bankRate_rad, -kPi, kPi);
    if (b.pitch > ac.climbPitch)
        b.pitch += (ac.climbPitch - ac.rotationPitch) / std::max(ac.climbPitchTicks, 1);
    const std::int32_t c = f.countdown;
    // The climb builds up over three seconds after the wheels leave. Led
    // down by its next point (a lift-off its reports did not hold), the
    // aircraft comes down onto the ground it left, never through it: the
    // simulator's ground contact does not end a climb-out.
    if (c > -300) b.alt += m.verticalSpeed_ftPerTick * lf_climbOutShare(c);
    else {
        if (c == -300) lf_wantGear(ac, false);
        b.alt += m.verticalSpeed_ftPerTick;
        if (c < -300 && b.pitch <= ac.climbPitch) {
            m.pitchRate_rad = 0.0;
            if (ac.heightAboveGround >= kClimbOutDone_ft) {
                gf_setThrottle(ac, lf_isRotor(ac) ? 4 : 3);
                ac.setFlightState(FlightState::flying);
                f.countdown = 1;
            }
        }
    }
    if (f.simGroundKnown) b.alt = std::max(b.alt, f.simGround_ft + ac.cgHeight);
}

void lf_normalisePosition(PositionBlock& b) {
    if (b.lat > 90.0) {
        b.lat = 180.0 - b.lat;
        b.lon += 180.0;
    } else if (b.lat < -90.0) {
        b.lat = -180.0 - b.lat;
        b.lon += 180.0;
    }
    b.lon = std::fmod(b.lon + 180.0, 360.0);
    if (b.lon < 0.0) b.lon += 360.0;
    b.lon -= 180.0;
}

void lf_logNextPosMain(const LiveAc& ac, const std::exception& e) {
    gf_logHighlight(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "nextPosMain", e.what(), gf_acDescription(ac),
                                ac.stream.size(), gf_flightStateName(ac.flightState), gf_simStateName(ac.simState)));
}

}  // namespace

// The point being flown to took another height (its report judged again
// once later reports came): a light aircraft turns its climb or sink toward
// it for the rest of the segment, as the segment's planning would have (at
// most its best climb, clear of the ground), no faster than the reports
// show it climbs or sinks or than it moved already: a receiver's spike
// flown to until the reports after it showed it wrong would otherwise take
// the aircraft there and back, and a point moved late is no reason for a
// dash.
void gf_aimAtFront(LiveAc& ac, double fastest_ftPerTick) {
    MotionState& m = ac.motion;
    if (ac.stream.empty() || ac.groundMode || ac.flightState != FlightState::flying || m.more.flareStage != 0 ||
        m.more.landing || !ac.stream[0].airborne)
        return;
    const std::int32_t dt = lf_ticksUntil(ac.stream[0].time);
    const double limit = std::max(fastest_ftPerTick, std::fabs(m.verticalSpeed_ftPerTick));
    double c = std::min(std::clamp((ac.stream[0].alt - ac.pos.alt) / dt, -limit, limit), ac.maxClimb);
    if (ac.heightAboveGround <= kNearGround_ft) {
        const double terrain = ac.pos.alt - ac.heightAboveGround;
        c = std::min(std::max(c, (terrain + kGroundClearance_ft - ac.pos.alt) / dt), ac.maxClimb);
    }
    m.verticalSpeed_ftPerTick = c;
}

// The ground points ahead that an approach was diving toward turned out to
// be a receiver's readings cut at zero (reports in the air on the descent
// came after them, or took their place): the rest of the segment sinks no
// faster than the reported rate, and the part of the gap not flown yet is
// given up. Flown on to the end of the segment, the dive went on for
// seconds toward a runway hundreds of feet below the reports.
void gf_leaveGoneRunway(LiveAc& ac) {
    MotionFields& f = ac.motion.more;
    if (!f.landing || ac.groundMode || f.flareStage != 0 || ac.stream.empty() || !ac.stream.front().airborne ||
        ac.flightState != FlightState::flying || !(f.runwayOffsetApplied_ft > std::max(lf_qnhOffset_ft(), 0.0)) ||
        lf_runwayOffset(ac).lastAirborneDue > 0)
        return;
    const StreamPoint& target = ac.stream.front();
    const double reported = std::min(target.vrate, 0.0) / kFpmPerFtPerTick;
    double& c = ac.motion.verticalSpeed_ftPerTick;
    if (c >= reported) return;
    const double given_ft = (reported - c) * lf_ticksUntil(target.time);
    f.runwayOffsetApplied_ft = std::max(f.runwayOffsetApplied_ft - given_ft, std::max(lf_qnhOffset_ft(), 0.0));
    c = reported;
}

void lf_pushAiPosition(const LiveAc& ac) {
    const PositionBlock& b = ac.pos;
    // Only the worker fills the back buffer; the SimClient thread reads the
    // front one, and the two change places under g_simMutex.
    g_simQueues.positionsBack.push_back(AiPositionCmd{b.lat, b.lon, b.pitch, b.bank, b.heading, b.alt,
                                                      b.verticalSpeed, b.tas, ac.objectId});
}

void lf_stopTiming(LiveAc& ac) {
    const StreamPoint& front = ac.stream[0];
    StreamPoint& next = ac.stream[1];
    const std::int64_t now = g_trafficTick.load();
    const std::int64_t stop = std::max<std::int64_t>(static_cast<std::int64_t>(next.time) - front.time, kMinSegmentTicks);
    const std::int64_t ticks = std::max<std::int64_t>(front.time - now + stop, kMinSegmentTicks);
    if (ticks > INT32_MAX) throw gsl::narrowing_error();
    next.time = lf_windowedDue(ac, next.time, static_cast<std::int32_t>(ticks));
}

// A receiver that loses the altitude for a while sends reports the feed
// leaves out: the stream holds a silence of many seconds. Flown in one
// straight line, a climb that speeds up (or eases off) in it is taken too
// early (or too late), a hundred feet and more off where the aircraft was.
// The rates at the silence's two ends still tell how the climb went: the
// silence is flown in pieces of a few seconds along a curve that leaves at
// the rate before it and arrives at the rate after it, its rates held
// between level and three times the mean so the curve never turns back
// past either report. An airliner's only: a glider's or a light
// aircraft's rate swings faster than its reports come.
constexpr std::int32_t kSilenceTicks = 1000;
constexpr std::int32_t kSilencePieceTicks = 300;

void lf_splitSilence(LiveAc& ac) {
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    if (!gf_isAirliner(ac.category) || ac.motion.more.landing || !front.airborne || !next.airborne || next.stationary)
        return;
    // The silence is the reports' own: the way between them at their
    // speed (the due times may have been moved to fly a smooth path).
    const std::int32_t span = lf_flightTicks(lf_distanceNm(front, next), lf_segmentSpeed(front, next));
    const double rise_ft = next.alt - front.alt;
    if (span <= kSilenceTicks || std::fabs(rise_ft) <= kAltimeterStep_ft) return;
    const double g = static_cast<double>(span);
    const double mean = rise_ft / g;  // feet per tick
    // The rates in means: above 0 along the change.
    const double r0 = front.vrate / kFpmPerFtPerTick / mean;
    const double r1 = next.vrate / kFpmPerFtPerTick / mean;
    // Rates that do not bracket the change the heights show tell nothing
    // of its shape: the line is as good a guess.
    if (std::min(r0, r1) > 1.0 || std::max(r0, r1) < 1.0) return;
    const double m0 = std::clamp(r0, 0.0, 3.0) * mean;
    const double m1 = std::clamp(r1, 0.0, 3.0) * mean;
    // Halfway, the curve lies g (m1 - m0) / 8 off the line: within one
    // altimeter step it is the line.
    if (std::fabs(g * (m1 - m0)) / 8.0 <= kAltimeterStep_ft) return;
    const std::int32_t pieces = (span + kSilencePieceTicks - 1) / kSilencePieceTicks;
    const double u = 1.0 / pieces;
    // The cubic through both ends with those rates, and its slope, at u.
    const double alt = front.alt + rise_ft * u * u * (3.0 - 2.0 * u) + g * m0 * u * (1.0 - u) * (1.0 - u) -
                       g * m1 * u * u * (1.0 - u);
    const double slope = mean * 6.0 * u * (1.0 - u) + m0 * (1.0 - u) * (1.0 - 3.0 * u) + m1 * u * (3.0 * u - 2.0);
    StreamPoint mid = next;
    mid.lat = front.lat + (next.lat - front.lat) * u;
    mid.lon = front.lon + (next.lon - front.lon) * u;
    mid.alt = alt;
    mid.vrate = slope * kFpmPerFtPerTick;
    mid.time = front.time + static_cast<std::int32_t>(std::lround((next.time - front.time) * u));
    mid.bank_rad.reset();
    mid.hasTrueHeading = false;
    mid.trueHeading_rad.reset();
    ac.stream.insert(ac.stream.begin() + 1, mid);
}

void lf_planSegment(LiveAc& ac) {
    MotionState& m = ac.motion;
    m.more.frontReceivedDue = std::numeric_limits<std::int32_t>::min();
    m.curve.controlEast_m = std::numeric_limits<double>::quiet_NaN();
    m.curve.controlNorth_m = std::numeric_limits<double>::quiet_NaN();
    m.curve.param = 0.0;
    {
        const StreamPoint& front = ac.stream[0];
        StreamPoint& next = ac.stream[1];
        if (!next.stationary && lf_samePlace(next, front.lat, front.lon)) next.stationary = true;
        if (!next.stationary) ac.targetHeading = lf_bearing(front, next);
    }
    if (ac.groundMode) {
        nextPosGround(ac);
        if (ac.stream.size() < 2) return;
    } else if (ac.stream[1].stationary) {
        lf_stopTiming(ac);
    } else {
        lf_splitSilence(ac);
        lf_airTiming(ac);
    }
    const StreamPoint& next = ac.stream[1];
    if (next.stationary) {
        m.latVelocity_deg = 0.0;
        m.lonVelocity_deg = 0.0;
        if (!m.landingRoll && !m.more.takeOffRun) lf_shrinkWindows(ac);
    } else {
        const std::int32_t dt = lf_ticksUntil(next.time);
        m.latVelocity_deg = (next.lat - ac.pos.lat) / dt;
        m.lonVelocity_deg = (next.lon - ac.pos.lon) / dt;
        if (ac.groundMode) lf_groundStep(ac);
        else lf_airStep(ac);
    }
    if (ac.stream.size() >= 2) ac.stream.pop_front();
}

void nextPosMain(LiveAc& ac) {
    try {
        for (;;) {
            // An airborne aircraft never stops in the air; a helicopter may hover.
            while (ac.stream.size() >= 2 && !ac.groundMode && !lf_isRotor(ac) && ac.stream[1].stationary)
                ac.stream.erase(ac.stream.begin() + 1);
            if (ac.stream.size() >= 2) break;
            // An aircraft that its stream's end already removed (a stand
            // taken meanwhile) is not queued for removal a second time.
            if (!lf_extendOrEnd(ac) || ac.stream.size() < 2) {
                if (ac.simState == SimState::active) removeAircraftFromSim(ac);
                return;
            }
        }
        lf_planSegment(ac);
    } catch (const std::exception& e) {
        lf_logNextPosMain(ac, e);
        throw;
    }
}

void lf_tickMove(LiveAc& ac) {
    bool skip = false;
    if (!std::isnan(ac.motion.curve.controlEast_m)) {
        lf_curveMove(ac, skip);
    } else if (!lf_straightMove(ac)) {
        return;
    }
    if (!skip) {
        if (ac.flightState != FlightState::take_off) lf_attitudeMove(ac);
        else lf_climbOutMove(ac);
    }
    lf_normalisePosition(ac.pos);
}

double lf_climbOutGain(std::int32_t countdown, std::int32_t ticks) {
    // Each tick of the climb-out counts the countdown down first.
    double gain = 0.0;
    std::int32_t c = countdown - 1;
    const std::int32_t last = countdown - ticks;
    for (const BuildUpStep& s : kBuildUp) {
        if (c < last) return gain;
        const std::int32_t low = std::max(last, s.above + 1);
        if (c >= low) {
            gain += s.share * (c - low + 1);
            c = low - 1;
        }
    }
    return c >= last ? gain + (c - last + 1) : gain;
}

void lf_takeOffRotation(LiveAc& ac) {
    MotionState& m = ac.motion;
    MotionFields& f = m.more;
    f.countdown = std::max(ac.rotationTicks, 1);
    m.pitchRate_rad = (ac.rotationPitch - ac.pos.pitch) / f.countdown;
    ac.pos.bank = 0.0;
    m.bankRate_rad = 0.0;
    m.headingRate_rad = 0.0;
    m.curve.controlEast_m = std::numeric_limits<double>::quiet_NaN();
    m.curve.controlNorth_m = std::numeric_limits<double>::quiet_NaN();
    if (!f.takeOffRun) lf_takeOffConfiguration(ac);
    ac.setFlightState(FlightState::take_off);
    if (m.landingRoll) {
        // A touch-and-go: power up again from the roll.
        m.landingRoll = false;
        f.landing = false;
        m.touchdownHeading_rad = 0.0;
        gf_setThrottle(ac, 4);
        gf_setSpoilers(ac, true);
        gf_setFlaps(ac, 1);
    }
}

namespace {

// In its flare: flaring in the air, the touchdown not yet reported. A
// go-around, a removal or the touchdown each end it.
bool lf_inFlare(const LiveAc& ac) {
    return ac.simState == SimState::active && !ac.countsAsRemoved() && ac.motion.more.flareStage > 0 &&
           ac.motion.more.landing && !ac.groundMode && !ac.motion.touchdownReached;
}

// The fast range request runs while any aircraft flares. The flag is derived
// from all aircraft after each pass (the last aircraft's update ends it), so
// no single touchdown, go-around or removal can leave it wrong.
struct FlareFlagAtPassEnd {
    const LiveAc& ac;
    ~FlareFlagAtPassEnd() {
        if (g_liveAc.empty() || &ac != &g_liveAc.back()) return;
        g_flareActive = std::any_of(g_liveAc.begin(), g_liveAc.end(), lf_inFlare);
    }
};

}  // namespace

bool updateLiveAc(LiveAc& ac) {
    const FlareFlagAtPassEnd flareFlag{ac};
    try {
        switch (ac.simState) {
        case SimState::buffer: lf_handleBuffered(ac); return ac.countsAsRemoved();
        case SimState::active: break;
        default: return ac.countsAsRemoved();
        }
        if (ac.stream.empty()) {
            gf_logHighlight(fmt::format("{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
                                        "updateLiveAc", gf_acDescription(ac), ac.hexid, ac.objectId, ac.pos.alt,
                                        fmt::format("{:.6f},{:.6f}", ac.pos.lat, ac.pos.lon), ac.pos.tas));
            removeAircraftFromSim(ac);
            return ac.countsAsRemoved();
        }
        if (ac.motion.touchdownReached) lf_takeTouchdown(ac);
        if (g_trafficTick.load() >= ac.stream.front().time) nextPosMain(ac);
        if (ac.simState != SimState::active) return ac.countsAsRemoved();
        const bool stationary = ac.stream.front().stationary;
        ac.pos.verticalSpeed = ac.motion.targetVerticalRate_fpm / 60.0;
        ac.pos.tas = stationary ? 0.0 : ac.motion.targetAirspeed_kt;
        if (!stationary) {
            lf_takeOffWhenDue(ac);
            lf_tickMove(ac);
        }
        if (ac.objectId != 0) {
            lf_pushAiPosition(ac);
        } else {
            gf_logHighlight(fmt::format("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc",
                                        ac.hexid, ac.callsign, ac.registration, gf_airlineTypeText(ac),
                                        ac.stream.size()));
            removeAircraftFromSim(ac);
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "updateLiveAc", e.what(), gf_acDescription(ac),
                                    ac.stream.size(), gf_flightStateName(ac.flightState),
                                    gf_simStateName(ac.simState)));
        // The aircraft goes: left in place it would fail and log again on
        // every tick.
        try {
            removeAircraftFromSim(ac);
        } catch (const std::exception& e2) {
            gf_logHighlight(fmt::format("{}: removal failed: {}", "updateLiveAc", e2.what()));
            ac.removeFromBuffer = 1;
        }
        return ac.countsAsRemoved();
    }
    return ac.countsAsRemoved();
}
