// The window's controls through a run's static parking at the user's
// airport: what the user set stays set, whatever the stand file brings.
#include "app/wiring/airport_services.h"
#include "app/wiring/feed_services.h"
#include "app/wiring/static_traffic_services.h"

#include "../airports_test_support.h"
#include "app/run_control.h"
#include "app/run_test_support.h"
#include "app/window_requests.h"
#include "app/window_services.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "core/status_line.h"
#include "core/steady_clock.h"
#include "core/sitestub_process.h"
#include "core/ui_sink.h"
#include "feed/feed_env.h"
#include "feed/traffic_reader.h"
#include "simlink/sim_state.h"
#include "traffic/static_parking.h"
#include "support/test_env.h"
#include "ui/text_fit.h"
#include "ui/text_metrics.h"
#include "ui/window_controls.h"
#include "ui/window_state.h"

#include <ctime>
#include <map>

namespace {

using airports_test::AirportsFixture;
using airports_test::nativePath;

// The controls' enabled states and combo selections, as the window keeps them.
class Controls final : public UiSink {
public:
    void enableControl(int id, bool enabled) override { m_enabled[id] = enabled; }
    void setCheck(int, bool) override {}
    void fillCombo(int id, const std::vector<std::string>& items, int selected) override {
        m_items[id] = items;
        selectCombo(id, selected);
    }
    void selectCombo(int id, int index) override {
        const auto& items = m_items[id];
        m_shown[id] = index >= 0 && static_cast<std::size_t>(index) < items.size() ? items[index] : "";
    }
    void setText(int, const std::string&) override {}
    void invalidateBand(UiBand) override {}
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }
    bool controlEnabled(int id) override { return m_enabled.count(id) != 0 && m_enabled[id]; }
    std::string shown(int id) { return m_shown[id]; }

private:
    std::map<int, bool> m_enabled;
    std::map<int, std::vector<std::string>> m_items;
    std::map<int, std::string> m_shown;
};

const char* const kStandFile =
    R"(<root><meta><info name="copyright" value="c"/><info name="sim" value="3"/></meta>
    <parameters><parameter name="publisher" value="stock"/><parameter name="altitude" value="-11"/></parameters>
    <parkpositions><parkpos id="D7" latitude="52.3105" longitude="4.7683" radius="20"/></parkpositions></root>)";

// The site's file with a slip the user cannot mend: a stand id twice.
const char* const kFaultySiteFile =
    R"(<root><meta><info name="copyright" value="c"/><info name="sim" value="3"/></meta>
    <parameters><parameter name="publisher" value="stock"/><parameter name="altitude" value="-11"/></parameters>
    <parkpositions><parkpos id="D7" latitude="52.3105" longitude="4.7683" radius="20"/>
    <parkpos id="D7" latitude="52.3107" longitude="4.7685" radius="20"/></parkpositions></root>)";

// An aircraft taxiing 1.8 nm from EHAM's reference point, polled through the
// live feed with the settings the run's wiring gives it: true when it would
// reach the engine.
bool groundEntryPasses() {
    TrafficReader reader;
    reader.filterLat = 52.3105;
    reader.filterLon = 4.7683;
    reader.refreshAnswerSettings();
    nlohmann::json e = nlohmann::json::array();
    for (int i = 0; i < 48; ++i) e.push_back(0);
    e[0] = "484f6d";
    e[1] = 52.3400;
    e[2] = 4.7683;
    e[3] = 180.0;
    e[5] = 12;
    e[8] = "B738";
    e[9] = "PH-BXA";
    e[10] = static_cast<double>(std::time(nullptr));
    e[13] = "KLM1234";
    e[28] = "A3";
    reader.entry = e;
    reader.processLine();
    return !reader.flightRecords.empty();
}

