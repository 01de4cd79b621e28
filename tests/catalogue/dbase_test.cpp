#include "catalogue/dbase.h"
#include "catalogue/dbase_queries.h"
#include "catalogue/livery.h"
#include "catalogue/livery_scan.h"
#include "catalogue/livery_scan_dbase.h"
#include "catalogue_fixture.h"
#include "core/data_key.h"
#include "core/user_error.h"
#include "stream_sealer.h"

#include <cmath>

namespace fs = std::filesystem;

class DbaseTest : public CatalogueFixtureTest {};

TEST_F(DbaseTest, ReadsEverySection) {
    readFixtureDbase();
    EXPECT_EQ(g_dbase.knownTypes.size(), 14u);
    EXPECT_EQ(g_dbase.similarGroups[0], (std::vector<std::string>{"A320", "A321", "B738"}));
    // Identical names texts collapse into one group; the first name is the
    // reported one.
    ASSERT_EQ(lf_publisherGroupCount(), 2u);
    EXPECT_EQ(g_dbase.publisherGroups[1], (std::vector<std::string>{"ORBX", "FTX"}));
    EXPECT_EQ(g_dbase.simAddonAirports, (TextSet{"EDDF", "EHAM"}));
    ASSERT_EQ(g_dbase.thirdPartyAirports.size(), 1u);
    EXPECT_EQ(g_dbase.thirdPartyAirports[0].airports, (std::vector<std::string>{"YBBN", "YSSY"}));
    EXPECT_EQ(g_dbase.codeFixes.at("B737-800"), "B738");
    EXPECT_EQ(g_dbase.codeFixes.size(), 1u);

    EXPECT_DOUBLE_EQ(g_dbase.halfWingspans.at("B738"), 35.8 * 0.5 / 1852.0);
    EXPECT_DOUBLE_EQ(g_dbaseMaxHalfWingspanNm, 64.8 * 0.5 / 1852.0);
    EXPECT_DOUBLE_EQ(g_dbase.categoryHalfWingspans[2], 35.8 * 0.5 / 1852.0);
    // No HighPerf span was given: its average is 0, not NaN.
    EXPECT_EQ(g_dbase.categoryHalfWingspans[4], 0.0);
    EXPECT_FALSE(std::isnan(gf_halfWingspanNm("F18")));

    // The registration element without registration is no key.
    EXPECT_EQ(g_dbase.registrations.count(""), 0u);
    EXPECT_EQ(g_dbase.registrations.at("PH-BXA").airl, "KLM");
    EXPECT_TRUE(g_dbase.registrations.at("N850FD").cargo);
    EXPECT_FALSE(g_dbase.registrations.at("G-EUPT").cargo);

    const std::string log = logText();
    for (const char* line : {"2 publishers read", "==> wingspan model XXXX is not valid, skipped",
                             "==> wrong part of fix: 'B737-800', already exists, skipped",
                             "==> wrong fix Q -> ZZZZ, the latter is not valid", "==> regcode PH-BXA already exists",
                             "6 dbase records read"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
}

TEST_F(DbaseTest, Queries) {
    readFixtureDbase();
    struct CategoryRow {
        const char* type;
        AcCategory category;
    };
    for (const CategoryRow& row : {CategoryRow{"A320X", AcCategory::Large}, CategoryRow{"B77W", AcCategory::Heavy},
                                   CategoryRow{"C560", AcCategory::Buzjets}, CategoryRow{"EC35", AcCategory::Rotorcraft},
                                   CategoryRow{"F18", AcCategory::HighPerf}, CategoryRow{"C172", AcCategory::Light},
                                   CategoryRow{"", AcCategory::Light}, CategoryRow{"NONE", AcCategory::Light}}) {
        EXPECT_EQ(gf_acCategory(row.type), row.category) << row.type;
    }
    EXPECT_EQ(gf_categoryName(AcCategory::Rotorcraft), "Rotorcraft");
    EXPECT_THROW(gf_categoryName(static_cast<AcCategory>(6)), std::out_of_range);
    EXPECT_TRUE(gf_isKnownAcType("B738"));
    EXPECT_FALSE(gf_isKnownAcType(""));
    EXPECT_TRUE(lf_isIcaoAirline("KLM"));
    EXPECT_FALSE(lf_isIcaoAirline(""));
    EXPECT_DOUBLE_EQ(gf_halfWingspanNm("A321"), 35.8 * 0.5 / 1852.0);  // its category's average

    struct KeyRow {
        const char* registration;
        std::vector<std::string> keys;
    };
    for (const KeyRow& row : {KeyRow{"PHBXA", {"PH-BXA", "P-HBXA", "PHBXA"}}, KeyRow{"N12345", {"N12345"}},
                              KeyRow{"G-EUPT", {"G-EUPT"}}, KeyRow{"ABCD", {"ABCD"}}, KeyRow{"", {""}}}) {
        EXPECT_EQ(gf_registrationKeys(row.registration), row.keys) << row.registration;
    }
    struct LookupRow {
        const char* registration;
        const char* airline;  // "" for none
        const char* opr;
    };
    for (const LookupRow& row : {LookupRow{"PHBXA", "KLM", "KLM"}, LookupRow{"D-AIZA", "DLH", "Lufthansa"},
                                 LookupRow{"EI-ABC", "", ""}, LookupRow{"", "", ""}, LookupRow{"ZZ-ZZZ", "", ""}}) {
        EXPECT_EQ(gf_lookupRegistration(row.registration).has_value(), *row.airline != 0) << row.registration;
        EXPECT_EQ(lf_airlineOfRegistration(row.registration), row.airline) << row.registration;
        EXPECT_EQ(lf_operatorOfRegistration(row.registration), row.opr) << row.registration;
    }
    EXPECT_FALSE(gf_findRegistrationKey("PHBXA").has_value());
    EXPECT_TRUE(gf_findRegistrationKey("PH-BXA").has_value());

    // A record without airline names no airline, yet it still corrects the
    // operator, model and cargo flag of a livery the scan finds.
    gf_setLiveryScanDbase(nullptr);
    g_liveryScanList.clear();
    g_liveryScanList.emplace_back("KLM", "B738", "EI title", "EI-ABC", 1u, true);
    lf_updateLiveriesFromDbase();
    lf_resetScanState();
    ASSERT_EQ(1u, g_liveryScanList.size());
    EXPECT_EQ("Someone", g_liveryScanList.front().airl);
    EXPECT_EQ("A320", g_liveryScanList.front().type);
    EXPECT_FALSE(g_liveryScanList.front().cargo);
    g_liveryScanList.clear();

    EXPECT_EQ(lf_registrationInTitle("Cessna AB1 white"), "AB1");
    EXPECT_FALSE(lf_registrationInTitle("Cessna white").has_value());

    EXPECT_TRUE(gf_pathContainsNoCase("x", ""));
    EXPECT_TRUE(gf_pathContainsNoCase("C:/Scenery/orbx/YBBN", "ORBX"));
    EXPECT_EQ(gf_publisherOfPath("C:/Scenery/ftx_ybbn/scenery"), "ORBX");
    EXPECT_EQ(gf_publisherOfPath("C:/Scenery/AEROSOFT/EDDF"), "Aerosoft");
    EXPECT_FALSE(gf_publisherOfPath("C:/Scenery/other").has_value());
}

TEST_F(DbaseTest, ListRulesAndMissingSections) {
    struct Row {
        std::string aircrafts;  // replaces the aircrafts section
        const char* expected;   // the known types joined, or the error text
    };
    const Row rows[] = {
        {R"(<aircrafts><aircraft types="B738, A320 ,,B738"/></aircrafts>)", ",A320,B738"},
        {R"(<aircrafts><aircraft types="A,"/><aircraft types="C"/></aircrafts>)", ",A,C"},
        {"", "61: In XML file section [aircrafts], element [aircraft], attribute [types] is empty."},
        {R"(<aircrafts><aircraft/></aircrafts>)",
         "61: In XML file section [aircrafts], element [aircraft], attribute [types] is empty."},
    };
    std::string base = kFixtureDbase;
    const auto from = base.find("<aircrafts>");
    const auto to = base.find("</aircrafts>") + std::string("</aircrafts>").size();
    for (const Row& row : rows) {
        std::string text = base;
        text.replace(from, to - from, row.aircrafts);
        writeFile("d.xml", text);
        std::string got;
        try {
            gf_readDbaseXml("d.xml");
            for (const auto& type : g_dbase.knownTypes) got += (&type == &*g_dbase.knownTypes.begin() ? "" : ",") + type;
        } catch (const ozr::UserErrorException& e) {
            got = e.what();
        }
        EXPECT_EQ(got, row.expected) << row.aircrafts;
    }
    // Without a root element the sections are found under the document.
    std::string rootless = base;
    rootless.erase(rootless.find("<root>"), 6);
    rootless.erase(rootless.find("</root>"), 7);
    writeFile("d.xml", rootless);
    EXPECT_TRUE(gf_readDbaseXml("d.xml"));
    EXPECT_TRUE(gf_isKnownAcType("EC35"));
}

TEST_F(DbaseTest, PlainFileIsRemovedOnEveryWayOut) {
    EXPECT_THROW(gf_readDbase(), std::runtime_error);  // no dbase.enc
    const encryptor::Key key = g_dataFileKey;
    struct Row {
        std::string plain;
        const char* outcome;  // "true", "false" or "throw"
    };
    const Row rows[] = {
        {kFixtureDbase, "true"},
        {"<root><aircrafts>", "false"},
        {"<root/>", "throw"},
    };
    for (const Row& row : rows) {
        writeFile("input/dbase.enc", encryptor::encryptBytes(key, row.plain));
        std::string outcome;
        try {
            outcome = gf_readDbase() ? "true" : "false";
        } catch (const ozr::UserErrorException&) {
            outcome = "throw";
        }
        EXPECT_EQ(outcome, row.outcome);
        EXPECT_FALSE(fs::exists("input/dbase.xml")) << row.outcome;
    }
    writeFile("input/dbase.enc", "not encrypted at all, far too short");
    try {
        gf_readDbase();
        ADD_FAILURE() << "a damaged dbase.enc was read";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), (fs::path("input") / "dbase.enc").string() +
                                             " stream decrypt failed: the file is damaged, the next start fetches "
                                             "it anew from the download site");
    }
    EXPECT_FALSE(fs::exists("input/dbase.xml"));
    EXPECT_NE(logText().find("not read because of"), std::string::npos);
}
