#include "traffic/spawn.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "airports/park_airport_state.h"
#include "catalogue/dbase_queries.h"
#include "catalogue/match_report.h"
#include "catalogue/matcher.h"
#include "core/geometry.h"
#include "core/log.h"
#include "core/settings.h"
#include "simlink/creation_tracking.h"
#include "traffic/engine_support.h"
#include "traffic/motion_common.h"
#include "traffic/parking.h"
#include "traffic/removal_rules.h"
#include "traffic/stand_choice.h"
#include "traffic/traffic_link.h"
#include "traffic/traffic_state.h"

namespace {

constexpr std::size_t kMaxQueuedBirths = 10;
constexpr double kHoldUserGs_kt = 8.0;
constexpr double kHoldNear_nm = 0.26997840172786175;  // 500 m
constexpr double kUserGroundGap_nm = 0.08099352;       // 150 m
constexpr double kAirReach_nm = 6.0;
constexpr double kAirBand_ft = 3000.0;
constexpr double kAirCross_ft = 4000.0;
constexpr double kGroundReach_nm = 1.5;
constexpr double kUserLow_ft = 1000.0;
constexpr double kGroundCross_ft = 500.0;
constexpr double kFeetPerNm = 6076.11549;
constexpr double kBirthAirportReach_nm = 5.0;
constexpr double kStillReach_nm = 0.018898488;   // 35 m
constexpr double kStandSearch_nm = 0.029697624;  // 55 m
constexpr double kStillGs_kt = 5.0;

bool lf_due(const LiveAc& ac) {
    const StreamPoint& front = ac.stream.front();
    const std::int32_t lead = !front.airborne && front.gs != 0.0 ? kGroundSpawnLead : kSpawnLead;
    return g_trafficTick.load() >= front.time - lead;
}

// At least the great-circle distance between two points (and at least the
// haversine's figure for it, rounding and all), without the trigonometry:
// sin x <= x, cos x <= 1 - x^2/2 + x^4/24 for a latitude, and
// asin x <= x / sqrt(1 - x^2). Infinite (no bound) far apart or off the
// globe, NaN with a coordinate that is none.
double lf_distanceAboveNm(const StreamPoint& a, const StreamPoint& b) {
    if (!(std::fabs(a.lat) <= 90.0 && std::fabs(b.lat) <= 90.0)) return std::numeric_limits<double>::infinity();
    const auto cosAbove = [](double lat_deg) {
        const double x2 = lat_deg * kDegToRad * (lat_deg * kDegToRad);
        return 1.0 - x2 / 2.0 + x2 * x2 / 24.0;
    };
    const double halfDphi = (b.lat - a.lat) * kDegToRad / 2.0;
    const double halfDlambda = (b.lon - a.lon) * kDegToRad / 2.0;
    const double h = halfDphi * halfDphi + cosAbove(a.lat) * cosAbove(b.lat) * halfDlambda * halfDlambda;
    if (!(h <= 0.25)) return h == h ? std::numeric_limits<double>::infinity() : h;
    // The margins cover the rounding of both figures many times over.
    return std::sqrt(h / (1.0 - h)) * kTwoEarthRadiiNm * (1.0 + 1e-9) + 1e-9;
}

// At most the great-circle distance between two points (and at most the
// haversine's figure for it, rounding and all), without the trigonometry:
// sin x >= x - x^3/6, cos x >= 1 - x^2/2 + x^4/24 - x^6/720 for a latitude,
// and asin x >= x. NaN where no bound is taken (a coordinate off the globe
// or none).
double lf_distanceBelowNm(const LatLon& a, const LatLon& b) {
    if (!(std::fabs(a.lat) <= 90.0 && std::fabs(b.lat) <= 90.0 && std::isfinite(a.lon) && std::isfinite(b.lon)))
        return std::numeric_limits<double>::quiet_NaN();
    const auto cosBelow = [](double lat_deg) {
        const double x2 = lat_deg * kDegToRad * (lat_deg * kDegToRad);
        return std::max(1.0 - x2 / 2.0 + x2 * x2 / 24.0 - x2 * x2 * x2 / 720.0, 0.0);
    };
    const auto sinBelow = [](double y) { return std::max(y - y * y * y / 6.0, 0.0); };
    const double halfDphi = std::fabs(b.lat - a.lat) * kDegToRad / 2.0;
    const double halfDlambda = std::fabs(b.lon - a.lon) * kDegToRad / 2.0;
    if (!(halfDlambda <= kFullTurnRad / 4.0)) return 0.0;
    const double sp = sinBelow(halfDphi), sl = sinBelow(halfDlambda);
    const double h = sp * sp + cosBelow(a.lat) * cosBelow(b.lat) * sl * sl;
    // The margins cover the rounding of both figures many times over.
    return std::sqrt(h) * kTwoEarthRadiiNm * (1.0 - 1e-9) - 1e-9;
}

// The service goes on sending a report for some time after the receiver
// lost the aircraft, and each copy falls due like a fresh one: an aircraft
// born there would have to leap to its next report, minutes of flight away.
// While nobody sees it yet it is born further on instead.
bool lf_unflyableFront(const LiveAc& ac) {
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    if (!front.airborne || !next.airborne) return false;
    const double ticks = std::max<double>(static_cast<double>(next.time) - front.time, kMinSegmentTicks);
    const double flyable = lf_flyableSpeed(front, next);
    // A poll's waiting aircraft fall due together, thousands in a busy
    // region, and nearly all of them plainly flyable: the bound tells those
    // without the trigonometry.
    if (lf_distanceAboveNm(front, next) * kTicksPerHourKt / ticks <= flyable) return false;
    return lf_distanceNm(front, next) * kTicksPerHourKt / ticks > flyable;
}

bool lf_mixedStream(const LiveAc& ac) {
    // One walk of the stream: it ends at the first point that differs from
    // the front.
    if (ac.stream.empty()) return false;
    const bool air = ac.stream.front().airborne;
    return std::any_of(ac.stream.begin(), ac.stream.end(), [air](const StreamPoint& p) { return p.airborne != air; });
}

bool lf_dropFront(LiveAc& ac) {
    ac.stream.pop_front();
    return true;
}

double lf_piRange(double a) {
    constexpr double kPi = kFullTurnRad / 2.0;
    a = std::fmod(a + kPi, kFullTurnRad);
    if (a < 0.0) a += kFullTurnRad;
    return a - kPi;
}

double lf_crossDistance_ft(double angle, double dist_nm) { return std::sin(std::fabs(angle)) * dist_nm * kFeetPerNm; }

bool lf_isGhost(const std::string& callsign) { return !callsign.empty() && callsign.back() == '_'; }

// The Dbase knows the registration better than the feed.
void lf_fillFromDbase(LiveAc& ac) {
    if (ac.registration.empty()) return;
    const auto record = gf_lookupRegistration(ac.registration);
    if (!record) return;
    ac.airline = record->airl;
    ac.type = record->type;
    if (!record->opr.empty()) ac.airline = record->opr;
    ac.cargo = record->cargo ? 1 : 0;
    if (!gf_callsignValid(ac)) {
        ac.callsign = ac.registration;
        gf_noteCallsignOfPass(ac);
    }
}

// False when no livery fits (the aircraft is dropped then).
bool lf_chooseLivery(LiveAc& ac) {
    if (!ac.liveryTitle.empty()) return true;
    ac.liveryTitle = gf_rememberedLiveryTitle(ac.hexid);
    if (!ac.liveryTitle.empty()) return true;
    AcHead head = gf_acHeadOf(ac);
    gf_matchLivery(head);
    if (head.liveryTitle.empty()) {
        if (!ac.registration.empty()) gf_addUnmatched(gf_unmatchedKey(ac));
        ac.removeFromBuffer = 1;
        return false;
    }
    ac.liveryTitle = std::string(head.liveryTitle);
    ac.cargo = head.cargo ? 1 : 0;
    gf_rememberLiveryTitle(ac.hexid, ac.liveryTitle);
    return true;
}

void lf_bornOnStand(LiveAc& ac, Stand& stand) {
    ac.standLat = stand.latitude;
    ac.standLon = stand.longitude;
    ac.standHeading = stand.heading;
    ac.standId = gf_standNumericId(stand);
    ac.standCargo = stand.cargo ? 1 : 0;
    gf_standMark(stand, StandMark::occupied) = 1;
    ac.setFlightState(FlightState::parked);
    ac.parkedSince = gf_engineNow100ns();
    lf_standCargoAttribute(ac, stand);
    ac.stream.resize(1);
    StreamPoint& front = ac.stream.front();
    front.lat = stand.latitude;
    front.lon = stand.longitude;
    front.track = stand.heading * kRadToDeg;
    lf_addRealStandOption(ac.standId, ac, StandUse::bornParked);
    lf_checkMaxPark(1);
}

// False when the aircraft waits (or was dropped) instead of being spawned.
bool lf_chooseBirthState(LiveAc& ac) {
    if (!lf_chooseLivery(ac)) return false;
    const StreamPoint& front = ac.stream.front();
    if (front.airborne) {
        ac.setFlightState(FlightState::flying);
        return true;
    }
    if (Stand* stand = lf_birthStand(ac)) {
        lf_bornOnStand(ac, *stand);
        return true;
    }
    if (ac.removeFromBuffer) return false;
    if (ac.stream[1].stationary) {
        // Standing still without a stand: it waits until it moves.
        ac.stream.pop_front();
        return false;
    }
    ac.setFlightState(FlightState::taxi);
    return true;
}

}  // namespace

