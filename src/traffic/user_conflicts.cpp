// Live aircraft follow their received streams and know nothing of the user's
// aircraft: one that would run into it on the ground or fly through it is
// removed, one a call.
#include <cmath>
#include <optional>
#include <utility>

#include "core/geometry.h"
#include "traffic/ai_commands.h"
#include "traffic/static_parking.h"
#include "traffic/traffic_link.h"

namespace {

constexpr double kFeetPerNm = 6076.11549;
constexpr double kPi = 3.141592653589793;
constexpr double kGroundTestBelow_ft = 500.0;
constexpr double kGroundRange_nm = 1.0;
constexpr double kGroundOffset_ft = 50.0;
constexpr double kAirRange_nm = 4.0;
constexpr double kAirLevel_ft = 1000.0;
constexpr double kAirOffset_ft = 700.0;
// Two aircraft share a runway when their headings run along one line (either
// way; a crab on final stays well inside) and one lies on the runway's
// centre line, the other within this many feet of it: half the widest
// runways' 60 m and a margin. A parallel taxiway lies 250 ft and more from
// the centre line: a user waiting there is not on the runway.
constexpr double kAlong_rad = 30.0 * kPi / 180.0;
constexpr double kOnRunway_ft = 150.0;
// A flying user's track is taken from where it was a look before, when it
// moved at a flying aircraft's pace since: a second at 20 to 3,600 kt.
constexpr double kTrackFrom_nm = 20.0 / 3600.0;
constexpr double kTrackTo_nm = 1.0;
// A user whose track turned by more than this since the look before is
// turning (onto final, round a circuit): its line sweeps across the
// airport and tells no runway.
constexpr double kSteadyTrack_rad = 2.0 * kPi / 180.0;
// A user on final descends toward the runway; one flying level over the
// aprons (a circuit's downwind leg) passes over what taxis along its line.
constexpr double kOnFinalSink_ftPerLook = 3.0;
// A grounded user's aircraft and another one closer than this many times
// the two half wing spans would overlap.
constexpr double kGroundedLiveFactor = 1.15;
constexpr double kGroundedStaticFactor = 1.1;
constexpr double kUserMoved_deg = 1e-8;

// Where the grounded user's aircraft stood when the static aircraft were
// last looked at: they cannot move, so only a moving user meets one.
LatLon g_userLastLook{0.0, 0.0};
// Where the flying user was at the last look (none after a look on the
// ground): on final its track is the runway's extended centre line, while
// its nose is off it by the crab a crosswind takes.
std::optional<LatLon> g_userLastAirLook;
std::optional<double> g_userLastAirTrack;
double g_userLastAirAlt_ft = 0.0;

double lf_intoPlusMinusPi(double a) {
    a = std::remainder(a, 2.0 * kPi);
    return a;
}

// How far a point d_nm away at `bearing` lies from a line through here with
// that heading: d x |sin| of the angle between them, in feet.
double lf_offLine_ft(double bearing, double lineHeading, double d_nm) {
    return std::fabs(std::sin(lf_intoPlusMinusPi(bearing - lineHeading))) * d_nm * kFeetPerNm;
}

bool lf_along(double headingA, double headingB) {
    const double off = std::fabs(lf_intoPlusMinusPi(headingA - headingB));
    return off <= kAlong_rad || off >= kPi - kAlong_rad;
}

// An aircraft on its stand, arriving there or leaving it stands beside the
// runways: the user flying past it is no cause to take it away.
bool lf_onItsStand(const LiveAc& ac) {
    switch (ac.flightState) {
    case FlightState::parked:
    case FlightState::parking:
    case FlightState::pushing_back:
    case FlightState::pushed_back: return true;
    default: return false;
    }
}

// The user aircraft close in front of or behind the live one on its line.
bool lf_groundConflict(const LiveAc& ac, const UserAcData& user, LatLon userPos, double d_nm) {
    if (!ac.groundMode || user.altAboveGround_ft >= kGroundTestBelow_ft || d_nm > kGroundRange_nm) return false;
    const double bearing = gf_initialBearing(userPos, {ac.pos.lat, ac.pos.lon});
    return lf_offLine_ft(bearing, user.heading_rad, d_nm) <= kGroundOffset_ft;
}

// The user aircraft near the live one's track line, at its level. For one
// on the ground the line is a stand's or a taxiway's as often as a
// runway's: it counts only when it stands along the user's own line and on
// it, as on the runway the user lands on or takes off from. That line is
// the user's track, the runway's extended centre line on final: the nose of
// an aircraft lined up is often a few degrees off the runway's heading,
// which at 3 nm puts its own line a thousand feet from the user.
bool lf_airConflict(const LiveAc& ac, const UserAcData& user, LatLon userPos, std::optional<double> userTrack,
                    double d_nm) {
    if (d_nm > kAirRange_nm || std::fabs(ac.pos.alt - user.alt_ft) >= kAirLevel_ft) return false;
    const double bearing = gf_initialBearing(userPos, {ac.pos.lat, ac.pos.lon});
    if (!ac.groundMode) return lf_offLine_ft(bearing, ac.pos.heading, d_nm) <= kAirOffset_ft;
    return userTrack && lf_along(ac.pos.heading, *userTrack) && lf_offLine_ft(bearing, *userTrack, d_nm) <= kOnRunway_ft;
}

// The line the flying user follows: its track since the last look when
// that look was a second ago in flight, else its heading; none while the
// track turns.
std::optional<double> lf_userTrack(const UserAcData& user, LatLon userPos) {
    const std::optional<LatLon> before = std::exchange(g_userLastAirLook, userPos);
    const std::optional<double> trackBefore = std::exchange(g_userLastAirTrack, std::nullopt);
    const double altBefore_ft = std::exchange(g_userLastAirAlt_ft, user.alt_ft);
    if (!before) return user.heading_rad;
    if (altBefore_ft - user.alt_ft < kOnFinalSink_ftPerLook) return std::nullopt;
    const double moved_nm = gf_distanceNm(*before, userPos);
    if (moved_nm < kTrackFrom_nm || moved_nm > kTrackTo_nm) return user.heading_rad;
    const double track = gf_initialBearing(*before, userPos);
    g_userLastAirTrack = track;
    if (trackBefore && std::fabs(lf_intoPlusMinusPi(track - *trackBefore)) > kSteadyTrack_rad) return std::nullopt;
    return track;
}

// A user standing on a runway and an aircraft flying down that runway's line
// toward it, at the level of its final approach.
bool lf_arrivalToUser(const LiveAc& ac, const UserAcData& user, LatLon userPos) {
    if (ac.groundMode || std::fabs(ac.pos.alt - user.alt_ft) >= kAirLevel_ft) return false;
    const LatLon acPos{ac.pos.lat, ac.pos.lon};
    const double d_nm = gf_distanceNm(userPos, acPos);
    if (d_nm > kAirRange_nm || !lf_along(ac.pos.heading, user.heading_rad)) return false;
    // On the runway, not beside it: the arrival comes down the user's line.
    if (lf_offLine_ft(gf_initialBearing(userPos, acPos), user.heading_rad, d_nm) > kOnRunway_ft) return false;
    // Flying toward the user, not away from it after its own take-off.
    return std::fabs(lf_intoPlusMinusPi(gf_initialBearing(acPos, userPos) - ac.pos.heading)) < kPi / 2.0;
}

}  // namespace

