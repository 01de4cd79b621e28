// The parts of the scan the sample tree cannot show well: the IVAO model and
// airline rules with this system's separators, path text that cannot be
// converted, and the report files' life cycle.
#include "catalogue/livery_parse.h"
#include "catalogue/livery_paths.h"
#include "catalogue/livery_reports.h"
#include "catalogue/livery_sections.h"
#include "catalogue/livery_walk.h"
#include "catalogue_test_support.h"
#include "livery_scan_support.h"

#include "core/files.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/text.h"

#include <fmt/format.h>

#include <condition_variable>
#include <mutex>
#include <optional>

namespace fs = std::filesystem;

namespace {

TEST(LiveryRules, IvaoAirlineCodeFollowsTheModelCodeTakenLiterally) {
    struct Case {
        std::string title;
        std::string model;
        std::optional<std::string> airline;
    };
    const std::vector<Case> cases{
        {"B738 KLM Royal Dutch", "B738", "KLM"},
        {"b738BAW", "B738", "BAW"},
        {"B738\tklm x", "B738", "klm"},
        {"B738 - KLM", "B738", std::nullopt},
        {"Boeing 738 KLM", "B738", std::nullopt},
        {"B738 KL", "B738", std::nullopt},
        {"B738 KLM\rx", "B738", std::nullopt},
        // A model code holding pattern operators matches only itself.
        {"B7X8 KLM", "B7.8", std::nullopt},
        {"B7.8 KLM", "B7.8", "KLM"},
        {"A3+ KLM", "A3+", "KLM"},
        {"A33 KLM", "A3+", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title + " / " + c.model);
        EXPECT_EQ(c.airline, lf_ivaoAirlineInTitle(c.title, c.model));
    }
}

class LiveryRulesTest : public CatalogueTest {
protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        lf_clearReportLists();
        gf_setLiveryScanDbase(&dbase);
    }
    void TearDown() override {
        gf_setLiveryScanDbase(nullptr);
        lf_clearReportLists();
        CatalogueTest::TearDown();
    }
    livery_test::FakeDbase dbase;
};

TEST_F(LiveryRulesTest, IvaoModelComesFromTheFolderWithThisSystemsSeparators) {
    struct Case {
        std::string folders;  // below the test folder, '/'-separated
        std::string model;
        std::string reported;  // the invalid-model line's code, "" for none
    };
    const std::vector<Case> cases{
        {"IVAO_MTL/IVAO_B738/aircraft.cfg", "B738", ""},
        {"ivao_mtl/ivao_B738/AIRCRAFT.CFG", "B738", ""},
        {"IVAO_MTL/IVAO_B763w/aircraft.cfg", "B763", ""},
        {"IVAO_MTL/IVAO_GLID_KA8/aircraft.cfg", "GLID", ""},
        {"IVAO_MTL/IVAO_B73H/aircraft.cfg", "B738", ""},
        {"IVAO_MTL/IVAO_B744F/aircraft.cfg", "B744", ""},
        {"IVAO_MTL/IVAO_A388/aircraft.cfg", "", "A388"},
        {"IVAO_MTL/IVAO_B738/sim.cfg", "", "  "},
        {"IVAO_MTL/IVAO_B738/deeper/aircraft.cfg", "", "  "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folders);
        lf_clearReportLists();
        fs::path file = folder;
        for (const std::string& part : gf_split(c.folders, '/')) file /= part;
        EXPECT_EQ(c.model, lf_modelFromIvaoFolder(file));
        const auto invalid = lf_liveryReportSnapshot().invalidModelCodes;
        if (c.reported.empty()) {
            EXPECT_TRUE(invalid.empty());
        } else {
            ASSERT_EQ(1u, invalid.size());
            EXPECT_EQ(fmt::format("{:16} in {}", c.reported, lf_narrowPathText(file)), invalid.front());
        }
    }
}

