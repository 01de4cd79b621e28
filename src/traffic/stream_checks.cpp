#include "traffic/stream_checks.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>

#include "airports/park_airport_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "traffic/ai_commands.h"
#include "traffic/ground_motion.h"
#include "traffic/motion_common.h"
#include "traffic/motion_reports.h"
#include "traffic/parking.h"
#include "traffic/stand_choice.h"
#include "traffic/traffic_state.h"

namespace {

constexpr std::size_t kMaxStreamPoints = 200;
constexpr double kPi = 3.141592653589793;
constexpr double kParkedReach_nm = 0.0459;      // 85 m
constexpr double kParkedGone_nm = 0.108;        // 200 m
constexpr double kParkedStep_nm = 0.00162;      // 3 m
constexpr double kShortStopNear_nm = 0.01188;   // 22 m
constexpr std::int32_t kShortStop = 1500;
constexpr double kTakeOffGs_kt = 43.0;
constexpr double kLiftOffScatter_ft = 100.0;
constexpr double kTouchAndGoClimb_fpm = 256.0;
constexpr double kNearlySame_deg = 0.00015;
constexpr double kHoldingFactor = 1.2;
constexpr std::int32_t kHoldStep = 300;
constexpr std::int32_t kTicksPerMinute = 6000;
constexpr std::int32_t kGroundStep = 300;
constexpr std::int32_t kAirStep = 800;
constexpr std::int32_t kWeek = 60480000;
constexpr std::int32_t kAirSteps = 8;
constexpr std::int32_t kGroundSteps = 10;
constexpr double kSteadyRateShare = 1.0 / 3.0;
constexpr std::size_t kSteadyReports = 3;
// A descent carried on through a silence stops this high above the ground:
// lower, the approach's own rules take the aircraft down.
constexpr double kSilentSinkFloor_ft = 1000.0;
// A receiver's run of low readings lasts a few seconds; a touch lasts
// longer. Reports this far above the ground on both sides of such a run
// held the aircraft in the air, unless it can have come down to the ground
// and up again at the rates aircraft really touch down and climb away.
constexpr std::int32_t kLoneGroundRun = 500;
constexpr double kLoneGroundAbove_ft = 50.0;
constexpr double kTouchRate_fpm = 2000.0;

bool lf_active(const LiveAc& ac) { return ac.simState == SimState::active; }

double lf_offHeading_deg(const LiveAc& ac, const StreamPoint& from, const StreamPoint& to) {
    return std::fabs(lf_toPiRange(lf_bearing(from, to) - ac.pos.heading)) * kRadToDeg;
}

double lf_standDistanceNm(const LiveAc& ac, const StreamPoint& p) {
    return gf_distanceNm(LatLon{p.lat, p.lon}, LatLon{ac.standLat, ac.standLon});
}

void lf_clearHolding(LiveAc& ac) {
    ac.jumpChecked = 0;
    ac.motion.more.holdStartTick = 0;
}

bool lf_parkedPoint(LiveAc& ac, StreamPoint& point) {
    if (!lf_active(ac)) return false;
    MotionFields& f = ac.motion.more;
    ac.stillReported = 1;
    const double d = lf_standDistanceNm(ac, point);
    const double reach = ac.previousFlightState == FlightState::parking ? 2.0 * kParkedReach_nm : kParkedReach_nm;
    if (d > reach) {
        if (ac.flightState == FlightState::parking) {
            ac.setFlightState(FlightState::taxi);
            point.stationary = false;
            return true;
        }
        if (d > kParkedGone_nm) {
            // Gone from its stand while the feed was silent: it left.
            lf_addRealStandOption(ac.standId, ac, StandUse::removedAway);
            removeAircraftFromSim(ac);
            return false;
        }
        lf_departStand(ac, point);
        return true;
    }
    ac.parkedSince = gf_engineNow100ns();
    f.departurePending = false;
    if (f.parkFirstDistance_nm < 0.0) {
        f.parkFirstDistance_nm = d;
        f.parkLargestDistance_nm = d;
        return false;
    }
    if (d >= f.parkLargestDistance_nm + kParkedStep_nm) {
        ++f.parkGrowCount;
        f.parkLargestDistance_nm = d;
        const double gain = d - f.parkFirstDistance_nm;
        // Points creeping away from the stand one after the other: a slow
        // push-back or pull-out has begun.
        if ((f.parkGrowCount >= 3 && gain >= ac.size / 2.0) || gain > ac.size) {
            lf_departStand(ac, point);
            return true;
        }
    } else if (d <= f.parkLargestDistance_nm - kParkedStep_nm) {
        f.parkGrowCount = 0;
    }
    return false;
}

void lf_pushBackSide(LiveAc& ac, const StreamPoint& point) {
    MotionFields& f = ac.motion.more;
    if (STRAIGHT_PBS_ONLY.value() || f.pushSideKnown || ac.motion.groundMove != 2) return;
    double h = 0.0;
    // The side is the way the real nose turned: its true heading, or the
    // track the feed reports in its place.
    if (point.trueHeading_rad) h = *point.trueHeading_rad;
    else if (point.track != 0.0) h = point.track * kDegToRad;
    else return;
    f.pushRightSide = lf_toPiRange(h - ac.pos.heading) > 0.0;
    f.pushSideKnown = true;
}

bool lf_pushedBackPoint(LiveAc& ac, StreamPoint& point) {
    MotionFields& f = ac.motion.more;
    const double d = gf_distanceNm(LatLon{point.lat, point.lon}, LatLon{ac.pos.lat, ac.pos.lon});
    if ((d > 2.75 * ac.size && d > f.pushedBackLastDistance_nm) || d > 6.0 * ac.size) {
        point.stationary = false;
        lf_stopExtension(ac);
        f.pushSideKnown = false;
        f.pushRightSide = false;
        ac.motion.groundMove = 0;
        ac.setFlightState(FlightState::taxi);
        ac.standLat = 0.0;
        ac.standLon = 0.0;
        ac.standId = 0;
        ac.standCargo = 0;
        lf_clearHolding(ac);
        return true;
    }
    if (!ac.jumpChecked) {
        ac.jumpChecked = 1;
        f.holdStartTick = g_trafficTick.load();
    }
    f.pushedBackLastDistance_nm = d;
    return false;
}

// Step 4 of decodeExisting: short stops on the ground disappear.
void lf_cutShortStops(LiveAc& ac, const StreamPoint& point) {
    std::deque<StreamPoint>& s = ac.stream;
    if (s.empty() || point.airborne || !s.back().stationary) return;
    if (point.stationary) {
        if (std::all_of(s.begin(), s.end(), [](const StreamPoint& p) { return p.stationary; })) s.resize(1);
        return;
    }
    if (s.size() < 3) return;
    const std::size_t n = s.size();
    for (std::size_t back = 1; back <= std::min<std::size_t>(5, n); ++back) {
        const std::size_t i = n - back;
        if (s[i].stationary) continue;
        if (s.back().time - s[i].time < kShortStop || lf_distanceNm(s[i], point) <= kShortStopNear_nm)
            s.resize(i + 1);
        return;
    }
}

// A report in the air after a short run of ground points that came after
// one in the air: where the line between the two lies well above the
// ground, the run was low readings among reports in the air, not a touch,
// unless the reports show one (the aircraft climbs away again, and can
// have come down to the ground and back up in the time). Lifted onto the
// line while they are still ahead, those points do not land the aircraft
// in the middle of a low pass or a hover. Light aircraft, gliders and
// helicopters, whose reports come seconds apart: an airliner's come every
// second, and its approach to the runway has rules of its own.
void lf_liftLoneGround(LiveAc& ac, const StreamPoint& point) {
    std::deque<StreamPoint>& s = ac.stream;
    MotionFields& f = ac.motion.more;
    const bool airliner = gf_isAirliner(ac.category);
    if (airliner || !point.airborne || ac.groundMode || !f.simGroundKnown || s.empty()) return;
    std::size_t i = s.size();
    while (i > 0 && !s[i - 1].airborne) --i;
    if (i == s.size()) return;
    // The aircraft, still in the air, may be flying to the run's first point
    // already (reached early, its time moved up by the retiming): the run is
    // judged from where the aircraft is, and lasts from the time that point
    // was received with.
    const bool fromHere = i == 0;
    if (fromHere && (!lf_active(ac) || f.flareStage != 0)) return;
    StreamPoint here = s.front();
    here.time = g_trafficTick.load();
    here.alt = ac.pos.alt;
    const bool received = fromHere && f.frontReceivedDue != std::numeric_limits<std::int32_t>::min();
    const std::int32_t runStart = received ? f.frontReceivedDue : s[i].time;
    if (s.back().time - runStart > kLoneGroundRun) return;
    const StreamPoint& before = fromHere ? here : s[i - 1];
    const double span = static_cast<double>(point.time - before.time);
    if (!(span > 0.0)) return;
    const double ground_ft = f.simGround_ft + ac.cgHeight;
    const double perTick_ft = kTouchRate_fpm / kTicksPerMinute;
    const bool climbsAway = point.vrate >= kTouchAndGoClimb_fpm;
    const bool couldTouch = before.alt - ground_ft <= kLoneGroundAbove_ft + perTick_ft * (s[i].time - before.time) &&
                            point.alt - ground_ft <= kLoneGroundAbove_ft + perTick_ft * (point.time - s.back().time);
    // Reports on the wheels climb or sink by no more than the transponder's
    // steps.
    const bool rated = std::all_of(s.begin() + static_cast<std::ptrdiff_t>(i), s.end(), [](const StreamPoint& p) {
        return std::fabs(p.vrate) >= kTouchAndGoClimb_fpm;
    });
    if (climbsAway && couldTouch && !rated) return;
    const auto line_ft = [&](const StreamPoint& p) {
        return before.alt + (point.alt - before.alt) * static_cast<double>(p.time - before.time) / span;
    };
    if (std::any_of(s.begin() + static_cast<std::ptrdiff_t>(i), s.end(),
                    [&](const StreamPoint& p) { return line_ft(p) - ground_ft <= kLoneGroundAbove_ft; }))
        return;
    for (std::size_t j = i; j < s.size(); ++j) {
        s[j].airborne = true;
        s[j].alt = line_ft(s[j]);
    }
    // Its way down to that point is planned: planned again from here now.
    if (fromHere) s.front().time = here.time + 1;
    // The run of heights the low readings ended goes on: the report is
    // judged with the reports before them (it may be a spike too).
    const std::size_t n = f.runBeforeGround;
    if (f.recentCount == 0 && n > 0 && n <= f.recentAlt_ft.size() && f.recentDue[n - 1] < runStart) f.recentCount = n;
}

void lf_touchAndGo(LiveAc& ac) {
    ac.setFlightState(FlightState::taxi);
    lf_startTakeOffRun(ac, 3, true);
}

// An airborne report from a taxiing aircraft lifts it off only when the
// reports show a take-off: a second one in the air, a flying speed, or
// (a helicopter, a report without speed) a height it can have climbed to
// since its last report on the ground. A lone reading hundreds of feet up
// at taxi speed is a receiver's error, and armed, the run would fly the
// aircraft away once its reports end.
bool lf_reportsShowLiftOff(const LiveAc& ac, const StreamPoint& last, const StreamPoint& point) {
    if (last.airborne || point.gs >= kTakeOffGs_kt) return true;
    if (ac.category != AcCategory::Rotorcraft && point.gs > 0.0) return false;
    const double climb_ft = gf_categoryMotion(ac.category).maxClimb_ft * std::max(point.time - last.time, 1);
    return point.alt - ac.pos.alt <= climb_ft + kLiftOffScatter_ft;
}

// An armed run that the reports bring back to taxi speed on the ground was
// none (a stray airborne reading, a rejected take-off): the aircraft taxis
// on instead of accelerating away when its reports end.
void lf_disarmTakeOffRun(LiveAc& ac) {
    ac.motion.more.takeOffRun = false;
    gf_setThrottle(ac, ac.category == AcCategory::Rotorcraft ? 4 : 0);
    gf_setLights(ac.objectId, 1, 1, 0, 1, 0, 1, 0);
    lf_resetWindows(ac);
}

void lf_detectTakeOff(LiveAc& ac, const StreamPoint& point) {
    if (!lf_active(ac) || !ac.groundMode || ac.stream.empty()) return;
    const StreamPoint& last = ac.stream.back();
    if (ac.motion.more.takeOffRun) {
        // A moving report without a speed says nothing of the run.
        const bool slow = point.stationary || (point.gs > 0.0 && point.gs < kTakeOffGs_kt);
        if (ac.flightState == FlightState::taxi && !ac.motion.landingRoll && !point.airborne && slow)
            lf_disarmTakeOffRun(ac);
        return;
    }
    if (!ac.motion.landingRoll) {
        if ((ac.flightState == FlightState::taxi && point.airborne && lf_reportsShowLiftOff(ac, last, point)) ||
            (point.gs >= kTakeOffGs_kt && last.gs >= kTakeOffGs_kt))
            lf_takeOffConfiguration(ac);
    } else if (point.airborne && last.airborne && point.vrate > kTouchAndGoClimb_fpm) {
        // Only a climb again is a touch-and-go: a roll-out that the feed
        // reports in the air (no ground reports at that airport) is none.
        lf_touchAndGo(ac);
    }
}

bool lf_categoryAllowed(AcCategory c) {
    switch (c) {
    case AcCategory::Light: return LIGHT_AIRCRAFT.value();
    case AcCategory::HighPerf: return HIGH_PERF_AIRCRAFT.value();
    case AcCategory::Rotorcraft: return HELICOPTERS.value();
    default: return true;
    }
}

bool lf_otherTaxiingClose(const LiveAc& ac) {
    for (const LiveAc& o : g_liveAc) {
        if (&o == &ac || o.objectId == ac.objectId || !lf_active(o) || !o.groundMode) continue;
        if (o.flightState != FlightState::taxi) continue;
        const double d = gf_distanceNm(LatLon{o.pos.lat, o.pos.lon}, LatLon{ac.pos.lat, ac.pos.lon});
        if (d < kHoldingFactor * (o.size + ac.size)) return true;
    }
    return false;
}

// A taxiing aircraft the feed no longer reports waits where it is, for a
// while.
bool lf_holdOnGround(LiveAc& ac) {
    if (lf_otherTaxiingClose(ac)) {
        lf_clearHolding(ac);
        return false;
    }
    const std::int32_t now = g_trafficTick.load();
    if (ac.jumpChecked) {
        if (AIRBORNE_ONLY.value()) return false;
        if ((now - ac.motion.more.holdStartTick) / kTicksPerMinute > MAX_HOLDING_MINUTES.value()) return false;
    } else {
        ac.jumpChecked = 1;
        ac.motion.more.holdStartTick = now;
    }
    StreamPoint copy = ac.stream.front();
    copy.stationary = true;
    copy.gs = 0.0;
    copy.time = copy.time + kHoldStep;
    ac.stream.push_back(copy);
    ac.extensionCount = 1;
    return true;
}

std::int32_t lf_firstExtensionSteps(LiveAc& ac) {
    if (!lf_categoryAllowed(ac.category)) return 0;
    if (!ac.groundMode) {
        const UserAcData& user = g_userAcData;
        if (user.lat_deg != 0.0 || user.lon_deg != 0.0) {
            const double d = gf_distanceNm(LatLon{user.lat_deg, user.lon_deg}, LatLon{ac.pos.lat, ac.pos.lon});
            if (d >= RANGE.value() - 0.5) return 0;
        }
        if (!AIRBORNE_ONLY.value()) return kAirSteps;
        const double elevation = g_standsLoaded.load() ? g_airportAltitude_ft.get().value_or(0.0) : 0.0;
        return std::fabs(ac.pos.alt - elevation) >= 1000.0 ? kAirSteps : 0;
    }
    return ac.flightState == FlightState::parked ? 1 : kGroundSteps;
}

double lf_takeOffRunSpeed(double gs, StreamPoint& copy) {
    struct Row { double upTo, speed, vrate; };
    static constexpr Row kRows[] = {{30, 40, -1}, {60, 80, -1}, {100, 110, -1}, {140, 150, 600}, {160, 170, 1200}};
    for (const Row& r : kRows) {
        if (gs <= r.upTo) {
            if (r.vrate >= 0) copy.vrate = r.vrate;
            return r.speed;
        }
    }
    copy.vrate = 2400;
    return 180;
}

double lf_landingRollSpeed(double gs) {
    if (gs >= 140) return 100;
    if (gs >= 100) return 80;
    if (gs >= 80) return 60;
    if (gs >= 60) return 30;
    return 20;
}

// A report in the air that ends a silence on an approach: the points made
// up meanwhile slowed the aircraft down to 60 % of its speed within 40 s,
// none of its own speeds. They take the report's: flown on to it at the
// made-up speed, and every report after it held to that speed while the
// approach lasts, the aircraft would arrive half a minute late and stay as
// late, its gear and flaps moving with reports long past (a low pass that
// went silent over the runway climbing away 30 s after its reports).
void lf_madeUpPointsTakeSpeed(LiveAc& ac, const StreamPoint& point) {
    if (ac.extensionCount < 1 || ac.groundMode || !point.airborne || !(point.gs > 0.0)) return;
    for (StreamPoint& p : ac.stream)
        if (p.airborne && !p.stationary) p.gs = point.gs;
}

}  // namespace

