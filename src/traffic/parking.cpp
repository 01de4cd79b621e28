#include "traffic/parking.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <deque>

#include "airports/park_airport_state.h"
#include "catalogue/dbase_queries.h"
#include "core/log.h"
#include "traffic/ai_commands.h"
#include "traffic/ground_motion.h"
#include "traffic/motion_common.h"
#include "traffic/removal_rules.h"
#include "traffic/stand_choice.h"
#include "traffic/traffic_link.h"
#include "traffic/traffic_state.h"

namespace {

constexpr double kWideSearch_nm = 0.029697624;   // 55 m
constexpr double kNarrowSearch_nm = 0.010799136;  // 20 m
// An arrival's path, continued, runs onto its stand's mark, within the
// narrow search's reach of it; a stream that ends with a parked aircraft
// farther to its side is a taxi waiting beside it, not one heading for its
// stand.
constexpr double kHeadingForStand_nm = kNarrowSearch_nm;
// The last stretch of a path that shows its direction.
constexpr double kPathDirectionFrom_nm = 5.0 / 1852.0;
constexpr double kArrivedWithin_nm = 0.0010799136;  // 2 m
constexpr double kCollisionFactor = 1.1;
// The feed's speed of an aircraft creeping the last metres onto a stand.
constexpr double kCreepingGs_kt = 5.0;
// The feed's speed of an aircraft slowing down the last 20 m to a stand.
constexpr double kSlowingInGs_kt = 10.0;
// A parked aircraft's reports come every poll while its transponder is on:
// two minutes without one and its flight has gone quiet or left.
constexpr std::int64_t kStillReported_100ns = 120LL * 10000000LL;

bool lf_isActive(const AcSimFields& s) { return s.simState == SimState::active; }

bool lf_hasPosition(const Stand& s) { return s.latitude != 0.0 || s.longitude != 0.0; }

// Two types on two stands collide when the stands are closer than 1.1 times
// the sum of both half wing spans.
bool lf_standsCollide(const Stand& a, const Stand& b, const std::string& typeA, const std::string& typeB) {
    if (!lf_hasPosition(a) || !lf_hasPosition(b)) return false;
    const double limit = kCollisionFactor * (gf_halfWingspanNm(typeA) + gf_halfWingspanNm(typeB));
    return gf_distanceNm(LatLon{a.latitude, a.longitude}, LatLon{b.latitude, b.longitude}) < limit;
}

LiveAc* lf_firstLiveOnStand(std::uint32_t standId) {
    for (LiveAc& a : g_liveAc)
        if (a.standId == standId) return &a;
    return nullptr;
}

bool lf_isGhostCallsign(const std::string& cs) { return !cs.empty() && cs.back() == '_'; }

std::string lf_withoutLast(const std::string& cs) { return cs.empty() ? cs : cs.substr(0, cs.size() - 1); }

std::string lf_sameLiveText(const StaticAc& s, const LiveAc& newcomer) {
    const bool same = s.callsignCopy == newcomer.callsign ||
                      (!s.registration.empty() && s.registration == newcomer.registration);
    return same ? " the same live version" : "";
}

// Whether the stream ends on the stand, or its path runs on toward it: the
// stand lies ahead of its end, within the narrow reach of its line. The
// line's direction is the path's, from the last point some metres before
// the end (or from where the aircraft is); the end's reported track when
// the path has no length.
bool lf_headingFor(const LiveAc& ac, LatLon stand) {
    const std::deque<StreamPoint>& s = ac.stream;
    const LatLon end{s.back().lat, s.back().lon};
    const double d_nm = gf_distanceNm(end, stand);
    if (d_nm < kHeadingForStand_nm) return true;
    double direction = s.back().track * kDegToRad;
    LatLon from{ac.pos.lat, ac.pos.lon};
    for (std::size_t i = s.size() - 1; i-- > 0;) {
        if (gf_distanceNm(LatLon{s[i].lat, s[i].lon}, end) >= kPathDirectionFrom_nm) {
            from = LatLon{s[i].lat, s[i].lon};
            break;
        }
    }
    if (gf_distanceNm(from, end) >= kPathDirectionFrom_nm) direction = gf_initialBearing(from, end);
    const double off = std::remainder(gf_initialBearing(end, stand) - direction, 2.0 * 3.141592653589793);
    return std::fabs(off) < 3.141592653589793 / 2.0 && std::fabs(std::sin(off)) * d_nm < kHeadingForStand_nm;
}

// A parked live aircraft the feed still reports keeps its place: the first
// such on the stand the stream ends on, else none. Only that stand: a taxi
// that waits behind a row of parked aircraft, its stream ending within
// their wings, is heading for none of them.
const LiveAc* lf_reportedParkedAtEnd(const LiveAc& newcomer) {
    for (const LiveAc& a : g_liveAc) {
        if (&a == &newcomer || !lf_isActive(a) || a.flightState != FlightState::parked || !gf_parkedStillReported(a))
            continue;
        if (lf_headingFor(newcomer, LatLon{a.pos.lat, a.pos.lon})) return &a;
    }
    return nullptr;
}

double lf_wingsReachNm(const AcBase& parked, const LiveAc& ac) { return kCollisionFactor * (parked.size + ac.size); }

bool lf_insideWings(LatLon centre, const AcBase& other, const LiveAc& ac, LatLon p) {
    return gf_distanceNm(centre, p) < lf_wingsReachNm(other, ac);
}

LatLon lf_at(const StreamPoint& p) { return LatLon{p.lat, p.lon}; }

// The stream ends inside the wings around the centre and the coming
// segment enters them from where the aircraft is: it is heading there, about
// to meet the other. A segment through a turn is a curve through the next
// point to the one after it, so either may lie inside.
bool lf_entersWingsOfItsEnd(LatLon centre, const AcBase& other, const LiveAc& ac) {
    const std::deque<StreamPoint>& s = ac.stream;
    auto inside = [&](LatLon p) { return lf_insideWings(centre, other, ac, p); };
    if (!inside(lf_at(s.back())) || inside(LatLon{ac.pos.lat, ac.pos.lon})) return false;
    return inside(lf_at(s[1])) || (s.size() >= 3 && inside(lf_at(s[2])));
}

// A stream that ends inside a parked aircraft that keeps its place: the
// aircraft parks instead where its path meets the circle of both wings
// around the parked one (where it stands, when it is inside already), and
// its later reports around there are taken as its standing there.
void lf_stopShortOfParked(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    const LiveAc* parked = lf_reportedParkedAtEnd(ac);
    if (!parked) return;
    const LatLon centre{parked->pos.lat, parked->pos.lon};
    const double reach = lf_wingsReachNm(*parked, ac);
    auto inside = [&](double lat, double lon) { return gf_distanceNm(centre, LatLon{lat, lon}) < reach; };
    std::size_t i = 1;
    while (i + 1 < ac.stream.size() && !inside(ac.stream[i].lat, ac.stream[i].lon)) ++i;
    const StreamPoint& from = ac.stream[i - 1];
    const StreamPoint& to = ac.stream[i];
    LatLon stop{from.lat, from.lon};
    if (i == 1 && inside(from.lat, from.lon)) {
        stop = LatLon{ac.pos.lat, ac.pos.lon};
    } else {
        // The circle's edge between the last point outside and the first
        // inside, by halving.
        double lo = 0.0, hi = 1.0;
        for (int k = 0; k < 30; ++k) {
            const double mid = (lo + hi) / 2.0;
            (inside(from.lat + mid * (to.lat - from.lat), from.lon + mid * (to.lon - from.lon)) ? hi : lo) = mid;
        }
        stop = LatLon{from.lat + lo * (to.lat - from.lat), from.lon + lo * (to.lon - from.lon)};
    }
    gf_logLine(fmt::format("{:8}: {:8} stops short of {} parked there", gf_standNameOf(parked->standId), ac.callsign,
                           parked->callsign));
    ac.standLat = stop.lat;
    ac.standLon = stop.lon;
    ac.standHeading = ac.pos.heading;
    ac.standId = 0;
    ac.stream.resize(1);
    ac.setFlightState(FlightState::parking);
    drive2Stand(ac, StandPoint{stop.lat, stop.lon, ac.pos.heading});
}

}  // namespace