// Which model each section of an aircraft.cfg gets: its own atc_model when
// the Dbase knows (or fixes) it, else [General]'s, else the first atc_model
// anywhere in the file. Each row is one file shape; the liveries are
// "title model" in file order, the reports as the scan writes them.
TEST_F(LiveryRulesTest, EachSectionTakesItsOwnKnownModelElseGeneralsElseTheFilesFirst) {
    struct Case {
        std::string name;
        std::string cfg;  // the sections' titles are A, B, C; every section has sim=b738
        std::vector<std::string> liveries;
        std::vector<std::string> invalidCodes;  // values reported as unknown models
        bool missingReported = false;           // "Line atc_model= is missing ..."
    };
    const std::vector<Case> cases{
        {"first section names it, second has none",
         "[fltsim.0]\ntitle=A\natc_model=B738\n[fltsim.1]\ntitle=B\n", {"A B738", "B B738"}, {}},
        {"last section names it", "[fltsim.0]\ntitle=A\n[fltsim.1]\ntitle=B\natc_model=B744\n",
         {"A B744", "B B744"}, {}},
        {"unknown own, General known", "[fltsim.0]\ntitle=A\natc_model=737-800\n[General]\natc_model=B738\n",
         {"A B738"}, {"737-800"}},
        {"own known beats General", "[General]\natc_model=B738\n[fltsim.0]\ntitle=A\natc_model=B744\n"
                                    "[fltsim.1]\ntitle=B\n",
         {"A B744", "B B738"}, {}},
        {"General unknown, a section's known",
         "[General]\natc_model=Boeing\n[fltsim.0]\ntitle=A\n[fltsim.1]\ntitle=B\natc_model=B744\n",
         {"B B744"}, {"Boeing"}},
        {"General unknown, first anywhere is General's: nothing for the others",
         "[General]\natc_model=Boeing\n[fltsim.0]\ntitle=A\natc_model=Boeing\n[fltsim.1]\ntitle=B\n", {},
         {"Boeing"}},
        {"no General, first anywhere unknown", "[fltsim.0]\ntitle=A\natc_model=777\n[fltsim.1]\ntitle=B\n"
                                               "[fltsim.2]\ntitle=C\natc_model=B738\n",
         {"C B738"}, {"777"}},
        {"fixed code in a section serves the others",
         "[fltsim.0]\ntitle=A\natc_model=B73H\n[fltsim.1]\ntitle=B\n", {"A B738", "B B738"}, {}},
        {"commented model is none", "[fltsim.0]\ntitle=A\n//atc_model=B744\n[fltsim.1]\ntitle=B\n"
                                    "[General]\natc_model=B738\n",
         {"A B738", "B B738"}, {}},
        {"no atc_model anywhere", "[fltsim.0]\ntitle=A\n[fltsim.1]\ntitle=B\n[General]\natc_type=BOEING\n", {}, {},
         true},
        {"no sections, General known", "[General]\natc_model=B738\n", {}, {}},
    };
    const fs::path dir = folder / "shapes";
    fs::create_directories(dir / "model");
    fs::create_directories(dir / "texture");
    writeFile(dir / "b738.air", "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lf_clearReportLists();
        gf_resetLiveryScanTitles();
        std::string cfg;
        for (const std::string& line : gf_split(c.cfg, '\n')) {
            cfg += line + "\n";
            if (line.starts_with("title=")) cfg += "sim=b738\natc_parking_codes=BAW\n";
        }
        writeFile(dir / "aircraft.cfg", cfg);
        g_scanTaskCount.count.fetch_add(1);
        std::vector<std::string> liveries;
        for (const Livery& livery : lf_searchLiveriesinFile(1, dir / "aircraft.cfg")) {
            liveries.push_back(livery.title + " " + livery.type);
        }
        EXPECT_EQ(c.liveries, liveries);
        const auto reports = lf_liveryReportSnapshot();
        std::vector<std::string> invalid;
        for (const std::string& code : c.invalidCodes) {
            invalid.push_back(fmt::format("{:16} in {}", code, lf_narrowPathText(dir / "aircraft.cfg")));
        }
        EXPECT_EQ(invalid, reports.invalidModelCodes);
        const std::vector<std::string> missing{"Line atc_model= is missing in [General] section of " +
                                               lf_narrowPathText(dir / "aircraft.cfg")};
        EXPECT_EQ(c.missingReported ? missing : std::vector<std::string>{}, reports.invalidCfgFiles);
    }
    EXPECT_EQ(0, g_scanTaskCount.count.load());
    gf_resetLiveryScanTitles();
}

