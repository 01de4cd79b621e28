#include "traffic/intake.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <limits>
#include <optional>

#include "airports/park_airport_state.h"
#include "catalogue/dbase_queries.h"
#include "core/clock.h"
#include "core/geometry.h"
#include "core/settings.h"
#include "feed/reader_services.h"
#include "feed/traffic_reader.h"
#include "traffic/air_motion.h"
#include "traffic/livery_respawn.h"
#include "traffic/motion_common.h"
#include "traffic/motion_reports.h"
#include "traffic/stream_checks.h"
#include "traffic/traffic_state.h"

std::mutex g_engineMutex;

namespace {

constexpr int kLivePollDelay_s = 30;
constexpr double kMinRecordGap_s = 1.0;
constexpr double kSlowKt = 5.0;
constexpr double kGlitchFactor = 10.0;
constexpr double kGlitchJumpKt = 80.0;
// An aircraft at rest reaches 80 kt within about 20 s of its take-off run.
constexpr double kGlitchMaxGap_s = 20.0;
constexpr double kAirThinKt = 120.0;
constexpr double kAirThinTrackDeg = 1.0;
constexpr double kAirThinNm = 0.2429805615550756;  // 450 m
constexpr double kGroundThinKt = 30.0;
constexpr double kGroundThinTrackDeg = 2.0;
constexpr double kGroundThinNm = 0.010799136069114472;  // 20 m
constexpr double kGroundThinMax_s = 15.0;
// A ground report's speed that its positions do not bear out by this much
// (twice the speed they show, and 10 kt more) is no speed of the aircraft.
constexpr double kSpeedOverPositions = 2.0;
constexpr double kSpeedOverPositions_kt = 10.0;
// Slower than this, positions a few seconds apart show their jitter, not a
// speed.
constexpr double kRollSpeed_kt = 30.0;
// A climb or a sink of a few of the transponder's 64 ft/min steps: no
// aircraft on its wheels reports one.
constexpr double kClimbOrSink_fpm = 256.0;
// The feed reads a report as the ground near the field only up to this
// speed; faster, only a reading at or below the field makes it ground.
constexpr double kFastestOnGround_kt = 120.0;
// A report without an altitude reads as the ground (a taxiing aircraft's
// receiver often sends none). An aircraft in the air can be there only once
// it can have come down: at this rate, from this far above the ground.
constexpr double kNoAltitudeSink_fpm = 3000.0;
constexpr double kNoAltitudeNearGround_ft = 300.0;
// A report with a height that the feed reads as the ground: no aircraft
// comes down to its touchdown faster than this, and a reading of the
// ground lies this close to the way down from its last report.
constexpr double kTouchdownSink_fpm = 2000.0;
constexpr double kTouchdownScatter_ft = 50.0;
// No aircraft but a helicopter lifts off slower than this; a height
// reading scatters this much about the aircraft's.
constexpr double kNoLiftOffBelow_kt = 30.0;
constexpr double kLiftOffScatter_ft = 100.0;
// A report climbing at least this fast is climbing away, and is for this
// long after it.
constexpr double kClimbingAway_fpm = 256.0;
constexpr double kClimbingAwayFor_s = 15.0;
// The feed lifts every report by the QNH's difference from the standard
// pressure at this rate; the simulator's ground stays where it is.
constexpr double kFtPerHpa = 27.0;
constexpr double kStandardPressure_hpa = 1013.25;
constexpr double kElevationBand_ft = 108.0;
constexpr double kElevationCeiling_ft = 10000.0;
constexpr double kNoElevation_ft = -1000.0;
// Feed times more than this from the poll's median are no times of this
// poll; they would make a record due at once or never.
constexpr double kMaxFeedTimeSpread_s = 3600.0;
// Records waiting for the engine at most: a minute of polls of 2,500
// aircraft every 2 s.
constexpr std::size_t kMaxWaitingRecords = 75000;

// A record close to the park airport's elevation but not on the ground is
// one of the feed's ground reports with a bad altitude flag.
bool lf_nearAirportElevation(const FlightRecord& r) {
    const double alt = r.point.alt;
    if (alt <= 0.0 || alt >= kElevationCeiling_ft) return false;
    const double e = g_airportAltitude_ft.get().value_or(kNoElevation_ft);
    return std::fabs(alt - e) <= kElevationBand_ft;
}

bool lf_speedGlitch(double g, double g0) {
    if (g0 > kSlowKt && g >= kGlitchFactor * g0) return true;
    if (g > kSlowKt && g0 >= kGlitchFactor * g) return true;
    if (g0 <= kSlowKt && g >= kGlitchJumpKt) return true;
    return g <= kSlowKt && g0 >= kGlitchJumpKt;
}

// Keeps one point per 450 m in the air and per 20 m (at most 15 s) on the
// ground while the aircraft goes straight on.
bool lf_thinnedOut(const StreamPoint& p, const StreamPoint& last, double dt) {
    const double g = p.gs;
    const double dtrack = std::fabs(p.track - last.track);
    if (p.airborne) return g > kAirThinKt && dtrack <= kAirThinTrackDeg && dt <= kAirThinNm / (g / 3600.0);
    if (g > kGroundThinKt || dtrack > kGroundThinTrackDeg) return false;
    const double limit = g == 0.0 ? kGroundThinMax_s : std::min(kGroundThinNm / (g / 3600.0), kGroundThinMax_s);
    return dt <= limit;
}

// Step 4 of a record of a known aircraft: false when the record is ignored.
bool lf_passesStreamFilters(const LiveAc& ac, const FlightRecord& r) {
    const double t = r.feedTime;
    const double dt = t - ac.lastFeedTime;
    if (t == ac.lastFeedTime || dt <= kMinRecordGap_s) return false;
    const StreamPoint& last = ac.stream.back();
    // A speed jump is a glitch only between two reports close in time: after
    // a long silence, or against a point the engine made up to carry the
    // aircraft on (a parked one's copy a week ahead stands at 0 kt), the
    // aircraft may well be moving now.
    const bool madeUp = ac.extensionCount >= 1;
    if (!madeUp && dt <= kGlitchMaxGap_s && lf_speedGlitch(r.point.gs, last.gs)) return false;
    if (ac.motion.groundMove < 1 && lf_thinnedOut(r.point, last, dt)) return false;
    return true;
}

// On the ground the positions win over the reported speed: a stale or
// faulty transmitter that keeps one position with the speed of a take-off
// must stand still, not race off along its track (the take-off detection
// and the stream's extension go by the speed). The speed its positions show
// since the previous report replaces one they do not bear out.
void lf_speedFromPositions(const LiveAc& ac, const FlightRecord& r, StreamPoint& point) {
    const double dt_s = r.feedTime - ac.lastFeedTime;
    if (point.airborne || !(dt_s > 0.0)) return;
    const MotionFields& f = ac.motion.more;
    const double moved_nm = gf_distanceNm(LatLon{f.lastReportLat_deg, f.lastReportLon_deg}, LatLon{point.lat, point.lon});
    const double shown_kt = moved_nm * 3600.0 / dt_s;
    if (point.gs > kSpeedOverPositions * shown_kt + kSpeedOverPositions_kt) point.gs = shown_kt;
}

// The speed the report's position shows since the aircraft's previous
// report; 0 without a time between them.
double lf_speedShown(const LiveAc& ac, const FlightRecord& r) {
    const double dt_s = r.feedTime - ac.lastFeedTime;
    if (!(dt_s > 0.0)) return 0.0;
    const MotionFields& f = ac.motion.more;
    const LatLon last{f.lastReportLat_deg, f.lastReportLon_deg};
    return gf_distanceNm(last, LatLon{r.point.lat, r.point.lon}) * 3600.0 / dt_s;
}

// A report without a speed above the ground (in the air, or near the field
// where the feed reads a speed of 0 as standing), of an aircraft rolling
// down the runway at a speed some aircraft lifts off at, is its lift-off
// where its rate shows a climb, its places move on and its height is one
// it can have climbed to since its last report: no spike of a standing
// aircraft. Read as the ground, a lift-off reported every five seconds
// waits for a later report with a speed, and the aircraft rolls on under
// its climb.
bool lf_liftOffWithoutSpeed(const LiveAc& ac, const FlightRecord& r) {
    if (!r.speedUnknown || !(r.point.airborne || r.groundedAlt_ft != 0.0) || ac.stream.back().airborne) return false;
    const StreamPoint& last = ac.stream.back();
    if (!ac.groundMode || ac.category == AcCategory::Rotorcraft || r.altitudeUnknown || last.stationary ||
        last.gs < kNoLiftOffBelow_kt || r.point.vrate < kClimbOrSink_fpm || lf_speedShown(ac, r) < kNoLiftOffBelow_kt)
        return false;
    const MotionFields& f = ac.motion.more;
    if (!f.simGroundKnown) return false;
    const double dt_s = r.feedTime - ac.lastFeedTime;
    const double runway_ft = f.simGround_ft + ac.cgHeight +
                             std::max((g_engineQnh.load() - kStandardPressure_hpa) * kFtPerHpa, 0.0);
    const double climbed_ft = gf_categoryMotion(ac.category).maxClimb_ft * kTicksPerSecond * dt_s;
    const double alt_ft = r.point.airborne ? r.point.alt : r.groundedAlt_ft;
    return alt_ft - runway_ft <= climbed_ft + kLiftOffScatter_ft;
}

// What a report says where the feed could not tell on its own. A report
// without a speed moves at the speed its positions show since the
// aircraft's previous report: read as 0 it would hold a take-off roll at
// walking pace and the lift-off far behind (slower than a roll the
// positions' jitter is no speed: it stays 0). A report of an
// aircraft in the air that climbs or sinks, or that is faster than any
// report the feed reads as the ground near the field, is in the air, also
// where its pressure altitude reads at or below the field (a low pass or an
// approach on a high-pressure day): it keeps that altitude, not put on the
// ground nor lifted to the simulator's, so that the run of the reports
// shows where an approach really touches down (the motion takes the gap to
// the runway in from there) and a low pass climbs away from its lowest
// point (the motion keeps its wheels off the ground meanwhile). So is one
// without a speed whose height and positions are those of a flight.
std::optional<FlightRecord> lf_readInContext(const LiveAc& ac, const FlightRecord& record) {
    if (ac.stream.empty()) return std::nullopt;
    // The feed passes a report without a speed high above the field as in
    // the air. Of an aircraft on the ground it is a standing aircraft's
    // spike (receivers send those without a speed, tens of thousands of
    // feet up), read as the ground as near the field: its position is
    // still the aircraft's.
    std::optional<FlightRecord> grounded;
    const bool liftsOff = lf_liftOffWithoutSpeed(ac, record);
    if (record.speedUnknown && record.point.airborne && !ac.stream.back().airborne && !liftsOff) {
        grounded = record;
        grounded->groundedAlt_ft = record.point.alt;
        grounded->point.alt = 0.0;
        grounded->point.airborne = false;
        grounded->point.bank_rad.reset();
    }
    const FlightRecord& r = grounded ? *grounded : record;
    const MotionFields& f = ac.motion.more;
    const double shown_kt = r.speedUnknown ? lf_speedShown(ac, r) : 0.0;
    const bool rolling = shown_kt > kRollSpeed_kt;
    const bool aloft = r.groundedAlt_ft != 0.0 && ac.stream.back().airborne;
    // A helicopter hovers low and slow, which the feed's ground rules (made
    // for the taxiways) read as the ground: in the air, moving faster than
    // it taxis and reading above the simulator's ground, it hovers on.
    // Without a speed the positions tell it.
    const double speed_kt = r.speedUnknown ? shown_kt : r.point.gs;
    const bool hovers = ac.category == AcCategory::Rotorcraft && f.simGroundKnown &&
                        r.groundedAlt_ft > f.simGround_ft + ac.cgHeight && speed_kt > ac.slowGroundSpeed;
    // The feed reads a report without a speed as standing at any height (a
    // standing aircraft's receiver sends spikes of tens of thousands of
    // feet). For an aircraft in the air, the speed its positions show
    // decides as a reported one would; the report judgement still refuses
    // a height it cannot have climbed or sunk to.
    const bool fliesWithoutSpeed =
        r.speedUnknown && f.simGroundKnown && !gf_slowReadsAsGround(r.groundedAlt_ft - f.simGround_ft, shown_kt);
    const bool staysAloft =
        aloft && (std::fabs(r.point.vrate) >= kClimbOrSink_fpm || speed_kt > kFastestOnGround_kt || hovers ||
                  fliesWithoutSpeed);
    // One in the air of an aircraft in the air flies on at the speed it
    // last had: read as 0 it would be a speed glitch, and its positions
    // show a receiver's jumps as well as the aircraft's way. A last speed
    // below a roll's (a receiver's 0 in the air) is none the aircraft
    // flies at where its positions show it moving: they tell it then.
    const bool keepsSpeed = r.speedUnknown && r.point.airborne && ac.stream.back().airborne;
    // Lifting off, it flies on at the speed it rolled at.
    if (liftsOff) {
        FlightRecord read = r;
        read.point.gs = ac.stream.back().gs;
        if (!read.point.airborne) {
            read.point.alt = read.groundedAlt_ft;
            read.point.airborne = true;
            read.groundedAlt_ft = 0.0;
        }
        return read;
    }
    if (!rolling && !staysAloft && !keepsSpeed) return grounded;
    FlightRecord read = r;
    if (rolling) read.point.gs = shown_kt;
    if (keepsSpeed && !(rolling && ac.stream.back().gs <= kRollSpeed_kt)) read.point.gs = ac.stream.back().gs;
    if (staysAloft) {
        read.point.alt = r.groundedAlt_ft;
        read.point.airborne = true;
        read.groundedAlt_ft = 0.0;
    }
    return read;
}

// A report without an altitude of an aircraft in the air too far above the
// ground to have come down to it since its last point says nothing of its
// height: it is no report of the ground.
bool lf_groundBeyondReach(const LiveAc& ac, const FlightRecord& r) {
    if (!r.altitudeUnknown || ac.stream.empty() || !ac.stream.back().airborne) return false;
    const MotionFields& f = ac.motion.more;
    if (!f.simGroundKnown) return false;
    // A helicopter in the air moving faster than it taxis hovers on, low
    // over its pad as it may be: the ground comes with a height. Without a
    // speed its positions tell how fast it moves.
    if (ac.category == AcCategory::Rotorcraft &&
        (r.speedUnknown ? lf_speedShown(ac, r) : r.point.gs) > ac.slowGroundSpeed)
        return true;
    const double dt_s = std::max(r.feedTime - ac.lastFeedTime, 0.0);
    const double reach_ft = kNoAltitudeNearGround_ft + kNoAltitudeSink_fpm * dt_s / 60.0;
    return ac.stream.back().alt - (f.simGround_ft + ac.cgHeight) > reach_ft;
}

// A report the feed reads as the ground, of a light aircraft, glider or
// helicopter in the air whose reports are too, is the ground only where it
// can have come down to it since its last point: one low reading among
// reports hundreds of feet up (a receiver's spike, a hovering helicopter's
// reading below the field) is none, and flown it would land the aircraft
// in the middle of a low pass or a hover. A reading with a height (below
// the field, or low and slow) is judged by that height; one of 0 by the
// aircraft's height above where its reports meet the ground, which a QNH
// off the local one moves by some hundred feet. An airliner's reports come
// every second, and its approach to the runway has rules of its own.
bool lf_groundOutOfReach(const LiveAc& ac, const FlightRecord& r) {
    // Judged from the aircraft's last report, not from a point the engine
    // made up to carry it on.
    if (r.altitudeUnknown || r.point.airborne || ac.groundMode || ac.extensionCount >= 1 || ac.stream.empty() ||
        !ac.stream.back().airborne || gf_isAirliner(ac.category))
        return false;
    const MotionFields& f = ac.motion.more;
    if (!f.simGroundKnown) return false;
    const double dt_s = std::max(r.feedTime - ac.lastFeedTime, 0.0);
    const double sunk_ft = kTouchdownSink_fpm * dt_s / 60.0;
    if (r.groundedAlt_ft != 0.0) return ac.stream.back().alt - r.groundedAlt_ft > kTouchdownScatter_ft + sunk_ft;
    // Nor is it the ground seconds after the newest report in the air
    // climbs away: an aircraft lands out of a descent, whatever the QNH
    // does to its height.
    if (f.recentCount > 0 && f.recentRate_fpm[f.recentCount - 1] >= kClimbingAway_fpm && dt_s <= kClimbingAwayFor_s)
        return true;
    const double runway_ft =
        f.simGround_ft + ac.cgHeight + (g_engineQnh.load() - kStandardPressure_hpa) * kFtPerHpa;
    return ac.stream.back().alt - runway_ft > kNoAltitudeNearGround_ft + sunk_ft;
}

// Nor is a reading of the ground that goes on sinking (or climbing) at a
// flight's rate, after a report in the air that does too, where that
// report stands higher above the runway than those rates bring the
// aircraft down in the time between: a receiver's spikes cut at zero on a
// light aircraft's descent. Taken for the runway ahead, a run of them
// drew the aircraft down some hundred feet under its approach. A wheel on
// the ground reports no such rate.
constexpr double kSinkSwing_fpm = 500.0;
constexpr double kNearRunway_ft = 50.0;

bool lf_groundBeyondItsSink(const LiveAc& ac, const FlightRecord& r) {
    if (r.altitudeUnknown || r.point.airborne || r.groundedAlt_ft != 0.0 || ac.groundMode || ac.extensionCount >= 1 ||
        ac.stream.empty() || !ac.stream.back().airborne || gf_isAirliner(ac.category))
        return false;
    const MotionFields& f = ac.motion.more;
    if (!f.simGroundKnown || f.recentCount == 0) return false;
    const double lastRate_fpm = f.recentRate_fpm[f.recentCount - 1];
    if (std::fabs(r.point.vrate) < kClimbOrSink_fpm || std::fabs(lastRate_fpm) < kClimbOrSink_fpm) return false;
    const double dt_s = std::max(r.feedTime - ac.lastFeedTime, 0.0);
    const double sink_fpm = std::max({-r.point.vrate, -lastRate_fpm, 0.0}) + kSinkSwing_fpm;
    const double runway_ft =
        f.simGround_ft + ac.cgHeight + (g_engineQnh.load() - kStandardPressure_hpa) * kFtPerHpa;
    return ac.stream.back().alt - runway_ft > kNearRunway_ft + sink_fpm * dt_s / 60.0;
}

// Nor is a report of the ground seconds after the newest report in the air
// climbs away, of an aircraft rolling on the runway it came down to on a
// low pass: a receiver's spike cut at zero. Taken, it holds the aircraft
// on its wheels until a second report in the air shows the touch-and-go,
// and it lifts off behind its climb.
bool lf_groundUnderClimbAway(const LiveAc& ac, const FlightRecord& r) {
    if (r.altitudeUnknown || r.point.airborne || !ac.groundMode || ac.extensionCount >= 1 || ac.stream.empty() ||
        !ac.stream.back().airborne || gf_isAirliner(ac.category))
        return false;
    const MotionFields& f = ac.motion.more;
    const double dt_s = std::max(r.feedTime - ac.lastFeedTime, 0.0);
    return f.recentCount > 0 && f.recentRate_fpm[f.recentCount - 1] >= kClimbingAway_fpm && dt_s <= kClimbingAwayFor_s;
}

// A report the feed reads as in the air, of an aircraft on the ground whose
// points are all on the ground, is a lift-off only where it can have made
// one: its positions since its last report show it moving at a speed some
// aircraft lifts off at, and its height is one it can have climbed to since
// then. A receiver's spike on a taxiing or rolling aircraft (hundreds of
// feet up, at walking pace or a second after a report on the runway) is
// none: taken for a take-off, it would fly the aircraft off the taxiway and
// down into the ground again to its next report. A helicopter lifts off at
// any speed and its hover reads as the ground: its reports judge it.
bool lf_airOutOfReach(const LiveAc& ac, const FlightRecord& r) {
    if (!r.point.airborne || r.altitudeUnknown || r.speedUnknown || !ac.groundMode || ac.stream.empty() ||
        ac.category == AcCategory::Rotorcraft)
        return false;
    // Ground points after reports in the air are judged by those (a
    // receiver's low readings cut at zero in a climb or a low pass).
    if (std::any_of(ac.stream.begin(), ac.stream.end(), [](const StreamPoint& p) { return p.airborne; })) return false;
    const double dt_s = r.feedTime - ac.lastFeedTime;
    if (!(dt_s > 0.0)) return false;
    if (lf_speedShown(ac, r) < kNoLiftOffBelow_kt) return true;
    const MotionFields& f = ac.motion.more;
    if (!f.simGroundKnown) return false;
    const double runway_ft = f.simGround_ft + ac.cgHeight +
                             std::max((g_engineQnh.load() - kStandardPressure_hpa) * kFtPerHpa, 0.0);
    const double climbed_ft = gf_categoryMotion(ac.category).maxClimb_ft * kTicksPerSecond * dt_s;
    return r.point.alt - runway_ft > climbed_ft + kLiftOffScatter_ft;
}

// A place sent early fits the time of the report that repeats it within
// this share of the way; one short of it by more is a receiver's wrong
// place (a jump, an old one), which the report judgment takes.
constexpr double kEarlyPlaceFit = 0.25;

// Whether the place report `early` came with is a later report's, at
// later_s, sent a report early: the way into it from the report before
// fits the time up to the later report, not the time up to its own. So is
// one farther on still, of a light aircraft, glider or helicopter (a
// receiver's clock that sent a place several seconds ahead and held it over
// its reports): it is of that report's moment or later, and no earlier
// height is its own. (An airliner's transponder holds a reading over such
// a place too; its rules take the held readings.) A place the receiver
// held over its reports judges nothing: the moment it is of may lie
// seconds before the time of the report before, and the way from it would
// fit a later time for that alone. A helicopter's held place does judge,
// from the time of the report it came with (the judgment keeps that time
// while the place repeats): its reports come a second or two apart and the
// receiver coasts on its last place, so a place that comes after it and
// lies farther on than that time carries it is of a later report's moment;
// flown with its own height it would bring the helicopter there above where
// it was (and hovering at the place repeated).
bool lf_placeCameEarly(const LiveAc& ac, const HeldReport& before, const HeldReport& early, double later_s) {
    if (before.placeHeld && ac.category != AcCategory::Rotorcraft) return false;
    const double own_s = early.t_s - before.t_s, upToThis_s = later_s - before.t_s;
    if (!(own_s > 0.0 && upToThis_s > own_s)) return false;
    const double moved_nm = gf_distanceNm(LatLon{before.lat, before.lon}, LatLon{early.lat, early.lon});
    const double nmPerS = std::max(before.gs, early.gs) / 3600.0;
    const double fit_nm = std::fabs(moved_nm - nmPerS * upToThis_s);
    return nmPerS > 0.0 && fit_nm < std::fabs(moved_nm - nmPerS * own_s) &&
           (fit_nm <= kEarlyPlaceFit * nmPerS * upToThis_s ||
            (!gf_isAirliner(ac.category) && moved_nm >= nmPerS * upToThis_s));
}

// A report in the air at the very place of the stream's newest point, with
// a new height: a receiver either repeats its last place (the point's own)
// or sent that place a report early, with the height of then. Which one the
// way into the place tells: flown in about the time up to this report, not
// to the point's own, the place was this report's, and the point takes its
// time and height (flown at the earlier height, the aircraft reaches the
// place below where it was there). The front point is being flown to
// and stays: the newest point is one behind it. True when it took the
// report.
bool lf_takePlaceCameEarly(LiveAc& ac, const FlightRecord& r) {
    const MotionFields& f = ac.motion.more;
    if (!r.point.airborne || r.altitudeUnknown || ac.stream.size() < 2 || !f.earlierKnown || !f.reportKnown)
        return false;
    StreamPoint& newest = ac.stream.back();
    const HeldReport& early = f.report;
    const HeldReport& before = f.earlier;
    if (!newest.airborne || !early.airborne || !before.airborne || newest.lat != r.point.lat ||
        newest.lon != r.point.lon || early.lat != r.point.lat || early.lon != r.point.lon)
        return false;
    // A point already flown at the time its speed reaches the place stays.
    if (newest.time >= r.point.time) return false;
    if (!lf_placeCameEarly(ac, before, early, r.feedTime)) return false;
    newest.time = r.point.time;
    newest.alt = r.point.alt;
    newest.vrate = r.point.vrate;
    return true;
}

// A light aircraft's or glider's receiver that sent a place a report early
// repeats it with the next report, with that report's own height. Its
// reports come five seconds and more apart, so the judgment refuses the
// repeat as a receiver repeating a place it no longer sees, and the
// aircraft would come there early and at the earlier height. The way into
// the place tells the two apart, as for a repeat the stream leaves out:
// flown in about the time up to the repeat, the place is of the repeat's
// moment; the stream's point there takes its time and height, and the
// judgment goes on from that time. The way is judged from the place the
// judgment took before: a receiver that coasted on that place over the
// next report (refused as a repeat) sent it first at its own moment. The
// very same report with a fresh time (its height unchanged) says nothing
// new and stays refused, and so does one whose height lies off the earlier
// one carried along both reports' vertical rates by more than reports
// carried so agree within (a receiver's spike, which would be flown at the
// place). True when it took the report.
constexpr double kRepeatCarriedAgree_ft = 100.0;

bool lf_takeRefusedRepeatOfPlaceAhead(LiveAc& ac, const FlightRecord& r) {
    MotionFields& f = ac.motion.more;
    if (ac.category != AcCategory::Light || !f.reportKnown || ac.stream.empty() || r.point.alt == f.report.alt ||
        !(r.feedTime > f.report.t_s))
        return false;
    const StreamPoint& early = ac.stream.back();
    const double carried_ft = early.alt + (early.vrate + r.point.vrate) / 2.0 / 60.0 * (r.feedTime - f.report.t_s);
    if (!(std::fabs(early.vrate) > 0.0) || !(std::fabs(r.point.vrate) > 0.0) ||
        std::fabs(r.point.alt - carried_ft) > kRepeatCarriedAgree_ft)
        return false;
    const bool held = f.earlier.placeHeld;
    f.earlier.placeHeld = false;
    const bool took = lf_takePlaceCameEarly(ac, r);
    f.earlier.placeHeld = held;
    if (!took) return false;
    f.report.t_s = r.feedTime;
    f.report.alt = r.point.alt;
    f.report.placeHeld = false;
    return true;
}

// The other way round: a report in the air that the stream takes at the
// very place of the report it left out last (its place thinned out of the
// stream). Unless that place was this report's sent early, the receiver
// holds the place of the report before, and this one is that report sent
// late: the point takes its time, height and rate. Flown at this report's
// time and height, the aircraft would reach the place late and above (in
// a climb) where it was there.
void lf_takeHeldPlaceEarlier(const LiveAc& ac, const FlightRecord& r, StreamPoint& point) {
    const MotionFields& f = ac.motion.more;
    if (!point.airborne || r.altitudeUnknown || ac.stream.empty() || !ac.stream.back().airborne || !f.reportKnown ||
        !f.earlierKnown || f.recentCount == 0)
        return;
    const HeldReport& left = f.report;
    // The run of heights notes the reports the stream leaves out: its
    // newest is the one left out, after the stream's newest point.
    const std::size_t n = f.recentCount - 1;
    if (!left.airborne || !left.placeHeld || left.lat != point.lat || left.lon != point.lon ||
        f.recentReportT_s != left.t_s || f.recentAlt_ft[n] != left.alt || f.recentDue[n] <= ac.stream.back().time ||
        f.recentDue[n] >= point.time)
        return;
    if (lf_placeCameEarly(ac, f.earlier, left, r.feedTime)) return;
    point.time = f.recentDue[n];
    point.alt = left.alt;
    point.vrate = f.recentRate_fpm[n];
}

// A place sent one or more reports early lies farther from the stream's
// newest point than the aircraft's speed carries it in the time between:
// an airliner holds its speed, and the way fits a later time. Flown at
// this report's time and height, the aircraft comes there early and below
// (in a climb) where it was there; the point is flown at the time its speed
// reaches the place, its height carried there along the reported rate. A
// lead within a second is the positions' own scatter; one of more than a
// few seconds is a wrong place, which the report judgment takes.
constexpr double kPlaceAheadFrom_s = 1.0;
constexpr double kPlaceAheadUpTo_s = 4.0;
constexpr double kPlaceAheadSilence_s = 8.0;

void lf_carryToPlaceAhead(const LiveAc& ac, const FlightRecord& r, StreamPoint& point) {
    if (!gf_isAirliner(ac.category) || !point.airborne || r.altitudeUnknown || r.speedUnknown ||
        ac.stream.size() < 2 || ac.extensionCount >= 1 || ac.motion.more.landing)
        return;
    const StreamPoint& newest = ac.stream.back();
    if (!newest.airborne || point.time <= newest.time) return;
    const double nmPerS = std::max(newest.gs, point.gs) / 3600.0;
    if (!(nmPerS > 0.0)) return;
    const double between_s = static_cast<double>(point.time - newest.time) / kTicksPerSecond;
    // Reports a few seconds apart: judged from the report before, which the
    // stream may have left out, at the height the run of heights flies it
    // (the report's own may be of its own time, of the place's, or a
    // receiver's spike).
    if (between_s < kPlaceAheadSilence_s) {
        gf_carryToPlaceAhead(ac, point, r.feedTime);
        return;
    }
    const double ahead_s = lf_distanceNm(newest, point) / nmPerS - between_s;
    if (ahead_s < kPlaceAheadFrom_s || ahead_s > kPlaceAheadUpTo_s) return;
    point.alt += point.vrate / 60.0 * ahead_s;
    point.time += static_cast<std::int32_t>(std::lround(ahead_s * kTicksPerSecond));
}

// A light aircraft or glider flying straight on stays farther from a place
// than a quarter of the way its speed makes, as long as it cannot have
// circled half round at its steepest bank: a report that lies nearer
// the stream's newest point than that carries a place of some seconds
// before (a receiver's old place sent with a fresh time). Flown there, the
// aircraft reaches that place early and at the report's later height. Its
// height is noted with the run of heights; its place is not flown.
constexpr double kLeftBehindFrom_kt = 60.0;
constexpr double kLeftBehindFrom_s = 3.0;
constexpr double kLeftBehindShare = 0.25;
constexpr double kLeftBehindStraight_deg = 20.0;
constexpr double kGravityMps2 = 9.80665;

bool lf_placeLeftBehind(const LiveAc& ac, const FlightRecord& r, const StreamPoint& point) {
    if (ac.category != AcCategory::Light || !point.airborne || r.speedUnknown || r.altitudeUnknown ||
        ac.stream.size() < 2 || ac.extensionCount >= 1 || ac.groundMode || ac.motion.more.landing)
        return false;
    const StreamPoint& newest = ac.stream.back();
    const double slow_kt = std::min(newest.gs, point.gs);
    const double dt_s = static_cast<double>(point.time - newest.time) / kTicksPerSecond;
    if (!newest.airborne || slow_kt < kLeftBehindFrom_kt || dt_s < kLeftBehindFrom_s) return false;
    const double slow_mps = slow_kt * 1852.0 / 3600.0;
    const double circled_rad =
        kGravityMps2 * std::tan(gf_categoryMotion(ac.category).maxBank_rad) / slow_mps * dt_s;
    if (circled_rad > kFullTurnRad / 2.0) return false;
    // Straight on: its reported tracks agree.
    if (newest.track == 0.0 || point.track == 0.0 ||
        std::fabs(std::fmod(point.track - newest.track + 540.0, 360.0) - 180.0) > kLeftBehindStraight_deg)
        return false;
    return lf_distanceNm(newest, point) * 1852.0 < kLeftBehindShare * slow_mps * dt_s;
}

void lf_rememberReport(LiveAc& ac, const FlightRecord& r) {
    ac.lastFeedTime = r.feedTime;
    ac.motion.more.lastReportLat_deg = r.point.lat;
    ac.motion.more.lastReportLon_deg = r.point.lon;
}

bool lf_categoryWanted(AcCategory c) {
    switch (c) {
    case AcCategory::Light: return LIGHT_AIRCRAFT.value();
    case AcCategory::HighPerf: return HIGH_PERF_AIRCRAFT.value();
    case AcCategory::Rotorcraft: return HELICOPTERS.value();
    default: return true;
    }
}

}  // namespace

