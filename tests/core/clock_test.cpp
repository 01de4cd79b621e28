#include "core/clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr std::int64_t kDec06_2026_124442 = 1796561082;  // Sun Dec 06 12:44:42 2026
constexpr std::int64_t kNov14_2023_221320 = 1700000000;  // Tue Nov 14 22:13:20 2023
constexpr std::int64_t kLastBreakable = 32535215999;     // Wed Dec 31 23:59:59 3000

std::int64_t g_fakeSystemTime = 0;
std::int64_t lf_fakeSystemTime() { return g_fakeSystemTime; }

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_fakeSystemTime = kDec06_2026_124442;
        gf_setSystemTimeSource(&lf_fakeSystemTime);
        gf_setTimeShiftOn(false);
        gf_setDataTime(0.0);
    }
    void TearDown() override {
        gf_setSystemTimeSource(nullptr);
        gf_setTimeShiftOn(false);
        gf_setDataTime(0.0);
    }
};

}  // namespace

TEST(ClockFormat, KnownMoments) {
    struct Row {
        std::int64_t t;
        const char* text;
    };
    const Row rows[] = {
        {0, "Thu Jan 01 00:00:00 1970"},
        {kDec06_2026_124442, "Sun Dec 06 12:44:42 2026"},
        {1709208000, "Thu Feb 29 12:00:00 2024"},  // leap day
        {951782400, "Tue Feb 29 00:00:00 2000"},   // leap century
        {4107542400, "Mon Mar 01 00:00:00 2100"},  // 2100 has no Feb 29
        {978307199, "Sun Dec 31 23:59:59 2000"},
        {kLastBreakable, "Wed Dec 31 23:59:59 3000"},
        {-1, "Invalid time"},
        {kLastBreakable + 1, "Invalid time"},
        {std::numeric_limits<std::int64_t>::max(), "Invalid time"},
        {std::numeric_limits<std::int64_t>::min(), "Invalid time"},
    };
    for (const auto& row : rows) EXPECT_EQ(gf_formatTime(row.t), row.text) << row.t;
}

TEST(ClockSlots, HalfHourAndWeekday) {
    struct Row {
        std::int64_t t;
        int slot;
        int weekday;
    };
    const Row rows[] = {
        {1704112169, 24, 1},  // Mon 12:29:29
        {1704112170, 25, 1},  // Mon 12:29:30
        {1704113999, 25, 1},  // Mon 12:59:59
        {1704153599, 47, 1},  // Mon 23:59:59
        {1704067200, 0, 1},   // Mon 00:00:00
        {1704068969, 0, 1},   // Mon 00:29:29
        {1704068970, 1, 1},   // Mon 00:29:30
        {1704585600, 0, 7},   // Sun 00:00:00 is 7, not 0
        {1704585600 - 1, 47, 6},
        {0, 0, 4},
        {-1, -1, -1},
        {kLastBreakable + 1, -1, -1},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(gf_halfHourSlot(row.t), row.slot) << row.t;
        EXPECT_EQ(gf_weekday(row.t), row.weekday) << row.t;
    }
}

TEST_F(ClockTest, NowFollowsTheDataTimeOnlyWhileShifted) {
    gf_setDataTime(kNov14_2023_221320 + 0.4);
    EXPECT_EQ(gf_now(), kDec06_2026_124442);  // shift off

    gf_setTimeShiftOn(true);
    EXPECT_EQ(gf_now(), kNov14_2023_221320);
    gf_setDataTime(kNov14_2023_221320 + 0.5);
    EXPECT_EQ(gf_now(), kNov14_2023_221320 + 1);

    // No traffic received yet, or an empty answer: the system time.
    gf_setDataTime(0.0);
    EXPECT_EQ(gf_now(), kDec06_2026_124442);
    gf_setDataTime(0.4);
    EXPECT_EQ(gf_now(), kDec06_2026_124442);
}

TEST_F(ClockTest, AbsurdDataTimeFallsBackToTheSystemTime) {
    gf_setTimeShiftOn(true);
    const double absurd[] = {std::nan(""), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), 1e300, 9.3e18, -5.0,
                             static_cast<double>(kLastBreakable) + 10.0};
    for (double d : absurd) {
        gf_setDataTime(d);
        EXPECT_NO_THROW(EXPECT_EQ(gf_now(), kDec06_2026_124442) << d);
        EXPECT_NO_THROW(EXPECT_EQ(gf_simTimeText(), "12:44:42") << d);
        EXPECT_EQ(gf_halfHourSlot(), 25) << d;
    }
}

TEST_F(ClockTest, TimeTexts) {
    EXPECT_EQ(gf_clockText(), "12:44:42");
    EXPECT_EQ(gf_dateText(), "Dec 06, 2026");
    EXPECT_EQ(gf_simTimeText(), "12:44:42");
    EXPECT_EQ(gf_halfHourSlot(), 25);

    gf_setTimeShiftOn(true);
    gf_setDataTime(kNov14_2023_221320);
    EXPECT_EQ(gf_simTimeText(), "<<< 22:13:20");
    EXPECT_EQ(gf_halfHourSlot(), 44);
    // The clock and the date never shift: they stamp the log and the files.
    EXPECT_EQ(gf_clockText(), "12:44:42");
    EXPECT_EQ(gf_dateText(), "Dec 06, 2026");

    g_fakeSystemTime = 0;
    EXPECT_EQ(gf_dateText(), "Jan 01, 1970");
}
