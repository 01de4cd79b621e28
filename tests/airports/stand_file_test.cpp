#include "airports/stand_file.h"

#include "airports/hours_text.h"
#include "airports_test_support.h"
#include "core/geometry.h"
#include "core/user_error.h"

#include <cmath>
#include <fmt/format.h>

namespace {

using airports_test::WorkFolder;
namespace fs = std::filesystem;

StandOption option(const char* reg, const char* airline, const char* type, std::uint64_t halfHours,
                   std::uint32_t day, std::uint32_t index, std::uint32_t real = 1) {
    StandOption o;
    o.reg = reg;
    o.airline = airline;
    o.type = type;
    o.halfHours = halfHours;
    o.day = day;
    o.index = index;
    o.real = real;
    return o;
}

AirportFile sampleAirport() {
    AirportFile file;
    file.code = "EHAM";
    file.airport_name = "Amsterdam Schiphol";
    file.publisher = "stock";
    file.altitude = -11;
    file.Qf_real = 12;
    file.Qf_soft = 34;
    Stand d7("D7", {}, StandPlace{52.308466, 4.762611, 1.5707963}, 30.0, false, false, false);
    StandOption klm = option("PH-BXA", "KLM", "B738", gf_hours2bitset("14:17"), 3, 1);
    klm.cs = "KLM1234";
    klm.cs2 = "KLM12A";
    klm.cpl = true;
    d7.options.push_back(klm);
    d7.options.push_back(option("", "EZY", "A320", gf_hours2bitset("20"), 7, 2, 0));
    Stand h1("H1", {}, StandPlace{52.3010, 4.7770, 0.0}, 15.0, false, false, true);
    Stand r80("R80", {}, StandPlace{52.2890, 4.7690, 3.0}, 40.0, true, true, false);
    r80.manual = true;
    r80.options.push_back(option("PH-MPS", "MPH", "B744", gf_hours2bitset("0:47"), 1, 1));
    file.stands = {d7, h1, r80};
    return file;
}

std::vector<Stand> readBack(const fs::path& path) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_file(path.c_str()));
    std::vector<Stand> stands;
    lf_readParkpositions(document, stands);
    return stands;
}

// What the file form keeps of a stand: position to 6 decimals, heading and
// radius to a tenth; marks, numbers and neighbours are not stored.
void expectSameStand(const Stand& read, const Stand& written, bool withOptions) {
    EXPECT_EQ(read.id, written.id);
    EXPECT_NEAR(read.latitude, written.latitude, 1e-6);
    EXPECT_NEAR(read.longitude, written.longitude, 1e-6);
    EXPECT_NEAR(read.heading, written.heading, 0.05 * kDegToRad);
    EXPECT_NEAR(read.radius * kMetresPerNm, written.radius * kMetresPerNm, 0.05);
    EXPECT_EQ(read.cargo, written.heli ? false : written.cargo);
    EXPECT_EQ(read.ramp, written.ramp);
    EXPECT_EQ(read.heli, written.heli);
    if (!withOptions) return;
    ASSERT_EQ(read.options.size(), written.options.size()) << written.id;
    for (std::size_t i = 0; i < read.options.size(); ++i) {
        StandOption expected = written.options[i];
        expected.origin = 1;
        EXPECT_EQ(read.options[i], expected) << written.id << " option " << i;
    }
}

class StandFile : public WorkFolder {
protected:
    void TearDown() override {
        gf_setStandRegistrationLookup({});
        WorkFolder::TearDown();
    }
};

TEST_F(StandFile, EveryFormReadsBackTheSameRecords) {
    const AirportFile file = sampleAirport();
    struct Row {
        StandFileForm form;
        bool handmade;
        bool fullStands;  // all stands carry their position
        bool options;
    };
    const Row rows[] = {
        {StandFileForm::generated, false, true, false},
        {StandFileForm::learned, true, true, true},
    };
    for (const Row& row : rows) {
        const fs::path path = "out/sub/EHAM.xml";
        ASSERT_TRUE(gf_writeAirportFile(file, path, row.form, 3, row.handmade));
        const std::vector<Stand> stands = readBack(path);
        ASSERT_EQ(stands.size(), file.stands.size());
        for (std::size_t i = 0; i < stands.size(); ++i) expectSameStand(stands[i], file.stands[i], row.options);
        // A second write of what was read gives the same file but the date.
        AirportFile again = file;
        again.stands = stands;
        for (Stand& s : again.stands) {
            for (StandOption& o : s.options) o.origin = 0;
        }
        again.stands[2].manual = true;
        ASSERT_TRUE(gf_writeAirportFile(again, "out/again.xml", row.form, 3, row.handmade));
        pugi::xml_document a, b;
        a.load_file(path.c_str());
        b.load_file("out/again.xml");
        EXPECT_EQ(a.child("root").child("parkpositions").first_child().attribute("heading").as_string(),
                  std::string(b.child("root").child("parkpositions").first_child().attribute("heading").as_string()));
        EXPECT_FALSE(fs::exists(path.string() + ".tmp"));
    }
}