bool lf_userCollisionHold(LiveAc& ac) {
    const StreamPoint& front = ac.stream.front();
    const UserAcData& user = g_userAcData;
    const LatLon userPos{user.lat_deg, user.lon_deg};
    const LatLon point{front.lat, front.lon};
    // The distance is worked out only where a rule needs it: every waiting
    // aircraft that falls due is judged here, thousands in one pass when the
    // region is busy, and most are ruled out by height alone.
    std::optional<double> distance;
    const auto dist = [&] {
        if (!distance) distance = gf_distanceNm(userPos, point);
        return *distance;
    };
    if (gf_trafficLink().userOnGround()) {
        if (ac.userHold) {
            if (user.groundVelocity_kt > kHoldUserGs_kt) return lf_dropFront(ac);
            if (!front.airborne && (front.gs > kHoldUserGs_kt || dist() < kHoldNear_nm)) return lf_dropFront(ac);
        }
        if (!front.airborne && COLLISION_USER_GND.value() && dist() < kUserGroundGap_nm) return lf_dropFront(ac);
        return false;
    }
    if (!COLLISION_USER_AIR.value()) return false;
    // Judged afresh for every point: an aircraft whose path no longer runs
    // close to the user's appears from its next point on.
    bool conflict = false;
    if (front.airborne) {
        if (std::fabs(front.alt - user.alt_ft) < kAirBand_ft && dist() <= kAirReach_nm) {
            // A buffered aircraft has no heading of its own yet: its path is
            // the track the feed reports.
            const double angle = lf_piRange(front.track * kDegToRad - gf_initialBearing(userPos, point));
            conflict = lf_crossDistance_ft(angle, dist()) <= kAirCross_ft;
        }
    } else if (user.altAboveGround_ft < kUserLow_ft && dist() <= kGroundReach_nm) {
        const double angle = lf_piRange(gf_initialBearing(userPos, point) - user.heading_rad);
        conflict = lf_crossDistance_ft(angle, dist()) <= kGroundCross_ft;
    }
    ac.userHold = conflict ? 1 : 0;
    if (conflict) return lf_dropFront(ac);
    return false;
}

