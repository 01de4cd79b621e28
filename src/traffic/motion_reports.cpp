#include "traffic/motion_reports.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "core/geometry.h"
#include "traffic/air_motion.h"
#include "traffic/motion_common.h"
#include "traffic/stream_checks.h"

namespace {

// How fast any aircraft of the category can change its height: twice its
// usual best climb, at least what an airliner's emergency descent makes.
constexpr double kRateOverClimb = 2.0;
constexpr double kMinVerticalLimit_fpm = 6000.0;
constexpr double kFpmPerFtPerTick = 6000.0;
// Reports of one aircraft scatter by some hundred feet (the altimeter's
// steps, receivers that mix sources): such steps are the smoothing's to
// take out, not this judgment's.
constexpr double kAltitudeScatter_ft = 500.0;
// The ground and a report in the air: the field's pressure altitude may lie
// this far from the simulator's ground with a QNH off the local one.
constexpr double kGroundScatter_ft = 1500.0;
// Faster than its speeds say by this share, plus what a receiver that
// carried the aircraft on along its last track for some seconds has to make
// up: no aircraft flies that far. A receiver's wrong place lies kilometres
// off; a light aircraft whose reports come ten seconds and more apart
// reaches the next one early and flies on to a place that far, before the
// report after it can show it wrong.
constexpr double kSpeedShare = 1.5;
constexpr double kMinJudgedSpeed_kt = 100.0;
constexpr double kPositionScatter_nm = 1.5;
constexpr double kSilence_s = 30.0;
constexpr double kSilenceSpeedShare = 1.25;
constexpr double kSilencePlaceAhead_s = 10.0;
// A point lying off the median of the reports around it by more than this
// is a receiver's scatter; a real turn from a descent to a climb (a low
// pass) changes by less from one report to the next. A light aircraft,
// glider or helicopter turns from a climb to a descent within one report
// far apart from the next (the top of a thermal): for them the scatter
// grows with the time between the reports, the shorter gap on either side.
constexpr double kMedianScatter_ft = 75.0;
constexpr double kMedianScatter_ftPerTick = 0.25;  // 1,500 fpm
constexpr double kLevelLeave_ftPerTick = 0.25;  // 1,500 fpm
// A report between two that agree with each other is judged without the
// slack for a receiver's coasting (the two around it show where the
// aircraft was): no farther than its speeds say by the same share, give or
// take two places' scatter and a second of the feed's timing.
constexpr double kNeighbourSpeedShare = 1.5;
constexpr double kNeighbourScatter_nm = 0.1;
constexpr double kTimingSlack_s = 1.0;
// An aircraft's path bends away from the steady line between two places no
// faster than its steepest bank lets it turn (and it speeds up or slows
// down less than that): by half that acceleration times the seconds to
// either place, multiplied.
constexpr double kGravity_mps2 = 9.80665;
constexpr double kNmToMetres = 1852.0;
// Reports a second or two apart put a place some seconds off its time now
// and then (a receiver's clock), which the coasting slack covers; only a
// place this long after the one before is judged by the bent path.
constexpr double kBentPathFrom_s = 4.0;
// Tracks this close apart: the aircraft flew straight on between them.
constexpr double kStraightOn_deg = 20.0;
// Off the run of the reports around it by more than this many times their
// own scatter about it, a report is none of the run's.
constexpr double kRunScatters = 3.0;
// The reports on each side of one that its median takes in: two, and as
// many more up to five as lie within the longest run of a receiver's spikes
// (a few seconds); the run line takes in four or as many.
constexpr std::size_t kNearReports = 2;
constexpr std::size_t kSpikeRunReports = 5;
constexpr std::int32_t kSpikeRun_ticks = 600;
// A light aircraft's or glider's reports come 4-10 s apart: the same few
// spiked reports in a row span up to some twenty seconds.
constexpr std::int32_t kLightSpikeRun_ticks = 2000;
constexpr std::size_t kRunReach = 4;
// The reports on either side of one that tell where it was: within a
// receiver's run of spikes and a report more on each side of it.
constexpr std::int32_t kSidesSpan_ticks = 800;
// A transponder may jump to a height and hold that reading for ten seconds
// or more while its vertical rate and places go on as before: each report
// around carried along its own rate to a point's time agrees, within this,
// on where the aircraft was. A point farther than the held-step distance
// from the height most of them agree on is flown there; less than that is
// a level-off or a change of rate the rates catch up with late.
constexpr double kCarriedAgree_ft = 100.0;
constexpr double kHeldStep_ft = 250.0;
// The reports on either side of one that judge it by their agreement: a
// receiver's run of spikes and as many more, no more than ten seconds off
// (a rate carried that far errs by less than the agreement allows).
constexpr std::int32_t kAgreeSpan_ticks = 1000;
// An airliner's height goes on from the one it was flown at along the
// vertical rates its transponder reports, within the altimeter's steps and
// a rate that lags a level-off: this much, and this much more for each
// second since the report before (across a silence the rates' error
// grows; counted from the last report flown as reported, a run of spikes
// would widen it until the spikes fit). A report farther off is a receiver's
// spike while the reports off the line that way reach no further back than
// the reports a point is judged with (five, some seconds: a receiver's
// spikes last less); longer, the aircraft is there.
constexpr double kRateLine_ft = 250.0;
constexpr double kRateLine_ftPerS = 25.0;
// A vertical rate that says the aircraft climbs or descends, not holds a
// level: it moves some tens of feet between reports seconds apart.
constexpr double kSteadyRate_fpm = 500.0;
// A transponder may also hold one reading for some seconds, ahead of a
// climb or behind it, while its rates and places go on. A hold longer than
// this is a level the aircraft flew.
constexpr std::int32_t kHeldReading_ticks = 2000;
// Two receivers that read one airliner's height differently (their
// sources some hundred feet apart) may take turns: its reports then
// alternate between two families of readings, each agreeing with itself
// along the rates within five of the altimeter's steps, the two standing
// farther apart than the smoothing's scatter but no farther than a report
// may lie off its rate line (a larger gap is a receiver's spike, the rate
// line's to judge). Judged among the reports within kRunReach on each side
// and a few seconds, where the rates agree (a rate that lags a level-off
// carries the readings apart by itself), the families taking turns three
// times or more (one block after another is a step), and the larger one
// ahead by two reports or more: it is the aircraft's.
constexpr double kFamiliesApart_ft = 150.0;
constexpr double kFamilySpread_ft = 125.0;
constexpr std::int32_t kFamilySpan_ticks = 1000;
constexpr double kFamilyRates_fpm = 600.0;
constexpr int kFamilyTurns = 3;
constexpr std::size_t kFamilyLead = 2;
// A helicopter climbs or sinks no faster than this in cruise or hover
// (an EC135 climbs at some 1,500-2,000 fpm), give or take the altimeter's
// steps: a report farther from the last one flown as reported than that
// reaches in the time between is a receiver's spike, and the helicopter
// flies on from that report along its reported rate. The reach grows with
// the time since, so a real step is taken up once the reports have kept it
// long enough.
constexpr double kRotorVertical_ftPerS = 2500.0 / 60.0;
constexpr double kRotorStep_ft = 100.0;
// A light aircraft or glider climbs or sinks no faster than this for
// longer than a few seconds (a light twin's best climb; a glider's dive
// ends in seconds).
constexpr double kLightVertical_ftPerS = 1500.0 / 60.0;
// A light aircraft's or glider's reports that carry vertical rates: the
// nearest two on each side of a report within this time, each carried
// along the rates to its time, tell where the aircraft was when three or
// more of them, of both sides, agree while their rates keep together (a
// glider's swing with each thermal). The altimeter's steps and a rate that
// lags a change keep a true report within this of that height; a
// receiver's spikes lie 200 ft and more off it.
constexpr std::int32_t kLightCarried_ticks = 1200;
constexpr std::size_t kLightCarriedEachSide = 2;
constexpr double kLightRuledOut_ft = 150.0;
// A light aircraft's reports without vertical rates: a reading off the
// path the reports on each side of it agree on by more than one and a half
// of the coarsest altimeter steps (some feeds report in 100 ft; a level-off
// overshoots by one) is a receiver's; runs of up to three such readings,
// their neighbours no more than 40 s apart (reports ten seconds apart).
constexpr double kOffSmoothPath_ft = 150.0;
constexpr double kAltimeterStep_ft = 25.0;
// Across a longer gap the path bends from the straight line (a climb's rate
// changes): a reading off it counts as one only this much farther for each
// second beyond.
constexpr double kStraightGap_s = 20.0;
constexpr double kPathBend_ftPerS = 2.0;
constexpr std::size_t kSmoothPathRun = 3;
constexpr std::int32_t kSmoothPathSpan_ticks = 4000;
// A level flown by hand keeps within two of the altimeter's steps.
constexpr double kLevelHeld_ft = 50.0;
// Where the feed gives vertical rates, a light aircraft's, glider's or
// helicopter's rate between two reports keeps within the rates both show,
// give or take this much, and beyond that no farther than its rate changes
// in half the time between and back (a glider circling through a thermal
// climbs and sinks within a circle of twenty seconds): a receiver's spike
// keeps its report's own rate, and getting there would take a climb or
// sink that neither report shows.
constexpr double kRateSwing_ftPerS = 500.0 / 60.0;
constexpr double kRateChange_ftPerS2 = 1.0;
// A run of a receiver's spikes off a level is judged against the level's
// reports this many reports before and after it.
constexpr std::size_t kLevelBackReports = 3;
// A place ahead of the time its speed reaches it from the report before,
// a few seconds back. Within a second and a half it is the positions' own
// scatter: a receiver updates latitude and longitude apart, and one of them
// may run that far ahead of the other. Beyond a few seconds it is a wrong
// place, the judgment's to take.
constexpr double kPlaceAheadOfLast_s = 4.0;
constexpr double kPlaceAheadFrom_s = 1.5;
constexpr double kPlaceAheadUpTo_s = 4.0;
constexpr double kSamePosition_deg = 1e-8;
constexpr double kMovingAir_kt = 60.0;
constexpr double kStale_s = 3.0;
constexpr double kStaleShare = 0.25;
constexpr double kHalfTurn_rad = kFullTurnRad / 2.0;

// Ground points between reports in the air: a receiver whose spike takes
// a low approach's height below zero sends the ground. The aircraft was in
// the air there when the reports in the air before them, each carried
// along its own vertical rate, meet the report after them (the median of
// the last few, within this) well above the ground, and no more than a
// receiver's run of spikes and a poll's thinning lie between: no airliner
// comes down to its wheels and back up that fast, and a touch-and-go climbs
// away from the ground, far off the descent carried on.
constexpr std::int32_t kGroundSpikeSpan_ticks = 2000;
constexpr std::int32_t kCarriedFrom_ticks = 3000;
constexpr std::size_t kCarriedReports = 5;
constexpr double kGroundSpikeAgree_ft = 150.0;
constexpr double kClearOfGround_ft = 100.0;

using Report = HeldReport;

// The simulator's ground under the aircraft; none before it is known.
bool lf_groundUnder(const LiveAc& ac, double& ground_ft) {
    const MotionFields& f = ac.motion.more;
    if (f.simGroundKnown) {
        ground_ft = f.simGround_ft;
        return true;
    }
    if (ac.simState != SimState::active) return false;
    ground_ft = ac.pos.alt - ac.heightAboveGround;
    return true;
}

bool lf_samePosition(const Report& a, const Report& b) {
    return std::fabs(a.lat - b.lat) < kSamePosition_deg && std::fabs(a.lon - b.lon) < kSamePosition_deg;
}

// How far a report's altitude may lie off the run of the reports around it
// (spaced so many ticks apart) before it counts as a receiver's scatter.
double lf_altitudeScatter(const LiveAc& ac, double spacing_ticks) {
    return gf_isAirliner(ac.category) ? kMedianScatter_ft
                                      : std::max(kMedianScatter_ft, kMedianScatter_ftPerTick * spacing_ticks);
}

// How far an aircraft gets across a silence of the feed: at the faster of
// the speeds reported on either side of it (at least the judged floor),
// plus a quarter for the wind it turns into or out of, over the silence
// and the seconds a receiver may send a place ahead. Over seconds the
// slack for a receiver's coasting rules; across half a minute and more it
// would let a wrong place kilometres off pass for the aircraft's way.
double lf_silenceReach_nm(const Report& from, const Report& to, double dt_s) {
    const double speed_kt = std::max({from.gs, to.gs, kMinJudgedSpeed_kt}) * kSilenceSpeedShare;
    return speed_kt * (dt_s + kSilencePlaceAhead_s) / 3600.0 + kNeighbourScatter_nm;
}

bool lf_follows(const LiveAc& ac, const Report& from, const Report& to) {
    const double dt_s = std::max(to.t_s - from.t_s, 0.0);
    const double speed_kt = std::max({from.gs, to.gs, kMinJudgedSpeed_kt}) * kSpeedShare;
    const double moved_nm = gf_distanceNm(LatLon{from.lat, from.lon}, LatLon{to.lat, to.lon});
    if (moved_nm > speed_kt * dt_s / 3600.0 + kPositionScatter_nm) return false;
    if (dt_s >= kSilence_s && moved_nm > lf_silenceReach_nm(from, to, dt_s)) return false;
    // Fast in the air and still where it was seconds ago: a receiver
    // repeating a position it no longer sees. Only the very same position
    // tells that of every aircraft: a turning one comes back near where it
    // was once it has turned more than half a circle (across a gap of the
    // receiver), and a light aircraft, glider or helicopter circles within
    // seconds (a thermal) while its reported ground speed swings with the
    // wind, so a place near the last one is stale only for an airliner
    // within half a turn.
    const double slower_kt = std::min(from.gs, to.gs);
    const double turned_rad = gf_categoryMotion(ac.category).turnRate_rad * kTicksPerSecond * dt_s;
    const bool airliner = gf_isAirliner(ac.category);
    const bool stale = lf_samePosition(from, to) || (airliner && turned_rad <= kHalfTurn_rad);
    if (from.airborne && to.airborne && slower_kt >= kMovingAir_kt && dt_s >= kStale_s && stale &&
        moved_nm < kStaleShare * slower_kt * dt_s / 3600.0)
        return false;
    const double climb_fpm = gf_categoryMotion(ac.category).maxClimb_ft * kFpmPerFtPerTick;
    const double vertical_ft = std::max(kRateOverClimb * climb_fpm, kMinVerticalLimit_fpm) * dt_s / 60.0;
    if (from.airborne && to.airborne) return std::fabs(to.alt - from.alt) <= vertical_ft + kAltitudeScatter_ft;
    if (from.airborne == to.airborne) return true;
    double ground_ft = 0.0;
    if (!lf_groundUnder(ac, ground_ft)) return true;
    const double air_ft = from.airborne ? from.alt : to.alt;
    return air_ft - ground_ft <= vertical_ft + kGroundScatter_ft;
}

// Within reach of each other at the given speed, without the coasting
// slack.
bool lf_withinReach(const Report& from, const Report& to, double speed_kt) {
    const double dt_s = std::fabs(to.t_s - from.t_s) + kTimingSlack_s;
    const double moved_nm = gf_distanceNm(LatLon{from.lat, from.lon}, LatLon{to.lat, to.lon});
    return moved_nm <= speed_kt * dt_s / 3600.0 + kNeighbourScatter_nm;
}

// The place the steady line from earlier to now gives at the middle
// report's time.
LatLon lf_placeOnLine(const Report& earlier, const Report& middle, const Report& now) {
    const double share = (middle.t_s - earlier.t_s) / (now.t_s - earlier.t_s);
    double dLon = now.lon - earlier.lon;
    if (dLon > 180.0) dLon -= 360.0;
    if (dLon < -180.0) dLon += 360.0;
    LatLon p{earlier.lat + share * (now.lat - earlier.lat), earlier.lon + share * dLon};
    if (p.lon > 180.0) p.lon -= 360.0;
    if (p.lon <= -180.0) p.lon += 360.0;
    return p;
}

// Whether the middle report lies farther from the one before than its
// reported speeds carry it, and off the steady line between the two around
// it by more than any turn the aircraft can fly bends its path, give or
// take two places' scatter and a second of the feed's timing: a place sent
// seconds ahead between reports seconds apart (each leg short of a dash).
// A true place before a stale one lies off that line too, but no farther
// from the one before than the aircraft flies.
bool lf_offBentPath(const LiveAc& ac, const Report& earlier, const Report& middle, const Report& now) {
    const double speed_kt = std::max({earlier.gs, middle.gs, now.gs});
    if (middle.t_s - earlier.t_s < kBentPathFrom_s) return false;
    if (!(speed_kt > 0.0) || lf_withinReach(earlier, middle, speed_kt)) return false;
    const double bend_mps2 = kGravity_mps2 * std::tan(gf_categoryMotion(ac.category).maxBank_rad);
    const double bend_m = bend_mps2 * (middle.t_s - earlier.t_s) * (now.t_s - middle.t_s) / 2.0;
    const double speed_mps = speed_kt * kNmToMetres / 3600.0;
    const double off_m = gf_distanceNm(lf_placeOnLine(earlier, middle, now), LatLon{middle.lat, middle.lon}) * kNmToMetres;
    return off_m > bend_m + kNeighbourScatter_nm * kNmToMetres + speed_mps * kTimingSlack_s;
}

// Whether the middle report lies where the aircraft cannot get on from to
// the next one in the time between, while the two around it agree with
// each other at their reported speeds without the share on top: a place
// seconds old that a receiver sends late, after a silence or between
// reports ten seconds apart. It lies no farther from the one before than
// the aircraft flies; the leg from it to the next would ask for a dash.
// Reports a second or two apart put a place some seconds off its time now
// and then, which the coasting slack covers.
bool lf_shortOfNext(const Report& earlier, const Report& middle, const Report& now) {
    if (now.t_s - middle.t_s < kBentPathFrom_s) return false;
    const double speed_kt = std::max({earlier.gs, now.gs, kMinJudgedSpeed_kt});
    return lf_withinReach(earlier, now, speed_kt) && !lf_withinReach(middle, now, speed_kt * kNeighbourSpeedShare);
}

// How far along the way from earlier to now the middle report's place
// lies, as a share of that way (0 at earlier, 1 at now).
double lf_shareAlong(const Report& earlier, const Report& middle, const Report& now) {
    const double east = std::cos(earlier.lat * kDegToRad);
    double wayLon = now.lon - earlier.lon, midLon = middle.lon - earlier.lon;
    if (wayLon > 180.0) wayLon -= 360.0;
    if (wayLon < -180.0) wayLon += 360.0;
    if (midLon > 180.0) midLon -= 360.0;
    if (midLon < -180.0) midLon += 360.0;
    const double wx = wayLon * east, wy = now.lat - earlier.lat, mx = midLon * east, my = middle.lat - earlier.lat;
    const double len2 = wx * wx + wy * wy;
    return len2 > 0.0 ? std::clamp((mx * wx + my * wy) / len2, 0.0, 1.0) : 0.0;
}

// Whether the middle report's height is of the moment its place is of: on
// the line between the two around it there, within the altimeter's steps,
// and off that line at its own time (a receiver's old report, height and
// all, sent with a fresh time).
bool lf_heightOfItsPlace(const Report& earlier, const Report& middle, const Report& now) {
    const double share = (middle.t_s - earlier.t_s) / (now.t_s - earlier.t_s);
    const double line_ft = earlier.alt + share * (now.alt - earlier.alt);
    const double placed_ft = earlier.alt + lf_shareAlong(earlier, middle, now) * (now.alt - earlier.alt);
    return std::fabs(middle.alt - placed_ft) <= kMedianScatter_ft && std::fabs(middle.alt - line_ft) > kMedianScatter_ft;
}

// Whether a light aircraft's middle report lies where it cannot be at its
// time on the way between the two around it, which agree with each other
// at their very speeds: farther from the one before than its speeds carry
// it since (a receiver's place of some seconds ahead), or farther from the
// one after than they carry it on to that, with the height of the moment
// its place is of (a receiver's old report sent with a fresh time), give
// or take two places' scatter and a second of the feed's timing. A turn
// only shortens the way between two places; no light aircraft flies a leg
// of seconds faster than its reports around say. Judged where the reports
// lie seconds apart, the aircraft moves too fast for the wind to bend its
// way much, and it flies straight on (the tracks of the two around agree:
// across a turn the line between them, where the report would be flown,
// cuts the corner). (A place behind its time whose height is of its own
// time is left as it comes: which of the two is the aircraft's, no report
// tells.)
bool lf_offItsTime(const LiveAc& ac, const Report& earlier, const Report& middle, const Report& now) {
    if (ac.category != AcCategory::Light) return false;
    if (middle.t_s - earlier.t_s < kBentPathFrom_s || now.t_s - middle.t_s < kBentPathFrom_s) return false;
    if (std::min({earlier.gs, middle.gs, now.gs}) < kMovingAir_kt) return false;
    // A report without a track reads as due north: then nothing tells.
    if (earlier.track_deg == 0.0 || now.track_deg == 0.0 ||
        std::fabs(std::fmod(now.track_deg - earlier.track_deg + 540.0, 360.0) - 180.0) > kStraightOn_deg)
        return false;
    const double speed_kt = std::max({earlier.gs, middle.gs, now.gs});
    return lf_withinReach(earlier, now, speed_kt) &&
           (!lf_withinReach(earlier, middle, speed_kt) ||
            (!lf_withinReach(middle, now, speed_kt) && lf_heightOfItsPlace(earlier, middle, now)));
}

// The report between earlier and now that they rule out: both agree with
// each other, and it lies where the aircraft cannot have got since the one
// before (a receiver's place sent seconds ahead, or aside), or cannot get
// on from to the next while the two agree at their very speeds. One that
// only cannot reach the next stays otherwise: the next may be the wrong
// one, and the one after it tells. Only in the air: a place on the ground
// is the ground moves' to judge.
bool lf_ruledOut(const LiveAc& ac, const Report& earlier, const Report& middle, const Report& now) {
    if (!earlier.airborne || !middle.airborne || !now.airborne) return false;
    if (!(earlier.t_s < middle.t_s && middle.t_s < now.t_s)) return false;
    const double speed_kt = std::max({earlier.gs, now.gs, kMinJudgedSpeed_kt}) * kNeighbourSpeedShare;
    return lf_withinReach(earlier, now, speed_kt) && lf_follows(ac, earlier, now) &&
           (!lf_withinReach(earlier, middle, speed_kt) || lf_offBentPath(ac, earlier, middle, now) ||
            lf_shortOfNext(earlier, middle, now) || lf_offItsTime(ac, earlier, middle, now));
}

// A report whose place lies behind the last one along the last one's track,
// while the aircraft cannot have turned half a circle since: moving on a
// curve no sharper than it can fly, an aircraft gets no farther back along
// the track it had than a receiver's scatter (and some wind) until it has
// turned more than half a circle. Such a place is where the aircraft was
// seconds before: a receiver that sent an old report with a fresh time.
// Judged only when the last report itself follows the one before it at its
// speeds: a last place sent ahead makes the next, true one look behind it,
// and that is the ruled-out-middle-report rule's to mend.
bool lf_behindLast(const LiveAc& ac, const Report& earlier, const Report& last, const Report& now) {
    if (!earlier.airborne || !last.airborne || !now.airborne) return false;
    if (std::min(last.gs, now.gs) < kMovingAir_kt) return false;
    const double dt_s = now.t_s - last.t_s;
    if (gf_categoryMotion(ac.category).turnRate_rad * kTicksPerSecond * dt_s > kHalfTurn_rad) return false;
    const double speed_kt = std::max({earlier.gs, last.gs, kMinJudgedSpeed_kt}) * kNeighbourSpeedShare;
    if (!(earlier.t_s < last.t_s) || !lf_withinReach(earlier, last, speed_kt)) return false;
    const double moved_nm = gf_distanceNm(LatLon{last.lat, last.lon}, LatLon{now.lat, now.lon});
    if (moved_nm <= kNeighbourScatter_nm) return false;
    // Behind along the reported track, and along the way from the report
    // before where that is long enough to show one. A report without a
    // track reads as due north: then only the way tells.
    const LatLon from{earlier.lat, earlier.lon}, at{last.lat, last.lon};
    const double bearing_rad = gf_initialBearing(at, LatLon{now.lat, now.lon});
    const bool trackKnown = last.track_deg != 0.0;
    if (trackKnown && moved_nm * std::cos(bearing_rad - last.track_deg * kDegToRad) >= -kNeighbourScatter_nm)
        return false;
    if (gf_distanceNm(from, at) <= kNeighbourScatter_nm) return trackKnown;
    return moved_nm * std::cos(bearing_rad - gf_initialBearing(from, at)) < -kNeighbourScatter_nm;
}

// Whether a report lies behind an earlier one along that one's track by
// more than a receiver's scatter, while the aircraft cannot have turned
// half a circle since: it was there before that report, not after.
bool lf_behindOf(const LiveAc& ac, const Report& from, const Report& now) {
    if (!from.airborne || !now.airborne || std::min(from.gs, now.gs) < kMovingAir_kt || from.track_deg == 0.0)
        return false;
    const double dt_s = now.t_s - from.t_s;
    if (!(dt_s > 0.0) || gf_categoryMotion(ac.category).turnRate_rad * kTicksPerSecond * dt_s > kHalfTurn_rad)
        return false;
    const LatLon at{from.lat, from.lon}, to{now.lat, now.lon};
    const double moved_nm = gf_distanceNm(at, to);
    return moved_nm > kNeighbourScatter_nm &&
           moved_nm * std::cos(gf_initialBearing(at, to) - from.track_deg * kDegToRad) < -kNeighbourScatter_nm;
}

// A report ruled out after it was put into the stream is mended while it
// is still ahead: flown to, it would make the aircraft dash there and wait
// for the next report. Its place becomes the one the reports on either
// side give for its time. Its altitude stays where it lies on their line
// within a receiver's scatter (a low pass keeps its lowest report); one
// off it came from the same wrong moment (a report sent seconds ahead
// carries the altitude of then) and takes their line's too, also as the
// altitude the smoothing judges the others by; so does one whose height is
// of the moment its place is of (an old report: kept, a climb would level
// off at it and catch up faster than a light aircraft climbs). The front
// point is being flown to and stays.
void lf_placeBetween(LiveAc& ac, const Report& earlier, const Report& middle, const Report& now) {
    MotionFields& f = ac.motion.more;
    for (std::size_t i = ac.stream.size(); i-- > 1;) {
        StreamPoint& p = ac.stream[i];
        if (!p.airborne || std::fabs(p.lat - middle.lat) >= kSamePosition_deg ||
            std::fabs(p.lon - middle.lon) >= kSamePosition_deg)
            continue;
        const double share = (middle.t_s - earlier.t_s) / (now.t_s - earlier.t_s);
        const LatLon line = lf_placeOnLine(earlier, middle, now);
        p.lat = line.lat;
        p.lon = line.lon;
        const double line_ft = earlier.alt + share * (now.alt - earlier.alt);
        if (!lf_heightOfItsPlace(earlier, middle, now) &&
            std::fabs(p.alt - line_ft) <= lf_altitudeScatter(ac, (now.t_s - earlier.t_s) * kTicksPerSecond / 2.0))
            return;
        for (std::size_t j = 0; j < f.recentCount; ++j)
            if (f.recentDue[j] == p.time) f.recentAlt_ft[j] = line_ft;
        p.alt = line_ft;
        return;
    }
}

void lf_take(MotionFields& f, const Report& r) {
    f.reportKnown = true;
    f.report = r;
}

double lf_median(decltype(MotionFields::recentAlt_ft) v, std::size_t first, std::size_t count) {
    auto begin = v.begin() + static_cast<std::ptrdiff_t>(first);
    auto mid = begin + static_cast<std::ptrdiff_t>(count / 2);
    std::nth_element(begin, mid, begin + static_cast<std::ptrdiff_t>(count));
    return *mid;
}

// Where an airliner's last report is judged from when it lies off the
// line its rates carry the report before it along (defined with the run).
bool lf_lastOffRateLine(const LiveAc& ac, const Report& last, double& line_ft);

}  // namespace

