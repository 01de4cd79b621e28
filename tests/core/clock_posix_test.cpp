// The breakdown is our own arithmetic; the C library's is the reference.
#include "core/clock.h"

#include <gtest/gtest.h>

#include <ctime>

TEST(ClockBreakdown, AgreesWithTheCLibraryOverTheWholeRange) {
    // One moment a day, at a second that walks through the day, from 1970 to
    // the end of 3000.
    for (std::int64_t day = 0; day * 86400 <= 32535215999; ++day) {
        const std::int64_t t = day * 86400 + (day * 7919) % 86400;
        const time_t tt = static_cast<time_t>(t);
        std::tm ref{};
        ASSERT_NE(gmtime_r(&tt, &ref), nullptr);
        const auto u = gf_utcBreakdown(t);
        ASSERT_TRUE(u.has_value()) << t;
        ASSERT_EQ(u->year, ref.tm_year + 1900) << t;
        ASSERT_EQ(u->month, ref.tm_mon + 1) << t;
        ASSERT_EQ(u->day, ref.tm_mday) << t;
        ASSERT_EQ(u->hour, ref.tm_hour) << t;
        ASSERT_EQ(u->minute, ref.tm_min) << t;
        ASSERT_EQ(u->second, ref.tm_sec) << t;
        ASSERT_EQ(u->weekday, ref.tm_wday == 0 ? 7 : ref.tm_wday) << t;
    }
}