bool lf_acceptBirthPoint(LiveAc& ac, StreamPoint& point) {
    if (ac.stream.empty()) return true;
    const StreamPoint& last = ac.stream.back();
    const bool equal = lf_samePlace(last, point.lat, point.lon);
    point.stationary = equal;
    if (ac.category == AcCategory::Rotorcraft) return true;
    const bool inAir = lf_active(ac) && !ac.groundMode;
    const bool takeOffRun = ac.motion.more.takeOffRun;
    if (!equal && std::fabs(point.lat - last.lat) < kNearlySame_deg && std::fabs(point.lon - last.lon) < kNearlySame_deg) {
        if (point.airborne || inAir) return false;
        if (takeOffRun && point.gs > 0.0 && last.gs >= 50.0) return false;
        const std::int32_t due = point.time;
        point = last;
        point.time = due;
        point.stationary = true;
        point.gs = 0.0;
        return true;
    }
    if (!equal) {
        if (point.gs == 0.0 && (point.airborne || takeOffRun)) return last.gs < 50.0;
        return true;
    }
    if (point.airborne || inAir) return false;
    if (takeOffRun && point.gs > 0.0 && last.gs >= 30.0) return false;
    point.gs = 0.0;
    return true;
}

bool checkNewPosDuringLanding(LiveAc& ac, StreamPoint& point) {
    std::deque<StreamPoint>& s = ac.stream;
    if (s.empty()) {
        gf_logHighlight(fmt::format("{} empty sz?", "checkNewPosDuringLanding"));
        return false;
    }
    if (lf_samePlace(s.back(), point.lat, point.lon)) return false;
    // A helicopter turns on its approach as tightly as it likes, hovers and
    // side-steps: its newest point lies half a minute ahead, round turns it
    // has yet to fly, and a point off its present heading is its way on,
    // not a sign that the one before it was wrong. Taken for one, each new
    // report threw out the one before it, and the helicopter flew a chord
    // across its turn to the last report, hundreds of feet off its way.
    const bool turnsAnyWay = ac.category == AcCategory::Rotorcraft;
    if (!turnsAnyWay && s.size() >= 2) {
        // A point behind the aircraft shows the one before it was wrong.
        if (lf_offHeading_deg(ac, s.back(), point) >= 90.0) {
            s.pop_back();
            if (s.size() >= 2 && lf_offHeading_deg(ac, s.back(), point) >= 90.0) s.pop_back();
        }
    } else if (!turnsAnyWay) {
        const double off = lf_offHeading_deg(ac, s.back(), point);
        if (ac.motion.more.landing) {
            if (off >= 90.0) return false;
        } else if (ac.motion.landingRoll && off >= 150.0) {
            if (ac.extensionCount >= 1) return false;
            StreamPoint here = s.front();
            here.lat = ac.pos.lat;
            here.lon = ac.pos.lon;
            here.time = g_trafficTick.load() + 1;
            s.clear();
            s.push_back(here);
        }
    }
    lf_madeUpPointsTakeSpeed(ac, point);
    lf_stopExtension(ac);
    const StreamPoint& last = s.back();
    point.stationary = lf_samePlace(last, point.lat, point.lon);
    if (!point.stationary && point.gs > last.gs && point.gs > 40.0) point.gs = last.gs;
    return true;
}