TEST_F(StandFile, WritesTheFormsAttributesAndParameters) {
    const AirportFile file = sampleAirport();
    ASSERT_TRUE(gf_writeAirportFile(file, "learned.xml", StandFileForm::learned, 3, false));
    ASSERT_TRUE(gf_writeAirportFile(file, "generated.xml", StandFileForm::generated, 3, false));
    const std::string learned = readFile("learned.xml");
    const std::string generated = readFile("generated.xml");

    // Learned form: a stand that is neither manual nor changed keeps its id
    // and options only; the manual one is written whole.
    EXPECT_NE(learned.find("<parkpos id=\"D7\">"), std::string::npos) << learned;
    EXPECT_NE(learned.find("<parkpos id=\"R80\" latitude=\"52.289000\" longitude=\"4.769000\" heading=\"171.9\" "
                           "radius=\"40.0\" cargo=\"true\" ramp=\"true\" manual=\"true\">"),
              std::string::npos)
        << learned;
    EXPECT_NE(learned.find("<opt reg=\"PH-BXA\" airl=\"KLM\" type=\"B738\" day=\"3\" hh=\"14:17\" "
                           "cs=\"KLM1234:KLM12A\" cpl=\"true\" />"),
              std::string::npos)
        << learned;
    EXPECT_NE(learned.find("<opt reg=\"\" airl=\"EZY\" type=\"A320\" soft=\"true\" day=\"7\" hh=\"20\" />"),
              std::string::npos)
        << learned;
    EXPECT_NE(learned.find("name=\"MAX_FIT\" value=\"47\""), std::string::npos) << learned;
    EXPECT_EQ(learned.find("name=\"altitude\""), std::string::npos);
    EXPECT_EQ(learned.find("name=\"handmade\""), std::string::npos);

    // Generated form: every stand whole (90.0 degrees, 30.0 m), altitude and
    // the stand count, no options, no settings.
    EXPECT_NE(generated.find("<parkpos id=\"D7\" latitude=\"52.308466\" longitude=\"4.762611\" heading=\"90.0\" "
                             "radius=\"30.0\" cargo=\"false\" ramp=\"false\" />"),
              std::string::npos)
        << generated;
    EXPECT_NE(generated.find("<parkpos id=\"H1\" latitude=\"52.301000\" longitude=\"4.777000\" heading=\"0.0\" "
                             "radius=\"15.0\" heli=\"true\" ramp=\"false\" />"),
              std::string::npos)
        << generated;
    EXPECT_NE(generated.find("name=\"altitude\" value=\"-11\""), std::string::npos);
    EXPECT_NE(generated.find("name=\"num_parkpos\" value=\"3\""), std::string::npos);
    EXPECT_EQ(generated.find("<opt"), std::string::npos);
    EXPECT_EQ(generated.find("RANGE"), std::string::npos);
}

