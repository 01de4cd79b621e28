// Live aircraft follow their received streams and know nothing of the user's
// aircraft: one that would run into it on the ground or fly through it is
// removed, one a call.
#include <cmath>
#include <optional>

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
// way; a crab on final stays well inside) and one lies within this many feet
// of the other's line: a runway's half width and a margin, well short of a
// parallel taxiway or an apron.
constexpr double kAlong_rad = 30.0 * kPi / 180.0;
constexpr double kRunwayLine_ft = 300.0;
// A grounded user's aircraft and another one closer than this many times
// the two half wing spans would overlap.
constexpr double kGroundedLiveFactor = 1.15;
constexpr double kGroundedStaticFactor = 1.1;
constexpr double kUserMoved_deg = 1e-8;

// Where the grounded user's aircraft stood when the static aircraft were
// last looked at: they cannot move, so only a moving user meets one.
LatLon g_userLastLook{0.0, 0.0};

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
// runway's: it counts only when it lies along the user's own line, the
// user close to it, as on the runway the user lands on or takes off from.
bool lf_airConflict(const LiveAc& ac, const UserAcData& user, LatLon userPos, double d_nm) {
    if (d_nm > kAirRange_nm || std::fabs(ac.pos.alt - user.alt_ft) >= kAirLevel_ft) return false;
    const double off_ft = lf_offLine_ft(gf_initialBearing(userPos, {ac.pos.lat, ac.pos.lon}), ac.pos.heading, d_nm);
    if (!ac.groundMode) return off_ft <= kAirOffset_ft;
    return lf_along(ac.pos.heading, user.heading_rad) && off_ft <= kRunwayLine_ft;
}

// A user standing on a runway and an aircraft flying down that runway's line
// toward it, at the level of its final approach.
bool lf_arrivalToUser(const LiveAc& ac, const UserAcData& user, LatLon userPos) {
    if (ac.groundMode || std::fabs(ac.pos.alt - user.alt_ft) >= kAirLevel_ft) return false;
    const LatLon acPos{ac.pos.lat, ac.pos.lon};
    const double d_nm = gf_distanceNm(userPos, acPos);
    if (d_nm > kAirRange_nm || !lf_along(ac.pos.heading, user.heading_rad)) return false;
    if (lf_offLine_ft(gf_initialBearing(userPos, acPos), user.heading_rad, d_nm) > kRunwayLine_ft) return false;
    // Flying toward the user, not away from it after its own take-off.
    return std::fabs(lf_intoPlusMinusPi(gf_initialBearing(acPos, userPos) - ac.pos.heading)) < kPi / 2.0;
}

}  // namespace

void gf_removeUserConflicts() {
    const UserAcData user = g_userAcData;
    const LatLon userPos{user.lat_deg, user.lon_deg};
    for (LiveAc& ac : g_liveAc) {
        if (ac.simState != SimState::active || (ac.groundMode && lf_onItsStand(ac))) continue;
        const double d = gf_distanceNm(userPos, {ac.pos.lat, ac.pos.lon});
        // The air test also covers aircraft on the ground: one lined up on
        // the runway ahead of a user on final is in the way.
        if (lf_groundConflict(ac, user, userPos, d) || lf_airConflict(ac, user, userPos, d)) {
            removeAircraftFromSim(ac);
            return;
        }
    }
}

void gf_removeGroundedUserConflicts() {
    const UserAcData user = g_userAcData;
    const LatLon userPos{user.lat_deg, user.lon_deg};
    const double userHalfSpan = gf_userHalfWingspanNm().value_or(0.0);
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

void gf_resetUserConflicts() { g_userLastLook = LatLon{0.0, 0.0}; }
