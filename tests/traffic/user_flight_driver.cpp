#include "user_flight_driver.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>

#include "airports/park_airport_state.h"
#include "airports/park_stand_file.h"
#include "core/geometry.h"
#include "core/settings.h"
#include "simlink/sim_queues.h"
#include "simlink/sim_state.h"
#include "traffic/static_parking.h"
#include "traffic/traffic_state.h"

namespace {

constexpr int kPassesPerSecond = 100;
constexpr double kOffGroundLimit_ft = 3.0;

}  // namespace

LatLon gf_toward(double lat, double lon, double bearing_deg, double d_nm) {
    return gf_destinationPoint(LatLon{lat, lon}, bearing_deg * kDegToRad, d_nm * kFeetPerNm);
}

double FlightFindings::closestOf(std::uint32_t a, std::uint32_t b) const {
    const auto it = closest_m.find(std::minmax(a, b));
    return it == closest_m.end() ? std::numeric_limits<double>::infinity() : it->second;
}

int FlightFindings::removedBy(std::uint32_t hexid) const {
    const auto it = removedCount.find(hexid);
    return it == removedCount.end() ? 0 : it->second;
}

void UserFlightDriver::SetUp() {
    TrafficHarness::SetUp();
    // A B738 in the user's hands: half a span of 17.9 m.
    lf_setUserHalfWingspanNm(17.9 / 1852.0);
    gf_setSteadyClock(&m_clock);
    m_feed.clear();
    m_cgAnswered = 0;
    m_rangeAnswered = 0;
}

void UserFlightDriver::TearDown() {
    lf_setUserHalfWingspanNm(std::numeric_limits<double>::quiet_NaN());
    gf_setSteadyClock(nullptr);
    TrafficHarness::TearDown();
}

const Stand& UserFlightDriver::standNamed(const std::string& name) {
    for (const Stand& s : g_standList)
        if (gf_standName(s) == name) return s;
    ADD_FAILURE() << "no stand " << name;
    return g_standList.front();
}

void UserFlightDriver::schedule(const std::vector<FlightRecord>& records) {
    for (const FlightRecord& r : records) m_feed.emplace(r.feedTime, r);
}

void UserFlightDriver::standing(std::uint32_t hexid, const std::string& callsign, const std::string& type,
                                const Stand& stand, double from_s, double to_s, double every_s) {
    for (double t = from_s; t <= to_s; t += every_s) {
        schedule({record(hexid, callsign, type,
                         Fix{.lat = stand.latitude, .lon = stand.longitude, .alt_ft = 0.0, .gs_kt = 0.0,
                             .track_deg = stand.heading * kRadToDeg, .feedTime = t})});
    }
}

void UserFlightDriver::answerSimulator() {
    for (; m_cgAnswered < sim.staticCgRequests.size(); ++m_cgAnswered) {
        SimObjectEvent e;
        e.kind = SimObjectEventKind::staticCg;
        e.objectId = sim.staticCgRequests[m_cgAnswered];
        e.value1 = cg_ft;
        e.value2 = 0.0122;
        gf_pushSimObjectEvent(e);
    }
    if (m_rangeAnswered == sim.rangeRadii.size()) return;
    m_rangeAnswered = sim.rangeRadii.size();
    for (const auto& [id, object] : sim.objects) {
        const double alt = object.positionCount ? object.last.alt_ft : object.initial.altitude_ft;
        const double wheels = alt - cg_ft - elevation_ft;
        SimObjectEvent e;
        e.kind = SimObjectEventKind::groundData;
        e.objectId = id;
        e.aux = wheels <= 0.5 ? 1u : 0u;
        e.value1 = elevation_ft;
        e.value2 = std::max(wheels, 0.0);
        gf_pushSimObjectEvent(e);
    }
}

