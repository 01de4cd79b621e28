#include "app/start_log.h"

#include "core/clock.h"
#include "core/log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kDec06_2026_124442 = 1796561082;  // Sun Dec 06 12:44:42 2026

std::int64_t g_fakeNow = kDec06_2026_124442;
std::int64_t lf_fakeNow() { return g_fakeNow; }

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class StartLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("glim_startlog_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        g_fakeNow = kDec06_2026_124442;
        gf_setSystemTimeSource(&lf_fakeNow);
    }
    void TearDown() override {
        gf_logClose();
        gf_setSystemTimeSource(nullptr);
        gf_setTimeShiftOn(false);
        gf_setDataTime(0.0);
        fs::remove_all(dir);
    }
    fs::path dir;
};

}  // namespace

TEST_F(StartLogTest, HeaderIsTheFirstLineAndOnDiskAtOnce) {
    // The header names the system time even while the traffic time is shifted.
    gf_setTimeShiftOn(true);
    gf_setDataTime(1700000000.0);
    const fs::path log = dir / "Log.txt";
    ASSERT_TRUE(lf_openLog(log));
    // Read while the log is still open: a start that fails right after this
    // must still leave its header behind.
    EXPECT_EQ(readAll(log), "Sun Dec 06 12:44:42 2026 (utc) GLIM_P3D version 11.10.5 for Prepar3D v5/v6\n");
}

TEST_F(StartLogTest, FourStartsLeaveFourGenerationsNewestInLogTxt) {
    const fs::path log = dir / "Log.txt";
    for (int start = 1; start <= 4; ++start) {
        g_fakeNow = kDec06_2026_124442 + start;
        ASSERT_TRUE(lf_openLog(log)) << start;
        gf_logLine("start " + std::to_string(start));
        gf_logClose();
    }
    const struct {
        const char* name;
        int start;
    } rows[] = {{"Log.txt", 4}, {"Log0.txt", 3}, {"Log00.txt", 2}, {"Log000.txt", 1}};
    for (const auto& row : rows) {
        // Each file holds exactly one start: every start truncates Log.txt.
        EXPECT_EQ(readAll(dir / row.name), gf_logHeaderLine(kDec06_2026_124442 + row.start) + "\nstart " +
                                                std::to_string(row.start) + "\n")
            << row.name;
    }
    EXPECT_FALSE(fs::exists(dir / "Log0000.txt"));
}

TEST_F(StartLogTest, ALogThatCannotBeCreatedStopsTheStart) {
    EXPECT_FALSE(lf_openLog(dir / "no_such_folder" / "Log.txt"));
    EXPECT_FALSE(gf_logIsOpen());
}