void lf_handleBuffered(LiveAc& ac) {
    if (ac.stream.empty()) {
        ac.removeFromBuffer = 1;
        return;
    }
    if (!lf_due(ac)) return;
    if (ac.stream.size() == 1) {
        ac.removeFromBuffer = 1;
        return;
    }
    if (lf_isGhost(ac.callsign) &&
        std::find(g_removedGhosts.begin(), g_removedGhosts.end(), ac.callsign) != g_removedGhosts.end()) {
        ac.removeFromBuffer = 1;
        return;
    }
    if (lf_mixedStream(ac) || lf_unflyableFront(ac)) {
        ac.stream.pop_front();
        return;
    }
    if (lf_userCollisionHold(ac)) return;
    if (g_liveCreationQueue.size() > kMaxQueuedBirths && ac.flightState == FlightState::birth) {
        ac.stream.pop_front();
        return;
    }
    const std::int32_t maxLive = MAX_LIVE_SEL.value();
    if (maxLive == 0) {
        ac.removeFromBuffer = 1;
        return;
    }
    if (static_cast<std::size_t>(std::max(maxLive, 0)) <=
        g_addingStack.size() + gf_activeLiveCount() + g_liveCreationQueue.size()) {
        const StreamPoint& front = ac.stream.front();
        const LatLon user{g_userAcData.lat_deg, g_userAcData.lon_deg}, at{front.lat, front.lon};
        // Most waiting aircraft lie beyond every shown one: a bound of the
        // distance tells those without the trigonometry.
        if (gf_fartherThanEveryShown(lf_distanceBelowNm(user, at)) ||
            gf_removeFarthestLiveAc(gf_distanceNm(user, at))) {
            ac.removeFromBuffer = 1;
            return;
        }
    }
    if (const std::string blocked = BLOCK_CALLSIGN.get(); !blocked.empty() && blocked == ac.callsign) {
        ac.removeFromBuffer = 1;
        return;
    }
    lf_fillFromDbase(ac);
    if (ac.airline.empty() && !gf_fillAirlineFromCallsign(ac)) ac.airline = "PVT";
    if (!gf_callsignValid(ac) || gf_isUnmatched(gf_unmatchedKey(ac)) ||
        (lf_isGhost(ac.callsign) && gf_realCallsignActive(ac.callsign))) {
        ac.removeFromBuffer = 1;
        return;
    }
    spawnLiveAc(ac);
}