bool gf_reportPossible(LiveAc& ac, const FlightRecord& record) {
    MotionFields& f = ac.motion.more;
    const StreamPoint& p = record.point;
    const Report now{p.airborne, record.feedTime, p.lat, p.lon, p.alt, p.gs, p.track};
    if (!f.reportKnown) {
        lf_take(f, now);
        return true;
    }
    // A receiver that lost the aircraft repeats the place of a report
    // refused before too, with new times and heights: an aircraft moving on
    // in the air is nowhere near that very place seconds or a silence later
    // (flown there after a silence, it turned back kilometres to a place it
    // had passed long ago).
    if (f.refusedKnown && lf_samePosition(now, f.refused) && now.airborne && f.refused.airborne &&
        now.t_s - f.refused.t_s >= kStale_s && std::min(f.report.gs, now.gs) >= kMovingAir_kt)
        return false;
    const Report last = f.report;
    // An airliner's last report off the line its rates carry the one before
    // along is a receiver's spike: judged from its height, the true report
    // after it would be refused as a climb or sink no aircraft makes, and
    // the spike's place flown in its stead. It is judged from the line too,
    // and stays the earlier one at the line's height.
    Report lastAsFlown = last;
    const bool offLine = lf_lastOffRateLine(ac, last, lastAsFlown.alt);
    const auto follows = [&] { return lf_follows(ac, last, now) || (offLine && lf_follows(ac, lastAsFlown, now)); };
    // A receiver that lost the aircraft repeats its last position with new
    // times and whatever altitude: such a report tells nothing of where the
    // aircraft is (the stream's checks refuse it in the air), and the time
    // since the aircraft really was there keeps running. The feed handing
    // the very same report on until the next comes holds no place: that
    // report's place stays its own.
    if (lf_samePosition(now, last)) {
        if (now.t_s > last.t_s) f.report.placeHeld = true;
        return follows();
    }
    // Older or repeated times are the intake's to refuse.
    if (now.t_s <= last.t_s) return true;
    const Report earlier = f.earlier;
    // A report that lies behind even the report before the last one is no
    // judge of the last: it is a receiver's old place sent with a fresh
    // time, and the last one, however far ahead of it, stays.
    const bool lastRuledOut =
        f.earlierKnown && lf_ruledOut(ac, earlier, last, now) && !lf_behindOf(ac, earlier, now);
    if (!lastRuledOut && f.earlierKnown && lf_behindLast(ac, earlier, last, now)) return false;
    if (lastRuledOut || follows()) {
        // A report ruled out by this one is no place to judge from: the
        // one before it stays the earlier one.
        if (lastRuledOut) {
            lf_placeBetween(ac, earlier, last, now);
        } else {
            f.earlierKnown = true;
            f.earlier = lastAsFlown;
        }
        lf_take(f, now);
        return true;
    }
    // Refused reports leave the judgment where it was: an aircraft whose
    // reports stay impossible runs out of stream and is made again from
    // them.
    return false;
}