bool checkExtendingSituations(LiveAc& ac, StreamPoint& point) {
    switch (ac.flightState) {
    case FlightState::parking:
    case FlightState::parked: return lf_parkedPoint(ac, point);
    case FlightState::pushing_back: lf_pushBackSide(ac, point); return false;
    case FlightState::pushed_back: return lf_pushedBackPoint(ac, point);
    default: break;
    }
    if (ac.motion.more.landing || ac.motion.landingRoll) return checkNewPosDuringLanding(ac, point);
    if (!lf_acceptBirthPoint(ac, point)) return false;
    if (ac.extensionCount < 1) return true;
    if (ac.stream.empty()) {
        gf_logHighlight(fmt::format("{} empty sz?", "checkExtendingSituations"));
        return false;
    }
    if (!ac.groundMode && lf_offHeading_deg(ac, ac.stream.back(), point) >= 100.0) {
        // The extension ran on ahead while the aircraft turned (a circling
        // glider or helicopter, a sparse feed): its newest report lies
        // behind the extrapolated point. Dropped, every later report would
        // be too and the aircraft would fly on straight until its stream
        // ends; instead the stream starts again where the aircraft is.
        StreamPoint here = ac.stream.front();
        here.lat = ac.pos.lat;
        here.lon = ac.pos.lon;
        here.alt = ac.pos.alt;
        here.time = g_trafficTick.load() + 1;
        ac.stream.clear();
        ac.stream.push_back(here);
    }
    lf_stopExtension(ac);
    lf_clearHolding(ac);
    return true;
}