void spawnLiveAc(LiveAc& ac) {
    if (ac.stream.size() < 2) {
        gf_logHighlight(fmt::format("{} sz:{}", "spawnLiveAc", ac.stream.size()));
        return;
    }
    if (ac.stream[1].stationary) {
        ac.stream[0].stationary = true;
        ac.stream[0].gs = 0.0;
        ac.stream[1].gs = 0.0;
        if (ac.stream.size() > 2 && ac.stream[2].stationary) ac.stream[2].gs = 0.0;
    } else {
        ac.stream[0].stationary = false;
    }
    if (ac.flightState == FlightState::birth && !lf_chooseBirthState(ac)) return;
    if (ac.removeFromBuffer) return;
    gf_fillPositionBlock(ac);
    g_duplicateCheckQueue.push_back(ac.hexid);
    ac.simState = SimState::adding2sim;
    g_addingStack.push_back(ac.hexid);
    if (!lf_isGhost(ac.callsign)) lf_ghostCheck(ac.callsign);
}

Stand* lf_birthStand(LiveAc& ac) {
    const auto airport = g_currentAirport.get();
    if (g_standList.empty() || !airport) return nullptr;
    StreamPoint& front = ac.stream.front();
    const LatLon frontPos{front.lat, front.lon};
    if (gf_distanceNm(frontPos, LatLon{airport->latitude, airport->longitude}) > kBirthAirportReach_nm) return nullptr;
    LatLon search = frontPos;
    if (!front.stationary) {
        const StreamPoint& last = ac.stream.back();
        if (ac.stream[1].gs > kStillGs_kt || gf_distanceNm(frontPos, LatLon{last.lat, last.lon}) > kStillReach_nm)
            return nullptr;
        search = LatLon{last.lat, last.lon};
    }
    Stand* stand = lf_chooseStand(search, ac, kStandSearch_nm, front.stationary);
    if (!stand) return nullptr;
    const std::string& name = gf_standName(*stand);
    const LatLon user{g_userAcData.lat_deg, g_userAcData.lon_deg};
    const std::string reserved = g_reservedStand.get();
    if ((!reserved.empty() && name == reserved) || name == gf_standNameAt(user, gf_trafficLink().userOnGround()))
        return nullptr;
    if (!lf_standArbitration(gf_standNumericId(*stand), ac.callsign) ||
        lf_findBlockingNeighbour(stand->adjacent, *stand, ac) != stand->adjacent.end()) {
        ac.removeFromBuffer = 1;
        return nullptr;
    }
    lf_makesWay(ac, *stand);
    front.stationary = true;
    front.gs = 0.0;
    return stand;
}
