// With the user parked at EHAM the wiring makes EHAM current, and the live
// feed then keeps ground traffic there instead of dropping it.
#include "app/wiring/airport_services.h"
#include "app/wiring/static_traffic_services.h"
#include "app/wiring/airport_scan_services.h"
#include "app/wiring/feed_services.h"
#include "app/wiring/sim_neighbours_real.h"

#include "airports/park_stand_file.h"
#include "app/window_requests.h"
#include "app/window_services.h"
#include "core/ui_sink.h"
#include "ui/window_controls.h"

#include "../airports_test_support.h"
#include "airports/airport_scan.h"
#include "bgl_writer.h"
#include "core/paths.h"
#include "core/settings.h"
#include "ui/control_ids.h"
#include "core/ui_sink.h"
#include "feed/feed_env.h"
#include "feed/traffic_reader.h"
#include "simlink/sim_client.h"
#include "simlink/sim_neighbours.h"
#include "simlink/sim_state.h"
#include "core/geometry.h"
#include "traffic/traffic_state.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>

namespace {

using airports_test::AirportsFixture;

class AirportWiring : public AirportsFixture {
protected:
    void TearDown() override {
        gf_setSimLinkNeighbours(nullptr);
        gf_setFeedEnv(nullptr);
        g_userOnGround.known = false;
        g_userOnGround.value = false;
        gf_setUserAcData(UserAcData{});
        AirportsFixture::TearDown();
    }
};

nlohmann::json groundEntry() {
    nlohmann::json e = nlohmann::json::array();
    for (int i = 0; i < 48; ++i) e.push_back(0);
    e[0] = "4845c2";
    e[1] = 52.308;
    e[2] = 4.764;
    e[3] = 90.0;
    e[4] = 0;
    e[5] = 12;
    e[8] = "E190";
    e[9] = "PH-EZA";
    e[10] = static_cast<double>(std::time(nullptr) - 5);
    e[13] = "KLM1701";
    e[17] = "adsb_icao";
    e[28] = "A3";
    return e;
}

TEST_F(AirportWiring, TheUsersAirportBecomesCurrentAndGroundTrafficThereIsKept) {
    readSampleDatabase();
    writeFile("airports/my_thirdparty/EHAM.xml",
              R"(<root><meta><info name="copyright" value="c"/><info name="sim" value="3"/></meta>
        <parameters><parameter name="publisher" value="stock"/><parameter name="altitude" value="-11"/></parameters>
        <parkpositions><parkpos id="D7" latitude="52.3105" longitude="4.7683" radius="20"/></parkpositions></root>)");
    lf_wireAirports();
    lf_wireStaticTraffic();
    lf_wireFeed();
    RealRunParking parking;
    gf_setSimLinkNeighbours(&gf_realSimNeighbours());
    // No Traffic Reader runs here to answer a parked-traffic request.
    MAX_PARK_SEL.setValue(0);

    TrafficReader reader;
    reader.filterLat = 52.31;
    reader.filterLon = 4.76;
    auto keeps = [&](const FeedSettings& s) {
        reader.flightRecords.clear();
        reader.answerSettings = s;
        reader.entry = groundEntry();
        reader.processLine();
        return !reader.flightRecords.empty();
    };
    FeedSettings before = gf_feedSettingsFromCore();
    gf_addAirportFeedSettings(before);
    EXPECT_FALSE(before.currentAirport.present);
    EXPECT_FALSE(keeps(before));
    EXPECT_FALSE(gf_feedParkAirport());

    UserAcData user;
    user.lat_deg = 52.3105;
    user.lon_deg = 4.7683;
    gf_setUserAcData(user);
    g_userOnGround.value = true;
    g_userOnGround.known = true;
    parking.staticParking(true);
    EXPECT_EQ(gf_simLinkNeighbours().standNameAt({52.3105, 4.7683}), "D7");

    FeedSettings after = gf_feedSettingsFromCore();
    gf_addAirportFeedSettings(after);
    ASSERT_TRUE(after.currentAirport.present);
    EXPECT_DOUBLE_EQ(after.currentAirport.lat, 52.3086);
    EXPECT_EQ(after.airportFileAlt_ft, std::optional<double>(-11.0));
    EXPECT_EQ(after.reservedStand, "D7");
    EXPECT_EQ(after.userParkingSpot, "D7");
    EXPECT_TRUE(keeps(after));
    EXPECT_TRUE(gf_feedParkAirport());
    EXPECT_EQ(readFile("airports/my_park_airports.txt"), "EHAM,D7\n");
    EXPECT_TRUE(parking.standsLoaded());

    // The close leaves the airport with its learned file.
    parking.clearAirportTraffic();
    EXPECT_FALSE(parking.parkAirportInUse());
    EXPECT_TRUE(std::filesystem::exists("airports/learned/stock/EHAM.xml"));
}

// The window's controls that keep their enabled states.
class ControlStates final : public UiSink {
public:
    void enableControl(int id, bool enabled) override { m_enabled[id] = enabled; }
    void setCheck(int, bool) override {}
    void fillCombo(int, const std::vector<std::string>&, int) override {}
    void selectCombo(int, int) override {}
    void setText(int, const std::string&) override {}
    void invalidateBand(UiBand) override {}
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }
    bool controlEnabled(int id) override { return m_enabled.count(id) != 0 && m_enabled[id]; }
    bool known(int id) const { return m_enabled.count(id) != 0; }

private:
    std::map<int, bool> m_enabled;
};