class WindowFlow : public AirportsFixture {
protected:
    void SetUp() override {
        AirportsFixture::SetUp();
        readSampleDatabase();
        lf_wireAirports();
        lf_wireStaticTraffic();
        lf_wireFeed();
        gf_setUiSink(&controls);
        gf_resetWindowServices();
        // No Traffic Reader runs here to answer a parked-traffic request.
        MAX_PARK_SEL.setValue(0);
        gf_setParkedTrafficSource(nullptr, true);
        // The start of the run: its combos filled, the time-shift group
        // handed to the user as the start-up reading does.
        gf_fillComboBoxes();
        for (const ControlBinding* b : timeShiftGroup()) controls.enableControl(b->controlId(), true);
        UserAcData user;
        user.lat_deg = 52.3105;
        user.lon_deg = 4.7683;
        gf_setUserAcData(user);
        g_userOnGround.value = true;
        g_userOnGround.known = true;
    }
    void TearDown() override {
        setTestEnv("GLIM_SITE_BASE_URL", "");
        gf_setFeedEnv(nullptr);
        gf_setParkedTrafficSource(nullptr, false);
        gf_setUiSink(nullptr);
        gf_resetWindowServices();
        g_autoRangeRequested = false;
        g_userOnGround.known = false;
        g_userOnGround.value = false;
        gf_setUserAcData(UserAcData{});
        for (ComboParameter* s : {&RANGE, &MAX_PARK_SEL}) s->setValue(s->defaultValue());
        AUTO_RANGE.setValue(AUTO_RANGE.defaultValue());
        AirportsFixture::TearDown();
    }
    static std::vector<const ControlBinding*> timeShiftGroup() {
        return {&SIM_TIME, &KEEP_SIM_TIME_PAR, &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS};
    }
    Controls controls;
    RealRunParking parking;
};

// A parking that ends before it began (the stand file cannot be read, or
// its download fails) leaves the time-shift group as the user has it.
TEST_F(WindowFlow, AParkingWithoutStandFileLeavesTheTimeShiftGroupAlone) {
    struct Case {
        const char* what;
        const char* localFile;  // nullptr: the stand file must be downloaded
    };
    for (const Case& c : {Case{"unreadable", "<root><parameters"}, Case{"download", nullptr}}) {
        for (const ControlBinding* b : timeShiftGroup()) controls.enableControl(b->controlId(), true);
        if (c.localFile) {
            writeFile("airports/my_thirdparty/EHAM.xml", c.localFile);
        } else {
            std::filesystem::remove("airports/my_thirdparty/EHAM.xml");
            setTestEnv("GLIM_SITE_BASE_URL", "http://127.0.0.1:9/");
        }
        parking.staticParking(true);
        EXPECT_FALSE(parking.standsLoaded()) << c.what;
        EXPECT_FALSE(g_mainWindowState.parkingBusy.load()) << c.what;
        for (const ControlBinding* b : timeShiftGroup())
            EXPECT_TRUE(controls.controlEnabled(b->controlId())) << c.what << " " << b->controlId();
    }
}

