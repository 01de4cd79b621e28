#include "catalogue/dont_use_titles.h"
#include "catalogue/livery.h"
#include "catalogue/regcode_sources.h"
#include "catalogue_test_support.h"
#include "core/paths.h"
#include "core/text_encoding.h"

namespace fs = std::filesystem;

class RegcodeSourcesTest : public CatalogueTest {
protected:
    static std::string describe(const std::vector<Regcode>& entries) {
        std::string text;
        for (const Regcode& r : entries) {
            text += r.title + "|" + gf_joinCommaForTest(r.regs) + "|" + (r.special ? "S" : "-") + "\n";
        }
        return text;
    }
    static std::string gf_joinCommaForTest(const std::vector<std::string>& items) {
        std::string text;
        for (const auto& item : items) text += (text.empty() ? "" : ",") + item;
        return text;
    }
    const std::string aigHeader =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><meta>"
        "<info name=\"copyright\" value=\"test\"/><info name=\"sim\" value=\"3\"/></meta>";
};

TEST_F(RegcodeSourcesTest, TextLines) {
    struct Row {
        const char* line;
        const char* entries;  // describe() of what the line appends
        bool ok;
        const char* log;      // a text the log must hold, or ""
    };
    const Row rows[] = {
        {"Example Air A320;ABCDE", "Example Air A320|ABCDE|S\n", true, ""},
        {"Example Air A320;ABCDE,ABCDF", "Example Air A320|ABCDE,ABCDF|-\n", true, ""},
        {"Example Air A320;ABCDE,ABCDF;#", "Example Air A320|ABCDE,ABCDF|S\n", true, ""},
        {"Example Air A320;ABCDE,ABCDF;x", "Example Air A320|ABCDE,ABCDF|-\n", true, ""},
        {"Example Air A320;ABCDE;x", "Example Air A320|ABCDE|S\n", true, ""},
        {"Example Air A320", "Example Air A320||-\n", true, ""},
        {"Example Air A320;", "", true, ""},
        {"   ", "", true, ""},
        {"T; ABCDF, ABCDE,ABCDE\r", "T|ABCDE,ABCDF|-\n", true, ""},
        {"T;AB", "", false, "wrong regcode length 'AB' in"},
        {"T;ABCDEFGHIJKLM", "", false, "wrong regcode length 'ABCDEFGHIJKLM' in"},
        {"T;AB,ABCDE", "T|ABCDE|-\n", false, "wrong regcode length 'AB'"},
        {"T;AB,CD", "", false, "; regs empty?"},
        {"T;ABCDE;#;x", "", false, "wrong format 'T;ABCDE;#;x'"},
        {";ABCDE", "|ABCDE|S\n", true, ""},
    };
    for (const Row& row : rows) {
        fs::remove_all("input/my_regcodes");
        writeFile("input/my_regcodes/a.txt", std::string(row.line) + "\n");
        std::vector<Regcode> out;
        EXPECT_EQ(lf_readRegcodeFiles("input/my_regcodes", out), row.ok) << row.line;
        EXPECT_EQ(describe(out), row.entries) << row.line;
        if (*row.log) {
            EXPECT_NE(logText().find(row.log), std::string::npos) << row.line;
        }
    }
}

TEST_F(RegcodeSourcesTest, FilesOfAFolderInNameOrderTxtOnly) {
    writeFile("input/my_regcodes/b.TXT", "B;BBBBB\r\nB2\r\n");
    writeFile("input/my_regcodes/a.txt", "A;AAAAA\n");
    writeFile("input/my_regcodes/c.csv", "C;CCCCC\n");
    std::vector<Regcode> out;
    EXPECT_TRUE(lf_readRegcodeFiles("input/my_regcodes", out));
    EXPECT_EQ(describe(out), "A|AAAAA|S\nB|BBBBB|S\nB2||-\n");
    EXPECT_NE(logText().find("3 liveries"), std::string::npos);

    std::vector<Regcode> none;
    EXPECT_FALSE(lf_readRegcodeFiles("input/missing", none));
    EXPECT_NE(logText().find("Error reading regcode files in input/missing, what:"), std::string::npos);
}

TEST_F(RegcodeSourcesTest, AigList) {
    writeFile("input/AIG-regcodes.xml",
              aigHeader + "<AIG-regcodes>"
                          "<livery title=\"A\" reg=\"PH-B, PH-A\" special=\"true\"/>"
                          "<livery title=\"\" reg=\"X\"/>"
                          "<livery title=\"A\" reg=\"PH-C\"/>"
                          "<livery title=\"B\"/>"
                          "<livery title=\"A\" reg=\"PH-D\" special=\"no\"/>"
                          "</AIG-regcodes></root>");
    std::vector<Regcode> out;
    EXPECT_FALSE(lf_readAigRegcodes(out));
    EXPECT_EQ(describe(out), "A|PH-A,PH-B|S\nB||-\nA|PH-D|-\n");
    const std::string log = logText();
    EXPECT_NE(log.find("SAME AS PREVIOUS title 'A'"), std::string::npos);
    EXPECT_NE(log.find("3 liveries read from AIG-regcodes"), std::string::npos);
    EXPECT_TRUE(fs::exists("input/AIG-regcodes.xml"));
}

TEST_F(RegcodeSourcesTest, AigListThatIsBrokenOrHeaderless) {
    struct Row {
        const char* text;
        bool removed;
    };
    const Row rows[] = {
        {"<root><AIG-regcodes><livery title=\"A\"", true},
        {"", true},
        {"<root><meta/><AIG-regcodes><livery title=\"A\"/></AIG-regcodes></root>", false},
        {"<root><meta><info name=\"copyright\" value=\"c\"/></meta></root>", false},
    };
    for (const Row& row : rows) {
        writeFile("input/AIG-regcodes.xml", row.text);
        std::vector<Regcode> out;
        EXPECT_FALSE(lf_readAigRegcodes(out)) << row.text;
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(fs::exists("input/AIG-regcodes.xml"), !row.removed) << row.text;
    }
    writeFile("input/AIG-regcodes.xml", aigHeader + "</root>");
    std::vector<Regcode> out;
    EXPECT_TRUE(lf_readAigRegcodes(out));
}

TEST_F(RegcodeSourcesTest, DontUseTitlesFromBothSources) {
    writeFile("input/AIG-regcodes.xml", aigHeader +
                                            "<AIG-regcodes><livery title=\"Skip me\"/><livery title=\"Keep\" "
                                            "reg=\"PH-ABC\"/></AIG-regcodes></root>");
    writeFile("input/my_regcodes/mine.txt", "Mine too\nOther;ABCDE\nMine three\n");
    lf_readAigDontUseTitles();
    lf_readMyDontUseTitles();
    EXPECT_TRUE(lf_isDontUseTitle("Skip me"));
    EXPECT_TRUE(lf_isDontUseTitle("Mine too"));
    EXPECT_TRUE(lf_isDontUseTitle("Mine three"));
    EXPECT_FALSE(lf_isDontUseTitle("Keep"));
    EXPECT_FALSE(lf_isDontUseTitle("Other"));
    const std::string log = logText();
    EXPECT_NE(log.find("1 don't use title read\n"), std::string::npos);
    EXPECT_NE(log.find("2 don't use titles read from files in " + gf_pathToUtf8(gf_workPaths().myRegcodes)),
              std::string::npos);
}
