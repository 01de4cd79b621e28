// What the status band shows the user when it matters: a damaged settings
// file is told above whatever follows, and a long message keeps its reason
// and its Manual section.
#include "app/run_test_support.h"
#include "app/window_actions.h"
#include "app/window_position.h"
#include "app/wiring/window_services.h"

#include "core/paths.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/user_error.h"
#include "ui/text_fit.h"
#include "ui/text_metrics.h"
#include "ui/window_paint.h"

namespace {

using namespace run_test;

// The texts painted in the status band, top to bottom.
std::vector<DrawOp> statusTexts(const DrawList& list) {
    std::vector<DrawOp> texts;
    for (const DrawOp& op : list) {
        if (op.kind == DrawOp::Kind::text && op.y1 >= kStatusBandTop) texts.push_back(op);
    }
    return texts;
}

class WindowStatusTest : public RunFixture {
protected:
    void TearDown() override {
        for (auto& folder : lfolder) folder.setValue("");
        RunFixture::TearDown();
    }
    // The user broke parameters.xml while adding a livery folder; the program
    // starts (the window first, then the run) and the run stops with an
    // error. The status band as painted while the run waits for the user.
    std::vector<DrawOp> startWithDamagedSettings(bool goodCopy) {
        const fs::path file = gf_parametersPath();
        fs::remove(gf_lastGoodParametersPath(file));
        if (goodCopy) {
            writeFile(gf_lastGoodParametersPath(file),
                      R"(<root><parameters><parameter name="SCAN_LIVERIES" value="true"/>)"
                      R"(<parameter name="SIM_INSTALL_PATH" value="C:\P3D v5"/></parameters></root>)");
        }
        writeFile(file, kDamaged);
        gf_resetStatusLine();
        gf_installRunPorts(world.ports(&realWindow));
        world.replaced.scanLiveries = [] {
            if (lfolder[0].get().empty())
                throw ozr::UserErrorException(48, "Exit GLIM_P3D first!   Then set one or more lfolder parameters "
                                                  "to your liveries, see Manual 5.3");
        };
        DrawList painted;
        world.at(2000ms, [&] { painted = gf_paintMainWindow(gf_windowDisplaySnapshot()); });
        world.at(3000ms, [] { lf_onUserClose(); });
        lf_readWindowPosition();
        lf_runWorker();
        EXPECT_EQ(readFile(gf_keptParametersPath(file)), kDamaged);
        return statusTexts(painted);
    }
    static void expectNoticeAboveError(const std::vector<DrawOp>& texts, const std::string& said,
                                       const std::string& error) {
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0].text.rfind("parameters.xml " + said, 0), 0u) << texts[0].text;
        EXPECT_NE(texts[0].text.find("parameters0.xml"), std::string::npos) << texts[0].text;
        EXPECT_EQ(texts[0].y1, kNoticeTextY);
        EXPECT_EQ(texts[1].text.rfind(error, 0), 0u) << texts[1].text;
        EXPECT_EQ(texts[1].y1, kBelowNoticeTextY);
        EXPECT_LE(kBelowNoticeTextY + kTextLineHeight, kStatusBandBottom);
    }
    static constexpr const char* kDamaged = R"(<root><parameters><parameter name="lfolder0" value="C:\AI)";
    RealRunWindow realWindow;
};

// The last good copy comes back without the new livery folder: Error 48
// follows, and the band still says what happened to the user's file.
TEST_F(WindowStatusTest, ARestoredSettingsFileIsToldAboveTheErrorThatFollows) {
    expectNoticeAboveError(startWithDamagedSettings(true),
                           "was damaged: kept as ", "48: Exit GLIM_P3D first!");
    EXPECT_NE(gf_statusLineSnapshot().notice.find("the last good settings (parameters_good.xml) are used"),
              std::string::npos);
    // Without a notice the text stays on the band's one line.
    gf_resetStatusLine();
    gf_setStatusLine("Waiting for Prepar3Dv5 ...", false);
    const std::vector<DrawOp> one = statusTexts(gf_paintMainWindow(gf_windowDisplaySnapshot()));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].y1, kStatusTextY);
}

// Without a good copy the defaults are used, and the band says so too.
TEST_F(WindowStatusTest, SettingsResetToTheDefaultsAreToldAboveTheErrorThatFollows) {
    expectNoticeAboveError(startWithDamagedSettings(false), "could not be read: kept as ", "48: Exit GLIM_P3D first!");
    EXPECT_NE(gf_statusLineSnapshot().notice.find("the default settings are used"), std::string::npos);
}

