// A livery scan stopped in the middle of a whole run: the run ends with the
// reason that stopped it, and the cache of the last finished scan stays.
#include "../app/run_test_support.h"
#include "livery_scan_support.h"

#include "app/window_actions.h"
#include "app/window_commands.h"
#include "catalogue/catalogue.h"
#include "catalogue/livery_reports.h"
#include "catalogue/livery_scan.h"
#include "catalogue/livery_walk.h"
#include "core/files.h"
#include "core/text_encoding.h"

#include <fmt/format.h>

void gf_resetCatalogueForTests();

namespace run_test {
namespace {

fs::path lf_sampleTree() {
    if (const char* dir = std::getenv("GLIM_SOURCE_DIR")) return fs::path(dir) / "testbed" / "data" / "liveries" / "tree";
    return fs::path(__FILE__).parent_path().parent_path().parent_path() / "testbed" / "data" / "liveries" / "tree";
}

class LiveryScanRunTest : public RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        gf_resetCatalogueForTests();
        lf_clearReportLists();
        gf_resetScanSlots();
        gf_setLiveryScanDbase(&dbase);
        world.replaced.scanLiveries = [this] { gf_scanLiveries(window); };
        world.replaced.processScannedLiveries = [] { gf_processScannedLiveries(); };
        fs::create_directories(workFolder() / "liveries");
        fs::copy(lf_sampleTree() / "folder1" / "B738_main", workFolder() / "liveries" / "one",
                 fs::copy_options::recursive);
        fs::copy(lf_sampleTree() / "folder2", workFolder() / "liveries" / "two", fs::copy_options::recursive);
        lfolder[0].setValue(gf_pathToUtf8(workFolder() / "liveries" / "one"));
        lfolder[1].setValue(gf_pathToUtf8(workFolder() / "liveries" / "two"));
    }
    void TearDown() override {
        gf_setLiveryScanDbase(nullptr);
        lf_resetScanState();
        gf_resetCatalogueForTests();
        RunFixture::TearDown();
    }

    // One run whose scan is stopped by stop() while the first of two folders
    // is scanned, with or without the cache of an earlier scan.
    void runStoppedScan(const std::function<void()>& stop, ExitReason reason, bool withCache) {
        const fs::path cache = workFolder() / "output" / "LiveriesScanned.xml";
        SCAN_LIVERIES.setValue(true);
        SCAN_AIRPORTS.setValue(false);
        fs::create_directories(cache.parent_path());
        const std::string old =
            R"(<?xml version="1.0"?><root><liveries><liv airl="KLM" type="B738" title="old"/></liveries></root>)";
        if (withCache) writeFile(cache, old);
        std::vector<std::int32_t> counts;
        window.onCount = [&counts, &stop](std::int32_t count) {
            counts.push_back(count);
            stop();
        };
        // A run that ended in an error would wait for the user to close.
        world.at(60s, [] { lf_onUserClose(); });
        lf_runWorker();
        const std::string runLog = log();

        EXPECT_NE(runLog.find("Exiting: " + std::string(gf_exitReasonText(reason))), std::string::npos) << runLog;
        EXPECT_EQ(runLog.find("Error"), std::string::npos) << runLog;
        // Stopped after the first folder: the second was never walked.
        EXPECT_EQ(counts.size(), 1u);
        EXPECT_EQ(runLog.find("found in " + gf_pathToUtf8(workFolder() / "liveries" / "two")), std::string::npos);
        EXPECT_TRUE(SCAN_LIVERIES.value()) << "the next run must scan again";
        if (withCache) {
            EXPECT_EQ(readFile(cache), old);
        } else {
            EXPECT_FALSE(fs::exists(cache));
        }
        EXPECT_FALSE(world.called("startSimClient"));
        EXPECT_TRUE(lf_waitForScanTasksToEnd(std::chrono::seconds(10), false));
    }

    livery_test::FakeDbase dbase;
    livery_test::ScanWindow window;
};

TEST_F(LiveryScanRunTest, ClosingTheProgramDuringTheFirstScanEndsTheRunAsAClose) {
    runStoppedScan([] { lf_onUserClose(); }, ExitReason::userClosedSim, false);
}

TEST_F(LiveryScanRunTest, ClosingTheProgramDuringAScanKeepsTheCacheOfTheLastScan) {
    runStoppedScan([] { lf_onUserClose(); }, ExitReason::userClosedSim, true);
}

TEST_F(LiveryScanRunTest, TickingTheAirportScanDuringTheFirstScanRestartsTheRun) {
    runStoppedScan([] { lf_onCheckBox(SCAN_AIRPORTS.controlId(), true); }, ExitReason::newSettings, false);
}

TEST_F(LiveryScanRunTest, TickingTheAirportScanDuringAScanKeepsTheCacheOfTheLastScan) {
    runStoppedScan([] { lf_onCheckBox(SCAN_AIRPORTS.controlId(), true); }, ExitReason::newSettings, true);
}


// A cache cut off by a crash: the run stops with an error that says the file
// is damaged and what the user does; the file is kept aside, never deleted,
// and the next start really scans the liveries again.
TEST_F(LiveryScanRunTest, ADamagedCacheIsKeptAsideAndTheNextStartScansAgain) {
    const fs::path cache = workFolder() / "output" / "LiveriesScanned.xml";
    const std::string damaged = R"(<?xml version="1.0"?><root><liveries><liv airl="KLM" type="B738" ti)";
    SCAN_LIVERIES.setValue(false);
    SCAN_AIRPORTS.setValue(false);
    fs::create_directories(cache.parent_path());
    writeFile(cache, damaged);
    world.at(60s, [] { lf_onUserClose(); });
    lf_runWorker();
    std::string runLog = log();
    const std::string error = fmt::format(
        "Error 51: File {} is damaged (kept as LiveriesScanned.xml.damaged): close GLIM_P3D and start it again, it "
        "then scans the liveries anew",
        (fs::path("output") / "LiveriesScanned.xml").string());
    EXPECT_NE(runLog.find(error), std::string::npos) << runLog;
    EXPECT_NE(runLog.find("Exiting: SYSTEM ERROR"), std::string::npos);
    EXPECT_FALSE(fs::exists(cache));
    EXPECT_EQ(readFile(workFolder() / "output" / "LiveriesScanned.xml.damaged"), damaged);
    EXPECT_TRUE(SCAN_LIVERIES.value());
    EXPECT_NE(parametersFile().find("name=\"SCAN_LIVERIES\" value=\"true\""), std::string::npos);
    EXPECT_TRUE(sink.has("check " + std::to_string(SCAN_LIVERIES.controlId()) + " 1"));

    // The next start, with the settings the first one saved.
    gf_resetExitReason();
    gf_resetRunFlags();
    gf_resetStatusLine();
    g_closeRequested = false;
    world.at(elapsed() + 60s, [] { lf_onUserClose(); });
    lf_runWorker();
    runLog = log().substr(runLog.size());
    EXPECT_EQ(runLog.find("SYSTEM ERROR"), std::string::npos) << runLog;
    EXPECT_NE(runLog.find("liveries read from"), std::string::npos) << runLog;
    EXPECT_TRUE(fs::exists(cache));
    EXPECT_FALSE(SCAN_LIVERIES.value());
    EXPECT_EQ(readFile(workFolder() / "output" / "LiveriesScanned.xml.damaged"), damaged);
    EXPECT_TRUE(lf_waitForScanTasksToEnd(std::chrono::seconds(10), false));
}

}  // namespace
}  // namespace run_test