void gf_removeUserConflicts() {
    const UserAcData user = g_userAcData;
    const LatLon userPos{user.lat_deg, user.lon_deg};
    const std::optional<double> userTrack = lf_userTrack(user, userPos);
    for (LiveAc& ac : g_liveAc) {
        if (ac.simState != SimState::active || (ac.groundMode && lf_onItsStand(ac))) continue;
        const double d = gf_distanceNm(userPos, {ac.pos.lat, ac.pos.lon});
        // The air test also covers aircraft on the ground: one lined up on
        // the runway ahead of a user on final is in the way.
        if (lf_groundConflict(ac, user, userPos, d) || lf_airConflict(ac, user, userPos, userTrack, d)) {
            removeAircraftFromSim(ac);
            return;
        }
    }
}

void gf_removeGroundedUserConflicts() {
    const UserAcData user = g_userAcData;
    const LatLon userPos{user.lat_deg, user.lon_deg};
    const double userHalfSpan = gf_userHalfWingspanNm().value_or(0.0);
    g_userLastAirLook.reset();
    g_userLastAirTrack.reset();
    for (LiveAc& ac : g_liveAc) {
        if (ac.simState != SimState::active || !ac.groundMode) continue;
        if (gf_distanceNm(userPos, {ac.pos.lat, ac.pos.lon}) <= kGroundedLiveFactor * (userHalfSpan + ac.size)) {
            removeAircraftFromSim(ac);
            return;
        }
    }
    // The circle above sees nothing in the air: an arrival to the runway the
    // user stands on would land through it.
    for (LiveAc& ac : g_liveAc) {
        if (ac.simState == SimState::active && lf_arrivalToUser(ac, user, userPos)) {
            removeAircraftFromSim(ac);
            return;
        }
    }
    if (std::fabs(userPos.lat - g_userLastLook.lat) < kUserMoved_deg &&
        std::fabs(userPos.lon - g_userLastLook.lon) < kUserMoved_deg)
        return;
    g_userLastLook = userPos;
    for (StaticAc& ac : g_staticAc) {
        if (ac.simState != SimState::active) continue;
        if (gf_distanceNm(userPos, {ac.standLat, ac.standLon}) <= kGroundedStaticFactor * (userHalfSpan + ac.size)) {
            removeAircraftFromSim(ac);
            return;
        }
    }
}

void gf_resetUserConflicts() {
    g_userLastLook = LatLon{0.0, 0.0};
    g_userLastAirLook.reset();
    g_userLastAirTrack.reset();
}
