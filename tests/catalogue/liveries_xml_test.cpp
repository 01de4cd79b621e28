#include "catalogue/liveries_xml.h"
#include "catalogue/livery.h"
#include "catalogue_test_support.h"
#include "core/file_meta.h"
#include "core/user_error.h"

#include <vector>

namespace fs = std::filesystem;

class LiveriesXmlTest : public CatalogueTest {};

TEST_F(LiveriesXmlTest, WrittenAndReadBackEqual) {
    const std::vector<Livery> scanned{{"KLM", "B738", "KLM 738 PH-BXA", "PH-BXA", 3, false},
                                      {"DLH", "A320", "Lufthansa A320", "", 1, false},
                                      {"ZZZ", "C172", "Cessna <white> & \"blue\"", "", 2, false},
                                      {"FDX", "B77L", "FedEx 777F", "N850FD", 1, true},
                                      {"", "", "", "", 1, false}};
    g_liveryScanList.assign(scanned.begin(), scanned.end());
    g_liveryScanList.sort();
    const std::vector<Livery> expected(g_liveryScanList.begin(), g_liveryScanList.end());
    ASSERT_TRUE(lf_writeLiveriesXml());
    const std::string text = readFile("output/LiveriesScanned.xml");
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
    EXPECT_NE(text.find("<liv airl=\"FDX\" type=\"B77L\" cargo=\"true\" title=\"FedEx 777F\" atcid=\"N850FD\" />"),
              std::string::npos);

    lf_readLiveriesXml();
    const std::vector<Livery> back(g_liveryScanList.begin(), g_liveryScanList.end());
    EXPECT_EQ(back, expected);
    for (const Livery& l : back) EXPECT_EQ(l.folderIndex, 0u);
    const std::string log = logText();
    EXPECT_NE(log.find("5 liveries in "), std::string::npos);
    EXPECT_NE(log.find("5 liveries read from "), std::string::npos);
}

TEST_F(LiveriesXmlTest, EmptyListKeepsTheOldFileAndAFailedSaveIsReported) {
    writeFile("output/LiveriesScanned.xml", "old");
    g_liveryScanList.clear();
    EXPECT_TRUE(lf_writeLiveriesXml());
    EXPECT_EQ(readFile("output/LiveriesScanned.xml"), "old");

    g_liveryScanList.push_back(Livery{"KLM", "B738", "t", "", 1, false});
    EXPECT_FALSE(lf_writeLiveriesXmlTo(folder / "no-such-folder" / "LiveriesScanned.xml"));
    const std::string log = logText();
    EXPECT_NE(log.find("saving: "), std::string::npos);
    EXPECT_EQ(log.find("1 liveries in"), std::string::npos);
}

TEST_F(LiveriesXmlTest, ReadRules) {
    struct Row {
        const char* body;      // the file's text
        const char* expected;  // "airl/type/title/atcid/cargo;..." or the error text's start
    };
    const std::string meta = "<meta><info name=\"copyright\" value=\"c\"/><info name=\"sim\" value=\"3\"/></meta>";
    const Row rows[] = {
        {"<root>M<liveries><liv airl=\"A\" type=\"T\" title=\"x\"/><liv airl=\"A\" type=\"T\" title=\"\" "
         "cargo=\"false\"/><other airl=\"B\" type=\"U\" title=\"y\" cargo=\"1\" atcid=\"R\"/></liveries></root>",
         "A/T//-/0;A/T/x/-/0;B/U/y/R/1;"},
        {"<root>M<liveries/></root>", "533: "},
        {"<other/>", "533: "},
        {"<root>M</root>", "52: "},
        {"<root>M<liveries><liv airl=\"A\" title=\"x\"/></liveries></root>",
         "999: Missing required attribute 'type' in <liv>"},
        {"<root>M<liveries><liv airl=\"A\" type=\"T\" title=\"x\"", "51: File "},
        {"", "51: File "},
    };
    for (const Row& row : rows) {
        std::string body = row.body;
        if (const auto m = body.find('M'); m != std::string::npos && body[m + 1] == '<') body.replace(m, 1, meta);
        writeFile("output/LiveriesScanned.xml", body);
        std::string got;
        try {
            lf_readLiveriesXml();
            for (const Livery& l : g_liveryScanList) {
                got += l.airl + "/" + l.type + "/" + l.title + "/" + (l.atcid.empty() ? "-" : l.atcid) + "/" +
                       (l.cargo ? "1" : "0") + ";";
            }
        } catch (const ozr::UserErrorException& e) {
            got = e.what();
        }
        EXPECT_EQ(got.rfind(row.expected, 0), 0u) << row.body << " -> " << got;
    }
    fs::remove("output/LiveriesScanned.xml");
    EXPECT_THROW(lf_readLiveriesXml(), ozr::UserErrorException);
}