namespace {

// Whether a report at this altitude repeats the one last put into the run:
// the feed hands the latest report on until the next comes. The report
// judged possible last keeps its time then; so it does for a receiver that
// repeats its place with a new altitude, which is a new report.
bool lf_repeatedReport(const MotionFields& f, double alt_ft) {
    return f.recentCount > 0 && f.reportKnown && f.report.t_s == f.recentReportT_s &&
           alt_ft == f.recentAlt_ft[f.recentCount - 1];
}

// Takes one more airborne report into the run of recent heights and flies
// each stream point of the run at what the reports around it give.
// The height most of the reports from lo to hi agree on at report j's
// time, each carried along its own vertical rate (the ones before j from
// where they are flown); unset unless all of them carry a rate.
bool lf_rateCarriedHeight(const MotionFields& f, std::size_t lo, std::size_t hi, std::size_t j, double& agreed_ft) {
    std::array<double, 11> carried{};
    std::size_t m = 0;
    for (std::size_t i = lo; i <= hi; ++i) {
        // A feed without the rate sends none (0): carried flat, a climb's
        // reports would agree on where it was seconds ago.
        if (!(std::fabs(f.recentRate_fpm[i]) > 0.0)) return false;
        // Carried over a silence, a rate's small error grows past a step.
        if (std::abs(f.recentDue[j] - f.recentDue[i]) > kSpikeRun_ticks) continue;
        const double from = i < j ? f.recentFlown_ft[i] : f.recentAlt_ft[i];
        carried[m++] = from + f.recentRate_fpm[i] / 60.0 * static_cast<double>(f.recentDue[j] - f.recentDue[i]) /
                                  kTicksPerSecond;
    }
    // Each carried height with how many agree with it; the agreed height
    // is the mean of the best supported, held only when it outnumbers
    // every height apart from it and three or more agree.
    std::array<std::size_t, 11> support{};
    std::array<double, 11> mean{};
    std::size_t best = 0;
    for (std::size_t a = 0; a < m; ++a) {
        double sum = 0.0;
        for (std::size_t b = 0; b < m; ++b)
            if (std::fabs(carried[b] - carried[a]) <= kCarriedAgree_ft) {
                sum += carried[b];
                ++support[a];
            }
        mean[a] = sum / static_cast<double>(support[a]);
        if (support[a] > support[best]) best = a;
    }
    if (m == 0 || support[best] < 3) return false;
    for (std::size_t a = 0; a < m; ++a)
        if (std::fabs(carried[a] - mean[best]) > 2.0 * kCarriedAgree_ft && support[a] >= support[best]) return false;
    agreed_ft = mean[best];
    return true;
}

// Whether the reports carry vertical rates: a feed without them sends 0
// for every report, one with them 0 only in level flight (a run all of a
// level's reports still has them once the feed has sent one).
bool lf_ratesKnown(const MotionFields& f) {
    if (f.ratesSeen) return true;
    for (std::size_t i = 0; i < f.recentCount; ++i)
        if (std::fabs(f.recentRate_fpm[i]) > 0.0) return true;
    return false;
}

// Whether report j lies off both reports beside it (the one before as
// flown) by more than the scatter, the other way from where its own rate
// and theirs all take the aircraft: below them in a climb, above them in a
// descent; with the height on the line between the two at its time.
bool lf_againstTheRates(const MotionFields& f, std::size_t j, double scatter_ft, double& beside_ft) {
    double way = 0.0;
    for (std::size_t k = j - 1; k <= j + 1; ++k) {
        const double rate = f.recentRate_fpm[k];
        if (std::fabs(rate) < kSteadyRate_fpm || way * rate < 0.0) return false;
        way = rate > 0.0 ? 1.0 : -1.0;
    }
    const double own = f.recentAlt_ft[j], before = f.recentFlown_ft[j - 1], after = f.recentAlt_ft[j + 1];
    const double share = static_cast<double>(f.recentDue[j] - f.recentDue[j - 1]) /
                         static_cast<double>(std::max(f.recentDue[j + 1] - f.recentDue[j - 1], 1));
    beside_ft = before + share * (after - before);
    return way * (before - own) > scatter_ft && way * (after - own) > scatter_ft;
}

// A height at report i's time carried to report k's along the mean of
// their rates.
double lf_carriedAlong(const MotionFields& f, std::size_t i, double from_ft, std::size_t k) {
    const double minutes = static_cast<double>(f.recentDue[k] - f.recentDue[i]) / kTicksPerSecond / 60.0;
    return from_ft + (f.recentRate_fpm[i] + f.recentRate_fpm[k]) / 2.0 * minutes;
}

// Where most of the reports around report j agree it was: each, as
// reported, carried along the mean of its rate and j's to j's time. A
// receiver's spikes stand off the aircraft's reports by hundreds of feet,
// each run by its own amount, so they agree neither with those reports nor
// with another run. Judged from where the rules flew the reports before
// it, a report is pulled by every spike they took for the aircraft; judged
// from the reports as sent, it is not. Held only where three or more
// agree, more than half of the reports around.
bool lf_mostAgree(const MotionFields& f, std::size_t n, std::size_t j, double& agreed_ft, bool& among) {
    // A reading repeated while the rates move the aircraft on is its
    // transponder holding it: no height of its own to carry, and the held
    // report is the held-reading rule's to fly.
    const auto holds = [&](std::size_t i) {
        const auto same = [&](std::size_t a, std::size_t b) {
            return f.recentAlt_ft[a] == f.recentAlt_ft[b] &&
                   std::fabs(f.recentRate_fpm[a] + f.recentRate_fpm[b]) / 2.0 >= kSteadyRate_fpm;
        };
        return (i > 0 && same(i - 1, i)) || (i + 1 < n && same(i, i + 1));
    };
    if (holds(j)) return false;
    std::array<double, 11> carried{};
    std::array<std::int32_t, 11> due{};
    std::size_t m = 0, own = 0;
    for (std::size_t i = j - std::min(j, kSpikeRunReports); i < n && i <= j + kSpikeRunReports; ++i)
        if (std::abs(f.recentDue[j] - f.recentDue[i]) <= kAgreeSpan_ticks && !holds(i)) {
            if (i == j) own = m;
            due[m] = f.recentDue[i];
            carried[m++] = lf_carriedAlong(f, i, f.recentAlt_ft[i], j);
        }
    std::size_t support = 0;
    for (std::size_t a = 0; a < m; ++a) {
        double sum = 0.0;
        std::size_t agree = 0;
        std::int32_t from = due[a], to = due[a];
        for (std::size_t b = 0; b < m; ++b)
            if (std::fabs(carried[b] - carried[a]) <= kCarriedAgree_ft / 2.0) {
                sum += carried[b];
                ++agree;
                from = std::min(from, due[b]);
                to = std::max(to, due[b]);
            }
        // Reports that agree over longer than a receiver's run of spikes
        // lasts are the aircraft's.
        if (agree > support && to - from > kSpikeRun_ticks) {
            support = agree;
            agreed_ft = sum / static_cast<double>(agree);
            among = std::fabs(carried[own] - carried[a]) <= kCarriedAgree_ft / 2.0;
        }
    }
    return support >= 3 && 2 * support > m;
}

// Whether report j lies back below the report before it in a climb (above
// it in a descent) and under both reports beside it carried to its time
// along the rates by more than the scatter, where the two agree on that
// height: a receiver that mixes in readings of some seconds before puts
// one a hundred feet or so behind a steep climb, within the scatter of the
// report before it. Beside it after: the first report a receiver's run of
// spikes later that was flown as reported (the ones between, moved, were
// of the run). A true report that only lags readings a transponder held
// ahead of the climb still lies above the one before it. With the height
// the two agree on.
bool lf_behindTheRates(const MotionFields& f, std::size_t n, std::size_t j, double scatter_ft, double& beside_ft) {
    std::size_t after = j + 1;
    while (after < n && f.recentFlown_ft[after] != f.recentAlt_ft[after]) ++after;
    if (after >= n || f.recentDue[after] - f.recentDue[j] > kSpikeRun_ticks) return false;
    double way = 0.0;
    for (const std::size_t k : {j - 1, j, after}) {
        const double rate = f.recentRate_fpm[k];
        if (std::fabs(rate) < kSteadyRate_fpm || way * rate < 0.0) return false;
        way = rate > 0.0 ? 1.0 : -1.0;
    }
    const double own = f.recentAlt_ft[j];
    const double fromBefore = lf_carriedAlong(f, j - 1, f.recentFlown_ft[j - 1], j);
    const double fromAfter = lf_carriedAlong(f, after, f.recentAlt_ft[after], j);
    beside_ft = (fromBefore + fromAfter) / 2.0;
    return way * (f.recentFlown_ft[j - 1] - own) > 0.0 && std::fabs(fromBefore - fromAfter) <= kCarriedAgree_ft &&
           way * (fromBefore - own) > scatter_ft && way * (fromAfter - own) > scatter_ft;
}

// Report i flown on its rate line, away from its own height: a spike.
bool lf_flownOffLine(const MotionFields& f, std::size_t i) {
    return std::fabs(f.recentAlt_ft[i] - f.recentFlown_ft[i]) > kRateLine_ft;
}

// Report j's rate line: the height of the report before it as flown,
// carried along their rates; and how far off it report j may lie.
struct RateLine {
    double alt_ft = 0.0;
    double within_ft = 0.0;
};

RateLine lf_rateLine(const MotionFields& f, std::size_t j) {
    const double carried_s = static_cast<double>(f.recentDue[j] - f.recentDue[j - 1]) / kTicksPerSecond;
    return {lf_carriedAlong(f, j - 1, f.recentFlown_ft[j - 1], j), kRateLine_ft + kRateLine_ftPerS * carried_s};
}

bool lf_lastOffRateLine(const LiveAc& ac, const Report& last, double& line_ft) {
    const MotionFields& f = ac.motion.more;
    if (!f.reportKnown) return false;
    const std::size_t n = f.recentCount;
    // Only while the run's newest report is the last one judged possible,
    // and both it and the one before carry a rate.
    if (!gf_isAirliner(ac.category) || n < 2 || f.recentReportT_s != last.t_s ||
        !(std::fabs(f.recentRate_fpm[n - 1]) > 0.0) || !(std::fabs(f.recentRate_fpm[n - 2]) > 0.0))
        return false;
    // The report as sent: the run may fly it elsewhere already (at the
    // place it was sent ahead of).
    const RateLine line = lf_rateLine(f, n - 1);
    if (std::fabs(last.alt - line.alt_ft) <= line.within_ft) return false;
    line_ft = line.alt_ft;
    return true;
}

// Whether a point's place lies ahead of the time its speed reaches it from
// the run's newest report; reached_s: the seconds its speed takes there,
// height_ft: the height that report, as the run flies it (on its rate line
// where it lies off it), and their rates give there.
bool lf_placeAheadOfLast(const LiveAc& ac, const StreamPoint& point, double feedTime, double& reached_s,
                         double& height_ft) {
    const MotionFields& f = ac.motion.more;
    const std::size_t n = f.recentCount;
    // The run's newest report is the one judged possible before this one,
    // at a place of its own (a place the receiver held judges nothing), and
    // both carry a rate.
    if (n == 0 || !f.earlierKnown || f.recentReportT_s != f.earlier.t_s || f.earlier.placeHeld ||
        !(std::fabs(f.recentRate_fpm[n - 1]) > 0.0) || !(std::fabs(point.vrate) > 0.0))
        return false;
    // The due times of a poll's reports lie around its median: a report
    // older than the others is due with them.
    const double between_s =
        std::max(static_cast<double>(point.time - f.recentDue[n - 1]) / kTicksPerSecond, feedTime - f.earlier.t_s);
    const double nmPerS = std::max(f.earlier.gs, point.gs) / 3600.0;
    if (!(between_s > 0.0) || between_s > kPlaceAheadOfLast_s || !(nmPerS > 0.0)) return false;
    reached_s = gf_distanceNm(f.recentPlace[n - 1], LatLon{point.lat, point.lon}) / nmPerS;
    const double ahead_s = reached_s - between_s;
    if (ahead_s < kPlaceAheadFrom_s || ahead_s > kPlaceAheadUpTo_s) return false;
    height_ft = f.recentAlt_ft[n - 1];
    if (n >= 2 && std::fabs(f.recentRate_fpm[n - 2]) > 0.0) {
        const RateLine line = lf_rateLine(f, n - 1);
        if (std::fabs(height_ft - line.alt_ft) > line.within_ft) height_ft = line.alt_ft;
    }
    height_ft += (f.recentRate_fpm[n - 1] + point.vrate) / 2.0 / 60.0 * reached_s;
    return true;
}

// Whether report j, off its rate line, is one of a run of spikes: the
// reports before it flown off their own heights the same way began after
// the oldest report held.
bool lf_spikeOffLine(const MotionFields& f, std::size_t j, const RateLine& line) {
    const double off = f.recentAlt_ft[j] - line.alt_ft;
    std::size_t first = j;
    while (first > 0 && lf_flownOffLine(f, first - 1) && (f.recentAlt_ft[first - 1] - f.recentFlown_ft[first - 1]) * off > 0.0)
        --first;
    // Off since before the oldest report held: longer than any spike.
    return first > 0;
}

// Where report j, one of two or more reports in a row holding the same
// reading, is flown when the reports on each side of that hold agree with
// each other along their rates: on the line between them, at its time. The
// aircraft climbed or sank between them as they and their rates say; a
// held reading off that line by more than the smoothing's scatter is none
// of its heights, and a held report whose place, too, lies off the way
// between them (a receiver that sent a report of a later moment and then
// coasted on it) is none of its places. Only a hold that began with a step
// farther than an airliner's reports step from one to the next (the rate
// line's allowance), or farther than the aircraft climbs or sinks at its
// best in the time of the step, give or take the smoothing's scatter (a
// reading two seconds ahead of a fast climb stays within the allowance): a
// smaller one is the altimeter's, within what a pilot beside it sees.
bool lf_heldOffLine(const MotionFields& f, double maxClimb_ftPerTick, std::size_t n, std::size_t j, double& line_ft,
                    LatLon& place) {
    const double reading_ft = f.recentAlt_ft[j];
    std::size_t before = j, after = j;
    while (before > 0 && f.recentAlt_ft[before - 1] == reading_ft) --before;
    while (after < n && f.recentAlt_ft[after] == reading_ft) ++after;
    if (after - before < 2 || before == 0 || after == n) return false;
    --before;
    const std::int32_t span = f.recentDue[after] - f.recentDue[before];
    if (span > kHeldReading_ticks) return false;
    const double from_ft = f.recentFlown_ft[before];
    const std::int32_t step_ticks = f.recentDue[before + 1] - f.recentDue[before];
    const double step_ft = std::fabs(reading_ft - from_ft);
    if (step_ft <= kRateLine_ft + kRateLine_ftPerS * static_cast<double>(step_ticks) / kTicksPerSecond &&
        step_ft <= maxClimb_ftPerTick * static_cast<double>(step_ticks) + kMedianScatter_ft)
        return false;
    if (std::fabs(f.recentAlt_ft[after] - lf_carriedAlong(f, before, from_ft, after)) > kCarriedAgree_ft) return false;
    const double share = static_cast<double>(f.recentDue[j] - f.recentDue[before]) / static_cast<double>(span);
    line_ft = from_ft + share * (f.recentAlt_ft[after] - from_ft);
    const LatLon from = f.recentPlace[before], to = f.recentPlace[after];
    double dLon = to.lon - from.lon;
    if (dLon > 180.0) dLon -= 360.0;
    if (dLon < -180.0) dLon += 360.0;
    place = {from.lat + share * (to.lat - from.lat), from.lon + share * dLon};
    if (place.lon > 180.0) place.lon -= 360.0;
    if (place.lon <= -180.0) place.lon += 360.0;
    return std::fabs(reading_ft - line_ft) > kMedianScatter_ft ||
           gf_distanceNm(place, f.recentPlace[j]) > kNeighbourScatter_nm;
}

// Whether report j is of the lesser of two families of readings that take
// turns among the reports around it, each report carried along its own
// rate to j's time and the two split where they scatter least; larger_ft:
// the larger family's mean there, where the aircraft is.
bool lf_lesserFamily(const MotionFields& f, std::size_t n, std::size_t j, double& larger_ft) {
    // A reading repeated while the rates move the aircraft on is its
    // transponder holding it, no receiver's: carried along the rates, a
    // hold would make a family of its own.
    const auto holds = [&](std::size_t a, std::size_t b) {
        return f.recentAlt_ft[a] == f.recentAlt_ft[b] &&
               std::fabs(f.recentRate_fpm[a] + f.recentRate_fpm[b]) / 2.0 >= kSteadyRate_fpm;
    };
    std::array<double, 11> carried{};
    std::size_t m = 0, own = 0;
    double slowest = f.recentRate_fpm[j], fastest = f.recentRate_fpm[j];
    for (std::size_t i = j - std::min(j, kRunReach); i < n && i <= j + kRunReach; ++i) {
        // A feed without the rate sends none (0).
        if (!(std::fabs(f.recentRate_fpm[i]) > 0.0)) return false;
        if (std::abs(f.recentDue[j] - f.recentDue[i]) > kFamilySpan_ticks) continue;
        if ((i > 0 && holds(i - 1, i)) || (i + 1 < n && holds(i, i + 1))) {
            if (i == j) return false;
            continue;
        }
        slowest = std::min(slowest, f.recentRate_fpm[i]);
        fastest = std::max(fastest, f.recentRate_fpm[i]);
        if (i == j) own = m;
        carried[m++] = f.recentAlt_ft[i] +
                       f.recentRate_fpm[i] / 60.0 * static_cast<double>(f.recentDue[j] - f.recentDue[i]) / kTicksPerSecond;
    }
    if (m < 2 + 2 + kFamilyLead || fastest - slowest > kFamilyRates_fpm) return false;
    std::array<double, 11> sorted = carried;
    std::sort(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(m));
    // The lower family: the first `split` of the sorted heights, two or
    // more, as is the upper one.
    std::size_t split = 0;
    double leastScatter = 0.0, lowMean = 0.0, highMean = 0.0;
    for (std::size_t k = 2; k + 2 <= m; ++k) {
        if (sorted[k - 1] == sorted[k]) continue;
        double low = 0.0, high = 0.0;
        for (std::size_t i = 0; i < m; ++i) (i < k ? low : high) += sorted[i];
        low /= static_cast<double>(k);
        high /= static_cast<double>(m - k);
        double scatter = 0.0;
        for (std::size_t i = 0; i < m; ++i) {
            const double off = sorted[i] - (i < k ? low : high);
            scatter += off * off;
        }
        if (split == 0 || scatter < leastScatter) split = k, leastScatter = scatter, lowMean = low, highMean = high;
    }
    if (split == 0) return false;
    const double apart_ft = highMean - lowMean;
    if (apart_ft < kFamiliesApart_ft || apart_ft > kRateLine_ft || sorted[split - 1] - sorted[0] > kFamilySpread_ft ||
        sorted[m - 1] - sorted[split] > kFamilySpread_ft)
        return false;
    const std::size_t lows = split, highs = m - split;
    if (std::max(lows, highs) < std::min(lows, highs) + kFamilyLead) return false;
    const double parting = (sorted[split - 1] + sorted[split]) / 2.0;
    int turns = 0;
    for (std::size_t i = 1; i < m; ++i) turns += (carried[i] < parting) != (carried[i - 1] < parting);
    const bool lowLarger = lows > highs;
    if (turns < kFamilyTurns || (carried[own] < parting) == lowLarger) return false;
    larger_ft = lowLarger ? lowMean : highMean;
    return true;
}

// The height the reports on both sides of report j agree on, each carried
// along its own vertical rate to j's time: the most of them within the
// carried agreement of each other, two or more before j and two or more
// after it, and more than half of those within the sides' span of it;
// counted as reported, not where the run flies them (a height flown off
// its report carries its error on to every report judged from it). Unset
// when another group as large agrees elsewhere: spikes that take turns
// with the true reports may agree among themselves as well.
bool lf_sidesAgree(const MotionFields& f, std::size_t n, std::size_t j, double& agreed_ft) {
    std::array<double, 11> carried{};
    std::array<bool, 11> before{};
    std::size_t m = 0;
    for (std::size_t i = j - std::min(j, kRunReach); i < n && i <= j + kRunReach; ++i) {
        if (i == j || std::abs(f.recentDue[j] - f.recentDue[i]) > kSidesSpan_ticks) continue;
        before[m] = i < j;
        carried[m++] = f.recentAlt_ft[i] +
                       f.recentRate_fpm[i] / 60.0 * static_cast<double>(f.recentDue[j] - f.recentDue[i]) / kTicksPerSecond;
    }
    std::size_t best = 0;
    bool tied = false;
    for (std::size_t a = 0; a < m; ++a) {
        // The group of heights from carried[a] up to the agreement above it.
        std::size_t count = 0, earlier = 0;
        double sum = 0.0;
        for (std::size_t b = 0; b < m; ++b)
            if (carried[b] >= carried[a] && carried[b] - carried[a] <= kCarriedAgree_ft) {
                ++count;
                earlier += before[b];
                sum += carried[b];
            }
        if (earlier < 2 || count - earlier < 2 || count < best) continue;
        const double mean = sum / static_cast<double>(count);
        if (count > best) {
            best = count;
            tied = false;
            agreed_ft = mean;
        } else if (std::fabs(mean - agreed_ft) > kCarriedAgree_ft) {
            tied = true;
        }
    }
    return best > 0 && !tied && 2 * best > m;
}

// Whether a height at report b's time lies beyond what the aircraft climbs
// or sinks from report a's height, flown at a_ft, at the rates the two
// reports show (false where the feed sends no rates).
bool lf_beyondRates(const MotionFields& f, std::size_t a, double a_ft, std::size_t b, double b_ft) {
    if (!lf_ratesKnown(f)) return false;
    const double dt_s = static_cast<double>(f.recentDue[b] - f.recentDue[a]) / kTicksPerSecond;
    if (dt_s == 0.0) return false;
    const double ra = f.recentRate_fpm[a] / 60.0, rb = f.recentRate_fpm[b] / 60.0;
    const double needed = (b_ft - a_ft) / dt_s;
    const double over = std::max(needed - (std::max(ra, rb) + kRateSwing_ftPerS),
                                 std::min(ra, rb) - kRateSwing_ftPerS - needed);
    return over * std::fabs(dt_s) > kRotorStep_ft + kRateChange_ftPerS2 * dt_s * dt_s / 4.0;
}

// Where report j is flown when it lies farther from the last report
// before it flown as reported than a helicopter climbs or sinks since, or
// than the rates of both reports let it: that report carried along its
// vertical rate. With none of those held, the
// reports have kept the height longer than a receiver's spikes.
bool lf_rotorOutOfReach(const MotionFields& f, std::size_t j, double& carried_ft) {
    for (std::size_t k = j; k-- > 0;) {
        if (f.recentFlown_ft[k] != f.recentAlt_ft[k]) continue;
        const double dt_s = static_cast<double>(f.recentDue[j] - f.recentDue[k]) / kTicksPerSecond;
        const double rate_ftPerS = std::clamp(f.recentRate_fpm[k] / 60.0, -kRotorVertical_ftPerS, kRotorVertical_ftPerS);
        carried_ft = f.recentAlt_ft[k] + rate_ftPerS * dt_s;
        // The rates judge only from a report that the one before it, as
        // flown, reaches at theirs: a spike among the first reports would
        // otherwise rule out every true one after it.
        const bool ratesJudge = k > 0 && !lf_beyondRates(f, k - 1, f.recentFlown_ft[k - 1], k, f.recentAlt_ft[k]);
        return std::fabs(f.recentAlt_ft[j] - f.recentAlt_ft[k]) > kRotorStep_ft + kRotorVertical_ftPerS * dt_s ||
               (ratesJudge && lf_beyondRates(f, k, f.recentAlt_ft[k], j, f.recentAlt_ft[j]));
    }
    return false;
}

// Whether a light aircraft's or glider's report j lies farther from report
// `from` as flown, carried along that one's rate to j's time (forward or
// back), than it climbs or sinks in between; carried_ft: that height.
bool lf_lightOutOfReach(const MotionFields& f, std::size_t j, double& carried_ft, std::size_t from) {
    const double dt_s = static_cast<double>(f.recentDue[j] - f.recentDue[from]) / kTicksPerSecond;
    const double rate_ftPerS = std::clamp(f.recentRate_fpm[from] / 60.0, -kLightVertical_ftPerS, kLightVertical_ftPerS);
    carried_ft = f.recentFlown_ft[from] + rate_ftPerS * dt_s;
    return std::fabs(f.recentAlt_ft[j] - carried_ft) > kRotorStep_ft + kLightVertical_ftPerS * std::fabs(dt_s);
}

// Whether a light aircraft's or glider's report k lies out of its reach of
// report j flown at this height, carried along j's rate.
bool lf_lightOutOfReachOf(const MotionFields& f, std::size_t k, std::size_t j, double j_ft) {
    const double dt_s = static_cast<double>(f.recentDue[k] - f.recentDue[j]) / kTicksPerSecond;
    const double rate_ftPerS = std::clamp(f.recentRate_fpm[j] / 60.0, -kLightVertical_ftPerS, kLightVertical_ftPerS);
    const double carried_ft = j_ft + rate_ftPerS * dt_s;
    return std::fabs(f.recentAlt_ft[k] - carried_ft) > kRotorStep_ft + kLightVertical_ftPerS * std::fabs(dt_s);
}

// Where a light aircraft's or glider's report j is flown while no report
// after it has come, when it lies farther from the report before it, as
// flown, carried along that one's rate, than it climbs or sinks since: at
// that carried height. Its next report tells a step from a spike (the
// median of the three). The second report of a run has only the first to
// be judged by, and that may be the spike.
bool lf_lightOutOfReach(const MotionFields& f, std::size_t j, double& carried_ft) {
    return j >= 2 && lf_lightOutOfReach(f, j, carried_ft, j - 1);
}

// The point the aircraft flies to now, of a report just judged again: the
// aircraft turns toward its height no faster than the reports, as flown,
// climb or sink from one to the next (the newest is not judged yet).
void lf_aimAtFrontReport(LiveAc& ac) {
    const MotionFields& f = ac.motion.more;
    double fastest = 0.0;
    for (std::size_t i = 1; i + 1 < f.recentCount; ++i) {
        const std::int32_t ticks = f.recentDue[i] - f.recentDue[i - 1];
        if (ticks >= kTicksPerSecond)
            fastest = std::max(fastest, std::fabs(f.recentFlown_ft[i] - f.recentFlown_ft[i - 1]) / ticks);
    }
    gf_aimAtFront(ac, fastest);
}

// Report j (not the newest) flown at this height: its points in the
// stream, each report's repeats with it. The front point is being flown to
// and stays, but for a light aircraft's, whose reports come ten seconds
// apart: the report after a spike may come only once the aircraft flies to
// it. It takes the height too, and the aircraft turns toward it (aim),
// once a whole run flown anew is (true when it changed).
bool lf_flyReportAt(LiveAc& ac, std::size_t j, double flown_ft, bool aim = true) {
    MotionFields& f = ac.motion.more;
    f.recentFlown_ft[j] = flown_ft;
    for (std::size_t i = ac.stream.size(); i-- > 1;) {
        StreamPoint& p = ac.stream[i];
        if (p.time < f.recentDue[j]) break;
        if (p.time < f.recentDue[j + 1] && p.airborne) p.alt = flown_ft;
    }
    if (ac.category != AcCategory::Light || f.frontReceivedDue < f.recentDue[j] ||
        f.frontReceivedDue >= f.recentDue[j + 1] || ac.stream.empty() || !ac.stream[0].airborne ||
        ac.stream[0].alt == flown_ft)
        return false;
    ac.stream[0].alt = flown_ft;
    if (aim) lf_aimAtFrontReport(ac);
    return true;
}

// Whether report j, off the line of the report before it, lies on the line
// of an earlier one flown as reported, with every report between them off
// the way from that one to it on one side: those were a receiver's run of
// spikes that kept within the line's slack, each carried on from the one
// before as if the aircraft were there. They are flown on that way, and
// report j as reported. The earliest such report within a run of spikes
// before it is taken: a nearer one may be a spike itself. A transponder
// that holds one reading through a climb repeats it: such reports are the
// aircraft's own, not a receiver's.
bool lf_spikesBefore(LiveAc& ac, std::size_t j) {
    MotionFields& f = ac.motion.more;
    const std::size_t farthest = j - std::min(j, kSpikeRunReports);
    for (std::size_t k = farthest; k + 1 < j; ++k) {
        if (f.recentFlown_ft[k] != f.recentAlt_ft[k]) continue;
        if (std::fabs(f.recentAlt_ft[j] - lf_carriedAlong(f, k, f.recentFlown_ft[k], j)) > kCarriedAgree_ft) continue;
        const auto way = [&](std::size_t i) {
            const double share = static_cast<double>(f.recentDue[i] - f.recentDue[k]) /
                                 static_cast<double>(f.recentDue[j] - f.recentDue[k]);
            return f.recentFlown_ft[k] + share * (f.recentAlt_ft[j] - f.recentFlown_ft[k]);
        };
        const double side = f.recentAlt_ft[k + 1] - way(k + 1);
        bool spikes = true;
        for (std::size_t i = k + 1; i < j && spikes; ++i) {
            const double off = f.recentAlt_ft[i] - way(i);
            const bool held = f.recentAlt_ft[i] == f.recentAlt_ft[i - 1] &&
                              std::fabs(lf_carriedAlong(f, i - 1, f.recentAlt_ft[i - 1], i) - f.recentAlt_ft[i]) >
                                  kMedianScatter_ft;
            spikes = std::fabs(off) > kCarriedAgree_ft && off * side > 0.0 && !held;
        }
        if (!spikes) continue;
        for (std::size_t i = k + 1; i < j; ++i) lf_flyReportAt(ac, i, way(i));
        return true;
    }
    return false;
}

// The search both kinds share: runs of up to a receiver's run of spikes
// around report j, between a report before (only one flown as reported,
// where asked) and one after that agree along their rates, the run off
// their way all to one side. outOfReach(b, a, from_ft, to_ft, offFirst_ft,
// offLast_ft) tells whether the aircraft could neither have got onto the
// run from report b nor back from it to report a.
template <typename OutOfReach>
bool lf_runOffTheWay(LiveAc& ac, std::size_t n, std::size_t j, bool fromReportedOnly, OutOfReach outOfReach,
                     double& way_ft) {
    const MotionFields& f = ac.motion.more;
    // Across a light aircraft's longer run only the rates tell the way
    // between the reports on either side: without them a climb's reports
    // half a minute apart agree with nothing.
    const std::int32_t longestRun_ticks =
        !gf_isAirliner(ac.category) && lf_ratesKnown(f) ? kLightSpikeRun_ticks : kSpikeRun_ticks;
    for (std::size_t b = j; b-- > j - std::min(j, kSpikeRunReports);) {
        for (std::size_t a = j + 1; a < n && a - b - 1 <= kSpikeRunReports; ++a) {
            if (f.recentDue[a - 1] - f.recentDue[b + 1] > longestRun_ticks) break;
            if (fromReportedOnly && f.recentFlown_ft[b] != f.recentAlt_ft[b]) continue;
            const double from_ft = f.recentFlown_ft[b], to_ft = f.recentAlt_ft[a];
            if (std::fabs(to_ft - lf_carriedAlong(f, b, from_ft, a)) > kCarriedAgree_ft) continue;
            const auto way = [&](std::size_t i) {
                const double share = static_cast<double>(f.recentDue[i] - f.recentDue[b]) /
                                     static_cast<double>(std::max(f.recentDue[a] - f.recentDue[b], 1));
                return from_ft + share * (to_ft - from_ft);
            };
            const double side = f.recentAlt_ft[b + 1] - way(b + 1);
            bool off = true;
            for (std::size_t i = b + 1; i < a && off; ++i) {
                const double by = f.recentAlt_ft[i] - way(i);
                off = std::fabs(by) > kCarriedAgree_ft && by * side > 0.0;
            }
            if (!off || !outOfReach(b, a, from_ft, to_ft, side, f.recentAlt_ft[a - 1] - way(a - 1))) continue;
            way_ft = way(j);
            for (std::size_t i = b + 1; i < a; ++i) lf_flyReportAt(ac, i, way(i));
            return true;
        }
    }
    return false;
}

// Where report j is flown when it is one of a short run of reports (no
// more, and lasting no longer, than a receiver's run of spikes) off the way
// between the reports on either side of the run, which agree with each
// other along their rates: on that way, at its time. The run lies off it
// all one way, farther than the altimeter's steps, and the aircraft could
// have neither stepped onto it from the report before nor back from it to
// the report after, climbing or sinking at its best: an airliner's readings
// 250 ft under its level for a few seconds and back are a receiver's,
// however well they keep within the rate line's slack or lie on the run that
// spikes before them bend. The whole run is flown on
// that way: its first reports may be judged already.
bool lf_outAndBack(LiveAc& ac, double maxClimb_ftPerTick, std::size_t n, std::size_t j, double& way_ft) {
    const MotionFields& f = ac.motion.more;
    const auto outOfReach = [&](std::size_t b, std::size_t a, double, double, double offFirst_ft, double offLast_ft) {
        const double onto_ft = maxClimb_ftPerTick * static_cast<double>(f.recentDue[b + 1] - f.recentDue[b]);
        const double back_ft = maxClimb_ftPerTick * static_cast<double>(f.recentDue[a] - f.recentDue[a - 1]);
        return std::fabs(offFirst_ft) > onto_ft && std::fabs(offLast_ft) > back_ft;
    };
    return lf_runOffTheWay(ac, n, j, false, outOfReach, way_ft);
}

// Report j (not the newest) flown at this place, as lf_flyReportAt.
void lf_placeReportAt(LiveAc& ac, std::size_t j, LatLon place) {
    const MotionFields& f = ac.motion.more;
    for (std::size_t i = ac.stream.size(); i-- > 1;) {
        StreamPoint& p = ac.stream[i];
        if (p.time < f.recentDue[j]) break;
        if (p.time < f.recentDue[j + 1] && p.airborne) {
            p.lat = place.lat;
            p.lon = place.lon;
        }
    }
}

// Whether report j leaves the level of the two reports before it, as
// flown, faster than a light aircraft climbs or sinks from level.
bool lf_leavesLevel(const MotionFields& f, std::size_t j) {
    const double level_ft = f.recentFlown_ft[j - 1];
    if (std::fabs(f.recentFlown_ft[j - 2] - level_ft) > kMedianScatter_ft) return false;
    const double ticks = static_cast<double>(f.recentDue[j] - f.recentDue[j - 1]);
    return std::fabs(f.recentAlt_ft[j] - level_ft) > std::max(kMedianScatter_ft, kLevelLeave_ftPerTick * ticks);
}

// Whether reports a and a + 1 hold a level: they agree, and neither's rate
// says the aircraft climbs or sinks.
bool lf_holdsLevel(const MotionFields& f, std::size_t a) {
    return std::fabs(f.recentAlt_ft[a + 1] - f.recentAlt_ft[a]) <= kMedianScatter_ft &&
           std::fabs(f.recentRate_fpm[a]) < kSteadyRate_fpm && std::fabs(f.recentRate_fpm[a + 1]) < kSteadyRate_fpm;
}

// Where a light aircraft's or glider's report j is flown when it is one of
// a receiver's run of spikes off a level: the two reports after the run
// hold the level, a report before it lies at that level (flown there) at
// most a few reports back, every report between lies off it the same way,
// and the last of them lies farther from the report after it than the
// aircraft climbs or sinks in between. It did not go there: it would have
// to come back faster than it can. Flown on the line from the report before
// the run to the one after.
bool lf_backToLevel(const MotionFields& f, std::size_t n, std::size_t j, double& level_ft) {
    std::size_t a = j + 1;
    while (a + 1 < n && a <= j + kLevelBackReports && !lf_holdsLevel(f, a)) ++a;
    if (a + 1 >= n || a > j + kLevelBackReports) return false;
    const double after_ft = f.recentAlt_ft[a];
    const double side = f.recentAlt_ft[j] - after_ft;
    const auto offTheWay = [&](std::size_t i) {
        const double off = f.recentAlt_ft[i] - after_ft;
        return std::fabs(off) > kMedianScatter_ft && off * side > 0.0;
    };
    for (std::size_t i = j; i < a; ++i)
        if (!offTheWay(i)) return false;
    const double back_s = static_cast<double>(f.recentDue[a] - f.recentDue[a - 1]) / kTicksPerSecond;
    if (std::fabs(after_ft - f.recentAlt_ft[a - 1]) <= kRotorStep_ft + kLightVertical_ftPerS * back_s) return false;
    for (std::size_t k = j; k-- > j - std::min(j, kLevelBackReports);) {
        if (std::fabs(f.recentFlown_ft[k] - after_ft) <= kMedianScatter_ft) {
            const double share = static_cast<double>(f.recentDue[j] - f.recentDue[k]) /
                                 static_cast<double>(f.recentDue[a] - f.recentDue[k]);
            level_ft = f.recentFlown_ft[k] + share * (after_ft - f.recentFlown_ft[k]);
            return true;
        }
        if (!offTheWay(k)) return false;
    }
    return false;
}

// Where a light aircraft's or glider's report j is flown when it is one of
// a short run of reports (no more, and lasting no longer, than a receiver's
// run of spikes) off the way between the report before the run, flown as
// reported, and the one after it, which agree with each other along their rates: on
// that way, at its time. The run lies off it all one way, farther than the
// altimeter's steps, and the aircraft could have neither got onto it from
// the report before nor back from it to the report after, climbing or
// sinking at its best: reports seconds apart 300-700 ft off a steady
// descent, alone or two in a row, are a receiver's, however the median or
// the run line of the few reports around them lean. The whole run is
// flown on that way.
bool lf_lightOutAndBack(LiveAc& ac, std::size_t n, std::size_t j, double& way_ft) {
    const MotionFields& f = ac.motion.more;
    // Whether report i lies out of reach of a height at report k's time,
    // carried along k's rate; or, where the rates judge, beyond what the
    // rates of both show.
    const auto beyond = [&](std::size_t i, std::size_t k, double from_ft, bool ratesJudge) {
        const double dt_s = static_cast<double>(f.recentDue[i] - f.recentDue[k]) / kTicksPerSecond;
        const double rate_ftPerS = std::clamp(f.recentRate_fpm[k] / 60.0, -kLightVertical_ftPerS, kLightVertical_ftPerS);
        return std::fabs(f.recentAlt_ft[i] - (from_ft + rate_ftPerS * dt_s)) >
                   kRotorStep_ft + kLightVertical_ftPerS * std::fabs(dt_s) ||
               (ratesJudge && lf_beyondRates(f, k, from_ft, i, f.recentAlt_ft[i]));
    };
    const auto outOfReach = [&](std::size_t b, std::size_t a, double from_ft, double to_ft, double, double) {
        // The rates judge only once the report after the run has one after
        // it that it can reach: two spikes of a steep descent agree along
        // their rates as well as the true reports do, and between them the
        // true report would look like the one off the way.
        // Across a run longer than an airliner's, a glider's rate swings
        // with its thermal between the reports: its best climb or sink
        // alone judges there.
        const bool ratesJudge = f.recentDue[a - 1] - f.recentDue[b + 1] <= kSpikeRun_ticks && a + 1 < n &&
                                !lf_beyondRates(f, a, f.recentAlt_ft[a], a + 1, f.recentAlt_ft[a + 1]);
        return beyond(b + 1, b, from_ft, ratesJudge) && beyond(a - 1, a, to_ft, ratesJudge);
    };
    // The report before the run is one flown as reported: one the rules
    // moved may have been a spike itself.
    return lf_runOffTheWay(ac, n, j, true, outOfReach, way_ft);
}

// Where a light aircraft's report j, among reports without vertical rates,
// is flown when it lags the way from the report before it (as flown) to
// the next report that one reaches, passing over a reading out of reach of
// both: on that way, where j lags the climb (or descent) of the two
// reports before it as well, or where j keeps the height of the report
// before it and the aircraft could not have climbed (or sunk) from there to
// the report after it (over a reading passed over, that one may be the
// receiver's too). An aircraft does not stop its climb for one report and
// climb on faster than it can: a receiver's reading that keeps the height
// before it, or falls back below it, is no level-off. The report after that
// next one goes on its way; while none has come, only a reading that lags
// both and a way no steeper than the climb before tell it (a spike after a
// true level-off would steepen the climb).
bool lf_lagsAgreedWay(const MotionFields& f, std::size_t n, std::size_t j, double& way_ft) {
    if (j < 2 || j + 3 > n) return false;
    double carried_ft = 0.0;
    std::size_t a = j + 1;
    if (lf_lightOutOfReach(f, a, carried_ft, j - 1)) {
        ++a;
        if (a >= n || !lf_lightOutOfReachOf(f, j + 1, a, f.recentAlt_ft[a])) return false;
    }
    const double before_ft = f.recentFlown_ft[j - 1], after_ft = f.recentAlt_ft[a];
    const double rise_ft = after_ft - before_ft;
    const bool confirmed = a + 1 < n;
    if (std::fabs(rise_ft) <= kMedianScatter_ft || lf_lightOutOfReach(f, a, carried_ft, j - 1) ||
        (confirmed && (lf_lightOutOfReachOf(f, a + 1, a, after_ft) || (f.recentAlt_ft[a + 1] - after_ft) * rise_ft < 0.0)))
        return false;
    const auto ticks = [&](std::size_t from, std::size_t to) {
        return static_cast<double>(std::max(f.recentDue[to] - f.recentDue[from], 1));
    };
    way_ft = before_ft + ticks(j - 1, j) / ticks(j - 1, a) * rise_ft;
    const double off_ft = f.recentAlt_ft[j] - way_ft;
    if (std::fabs(off_ft) <= kCarriedAgree_ft || off_ft * rise_ft > 0.0) return false;
    // The climb before, carried on to j's time: j lags it too.
    const double climbed_ft = before_ft - f.recentFlown_ft[j - 2];
    const double offClimb_ft = f.recentAlt_ft[j] - (before_ft + climbed_ft * ticks(j - 1, j) / ticks(j - 2, j - 1));
    const bool lagsClimb = std::fabs(climbed_ft) > kMedianScatter_ft && climbed_ft * rise_ft > 0.0 &&
                           std::fabs(offClimb_ft) > kCarriedAgree_ft && offClimb_ft * rise_ft < 0.0;
    if (!confirmed)
        return lagsClimb && std::fabs(rise_ft) <= std::fabs(climbed_ft) / ticks(j - 2, j - 1) * ticks(j - 1, a) +
                                                      kMedianScatter_ft;
    return lagsClimb || (a == j + 1 && std::fabs(f.recentAlt_ft[j] - before_ft) <= kMedianScatter_ft &&
                         lf_lightOutOfReachOf(f, a, j, f.recentAlt_ft[j]));
}

// Where a light aircraft's report j, among reports without vertical rates,
// is flown when it lies off the way from the report before it (as flown)
// to the next one, and off the way from it to the report after that, by
// more than the scatter, the same way, both ways within what the aircraft
// climbs or sinks: on the nearer way. Its climb or sink would have to turn
// around at it faster than such an aircraft changes its rate, whichever of
// the two reports after it is the true one. A receiver's spike that reads
// a climb's report back near the one before it lies within the median of
// the reports around it, and flown it would leave the aircraft to climb
// to the next one faster than it can.
bool lf_offTheWays(const MotionFields& f, std::size_t n, std::size_t j, double scatter_ft, double& way_ft) {
    if (j == 0 || j + 2 >= n) return false;
    const auto way = [&](std::size_t a) {
        const double share = static_cast<double>(f.recentDue[j] - f.recentDue[j - 1]) /
                             static_cast<double>(std::max(f.recentDue[a] - f.recentDue[j - 1], 1));
        return f.recentFlown_ft[j - 1] + share * (f.recentAlt_ft[a] - f.recentFlown_ft[j - 1]);
    };
    // Each a way the aircraft can fly: a spike after it is no end of one.
    for (std::size_t a = j + 1; a <= j + 2; ++a) {
        double carried_ft = 0.0;
        if (lf_lightOutOfReach(f, a, carried_ft, j - 1)) return false;
    }
    const double offNext = f.recentAlt_ft[j] - way(j + 1), offAfter = f.recentAlt_ft[j] - way(j + 2);
    way_ft = std::fabs(offNext) < std::fabs(offAfter) ? way(j + 1) : way(j + 2);
    return std::fabs(offNext) > scatter_ft && std::fabs(offAfter) > scatter_ft && offNext * offAfter > 0.0;
}

// Where a light aircraft's or glider's report j is flown when the reports
// on each side of it rule it out: the nearest ones within a few seconds
// (the ones before as flown), each carried along its rate and j's to j's
// time, three or more of both sides agree on a height, no other as many,
// and j lies farther off it than a true report does. The aircraft flew
// through that height; it could not have left the way the reports on both
// sides keep to and come back to it, and flown there it would climb where
// they descend (or sink where they climb).
bool lf_lightRuledOut(const MotionFields& f, std::size_t n, std::size_t j, double& agreed_ft) {
    std::array<double, 2 * kLightCarriedEachSide> carried{};
    std::array<bool, 2 * kLightCarriedEachSide> before{};
    std::size_t m = 0;
    const auto carry = [&](std::size_t i, bool earlier) {
        if (!(std::fabs(f.recentRate_fpm[i]) > 0.0) || std::abs(f.recentDue[j] - f.recentDue[i]) > kLightCarried_ticks)
            return false;
        before[m] = earlier;
        carried[m++] = lf_carriedAlong(f, i, earlier ? f.recentFlown_ft[i] : f.recentAlt_ft[i], j);
        return true;
    };
    for (std::size_t i = j, k = 0; i-- > 0 && k < kLightCarriedEachSide; ++k)
        if (!carry(i, true)) break;
    for (std::size_t i = j + 1, k = 0; i < n && k < kLightCarriedEachSide; ++i, ++k)
        if (!carry(i, false)) break;
    // Rates that swing from one report to the next (a glider in a thermal)
    // carry no height that far. Rates that ease off or steepen report by
    // report (a climb-out levelling off) do: each carries its height there
    // within a fraction of the change.
    double slowest = f.recentRate_fpm[j], fastest = f.recentRate_fpm[j];
    bool easing = true, steepening = true;
    const std::size_t from = j - std::min(j, kLightCarriedEachSide);
    for (std::size_t i = from; i < n && i <= j + kLightCarriedEachSide; ++i) {
        slowest = std::min(slowest, f.recentRate_fpm[i]);
        fastest = std::max(fastest, f.recentRate_fpm[i]);
        if (i == from) continue;
        easing = easing && f.recentRate_fpm[i] <= f.recentRate_fpm[i - 1];
        steepening = steepening && f.recentRate_fpm[i] >= f.recentRate_fpm[i - 1];
    }
    if (fastest - slowest > kFamilyRates_fpm && !easing && !steepening) return false;
    std::size_t bestSupport = 0;
    bool tie = false;
    for (std::size_t a = 0; a < m; ++a) {
        std::size_t support = 0;
        bool earlier = false, later = false;
        double sum = 0.0;
        for (std::size_t b = 0; b < m; ++b) {
            if (std::fabs(carried[b] - carried[a]) > kCarriedAgree_ft) continue;
            ++support;
            sum += carried[b];
            (before[b] ? earlier : later) = true;
        }
        if (support > bestSupport) {
            bestSupport = support;
            tie = false;
            agreed_ft = earlier && later ? sum / static_cast<double>(support) : std::nan("");
        } else if (support == bestSupport &&
                   std::fabs(sum / static_cast<double>(support) - agreed_ft) > kCarriedAgree_ft) {
            tie = true;
        }
    }
    return bestSupport >= 3 && !tie && !std::isnan(agreed_ft) &&
           std::fabs(f.recentAlt_ft[j] - agreed_ft) > kLightRuledOut_ft;
}

// Where a light aircraft's or glider's report j is flown when no report
// around it bears it out along the rates, it lies off the way from the
// report before it (as flown) to the nearest one after it that agrees with
// that one, and getting there or back would take a climb or sink no rate
// of theirs shows: on that way. A spike beside spikes the other way is no
// one-sided run, and they pull the median wide enough to let it in.
bool lf_lightOffAgreedWay(const MotionFields& f, std::size_t n, std::size_t j, double& way_ft) {
    const auto agree = [&](std::size_t i, double i_ft, std::size_t k) {
        return std::fabs(f.recentAlt_ft[k] - lf_carriedAlong(f, i, i_ft, k)) <= kCarriedAgree_ft;
    };
    if (j < 2) return false;
    const std::size_t b = j - 1;
    const double from_ft = f.recentFlown_ft[b], own = f.recentAlt_ft[j];
    for (std::size_t i = j - std::min(j, kSpikeRunReports); i < n && i <= j + kSpikeRunReports; ++i)
        if (i != j && std::abs(f.recentDue[i] - f.recentDue[j]) <= kLightSpikeRun_ticks && agree(i, f.recentAlt_ft[i], j))
            return false;
    // Each end of the way borne out by the report beyond it: two spikes may
    // agree with each other.
    if (!agree(b - 1, f.recentAlt_ft[b - 1], b)) return false;
    for (std::size_t a = j + 1; a + 1 < n && a - j <= kSpikeRunReports; ++a) {
        if (f.recentDue[a] - f.recentDue[j] > kLightSpikeRun_ticks) break;
        const double to_ft = f.recentAlt_ft[a];
        if (!agree(b, from_ft, a) || !agree(a, to_ft, a + 1)) continue;
        const double share = static_cast<double>(f.recentDue[j] - f.recentDue[b]) /
                             static_cast<double>(std::max(f.recentDue[a] - f.recentDue[b], 1));
        way_ft = from_ft + share * (to_ft - from_ft);
        return std::fabs(own - way_ft) > kHeldStep_ft &&
               (lf_beyondRates(f, b, from_ft, j, own) || lf_beyondRates(f, j, own, a, to_ft));
    }
    return false;
}

// The path a light aircraft's reports without vertical rates agree on
// around a run of reports (first to last), from the two before it (as
// flown) and the two after it: the way from the last one before to the
// first one after, when the line of the two before carries on to the
// first one after, or the line of the two after leads back to the last one
// before; or, where the two lines meet between the run's neighbours (a
// level left for a climb, a climb levelled off), the line before up to
// that corner and the line after from there. Each line is one the
// aircraft can fly. None where the reports around do not agree: a turn
// of its climb or a spike among them.
struct SmoothPath {
    bool found = false;
    std::int32_t corner = 0;  // due time where the line before gives way to the line after
    double beforeAt_ft = 0.0, beforeSlope = 0.0, afterAt_ft = 0.0, afterSlope = 0.0;  // per tick, at b and a
    std::int32_t b = 0, a = 0;
    double height(std::int32_t due) const {
        return due <= corner ? beforeAt_ft + beforeSlope * (due - b) : afterAt_ft + afterSlope * (due - a);
    }
};

SmoothPath lf_smoothPathAround(const MotionFields& f, std::size_t n, std::size_t first, std::size_t last) {
    SmoothPath path;
    // The run's first report has none before it: the line after it alone.
    const bool none = first == 0;
    const std::size_t b = none ? 0 : first - 1, a = last + 1;
    if (f.recentDue[a] - f.recentDue[b] > kSmoothPathSpan_ticks) return path;
    const auto reachable = [&](double from_ft, std::int32_t fromDue, double to_ft, std::int32_t toDue) {
        const double dt_s = static_cast<double>(toDue - fromDue) / kTicksPerSecond;
        return toDue - fromDue >= kTicksPerSecond &&
               std::fabs(to_ft - from_ft) <= kRotorStep_ft + kLightVertical_ftPerS * dt_s;
    };
    const double bFt = f.recentFlown_ft[b], aFt = f.recentAlt_ft[a];
    const std::int32_t bDue = f.recentDue[b], aDue = f.recentDue[a];
    path.b = bDue;
    path.a = aDue;
    path.beforeAt_ft = bFt;
    path.afterAt_ft = aFt;
    const double waySlope = static_cast<double>(aFt - bFt) / static_cast<double>(std::max(aDue - bDue, 1));
    // Each line through a report a second or more from the run's neighbour
    // (a due time moved on by a tick tells no slope); after the run, the
    // next such report within reach, or the one after it (a spike there
    // tells nothing of the line).
    std::size_t b0 = b, a1 = a + 1;
    while (b0 > 0 && bDue - f.recentDue[b0] < kTicksPerSecond) --b0;
    while (a1 < n && f.recentDue[a1] - aDue < kTicksPerSecond) ++a1;
    if (a1 + 1 < n && !reachable(aFt, aDue, f.recentAlt_ft[a1], f.recentDue[a1])) ++a1;
    const bool lineBefore = b0 < b && reachable(f.recentFlown_ft[b0], f.recentDue[b0], bFt, bDue);
    const bool lineAfter = a1 < n && reachable(aFt, aDue, f.recentAlt_ft[a1], f.recentDue[a1]);
    const double slopeBefore =
        lineBefore ? (bFt - f.recentFlown_ft[b0]) / static_cast<double>(bDue - f.recentDue[b0]) : 0.0;
    const double slopeAfter =
        lineAfter ? (f.recentAlt_ft[a1] - aFt) / static_cast<double>(f.recentDue[a1] - aDue) : 0.0;
    // The reports after the run are not yet judged: two spikes there may
    // lie on one line back to the report before it. A third on their line
    // tells it is the aircraft's.
    std::size_t a2 = a1 + 1;
    while (a2 < n && f.recentDue[a2] - f.recentDue[a1] < kTicksPerSecond) ++a2;
    const bool lineAfterHolds =
        lineAfter && a2 < n &&
        std::fabs(aFt + slopeAfter * (f.recentDue[a2] - aDue) - f.recentAlt_ft[a2]) <= kCarriedAgree_ft;
    if (none) {
        path.found = lineAfterHolds;
        path.corner = std::numeric_limits<std::int32_t>::min();
        path.b = path.a;
        path.afterSlope = slopeAfter;
        return path;
    }
    // The line before carried on to the report after the run: that report
    // is no spike itself when the next one lies within its reach, or, while
    // none has come, when it lies on the line within an altimeter step.
    const std::size_t next = a + 1 < n && f.recentDue[a + 1] - aDue < kTicksPerSecond ? a1 : a + 1;
    // The newest report out of its reach tells nothing yet: either of the
    // two may be the spike until a report after them comes.
    const double offLineBefore = std::fabs(bFt + slopeBefore * (aDue - bDue) - aFt);
    const bool nextReached = next < n && reachable(aFt, aDue, f.recentAlt_ft[next], f.recentDue[next]);
    const bool lineBeforeHolds =
        lineBefore && offLineBefore <= kCarriedAgree_ft &&
        (nextReached || (next + 1 >= n && offLineBefore <= kAltimeterStep_ft));
    if (lineBeforeHolds || (lineAfterHolds && std::fabs(aFt - slopeAfter * (aDue - bDue) - bFt) <= kCarriedAgree_ft)) {
        path.found = true;
        path.corner = aDue;
        path.beforeSlope = waySlope;
        return path;
    }
    // A climb that turns into a descent (or back) between them is no
    // corner the two lines tell: a spike among the reports after the run
    // would make one.
    if (!lineBefore || !lineAfter || slopeBefore == slopeAfter || slopeBefore * slopeAfter < 0.0) return path;
    const double corner =
        static_cast<double>(bDue) + (aFt - bFt - slopeAfter * (aDue - bDue)) / (slopeBefore - slopeAfter);
    if (!(corner > bDue && corner < aDue)) return path;
    path.found = true;
    path.corner = static_cast<std::int32_t>(std::lround(corner));
    path.beforeSlope = slopeBefore;
    path.afterSlope = slopeAfter;
    return path;
}

// Whether a light aircraft's report i lies off the path around its run
// (SmoothPath) by more than a reading of the aircraft does, and off the way
// straight across the run too.
bool lf_offPath(const MotionFields& f, const SmoothPath& path, std::size_t i) {
    const double share =
        static_cast<double>(f.recentDue[i] - path.b) / static_cast<double>(std::max(path.a - path.b, 1));
    const double way_ft = path.a == path.b ? path.height(f.recentDue[i])
                                           : path.beforeAt_ft + share * (path.afterAt_ft - path.beforeAt_ft);
    const double gap_s = static_cast<double>(path.a - path.b) / kTicksPerSecond;
    const double off_ft = kOffSmoothPath_ft + kPathBend_ftPerS * std::max(gap_s - kStraightGap_s, 0.0);
    return std::fabs(f.recentAlt_ft[i] - path.height(f.recentDue[i])) > off_ft &&
           std::fabs(f.recentAlt_ft[i] - way_ft) > off_ft;
}

// Whether report i lies on the path the reports on each side of it agree
// on: the aircraft was there.
bool lf_onItsPath(const MotionFields& f, std::size_t n, std::size_t i) {
    if (i + 1 >= n) return false;
    const SmoothPath path = lf_smoothPathAround(f, n, i, i);
    return path.found && !lf_offPath(f, path, i);
}

// Whether a light aircraft's report j, among reports without vertical
// rates, is one of a receiver's run of up to three readings that all lie
// off the path the reports around the run agree on: the aircraft did not
// climb or sink there and back faster than the reports on each side show
// it flies. The whole run is flown on that path. The shortest such run is
// taken, and none holds a report before j that lies on its own path: a
// spike beside a true top, or two spikes after a level that happen to lie
// on one line back to it, would make a longer run of true reports.
// believed: j lies on its own path.
enum class OnPath { unknown, believed, off };

OnPath lf_offSmoothPath(LiveAc& ac, std::size_t n, std::size_t j) {
    const MotionFields& f = ac.motion.more;
    if (lf_onItsPath(f, n, j)) return OnPath::believed;
    for (std::size_t size = 1; size <= kSmoothPathRun; ++size) {
        for (std::size_t first = j + 1 - std::min(j + 1, size); first <= j; ++first) {
            const std::size_t last = first + size - 1;
            if ((first == 0 && size > 1) || last + 1 >= n) continue;
            const SmoothPath path = lf_smoothPathAround(f, n, first, last);
            bool off = path.found;
            for (std::size_t i = first; i <= last && off; ++i)
                off = lf_offPath(f, path, i) && (i >= j || !lf_onItsPath(f, n, i));
            if (!off) continue;
            bool front = false;
            for (std::size_t i = first; i <= last; ++i)
                front = lf_flyReportAt(ac, i, path.height(f.recentDue[i]), false) || front;
            if (front) lf_aimAtFrontReport(ac);
            return OnPath::off;
        }
    }
    return OnPath::unknown;
}

// Whether a light aircraft's report j, among reports without vertical
// rates, is one of a run of up to three readings (lasting no longer than a
// receiver's run of spikes) between two reports that hold a level, each
// reading off it by more than a true report is, where the aircraft could
// not have got to one of them from the report before the run, or back from
// it to the report after, climbing or sinking at its best. Judged by the
// reports as reported, not as flown: a spike after the run leaves the other
// rules no path, and a run of three spikes outvotes a level by its median.
// The level is the aircraft's where more reports keep it, on from the two
// around the run, than lie at j's own height (a receiver's spikes may hold
// a level of their own) or keep company with a reading of the run, each
// within reach of the next (a spike beside a climb makes a level across
// it). Of the levels around j, the one most reports keep (support; 0: none
// found). way_ft: the level at j's time.
struct UnratedWay {
    std::size_t support = 0;
    std::size_t before = 0, after = 0;
    double way_ft = 0.0;
};

UnratedWay lf_unratedRunOutOfReach(const MotionFields& f, std::size_t n, std::size_t j) {
    UnratedWay best;
    const auto reach = [&](std::size_t from, std::size_t to) {
        const double dt_s = std::fabs(static_cast<double>(f.recentDue[to] - f.recentDue[from])) / kTicksPerSecond;
        return kRotorStep_ft + kLightVertical_ftPerS * dt_s;
    };
    for (std::size_t first = j + 1 - std::min(j, kSmoothPathRun); first <= j; ++first) {
        if (first == 0) continue;
        const std::size_t b = first - 1;
        for (std::size_t a = j + 1; a < n && a - first <= kSmoothPathRun; ++a) {
            if (f.recentDue[a - 1] - f.recentDue[first] > kLightSpikeRun_ticks ||
                f.recentDue[a] - f.recentDue[b] > kSmoothPathSpan_ticks)
                break;
            const double bFt = f.recentAlt_ft[b], aFt = f.recentAlt_ft[a];
            if (std::fabs(aFt - bFt) > kLevelHeld_ft) continue;
            const auto way = [&](std::size_t i) {
                const double share = static_cast<double>(f.recentDue[i] - f.recentDue[b]) /
                                     static_cast<double>(std::max(f.recentDue[a] - f.recentDue[b], 1));
                return bFt + share * (aFt - bFt);
            };
            bool off = true, outOfReach = false;
            for (std::size_t i = first; i < a && off; ++i) {
                off = std::fabs(f.recentAlt_ft[i] - way(i)) > kCarriedAgree_ft;
                outOfReach = outOfReach || std::fabs(f.recentAlt_ft[i] - bFt) > reach(b, i) ||
                             std::fabs(aFt - f.recentAlt_ft[i]) > reach(i, a);
            }
            if (!off || !outOfReach) continue;
            // The level's support: the two on either side of the run, and the
            // reports on from them that keep it (over a spike among them).
            const auto onLevel = [&](std::size_t i) { return std::fabs(f.recentAlt_ft[i] - way(i)) <= kLevelHeld_ft; };
            std::size_t support = 2, own = 0;
            for (std::size_t k = b; k > 0; ++support) {
                if (onLevel(k - 1)) k -= 1;
                else if (k > 1 && onLevel(k - 2)) k -= 2;
                else break;
            }
            for (std::size_t k = a; k + 1 < n; ++support) {
                if (onLevel(k + 1)) k += 1;
                else if (k + 2 < n && onLevel(k + 2)) k += 2;
                else break;
            }
            for (std::size_t i = 0; i < n; ++i)
                if (std::fabs(f.recentAlt_ft[i] - f.recentAlt_ft[j]) <= kLevelHeld_ft) ++own;
            std::size_t company = own;
            for (std::size_t i = first; i < a; ++i) {
                std::size_t lo = i, hi = i;
                while (lo > 0 && std::fabs(f.recentAlt_ft[lo] - f.recentAlt_ft[lo - 1]) <= reach(lo - 1, lo)) --lo;
                while (hi + 1 < n && std::fabs(f.recentAlt_ft[hi + 1] - f.recentAlt_ft[hi]) <= reach(hi, hi + 1)) ++hi;
                company = std::max(company, hi - lo + 1);
            }
            // The report before the run or the one after on the level with them.
            if (support < 3 || support <= company || support <= best.support) continue;
            best = UnratedWay{support, b, a, way(j)};
        }
    }
    return best;
}

void lf_smoothWith(LiveAc& ac, double alt_ft, double rate_fpm, std::int32_t due, LatLon place) {
    MotionFields& f = ac.motion.more;
    // A repeat is flown with its report (the stream points up to the next
    // report's): counted again, a spike repeated over a few polls would
    // outvote the reports around it.
    if (lf_repeatedReport(f, alt_ft)) return;
    f.recentReportT_s = f.reportKnown ? f.report.t_s : -1.0;
    if (f.recentCount == f.recentAlt_ft.size()) {
        std::rotate(f.recentAlt_ft.begin(), f.recentAlt_ft.begin() + 1, f.recentAlt_ft.end());
        std::rotate(f.recentDue.begin(), f.recentDue.begin() + 1, f.recentDue.end());
        std::rotate(f.recentRate_fpm.begin(), f.recentRate_fpm.begin() + 1, f.recentRate_fpm.end());
        std::rotate(f.recentFlown_ft.begin(), f.recentFlown_ft.begin() + 1, f.recentFlown_ft.end());
        std::rotate(f.recentPlace.begin(), f.recentPlace.begin() + 1, f.recentPlace.end());
        --f.recentCount;
    }
    f.recentAlt_ft[f.recentCount] = alt_ft;
    f.recentDue[f.recentCount] = due;
    f.recentRate_fpm[f.recentCount] = rate_fpm;
    if (std::fabs(rate_fpm) > 0.0) f.ratesSeen = true;
    f.recentFlown_ft[f.recentCount] = alt_ft;
    f.recentPlace[f.recentCount] = place;
    ++f.recentCount;
    // Each report with as many of the reports around it on both sides as
    // have come (up to two): a median over a window centred on the point
    // keeps a steady climb or descent exactly as reported and takes out a
    // report that jumps off its neighbours.
    const std::size_t n = f.recentCount;
    const bool airliner = gf_isAirliner(ac.category);
    // Once the run fills, the older half has been judged with the reports
    // on both sides: judged again with fewer it would fall back on its own.
    const std::size_t first = n == f.recentAlt_ft.size() ? n / 2 : 0;
    const bool ratesKnown = lf_ratesKnown(f);
    for (std::size_t j = first; j + 1 < n; ++j) {
        const std::size_t near = std::min({kNearReports, j, n - 1 - j});
        if (near == 0) {
            // An airliner's first report in the air has none before it: the
            // next three on one line its rates carry the next along, and it
            // off that line, outvote it. Flown as a spike gave it, it would
            // be the line each report after it is judged on.
            if (j == 0 && airliner && ratesKnown && n >= 4) {
                bool agree = true;
                for (std::size_t k = 2; k <= 3; ++k) {
                    const double gap_s = static_cast<double>(f.recentDue[k] - f.recentDue[1]) / kTicksPerSecond;
                    agree = agree && std::fabs(f.recentAlt_ft[k] - lf_carriedAlong(f, 1, f.recentAlt_ft[1], k)) <=
                                         kRateLine_ft + kRateLine_ftPerS * gap_s;
                }
                const double back_ft = lf_carriedAlong(f, 1, f.recentAlt_ft[1], 0);
                const double back_s = static_cast<double>(f.recentDue[1] - f.recentDue[0]) / kTicksPerSecond;
                if (agree && std::fabs(f.recentAlt_ft[0] - back_ft) > kRateLine_ft + kRateLine_ftPerS * back_s)
                    lf_flyReportAt(ac, 0, back_ft);
            }
            // So is a light aircraft's or glider's, once the three after it
            // lie within its reach of each other and it out of reach of
            // them (a take-off's first report in the air, spiked, would be
            // the height its climb-out aims at), or once the two after it
            // hold a level it lies out of reach of (a level leg's first
            // report, spiked, would be flown to before a third came).
            double back_ft = 0.0;
            if (j == 0 && ac.category == AcCategory::Light && n >= 4 && !lf_lightOutOfReach(f, 2, back_ft, 1) &&
                !lf_lightOutOfReach(f, 3, back_ft, 2) && lf_lightOutOfReach(f, 0, back_ft, 1))
                lf_flyReportAt(ac, 0, back_ft);
            else if (j == 0 && ac.category == AcCategory::Light && n >= 3 && lf_holdsLevel(f, 1) &&
                     lf_lightOutOfReach(f, 0, back_ft, 1))
                lf_flyReportAt(ac, 0, f.recentFlown_ft[1]);
            // Without rates, one off the line the three after it agree on.
            if (j == 0 && ac.category == AcCategory::Light && !ratesKnown) lf_offSmoothPath(ac, n, 0);
            continue;
        }
        // A receiver's spikes come in runs of a few seconds: among reports
        // seconds apart the median takes in as many on each side as such a
        // run lasts, so that the spiked ones stay fewer than the others. A
        // steady climb, descent or level-off is no less its own median for
        // that: its reports lie in order.
        std::size_t half = near;
        while (half < kSpikeRunReports && half < j && half + 1 < n - j &&
               f.recentDue[j + half + 1] - f.recentDue[j] <= kSpikeRun_ticks &&
               f.recentDue[j] - f.recentDue[j - half - 1] <= kSpikeRun_ticks)
            ++half;
        // A light aircraft's, glider's or helicopter's reports may come
        // 5-12 s apart, and a receiver's spikes then stand two or three
        // among the five around a report: the reports before it count at
        // the heights the reports around them gave them, not as reported.
        std::array<double, 11> heights = f.recentAlt_ft;
        if (!airliner) std::copy_n(f.recentFlown_ft.begin(), j, heights.begin());
        // An airliner's report after it that the last pass took for a
        // receiver's spike counts where it was flown, when its own height
        // lies off the line its rates carry the report before it along: two
        // spikes 700 ft low among the five would pull a true report's median
        // down onto them. One on that line counts as reported: the last pass
        // judged it before the reports after it came, pulled perhaps by a
        // spike among them not judged yet.
        // So does one before it that a pass took for a receiver's spike: the
        // runs of spikes on both sides of a true report, counted as
        // reported, outnumber it and pull its median onto them, within the
        // rate line's slack.
        if (airliner && ratesKnown)
            for (std::size_t i = j - std::min(j, half); i < j; ++i)
                if (lf_flownOffLine(f, i)) heights[i] = f.recentFlown_ft[i];
        if (airliner && ratesKnown)
            for (std::size_t i = j + 1; i < n; ++i) {
                if (!lf_flownOffLine(f, i)) continue;
                const RateLine line = lf_rateLine(f, i);
                if (std::fabs(f.recentAlt_ft[i] - line.alt_ft) > line.within_ft) heights[i] = f.recentFlown_ft[i];
            }
        const double median = lf_median(heights, j - half, 2 * half + 1);
        const double own = f.recentAlt_ft[j];
        // The top of a thermal turns within the shorter of the gaps on
        // either side of its report: a report far after the one before
        // and seconds before the next that stands off them went up and
        // down faster than a glider flies.
        const double spacing =
            static_cast<double>(std::min(f.recentDue[j + 1] - f.recentDue[j], f.recentDue[j] - f.recentDue[j - 1]));
        const double scatter = airliner ? kMedianScatter_ft : std::max(kMedianScatter_ft, kMedianScatter_ftPerTick * spacing);
        // A report off the median may still lie on the run of the reports
        // around it (a steep climb with scattered reports among them): it
        // is flown as reported. One off both is flown where the run puts
        // it; a median of five that two or three scattered reports pull
        // would put it a report or two behind and level the climb in steps.
        double flown = own;
        if (std::fabs(own - median) > scatter) {
            const std::size_t reach = std::max(kRunReach, half);
            const std::size_t lo = j - std::min(j, reach);
            const std::size_t hi = std::min(n - 1, j + reach);
            const ReportRun run =
                gf_reportRunAt(heights.data() + lo, f.recentDue.data() + lo, hi - lo + 1, j - lo);
            const bool offRun = std::fabs(own - run.alt_ft) > std::max(scatter, kRunScatters * run.spread_ft);
            flown = !run.found ? median : offRun ? run.alt_ft : own;
        }
        // Only a report the rules above fly as reported: one they moved has
        // reports around it that outvote it already.
        // An airliner's transponder; a glider's or a helicopter's rate
        // swings faster than its reports come.
        if (airliner && flown == own) {
            const std::size_t lo = j - std::min(j, kRunReach);
            const std::size_t hi = std::min(n - 1, j + kRunReach);
            double agreed_ft = 0.0;
            if (lf_rateCarriedHeight(f, lo, hi, j, agreed_ft) && std::fabs(flown - agreed_ft) > kHeldStep_ft)
                flown = agreed_ft;
        }
        // An airliner's report on the line its rates carry the one before
        // along is flown as reported, whatever spikes around it pull the
        // median to; one off it for no longer than a run of spikes is
        // flown on the line. The line's slack is for a rate that lags a
        // climb's or descent's readings: where the rates of both reports
        // hold a level, a step from the one before that neither rate shows
        // (200 ft in a second or two) is a receiver's, not the aircraft's.
        if (airliner && ratesKnown && j > 0) {
            const RateLine line = lf_rateLine(f, j);
            const bool level = std::fabs(f.recentRate_fpm[j - 1]) < kSteadyRate_fpm &&
                               std::fabs(f.recentRate_fpm[j]) < kSteadyRate_fpm;
            const bool stepped = level && lf_beyondRates(f, j - 1, f.recentFlown_ft[j - 1], j, own);
            if (std::fabs(own - line.alt_ft) <= line.within_ft && !stepped) {
                if (std::fabs(flown - line.alt_ft) > line.within_ft) flown = own;
            } else if (lf_spikesBefore(ac, j)) {
                flown = own;
            } else if (lf_spikeOffLine(f, j, line)) {
                flown = line.alt_ft;
            }
        }
        // An airliner's report still flown as reported that is one of the
        // lesser of two receivers' families of readings taking turns around
        // it is flown at the larger one's: the two sides' reports beside it
        // may be of the lesser one too.
        double larger_ft = 0.0;
        if (airliner && ratesKnown && flown == own && lf_lesserFamily(f, n, j, larger_ft)) flown = larger_ft;
        // A climb is never lower than the report before it, nor a descent
        // higher: an airliner's report still flown as reported that lies off
        // both reports beside it the other way from their rates and its own
        // is a receiver's spike however the run bends (a climb that eases
        // off), and is flown on the line between the two: held at the one
        // before, it would level the climb for a report.
        double beside_ft = 0.0;
        if (airliner && ratesKnown && flown == own && lf_againstTheRates(f, j, scatter, beside_ft)) flown = beside_ft;
        if (airliner && ratesKnown && flown == own && lf_behindTheRates(f, n, j, scatter, beside_ft)) flown = beside_ft;
        double held_ft = 0.0;
        LatLon heldPlace{};
        const double maxClimb_ft = gf_categoryMotion(ac.category).maxClimb_ft;
        if (airliner && ratesKnown && lf_heldOffLine(f, maxClimb_ft, n, j, held_ft, heldPlace)) {
            flown = held_ft;
            if (gf_distanceNm(heldPlace, f.recentPlace[j]) > kNeighbourScatter_nm) lf_placeReportAt(ac, j, heldPlace);
        }
        // Nor is a run the aircraft could not have stepped onto and back from.
        double way_ft = 0.0;
        if (airliner && ratesKnown && lf_outAndBack(ac, maxClimb_ft, n, j, way_ft)) flown = way_ft;
        // A light aircraft's reports without rates, seconds apart: one that
        // leaves the level the two before it were flown at faster than it
        // climbs or sinks from level, with only one report after it, is
        // held at that level until a second report after it tells a step
        // the reports keep from a run of spikes that agree.
        if (ac.category == AcCategory::Light && !ratesKnown && near == 1 && j >= 2 && flown == own &&
            lf_leavesLevel(f, j))
            flown = f.recentFlown_ft[j - 1];
        double offWay_ft = 0.0;
        if (ac.category == AcCategory::Light && !ratesKnown && flown == own && lf_offTheWays(f, n, j, scatter, offWay_ft))
            flown = offWay_ft;
        else if (ac.category == AcCategory::Light && !ratesKnown && flown == own &&
                 lf_lagsAgreedWay(f, n, j, offWay_ft))
            flown = offWay_ft;
        double carried_ft = 0.0;
        if (ac.category == AcCategory::Rotorcraft && lf_rotorOutOfReach(f, j, carried_ft)) flown = carried_ft;
        // A light aircraft's or glider's report out of its reach stays held
        // while one report after it agrees with it: a receiver's two spikes
        // in a row do. A second one after it tells a step by the median.
        if (ac.category == AcCategory::Light && near == 1 && flown == own && lf_lightOutOfReach(f, j, carried_ft))
            flown = carried_ft;
        // So does one the median moved toward the report after it, when
        // that one lies out of reach of it too: a spike after a spike pulls
        // the median its way, and judged from there it would be in reach.
        else if (ac.category == AcCategory::Light && near == 1 && flown != own &&
                 lf_lightOutOfReach(f, j, carried_ft) && lf_lightOutOfReachOf(f, j + 1, j, carried_ft))
            flown = carried_ft;
        // Nor is one the rules above fly as reported that lies in a run of
        // spikes off a level it could not have come back from as fast as
        // the reports do.
        double level_ft = 0.0;
        if (ac.category == AcCategory::Light && flown == own && lf_backToLevel(f, n, j, level_ft)) flown = level_ft;
        // Nor is one of a run it could neither have got onto nor back from.
        double lightWay_ft = 0.0;
        if (ac.category == AcCategory::Light && lf_lightOutAndBack(ac, n, j, lightWay_ft)) flown = lightWay_ft;
        double agreed_ft = 0.0;
        if (ac.category == AcCategory::Light && ratesKnown && lf_lightRuledOut(f, n, j, agreed_ft)) flown = agreed_ft;
        double agreedWay_ft = 0.0;
        if (ac.category == AcCategory::Light && ratesKnown && lf_lightOffAgreedWay(f, n, j, agreedWay_ft))
            flown = agreedWay_ft;
        // A light aircraft's reports without rates: one of a run off the
        // path the reports around it agree on is flown on that path, with
        // its run, whatever the rules above made of it.
        if (ac.category == AcCategory::Light && !ratesKnown && lf_offSmoothPath(ac, n, j) == OnPath::off) continue;
        // Last: where most of the reports around an airliner's report agree
        // along their rates, it is flown as reported when it agrees too,
        // whatever the rules above made of the spikes around it, and at
        // their height when it lies farther off than a held reading or a
        // lagging rate takes it: they rule it out.
        double mostAgreed_ft = 0.0;
        bool among = false;
        if (airliner && lf_mostAgree(f, n, j, mostAgreed_ft, among)) {
            if (among) flown = own;
            else if (std::fabs(own - mostAgreed_ft) > kHeldStep_ft) flown = mostAgreed_ft;
        }
        lf_flyReportAt(ac, j, flown);
    }
    // Whatever the rules above made of them, an airliner's reports are
    // flown nowhere the reports on both sides, carried along their rates,
    // agree rules out: each at its own height where that is the one they
    // agree on; at theirs where its own lies off it farther than their
    // agreement on a level, or than the held-step distance in a climb or
    // descent (a transponder's reading ahead that the rates catch up with,
    // a place sent ahead flown at the height of its later time). Judged
    // from the heights flown before it, a report would take
    // on their error: a spike let in as a step within the rate line's
    // slack would hold every true report after it hundreds of feet off as
    // a run of spikes. Judged last, as the rules that fly a whole run of
    // reports on a way may move the reports judged before.
    if (airliner && ratesKnown)
        for (std::size_t j = std::max<std::size_t>(first, 2); j + 1 < n; ++j) {
            double agreed_ft = 0.0;
            if (!lf_sidesAgree(f, n, j, agreed_ft)) continue;
            const double own = f.recentAlt_ft[j], flown = f.recentFlown_ft[j];
            const double off_ft = own - agreed_ft;
            const double ruledOut_ft =
                std::fabs(f.recentRate_fpm[j]) >= kSteadyRate_fpm ? kHeldStep_ft : kCarriedAgree_ft;
            if (std::fabs(off_ft) <= kCarriedAgree_ft && std::fabs(flown - agreed_ft) > kCarriedAgree_ft)
                lf_flyReportAt(ac, j, own);
            else if (std::fabs(off_ft) > ruledOut_ft && std::fabs(flown - agreed_ft) > ruledOut_ft)
                lf_flyReportAt(ac, j, agreed_ft);
        }
    // Last for a light aircraft's reports without rates: a run the aircraft
    // could not have flown to and back from is flown on the level the
    // reports on either side keep, and those two, moved by the rules above
    // that a spike beside them misled, as reported.
    if (ac.category == AcCategory::Light && !ratesKnown) {
        std::array<UnratedWay, 11> run{};
        std::array<std::size_t, 11> beside{};  // the most support of a level j keeps beside a run
        for (std::size_t j = 1; j + 1 < n; ++j) {
            run[j] = lf_unratedRunOutOfReach(f, n, j);
            if (run[j].support == 0) continue;
            beside[run[j].before] = std::max(beside[run[j].before], run[j].support);
            beside[run[j].after] = std::max(beside[run[j].after], run[j].support);
        }
        for (std::size_t j = first; j + 1 < n; ++j) {
            if (run[j].support > beside[j]) lf_flyReportAt(ac, j, run[j].way_ft);
            else if (beside[j] > 0 && std::fabs(f.recentFlown_ft[j] - f.recentAlt_ft[j]) > kCarriedAgree_ft)
                lf_flyReportAt(ac, j, f.recentAlt_ft[j]);
        }
    }
    // A helicopter's newest report is flown to before any report after it
    // can outvote it: one out of its reach is not flown even that long (a
    // spike to the ground would set it down). So is a light aircraft's or
    // glider's, whose next report may come ten seconds on.
    double carried_ft = 0.0;
    const bool outOfReach = ac.category == AcCategory::Rotorcraft ? lf_rotorOutOfReach(f, n - 1, carried_ft)
                            : ac.category == AcCategory::Light    ? lf_lightOutOfReach(f, n - 1, carried_ft)
                                                                  : false;
    if (!outOfReach) return;
    f.recentFlown_ft[n - 1] = carried_ft;
    for (std::size_t i = ac.stream.size(); i-- > 1;) {
        StreamPoint& p = ac.stream[i];
        if (p.time < f.recentDue[n - 1]) break;
        if (p.airborne) p.alt = carried_ft;
    }
}

}  // namespace