TEST_F(LiveryRulesTest, WalkKeepsTheOrderFilesWereFoundInAtAnyTaskLimitAndStopsAtOnce) {
    // One aircraft folder per file, each file with its own title.
    std::vector<std::string> expected;
    for (int i = 0; i < 12; ++i) {
        const fs::path dir = folder / "walk" / ("aircraft_" + std::to_string(i));
        fs::create_directories(dir / "model");
        fs::create_directories(dir / "texture");
        writeFile(dir / "b738.air", "");
        writeFile(dir / (i % 2 ? "sim.cfg" : "aircraft.cfg"),
                  "[General]\natc_model=B738\n[fltsim.0]\ntitle=Livery " + std::to_string(i) +
                      "\natc_parking_codes=BAW\nsim=b738\n");
    }
    for (const auto& entry : fs::directory_iterator(folder / "walk")) {
        expected.push_back("Livery " + entry.path().filename().string().substr(std::string("aircraft_").size()));
    }
    for (const int limit : {1, 3, 64}) {
        SCOPED_TRACE(limit);
        gf_resetScanSlots();
        g_scanTaskCount.limit = limit;
        gf_resetLiveryScanTitles();
        g_liveryScanList.clear();
        lf_walkLiveryFolder(1, folder / "walk");
        std::vector<std::string> titles;
        for (const Livery& livery : g_liveryScanList) titles.push_back(livery.title);
        EXPECT_EQ(expected, titles);
        EXPECT_TRUE(lf_waitForScanTasksToEnd(kScanTaskWait, false));
    }
    gf_resetLiveryScanTitles();
    g_liveryScanList.clear();
    g_runStopping = true;
    lf_walkLiveryFolder(1, folder / "walk");
    g_runStopping = false;
    EXPECT_TRUE(g_liveryScanList.empty());
    EXPECT_EQ(0, g_scanTaskCount.count.load());
}