void gf_setTrafficHandover(bool open) {
    std::lock_guard lock(g_trafficMutex);
    g_trafficHandover = open;
}

void gf_takeTrafficBatch(std::vector<FlightRecord>& batch, int delay_s) {
    // A time that is not a number would break the median's sort and the
    // tick conversion alike.
    std::erase_if(batch, [](const FlightRecord& r) { return !std::isfinite(r.feedTime); });
    if (batch.empty()) {
        gf_setDataTime(0.0);
        return;
    }
    std::vector<double> times;
    times.reserve(std::max<std::size_t>(256, batch.size()));
    for (const FlightRecord& r : batch) times.push_back(r.feedTime);
    std::sort(times.begin(), times.end());
    const double m = times[times.size() / 2];
    const std::int64_t base = g_trafficTick.load() + 100 * std::int64_t{delay_s};
    std::erase_if(batch, [&](FlightRecord& r) {
        const double spread = r.feedTime - m;
        if (std::fabs(spread) > kMaxFeedTimeSpread_s) return true;
        const std::int64_t t = base + 10 * static_cast<std::int64_t>(std::trunc(spread * 10.0));
        // The stream's times are 32-bit ticks.
        if (t < std::numeric_limits<std::int32_t>::min() || t > std::numeric_limits<std::int32_t>::max()) return true;
        r.point.time = static_cast<std::int32_t>(t);
        return false;
    });
    if (delay_s != kLivePollDelay_s) {
        std::lock_guard engine(g_engineMutex);
        LiveLookup lookup;
        for (const FlightRecord& r : batch) lf_decodeRecord(r, lookup);
    } else {
        // The engine takes records from the back: a previous poll still
        // waiting goes behind this one, so that every aircraft's older
        // report is decoded first. Joined outside the lock, which the pass
        // meanwhile finds empty; nothing of a poll is lost while the engine
        // catches up, up to a bound that only a stopped engine reaches.
        std::vector<FlightRecord> waiting;
        {
            std::lock_guard lock(g_trafficMutex);
            if (!g_trafficHandover) {
                batch.clear();
                return;
            }
            waiting.swap(g_handedOverRecords);
        }
        if (!waiting.empty()) {
            const std::size_t room = kMaxWaitingRecords > batch.size() ? kMaxWaitingRecords - batch.size() : 0;
            // The oldest records wait at the end.
            if (waiting.size() > room) waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(room), waiting.end());
            batch.insert(batch.end(), std::make_move_iterator(waiting.begin()), std::make_move_iterator(waiting.end()));
        }
        std::lock_guard lock(g_trafficMutex);
        if (g_trafficHandover) {
            // Whatever the pass has not taken meanwhile stays behind.
            g_handedOverRecords.swap(batch);
        }
    }
    batch.clear();
}