bool gf_stopShortAhead(LiveAc& ac) {
    if (ac.stream.size() < 2) return false;
    const StreamPoint& end = ac.stream.back();
    if (!end.stationary && end.gs > kCreepingGs_kt) return false;
    const LiveAc* parked = lf_reportedParkedAtEnd(ac);
    if (!parked || !lf_entersWingsOfItsEnd(LatLon{parked->pos.lat, parked->pos.lon}, *parked, ac)) return false;
    lf_stopShortOfParked(ac);
    return true;
}

void gf_staticMakesWayAhead(const LiveAc& ac) {
    // Slowing down there: an aircraft taxiing on past the static never ends
    // its stream inside it at such a speed.
    if (ac.stream.size() < 2 || (!ac.stream.back().stationary && ac.stream.back().gs > kSlowingInGs_kt)) return;
    for (StaticAc& s : g_staticAc) {
        const LatLon stand{s.standLat, s.standLon};
        if (!lf_isActive(s) || !lf_headingFor(ac, stand) || !lf_entersWingsOfItsEnd(stand, s, ac)) continue;
        gf_logLine(fmt::format("{:8}: {:8} {} makes way for{} {} {}", gf_standNameOf(s.standId), s.callsign,
                               s.registration, lf_sameLiveText(s, ac), ac.callsign, ac.registration));
        removeAircraftFromSim(s);
    }
}

