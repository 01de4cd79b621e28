#include "airports/quality_factor.h"

#include "airports/hours_text.h"

#include "airports_test_support.h"

namespace {

using airports_test::WorkFolder;

Stand stand(std::vector<StandOption> options) {
    return Stand("S", std::move(options), StandPlace{52.0, 4.0, 0.0}, 30.0, false, false, false);
}

StandOption use(std::uint32_t day, std::uint64_t halfHours, std::uint32_t real, std::uint32_t index = 1) {
    StandOption o;
    o.day = day;
    o.halfHours = halfHours;
    o.real = real;
    o.index = index;
    return o;
}

class QualityFactors : public WorkFolder {};

TEST_F(QualityFactors, CoverTheStandsDaysAndHours) {
    std::vector<StandOption> busy;
    for (int i = 0; i < 300; ++i) busy.push_back(use(1, kAllHalfHours, 1, static_cast<std::uint32_t>(i + 1)));
    std::vector<StandOption> week;
    for (std::uint32_t d = 1; d <= 7; ++d) week.push_back(use(d, 1, 1, d));
    struct Row {
        const char* name;
        std::vector<Stand> stands;
        QualityPair expected;
    };
    const Row rows[] = {
        {"no stands", {}, {-1, -1}},
        {"no options", {stand({}), stand({})}, {-1, -1}},
        {"only ignored options", {stand({use(1, 1, 1, 0)})}, {0, 0}},
        {"one use of one half hour", {stand({use(1, 1, 1)})}, {63, 0}},
        {"a stand without options halves it", {stand({use(1, 1, 1)}), stand({})}, {32, 0}},
        {"soft use", {stand({use(2, 3, 0)})}, {0, 63}},
        {"300 uses all day", {stand(busy)}, {99, 0}},
        {"every weekday", {stand(week)}, {68, 0}},
    };
    for (const Row& row : rows) EXPECT_EQ(gf_qualityFactor(row.stands), row.expected) << row.name;
}

TEST_F(QualityFactors, TextAndTheRuleForAirportsWithoutLearnedFile) {
    EXPECT_EQ(lf_qualityFactorText({-1, -1}), "  ");
    EXPECT_EQ(lf_qualityFactorText({44, 7}), "44/ 7");
    EXPECT_EQ(lf_qualityFactorText({5, 7}), " 5/ 7");
    EXPECT_EQ(lf_qualityFactorText({45, 7}), "45");

    struct Row {
        QualityPair pair;
        bool softAndWeekBefore;
        bool softAndWeekAfter;
    };
    const Row rows[] = {
        {{2, 5}, false, true}, {{2, 0}, false, false}, {{46, 0}, true, false}, {{45, 0}, true, true},
    };
    for (const Row& row : rows) {
        PARK_SOFT.setValue(row.softAndWeekBefore);
        WEEK.setValue(row.softAndWeekBefore);
        MAX_FIT_FL.setValue(2.0f);
        lf_applyQualityRule(row.pair);
        EXPECT_EQ(PARK_SOFT.value(), row.softAndWeekAfter) << row.pair.real << "/" << row.pair.soft;
        EXPECT_EQ(WEEK.value(), row.softAndWeekAfter);
        EXPECT_EQ(MAX_FIT_FL.value(), row.pair.real < 3 && row.pair.soft > 0 ? 24.0f : 2.0f);
    }
}

}  // namespace