// A message too wide for the band gives up the middle of its path, never
// the reason or the Manual section at its end.
TEST(StatusBandText, ALongPathGivesWayToTheReasonAndTheManualSection) {
    const int width = kStatusBandRight - kStatusTextX;
    struct Row {
        std::string text;
        std::vector<std::string> kept;
    };
    const std::string user = "C:\\Users\\Alexandra Konstantinopoulou-Smithson\\AppData\\Roaming\\InsideSystems";
    const Row rows[] = {
        {"440: No RealTraffic licence: " + user + "\\RealTraffic.lic not found, see Manual 2.2",
         {"440: No RealTraffic licence: C:\\", "\\RealTraffic.lic not found, see Manual 2.2"}},
        {"404: RealTraffic refused the licence: licence not found (status 404), see Manual 2.2; licence from " + user +
             "\\RealTraffic.lic",
         {"(status 404), see Manual 2.2; licence from C:\\", "\\RealTraffic.lic"}},
        {"Stock airports path does not exist: /home/someone/with/a/very/long/folder/name/that/goes/on/and/on/and/on/"
         "until/it/cannot/fit/in/the/status/band/of/the/window/at/all/Scenery",
         {"Stock airports path does not exist: /", "/Scenery"}},
    };
    for (const Row& row : rows) {
        ASSERT_GT(gf_modelTextWidth(row.text), width) << row.text;
        const std::string fitted = gf_fitTextWithPath(row.text, width, gf_modelTextWidth);
        EXPECT_LE(gf_modelTextWidth(fitted), width) << fitted;
        EXPECT_NE(fitted.find("..."), std::string::npos) << fitted;
        for (const std::string& part : row.kept) EXPECT_NE(fitted.find(part), std::string::npos) << fitted;
        // The painter draws it so.
        StatusLineSnapshot s;
        s.errorText = row.text;
        DisplaySnapshot d;
        d.status = s;
        const std::vector<DrawOp> texts = statusTexts(gf_paintMainWindow(d));
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].text, fitted);
    }
    // A text that fits, or one without a path, is left alone or cut at its end.
    EXPECT_EQ(gf_fitTextWithPath("downloading/unzipping failed", width, gf_modelTextWidth),
              "downloading/unzipping failed");
    const std::string noPath(300, 'W');
    const std::string cut = gf_fitTextWithPath(noPath, width, gf_modelTextWidth);
    EXPECT_LE(gf_modelTextWidth(cut), width);
    EXPECT_EQ(cut.substr(cut.size() - 3), "...");
}

// The park airport's line keeps its publisher, the handmade mark and the
// week: a long airport name gives way.
TEST(StatusBandText, ALongAirportNameGivesWayToPublisherAndWeek) {
    struct Row {
        std::string name, publisher;
    };
    const Row rows[] = {
        {"Amsterdam Airport Schiphol International Terminal And Surroundings", "FlyTampa"},
        {"Schiphol", "Some Scenery Vendor With A Name Longer Than Any Line Could Hold Ltd"},
        {"Amsterdam Airport Schiphol International", "Some Scenery Vendor Ltd"},
    };
    for (const Row& row : rows) {
        DisplaySnapshot s;
        s.parkAirport = "EHAM";
        s.standsShown = true;
        s.standFileAirportName = row.name;
        s.standFilePublisher = row.publisher;
        s.handmade = true;
        s.week = 52;
        const DrawList list = gf_paintMainWindow(s);
        const DrawOp* line = nullptr;
        for (const DrawOp& op : list) {
            if (op.kind == DrawOp::Kind::text && op.x1 == 85 && op.y1 == 399) line = &op;
        }
        ASSERT_NE(line, nullptr);
        EXPECT_LE(85 + gf_modelTextWidth(line->text), 370) << line->text;
        EXPECT_EQ(line->text.substr(line->text.size() - 11), " (h), wk=52") << line->text;
        EXPECT_NE(line->text.find(", " + row.publisher.substr(0, 8)), std::string::npos) << line->text;
        EXPECT_EQ(line->text.rfind(" " + row.name.substr(0, 5), 0), 0u) << line->text;
    }
}

}  // namespace