// Six and a half minutes of park-airport checks (one every 16 s, as the main
// loop runs them) at EHAM while its stand file cannot be had. The parking
// controls are never taken: not by the first try, not by a retry. The
// message names the file once, says what to do, is logged once per try, and
// stays on the status line although a status text lives 25 s. Live ground
// traffic around the airport passes the feed at every check: only the
// parking waits. A damaged file is tried again only once it changed (then it
// is read, no restart); a download 5 minutes later, and the parking starts
// once the site has the file whole.
TEST_F(WindowFlow, AStandFileThatCannotBeHadLeavesTheControlsAndSaysWhatToDo) {
    enum class Site { none, unreachable, stub };
    struct Case {
        const char* what;
        const char* localFile;  // nullptr: the stand file must be downloaded
        Site site;
        const char* siteFile;  // what the stand-in site has (nullptr: nothing)
        std::string message;
        std::string detail;  // the reader's own words in Log.txt
        int tries;           // within the six and a half minutes
    };
    const Case cases[] = {
        {"damaged file", "<root><parameters", Site::none, nullptr,
         nativePath("airports/my_thirdparty/EHAM.xml") +
             " cannot be read (see Log.txt): mend or remove it. Parked traffic at EHAM waits for it, see Manual 6.5",
         "airports\\my_thirdparty\\EHAM.xml: could not load file: ", 1},
        {"failed download", nullptr, Site::unreachable, nullptr,
         "The stand file of EHAM could not be downloaded: check the connection. Parked traffic waits for it, next "
         "try in 5 minutes, see Manual 6.5",
         "failed to download: 'http://127.0.0.1:9/P3D/archive/stock/EHAM.xml'", 2},
        {"not on the site", nullptr, Site::stub, nullptr,
         "The stand file of EHAM is not on the download site. Parked traffic waits for it, next try in 5 minutes, "
         "see Manual 6.5",
         "failed to download: 'http://127.0.0.1:", 2},
        {"faulty site file", nullptr, Site::stub, kFaultySiteFile,
         "The stand file of EHAM on the download site is faulty (see Log.txt). Parked traffic waits for it, next "
         "try in 5 minutes, see Manual 6.5",
         "94: Parking position 'D7' appears more than once", 2},
    };
    const std::filesystem::path siteFile =
        std::filesystem::absolute("site/downloads/P3D/archive/stock/EHAM.xml");
    std::filesystem::create_directories(siteFile.parent_path());
    std::string whyNot;
    const auto stub = SiteStubProcess::start(std::filesystem::absolute("site"), {}, whyNot);
    VirtualSteadyClock clock;
    gf_setSteadyClock(&clock);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.site == Site::stub && !stub) {
#ifdef _WIN32
            // Under Wine the native stand-in may not be at hand.
            continue;
#else
            FAIL() << whyNot;
#endif
        }
        gf_resetStatusLine();
        g_tickCount = 0;
        const std::size_t logStart = log().size();
        std::filesystem::remove(siteFile);
        if (c.localFile) {
            writeFile("airports/my_thirdparty/EHAM.xml", c.localFile);
        } else {
            std::filesystem::remove("airports/my_thirdparty/EHAM.xml");
            if (c.siteFile) writeFile(siteFile, c.siteFile);
            setTestEnv("GLIM_SITE_BASE_URL",
                       c.site == Site::stub ? stub->baseUrl() + "downloads/" : "http://127.0.0.1:9/");
        }
        // The message fits the status band whole.
        EXPECT_EQ(c.message, gf_fitTextWithPath(c.message, kStatusBandRight - kStatusTextX, gf_modelTextWidth));
        int taken = 0;
        int shown = 0;
        int groundDropped = 0;
        int samples = 0;
        const auto sample = [&] {
            ++samples;
            bool any = g_mainWindowState.parkingBusy.load();
            for (const ControlBinding* b : timeShiftGroup()) any = any || !controls.controlEnabled(b->controlId());
            if (any) ++taken;
            if (gf_statusLineSnapshot().statusText == c.message) ++shown;
            if (!groundEntryPasses()) ++groundDropped;
        };
        const auto check = [&] {
            // Sixteen seconds of the run: its per-second ticks clear a status
            // text after 25 of them.
            for (int second = 0; second < 16; ++second) {
                clock.advance(std::chrono::seconds(1));
                ++g_tickCount;
                gf_clearStatusLineWhenDue();
            }
            parking.staticParking(false);
        };
        parking.staticParking(true);
        sample();
        for (int n = 1; n <= 24; ++n) {
            check();
            sample();
        }
        EXPECT_FALSE(parking.standsLoaded());
        EXPECT_EQ(0, taken) << samples << " samples";
        EXPECT_EQ(samples, shown) << log().substr(logStart);
        EXPECT_EQ(0, groundDropped) << samples << " samples";
        const std::string logged = log().substr(logStart);
        const auto count = [&](const std::string& text) {
            int n = 0;
            for (auto at = logged.find(text); at != std::string::npos; at = logged.find(text, at + 1)) ++n;
            return n;
        };
        EXPECT_EQ(c.tries, count(c.message + "\n")) << logged;
        EXPECT_EQ(c.tries, count(c.detail)) << logged;
        EXPECT_EQ(c.tries, count("User aircraft on the ground at EHAM (AMS)")) << logged;

        if (c.localFile) {
            // The user mends the file: a following check takes the airport,
            // the one after reads it. Only that calculation may take the
            // controls.
            writeFile("airports/my_thirdparty/EHAM.xml", kStandFile);
            parking.staticParking(false);
            EXPECT_EQ(parking.standsLoaded(), false);
            for (const ControlBinding* b : timeShiftGroup()) EXPECT_TRUE(controls.controlEnabled(b->controlId()));
            parking.staticParking(false);
        } else if (stub) {
            // The site gets the file whole: the parking starts at the next
            // try, within 5 minutes and a check.
            writeFile(siteFile, kStandFile);
            setTestEnv("GLIM_SITE_BASE_URL", stub->baseUrl() + "downloads/");
            for (int n = 0; n < 21 && !parking.standsLoaded(); ++n) check();
        }
        EXPECT_TRUE(parking.standsLoaded() || (!c.localFile && !stub)) << log().substr(logStart);
        EXPECT_TRUE(groundEntryPasses());
        parking.clearAirportTraffic();
    }
    gf_setSteadyClock(nullptr);
}

