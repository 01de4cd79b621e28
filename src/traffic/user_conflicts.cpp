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

// The user aircraft close in front of or behind the live one on its line.
bool lf_groundConflict(const LiveAc& ac, const UserAcData& user, LatLon userPos, double d_nm) {
    if (!ac.groundMode || user.altAboveGround_ft >= kGroundTestBelow_ft || d_nm > kGroundRange_nm) return false;
    const double bearing = gf_initialBearing(userPos, {ac.pos.lat, ac.pos.lon});
    const double off = lf_intoPlusMinusPi(bearing - user.heading_rad);
    return std::sin(std::fabs(off)) * d_nm * kFeetPerNm <= kGroundOffset_ft;
}

// The user aircraft near the live one's track line, at its level. The
// distance from the line is d x |sin| of the angle between the track and
// the bearing, all in radians.
bool lf_airConflict(const LiveAc& ac, const UserAcData& user, LatLon userPos, double d_nm) {
    if (d_nm > kAirRange_nm || std::fabs(ac.pos.alt - user.alt_ft) >= kAirLevel_ft) return false;
    const double bearing = gf_initialBearing(userPos, {ac.pos.lat, ac.pos.lon});
    const double a = lf_intoPlusMinusPi(ac.pos.heading - bearing);
    return std::fabs(std::sin(a)) * d_nm * kFeetPerNm <= kAirOffset_ft;
}

}  // namespace

void gf_removeUserConflicts() {
    const UserAcData user = g_userAcData;
    const LatLon userPos{user.lat_deg, user.lon_deg};
    for (LiveAc& ac : g_liveAc) {
        if (ac.simState != SimState::active) continue;
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
