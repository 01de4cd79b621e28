#include "catalogue/livery.h"
#include "catalogue_test_support.h"

#include <algorithm>
#include <thread>
#include <vector>

class LiveryTest : public CatalogueTest {};

TEST_F(LiveryTest, OrderIgnoresEverythingButAirlineTypeTitleAndEqualityIgnoresFolder) {
    std::vector<Livery> list{{"KLM", "B738", "b", "", 1, false},
                             {"KLM", "B738", "a", "", 2, false},
                             {"DLH", "A320", "z", "", 3, false},
                             {"KLM", "B738", "B", "", 4, false}};
    std::sort(list.begin(), list.end());
    std::vector<std::string> titles;
    for (const auto& l : list) titles.push_back(l.airl + "/" + l.title);
    EXPECT_EQ(titles, (std::vector<std::string>{"DLH/z", "KLM/B", "KLM/a", "KLM/b"}));

    const Livery a{"KLM", "B738", "t", "PH-BXA", 1, true};
    EXPECT_EQ(a, Livery("KLM", "B738", "t", "PH-BXA", 7, true));
    EXPECT_FALSE(a == Livery("KLM", "B738", "t", "PH-BXB", 1, true));
    EXPECT_FALSE(a == Livery("KLM", "B738", "t", "PH-BXA", 1, false));

    Livery moved = a;
    Livery target = std::move(moved);
    EXPECT_TRUE(moved.isEmpty());
    EXPECT_TRUE(moved.title.empty() && moved.atcid.empty() && moved.type.empty());
    EXPECT_EQ(target, a);
}

TEST_F(LiveryTest, TitleIsTakenOncePerScanAcrossThreads) {
    std::vector<std::optional<Livery>> results(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&results, i] {
            results[i] = lf_makeLivery(static_cast<std::uint32_t>(i + 1), "KLM", "B738", 0, "KLM 738", "");
        });
    }
    for (auto& t : threads) t.join();
    const auto filled = std::count_if(results.begin(), results.end(), [](const auto& l) { return l.has_value(); });
    EXPECT_EQ(filled, 1);
    const auto it = std::find_if(results.begin(), results.end(), [](const auto& l) { return l.has_value(); });
    EXPECT_TRUE((*it)->cargo);

    gf_resetLiveryScanTitles();
    // A livery without airline code is still a livery.
    const auto again = lf_makeLivery(1, "", "B738", 1, "KLM 738", "PH-BXA");
    ASSERT_TRUE(again.has_value());
    EXPECT_FALSE(again->cargo);
    EXPECT_EQ(again->folderIndex, 1u);
    EXPECT_FALSE(lf_makeLivery(2, "KLM", "B738", 1, "KLM 738", "").has_value());
}

TEST_F(LiveryTest, AtcIdRule) {
    struct Row {
        const char* value;
        bool ok;
        const char* registration;  // after the call, starting from "old"
    };
    const Row rows[] = {
        {"D-ABCD", true, "D-ABCD"},
        {" D-ABCD ", true, "D-ABCD"},
        {"D-ABCD,D-ABCE", true, ""},
        {"D-ABCD,,D-ABCE", false, "old"},
        {"AB*CD", false, "old"},
        {"", false, "old"},
        {"ABCDEFGHIJKLM", false, "old"},
        {"ABCDEFGHIJKL", true, "ABCDEFGHIJKL"},
        {"D-ABCD,", false, "old"},
    };
    for (const Row& row : rows) {
        std::string registration = "old";
        EXPECT_EQ(lf_checkAtcId(row.value, registration), row.ok) << row.value;
        EXPECT_EQ(registration, row.registration) << row.value;
    }
}

TEST_F(LiveryTest, DontUseTitlesAreExact) {
    EXPECT_FALSE(lf_isDontUseTitle("X"));
    g_dontUseTitles.insert("Example Air A320");
    EXPECT_TRUE(lf_isDontUseTitle("Example Air A320"));
    EXPECT_FALSE(lf_isDontUseTitle("example air a320"));
    gf_resetLiveryScanTitles();
    EXPECT_FALSE(lf_isDontUseTitle("Example Air A320"));
}