namespace {

// The callsign's length and first seven bytes: enough to pass over nearly
// every other aircraft without a string comparison.
std::uint64_t lf_twinKey(const std::string& callsign) {
    std::uint64_t key = 0;
    std::memcpy(&key, callsign.data(), std::min<std::size_t>(callsign.size(), 7));
    return key << 8 | std::min<std::size_t>(callsign.size(), 255);
}

}  // namespace

void LiveLookup::syncHexids() {
    if (m_hexids.size() > g_liveAc.size()) m_hexids.clear();
    for (std::size_t i = m_hexids.size(); i < g_liveAc.size(); ++i) m_hexids.push_back(g_liveAc[i].hexid);
}

void LiveLookup::syncKeys() {
    if (m_keys.size() > g_liveAc.size()) m_keys.clear();
    for (std::size_t i = m_keys.size(); i < g_liveAc.size(); ++i) m_keys.push_back(lf_twinKey(g_liveAc[i].callsign));
}

LiveAc* LiveLookup::find(std::uint32_t hexid) {
    // Where the engine last found it: most records are of known aircraft.
    if (LiveAc* known = gf_findIndexedLiveAc(hexid)) return known;
    for (int round = 0; round < 2; ++round) {
        syncHexids();
        const auto at = std::find(m_hexids.begin(), m_hexids.end(), hexid);
        const auto i = static_cast<std::size_t>(at - m_hexids.begin());
        if (at == m_hexids.end()) {
            // Cheap evidence that the vector did not change under the
            // column: a miss then is one.
            if (m_hexids.empty() || (m_hexids.front() == g_liveAc.front().hexid && m_hexids.back() == g_liveAc.back().hexid))
                return nullptr;
        } else if (g_liveAc[i].hexid == hexid) {
            gf_noteLiveAcPlace(i);
            return &g_liveAc[i];
        }
        m_hexids.clear();
        m_keys.clear();
    }
    return gf_findLiveAc(hexid);
}