// A learned stand file's airport settings reach the window's controls as a
// click on their boxes would: the radius is chosen automatically, the
// parking group follows "PT only", "Now" follows INITIAL_LOAD_ONLY.
TEST_F(AirportWiring, ALearnedFilesSettingsSetTheWindowsControls) {
    readSampleDatabase();
    writeFile("airports/my_thirdparty/EHAM.xml",
              R"(<root><meta><info name="copyright" value="c"/><info name="sim" value="3"/></meta>
        <parameters><parameter name="publisher" value="stock"/><parameter name="altitude" value="-11"/></parameters>
        <parkpositions><parkpos id="D7" latitude="52.3105" longitude="4.7683" radius="20"/></parkpositions></root>)");
    writeFile("airports/learned/stock/EHAM.xml",
              R"(<root><meta><info name="version" value="11.10.5"/><info name="copyright" value="c"/>)"
              R"(<info name="sim" value="3"/></meta><parameters>)"
              R"(<parameter name="RANGE" value="30"/><parameter name="AUTO_RANGE" value="true"/>)"
              R"(<parameter name="RT_PARKTRAFFIC_ONLY" value="true"/>)"
              R"(<parameter name="INITIAL_LOAD_ONLY" value="false"/></parameters><parkpositions/></root>)");
    ControlStates controls;
    gf_setUiSink(&controls);
    lf_wireAirports();
    gf_fillComboBoxes();  // the start of the run: "Now" waits for the parking
    ASSERT_FALSE(controls.controlEnabled(g_buttonNow.controlId()));
    ASSERT_TRUE(gf_logParkAirport("EHAM"));
    ASSERT_EQ(gf_readApf("airports\\my_thirdparty\\EHAM.xml"), "") << log();
    gf_setUiSink(nullptr);
    EXPECT_TRUE(AUTO_RANGE.value());
    EXPECT_TRUE(controls.known(RANGE.controlId()));
    EXPECT_FALSE(controls.controlEnabled(RANGE.controlId()));
    for (const ControlBinding* b : {static_cast<const ControlBinding*>(&PARK_SOFT), static_cast<const ControlBinding*>(&WEEK),
                                    static_cast<const ControlBinding*>(&MAX_FIT_FL)})
        EXPECT_FALSE(controls.controlEnabled(b->controlId())) << b->controlId();
    EXPECT_TRUE(controls.controlEnabled(g_buttonNow.controlId()));
    gf_resetWindowServices();
    g_autoRangeRequested = false;
}

// A user standing on the ground: its hook removes the aircraft that overlaps
// it, not one that crosses its nose line far behind.
TEST_F(AirportWiring, TheGroundedUsersHookRemovesWhatOverlapsTheUser) {
    lf_wireStaticTraffic();
    RealRunParking parking;
    lf_setUserHalfWingspanNm(17.9 / 1852.0);
    UserAcData user;
    user.lat_deg = 52.3105;
    user.lon_deg = 4.7683;
    g_userAcData = user;
    auto taxiing = [&](std::uint32_t hexid, double bearing_deg, double dist_m) {
        const LatLon at = gf_destinationPoint({user.lat_deg, user.lon_deg}, bearing_deg * kDegToRad, dist_m / 0.3048);
        LiveAc ac;
        ac.hexid = hexid;
        ac.objectId = hexid & 0xffffu;
        ac.type = "B738";
        ac.size = 17.9 / 1852.0;
        ac.simState = SimState::active;
        ac.groundMode = 1;
        ac.pos.lat = at.lat;
        ac.pos.lon = at.lon;
        ac.pos.heading = 90.0 * kDegToRad;
        g_liveAc.push_back(ac);
    };
    taxiing(0x400001, 180.0, 0.9 * 1852.0);
    taxiing(0x400002, 90.0, 25.0);
    parking.removeUserGroundConflicts();
    EXPECT_EQ(g_liveAc[0].simState, SimState::active);
    EXPECT_EQ(g_liveAc[1].simState, SimState::removingfromsim);
    g_liveAc.clear();
    g_userAcData = UserAcData{};
    lf_setUserHalfWingspanNm(std::numeric_limits<double>::quiet_NaN());
}

// A scan that collected stand files for tblo.zip enables the "tblo"
// button, whose folder holds tblo.zip.
TEST_F(AirportWiring, AScanThatCollectsStandFilesEnablesTheTbloButton) {
    readSampleDatabase();
#ifdef _WIN32
    _putenv_s("GLIM_APPDATA", (m_folder / "appdata").string().c_str());
#else
    setenv("GLIM_APPDATA", (m_folder / "appdata").string().c_str(), 1);
#endif
    gf_rebuildAppPaths();
    bglw::Airport egll;
    egll.ident = "EGLC";
    bglw::Parking stand;
    stand.nameCode = 10;
    stand.number = 1;
    stand.lat_deg = 51.5;
    stand.lon_deg = 0.05;
    egll.parkings = {stand};
    writeFile("scenery/x/EGLC.bgl", bglw::encodeAirports({egll}));
    afolder[0].setValue((m_folder / "scenery").string());
    ControlStates controls;
    gf_setUiSink(&controls);
    RealRunAirports().scanAddonAirports();
    gf_setUiSink(nullptr);
    afolder[0].setValue("");
    EXPECT_EQ(gf_workPaths().tbloZip.generic_string(), "tblo/tblo.zip");
    EXPECT_TRUE(std::filesystem::exists(gf_workPaths().tbloZip));
    EXPECT_TRUE(controls.controlEnabled(kIdTblo));
}

}  // namespace