TEST_F(StandFile, LearnedChangesAndOptionsWithoutAnHoursTextSurviveOrAreLogged) {
    AirportFile file = sampleAirport();
    file.publisher.clear();
    file.BGLpath = "Scenery\\EHAM.bgl";
    file.stands[0].radius_change = true;
    file.stands[0].radius = 25.0 * kNmPerMetre;
    file.stands[0].cargo_change = true;
    file.stands[0].cargo = true;
    file.stands[0].options[1].halfHours = (1u << 3) | (1u << 7);
    file.stands[0].options.push_back(option("X", "Y", "Z", 1, 1, 0));  // index 0: never written
    ASSERT_TRUE(gf_writeAirportFile(file, "l.xml", StandFileForm::learned, 3, false));
    const std::string text = readFile("l.xml");
    EXPECT_NE(text.find("<parkpos id=\"D7\" radius_change=\"true\" radius=\"25.0\" cargo_change=\"true\" "
                        "cargo=\"true\">"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("name=\"BGLpath\" value=\"Scenery\\EHAM.bgl\""), std::string::npos);
    EXPECT_EQ(text.find("EZY"), std::string::npos);
    EXPECT_EQ(text.find("reg=\"X\""), std::string::npos);
    EXPECT_NE(log().find("==> bit set problem:   EZY A320"), std::string::npos) << log();
}

TEST_F(StandFile, RegistrationsTheDbaseKnowsTakeItsAirlineAndType) {
    gf_setStandRegistrationLookup([](std::string_view reg) -> std::optional<StandDbaseRecord> {
        if (reg == "PH-BXA") return StandDbaseRecord{"KLM", "B738", ""};
        if (reg == "PH-EXA") return StandDbaseRecord{"KLM", "E75L", "KLC"};
        return std::nullopt;
    });
    writeFile("f.xml", R"(<root><parkpositions>
        <parkpos id="A1" latitude="52.3" longitude="4.7" radius="30">
          <opt reg="PH-BXA" airl="XXX" type="YYY" day="1" hh="1" cs="ABC123:XYZ45"/>
          <opt reg="PH-EXA" day="2" hh="2" cs="ABC123"/>
          <opt reg="N1" airl="AAL" type="B772" day="3" hh="3"/>
          <opt reg="N2" day="0" hh="3"/>
          <opt reg="N3" day="8" hh="3"/>
          <opt reg="N4" day="1"/>
          <opt reg="N5" day="1" hh="x"/>
        </parkpos>
        <parkpos id="ZERO" latitude="0" longitude="0"/>
      </parkpositions></root>)");
    const std::vector<Stand> stands = readBack("f.xml");
    ASSERT_EQ(stands.size(), 1u);
    const auto& o = stands[0].options;
    ASSERT_EQ(o.size(), 4u);
    EXPECT_EQ(o[0].airline + o[0].type + "|" + o[0].cs + "|" + o[0].cs2, "KLMB738|ABC123|XYZ45");
    EXPECT_EQ(o[1].airline + o[1].type + "|" + o[1].cs + "|" + o[1].cs2, "KLCE75L|ABC123|");
    EXPECT_EQ(o[2].airline + o[2].type, "AALB772");
    EXPECT_EQ(o[3].reg, "N5");
    EXPECT_EQ(o[3].halfHours, 0u);  // an unusable hours text still gives an option
    EXPECT_EQ(o[3].index, 4u);

    AirportFile file;
    file.publisher = "stock";
    file.stands = stands;
    file.stands[0].manual = true;
    ASSERT_TRUE(gf_writeAirportFile(file, "g.xml", StandFileForm::learned, 3, false));
    const std::string text = readFile("g.xml");
    EXPECT_NE(text.find("<opt reg=\"PH-BXA\" day=\"1\""), std::string::npos) << text;
    EXPECT_NE(text.find("<opt reg=\"N1\" airl=\"AAL\" type=\"B772\""), std::string::npos) << text;
}

TEST_F(StandFile, BadIdsStopTheReadingWithTheirCodes) {
    struct Row {
        const char* stands;
        const char* error;
        std::size_t keptBefore;
    };
    const Row rows[] = {
        {R"(<parkpos latitude="1" longitude="1" radius="20"/>)", "93: Parking position #1 has no 'id' attribute.", 0},
        {R"(<parkpos id="A" latitude="1" longitude="1" radius="20"/><parkpos id=" 	" latitude="1" longitude="1"/>)",
         "93: Parking position #2 has empty 'id' attribute.", 1},
        {R"(<parkpos id="B1" latitude="1" longitude="1" radius="20"/><parkpos id=" B1 " latitude="1" longitude="1"/>)",
         "94: Parking position 'B1' appears more than once.", 1},
    };
    for (const Row& row : rows) {
        for (const char* wrap : {"<root><parkpositions>%</parkpositions></root>", "<parkpositions>%</parkpositions>"}) {
            std::string xml = wrap;
            xml.replace(xml.find('%'), 1, row.stands);
            pugi::xml_document document;
            ASSERT_TRUE(document.load_string(xml.c_str()));
            std::vector<Stand> stands;
            try {
                lf_readParkpositions(document, stands);
                ADD_FAILURE() << "no error for " << row.stands;
            } catch (const ozr::UserErrorException& e) {
                EXPECT_STREQ(e.what(), row.error);
            }
            EXPECT_EQ(stands.size(), row.keptBefore);
        }
    }
}

// A stand whose numbers the traffic cannot use is dropped with a line, as
// the .bgl decoder drops the same values.
TEST_F(StandFile, StandsWithUnusableNumbersAreDropped) {
    const char* rows[] = {
        R"(latitude="nan" longitude="4.7")",   R"(latitude="52.3" longitude="inf")",
        R"(latitude="91" longitude="4.7")",    R"(latitude="52.3" longitude="-180.5")",
        R"(latitude="52.3" longitude="4.7" heading="nan")",
        R"(latitude="52.3" longitude="4.7" radius="inf")",
        R"(latitude="52.3" longitude="4.7" radius="-5")",
        R"(latitude="52.3" longitude="4.7" radius="200")",
    };
    for (const char* row : rows) {
        pugi::xml_document document;
        const std::string xml = std::string("<parkpositions><parkpos id=\"X\" ") + row +
                                R"(/><parkpos id="OK" latitude="52.3" longitude="4.7" radius="199.9"/></parkpositions>)";
        ASSERT_TRUE(document.load_string(xml.c_str()));
        std::vector<Stand> stands;
        lf_readParkpositions(document, stands);
        ASSERT_EQ(stands.size(), 1u) << row;
        EXPECT_EQ(stands[0].id, "OK");
        EXPECT_NE(log().find("==> parkpos X skipped: "), std::string::npos) << row;
    }
}

}  // namespace