void try2Park(LiveAc& ac, bool wide) {
    if (ac.stream.empty()) {
        gf_logHighlight(fmt::format("{} empty sz?", "try2Park"));
        return;
    }
    const StreamPoint last = ac.stream.back();
    if (std::fabs(last.lat - ac.lastParkTry.lat) < kSamePlace_deg &&
        std::fabs(last.lon - ac.lastParkTry.lon) < kSamePlace_deg)
        return;
    ac.lastParkTry = LatLon{last.lat, last.lon};
    Stand* stand = lf_chooseStand(LatLon{last.lat, last.lon}, ac, wide ? kWideSearch_nm : kNarrowSearch_nm, wide);
    if (!stand) {
        lf_stopShortOfParked(ac);
        return;
    }
    const std::string name = gf_standName(*stand);
    const std::string reserved = g_reservedStand.get();
    if ((!reserved.empty() && name == reserved) ||
        name == gf_standNameAt(LatLon{g_userAcData.lat_deg, g_userAcData.lon_deg}, gf_trafficLink().userOnGround()))
        return;
    const std::uint32_t id = gf_standNumericId(*stand);
    lf_clearStandOccupant(id, ac);
    for (std::uint32_t adjacent : stand->adjacent) lf_clearAdjacentStands(adjacent, ac, *stand);
    lf_makesWay(ac, *stand);
    ac.standLat = stand->latitude;
    ac.standLon = stand->longitude;
    ac.standHeading = stand->heading;
    ac.standId = id;
    ac.standCargo = stand->cargo ? 1 : 0;
    ac.stream.resize(1);
    ac.setFlightState(FlightState::parking);
    drive2Stand(ac, StandPoint{stand->latitude, stand->longitude, stand->heading});
}

void lf_clearStandOccupant(std::uint32_t standId, const LiveAc& newcomer) {
    LiveAc* occupant = lf_firstLiveOnStand(standId);
    if (!occupant || occupant == &newcomer) return;
    if (occupant->flightState != FlightState::parked || !lf_isActive(*occupant)) return;
    gf_logLine(fmt::format("{:8}: {:8} removed, {} wants to park there", gf_standNameOf(standId), occupant->callsign,
                           newcomer.callsign));
    removeAircraftFromSim(*occupant);
}

void lf_clearAdjacentStands(std::uint32_t adjacentId, const LiveAc& newcomer, const Stand& target) {
    LiveAc* occupant = lf_firstLiveOnStand(adjacentId);
    if (!occupant || occupant == &newcomer || !lf_isActive(*occupant)) return;
    if (occupant->flightState != FlightState::parked && occupant->flightState != FlightState::pushing_back) return;
    const Stand* adjacent = gf_standById(adjacentId);
    if (!adjacent || !lf_standsCollide(*adjacent, target, occupant->type, newcomer.type)) return;
    gf_logLine(fmt::format("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}",
                           gf_standName(*adjacent), occupant->callsign, newcomer.callsign, gf_standName(target)));
    removeAircraftFromSim(*occupant);
}

void lf_makesWay(const LiveAc& newcomer, const Stand& stand) {
    const std::uint32_t id = gf_standNumericId(stand);
    for (StaticAc& s : g_staticAc) {
        if (s.standId != id) continue;
        const std::string line = fmt::format("{:8}: {:8} {} makes way for{} {} {}", gf_standName(stand), s.callsign,
                                             s.registration, lf_sameLiveText(s, newcomer), newcomer.callsign,
                                             newcomer.registration);
        if (s.simState == SimState::adding2sim) {
            // Still waiting in the queue: it never reaches the simulator.
            if (gf_eraseQueuedCreation(g_staticCreationQueue, s.callsign)) {
                s.creationCancelled = 1;
                gf_logLine("queued " + line);
            } else {
                s.removeWhenCreated = 1;
            }
        } else if (s.simState == SimState::active) {
            gf_logLine(line);
            removeAircraftFromSim(s);
        }
        break;
    }
    std::erase_if(g_staticAc, [](const StaticAc& s) { return s.creationCancelled != 0; });
    for (std::uint32_t adjacent : stand.adjacent) lf_makesWayAdjacent(newcomer, adjacent, stand);
}