void gf_smoothStreamAltitudes(LiveAc& ac) {
    if (ac.stream.empty()) return;
    const StreamPoint& added = ac.stream.back();
    if (!added.airborne) {
        // The ground ends the run: a touchdown is flown to as reported.
        MotionFields& f = ac.motion.more;
        const std::size_t n = ac.stream.size();
        if (n >= 2 && ac.stream[n - 2].airborne) f.runBeforeGround = f.recentCount;
        f.recentCount = 0;
        return;
    }
    lf_smoothWith(ac, added.alt, added.vrate, added.time, LatLon{added.lat, added.lon});
}

void gf_noteRefusedReport(LiveAc& ac, const FlightRecord& record) {
    MotionFields& f = ac.motion.more;
    const StreamPoint& p = record.point;
    // The first time of a place held over reports is when it was the place.
    if (f.refusedKnown && std::fabs(f.refused.lat - p.lat) < kSamePosition_deg &&
        std::fabs(f.refused.lon - p.lon) < kSamePosition_deg)
        return;
    f.refusedKnown = true;
    f.refused = Report{p.airborne, record.feedTime, p.lat, p.lon, p.alt, p.gs, p.track};
}

void gf_noteReportAltitude(LiveAc& ac, const StreamPoint& report) {
    const MotionFields& f = ac.motion.more;
    // Only within a run in the air, and each report once (the feed repeats
    // a report until the next comes).
    if (!report.airborne || f.recentCount == 0 || report.time <= f.recentDue[f.recentCount - 1] ||
        lf_repeatedReport(f, report.alt))
        return;
    lf_smoothWith(ac, report.alt, report.vrate, report.time, LatLon{report.lat, report.lon});
}

