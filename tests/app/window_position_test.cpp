// The main window's position in parameters.xml, and the window's three
// messages as the run control answers them.
#include "run_test_support.h"

#include "app/window_actions.h"
#include "app/window_position.h"
#include "app/worker_thread.h"
#include "core/settings_file.h"

namespace run_test {
namespace {

class WindowPositionTest : public RunFixture {
protected:
    void writeParameters(const std::string& x, const std::string& y) {
        fs::create_directories(gf_parametersPath().parent_path());
        writeFile(gf_parametersPath(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n"
                                       "    <parameter name=\"MAIN_WINDOW_X\" value=\"" + x + "\" />\n"
                                       "    <parameter name=\"MAIN_WINDOW_Y\" value=\"" + y + "\" />\n"
                                       "  </parameters>\n</root>\n");
    }
    std::string stored(const char* key) {
        const std::string text = parametersFile();
        const std::string head = std::string("name=\"") + key + "\" value=\"";
        const auto at = text.find(head);
        if (at == std::string::npos) return "?";
        const auto begin = at + head.size();
        return text.substr(begin, text.find('"', begin) - begin);
    }
};

struct StartCase {
    const char* x;
    const char* y;
    int openX;
    int openY;
    const char* storedX;
    const char* storedY;
};

TEST_F(WindowPositionTest, PositionAtStart) {
    const std::vector<StartCase> cases{
        // A window closed while minimised left a coordinate at its limit.
        {"-30000", "30000", 400, 20, "400", "20"},
        {"-29999", "29999", -29999, 29999, "-29999", "29999"},
        {"123", "77", 123, 77, "123", "77"},
        // Out of range is clamped to the limit, and a limit gives way.
        {"99999", "-5", 400, -5, "400", "-5"},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(std::string(c.x) + "," + c.y);
        writeParameters(c.x, c.y);
        const WindowPosition position = lf_readWindowPosition();
        EXPECT_EQ(position.x, c.openX);
        EXPECT_EQ(position.y, c.openY);
        EXPECT_EQ(stored("MAIN_WINDOW_X"), c.storedX);
        EXPECT_EQ(stored("MAIN_WINDOW_Y"), c.storedY);
    }
}

TEST_F(WindowPositionTest, MissingOrBrokenFileOpensAtTheDefault) {
    fs::remove(gf_parametersPath());
    WindowPosition position = lf_readWindowPosition();
    EXPECT_EQ(position.x, 400);
    EXPECT_EQ(position.y, 20);
    EXPECT_FALSE(fs::exists(gf_parametersPath()));
    EXPECT_EQ(log().find("failed to load"), std::string::npos);

    fs::create_directories(gf_parametersPath().parent_path());
    writeFile(gf_parametersPath(), "<root><parameters>");
    position = lf_readWindowPosition();
    EXPECT_EQ(position.x, 400);
    EXPECT_FALSE(fs::exists(gf_parametersPath()));
    const fs::path kept = gf_parametersPath().parent_path() / "parameters0.xml";
    EXPECT_EQ(readFile(kept), "<root><parameters>");
    EXPECT_NE(log().find("failed to load, syntax error?\n --> saved as 0.xml,  file removed\n"), std::string::npos);

    // A copy that cannot be made (a folder in its place) leaves the file.
    fs::remove(kept);
    fs::create_directories(kept / "blocked");
    writeFile(gf_parametersPath(), "<root><parameters>");
    position = lf_readWindowPosition();
    EXPECT_EQ(position.x, 400);
    EXPECT_EQ(readFile(gf_parametersPath()), "<root><parameters>");

    // With a last good copy, the first read already has the settings back.
    fs::remove_all(kept);
    writeParameters("150", "60");
    fs::copy_file(gf_parametersPath(), gf_lastGoodParametersPath(gf_parametersPath()));
    writeFile(gf_parametersPath(), "<root><parameters>");
    position = lf_readWindowPosition();
    EXPECT_EQ(position.x, 150);
    EXPECT_EQ(stored("MAIN_WINDOW_Y"), "60");
}

TEST_F(WindowPositionTest, PositionSavedAtTheEnd) {
    writeParameters("150", "60");
    lf_readWindowPosition();
    EXPECT_EQ(lf_onEndProgram(210, 90), 0);
    EXPECT_EQ(stored("MAIN_WINDOW_X"), "210");
    EXPECT_EQ(stored("MAIN_WINDOW_Y"), "90");

    // A minimised window lies far outside: the last good position stays.
    EXPECT_EQ(lf_onEndProgram(-32000, -32000), 0);
    EXPECT_EQ(stored("MAIN_WINDOW_X"), "210");
    EXPECT_EQ(stored("MAIN_WINDOW_Y"), "90");
    EXPECT_NE(log().find("Mon Dec 07 10:00:00 2026"), std::string::npos);
}

TEST_F(WindowPositionTest, CloseBoxStopsTheRunAndTheWindowStays) {
    lf_onUserClose();
    EXPECT_TRUE(g_userClosing.load());
    EXPECT_TRUE(g_runStopping.load());
    EXPECT_EQ(gf_exitReason(), ExitReason::userClosedSim);
    EXPECT_EQ(gf_statusLineSnapshot().statusText, "Close window button clicked, closing GLIM_P3D ...");
    // Not logged.
    EXPECT_EQ(log().find("Close window button clicked"), std::string::npos);
}

TEST_F(WindowPositionTest, EachRunGetsItsOwnWorkerAndNoneIsLeftBehind) {
    // Production runs end at once; each posts the message that leads to the
    // next start or the end.
    g_productionMode = true;
    gf_setSteadyClock(nullptr);
    ASSERT_TRUE(lf_onStartRun());
    ASSERT_TRUE(lf_onStartRun());  // joins the first before starting the second
    gf_joinWorkerThread();
    EXPECT_FALSE(gf_workerThreadHeld());
    EXPECT_EQ(world.posted, (std::vector<RunMessage>{RunMessage::endProgram, RunMessage::endProgram}));

    lf_onUserClose();
    EXPECT_FALSE(lf_onStartRun());
    EXPECT_FALSE(gf_workerThreadHeld());
}

}  // namespace
}  // namespace run_test
