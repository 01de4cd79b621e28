#include "catalogue/dbase_queries.h"
#include "catalogue/match_report.h"
#include "catalogue/matcher.h"
#include "catalogue_fixture.h"
#include "core/settings.h"
#include "simlink/creation_tracking.h"

#include <fmt/format.h>

#include <set>

class MatcherTest : public CatalogueFixtureTest {
protected:
    void SetUp() override {
        CatalogueFixtureTest::SetUp();
        buildFixtureCatalogue();
    }
    static AcHead aircraft(const char* airline, const char* model, const char* registration, bool cargo = false) {
        AcHead ac;
        ac.airline = airline;
        ac.model = model;
        ac.registration = registration;
        ac.callsign = "TST123";
        ac.category = gf_acCategory(model);
        ac.cargo = cargo;
        return ac;
    }
    // Titles separated by '|' are the allowed answers of a random pick.
    static bool oneOf(std::string_view title, const std::string& allowed) {
        std::size_t start = 0;
        while (true) {
            const std::size_t end = allowed.find('|', start);
            if (allowed.substr(start, end - start) == title) return true;
            if (end == std::string::npos) return false;
            start = end + 1;
        }
    }
    static int stepOf(const std::array<std::uint32_t, kMatchStepCount>& before) {
        for (std::size_t i = 0; i < kMatchStepCount; ++i) {
            if (g_matchStepCounts[i] != before[i]) return static_cast<int>(i);
        }
        return -1;
    }
};

struct LadderRow {
    int depth;
    const char* airline;
    const char* model;
    const char* registration;
    bool cargo;
    const char* titles;  // allowed titles; "" for no livery
    int step;            // -1 for no livery
};

TEST_F(MatcherTest, LiveLadder) {
    const LadderRow rows[] = {
        // Regcodes: a sole special registration is step 0, any other 1; depth 1
        // offers nothing else.
        {4, "KLM", "B738", "PH-BXB", false, "KLM B738 special", 0},
        {4, "KLM", "B738", "PH-BXA", false, "KLM B738 PH-BXA", 1},
        {1, "KLM", "B738", "PH-BXA", false, "KLM B738 PH-BXA", 1},
        {1, "KLM", "B738", "PH-ZZZ", false, "", -1},
        // Airline and model, never the title reserved for PH-BXB; the
        // registration's Dbase airline when the operator is known.
        {4, "KLM", "B738", "", false, "KLM B738 a|KLM B738 PH-BXA", 2},
        {2, "LHX", "A320", "D-AIZA", false, "DLH A320", 2},
        {2, "LHX", "A320", "EI-ABC", false, "", -1},
        // Cargo first, passenger liveries when there is no cargo one.
        {4, "FDX", "B77L", "", true, "FDX 77L F", 2},
        {4, "FDX", "B77L", "", false, "FDX 77L pax", 2},
        {4, "KLM", "B738", "", true, "KLM B738 a|KLM B738 PH-BXA", 2},
        // All candidates reserved: the reserved title still comes out.
        {4, "SPC", "A320", "", false, "SPC A320 special", 2},
        // Similar models of the airline (same category only), then of the
        // registration's Dbase airline.
        {3, "BAW", "A320", "", false, "BA A321", 3},
        {3, "LHX", "B738", "D-AIZA", false, "DLH A320|DLH A321", 3},
        {2, "BAW", "A320", "", false, "", -1},
        {4, "EJA", "B77W", "", false, "", -1},
        // Generic liveries: PVT first at depth 2, others only late.
        {2, "PVT", "B738", "", false, "Generic B738", 4},
        {2, "XXX", "B738", "", false, "", -1},
        {4, "XXX", "B738", "", false, "Generic B738", 4},
        {3, "XXX", "B738", "", false, "", -1},
        {3, "XXX", "C172", "", false, "Generic C172", 4},
        {3, "PVT", "C172", "", false, "Generic C172", 4},
        {4, "", "B738", "", false, "Generic B738", 4},
        // Any livery of the model, then of a similar model: small aircraft only.
        {3, "XXX", "C182", "", false, "AAA C182", 5},
        {3, "XXX", "PA28", "", false, "Generic C172|AAA C182", 6},
        {3, "PVT", "PA28", "", false, "Generic C172|AAA C182", 6},
        {4, "XXX", "A388", "", false, "", -1},
        {4, "XXX", "ZZZZ", "", false, "Generic C172|AAA C182", 6},
        {4, "XXX", "EC35", "", false, "AMB EC35", 5},
        // A cargo aircraft takes only cargo liveries at steps 5 and 6.
        {3, "XXX", "C182", "", true, "", -1},
    };
    for (const LadderRow& row : rows) {
        MATCHING_DEPTH.setValue(row.depth);
        for (int attempt = 0; attempt < 8; ++attempt) {
            AcHead ac = aircraft(row.airline, row.model, row.registration, row.cargo);
            const auto before = g_matchStepCounts;
            gf_matchLivery(ac);
            const std::string where = fmt::format("{} {} {} {} depth {}", row.airline, row.model, row.registration,
                                                  row.cargo ? "cargo" : "pax", row.depth);
            if (*row.titles) {
                EXPECT_TRUE(oneOf(ac.liveryTitle, row.titles)) << where << " -> " << ac.liveryTitle;
            } else {
                EXPECT_TRUE(ac.liveryTitle.empty()) << where << " -> " << ac.liveryTitle;
            }
            EXPECT_EQ(stepOf(before), row.step) << where;
        }
    }
}