void lf_makesWayAdjacent(const LiveAc& newcomer, std::uint32_t adjacentId, const Stand& target) {
    const Stand* adjacent = gf_standById(adjacentId);
    if (!adjacent) return;
    for (StaticAc& s : g_staticAc) {
        if (s.standId != adjacentId || !lf_isActive(s)) continue;
        if (!lf_standsCollide(*adjacent, target, s.type, newcomer.type)) continue;
        gf_logLine(fmt::format("{:8}: {:8} makes way for {} parking at excluded stand {}", gf_standName(*adjacent),
                               s.callsign, newcomer.callsign, gf_standName(target)));
        removeAircraftFromSim(s);
        return;
    }
}

bool lf_standArbitration(std::uint32_t standId, const std::string& callsign) {
    LiveAc* occupant = lf_firstLiveOnStand(standId);
    if (!occupant || !lf_isActive(*occupant)) return true;
    const FlightState fs = occupant->flightState;
    if (fs != FlightState::parked && fs != FlightState::pushing_back && fs != FlightState::pushed_back) return true;
    const std::string stand = gf_standNameOf(standId);
    const std::string& other = occupant->callsign;
    if (other == callsign) {
        gf_logLine(fmt::format("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", stand, other,
                               callsign));
        removeAircraftFromSim(*occupant);
        return true;
    }
    // A ghost never displaces its real flight.
    if (lf_withoutLast(callsign) == other) return false;
    if (lf_withoutLast(other) == callsign || (lf_isGhostCallsign(other) && !lf_isGhostCallsign(callsign))) {
        gf_logLine(fmt::format("{:8}: {:8} ghost, replace by {}", stand, other, callsign));
        removeAircraftFromSim(*occupant);
        return true;
    }
    if ((lf_isGhostCallsign(callsign) && !lf_isGhostCallsign(other)) || occupant->stillReported) return false;
    gf_logLine(fmt::format("{:8}: {:8} removed because another live {} wants the stand ...", stand, other, callsign));
    removeAircraftFromSim(*occupant);
    return true;
}

bool gf_parkedStillReported(const LiveAc& ac) {
    return ac.stillReported && gf_engineNow100ns() - ac.parkedSince <= kStillReported_100ns;
}

void lf_arriveAtStand(LiveAc& ac) {
    Stand* stand = gf_standById(ac.standId);
    if (stand && gf_standMark(*stand, StandMark::occupied)) {
        ac.extensionCount = 1;
        removeAircraftFromSim(ac);
        gf_standMark(*stand, StandMark::occupied) = 1;
        return;
    }
    if (gf_distanceNm(LatLon{ac.pos.lat, ac.pos.lon}, LatLon{ac.standLat, ac.standLon}) > kArrivedWithin_nm) {
        ac.setFlightState(FlightState::taxi);
        return;
    }
    ac.setFlightState(FlightState::parked);
    if (ac.towed) gf_logLine(fmt::format("          towed aircraft {} parks", gf_acDescription(ac)));
    if (!ac.stream.empty()) ac.stream.front().stationary = true;
    ac.parkedSince = gf_engineNow100ns();
    if (stand) {
        gf_standMark(*stand, StandMark::occupied) = 1;
        lf_standCargoAttribute(ac, *stand);
    }
    gf_parkedConfiguration(ac);
    g_duplicateCheckQueue.push_back(ac.hexid);
    // One that stopped short of an occupied stand waits on none: its line
    // said where, and no stand has a use to learn.
    if (ac.standId != 0) {
        gf_logLine(fmt::format("{:8}: {:8} arrived at stand", gf_standNameOf(ac.standId), ac.callsign));
        lf_addRealStandOption(ac.standId, ac, StandUse::arrived);
    }
    lf_checkMaxPark(0);
}

void lf_standCargoAttribute(LiveAc& ac, Stand& stand) {
    // The aircraft copied the attribute when it took the stand: only a stand
    // whose attribute was set in between is changed.
    if (!ac.cargo || ac.standCargo || !stand.cargo) return;
    stand.cargo = false;
    stand.cargo_change = true;
    g_standFileUpdates.fetch_add(1);
    const auto airport = g_currentAirport.get();
    gf_logLine(fmt::format("{} stand: {}, cargo attribute set to false, {} parked here",
                           airport ? airport->code : std::string(), gf_standName(stand), gf_acDescription(ac)));
}