bool LiveLookup::hasTwin(const std::string& callsign, const std::string& type) {
    syncKeys();
    const std::uint64_t key = lf_twinKey(callsign);
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
        if (m_keys[i] != key) continue;
        const LiveAc& a = g_liveAc[i];
        if (a.callsign == callsign && a.type == type) return true;
    }
    return false;
}

void LiveLookup::refresh(const LiveAc& ac) {
    const auto i = static_cast<std::size_t>(&ac - g_liveAc.data());
    if (i < m_keys.size()) m_keys[i] = lf_twinKey(ac.callsign);
}

void lf_decodeRecord(const FlightRecord& record, LiveLookup& lookup) {
    LiveAc* known = lookup.find(record.hexid);
    const std::optional<FlightRecord> read = known ? lf_readInContext(*known, record) : std::nullopt;
    const FlightRecord& r = read ? *read : record;
    if (!known) {
        // A report in the air without a speed makes no new aircraft: it
        // may be a standing aircraft's spike of tens of thousands of feet.
        // The aircraft's next report with a speed makes it.
        if (r.speedUnknown && r.point.airborne) return;
        if (r.callsign.empty() || g_liveAc.empty()) return lf_tryDecodeNew(r);
        // The same flight reported under a second address.
        if (!lookup.hasTwin(r.callsign, r.type)) lf_tryDecodeNew(r);
        return;
    }
    LiveAc& ac = *known;
    // Its texts may change with the record (a new callsign, a type).
    struct Refresh {
        LiveLookup& lookup;
        const LiveAc& ac;
        ~Refresh() { lookup.refresh(ac); }
    } refresh{lookup, ac};
    if (ac.simState == SimState::liveryrespawn || ac.simState == SimState::removingfromsim) return;
    if (lf_groundBeyondReach(ac, r) || lf_groundOutOfReach(ac, r) || lf_groundUnderClimbAway(ac, r) ||
        lf_airOutOfReach(ac, r) || lf_groundBeyondItsSink(ac, r))
        return;
    if (!gf_reportPossible(ac, r)) {
        if (lf_takeRefusedRepeatOfPlaceAhead(ac, r)) return gf_noteReportAltitude(ac, r.point);
        return gf_noteRefusedReport(ac, r);
    }
    const bool inPlaceOfGround = gf_dropRuledOutGround(ac, r);
    if (!inPlaceOfGround && !ac.stream.empty() && !lf_passesStreamFilters(ac, r)) {
        if (ac.stream.back().airborne) {
            lf_takePlaceCameEarly(ac, r);
            gf_noteReportAltitude(ac, r.point);
        }
        return;
    }
    if (ac.simState == SimState::buffer && lf_nearAirportElevation(r)) return;
    if (!lf_respawnCheck(ac, r)) return;
    // Taken into the stream's newest point, a repeat of a place that came
    // early is that point's report, as where the stream leaves it out: a
    // second point there would hold a helicopter hovering at the place.
    if (lf_takePlaceCameEarly(ac, r)) {
        gf_noteReportAltitude(ac, r.point);
        return;
    }
    StreamPoint point = r.point;
    lf_speedFromPositions(ac, r, point);
    lf_takeHeldPlaceEarlier(ac, r, point);
    lf_carryToPlaceAhead(ac, r, point);
    lf_rememberReport(ac, r);
    if (lf_placeLeftBehind(ac, r, point)) {
        gf_noteReportAltitude(ac, point);
        return;
    }
    decodeExisting(ac, point);
    gf_leaveGoneRunway(ac);
}