TEST_F(MatcherTest, RefusedTitlesAndTheFsltlFlag) {
    gf_liveryCreationFailed("DLH1", "DLH A320", "A320", "DLH");
    gf_liveryCreationFailed("TST1", "KLM B738 PH-BXA", "B738", "KLM");
    // DLH's only A320 livery was refused and DLH is never offered a similar
    // model of one it has: nothing, and nothing counted.
    AcHead dlh = aircraft("DLH", "A320", "");
    const auto before = g_matchStepCounts;
    gf_matchLivery(dlh);
    EXPECT_TRUE(dlh.liveryTitle.empty());
    EXPECT_EQ(g_matchStepCounts, before);

    // The refused regcode title may still be drawn at random and is then
    // rejected: the ladder goes on down.
    std::set<std::string> seen;
    for (int i = 0; i < 40; ++i) {
        AcHead klm = aircraft("KLM", "B738", "PH-BXA");
        gf_matchLivery(klm);
        seen.insert(std::string(klm.liveryTitle));
    }
    EXPECT_EQ(seen, (std::set<std::string>{"Generic B738", "KLM B738 a"}));

    AcHead fsltl = aircraft("KLM", "E190", "");
    gf_matchLivery(fsltl);
    EXPECT_TRUE(fsltl.fsltl);
    AcHead plain = aircraft("BAW", "A321", "");
    plain.fsltl = true;
    gf_matchLivery(plain);
    EXPECT_FALSE(plain.fsltl);
    EXPECT_NE(logText().find("\n          " + gf_acDescription(plain) + " =2= BA A321\n"), std::string::npos);
}