bool gf_carryToPlaceAhead(const LiveAc& ac, StreamPoint& point, double feedTime) {
    double reached_s = 0.0, height_ft = 0.0;
    if (!gf_isAirliner(ac.category) || !point.airborne ||
        !lf_placeAheadOfLast(ac, point, feedTime, reached_s, height_ft))
        return false;
    const MotionFields& f = ac.motion.more;
    point.time = f.recentDue[f.recentCount - 1] + static_cast<std::int32_t>(std::lround(reached_s * kTicksPerSecond));
    point.alt = height_ft;
    return true;
}

bool gf_dropRuledOutGround(LiveAc& ac, const FlightRecord& record) {
    const StreamPoint& p = record.point;
    MotionFields& f = ac.motion.more;
    if (!p.airborne || ac.stream.empty() || ac.stream.back().airborne) return false;
    // The ground points at the end, after a point in the air; the front
    // point is being flown to and stays.
    std::size_t first = ac.stream.size();
    while (first > 1 && !ac.stream[first - 1].airborne) --first;
    if (!ac.stream[first - 1].airborne) return false;
    // The run in the air they ended, with the reports the stream left out:
    // its last report no longer ago than a run of spikes lasts.
    const std::size_t n = f.runBeforeGround;
    if (n == 0 || n > f.recentAlt_ft.size() || f.recentDue[n - 1] >= ac.stream[first].time ||
        p.time - f.recentDue[n - 1] > kGroundSpikeSpan_ticks)
        return false;
    std::array<double, kCarriedReports> carried{};
    std::size_t m = 0;
    for (std::size_t i = n; i-- > 0 && m < carried.size();) {
        if (p.time - f.recentDue[i] > kCarriedFrom_ticks) break;
        // A feed without the rate sends none (0): its descent carried flat
        // tells nothing of where the aircraft went.
        if (!(std::fabs(f.recentRate_fpm[i]) > 0.0)) return false;
        carried[m++] = f.recentFlown_ft[i] +
                       f.recentRate_fpm[i] / 60.0 * static_cast<double>(p.time - f.recentDue[i]) / kTicksPerSecond;
    }
    if (m < 2) return false;
    std::nth_element(carried.begin(), carried.begin() + static_cast<std::ptrdiff_t>(m / 2),
                     carried.begin() + static_cast<std::ptrdiff_t>(m));
    const double run_ft = carried[m / 2];
    double ground_ft = 0.0;
    if (!lf_groundUnder(ac, ground_ft)) return false;
    const double clear_ft = ground_ft + ac.cgHeight + kClearOfGround_ft;
    if (std::fabs(p.alt - run_ft) > kGroundSpikeAgree_ft || p.alt < clear_ft || run_ft < clear_ft) return false;
    ac.stream.erase(ac.stream.begin() + static_cast<std::ptrdiff_t>(first), ac.stream.end());
    f.recentCount = n;
    return true;
}
