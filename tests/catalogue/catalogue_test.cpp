#include "catalogue/catalogue.h"
#include "catalogue/dbase_queries.h"
#include "catalogue/regcode_map.h"
#include "catalogue_fixture.h"
#include "core/data_key.h"
#include "core/settings.h"
#include "stream_sealer.h"
#include "core/status_line.h"
#include "core/ui_sink.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>

namespace fs = std::filesystem;

// The window's check boxes as the catalogue build leaves them.
class ControlSink final : public UiSink {
public:
    void enableControl(int id, bool enabled) override { enabledById[id] = enabled; }
    void setCheck(int id, bool checked) override { checkedById[id] = checked; }
    void fillCombo(int, const std::vector<std::string>&, int) override {}
    void selectCombo(int, int) override {}
    void setText(int, const std::string&) override {}
    void invalidateBand(UiBand) override {}
    bool controlEnabled(int) override { return true; }
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }
    std::map<int, bool> enabledById;
    std::map<int, bool> checkedById;
};

class CatalogueBuildTest : public CatalogueFixtureTest {
protected:
    static std::vector<std::string> sorted(const TitleViews& views) {
        std::vector<std::string> titles(views.begin(), views.end());
        std::sort(titles.begin(), titles.end());
        return titles;
    }
    void writeAig(const std::string& body) {
        const std::string xml =
            "<root><meta><info name=\"copyright\" value=\"c\"/><info name=\"sim\" value=\"3\"/></meta>"
            "<AIG-regcodes>" + body + "</AIG-regcodes></root>";
        writeFile("input/AIG-regcodes.enc", encryptor::encryptBytes(g_dataFileKey, xml));
    }
};

