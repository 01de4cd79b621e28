#include "airports/hours_text.h"

#include "airports_test_support.h"

namespace {

using airports_test::WorkFolder;

std::uint64_t bits(std::initializer_list<int> halfHours) {
    std::uint64_t set = 0;
    for (int h : halfHours) set |= std::uint64_t{1} << h;
    return set;
}

class HoursText : public WorkFolder {};

TEST_F(HoursText, ReadsRangesAndListsAndReportsBadTexts) {
    struct Row {
        const char* text;
        std::uint64_t set;
        const char* logged;  // empty: nothing logged
    };
    const Row rows[] = {
        {"14:17", bits({14, 15, 16, 17}), ""},
        {"5", bits({5}), ""},
        {"0:47", kAllHalfHours, ""},
        {" 20 : 21 ", bits({20, 21}), ""},
        {"17:14", 0, "==> gf_hours2bitset descending range not allowed (17:14 in 17:14)"},
        {"1:2:3", 0, "==> gf_hours2bitset more than one colon char in: 1:2:3"},
        {"3, 7,20", bits({3, 7, 20}), ""},
        {"3,x,7", bits({3, 7}), "==> operator () invalid hour 'x' in 3,x,7"},
        {"48", 0, "==> operator () invalid hour '48' in 48"},
        {"-1", 0, "==> operator () invalid hour '-1' in -1"},
        {"12h", bits({12}), ""},
        {"", 0, "==> operator () invalid hour '' in "},
        {"x:5", 0, "==> operator () invalid hour 'x' in x:5"},
        {":", 0, "==> operator () invalid hour '' in :"},
        {"99999999999999999999", 0, "invalid hour '99999999999999999999'"},
    };
    for (const Row& row : rows) {
        const std::string before = log();
        EXPECT_EQ(gf_hours2bitset(row.text), row.set) << row.text;
        const std::string added = log().substr(before.size());
        if (*row.logged == '\0') {
            EXPECT_EQ(added, "") << row.text;
        } else {
            EXPECT_NE(added.find(row.logged), std::string::npos) << row.text << " logged: " << added;
        }
    }
}

TEST_F(HoursText, WritesSingleRunsOnly) {
    struct Row {
        std::uint64_t set;
        std::optional<std::string> text;
    };
    const Row rows[] = {
        {bits({14, 15, 16, 17}), "14:17"},
        {bits({5}), "5"},
        {bits({0}), "0"},
        {kAllHalfHours, "0:47"},
        {bits({3, 7}), std::nullopt},
        {0, std::nullopt},
    };
    for (const Row& row : rows) EXPECT_EQ(gf_bitset2hours(row.set), row.text) << row.set;
    // Every single run reads back as itself.
    for (int a = 0; a < kHalfHoursPerDay; ++a) {
        for (int b = a; b < kHalfHoursPerDay; b += 7) {
            std::uint64_t set = 0;
            for (int n = a; n <= b; ++n) set |= std::uint64_t{1} << n;
            EXPECT_EQ(gf_hours2bitset(*gf_bitset2hours(set)), set);
        }
    }
}

}  // namespace
