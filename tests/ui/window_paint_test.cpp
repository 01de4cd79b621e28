// The painting decisions of the main window, checked on the draw list.
#include "ui/window_paint.h"

#include "ui/text_metrics.h"
#include "ui/window_controls.h"
#ifdef _WIN32
#include "ui/window_gdi.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

// The colour of the text `start`, else of the first text that starts with
// it ("=text": that text exactly); nothing when it is not drawn.
std::optional<Rgb> colourOf(const DrawList& list, const std::string& start) {
    const bool exactOnly = start.rfind('=', 0) == 0;
    const std::string wanted = exactOnly ? start.substr(1) : start;
    for (const DrawOp& op : list) {
        if (op.kind == DrawOp::Kind::text && op.text == wanted) return op.colour;
    }
    if (exactOnly) return std::nullopt;
    for (const DrawOp& op : list) {
        if (op.kind == DrawOp::Kind::text && op.text.rfind(start, 0) == 0) return op.colour;
    }
    return std::nullopt;
}

std::optional<Rgb> fillAt(const DrawList& list, int x1, int y1) {
    std::optional<Rgb> last;
    for (const DrawOp& op : list) {
        if (op.kind == DrawOp::Kind::fill && op.x1 <= x1 && x1 < op.x2 && op.y1 <= y1 && y1 < op.y2) last = op.colour;
    }
    return last;
}

DisplaySnapshot base() {
    DisplaySnapshot s;
    s.versionText = "11.10.5";
    s.maxParkSel = 500;
    s.maxLiveSel = 500;
    s.liveryCount = 12;
    return s;
}

struct LabelRow {
    const char* name;
    void (*set)(DisplaySnapshot&);
    const char* text;
    std::optional<Rgb> colour;  // nothing: not drawn
};

