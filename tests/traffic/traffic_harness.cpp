#include "traffic_harness.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <pugixml.hpp>

#include "airports/park_airport_state.h"
#include "airports/park_stand_file.h"
#include "core/geometry.h"
#include "app/run_state.h"
#include "core/log.h"
#include "core/random.h"
#include "core/settings.h"
#include "fakelink/engine_folder.h"
#include "simlink/creation_tracking.h"
#include "simlink/sim_client.h"
#include "simlink/sim_queues.h"
#include "traffic/intake.h"
#include "traffic/static_parking.h"
#include "traffic/traffic_cycle.h"
#include "traffic/traffic_link.h"
#include "traffic/traffic_state.h"
#include "core/status_line.h"
#include "core/ui_sink.h"

namespace {

void lf_resetEngine() {
    gf_resetTraffic();
    g_trafficTick = 0;
    gf_clearSimCommandQueues();
    g_requestError = false;
    gf_resetCreationTracking();
    gf_resetParkAirportState();
    gf_resetStatusLine();
    g_userAcData = UserAcData{};
    // Wednesday, 10:00 UTC.
    g_nowSlot = (std::uint64_t{3} << 32) | 20u;
}

}  // namespace

void TrafficHarness::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_previous = std::filesystem::current_path();
    folder = std::filesystem::temp_directory_path() /
             ("glim_traffic_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
              std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    g_rng.seed(12345);
    ASSERT_TRUE(gf_openEngineFolder(folder));

    lf_resetEngine();
    sim.reset();
    sim.user.lat_deg = 52.3;
    sim.user.lon_deg = 4.76;
    sim.user.alt_ft = 20000.0;
    sim.user.altAboveGround_ft = 20000.0;
    gf_setTrafficLink(&sim);
    gf_setTrafficHandover(true);
}

void TrafficHarness::TearDown() {
    gf_setTrafficLink(nullptr);
    lf_resetEngine();
    gf_closeEngineFolder(folder, m_previous);
    gf_resetSettings();
}

FlightRecord TrafficHarness::record(std::uint32_t hexid, const std::string& callsign, const std::string& type,
                                    const Fix& fix, const std::string& registration) {
    FlightRecord r;
    r.hexid = hexid;
    r.callsign = callsign;
    r.type = type;
    r.registration = registration;
    r.point.lat = fix.lat;
    r.point.lon = fix.lon;
    r.point.alt = fix.alt_ft;
    r.point.gs = fix.gs_kt;
    r.point.tas = fix.gs_kt;
    r.point.track = fix.track_deg;
    r.point.airborne = fix.alt_ft > 0.0;
    r.point.stationary = fix.gs_kt == 0.0;
    r.feedTime = fix.feedTime;
    return r;
}

std::vector<FlightRecord> TrafficHarness::flight(std::uint32_t hexid, const std::string& callsign,
                                                 const std::string& type, Fix first, int n, double dt_s) {
    std::vector<FlightRecord> out;
    for (int i = 0; i < n; ++i) {
        out.push_back(record(hexid, callsign, type, first));
        first.feedTime += dt_s;
        first.lon += first.gs_kt * dt_s / 3600.0 / 60.0 / 0.6;  // about eastbound at 52 N
    }
    return out;
}

void TrafficHarness::takeBatch(std::vector<FlightRecord> batch, int delay_s) { gf_takeTrafficBatch(batch, delay_s); }

void TrafficHarness::run(int passes) {
    for (int i = 0; i < passes; ++i) {
        lf_handleAddingStack();
        sim.frame();
    }
}

bool TrafficHarness::runUntilActive(std::uint32_t hexid, int limit) {
    for (int i = 0; i < limit; ++i) {
        const LiveAc* ac = liveAc(hexid);
        if (ac && ac->simState == SimState::active) return true;
        run(1);
    }
    return false;
}

std::string TrafficHarness::logText() {
    gf_logFlush();
    std::ifstream in(folder / "Log.txt", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void TrafficHarness::useParkAirport(double lat, double lon, double alt_ft) {
    Airport airport;
    airport.code = "EHAM";
    airport.latitude = lat;
    airport.longitude = lon;
    airport.altitude = alt_ft;
    g_currentAirport.set(airport);
    g_airportAltitude_ft.set(alt_ft);
    g_standsLoaded = true;
}

Stand& TrafficHarness::addStand(const std::string& name, double lat, double lon, double radius_m, bool heli) {
    g_standList.emplace_back(name, std::vector<StandOption>{}, StandPlace{lat, lon, 1.0}, radius_m, false, false, heli);
    g_standList.back().number = static_cast<std::uint32_t>(g_standList.size());
    return g_standList.back();
}

LiveAc* liveAc(std::uint32_t hexid) { return gf_findLiveAc(hexid); }

void TrafficHarness::loadDemoAirport() {
    const char* source = std::getenv("GLIM_SOURCE_DIR");
    const std::filesystem::path file =
        std::filesystem::path(source ? source : ".") / "testbed/sitestub/site/downloads/P3D/archive/stock/EHAM.xml";
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(file.c_str())) << file;
    g_standList.clear();
    for (pugi::xml_node p : doc.child("root").child("parkpositions").children("parkpos")) {
        const StandPlace place{p.attribute("latitude").as_double(), p.attribute("longitude").as_double(),
                               p.attribute("heading").as_double() * kDegToRad};
        g_standList.emplace_back(p.attribute("id").as_string(), std::vector<StandOption>{}, place,
                                 p.attribute("radius").as_double(), p.attribute("cargo").as_bool(),
                                 p.attribute("ramp").as_bool(), p.attribute("heli").as_bool());
    }
    gf_numberStandsAndNeighbours(g_standList);
    g_parkAirportFile.altitude = -11;
    useParkAirport(kDemoLat, kDemoLon, -11.0);
}