TEST_F(MatcherTest, StaticLadderDifferences) {
    struct StaticRow {
        int depth;
        const char* airline;
        const char* model;
        const char* registration;
        bool standCargo;
        const char* titles;
        const char* logged;  // the line's start after the description
    };
    const StaticRow rows[] = {
        {1, "KLM", "B738", "PH-BXA", false, "KLM B738 PH-BXA", "=1= "},
        {1, "KLM", "B738", "", false, "", ""},
        {4, "FDX", "B77L", "", true, "FDX 77L F", "=2= "},
        // The registration's operator: its Dbase airline's livery.
        {2, "LHX", "A320", "D-AIZA", false, "DLH A320", "=2= "},
        // Similar models of another category are fine for a parked aircraft.
        {4, "EJA", "B77W", "", false, "EJA C560", "=3= "},
        {2, "PVT", "B738", "", false, "Generic B738", "=4= "},
        {3, "XXX", "C182", "", false, "AAA C182", "=5= "},
    };
    for (const StaticRow& row : rows) {
        MATCHING_DEPTH.setValue(row.depth);
        AcHead ac = aircraft(row.airline, row.model, row.registration);
        const auto before = g_matchStepCounts;
        const bool matched = gf_matchStaticLivery(ac, "A12", row.standCargo);
        EXPECT_EQ(matched, *row.titles != 0) << row.airline << " " << row.model;
        EXPECT_TRUE(matched ? oneOf(ac.liveryTitle, row.titles) : ac.liveryTitle.empty()) << ac.liveryTitle;
        EXPECT_EQ(ac.cargo, row.standCargo);
        EXPECT_EQ(g_matchStepCounts, before);
        const std::string log = logText();
        if (matched) {
            EXPECT_NE(log.find(gf_acDescription(ac) + " " + row.logged + std::string(ac.liveryTitle)), std::string::npos);
        } else {
            EXPECT_NE(log.find("A12     : " + gf_acDescriptionLong(ac) + " no livery match ..."), std::string::npos);
        }
    }
    // A preset title is kept; a refused title moves on to the next lookup.
    AcHead preset = aircraft("KLM", "B738", "");
    preset.liveryTitle = gf_catalogueTitleView("Generic B738");
    EXPECT_TRUE(gf_matchStaticLivery(preset, "A1", false));
    EXPECT_NE(logText().find(" =s= Generic B738"), std::string::npos);
    MATCHING_DEPTH.setValue(4);
    gf_liveryCreationFailed("KLM1", "KLM B738 PH-BXA", "B738", "KLM");
    std::set<std::string> seen;
    for (int i = 0; i < 40; ++i) {
        AcHead klm = aircraft("KLM", "B738", "PH-BXA");
        EXPECT_TRUE(gf_matchStaticLivery(klm, "A2", false));
        seen.insert(std::string(klm.liveryTitle));
    }
    EXPECT_EQ(seen, (std::set<std::string>{"Generic B738", "KLM B738 a"}));

    // A refused title in the last steps moves on too: the model's only
    // livery was refused, a similar model's is taken.
    MATCHING_DEPTH.setValue(3);
    gf_liveryCreationFailed("AAA1", "AAA C182", "C182", "AAA");
    AcHead c182 = aircraft("XXX", "C182", "");
    EXPECT_TRUE(gf_matchStaticLivery(c182, "A3", false));
    EXPECT_EQ("Generic C172", c182.liveryTitle);
    EXPECT_NE(logText().find(gf_acDescription(c182) + " =6= Generic C172"), std::string::npos);
}

TEST_F(MatcherTest, SummaryAndUnmatchedReports) {
    gf_logLiveryMatchingSummary();
    gf_logUnmatchedFlights();
    EXPECT_EQ(logText().find("matching summary"), std::string::npos);
    EXPECT_EQ(logText().find("No match found for"), std::string::npos);

    AcHead ac = aircraft("DLH", "A321", "");
    gf_matchLivery(ac);
    gf_logLiveryMatchingSummary();
    std::string log = logText();
    const std::string expected = "\n" + std::string(49, '*') + " live traffic livery matching summary " +
                                 std::string(49, '*') + "\nMatches at step: \n  0: 0\n  1: 0\n  2: 1\n  3: 0\n  4: 0\n"
                                 "  5: 0\n  6: 0\n" + std::string(100, '*') + "\n\n";
    EXPECT_NE(log.find(expected), std::string::npos);
    EXPECT_EQ(log.find("Could not be created"), std::string::npos);

    gf_liveryCreationFailed("DLH1", "DLH A320", "A320", "DLH");
    gf_logLiveryMatchingSummary();
    EXPECT_NE(logText().find("  6: 0\n\nCould not be created by P3D:\n  A320 DLH\n****"), std::string::npos);

    gf_addUnmatched(gf_unmatchedKey(aircraft("XXX", "A388", "N1")));
    gf_logUnmatchedFlights();
    EXPECT_NE(logText().find("\n\nNo match found for:\nXXX A388 N1\n\n"), std::string::npos);
}