TEST_F(CatalogueBuildTest, BuildsEveryMapAndLogsTheTally) {
    ControlSink sink;
    gf_setUiSink(&sink);
    buildFixtureCatalogue();
    gf_setUiSink(nullptr);
    EXPECT_TRUE(g_catalogueProcessed);
    EXPECT_EQ(g_liveryCount, std::size(kFixtureLiveries));
    EXPECT_TRUE(g_liveryScanList.empty());
    const auto& fdx = g_catalogue.liveriesByAirline.at("FDX").at("B77L");
    EXPECT_EQ(fdx.size(), 2u);
    // Mixed cargo flags appear in both airline maps and both model maps.
    EXPECT_EQ(sorted(g_catalogue.cargoTitlesByAirline.at("FDX").at("B77L")), (std::vector<std::string>{"FDX 77L F"}));
    EXPECT_EQ(sorted(g_catalogue.paxTitlesByAirline.at("FDX").at("B77L")), (std::vector<std::string>{"FDX 77L pax"}));
    EXPECT_EQ(sorted(g_catalogue.paxTitlesByModel.at("B738")),
              (std::vector<std::string>{"Generic B738", "KLM B738 PH-BXA", "KLM B738 a", "KLM B738 special"}));
    EXPECT_EQ(g_catalogue.cargoTitlesByModel.count("B738"), 0u);
    // Every view points into the catalogue's own copy.
    const std::string_view view = gf_catalogueTitleView("DLH A321");
    EXPECT_EQ(view.data(), g_catalogue.liveriesByAirline.at("DLH").at("A321").front().title.data());
    EXPECT_TRUE(gf_catalogueTitleView("not installed").empty());

    EXPECT_EQ(g_catalogue.randomLightModels, (std::vector<std::string>{"C172", "C182"}));
    EXPECT_EQ(g_catalogue.randomBuzjetModels, (std::vector<std::string>{"C560"}));
    EXPECT_EQ(g_catalogue.randomRotorcraftModels, (std::vector<std::string>{"EC35"}));
    // The category without liveries switches its option off, unticks its
    // check box and disables it; the others are enabled and keep their tick.
    EXPECT_FALSE(HIGH_PERF_AIRCRAFT.value());
    EXPECT_TRUE(LIGHT_AIRCRAFT.value());
    EXPECT_EQ((std::map<int, bool>{{LIGHT_AIRCRAFT.controlId(), true},
                                   {HELICOPTERS.controlId(), true},
                                   {HIGH_PERF_AIRCRAFT.controlId(), false}}),
              sink.enabledById);
    EXPECT_EQ((std::map<int, bool>{{HIGH_PERF_AIRCRAFT.controlId(), false}}), sink.checkedById);

    const std::string log = logText();
    for (const char* line :
         {"16 liveries read from", "registration codes", "9 airlines, 10 pax aircraft models and 1 cargo aircraft models",
          "similar model definitions", "Category Light: 2 pax liveries\n  C172,C182\n",
          "Category Heavy: 2 pax liveries and 1 cargo liverie\n  B744,B77L\n", "Category HighPerf: No livery found\n",
          "HIGH_PERF_AIRCRAFT temporarily switched off because you do not have High Perf aircraft installed",
          "2 models have a generic livery\n  B738,C172\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }

    gf_processScannedLiveries();
    EXPECT_NE(logText().find("Processing scanned liveries skipped; already done in previous start-up"),
              std::string::npos);
}

TEST_F(CatalogueBuildTest, SimilarModelTables) {
    buildFixtureCatalogue();
    // A320 and A321 and B738 all have liveries: each lists the other two.
    std::vector<std::string> a320 = lf_similarModels("A320");
    std::sort(a320.begin(), a320.end());
    EXPECT_EQ(a320, (std::vector<std::string>{"A321", "B738"}));
    // PA28 has no liveries but its group has: it gets an entry.
    std::vector<std::string> pa28 = lf_similarModels("PA28");
    std::sort(pa28.begin(), pa28.end());
    EXPECT_EQ(pa28, (std::vector<std::string>{"C172", "C182"}));
    // Heavy without definition: none; Light without definition: one random
    // Light model with liveries.
    EXPECT_TRUE(lf_similarModels("F18").empty());
    const auto light = lf_similarModels("ZZZZ");
    ASSERT_EQ(light.size(), 1u);
    EXPECT_TRUE(light[0] == "C172" || light[0] == "C182");
    // An airline is never told about a model it has liveries of.
    EXPECT_TRUE(lf_similarModelsForAirline("DLH", "A320").empty());
    EXPECT_EQ(lf_similarModelsForAirline("BAW", "A320"), (std::vector<std::string>{"A321"}));
    EXPECT_EQ(lf_similarModelsForAirline("EJA", "B77W"), (std::vector<std::string>{"C560"}));
}

TEST_F(CatalogueBuildTest, RegcodeSourcesMergeInOrder) {
    // Inline: PH-BXA and N850FD from atc_id. AIG overrides N850FD; my_regcodes
    // overrides the AIG title of PH-AIG.
    writeAig("<livery title=\"FDX 77L pax\" reg=\"N850FD\"/>"
             "<livery title=\"DLH A320\" reg=\"PH-AIG,PH-AI2\" special=\"1\"/>"
             "<livery title=\"Not installed\" reg=\"PH-LOST\"/>");
    readFixtureDbase();
    writeFixtureLiveries();
    writeFile("input/my_regcodes/mine.txt", "DLH A321;PH-AIG\n");
    gf_processScannedLiveries();
    EXPECT_FALSE(fs::exists("input/AIG-regcodes.xml"));
    const auto& titles = g_catalogue.regcodeTitles;
    EXPECT_EQ(titles.at("PH-BXA"), "KLM B738 PH-BXA");
    EXPECT_EQ(titles.at("N850FD"), "FDX 77L pax");
    EXPECT_EQ(titles.at("PH-AIG"), "DLH A321");
    EXPECT_EQ(titles.at("PH-AI2"), "DLH A320");
    EXPECT_EQ(titles.count("PH-LOST"), 0u);
    EXPECT_EQ(g_catalogue.soleSpecialRegistrations, (TextSet{"PH-AIG"}));
    EXPECT_EQ(g_catalogue.reservedTitles.size(), 2u);

    const std::string report = readFile(gf_workPaths().info / "OfflineRegcodes.txt");
    for (const char* line : {"Processing file ", "   regcode N850FD for 'FDX 77L pax', instead of the same for 'FDX 77L F'",
                             "2 new regcodes added, 1 regcode replaced, 1 regcode defined as special\n",
                             "Processing files in ", "   regcode PH-AIG for 'DLH A321', instead of the same for 'DLH A320'",
                             "0 new regcodes added, 1 regcode replaced, 1 regcode defined as special\n"}) {
        EXPECT_NE(report.find(line), std::string::npos) << line;
    }
    const std::string log = logText();
    EXPECT_NE(log.find("2 special liveries"), std::string::npos);
    EXPECT_NE(log.find("1 unique liveries"), std::string::npos);
}

TEST_F(CatalogueBuildTest, UserRegcodesCountWithoutTheAigList) {
    writeFile("input/AIG-regcodes.enc", "damaged");
    buildFixtureCatalogue();
    EXPECT_FALSE(fs::exists("input/AIG-regcodes.xml"));
    EXPECT_EQ(g_catalogue.regcodeTitles.at("PH-BXB"), "KLM B738 special");
    const std::string report = readFile(gf_workPaths().info / "OfflineRegcodes.txt");
    EXPECT_EQ(report.find("Processing file "), std::string::npos);
    EXPECT_NE(report.find("Processing files in "), std::string::npos);
}

TEST_F(CatalogueBuildTest, InlineClashesAreReported) {
    readFixtureDbase();
    g_liveryScanList.emplace_back("KLM", "B738", "first", "PH-ONE", 1u, false);
    g_liveryScanList.emplace_back("KLM", "B738", "second", "PH-ONE", 1u, false);
    g_liveryScanList.sort();
    ASSERT_TRUE(lf_writeLiveriesXml());
    g_liveryScanList.clear();
    gf_processScannedLiveries();
    EXPECT_EQ(g_catalogue.regcodeTitles.at("PH-ONE"), "first");
    EXPECT_EQ(readFile(gf_workPaths().inlineRegcodes), "PH-ONE 'second' => already in use by 'first'\n");
    EXPECT_NE(logText().find("1 in-line regcode clashes, see '"), std::string::npos);
    EXPECT_NE(logText().find("No generic liveries"), std::string::npos);
}

TEST_F(CatalogueBuildTest, StaleCatalogueIsRebuiltByTheWorker) {
    buildFixtureCatalogue();
    const auto before = g_catalogue.liveriesByAirline.size();
    // The window only marks it; nothing is freed under a running match.
    gf_markLiveryCatalogueStale();
    EXPECT_EQ(g_catalogue.liveriesByAirline.size(), before);
    g_liveryScanList.emplace_back("NEW", "B738", "only one", "", 1u, false);
    ASSERT_TRUE(lf_writeLiveriesXml());
    g_liveryScanList.clear();
    gf_processScannedLiveries();
    EXPECT_FALSE(gf_liveryCatalogueStale());
    EXPECT_EQ(g_catalogue.liveriesByAirline.size(), 1u);
    EXPECT_EQ(g_catalogue.paxTitlesByModel.at("B738").size(), 1u);
    // Nothing of the old catalogue's registrations is left.
    EXPECT_TRUE(g_catalogue.regcodeTitles.empty());
}

TEST_F(CatalogueBuildTest, ModelListsWrapAtTwentyModels) {
    std::string types;
    for (int i = 0; i < 41; ++i) types += (i ? "," : "") + fmt::format("L{:02}", i);
    std::string dbase = kFixtureDbase;
    dbase.replace(dbase.find("<aircraft types=\"") + 17, 0, types + ",");
    writeFile("d.xml", dbase);
    ASSERT_TRUE(gf_readDbaseXml("d.xml"));
    for (int i = 0; i < 41; ++i) g_liveryScanList.emplace_back("AAA", fmt::format("L{:02}", i), fmt::format("t{}", i), "", 1u, false);
    ASSERT_TRUE(lf_writeLiveriesXml());
    g_liveryScanList.clear();
    HELICOPTERS.setValue(false);
    gf_processScannedLiveries();
    const std::string log = logText();
    EXPECT_NE(log.find("Category Light: 41 pax liveries\n  L00,"), std::string::npos);
    EXPECT_NE(log.find(",L19\n  L20,"), std::string::npos);
    EXPECT_NE(log.find(",L39\n  L40\n"), std::string::npos);
    EXPECT_NE(log.find("Category Rotorcraft: No livery found\n"), std::string::npos);
    EXPECT_EQ(log.find("HELICOPTERS temporarily"), std::string::npos);
    EXPECT_EQ(g_catalogue.randomLightModels.size(), 41u);
}