TEST(WindowPaint, LabelAndCounterColoursFollowTheirValues) {
    const LabelRow rows[] = {
        {"liveries 0", [](DisplaySnapshot& s) { s.liveryCount = 0; }, "# liveries: ...", kRed},
        {"liveries 12", [](DisplaySnapshot&) {}, "# liveries: 12", kLime},
        {"simaddon 0", [](DisplaySnapshot&) {}, "# simaddon: ...", kYellow},
        {"thirdp 3", [](DisplaySnapshot& s) { s.thirdpartyCount = 3; }, "# thirdp: 3", kLime},
        {"both max 0: park red", [](DisplaySnapshot& s) { s.maxParkSel = s.maxLiveSel = 0; }, "Max park (static", kRed},
        {"both max 0: live red", [](DisplaySnapshot& s) { s.maxParkSel = s.maxLiveSel = 0; }, "Max live (park", kRed},
        {"live 0 only: live yellow", [](DisplaySnapshot& s) { s.maxLiveSel = 0; }, "Max live (park", kYellow},
        {"live 0 only: park black", [](DisplaySnapshot& s) { s.maxLiveSel = 0; }, "Max park (static", kBlack},
        {"park 0 only: park yellow", [](DisplaySnapshot& s) { s.maxParkSel = 0; }, "Max park (static", kYellow},
        {"guid off", [](DisplaySnapshot& s) { s.guidChanges = false; }, "GUID changes", kYellow},
        {"time shift hidden", [](DisplaySnapshot& s) { s.timeShiftDisplay = false; }, "Time shift:", kGrey},
        {"one day singular", [](DisplaySnapshot& s) { s.timeShiftDays = 1; }, "day", kBlack},
        {"auto range off: Ah grey", [](DisplaySnapshot&) {}, "Ah:", kGrey},
        {"light disabled", [](DisplaySnapshot& s) { s.lightAircraftEnabled = false; }, "Light aircraft", kGrey},
        {"PT only greys Week", [](DisplaySnapshot& s) { s.parkTrafficOnly = true; }, "Week", kGrey},
        {"parking busy", [](DisplaySnapshot& s) { s.parkingBusy = true; }, "Airport parking", kYellow},
        {"tblo reminder", [](DisplaySnapshot& s) { s.tbloFileCount = 2; }, "Please mail tblo.zip (2 files)", kRed},
        {"no tblo reminder", [](DisplaySnapshot&) {}, "Please mail", std::nullopt},
        // The renewal note follows the countdown, only while stands are there.
        {"renewal 7", [](DisplaySnapshot& s) { s.standsShown = true; s.minutesToRenewal = 7; }, "(next in 7 min)",
         kBlack},
        {"renewal 20 not shown", [](DisplaySnapshot& s) { s.standsShown = true; s.minutesToRenewal = 20; }, "(next in",
         std::nullopt},
        {"renewal while busy", [](DisplaySnapshot& s) { s.standsShown = s.parkingBusy = true; }, "(next in",
         std::nullopt},
        {"no renewal with ILO", [](DisplaySnapshot& s) { s.standsShown = s.initialLoadOnly = true; }, "(no next ... )",
         kBlack},
        {"renewal without stands", [](DisplaySnapshot& s) { s.minutesToRenewal = 7; }, "(next in", std::nullopt},
        // The service's lamps and texts only once logged in.
        {"no qnh before login", [](DisplaySnapshot& s) { s.weatherLamp = 1; s.qnh = 1013; }, "qnh:", std::nullopt},
        {"qnh 0 waiting", [](DisplaySnapshot& s) { s.authenticated = true; s.weatherLamp = 2; }, "qnh:", std::nullopt},
        {"qnh shown", [](DisplaySnapshot& s) { s.authenticated = true; s.weatherLamp = 2; s.qnh = 1009; }, "qnh: 1009",
         kLime},
        {"weather waiting", [](DisplaySnapshot& s) { s.authenticated = true; s.weatherLamp = 2; }, "Weather", kYellow},
        {"traffic stopped", [](DisplaySnapshot& s) { s.authenticated = true; }, "=Traffic", std::nullopt},
        {"traffic waiting", [](DisplaySnapshot& s) { s.authenticated = true; s.trafficLamp = 2; }, "Traffic", kYellow},
        {"live count", [](DisplaySnapshot& s) { s.authenticated = true; s.trafficLamp = 1; s.liveCount = 7; },
         "live:   7", kLime},
        // The simulator's texts take the lamp's colour.
        {"sim connected, no title", [](DisplaySnapshot& s) { s.connected = true; s.simText = "P3D"; }, "P3D", kYellow},
        {"sim running", [](DisplaySnapshot& s) {
             s.connected = s.running = true;
             s.simText = "P3D";
             s.userAcTitle = "B738";
         }, "P3D", kLime},
        {"user stand", [](DisplaySnapshot& s) { s.connected = true; s.simText = "P3D"; s.userStand = "A7"; },
         "P3D, user stand A7", kYellow},
    };
    for (const LabelRow& row : rows) {
        DisplaySnapshot s = base();
        row.set(s);
        const DrawList list = gf_paintMainWindow(s);
        EXPECT_EQ(colourOf(list, row.text), row.colour) << row.name;
    }
}

TEST(WindowPaint, LampsAndBands) {
    struct Row {
        const char* name;
        void (*set)(DisplaySnapshot&);
        int x, y;
        Rgb colour;
    };
    const Row rows[] = {
        {"sim lamp red", [](DisplaySnapshot&) {}, 410, 50, kRed},
        {"sim lamp yellow", [](DisplaySnapshot& s) { s.connected = true; }, 410, 50, kYellow},
        {"sim lamp lime", [](DisplaySnapshot& s) { s.connected = s.running = true; s.userAcTitle = "x"; }, 410, 50,
         kLime},
        {"rt idle", [](DisplaySnapshot&) {}, 440, 50, kBlack},
        {"rt not logged in", [](DisplaySnapshot& s) { s.rtIdle = false; }, 440, 50, kRed},
        {"rt logged in", [](DisplaySnapshot& s) { s.rtIdle = false; s.authenticated = true; }, 440, 50, kLime},
        {"header", [](DisplaySnapshot&) {}, 10, 10, kBlack},
        {"controls", [](DisplaySnapshot&) {}, 10, 200, kLightBlue},
        {"state band", [](DisplaySnapshot&) {}, 10, 420, kBlack},
        {"status lime", [](DisplaySnapshot& s) { s.status.statusText = "hello"; }, 10, 460, kLime},
        {"status red", [](DisplaySnapshot& s) { s.status.errorText = "151: no path"; }, 10, 460, kRed},
    };
    for (const Row& row : rows) {
        DisplaySnapshot s = base();
        row.set(s);
        EXPECT_EQ(fillAt(gf_paintMainWindow(s), row.x, row.y), row.colour) << row.name;
    }
}