void UserFlightDriver::setUser(const std::vector<UserWaypoint>& path, double t_s) {
    std::size_t i = 1;
    while (i + 1 < path.size() && path[i].t_s < t_s) ++i;
    const UserWaypoint& a = path[i - 1];
    const UserWaypoint& b = path[i];
    const double f = b.t_s > a.t_s ? std::clamp((t_s - a.t_s) / (b.t_s - a.t_s), 0.0, 1.0) : 1.0;
    UserAcData& u = sim.user;
    u.lat_deg = a.lat + f * (b.lat - a.lat);
    u.lon_deg = a.lon + f * (b.lon - a.lon);
    u.altAboveGround_ft = a.agl_ft + f * (b.agl_ft - a.agl_ft);
    u.alt_ft = elevation_ft + u.altAboveGround_ft;
    if (a.lat != b.lat || a.lon != b.lon)
        u.heading_rad = gf_initialBearing(LatLon{a.lat, a.lon}, LatLon{b.lat, b.lon}) + crab_deg * kDegToRad;
    const double seconds = std::max(b.t_s - a.t_s, 1.0);
    u.groundVelocity_kt = gf_distanceNm(LatLon{a.lat, a.lon}, LatLon{b.lat, b.lon}) * 3600.0 / seconds;
    sim.userOnGroundFlag = u.altAboveGround_ft <= 0.0;
    g_userAcData = u;
}

void UserFlightDriver::look(FlightFindings& out, double t_s) {
    std::vector<const LiveAc*> ground;
    for (const LiveAc& ac : g_liveAc)
        if (ac.simState == SimState::active && ac.groundMode) ground.push_back(&ac);
    for (std::size_t i = 0; i < ground.size(); ++i) {
        for (std::size_t j = i + 1; j < ground.size(); ++j) {
            const double d =
                gf_distanceNm({ground[i]->pos.lat, ground[i]->pos.lon}, {ground[j]->pos.lat, ground[j]->pos.lon});
            const auto key = std::minmax(ground[i]->hexid, ground[j]->hexid);
            const auto known = out.closest_m.find(key);
            if (known == out.closest_m.end() || known->second > d * 1852.0) out.closest_m[key] = d * 1852.0;
            if (d < ground[i]->size + ground[j]->size)
                out.overlaps.push_back(fmt::format("{}/{} {:.0f} m apart, spans {:.0f} m and {:.0f} m, at {:.0f} s",
                                                   ground[i]->callsign, ground[j]->callsign, d * 1852.0,
                                                   ground[i]->size * 2 * 1852.0, ground[j]->size * 2 * 1852.0, t_s));
        }
        const LiveAc& ac = *ground[i];
        const auto object = sim.objects.find(ac.objectId);
        if (object == sim.objects.end() || !object->second.positionCount) continue;
        const double wheels = object->second.last.alt_ft - cg_ft - elevation_ft;
        if (std::fabs(wheels) > kOffGroundLimit_ft)
            out.offGround.push_back(fmt::format("{} wheels {:.0f} ft at {:.0f} s", ac.callsign, wheels, t_s));
    }
}

FlightFindings UserFlightDriver::fly(const std::vector<UserWaypoint>& path) {
    FlightFindings out;
    const int passes = static_cast<int>((path.back().t_s - path.front().t_s) * kPassesPerSecond);
    for (int pass = 0; pass <= passes; ++pass) {
        const double t = path.front().t_s + static_cast<double>(pass) / kPassesPerSecond;
        setUser(path, t);
        std::vector<FlightRecord> batch;
        while (!m_feed.empty() && m_feed.begin()->first <= t) {
            batch.push_back(m_feed.begin()->second);
            batch.back().feedTime += 1000.0;
            m_feed.erase(m_feed.begin());
        }
        if (!batch.empty()) takeBatch(std::move(batch), 30);
        run(1);
        m_clock.advance(std::chrono::milliseconds(10));
        answerSimulator();
        if (pass % kPassesPerSecond != 0) continue;
        // The per-second user rules, chosen as the main loop chooses them.
        std::set<std::uint32_t> before;
        for (const LiveAc& ac : g_liveAc)
            if (ac.simState == SimState::active) before.insert(ac.hexid);
        const bool onGround = sim.userOnGroundFlag;
        if (!onGround && COLLISION_USER_AIR.value()) gf_removeUserConflicts();
        if (onGround && COLLISION_USER_GND.value()) gf_removeGroundedUserConflicts();
        for (const LiveAc& ac : g_liveAc) {
            if (ac.simState != SimState::removingfromsim || !before.count(ac.hexid)) continue;
            const double d = gf_distanceNm({sim.user.lat_deg, sim.user.lon_deg}, {ac.pos.lat, ac.pos.lon});
            out.removals.push_back(UserRemoval{ac.hexid, t, d, onGround, ac.groundMode != 0});
            ++out.removedCount[ac.hexid];
        }
        look(out, t);
        if (eachSecond) eachSecond(t);
    }
    return out;
}
