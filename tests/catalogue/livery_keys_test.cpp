// The key-line readers against the patterns they stand for (on the line
// without its "//" comment, which the simulator ignores), and their table of
// cases.
#include "catalogue/livery_keys.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

struct Reader {
    const char* key;
    bool (*read)(std::string_view, std::string&);
};

const std::vector<Reader> kReaders{{"title", lf_readTitle},
                                   {"sim", lf_readSim},
                                   {"model", lf_readModel},
                                   {"texture", lf_readTexture},
                                   {"atc_id", lf_readAtcId},
                                   {"atc_parking_types", lf_readAtcParkingTypes}};

// Lines at the edges of the key-line language: blanks and tabs, other white
// space, line breaks inside, comments, keys inside other keys, case.
const std::vector<std::string> kLines{
    "title=A",
    "  Title =  Boeing 737-800  ",
    "TITLE\t=\tX",
    "title=",
    "title",
    "title= ",
    "title=A // b",
    "title=A//b",
    "title=// only a comment",
    "texture=KLM // note",
    "sim=b738 //",
    "ui_title=X",
    "title_x=X",
    "\ttitle=X\t",
    "title=A\rB",
    "title=A\r",
    "title=\x0b" "A\x0c",
    "title==x",
    "title = = x",
    " sim=b738",
    "sim =b738",
    "simulation=x",
    "model=",
    "model=alt",
    "MODEL = alt ",
    "atc_model=B738",
    "texture=BAW",
    "texture.1=BAW",
    "atc_id=N123AB;old",
    "atc_id = X",
    "// atc_id=N123",
    "atc_parking_types=gate_heavy,cargo",
    "atc_parking_types\t=\tGATE ",
    "x title=y",
    "title=Caf\xC3\xA9",
    "title=\xA0x\xA0",
};

TEST(LiveryKeys, ReadersAcceptExactlyTheLinesOfTheirPattern) {
    for (const Reader& reader : kReaders) {
        const std::regex pattern(std::string(R"(\s*()") + reader.key + R"()\s*=\s*(.*\S)\s*)",
                                 std::regex::ECMAScript | std::regex::icase);
        for (const std::string& line : kLines) {
            SCOPED_TRACE(std::string(reader.key) + " on '" + line + "'");
            std::smatch match;
            const std::string uncommented = line.substr(0, line.find("//"));
            const bool expected = std::regex_match(uncommented, match, pattern);
            std::string value = "unchanged";
            EXPECT_EQ(expected, reader.read(line, value));
            EXPECT_EQ(expected ? match[2].str() : "unchanged", value);
        }
    }
}

TEST(LiveryKeys, ListValuesModelsAndHeaders) {
    struct Case {
        std::string line;
        bool codes;              // lf_readAtcParkingCodes
        std::string firstCode;
        std::string atcModel;    // lf_readAtcModel
        std::string fltsim;      // lf_readFltsimNumber
        bool hasAtcId;
        bool hasParkingTypes;
    };
    const std::vector<Case> cases{
        {"atc_parking_codes=BAW , SHT", true, "BAW", "", "", false, false},
        {"atc_parking_codes=,BAW", true, "", "", "", false, false},
        {"ATC_PARKING_CODES = DLHC ", true, "DLHC", "", "", false, false},
        {"atc_parking_codes=", false, "", "", "", false, false},
        {"atc_model=B738", false, "", "B738", "", false, false},
        {"  atc_model = B738 // x", false, "", "B738", "", false, false},
        {"atc_parking_codes=KLM // x", true, "KLM", "", "", false, false},
        {"[FltSim.1] // old", false, "", "", "1", false, false},
        {"[fltsim.2]// x", false, "", "", "2", false, false},
        {"model=B738", false, "", "", "", false, false},
        {"[fltsim.0]", false, "", "", "0", false, false},
        {" [FLTSIM.7] ", false, "", "", "7", false, false},
        {"[FltSim.12]", false, "", "", "12", false, false},
        {"//[fltsim.0]", false, "", "", "", false, false},
        {"[fltsim.0] ;x", false, "", "", "10000", false, false},
        {"[fltsim.x]", false, "", "", "10000", false, false},
        {"[fltsim.-1]", false, "", "", "10000", false, false},
        {"[fltsim.99999999999]", false, "", "", "99999999999", false, false},
        // A header the simulator may still read opens a section, in any case.
        {"[Fltsim.3", false, "", "", "10000", false, false},
        {"[General]", false, "", "", "", false, false},
        {"// atc_id=N123", false, "", "", "", true, false},
        {"atc_id = X", false, "", "", "", false, false},
        {"//atc_parking_types=GATE", false, "", "", "", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::string code = "unchanged";
        EXPECT_EQ(c.codes, lf_readAtcParkingCodes(c.line, code));
        EXPECT_EQ(c.codes ? c.firstCode : "unchanged", code);
        EXPECT_EQ(c.atcModel, lf_readAtcModel(c.line));
        EXPECT_EQ(c.fltsim, lf_readFltsimNumber(c.line));
        EXPECT_EQ(c.hasAtcId, lf_lineHasAtcId(c.line));
        EXPECT_EQ(c.hasParkingTypes, lf_lineHasAtcParkingTypes(c.line));
    }
}

}  // namespace