TEST(WindowPaint, StatusBandShowsTheErrorInYellowAndHidesTheStatus) {
    DisplaySnapshot s = base();
    s.status.statusText = "status";
    EXPECT_EQ(colourOf(gf_paintMainWindow(s), "status"), kYellow);
    s.status.errorText = "151: type the path";
    const DrawList list = gf_paintMainWindow(s);
    EXPECT_EQ(colourOf(list, "151: type the path"), kYellow);
    EXPECT_FALSE(colourOf(list, "status"));
}

TEST(WindowPaint, StateLinesOfThePark) {
    DisplaySnapshot s = base();
    EXPECT_FALSE(colourOf(gf_paintMainWindow(s), "# stands"));  // no park airport: the band stays empty

    s.parkAirport = "EHAM";
    EXPECT_EQ(colourOf(gf_paintMainWindow(s), "EHAM"), kYellow);
    EXPECT_FALSE(colourOf(gf_paintMainWindow(s), "# stands"));

    s.standsShown = true;
    s.standFileAirportName = "Schiphol";
    s.standFilePublisher = "stock";
    s.handmade = true;
    s.week = 3;
    s.sMark = s.wMark = true;
    s.reservedStand = "D7";
    s.stands = 42;
    s.maxPark = 0;
    s.liveAverageFit = 2.5f;
    s.staticAverageFit = 3.0f;
    DrawList list = gf_paintMainWindow(s);
    EXPECT_EQ(colourOf(list, " Schiphol, stock (h), wk=3"), kLime);
    EXPECT_EQ(colourOf(list, "*WS*"), kLime);
    EXPECT_EQ(colourOf(list, "reserved stand: D7"), kRed);
    EXPECT_EQ(colourOf(list, "# stands:  42"), kLime);
    EXPECT_EQ(colourOf(list, "average fit: 2.5"), kLime);
    EXPECT_EQ(colourOf(list, "no max park live"), kLime);
    EXPECT_FALSE(colourOf(list, "static:"));

    s.maxPark = 80;
    s.maxParkPercent = 60;
    s.staticExtra = 4;
    s.wMark = false;
    list = gf_paintMainWindow(s);
    EXPECT_EQ(colourOf(list, "max park:  80 (=60 %)"), kLime);
    EXPECT_EQ(colourOf(list, " (4)"), kYellow);
    EXPECT_EQ(colourOf(list, "average fit: 3"), kLime);
    s.parkTrafficOnly = true;
    EXPECT_FALSE(colourOf(gf_paintMainWindow(s), "max park:"));
    EXPECT_FALSE(colourOf(gf_paintMainWindow(s), "qf:"));
}

// ---- Every text readable ----

struct Box {
    int left, top, right, bottom;
    std::string what;
};

bool overlap(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Where the controls stand; a closed combo is at most 22 high.
std::vector<Box> controlBoxes() {
    std::vector<Box> boxes;
    for (const ControlSpec& c : gf_controlTable()) {
        const int height = c.kind == ControlKind::combo ? 22 : c.createHeight();
        boxes.push_back({c.x, c.createY(), c.x + c.width, c.createY() + height, "control " + std::to_string(c.id())});
    }
    return boxes;
}

// Every text of the list as painted with the widths of `width`, cut where
// the painter cuts it.
template <typename Width>
std::vector<Box> textBoxes(const DrawList& list, Width width) {
    std::vector<Box> boxes;
    for (const DrawOp& op : list) {
        if (op.kind != DrawOp::Kind::text || op.text.empty()) continue;
        int right = op.x1 + width(op.text);
        if (op.x2 > op.x1) right = std::min(right, op.x2);
        boxes.push_back({op.x1, op.y1, right, op.y1 + kTextLineHeight, "'" + op.text + "'"});
    }
    return boxes;
}

// What keeps a text from being read: another text or a control over it, a
// lamp under it, the window's edge.
std::vector<std::string> layoutFaults(const std::vector<Box>& texts) {
    std::vector<std::string> faults;
    const std::vector<Box> controls = controlBoxes();
    const Box lamps{397, 30, 453, 112, "the lamps"};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const Box& t = texts[i];
        if (t.right > 880) faults.push_back(t.what + " runs out of the window");
        const bool lampLabel = t.what == "'Sim'" || t.what == "'RT'";
        if (!lampLabel && overlap(t, lamps)) faults.push_back(t.what + " runs under the lamps");
        if (lampLabel && (t.left < lamps.left || t.right > lamps.right)) faults.push_back(t.what + " leaves its lamp");
        for (std::size_t j = i + 1; j < texts.size(); ++j) {
            if (overlap(t, texts[j])) faults.push_back(t.what + " and " + texts[j].what + " overlap");
        }
        for (const Box& c : controls) {
            if (overlap(t, c)) faults.push_back(t.what + " is hidden by " + c.what);
        }
    }
    return faults;
}