// A Dbase whose answer for the model "SLOW" takes a while: the parse task of
// a file of that model hangs until released (at most 15 s).
class SlowDbase final : public livery_test::FakeDbase {
public:
    bool isKnownType(const std::string& type) const override {
        if (type != "SLOW") return FakeDbase::isKnownType(type);
        std::unique_lock lock(m_mutex);
        m_released.wait_for(lock, std::chrono::seconds(15), [this] { return m_free; });
        return true;
    }
    void release() {
        {
            std::lock_guard lock(m_mutex);
            m_free = true;
        }
        m_released.notify_all();
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_released;
    bool m_free = false;
};

TEST_F(LiveryRulesTest, WalkGivesUpATaskAfterTenSecondsAndTheTaskRunsOn) {
    for (const char* name : {"fast", "slow"}) {
        const fs::path dir = folder / "walk" / name;
        fs::create_directories(dir / "model");
        fs::create_directories(dir / "texture");
        writeFile(dir / "b738.air", "");
        writeFile(dir / "aircraft.cfg", fmt::format("[General]\natc_model={}\n[fltsim.0]\ntitle=Livery {}\n"
                                                    "atc_parking_codes=BAW\nsim=b738\n",
                                                    std::string(name) == "slow" ? "SLOW" : "B738", name));
    }
    SlowDbase slow;
    gf_setLiveryScanDbase(&slow);
    gf_resetScanSlots();
    g_liveryScanList.clear();
    lf_walkLiveryFolder(1, folder / "walk");
    // The walk went on without the slow file; its task still runs.
    ASSERT_EQ(1u, g_liveryScanList.size());
    EXPECT_EQ("Livery fast", g_liveryScanList.front().title);
    EXPECT_NE(std::string::npos, logText().find("Future wait timed out after 10 seconds"));
    EXPECT_EQ(1, g_scanTaskCount.count.load());
    slow.release();
    EXPECT_TRUE(lf_waitForScanTasksToEnd(kScanTaskWait, false));
    // Its late result is dropped.
    EXPECT_EQ(1u, g_liveryScanList.size());
    gf_setLiveryScanDbase(&dbase);
    gf_resetLiveryScanTitles();
    g_liveryScanList.clear();
}

TEST_F(LiveryRulesTest, AnIvaoSectionEndsAtAnyBracket) {
    const fs::path dir = folder / "IVAO_MTL" / "IVAO_B738";
    fs::create_directories(dir / "model");
    fs::create_directories(dir / "texture");
    writeFile(dir / "b738.air", "");
    // Far into the line a '[' ends an IVAO section; an ordinary file keeps
    // the line, and the second title would reject the section there.
    const std::vector<std::string> lines{"[fltsim.0]", "title=B738 KLM One", "sim=b738", "         [extra]",
                                         "title=B738 KLM Two"};
    const std::list<Livery> ivao = lf_splitIvaoFltsimSections(1, lines, "B738", dir / "aircraft.cfg", dir);
    ASSERT_EQ(1u, ivao.size());
    EXPECT_EQ("B738 KLM One", ivao.front().title);
    EXPECT_EQ("KLM", ivao.front().airl);
    const std::list<Livery> general = lf_splitFltsimSections(1, lines, "B738", dir / "aircraft.cfg", dir);
    EXPECT_TRUE(general.empty());
    const auto reported = lf_liveryReportSnapshot().incompleteSections;
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(fmt::format("{} [fltsim.0] has more than one title key", lf_narrowPathText(dir)), reported.front());
    gf_resetLiveryScanTitles();
}

TEST(LiveryRules, PathTextNeverThrows) {
    // No single-byte code page holds these characters.
    const fs::path path = fs::path("liveries") / lf_pathFromUtf8("\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_EQ(fs::path("liveries").string() + std::string(1, fs::path::preferred_separator) + "??",
              lf_narrowPathText(path));
    EXPECT_EQ(fs::path("liveries").string() + std::string(1, fs::path::preferred_separator) +
                  "\xE4\xB8\xAD\xE6\x96\x87",
              lf_logPathText(path));
    // Text that is no UTF-8 (a stray byte in a file's model key) names a
    // folder that does not exist rather than failing the conversion.
    EXPECT_NO_THROW(lf_narrowPathText(lf_pathFromUtf8("model.\xFF")));
    EXPECT_FALSE(fs::exists(lf_pathFromUtf8("model.\xFF")));
}

TEST_F(LiveryRulesTest, ReportsCountRepeatsWriteThemOnceAndSurviveAUserFile) {
    const WorkPaths& p = gf_workPaths();
    fs::create_directories(p.info);
    writeFile(p.invalidAirlines, "old\n");
    writeFile(p.errors / "my_notes.txt", "kept\n");
    writeFile(p.modelConversions, "earlier conversions\n");
    lf_removePreviousScanFiles();
    EXPECT_FALSE(fs::exists(p.invalidAirlines));
    EXPECT_TRUE(fs::exists(p.errors / "my_notes.txt"));
    EXPECT_NE(std::string::npos, logText().find("problems with removing previous files: "));

    lf_addInvalidAirlineCode("XYZ", "b/aircraft.cfg", "[fltsim.1]");
    lf_addIncompleteSection("same line");
    lf_addIncompleteSection("same line");
    lf_addIncompleteSection("another line");
    lf_addInvalidModelCode("A1", "a/aircraft.cfg");
    lf_addInvalidModelCode("A2", "a/aircraft.cfg");
    lf_writeLiveryScanReport();
    EXPECT_EQ(fmt::format("XYZ          in {} [fltsim.1]\n", lf_narrowPathText("b/aircraft.cfg")),
              readFile(p.invalidAirlines));
    EXPECT_EQ("another line\nsame line\n", readFile(p.incompleteFltsim));
    EXPECT_EQ("earlier conversions\n", readFile(p.modelConversions));
    EXPECT_FALSE(fs::exists(p.fixes));
    const std::string log = logText();
    for (const std::string& line : std::vector<std::string>{
             fmt::format("\nErrors:\n1 invalid airline code, see {}\n", lf_narrowPathText(p.invalidAirlines)),
          fmt::format("2 invalid model codes, see {}\n", lf_narrowPathText(p.invalidAircraft)),
          fmt::format("3 incomplete [fltsim.x] sections, see {}\n\nInformation:\n",
                      lf_narrowPathText(p.incompleteFltsim))}) {
        EXPECT_NE(std::string::npos, log.find(line)) << line;
    }

    // A scan without findings writes no file and does not bring back a
    // removed errors folder.
    lf_clearReportLists();
    fs::remove_all(p.errors);
    lf_writeLiveryScanReport();
    EXPECT_FALSE(fs::exists(p.errors));
    EXPECT_NE(std::string::npos, logText().find("\nNo errors\n\nInformation:\n"));

    // A report that cannot be written (a folder stands in its place) is
    // said so.
    lf_addIncompleteSection("line");
    fs::create_directories(p.incompleteFltsim);
    lf_writeLiveryScanReport();
    EXPECT_NE(std::string::npos,
              logText().find(fmt::format("Error writing file {}", lf_narrowPathText(p.incompleteFltsim))));
}

}  // namespace