void lf_tryDecodeNew(FlightRecord r) {
    if (!r.registration.empty()) {
        if (const auto record = gf_lookupRegistration(r.registration); record && !record->type.empty()) {
            r.type = record->type;
        }
    }
    if (gf_isKnownAcType(r.type)) lf_decodeNew(r);
}

void lf_decodeNew(const FlightRecord& record) {
    if (!lf_categoryWanted(gf_acCategory(record.type))) return;
    if (lf_nearAirportElevation(record)) return;
    FlightRecord r = record;
    r.callsignCopy = r.callsign;
    r.spare.clear();
    AcBase base = gf_buildAircraftBase(r);
    base.coupledSearched = 0;
    base.hexid = r.hexid;
    const CategoryMotion& m = gf_categoryMotion(base.category);
    base.maxClimb = m.maxClimb_ft;
    base.slowGroundSpeed = m.slowGroundSpeed_kt;
    g_liveAc.emplace_back(r.point, base, r.feedTime);
    lf_rememberReport(g_liveAc.back(), r);
    gf_reportPossible(g_liveAc.back(), r);  // the first report is where later ones are judged from
    // A light aircraft's, glider's or helicopter's height, too, is the first
    // the heights after it are judged with: its reports come seconds apart,
    // and the run that began only with the next report taken into the
    // stream had none before that one, so a receiver's spike there was
    // flown. An airliner's first reports in the air are judged by the rates
    // of the ones after them.
    if (!gf_isAirliner(g_liveAc.back().category)) gf_smoothStreamAltitudes(g_liveAc.back());
}

void lf_takeCollectedIds() {
    CollectedIds ids = g_trafficReader.takeCollectedIds();
    g_collectedCallsigns = std::unordered_set<std::string>(ids.callsigns.begin(), ids.callsigns.end());
    g_collectedHexids = std::unordered_set<std::uint32_t>(ids.hexids.begin(), ids.hexids.end());
}