// The longest values a user may meet.
std::vector<DisplaySnapshot> fullWindows() {
    DisplaySnapshot s = base();
    s.connected = s.running = true;
    s.simText = "Lockheed Martin Prepar3D v5 5.4.9.28482";
    s.userStand = "D7";
    s.userAcTitle = "Boeing 737-800 KLM Royal Dutch Airlines PH-BXA with scimitar winglets (2024)";
    s.authenticated = true;
    s.rtIdle = false;
    s.serviceText = "RealTraffic v4 server: Europe West, 1234 users online, all systems normal today";
    s.weatherLamp = s.trafficLamp = 1;
    s.qnh = 1013;
    s.liveCount = 999;
    s.liveryCount = 123456;
    s.simaddonCount = 9999;
    s.thirdpartyCount = 9999;
    s.tbloFileCount = 1234;
    s.timeShiftDays = s.timeShiftHours = s.timeShiftMins = 13;
    s.minutesToRenewal = 19;
    s.standsShown = true;
    s.parkAirport = "EHAM";
    s.standFileAirportName = "Amsterdam Airport Schiphol International";
    s.standFilePublisher = "Some Scenery Vendor Ltd";
    s.handmade = true;
    s.week = 52;
    s.sMark = s.wMark = true;
    s.qualityText = "0.95/0.80/0.75/0.99";
    s.reservedStand = "D7-LEFT-OF-GATE";
    s.updates = 12345;
    s.stands = 9999;
    s.parkedLive = 999;
    s.liveAverageFit = 12.5f;
    s.staticCount = 999;
    s.staticExtra = 9999;
    s.staticAverageFit = 23.5f;
    s.maxPark = 999;
    s.maxParkPercent = 100;
    s.status.statusText = std::string(200, 'W');
    std::vector<DisplaySnapshot> all{s};
    s.wMark = false;
    s.initialLoadOnly = true;
    all.push_back(s);
    s.standsShown = false;
    s.parkAirport = "A VERY LONG PARK AIRPORT TEXT THAT NEVER ENDS AT ALL, REALLY NEVER";
    all.push_back(s);
    return all;
}

TEST(WindowPaint, EveryTextIsReadableWithTheModelsWidths) {
    for (const DisplaySnapshot& s : fullWindows()) {
        const std::vector<std::string> faults = layoutFaults(textBoxes(gf_paintMainWindow(s), gf_modelTextWidth));
        EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
    }
}

#ifdef _WIN32
// The same with the font the window really gets from the system.
TEST(WindowPaint, EveryTextIsReadableInTheSystemsFont) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_TRUE(dc);
    HGDIOBJ previous = SelectObject(dc, gf_windowFont());
    for (const DisplaySnapshot& s : fullWindows()) {
        const auto width = [dc](const std::string& t) { return gf_textWidthOnDc(dc, t); };
        const std::vector<std::string> faults = layoutFaults(textBoxes(gf_paintMainWindow(s), width));
        EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
}
#endif

// A lamp's label stays readable on the lamp's colour.
TEST(WindowPaint, LampLabelsStandOutFromTheirLamp) {
    for (const DisplaySnapshot& s : fullWindows()) {
        const DrawList list = gf_paintMainWindow(s);
        EXPECT_NE(colourOf(list, "=Sim"), fillAt(list, 410, 70));
        EXPECT_NE(colourOf(list, "=RT"), fillAt(list, 440, 70));
    }
    const DrawList idle = gf_paintMainWindow(base());
    EXPECT_NE(colourOf(idle, "=RT"), fillAt(idle, 440, 70));
}

}  // namespace