void decodeExisting(LiveAc& ac, const StreamPoint& received) {
    try {
        // A stream that keeps growing is an aircraft that no longer moves on.
        if (ac.stream.size() > kMaxStreamPoints) {
            removeAircraftFromSim(ac);
            return;
        }
        StreamPoint point = received;
        if (ac.jumpChecked && !ac.stream.empty() &&
            lf_distanceNm(point, ac.stream.front()) * kMetresPerNm > HOLDING_THRESHOLD_METERS.value()) {
            // A holding aircraft reappearing far away has jumped: it is not
            // dragged across the airport.
            lf_clearHolding(ac);
            removeAircraftFromSim(ac);
            return;
        }
        if (ac.flightState == FlightState::birth) {
            if (ac.stream.empty() || !lf_acceptBirthPoint(ac, point)) return;
            point.time = std::max(point.time, ac.stream.back().time + 1);
            ac.stream.push_back(point);
            gf_smoothStreamAltitudes(ac);
            return;
        }
        if (!checkExtendingSituations(ac, point)) return;
        lf_cutShortStops(ac, point);
        if (!ac.stream.empty() && point.time <= ac.stream.back().time) point.time = ac.stream.back().time + 1;
        lf_detectTakeOff(ac, point);
        lf_liftLoneGround(ac, point);
        ac.stream.push_back(point);
        gf_smoothStreamAltitudes(ac);
        if (ac.stream.size() == 2 && ac.stream[0].stationary && ac.stream[1].stationary) {
            ac.stream[0].time = g_trafficTick.load() + 1;
            ac.stream[0].gs = ac.stream[1].gs;
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{} exception {}", "decodeExisting", e.what()));
        throw;
    }
}

bool lf_extendOrEnd(LiveAc& ac) {
    if (ac.stream.empty()) return false;
    const FlightState fs = ac.flightState;
    if (fs == FlightState::parking) {
        lf_arriveAtStand(ac);
        if (ac.simState != SimState::active) return false;
    } else if (fs == FlightState::pushed_back ||
               (fs == FlightState::taxi && !ac.motion.more.takeOffRun && !ac.motion.landingRoll)) {
        return lf_holdOnGround(ac);
    }
    const std::int32_t count = ac.extensionCount;
    if (count < 0) return false;
    if (count > 1) {
        lf_extendStream(ac, count - 1);
        return true;
    }
    if (count == 1) {
        ac.extensionCount = -1;
        return false;
    }
    const std::int32_t steps = lf_firstExtensionSteps(ac);
    if (steps == 0) return false;
    lf_extendStream(ac, steps);
    return true;
}

namespace {

// The climb the last three reports in the air agree on: all climb, their
// heights rising and their rates within a third of the fastest; the
// slowest of them, no faster than the aircraft's kind climbs. A glider's or
// helicopter's rate swings from one report to the next (a thermal, a
// hover): no climb to carry on.
double lf_steadyClimb_fpm(const LiveAc& ac) {
    const MotionFields& f = ac.motion.more;
    if (f.recentCount < kSteadyReports) return 0.0;
    const auto first = f.recentRate_fpm.begin() + static_cast<std::ptrdiff_t>(f.recentCount - kSteadyReports);
    const auto [low, high] = std::minmax_element(first, first + static_cast<std::ptrdiff_t>(kSteadyReports));
    if (!(*low > 0.0) || *high - *low > kSteadyRateShare * *high) return 0.0;
    // A receiver that repeats its last report with new times shows no
    // climb: the heights rise too.
    for (std::size_t i = f.recentCount - kSteadyReports + 1; i < f.recentCount; ++i)
        if (!(f.recentAlt_ft[i] > f.recentAlt_ft[i - 1])) return 0.0;
    return std::min(*low, gf_categoryMotion(ac.category).maxClimb_ft * kTicksPerMinute);
}

// The descent the last three reports in the air agree on, as the climb
// above: all sink, their heights falling and their rates within a third
// of the fastest; the slowest of them (negative), 0 for none.
double lf_steadySink_fpm(const LiveAc& ac) {
    const MotionFields& f = ac.motion.more;
    if (f.recentCount < kSteadyReports) return 0.0;
    const auto first = f.recentRate_fpm.begin() + static_cast<std::ptrdiff_t>(f.recentCount - kSteadyReports);
    const auto [low, high] = std::minmax_element(first, first + static_cast<std::ptrdiff_t>(kSteadyReports));
    if (!(*high < 0.0) || *high - *low > -kSteadyRateShare * *low) return 0.0;
    for (std::size_t i = f.recentCount - kSteadyReports + 1; i < f.recentCount; ++i)
        if (!(f.recentAlt_ft[i] < f.recentAlt_ft[i - 1])) return 0.0;
    return *high;
}

}  // namespace

void lf_extendStream(LiveAc& ac, std::int32_t steps) {
    ac.extensionCount = steps;
    const StreamPoint& front = ac.stream.front();
    StreamPoint copy = front;
    const bool parked = ac.flightState == FlightState::parked;
    const bool ground = ac.groundMode != 0;
    MotionFields& f = ac.motion.more;
    double speed = front.gs;
    if (front.stationary || parked) {
        speed = 0.0;
    } else if (!ground) {
        if (!f.landing) speed = std::max(front.gs * 0.95, 1.0);
        else if (steps >= 4) speed = std::max(front.gs * 0.9, 1.0);
    } else if (ac.motion.landingRoll) {
        speed = lf_landingRollSpeed(front.gs);
        copy.vrate = 0.0;
    } else if (f.takeOffRun) {
        speed = lf_takeOffRunSpeed(front.gs, copy);
    } else {
        speed = 0.0;
    }
    copy.gs = speed;
    copy.stationary = speed <= 0.0;
    if (speed > 0.0) {
        const double seconds = ground ? 3.0 : 8.0;
        const double dist_ft = seconds * 100.0 * speed * kFeetPerNm / kTicksPerHourKt;
        const LatLon to = gf_destinationPoint(LatLon{front.lat, front.lon}, ac.pos.heading, dist_ft);
        copy.lat = to.lat;
        copy.lon = to.lon;
        if (lf_samePlace(front, copy.lat, copy.lon)) copy.stationary = true;
        if (f.landing && f.flareStage == 0 && ac.category == AcCategory::Rotorcraft) {
            // A helicopter comes down to a hover and may stay there: gone
            // silent, it holds the last height it was believed at rather
            // than sink into the ground under a hover.
            copy.vrate = 0.0;
        } else if (f.landing && f.flareStage == 0) {
            copy.alt -= 10.005 * seconds;
            copy.vrate = -667.0;
        } else if (ac.flightState == FlightState::take_off) {
            copy.alt += 25.0 * seconds;
            copy.vrate = 1500.0;
        } else if (const double climb_fpm = lf_steadyClimb_fpm(ac); !f.landing && climb_fpm > 0.0) {
            // A receiver gone silent in a steady climb: the aircraft climbs
            // on as it does. Held level, it would fall behind the climb
            // and make it up late, when the reports after the silence are
            // level.
            copy.vrate = climb_fpm;
            copy.alt += climb_fpm / 60.0 * seconds;
        } else if (const double sink_fpm = lf_steadySink_fpm(ac);
                   !f.landing && sink_fpm < 0.0 && f.simGroundKnown && !gf_isAirliner(ac.category)) {
            // So does a light aircraft gone silent in a steady descent (its
            // reports come seconds apart, and a silence of half a minute
            // leaves it hundreds of feet high on its way down to a low
            // pass), down to some height above the ground. An airliner's
            // descent levels off at its cleared heights: it holds.
            const double floor_ft = f.simGround_ft + ac.cgHeight + kSilentSinkFloor_ft;
            if (copy.alt > floor_ft) {
                copy.vrate = sink_fpm;
                copy.alt = std::max(copy.alt + sink_fpm / 60.0 * seconds, floor_ft);
            }
        }
        copy.airborne = copy.alt > 0.0;
        if (!copy.airborne) copy.alt = 0.0;
    }
    if (parked) {
        copy.time = front.time + kWeek;
        ac.stillReported = 0;
        // The aircraft still stands there: its stand stays taken until it
        // leaves, or a second arrival would park on it.
    } else {
        copy.time = front.time + (ground ? kGroundStep : kAirStep);
    }
    ac.stream.push_back(copy);
}

// A receiver that mixes sources puts one report in three some hundred feet
// off a steep climb, often two in a row: a median of five then falls a
// report or two behind and levels the climb in steps. A line through the
// reports around, its slope the median of each report's median slope to the
// others, holds while fewer than half of them scatter.
ReportRun gf_reportRunAt(const double* alt_ft, const std::int32_t* due, std::size_t n, std::size_t j) {
    constexpr std::size_t kMostReports = 16;
    constexpr std::size_t kFewestOthers = 4;
    n = std::min(n, kMostReports);
    if (n < kFewestOthers + 1 || j >= n) return {};
    std::array<double, kMostReports> slopes{};
    std::array<double, kMostReports> each{};
    std::size_t m = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i == j) continue;
        std::size_t k = 0;
        for (std::size_t o = 0; o < n; ++o) {
            if (o == i || o == j || due[o] == due[i]) continue;
            slopes[k++] = (alt_ft[o] - alt_ft[i]) / static_cast<double>(due[o] - due[i]);
        }
        if (k == 0) continue;
        std::nth_element(slopes.begin(), slopes.begin() + static_cast<std::ptrdiff_t>(k / 2),
                         slopes.begin() + static_cast<std::ptrdiff_t>(k));
        each[m++] = slopes[k / 2];
    }
    if (m < kFewestOthers) return {};
    std::nth_element(each.begin(), each.begin() + static_cast<std::ptrdiff_t>(m / 2),
                     each.begin() + static_cast<std::ptrdiff_t>(m));
    const double slope = each[m / 2];
    // Each other report carried along the line to report j's time.
    std::size_t others = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (i != j) each[others++] = alt_ft[i] + slope * static_cast<double>(due[j] - due[i]);
    std::array<double, kMostReports> sorted = each;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(others / 2),
                     sorted.begin() + static_cast<std::ptrdiff_t>(others));
    const double at = sorted[others / 2];
    for (std::size_t i = 0; i < others; ++i) sorted[i] = std::fabs(each[i] - at);
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(others / 2),
                     sorted.begin() + static_cast<std::ptrdiff_t>(others));
    return {true, at, sorted[others / 2]};
}
