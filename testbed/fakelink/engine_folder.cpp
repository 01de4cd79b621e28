#include "fakelink/engine_folder.h"
#include "support/test_env.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include "airports/airport_ports.h"
#include "catalogue/catalogue.h"
#include "catalogue/dbase.h"
#include "catalogue/liveries_xml.h"
#include "catalogue/livery.h"
#include "catalogue/match_report.h"
#include "catalogue/matcher.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/ui_sink.h"
#include "simlink/flight_plan.h"
#include "traffic/static_parking.h"

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
  <aircrafts><aircraft types="B738,A320,B77W,C172,EC35,F18,C560,BE58,DA40,C182"/></aircrafts>
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
    <wingspan type="BE58" meters="11.5"/>
    <wingspan type="DA40" meters="11.9"/>
    <wingspan type="C182" meters="11"/>
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
    {"AMB", "EC35", "AMB EC35"}, {"ZZZ", "C172", "Generic C172"}, {"ZZZ", "BE58", "Generic BE58"},
    {"ZZZ", "DA40", "Generic DA40"}, {"ZZZ", "C182", "Generic C182"},
};

}  // namespace

bool gf_openEngineFolder(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder / "input");
    std::filesystem::create_directories(folder / "output");
    std::filesystem::create_directories(folder / "appdata");
    std::filesystem::current_path(folder);
    setTestEnv("GLIM_APPDATA", (folder / "appdata").string());
    gf_rebuildAppPaths();
    gf_logOpen(folder / "Log.txt");
    gf_resetSettings();

    std::ofstream(folder / "dbase.xml") << kDbase;
    gf_resetDbase();
    if (!gf_readDbaseXml(folder / "dbase.xml")) return false;
    g_liveryScanList.clear();
    for (const SampleLivery& l : kLiveries) g_liveryScanList.emplace_back(l.airline, l.type, l.title, "", 1u, false);
    g_liveryScanList.sort();
    if (!lf_writeLiveriesXml()) return false;
    g_liveryScanList.clear();
    gf_clearLiveryCatalogue();
    g_catalogueProcessed = false;
    gf_resetMatcher();
    gf_clearUnmatchedFlights();
    gf_processScannedLiveries();
    gf_createFlightPlanFolder();
    gf_setAirportPorts(&g_quietNeighbours, &g_quietNeighbours);
    gf_setStaticParkingWindow(&g_quietNeighbours);
    return true;
}

void gf_closeEngineFolder(const std::filesystem::path& folder, const std::filesystem::path& back) {
    gf_removeFlightPlanFolder();
    gf_logClose();
    setTestEnv("GLIM_APPDATA", "");
    gf_rebuildAppPaths();
    std::filesystem::current_path(back);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}