namespace {

// A number reads whole or not at all: every slip a hand typing a stand file
// makes leaves the stand unused and says which attribute, in a file the user
// made (problems listed) and in a stand file (the line in the log); a value
// that reads whole is taken as written.
TEST_F(StandFile, ANumberReadsWholeOrTheStandIsNotUsed) {
    struct Row {
        const char* attributes;  // of the stand X; the stand OK follows it
        const char* problem;     // "" when X is used
        double lat, radius_m;    // X's values when it is used
    };
    const Row rows[] = {
        {R"(latitude="52,31000000" longitude="4.7" radius="30")", R"(latitude "52,31000000" is not a number)"},
        {R"(latitude="52.3" longitude="4,7" radius="30")", R"(longitude "4,7" is not a number)"},
        {R"(latitude="52.3" longitude="4.7" radius="25,5")", R"(radius "25,5" is not a number)"},
        {R"(latitude="52.3" longitude="4.7" heading="90,5" radius="30")", R"(heading "90,5" is not a number)"},
        {R"(Latitude="52.3" longitude="4.7" radius="30")", "'Latitude' should be 'latitude'"},
        {R"(latitude="52.3" longitude="4.7" Radius="30")", "'Radius' should be 'radius'"},
        {R"(latitude="52.3" longitude="4.7" radius="30" CARGO="true")", "'CARGO' should be 'cargo'"},
        {R"(longitude="4.7" radius="30")", "latitude is missing"},
        {R"(latitude="52.3" radius="30")", "longitude is missing"},
        {R"(latitude="52.3" longitude="4.7" heading="90")", "radius is missing"},
        {R"(latitude="52.3x" longitude="4.7" radius="30")", R"(latitude "52.3x" is not a number)"},
        {R"(latitude="52.3.1" longitude="4.7" radius="30")", R"(latitude "52.3.1" is not a number)"},
        {R"(latitude="" longitude="4.7" radius="30")", R"(latitude "" is not a number)"},
        {R"(latitude="52.3" longitude="4.7" radius="")", R"(radius "" is not a number)"},
        {R"(latitude="1e999" longitude="4.7" radius="30")", R"(latitude "1e999" is not a number)"},
        {R"(latitude="52.3" longitude="4.7" radius="1e400")", R"(radius "1e400" is not a number)"},
        {R"(latitude="NaN" longitude="4.7" radius="30")", R"(latitude "NaN" is not a number)"},
        {R"(latitude="52.3" longitude="-inf" radius="30")", R"(longitude "-inf" is not a number)"},
        {R"(latitude="52.3" longitude="4.7" radius="Infinity")", R"(radius "Infinity" is not a number)"},
        {R"(latitude="0x34" longitude="4.7" radius="30")", R"(latitude "0x34" is not a number)"},
        {R"(latitude="+-52.3" longitude="4.7" radius="30")", R"(latitude "+-52.3" is not a number)"},
        {R"(latitude="91" longitude="4.7" radius="30")", R"(latitude "91" is outside -90..90)"},
        {R"(latitude="52.3" longitude="180.5" radius="30")", R"(longitude "180.5" is outside -180..180)"},
        {R"(latitude="52.3" longitude="4.7" radius="200")", R"(radius "200" is outside 0 to under 200 m)"},
        {R"(latitude="52.3" longitude="4.7" radius="-1")", R"(radius "-1" is outside 0 to under 200 m)"},
        // Read whole: blanks around the number, a sign, an exponent; no
        // heading is north.
        {R"(latitude=" 52.31 " longitude="+4.7" radius="2.55e1")", "", 52.31, 25.5},
        {R"(latitude="-33.9" longitude="-70.6" radius="0")", "", -33.9, 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.attributes);
        const std::string xml = std::string(R"(<parkpositions><parkpos id="X" )") + row.attributes +
                                R"(/><parkpos id="OK" latitude="52.3" longitude="4.7" radius="30"/></parkpositions>)";
        pugi::xml_document document;
        ASSERT_TRUE(document.load_string(xml.c_str()));
        // A file the user made: the stand's problem is listed.
        std::vector<Stand> stands;
        std::vector<std::string> problems;
        lf_readParkpositions(document, stands, &problems);
        if (*row.problem == '\0') {
            ASSERT_EQ(stands.size(), 2u);
            EXPECT_TRUE(problems.empty()) << problems.front();
            EXPECT_DOUBLE_EQ(stands[0].latitude, row.lat);
            EXPECT_NEAR(stands[0].radius * kMetresPerNm, row.radius_m, 1e-9);
            continue;
        }
        ASSERT_EQ(stands.size(), 1u);
        EXPECT_EQ(stands[0].id, "OK");
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0], fmt::format("Parking position 'X': {}; the stand is not used.", row.problem));
        // A stand file: the same stand is dropped, the log says why.
        stands.clear();
        problems.clear();
        lf_readParkpositions(document, stands, &problems, "airports\\my_thirdparty\\EHAM.xml");
        EXPECT_EQ(stands.size(), 1u);
        ASSERT_EQ(problems.size(), 1u);
        stands.clear();
        lf_readParkpositions(document, stands);
        EXPECT_EQ(stands.size(), 1u);
        EXPECT_NE(log().find(fmt::format("==> parkpos X skipped: {}\n", row.problem)), std::string::npos);
    }
}

