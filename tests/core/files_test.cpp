#include "core/files.h"
#include "core/log.h"
#include "core/run_flags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

void touch(const fs::path& path) { std::ofstream(path, std::ios::binary) << "x"; }

std::vector<std::string> sortedNames(const fs::path& folder) {
    std::vector<std::string> result;
    for (const auto& entry : fs::directory_iterator(folder)) result.push_back(entry.path().filename().string());
    std::sort(result.begin(), result.end());
    return result;
}

// The operations use paths relative to the working folder, so every test
// runs in a folder of its own.
class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = fs::current_path();
        dir = fs::temp_directory_path() /
              ("glim_files_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir / "work");
        fs::current_path(dir / "work");
        ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
    }
    void TearDown() override {
        gf_logClose();
        fs::current_path(previous);
        fs::remove_all(dir);
    }
    std::string takeLog() {
        gf_logClose();
        std::stringstream ss;
        ss << std::ifstream(dir / "Log.txt", std::ios::binary).rdbuf();
        EXPECT_TRUE(gf_logOpen(dir / "Log.txt"));
        return ss.str();
    }
    fs::path previous;
    fs::path dir;
};

}  // namespace

TEST_F(FilesTest, CountAndListEntries) {
    EXPECT_EQ(gf_countDirectoryEntries("input/my_regcodes"), 0u);
    EXPECT_TRUE(gf_listXmlFiles().empty());

    const fs::path folder = fs::path("airports") / "my_thirdparty";
    fs::create_directories(folder / "LFPG.xml");
    for (const char* name : {"EGLL.xml", "ehAm.XML", "KJFK.Xml", "LEMD2.xml", "EDDF.txt", "EDD.xml", "EDDM.xml.bak"}) {
        touch(folder / name);
    }
    fs::create_directories(folder / "LFPG.xml" / "inner");
    auto listed = gf_listXmlFiles();
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"EGLL", "KJFK", "ehAm"}));
    EXPECT_EQ(gf_countDirectoryEntries(folder), 8u);  // not recursive
}

TEST_F(FilesTest, RemoveFilesEmptiesTheFolderAndLogsTheFirstFailure) {
    gf_removeFilesFromDirectory("output/errors");  // missing: nothing happens
    touch("plainfile");
    gf_removeFilesFromDirectory("plainfile");  // not a folder: nothing happens
    EXPECT_TRUE(fs::exists("plainfile"));
    fs::create_directories("output/errors/empty_sub");
    touch("output/errors/a.txt");
    gf_removeFilesFromDirectory("output/errors");
    EXPECT_TRUE(sortedNames("output/errors").empty());
    EXPECT_EQ(takeLog(), "");

    fs::create_directories("output/errors/full_sub");
    touch("output/errors/full_sub/inner.txt");
    gf_removeFilesFromDirectory("output/errors");
    EXPECT_TRUE(fs::exists("output/errors/full_sub/inner.txt"));
    const std::string log = takeLog();
    EXPECT_EQ(log.rfind("==> gf_removeFilesFromDirectory exception: ", 0), 0u) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
}

TEST_F(FilesTest, RemoveXmlFilesTouchesOnlyXmlEntriesOfTblo) {
    gf_removeXMLFilesFromDirectory();
    EXPECT_EQ(takeLog(), "");

    fs::create_directories("tblo");
    for (const char* name : {"EGLL.xml", "EHAM.XML", "LFPG.Xml", "keep.txt", "keep.xml.zip", "xml"}) {
        touch(fs::path("tblo") / name);
    }
    gf_removeXMLFilesFromDirectory();
    EXPECT_EQ(sortedNames("tblo"), (std::vector<std::string>{"keep.txt", "keep.xml.zip", "xml"}));
    EXPECT_EQ(takeLog(), "");

    fs::create_directories("tblo/folder.xml/inner");
    gf_removeXMLFilesFromDirectory();
    EXPECT_TRUE(fs::exists("tblo/folder.xml/inner"));
    EXPECT_EQ(takeLog().rfind("==> gf_removeXMLFilesFromDirectory exception: ", 0), 0u);
}

TEST_F(FilesTest, RemoveFileWarnOnlyLogsAFailure) {
    gf_removeFileWarn("input/dbase.xml");  // missing: no warning
    touch("dbase.xml");
    gf_removeFileWarn("dbase.xml");
    EXPECT_FALSE(fs::exists("dbase.xml"));
    EXPECT_EQ(takeLog(), "");

    fs::create_directories("busy/inner");
    gf_removeFileWarn("busy");
    EXPECT_TRUE(fs::exists("busy/inner"));
    const std::string log = takeLog();
    EXPECT_EQ(log.rfind("==> Warning: could not remove busy, errorcode: ", 0), 0u) << log;
}

class ScanSlotTest : public ::testing::Test {
protected:
    void SetUp() override { gf_resetRunFlags(); }
    void TearDown() override {
        gf_resetScanSlots();
        gf_resetRunFlags();
    }
};

TEST_F(ScanSlotTest, ResetGivesAtLeastOneSlotAndKeepsTheRunningTasks) {
    g_scanTaskCount.count = 0;
    g_scanTaskCount.limit = 0;
    gf_resetScanSlots();
    EXPECT_GE(g_scanTaskCount.limit, 1);
    EXPECT_TRUE(gf_waitForScanSlot());
    // Tasks of a stopped scan still run at the next run's start: they keep
    // their slots, and uncounting themselves later leaves the count right.
    g_scanTaskCount.count = 2;
    gf_resetScanSlots();
    EXPECT_EQ(g_scanTaskCount.count.load(), 2);
    g_scanTaskCount.count.fetch_sub(2);
    EXPECT_EQ(g_scanTaskCount.count.load(), 0);
}

TEST_F(ScanSlotTest, WaitEndsWhenATaskEndsOrTheRunStops) {
    g_scanTaskCount.limit = 1;
    g_scanTaskCount.count = 1;
    std::atomic<bool> stopping{true};
    EXPECT_FALSE(gf_waitForScanSlot([&] { return stopping.load(); }));

    // Another thread changes the state while the wait goes on.
    std::atomic<int> asked{0};
    auto whileWaiting = [&](auto change) {
        return std::thread([&asked, change] {
            while (asked.load() < 3) std::this_thread::yield();
            change();
        });
    };
    stopping = false;
    std::thread stopper = whileWaiting([&] { stopping = true; });
    EXPECT_FALSE(gf_waitForScanSlot([&] {
        ++asked;
        return stopping.load();
    }));
    stopper.join();

    // Either stop flag of the run ends the wait without any predicate: a
    // scan whose tasks hang must not hold a closing run.
    for (auto* flag : {&g_runStopping, &g_userClosing}) {
        asked = 0;
        int askedAfterFlag = 0;
        bool gaveUp = false;
        std::thread raiser = whileWaiting([flag] { flag->store(true); });
        EXPECT_FALSE(gf_waitForScanSlot([&] {
            ++asked;
            // The wait should have ended on the flag; end it here instead of
            // hanging the test.
            if (flag->load() && ++askedAfterFlag > 1000) gaveUp = true;
            return gaveUp;
        }));
        raiser.join();
        EXPECT_FALSE(gaveUp) << "the wait went on after a stop flag was raised";
        flag->store(false);
    }

    asked = 0;
    std::thread task = whileWaiting([] { --g_scanTaskCount.count; });
    EXPECT_TRUE(gf_waitForScanSlot([&] {
        ++asked;
        return false;
    }));
    task.join();
}