// The run's main loop at EHAM while its stand file is damaged, the real
// park-airport check at the seconds the loop gives it: every 16 s, but not at
// the multiples of 80, so two checks can lie 32 s apart. At every simulator
// second the status line says why the parked traffic is missing; once the
// user has mended the file, the check that sees it takes the message away
// and the one after reads the file. At every second, too, a taxiing
// aircraft near the airport passes the live feed.
TEST_F(WindowFlow, TheStandFileMessageStaysAtEverySecondOfTheMainLoop) {
    const std::string message =
        nativePath("airports/my_thirdparty/EHAM.xml") +
        " cannot be read (see Log.txt): mend or remove it. Parked traffic at EHAM waits for it, see Manual 6.5";
    writeFile("airports/my_thirdparty/EHAM.xml", "<root><parameters");
    VirtualSteadyClock clock;
    run_test::FakeWorld world(clock);
    gf_setSteadyClock(&clock);
    gf_resetStatusLine();
    g_tickCount = 0;
    lf_resetMainLoopState();
    gf_installRunPorts(world.ports(nullptr, &parking));

    constexpr int kMendedAt_s = 200;  // checks at 208 and 224 follow
    std::vector<int> withoutMessage;  // seconds before the mend
    std::vector<int> withMessage;     // seconds after the check that saw it
    std::vector<int> groundDropped;   // seconds
    for (int second = 1; second <= 230; ++second) {
        world.at(std::chrono::milliseconds(second * 1000 + 500), [&, second] {
            const bool shown = gf_statusLineSnapshot().statusText == message;
            if (second <= kMendedAt_s && !shown) withoutMessage.push_back(second);
            if (second > 208 && shown) withMessage.push_back(second);
            if (!groundEntryPasses()) groundDropped.push_back(second);
            if (second == kMendedAt_s) writeFile("airports/my_thirdparty/EHAM.xml", kStandFile);
        });
    }
    world.at(std::chrono::milliseconds(230 * 1000 + 700), [] { gf_setExitReason(ExitReason::userClosedSim, 0); });
    lf_mainLoop();

    EXPECT_EQ(withoutMessage, std::vector<int>{}) << log();
    EXPECT_EQ(withMessage, std::vector<int>{});
    EXPECT_EQ(groundDropped, std::vector<int>{});
    EXPECT_TRUE(parking.standsLoaded()) << log();
    const std::string logged = log();
    EXPECT_EQ(1u, run_test::countOf(logged, message + "\n")) << logged;

    parking.clearAirportTraffic();
    gf_uninstallRunPorts();
    gf_setSteadyClock(nullptr);
    gf_resetExitReason();
    gf_resetRunFlags();
    lf_resetMainLoopState();
}

