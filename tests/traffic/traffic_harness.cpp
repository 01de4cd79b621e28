#include "traffic_harness.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "airports/airport_ports.h"
#include "airports/park_airport_state.h"
#include "app/run_state.h"
#include "catalogue/catalogue.h"
#include "catalogue/dbase.h"
#include "catalogue/liveries_xml.h"
#include "catalogue/livery.h"
#include "catalogue/match_report.h"
#include "catalogue/matcher.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/random.h"
#include "core/settings.h"
#include "simlink/creation_tracking.h"
#include "simlink/flight_plan.h"
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

// The window these tests have no use for, and an airport side that sees no
// user aircraft: the engine's tests drive the user through the fake link.
class QuietNeighbours final : public AirportUserLink, public AirportWindow, public StaticParkingWindow {
public:
    bool userStateKnown() override { return false; }
    LatLon userPosition() override { return LatLon{0.0, 0.0}; }
    bool userOnGround() override { return false; }
    std::string userStand() override { return {}; }
    bool parkingControlsBusy() override { return false; }
    void applyAutoRange() override {}
    void applyParkTrafficOnly() override {}
    void updateNowButton() override {}
    void repaint() override { gf_repaintAll(); }
    void enableParkingControls() override {}
    void disableParkingControls() override {}
    void enableDestination() override {}
};
QuietNeighbours g_quietNeighbours;

const char* const kDbase = R"(<?xml version="1.0"?>
<root>
  <aircrafts><aircraft types="B738,A320,B77W,C172,EC35,F18,C560"/></aircrafts>
  <high_performance><hpf types="F18"/></high_performance>
  <heavy><hvy types="B77W"/></heavy>
  <large><lar types="B738,A320"/></large>
  <buzjet><bzj types="C560"/></buzjet>
  <rotorcraft><rot types="EC35"/></rotorcraft>
  <cargo_types><cargo_type types="B77F"/></cargo_types>
  <similar_types><similar types="B738,A320"/></similar_types>
  <ICAO_airlines><ICAO codes="KLM,DLH,BAW"/></ICAO_airlines>
  <cargo_operators><ICAO codes="FDX"/></cargo_operators>
  <publishers><pub names="ORBX"/></publishers>
  <fixes><fx wro="B737-800" cor="B738"/></fixes>
  <simaddonsP3D><simaddonP3D arpts="EHAM"/></simaddonsP3D>
  <thirdpartiesP3D><thirdpartieP3D pub="ORBX" arpts="YBBN"/></thirdpartiesP3D>
  <wingspans>
    <wingspan type="B738" meters="35.8"/>
    <wingspan type="A320" meters="35.8"/>
    <wingspan type="B77W" meters="64.8"/>
    <wingspan type="C172" meters="11"/>
    <wingspan type="EC35" meters="10.2"/>
  </wingspans>
  <dbase>
    <db reg="PH-BXA" airl="KLM" type="B738" opr="KLM"/>
    <db reg="D-AIZA" airl="DLH" type="A320" opr="DLH"/>
  </dbase>
</root>
)";

struct SampleLivery {
    const char* airline;
    const char* type;
    const char* title;
};
const SampleLivery kLiveries[] = {
    {"KLM", "B738", "KLM B738"}, {"DLH", "A320", "DLH A320"}, {"BAW", "B77W", "BA B77W"},
    {"AMB", "EC35", "AMB EC35"}, {"ZZZ", "C172", "Generic C172"},
};

void lf_setEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    if (value.empty()) {
        unsetenv(name);
    } else {
        setenv(name, value.c_str(), 1);
    }
#endif
}

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
    std::filesystem::create_directories(folder / "input");
    std::filesystem::create_directories(folder / "output");
    std::filesystem::create_directories(folder / "appdata");
    std::filesystem::current_path(folder);
    lf_setEnv("GLIM_APPDATA", (folder / "appdata").string());
    gf_rebuildAppPaths();
    gf_logOpen(folder / "Log.txt");
    gf_resetSettings();
    g_rng.seed(12345);

    std::ofstream(folder / "dbase.xml") << kDbase;
    gf_resetDbase();
    ASSERT_TRUE(gf_readDbaseXml(folder / "dbase.xml"));
    g_liveryScanList.clear();
    for (const SampleLivery& l : kLiveries) g_liveryScanList.emplace_back(l.airline, l.type, l.title, "", 1u, false);
    g_liveryScanList.sort();
    ASSERT_TRUE(lf_writeLiveriesXml());
    g_liveryScanList.clear();
    gf_clearLiveryCatalogue();
    g_catalogueProcessed = false;
    gf_resetMatcher();
    gf_clearUnmatchedFlights();
    gf_processScannedLiveries();
    gf_createFlightPlanFolder();

    lf_resetEngine();
    sim.reset();
    sim.user.lat_deg = 52.3;
    sim.user.lon_deg = 4.76;
    sim.user.alt_ft = 20000.0;
    sim.user.altAboveGround_ft = 20000.0;
    gf_setTrafficLink(&sim);
    gf_setTrafficHandover(true);
    gf_setAirportPorts(&g_quietNeighbours, &g_quietNeighbours);
    gf_setStaticParkingWindow(&g_quietNeighbours);
}

void TrafficHarness::TearDown() {
    gf_setTrafficLink(nullptr);
    lf_resetEngine();
    gf_removeFlightPlanFolder();
    gf_logClose();
    lf_setEnv("GLIM_APPDATA", "");
    gf_rebuildAppPaths();
    gf_resetSettings();
    std::filesystem::current_path(m_previous);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
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
