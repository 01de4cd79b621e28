// A port the wiring never installed stops the run where the user sees it:
// a highlighted line in Log.txt, SYSTEM ERROR as the run's reason, and an
// error the thread's own handler catches, not an abort that only stderr
// tells of.
#include "core/exit_reason.h"
#include "core/log.h"
#include "core/port_missing.h"
#include "core/run_flags.h"
#include "core/status_line.h"
#include "core/ui_sink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class PortMissing : public ::testing::Test {
protected:
    void SetUp() override {
        gf_resetRunFlags();
        gf_resetExitReason();
        gf_resetStatusLine();
        m_log = fs::temp_directory_path() /
                ("port_missing_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".txt");
        ASSERT_TRUE(gf_logOpen(m_log));
    }
    void TearDown() override {
        gf_logClose();
        std::error_code ec;
        fs::remove(m_log, ec);
        gf_resetExitReason();
        gf_resetRunFlags();
        gf_resetStatusLine();
    }
    // Read without a flush of ours: the line must already be on disk, as
    // for a process that dies right after it.
    std::string logText() const {
        std::ifstream in(m_log, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

private:
    fs::path m_log;
};

TEST_F(PortMissing, TheWindowLeftOutStopsTheRunWithALineInTheLog) {
    gf_resetExitReason();
    gf_setUiSink(nullptr);
    try {
        gf_setStatusLine("Scanning liveries ...", true);
        FAIL() << "a status line without a window went nowhere";
    } catch (const PortNotInstalled& e) {
        EXPECT_STREQ(e.what(), "the window's sink used before the wiring installed it");
    }
    EXPECT_EQ(gf_exitReason(), ExitReason::systemError);
    EXPECT_EQ(gf_exitDelaySeconds(), 0);
    EXPECT_TRUE(g_runStopping.load());
    EXPECT_EQ(logText(),
              "Scanning liveries ...\n"
              "==> the window's sink used before the wiring installed it\n");

    // A reason stored before stays: the first reason of a run wins.
    gf_resetExitReason();
    gf_setExitReason(ExitReason::newSettings, 3);
    EXPECT_THROW(gf_repaintAll(), PortNotInstalled);
    EXPECT_EQ(gf_exitReason(), ExitReason::newSettings);
    EXPECT_EQ(gf_exitDelaySeconds(), 3);
}

}  // namespace