// The airport's own range is shown and kept: a learned file with a manual
// range of 30 gives 30, whatever range was chosen by hand before, and the
// close writes 30 back into that file.
TEST_F(WindowFlow, ALearnedFilesManualRangeIsShownAndKept) {
    for (bool autoBefore : {false, true}) {
        AUTO_RANGE.setValue(autoBefore);
        RANGE.setValue(55);
        writeFile("airports/my_thirdparty/EHAM.xml", kStandFile);
        writeFile("airports/learned/stock/EHAM.xml",
                  R"(<root><meta><info name="version" value="11.10.5"/><info name="copyright" value="c"/>)"
                  R"(<info name="sim" value="3"/></meta><parameters>)"
                  R"(<parameter name="RANGE" value="30"/><parameter name="AUTO_RANGE" value="false"/>)"
                  R"(</parameters><parkpositions/></root>)");
        parking.staticParking(true);
        ASSERT_TRUE(parking.standsLoaded()) << log();
        EXPECT_EQ(RANGE.value(), 30) << autoBefore;
        EXPECT_EQ(controls.shown(RANGE.controlId()), "30") << autoBefore;
        EXPECT_TRUE(controls.controlEnabled(RANGE.controlId())) << autoBefore;

        parking.clearAirportTraffic();
        const std::string learned = readFile("airports/learned/stock/EHAM.xml");
        EXPECT_NE(learned.find(R"(name="RANGE" value="30")"), std::string::npos) << autoBefore << learned;
        // Leaving the airport gives the user's own range back.
        EXPECT_EQ(RANGE.value(), 55) << autoBefore;
        EXPECT_EQ(AUTO_RANGE.value(), autoBefore);
    }
}

// A hand-made file that gives no stand overrules the stand file: the message
// names it (the stand file is fine), the checks wait while it is unchanged,
// and once the user has mended it the check after next reads it.
TEST_F(WindowFlow, AHandMadeFileThatGivesNoStandIsTheOneNamedAndReadAgain) {
    const std::string learned = "airports/learned/stock/EHAM.xml";
    const std::string unusable =
        R"(<root><meta><info name="version" value="11.10.5"/><info name="copyright" value="c"/>)"
        R"(<info name="sim" value="3"/></meta><parameters><parameter name="handmade" value="true"/></parameters>)"
        R"(<parkpositions><parkpos id="H1" latitude="52,3105" longitude="4.7683" radius="20"/></parkpositions></root>)";
    writeFile("airports/my_thirdparty/EHAM.xml", kStandFile);
    writeFile(learned, unusable);
    gf_resetStatusLine();
    parking.staticParking(true);
    EXPECT_FALSE(parking.standsLoaded());
    const std::string message = nativePath(learned) +
                                " cannot be read (see Log.txt): mend or remove it. Parked traffic at EHAM waits for it, "
                                "see Manual 6.5";
    // The close's own text about the file goes first; the waiting's message
    // is there once it has had its time.
    for (int tick = 0; tick < 30; ++tick) {
        ++g_tickCount;
        gf_clearStatusLineWhenDue();
    }
    parking.staticParking(false);
    EXPECT_EQ(gf_statusLineSnapshot().statusText, message);
    parking.staticParking(false);
    EXPECT_FALSE(parking.standsLoaded());
    g_tickCount = 0;

    std::string mended = unusable;
    mended.replace(mended.find("52,3105"), 7, "52.31050");
    writeFile(learned, mended);
    parking.staticParking(false);
    parking.staticParking(false);
    EXPECT_TRUE(parking.standsLoaded()) << log();
    parking.clearAirportTraffic();
}

}  // namespace