// A use's day reads whole too ("3x" is no Wednesday); a misspelt name of a
// use leaves that use out, not the stand. A stand file's uses without a day
// are its own to drop, not slips to report.
TEST_F(StandFile, AUsesDayReadsWholeAndItsNamesAsWritten) {
    struct Row {
        const char* opt;
        const char* problem;  // "" when the use is taken
    };
    const Row rows[] = {
        {R"(day="3" hh="14:17")", ""},
        {R"(day=" 3 " hh="14:17")", ""},
        {R"(day="3x" hh="14:17")", "a use without hours or a day 1..7 is not used."},
        {R"(day="3.5" hh="14:17")", "a use without hours or a day 1..7 is not used."},
        {R"(day="" hh="14:17")", "a use without hours or a day 1..7 is not used."},
        {R"(day="99999999999999999999" hh="14:17")", "a use without hours or a day 1..7 is not used."},
        {R"(Day="3" hh="14:17")", "a use is not used, 'Day' should be 'day'."},
        {R"(day="3" HH="14:17")", "a use is not used, 'HH' should be 'hh'."},
        {R"(day="3" hh="14:17" Soft="true")", "a use is not used, 'Soft' should be 'soft'."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.opt);
        const std::string xml = std::string(R"(<parkpositions><parkpos id="X" latitude="52.3" longitude="4.7" radius="20">)") +
                                R"(<opt reg="PH-BXA" airl="KLM" type="B738" )" + row.opt + "/></parkpos></parkpositions>";
        pugi::xml_document document;
        ASSERT_TRUE(document.load_string(xml.c_str()));
        std::vector<Stand> stands;
        std::vector<std::string> problems;
        lf_readParkpositions(document, stands, &problems);
        ASSERT_EQ(stands.size(), 1u);
        if (*row.problem == '\0') {
            EXPECT_TRUE(problems.empty());
            ASSERT_EQ(stands[0].options.size(), 1u);
            EXPECT_EQ(stands[0].options[0].day, 3u);
            continue;
        }
        EXPECT_TRUE(stands[0].options.empty());
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0], std::string("Parking position 'X': ") + row.problem);
        stands.clear();
        problems.clear();
        lf_readParkpositions(document, stands, &problems, "EHAM.xml");
        EXPECT_TRUE(problems.empty());
        ASSERT_EQ(stands.size(), 1u);
        EXPECT_TRUE(stands[0].options.empty());
    }
}

}  // namespace
