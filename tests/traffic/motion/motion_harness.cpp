#include "motion_harness.h"


#include <cstdlib>

#include "airports/park_airport_state.h"
#include "airports/park_stand_file.h"
#include "simlink/sim_queues.h"
#include "traffic/traffic_state.h"

void MotionHarness::SetUp() {
    TrafficHarness::SetUp();
    m_cgAnswered = 0;
    m_rangeAnswered = 0;
}

void MotionHarness::fly(int passes, const std::function<void()>& each) {
    for (int i = 0; i < passes; ++i) {
        run(1);
        for (; m_cgAnswered < sim.staticCgRequests.size(); ++m_cgAnswered) {
            SimObjectEvent e;
            e.kind = SimObjectEventKind::staticCg;
            e.objectId = sim.staticCgRequests[m_cgAnswered];
            e.value1 = cg_ft;
            e.value2 = restPitch_rad;
            gf_pushSimObjectEvent(e);
        }
        if (m_rangeAnswered < sim.rangeRadii.size()) {
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
        if (each) each();
    }
}

void MotionHarness::loadEham() { loadDemoAirport(); }

StreamPoint MotionHarness::point(double lat, double lon, double alt_ft, double gs_kt, std::int32_t due,
                                 double vrate_fpm) {
    StreamPoint p;
    p.lat = lat;
    p.lon = lon;
    p.alt = alt_ft;
    p.gs = gs_kt;
    p.tas = gs_kt;
    p.vrate = vrate_fpm;
    p.time = due;
    p.airborne = alt_ft > 0.0;
    return p;
}

LiveAc& MotionHarness::activeAc(std::uint32_t hexid, std::initializer_list<StreamPoint> points, bool ground) {
    FlightRecord r;
    r.callsign = "KLM" + std::to_string(hexid % 1000);
    r.type = "B738";
    r.hexid = hexid;
    AcBase base = gf_buildAircraftBase(r);
    base.hexid = hexid;
    const CategoryMotion& m = gf_categoryMotion(base.category);
    base.maxClimb = m.maxClimb_ft;
    base.slowGroundSpeed = m.slowGroundSpeed_kt;
    LiveAc ac(*points.begin(), base, 0.0);
    for (auto it = points.begin() + 1; it != points.end(); ++it) ac.stream.push_back(*it);
    ac.simState = SimState::active;
    ac.objectId = 500 + static_cast<std::uint32_t>(g_liveAc.size());
    ac.flightState = ground ? FlightState::taxi : FlightState::flying;
    ac.groundMode = ground ? 1 : 0;
    ac.cgHeight = 8.0;
    ac.restPitch = 0.0122;
    gf_fillPositionBlock(ac);
    g_liveAc.push_back(ac);
    return g_liveAc.back();
}
