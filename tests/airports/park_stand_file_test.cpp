#include "airports/park_stand_file.h"

#include "airports/hours_text.h"
#include "airports/learned_path.h"
#include "airports/learned_writer.h"
#include "airports/stand_file_locate.h"
#include "airports_test_support.h"
#include "core/run_flags.h"
#include "core/status_line.h"
#include "core/text_encoding.h"
#include "core/user_error.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using airports_test::AirportsFixture;
using airports_test::nativePath;
namespace fs = std::filesystem;

using airports_test::standFileMeta;

// EHAM with three stands: D7 and D8 30 m apart (radius 20 m each), and F4.
std::string ehamStandFile(const std::string& publisher, const std::string& extraParameters = "") {
    return "<root>" + standFileMeta() + R"(<parameters>
        <parameter name="airport_name" value="Amsterdam Schiphol"/>
        <parameter name="publisher" value=")" + publisher + R"("/>
        <parameter name="altitude" value="-11"/>
        <parameter name="RT_traffic_week" value="12"/>)" +
           extraParameters + R"(</parameters><parkpositions>
        <parkpos id="D7" latitude="52.308000" longitude="4.760000" heading="90" radius="20">
          <opt reg="PH-BXA" airl="KLM" type="B738" day="3" hh="14:17" cs="KLM1234"/>
        </parkpos>
        <parkpos id="D8" latitude="52.308270" longitude="4.760000" heading="90" radius="20"/>
        <parkpos id="F4" latitude="52.310000" longitude="4.770000" heading="180" radius="40" cargo="true"/>
      </parkpositions></root>)";
}

// A use as the traffic engine learns it.
StandOption learnedUse(const char* reg, std::uint32_t day, int halfHour) {
    StandOption o;
    o.reg = reg;
    o.airline = "KLM";
    o.type = "E75L";
    o.day = day;
    o.halfHours = std::uint64_t{1} << halfHour;
    o.index = 99;
    o.origin = 0;
    return o;
}

// Every stand and use of the stand list in words, as precise as the file
// form keeps them, sorted: what two reads of a file are compared by.
std::vector<std::string> entriesInUse() {
    std::vector<std::string> entries;
    for (const Stand& s : g_standList) {
        entries.push_back(fmt::format("{} stand {:.6f} {:.6f} {:.1f} {:.1f} cargo {} ramp {} heli {} manual {} "
                                      "changes {} {}",
                                      s.id, s.latitude, s.longitude, s.heading * 57.29577951308232,
                                      s.radius * kMetresPerNm, s.cargo, s.ramp, s.heli, s.manual, s.radius_change,
                                      s.cargo_change));
        for (const StandOption& o : s.options) {
            entries.push_back(fmt::format("{} use {} {} {} {} day {} real {} cs {}:{} cpl {}", s.id, o.reg, o.airline,
                                          o.type, gf_bitset2hours(o.halfHours).value_or("gap"), o.day, o.real, o.cs,
                                          o.cs2, o.cpl ? 1 : 0));
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

class ParkStandFile : public AirportsFixture {
public:
    using AirportsFixture::log;
    void SetUp() override {
        AirportsFixture::SetUp();
        readSampleDatabase();
        makeCurrent("EHAM");
    }
    Stand& stand(const std::string& id) {
        auto it = gf_findStandByName(id);
        EXPECT_NE(it, g_standList.end()) << id;
        return *it;
    }
    std::string visit(const std::string& reference) {
        makeCurrent("EHAM");
        gf_clearStands();
        return gf_readApf(reference);
    }
};

// What the engine learns at one visit is there at the next, whatever kind of
// airport it is; the settings the user chose at the airport are what is saved.
TEST_F(ParkStandFile, LearningSurvivesTheNextVisitForEveryKindOfAirport) {
    struct Row {
        const char* file;
        const char* reference;
        const char* publisher;
        const char* learned;
    };
    const Row rows[] = {
        {"airports/my_thirdparty/EHAM.xml", "airports\\my_thirdparty\\EHAM.xml", "stock",
         "airports/learned/stock/EHAM.xml"},
        {"airports/my_thirdparty/EHAM.xml", "airports\\my_thirdparty\\EHAM.xml", "simaddon",
         "airports/learned/simaddon/EHAM.xml"},
        {"airports/my_ORBX/EHAM.xml", "airports\\my_ORBX\\EHAM.xml", "ORBX", "airports/learned/thirdparty/ORBX/EHAM.xml"},
        {"airports/my_thirdparty/EHAM.xml", "airports\\my_thirdparty\\EHAM.xml", "Some Vendor",
         "airports/learned/thirdparty/Some Vendor/EHAM.xml"},
        {"airports/my_thirdparty/EHAM.xml", "airports\\my_thirdparty\\EHAM.xml", "../..",
         "airports/learned/thirdparty/EHAM.xml"},
        // An archived vendor's file that names no publisher: its learning is
        // kept in the vendor's folder, where the next visit looks.
        {"airports/park_airport.xml", "archive/thirdparty/Some Vendor/EHAM.xml", "",
         "airports/learned/thirdparty/Some Vendor/EHAM.xml"},
    };
    for (const Row& row : rows) {
        fs::remove_all("airports");
        gf_resetSettings();
        writeFile(row.file, ehamStandFile(row.publisher));
        const bool archived = std::string(row.reference).rfind("archive", 0) == 0;
        if (archived) {
            gf_setPrefetchedStandFile(row.reference);  // fetched ahead: no download
        } else {
            ASSERT_EQ(gf_resolveAirportFile("EHAM"), row.reference);
        }

        ASSERT_EQ(visit(row.reference), "") << log();
        EXPECT_NE(log().find("learned does not exist"), std::string::npos);
        EXPECT_EQ(parking_percentage.value(), 50);  // the database's stands value 2
        // The engine learns a use of D7 and a smaller D8; the user picks 70 %.
        StandOption learnedUse;
        learnedUse.reg = "PH-EXA";
        learnedUse.airline = "KLM";
        learnedUse.type = "E75L";
        learnedUse.day = 5;
        learnedUse.halfHours = 1u << 20;
        learnedUse.index = 2;
        learnedUse.origin = 0;
        stand("D7").options.push_back(learnedUse);
        stand("D8").radius = 15.0 * kNmPerMetre;
        stand("D8").radius_change = true;
        parking_percentage.setValue(70);
        g_standFileUpdates = 2;
        gf_leaveParkAirport();
        EXPECT_TRUE(fs::exists(row.learned)) << row.publisher << "\n" << log();
        EXPECT_NE(log().find(fmt::format("'{}' saved with 2 updates", nativePath(row.learned))),
                  std::string::npos)
            << log();
        EXPECT_EQ(parking_percentage.value(), 30);  // restored
        EXPECT_FALSE(g_standsLoaded.load());

        if (archived) gf_setPrefetchedStandFile(row.reference);
        ASSERT_EQ(visit(row.reference), "");
        EXPECT_NE(log().find("Read from learned airport file"), std::string::npos);
        ASSERT_EQ(stand("D7").options.size(), 2u) << row.publisher;
        EXPECT_EQ(stand("D7").options[1].reg, "PH-EXA");
        EXPECT_EQ(stand("D7").options[1].origin, 0u);
        EXPECT_NEAR(stand("D8").radius * kMetresPerNm, 15.0, 1e-6);
        EXPECT_EQ(parking_percentage.value(), 70);
        gf_leaveParkAirport();
    }
}

TEST_F(ParkStandFile, ReadsTheFileNumbersNeighboursAndReportsBadFiles) {
    writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock", R"(<parameter name="Qf_real" value="44"/>
        <parameter name="Qf_soft" value="7"/>)"));
    ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
    EXPECT_EQ(g_parkAirportFile.quality, (QualityPair{44, 7}));
    EXPECT_EQ(g_parkAirportFile.RT_traffic_week, 12);
    EXPECT_EQ(g_airportAltitude_ft.get(), std::optional<double>(-11.0));
    EXPECT_TRUE(g_standsLoaded.load());
    EXPECT_EQ(stand("D7").number, 1u);
    EXPECT_EQ(stand("D7").adjacent, std::vector<std::uint32_t>{2});  // 30 m apart: 33 < 40
    EXPECT_EQ(stand("D8").adjacent, std::vector<std::uint32_t>{1});
    EXPECT_TRUE(stand("F4").adjacent.empty());
    EXPECT_NE(log().find("Airport file read from 'airports\\my_thirdparty\\EHAM.xml' for Amsterdam Schiphol"),
              std::string::npos);
    EXPECT_NE(log().find("quality factor          : 44/ 7"), std::string::npos) << log();

    // A file without quality factors does not keep the ones read before.
    writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock"));
    ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
    EXPECT_EQ(g_parkAirportFile.quality, (QualityPair{0, 0}));

    struct Row {
        const char* content;
        const char* error;
    };
    const Row rows[] = {
        // The file once, with what is wrong and where: what the user needs
        // to mend it.
        {"not xml", "airports\\my_thirdparty\\EHAM.xml: could not load file: No document element found at byte 6"},
        {"<root><parameters><parameter name=\"altitude\" value=\"1\"/>",
         "airports\\my_thirdparty\\EHAM.xml: could not load file: Start-end tags mismatch at byte 55"},
        {"<root><parameters/></root>", "airports\\my_thirdparty\\EHAM.xml: refused to load"},
    };
    for (const Row& row : rows) {
        writeFile("airports/my_thirdparty/EHAM.xml", row.content);
        EXPECT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), row.error);
    }
    writeFile("airports/my_thirdparty/EHAM.xml", "<root>" + standFileMeta() + "</root>");
    EXPECT_THROW(visit("airports\\my_thirdparty\\EHAM.xml"), ozr::UserErrorException);
    writeFile("airports/my_thirdparty/EHAM.xml",
              "<root>" + standFileMeta() + R"(<parameters><parameter name="altitude" value="1"/></parameters></root>)");
    EXPECT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "no stands found");
    EXPECT_EQ(visit(""), "gf_readApf: xml is empty");
    g_currentAirport.set(std::nullopt);
    EXPECT_EQ(gf_readApf("x.xml"), "gf_readApf: no park airport set");
}

TEST_F(ParkStandFile, TheLearnedOverlayMergesCorrectsAndAddsStands) {
    writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock"));
    struct Row {
        const char* name;
        const char* version;
        const char* stands;
        const char* parameters;
        std::function<void(ParkStandFile&)> check;
    };
    const Row rows[] = {
        {"a repeated use is not added, whatever its callsign; bad days are dropped", "11.10.5",
         R"(<parkpos id="D7"><opt reg="PH-BXA" airl="KLM" type="B738" day="3" hh="17:20" cs="OTHER"/>
            <opt reg="PH-BXB" airl="KLM" type="B738" day="3" hh="1"/>
            <opt reg="PH-BXC" airl="KLM" type="B738" day="9" hh="1"/>
            <opt reg="PH-BXD" airl="KLM" type="B738" day="-1" hh="1"/>
            <opt reg="PH-BXE" airl="KLM" type="B738" day="2" hh="x"/></parkpos>
            <parkpos id="NOPE"/>)",
         R"(<parameter name="parking_percentage" value="500"/><parameter name="MAX_FIT" value="99"/>)",
         [](ParkStandFile& t) {
             ASSERT_EQ(t.stand("D7").options.size(), 2u);
             EXPECT_EQ(t.stand("D7").options[1].reg, "PH-BXB");
             EXPECT_EQ(t.stand("D7").options[1].index, 2u);
             EXPECT_EQ(parking_percentage.value(), 100);
             EXPECT_EQ(MAX_FIT.value(), 47);
             EXPECT_NE(t.log().find("==> empty bit set"), std::string::npos);
             EXPECT_NE(t.log().find(nativePath("learned stand NOPE in airports/learned/stock/EHAM.xml not found?")),
                       std::string::npos);
         }},
        {"a use differing in one of day, kind, registration, airline, type or hours is another use", "11.10.5",
         R"(<parkpos id="D7"><opt reg="PH-BXA" airl="KLM" type="B738" day="4" hh="14:17"/>
            <opt reg="PH-BXA" airl="KLM" type="B738" day="3" hh="14:17" soft="true"/>
            <opt reg="PH-BXZ" airl="KLM" type="B738" day="3" hh="14:17"/>
            <opt reg="PH-BXA" airl="KLX" type="B738" day="3" hh="14:17"/>
            <opt reg="PH-BXA" airl="KLM" type="B739" day="3" hh="14:17"/>
            <opt reg="PH-BXA" airl="KLM" type="B738" day="3" hh="18:20"/>
            <opt reg="PH-BXA" airl="KLM" type="B738" day="4" hh="17" cs="LATER"/>
            <opt reg="PH-BXA" airl="KLM" type="B738" day="3" hh="20:22"/></parkpos>)",
         "",
         [](ParkStandFile& t) {
             const auto& options = t.stand("D7").options;
             ASSERT_EQ(options.size(), 7u);
             EXPECT_EQ(options[6].halfHours, gf_hours2bitset("18:20"));
             EXPECT_EQ(options[6].index, 7u);
         }},
        {"an older file keeps corrections and manual stands, not its uses", "11.9.9",
         R"(<parkpos id="D7" radius_change="true" radius="25.0" cargo_change="true" cargo="true">
              <opt reg="PH-BXB" airl="KLM" type="B738" day="3" hh="1"/></parkpos>
            <parkpos id="M1" latitude="52.3" longitude="4.75" radius="30" manual="true">
              <opt reg="PH-BXB" airl="KLM" type="B738" day="3" hh="1"/></parkpos>
            <parkpos id="D8" latitude="52.3" longitude="4.75" radius="30" manual="true"/>
            <parkpos id="M2" latitude="0.00001" longitude="0" radius="30" manual="true"/>
            <parkpos id="M3" latitude="52.3" longitude="4.75" manual="true"/>)",
         "",
         [](ParkStandFile& t) {
             EXPECT_EQ(t.stand("D7").options.size(), 1u);
             EXPECT_NEAR(t.stand("D7").radius * kMetresPerNm, 25.0, 1e-9);
             EXPECT_TRUE(t.stand("D7").cargo && t.stand("D7").cargo_change && t.stand("D7").radius_change);
             EXPECT_TRUE(t.stand("M1").manual);
             EXPECT_EQ(t.stand("M1").options.at(0).origin, 0u);
             EXPECT_EQ(g_standList.size(), 4u);
             const std::string text = t.log();
             EXPECT_NE(text.find("older GLIM version than 11.10.0"), std::string::npos);
             EXPECT_NE(text.find("==> manually created standid D8 already exists in"), std::string::npos);
             EXPECT_NE(text.find("==> manually created standid M2 misses correct attributes in"), std::string::npos);
             EXPECT_NE(text.find("==> manually created standid M3 misses correct attributes in"), std::string::npos);
             // The user's entries that were not taken are not saved away.
             EXPECT_TRUE(g_parkAirportFile.learnedNotWhole);
             EXPECT_NE(text.find("EHAM.xml: manually created stand 'D8' has the id of another stand, and 2 more in "
                                 "Log.txt (the file is left unchanged)"),
                       std::string::npos)
                 << text;
         }},
        {"a hand-made file replaces the stand file", "11.10.5",
         R"(<parkpos id="H1" latitude="52.3" longitude="4.75" radius="30"/>)",
         R"(<parameter name="handmade" value="true"/>)",
         [](ParkStandFile& t) {
             EXPECT_EQ(g_standList.size(), 1u);
             EXPECT_TRUE(g_parkAirportFile.handmade);
             EXPECT_NE(t.log().find(nativePath("Airport file read from 'airports/learned/stock/EHAM.xml' for")), std::string::npos);
             EXPECT_NE(t.log().find("A handmade airport file overruled the archived file!"), std::string::npos);
         }},
        {"a hand-made file with bad entries keeps its other stands and is never written back", "11.10.5",
         R"(<parkpos id="H1" latitude="52.3" longitude="4.75" radius="30"/>
            <parkpos id="H2" latitude="52.3" longitude="4.76" radius="30"/>
            <parkpos id=" H1" latitude="52.3" longitude="4.77" radius="30"/>
            <parkpos id="" latitude="52.3" longitude="4.78" radius="30"/>
            <parkpos id="H3" latitude="52.3" longitude="4.79" radius="30"/>)",
         R"(<parameter name="handmade" value="true"/>)",
         [](ParkStandFile& t) {
             EXPECT_EQ(g_standList.size(), 3u);
             const std::string text = t.log();
             EXPECT_NE(text.find("Parking position 'H1' appears more than once."), std::string::npos) << text;
             EXPECT_NE(text.find("Parking position #4 has empty 'id' attribute."), std::string::npos) << text;
             const std::string before = t.readFile("airports/learned/stock/EHAM.xml");
             g_standFileUpdates = 2;
             gf_leaveParkAirport();
             EXPECT_EQ(t.readFile("airports/learned/stock/EHAM.xml"), before);
             EXPECT_NE(t.log().find("not saved: it did not read whole"), std::string::npos);
         }},
    };
    for (const Row& row : rows) {
        gf_resetSettings();
        writeFile("airports/learned/stock/EHAM.xml",
                  std::string("<root>") + standFileMeta(row.version) +
                      R"(<parameters><parameter name="airport_name" value="Amsterdam Schiphol"/>)" + row.parameters +
                      "</parameters><parkpositions>" + row.stands + "</parkpositions></root>");
        ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "") << row.name;
        SCOPED_TRACE(row.name);
        row.check(*this);
    }

    // A learned file that is no XML is kept as a generation and ignored.
    writeFile("airports/learned/stock/EHAM.xml", "<root");
    ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
    EXPECT_TRUE(fs::exists("airports/learned/stock/EHAM0.xml"));
    EXPECT_EQ(g_standList.size(), 3u);
}

TEST_F(ParkStandFile, TheLearnedWriterKeepsOnlyWhatWasLearned) {
    writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock"));
    ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
    // D7 only has its stand-file use: neither written nor kept in the list.
    stand("F4").manual = true;
    g_standFileUpdates = 1;
    gf_saveLearned();
    EXPECT_TRUE(stand("D7").options.empty());
    const std::string text = readFile("airports/learned/stock/EHAM.xml");
    EXPECT_EQ(text.find("id=\"D7\""), std::string::npos) << text;
    EXPECT_NE(text.find("id=\"F4\" latitude="), std::string::npos) << text;
    EXPECT_NE(log().find("saved with 1 update\n"), std::string::npos) << log();
    EXPECT_EQ(g_standFileUpdates.load(), 0);

    // A hand-made airport writes every stand with every use and its factors.
    fs::remove("airports/learned/stock/EHAM.xml");
    writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock"));
    ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
    g_parkAirportFile.handmade = true;
    gf_saveLearned();
    const std::string handmade = readFile("airports/learned/stock/EHAM.xml");
    EXPECT_NE(handmade.find("id=\"D7\" latitude="), std::string::npos);
    EXPECT_NE(handmade.find("reg=\"PH-BXA\""), std::string::npos);
    EXPECT_NE(handmade.find("name=\"Qf_real\" value=\"21\""), std::string::npos) << handmade;
    EXPECT_NE(log().find(nativePath(" handmade 'airports/learned/stock/EHAM.xml' saved with 0 updates")), std::string::npos);

    EXPECT_EQ(lf_timeOfDay("Mon Dec 07 09:02:28 2026"), "09:02:28");
    EXPECT_EQ(lf_timeOfDay("Invalid time"), "Invalid time");
}

// A learned or hand-made file is the user's: an entry the program cannot use
// is left unused and named on the status line, and the close leaves the file
// byte for byte as it was. A file that reads whole is written back.
TEST_F(ParkStandFile, AUsersFileKeepsEveryEntryItCannotUse) {
    const std::string handmade = R"(<parameter name="airport_name" value="Amsterdam Schiphol"/>
        <parameter name="handmade" value="true"/>)";
    const std::string learned = R"(<parameter name="airport_name" value="Amsterdam Schiphol"/>)";
    const std::string h1 = R"(<parkpos id="H1" latitude="52.3" longitude="4.75" radius="30"/>)";
    const std::string h3 = R"(<parkpos id="H3" latitude="52.3" longitude="4.79" radius="30"/>)";
    struct Row {
        const char* name;
        std::string meta, parameters, stands;
        const char* inUse;   // the stand ids in use, in list order
        const char* status;  // "" for a file that reads whole
    };
    const Row rows[] = {
        {"a hand-made file that reads whole is written back", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="52.3" longitude="4.76" radius="30">
                   <opt reg="PH-BXA" airl="KLM" type="B738" day="3" hh="14:17"/></parkpos>)" + h3,
         "H1 H2 H3", ""},
        {"hand-made stand too large", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="52.3" longitude="4.76" radius="250"/>)" + h3, "H1 H3",
         "Parking position 'H2': radius \"250\" is outside 0 to under 200 m; the stand is not used."},
        {"hand-made stand at latitude nan", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="nan" longitude="4.76" radius="30"/>)" + h3, "H1 H3",
         "Parking position 'H2': latitude \"nan\" is not a number; the stand is not used."},
        {"hand-made latitude with a decimal comma", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="52,31000000" longitude="4.76" radius="30"/>)" + h3, "H1 H3",
         "Parking position 'H2': latitude \"52,31000000\" is not a number; the stand is not used."},
        {"hand-made Latitude with a capital L", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" Latitude="52.31" longitude="4.76" radius="30"/>)" + h3, "H1 H3",
         "Parking position 'H2': 'Latitude' should be 'latitude'; the stand is not used."},
        {"hand-made radius with a decimal comma", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="52.3" longitude="4.76" radius="25,5"/>)" + h3, "H1 H3",
         "Parking position 'H2': radius \"25,5\" is not a number; the stand is not used."},
        {"hand-made latitude with trailing text", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="52.3x" longitude="4.76" radius="30"/>)" + h3, "H1 H3",
         "Parking position 'H2': latitude \"52.3x\" is not a number"},
        {"hand-made empty longitude", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="52.3" longitude="" radius="30"/>)" + h3, "H1 H3",
         "Parking position 'H2': longitude \"\" is not a number"},
        {"hand-made longitude missing", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="52.3" radius="30"/>)" + h3, "H1 H3",
         "Parking position 'H2': longitude is missing; the stand is not used."},
        {"hand-made radius with a huge exponent", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="52.3" longitude="4.76" radius="1e999"/>)" + h3, "H1 H3",
         "Parking position 'H2': radius \"1e999\" is not a number"},
        {"hand-made heading inf", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="52.3" longitude="4.76" heading="inf" radius="30"/>)" + h3, "H1 H3",
         "Parking position 'H2': heading \"inf\" is not a number"},
        {"hand-made latitude out of range", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="-91" longitude="4.76" radius="30"/>)" + h3, "H1 H3",
         "Parking position 'H2': latitude \"-91\" is outside -90..90"},
        {"hand-made use on day 3x", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="52.3" longitude="4.76" radius="30">
                   <opt reg="PH-BXA" airl="KLM" type="B738" day="3x" hh="14:17"/></parkpos>)",
         "H1 H2", "Parking position 'H2': a use without hours or a day 1..7 is not used."},
        {"hand-made stand without a position", standFileMeta(), handmade, h1 + R"(<parkpos id="H2" radius="30"/>)" + h3,
         "H1 H3", "Parking position 'H2' has no position and is not used."},
        {"hand-made use without a day", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="52.3" longitude="4.76" radius="30">
                   <opt reg="PH-BXA" airl="KLM" type="B738" hh="14:17"/></parkpos>)",
         "H1 H2", "Parking position 'H2': a use without hours or a day 1..7 is not used."},
        {"hand-made use whose hours have a gap", standFileMeta(), handmade,
         h1 + R"(<parkpos id="H2" latitude="52.3" longitude="4.76" radius="30">
                   <opt reg="PH-BXA" airl="KLM" type="B738" day="2" hh="3,7"/></parkpos>)",
         "H1 H2", "Parking position 'H2': the use with hours \"3,7\" cannot be written back."},
        {"hand-made file without a copyright value", R"(<meta><info name="copyright" value=""/></meta>)", handmade,
         h1 + h3, "D7 D8 F4", "its header is not accepted, nothing of it is used"},
        {"hand-made file without a header", "", handmade, h1 + h3, "D7 D8 F4",
         "its header is not accepted, nothing of it is used"},
        {"manual stand too large", standFileMeta(), learned,
         R"(<parkpos id="M1" latitude="52.3" longitude="4.76" radius="250" manual="true"/>
            <parkpos id="M2" latitude="52.3" longitude="4.77" radius="30" manual="true"/>)",
         "D7 D8 F4 M2", "Parking position 'M1': radius \"250\" is outside 0 to under 200 m; the stand is not used."},
        {"manual stand latitude with a decimal comma", standFileMeta(), learned,
         R"(<parkpos id="M1" latitude="52,3" longitude="4.76" radius="30" manual="true"/>)", "D7 D8 F4",
         "Parking position 'M1': latitude \"52,3\" is not a number; the stand is not used."},
        {"manual stand Latitude with a capital L", standFileMeta(), learned,
         R"(<parkpos id="M1" Latitude="52.3" longitude="4.76" radius="30" manual="true"/>)", "D7 D8 F4",
         "Parking position 'M1': 'Latitude' should be 'latitude'; the stand is not used."},
        {"learned radius with a decimal comma", standFileMeta(), learned,
         R"(<parkpos id="D8" radius_change="true" radius="25,5"/>)", "D7 D8 F4",
         "Parking position 'D8': the learned radius \"25,5\" is not used."},
        {"learned Radius_change with a capital R", standFileMeta(), learned,
         R"(<parkpos id="D8" Radius_change="true" radius="25"/>)", "D7 D8 F4",
         "Parking position 'D8': the learned entry is not used, 'Radius_change' should be 'radius_change'."},
        {"learned use on day 3x", standFileMeta(), learned,
         R"(<parkpos id="D8"><opt reg="X" airl="KLM" type="B738" day="3x" hh="3"/></parkpos>)", "D7 D8 F4",
         "Parking position 'D8': a learned use on day \"3x\" is not used."},
        {"learned range with a decimal comma", standFileMeta(), learned + R"(<parameter name="RANGE" value="25,5"/>)", "",
         "D7 D8 F4", "the setting RANGE \"25,5\" is not a whole number and is not used"},
        {"hand-made parking percentage with a sign after it", standFileMeta(),
         handmade + R"(<parameter name="parking_percentage" value="50%"/>)", h1, "H1",
         "the setting parking_percentage \"50%\" is not a whole number and is not used"},
        {"learned use with Day", standFileMeta(), learned,
         R"(<parkpos id="D8"><opt reg="X" airl="KLM" type="B738" Day="3" hh="3"/></parkpos>)", "D7 D8 F4",
         "Parking position 'D8': a learned use is not used, 'Day' should be 'day'."},
        {"manual stand repeated", standFileMeta(), learned,
         R"(<parkpos id="M1" latitude="52.3" longitude="4.76" radius="30" manual="true"/>
            <parkpos id="M1" latitude="52.3" longitude="4.77" radius="30" manual="true"/>)",
         "D7 D8 F4 M1", "manually created stand 'M1' has the id of another stand"},
        {"manual stand with the id of a stand of the stand file", standFileMeta(), learned,
         R"(<parkpos id="D8" latitude="52.3" longitude="4.77" radius="30" manual="true"/>)", "D7 D8 F4",
         "manually created stand 'D8' has the id of another stand"},
        {"manual stand without a radius", standFileMeta(), learned,
         R"(<parkpos id="M1" latitude="52.3" longitude="4.77" manual="true"/>)", "D7 D8 F4",
         "manually created stand 'M1' misses correct attributes"},
        {"manual stand with a use without a day", standFileMeta(), learned,
         R"(<parkpos id="M1" latitude="52.3" longitude="4.77" radius="30" manual="true"><opt reg="X" hh="3"/>
            </parkpos>)",
         "D7 D8 F4 M1", "Parking position 'M1': a use without hours or a day 1..7 is not used."},
        {"learned radius nan", standFileMeta(), learned, R"(<parkpos id="D8" radius_change="true" radius="nan"/>)",
         "D7 D8 F4", "Parking position 'D8': the learned radius \"nan\" is not used."},
        {"learned radius below 0", standFileMeta(), learned, R"(<parkpos id="D8" radius_change="true" radius="-5"/>)",
         "D7 D8 F4", "Parking position 'D8': the learned radius \"-5\" is not used."},
        {"learned radius 1e300", standFileMeta(), learned, R"(<parkpos id="D8" radius_change="true" radius="1e300"/>)",
         "D7 D8 F4", "Parking position 'D8': the learned radius \"1e300\" is not used."},
        {"learned use without hours", standFileMeta(), learned,
         R"(<parkpos id="D8"><opt reg="X" airl="KLM" type="B738" day="3" hh=""/></parkpos>)", "D7 D8 F4",
         "Parking position 'D8': a learned use without hours is not used."},
        {"learned use on day 9", standFileMeta(), learned,
         R"(<parkpos id="D8"><opt reg="X" airl="KLM" type="B738" day="9" hh="3"/></parkpos>)", "D7 D8 F4",
         "Parking position 'D8': a learned use on day \"9\" is not used."},
        {"learned use whose hours have a gap", standFileMeta(), learned,
         R"(<parkpos id="D8"><opt reg="X" airl="KLM" type="B738" day="3" hh="3,7"/></parkpos>)", "D7 D8 F4",
         "Parking position 'D8': the learned use with hours \"3,7\" is not used."},
    };
    const fs::path path = "airports/learned/stock/EHAM.xml";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        gf_resetStatusLine();
        writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock"));
        const std::string before = "<root>" + row.meta + "<parameters>" + row.parameters +
                                   "</parameters><parkpositions>" + row.stands + "</parkpositions></root>";
        writeFile(path, before);
        ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
        std::string inUse;
        for (const Stand& s : g_standList) inUse += (inUse.empty() ? "" : " ") + s.id;
        EXPECT_EQ(inUse, row.inUse);
        const std::string status = gf_statusLineSnapshot().airportNotice;
        if (*row.status == '\0') {
            EXPECT_EQ(status, "");
            // The engine learns a use of H1; the file written is read back
            // with every stand and use it had, and the new use.
            const std::vector<std::string> read = entriesInUse();
            stand("H1").options.push_back(learnedUse("PH-EXA", 5, 20));
            g_standFileUpdates = 1;
            gf_leaveParkAirport();
            EXPECT_NE(readFile(path), before);
            EXPECT_NE(log().find(nativePath(" handmade 'airports/learned/stock/EHAM.xml' saved with 1 update\n")),
                      std::string::npos);
            ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
            std::vector<std::string> expected = read;
            expected.push_back("H1 use PH-EXA KLM E75L 20 day 5 real 1 cs : cpl 0");
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(entriesInUse(), expected);
            gf_leaveParkAirport();
            continue;
        }
        g_standFileUpdates = 1;
        gf_leaveParkAirport();
        EXPECT_EQ(status.rfind(nativePath(path.string()) + ": " + row.status, 0), 0u) << status;
        EXPECT_NE(status.find("(the file is left unchanged)"), std::string::npos) << status;
        EXPECT_NE(log().find(status), std::string::npos);
        EXPECT_EQ(readFile(path), before);
        EXPECT_NE(log().find(nativePath("'airports/learned/stock/EHAM.xml' not saved: it did not read whole")),
                  std::string::npos);
        // The next visit of a whole file writes again.
        fs::remove(path);
        ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
        gf_leaveParkAirport();
        EXPECT_TRUE(fs::exists(path));
    }
}

std::pair<std::string, std::string> differingPart(std::string_view was, std::string_view now);
std::size_t occurrences(std::string_view text, std::string_view part);

// UTF-16 little-endian with its mark, as Windows editors save "Unicode".
std::string utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (const char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

// UTF-16 big-endian with its mark.
std::string utf16be(const std::string& ascii) {
    std::string out = "\xFE\xFF";
    for (const char c : ascii) {
        out.push_back('\0');
        out.push_back(c);
    }
    return out;
}

// The ASCII text of an ASCII text in UTF-16, marked or not; any other text as it is.
std::string narrowed(const std::string& text) {
    std::size_t from = 0;
    if (text.starts_with("\xFF\xFE")) {
        from = 2;
    } else if (text.starts_with("\xFE\xFF")) {
        from = 3;
    } else if (text.size() >= 2 && (text[0] == '\0') != (text[1] == '\0')) {
        from = text[0] == '\0' ? 1 : 0;
    } else {
        return text;
    }
    std::string out;
    for (std::size_t i = from; i < text.size(); i += 2) out.push_back(text[i]);
    return out;
}

std::string handmadeFile(const std::string& stands, const std::string& root = "parkpositions") {
    return "<root>" + standFileMeta() + R"(<parameters><parameter name="airport_name" value="Schiphol by hand"/>
        <parameter name="handmade" value="true"/><parameter name="altitude" value="-12"/></parameters>)" + "<" +
           root + ">" + stands + "</" + root + "></root>";
}

const std::string kHandmadeStands =
    R"(<parkpos id="H1" latitude="52.3" longitude="4.75" heading="12.34" radius="30"/>
       <parkpos id="H2" latitude="52.3" longitude="4.76" radius="30" cargo="true">
         <opt reg="PH-BXA" airl="KLM" type="B738" day="3" hh="14:17" cs=":KLM12A"/></parkpos>
       <parkpos id="H3" latitude="52.3" longitude="4.77" radius="20" heli="true"/>)";

// The user's files as they are found: every slip a review met, the ways an
// editor saves a file, and the program's own form. After a read and a close
// every entry read is in the file, byte for byte where nothing changed; the
// first rewrite of a hand-made file keeps the original beside it, and what
// is written is UTF-8.
TEST_F(ParkStandFile, EveryWriteKeepsEveryEntryTheUsersFileHeld) {
    enum class After { unchanged, refused, written };
    struct Row {
        const char* name;
        std::string file;
        bool learn;          // the engine learns a use at the airport
        After after;
        const char* inUse;   // the stand ids in use, in list order
        const char* closing; // a part of the status line after the close ("" for none)
    };
    const std::string learnedHead = "<root>" + standFileMeta() +
                                    R"(<parameters><parameter name="airport_name" value="Amsterdam Schiphol"/>)"
                                    "</parameters><parkpositions>";
    const std::string learnedUses = R"(<parkpos id="D7"><opt reg="PH-EXB" airl="KLM" type="E75L" day="2" hh="7:9"/>
        </parkpos><parkpos id="D8" radius_change="true" radius="15.0"/>)";
    const std::string comments = R"(<!-- stands by hand --><parkpos id="H1" latitude="52.3" longitude="4.75" radius="30"/>
        <!-- <parkpos id="H9" latitude="52.3" longitude="4.79" radius="30"/> -->
        <parkpos id="H2" latitude="52.3" longitude="4.76" radius="30" painted="yes"><remark>gate</remark></parkpos>)";
    std::string longLine = handmadeFile(kHandmadeStands);
    longLine.erase(std::remove(longLine.begin(), longLine.end(), '\n'), longLine.end());
    longLine.insert(longLine.find("<parkpos id=\"H3\"") + 9, "note=\"" + std::string(20000, 'x') + "\" ");
    std::string crlf = handmadeFile(kHandmadeStands);
    for (std::size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2)) crlf.insert(at, "\r");
    std::string tabs = handmadeFile(kHandmadeStands);
    std::replace(tabs.begin(), tabs.end(), ' ', '\t');  // between attributes too
    tabs.replace(0, 0, "\n\n\t\n");
    const std::string cp1252 = "<root>" + standFileMeta() +
                               "<parameters><parameter name=\"airport_name\" value=\"Z\xFCrich by hand\"/>"
                               "<parameter name=\"handmade\" value=\"true\"/><parameter name=\"altitude\" "
                               "value=\"-12\"/></parameters><parkpositions><parkpos id=\"A\xE4\x31\" "
                               "latitude=\"52.3\" longitude=\"4.75\" radius=\"30\"/>"
                               "<parkpos id=\"H1\" latitude=\"52.3\" longitude=\"4.76\" radius=\"30\"/>"
                               "</parkpositions></root>";
    const Row rows[] = {
        {"hand-made stands under a misspelled parkposition", handmadeFile(kHandmadeStands, "parkposition"), true,
         After::refused, "", "no stand of it can be read"},
        {"hand-made stands misspelled parkposition", handmadeFile(R"(<parkposition id="H1" latitude="52.3"
            longitude="4.75" radius="30"/><parkposition id="H2" latitude="52.3" longitude="4.76" radius="30"/>)"),
         true, After::refused, "", "no stand of it can be read"},
        {"hand-made file with one stand misspelled parkpo", handmadeFile(kHandmadeStands + R"(
            <parkpo id="H4" latitude="52.3" longitude="4.78" radius="30"/>)"),
         true, After::refused, "H1 H2 H3", "1 element <parkpo> inside parkpositions is not a stand"},
        {"learned uses under a misspelled parkposition", "<root>" + standFileMeta() + R"(<parameters>
            <parameter name="airport_name" value="Amsterdam Schiphol"/></parameters><parkposition>)" + learnedUses +
             "</parkposition></root>",
         true, After::refused, "D7 D8 F4", "the element <parkposition> is not read"},
        {"hand-made header only", "<root>" + standFileMeta() + R"(<parameters><parameter name="handmade" value="1"/>
            </parameters></root>)",
         false, After::refused, "", "no stand of it can be read"},
        {"empty learned file", "", true, After::refused, "D7 D8 F4",
         "is left as it was: it did not read whole: it is empty"},
        {"learned file of a byte-order mark only", "\xEF\xBB\xBF\r\n", true, After::refused, "D7 D8 F4",
         "is left as it was: it did not read whole: it is empty"},
        {"learned file cut short", learnedHead + "<parkpos id=\"D7\"><opt reg=\"PH-E", true, After::refused,
         "D7 D8 F4", "is left as it was: it did not read whole: line "},
        {"hand-made file read whole, nothing learned", handmadeFile(kHandmadeStands), false, After::unchanged,
         "H1 H2 H3", ""},
        {"hand-made file with CRLF", crlf, false, After::unchanged, "H1 H2 H3", ""},
        {"hand-made file with a byte-order mark", "\xEF\xBB\xBF" + handmadeFile(kHandmadeStands), false,
         After::unchanged, "H1 H2 H3", ""},
        {"hand-made file in UTF-16", utf16le(handmadeFile(kHandmadeStands)), false, After::unchanged, "H1 H2 H3", ""},
        {"hand-made file with tabs and blank lines", tabs, false, After::unchanged, "H1 H2 H3", ""},
        {"hand-made file with comments and unknown attributes", handmadeFile(comments), false, After::unchanged,
         "H1 H2", ""},
        {"hand-made file in UTF-16, learning", utf16le(handmadeFile(kHandmadeStands)), true, After::written,
         "H1 H2 H3", "EHAM.original.xml"},
        {"hand-made file on one long line, learning", longLine, true, After::written, "H1 H2 H3",
         "EHAM.original.xml"},
        {"hand-made file with comments and unknown attributes, learning", handmadeFile(comments), true,
         After::written, "H1 H2", "EHAM.original.xml"},
        {"hand-made file in Windows-1252, learning", cp1252, true, After::written, "A\xC3\xA4\x31 H1",
         "EHAM.original.xml"},
        {"learned file read whole, nothing learned", learnedHead + learnedUses + "</parkpositions></root>", false,
         After::unchanged, "D7 D8 F4", ""},
        {"learned file read whole, learning", learnedHead + learnedUses + "</parkpositions></root>", true,
         After::written, "D7 D8 F4", ""},
        {"learned entries the stand file does not know", learnedHead + learnedUses +
             R"(<parkpos id="B12"><opt reg="PH-EXC" airl="KLM" type="E75L" day="2" hh="7"/></parkpos>
                <parkpos id="D8 "><opt reg="PH-EXD" airl="KLM" type="E75L" day="2" hh="7"/></parkpos>
                <parkpos id="M7" manual="off" latitude="52.3" longitude="4.79" radius="30"/></parkpositions></root>)",
         true, After::written, "D7 D8 F4", ""},
    };
    const fs::path path = "airports/learned/stock/EHAM.xml";
    const fs::path original = "airports/learned/stock/EHAM.original.xml";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all("airports");
        gf_forgetUnsavedUses();
        gf_resetStatusLine();
        gf_resetSettings();
        writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock"));
        writeFile(path, row.file);
        const std::string readError = visit("airports\\my_thirdparty\\EHAM.xml");
        std::string inUse;
        for (const Stand& s : g_standList) inUse += (inUse.empty() ? "" : " ") + s.id;
        EXPECT_EQ(inUse, row.inUse);
        std::vector<std::string> read = entriesInUse();
        if (row.learn && !g_standList.empty()) {
            g_standList.front().options.push_back(learnedUse("PH-EXA", 5, 20));
            read = entriesInUse();
        }
        g_standFileUpdates = row.learn ? 1 : 0;
        if (readError.empty()) {
            gf_leaveParkAirport();
        } else {
            // The traffic leaves an airport whose file gave no stand at once.
            EXPECT_NE(readError.find(nativePath(path.string())), std::string::npos) << readError;
            gf_setStatusLine(readError, true);
            gf_leaveParkAirport();
        }
        const std::string status = gf_statusLineSnapshot().statusText;
        const std::string after = readFile(path);
        if (row.after != After::written) {
            EXPECT_EQ(after, row.file);
            EXPECT_FALSE(fs::exists(original));
        }
        if (row.after == After::unchanged) {
            EXPECT_NE(log().find("not saved: nothing in it changed"), std::string::npos);
        }
        if (row.after == After::refused) {
            EXPECT_NE(log().find(nativePath("'airports/learned/stock/EHAM.xml' not saved: it did not read whole")),
                      std::string::npos)
                << log();
            EXPECT_NE(status.find(nativePath("'airports/learned/stock/EHAM.xml' is left as it was")),
                      std::string::npos)
                << status;
        }
        if (*row.closing) {
            EXPECT_NE(status.find(row.closing), std::string::npos) << status;
        }
        if (row.after == After::refused && row.learn && *row.inUse) {
            // The file stays as it is: the next close adds to the side file
            // of this one, a use it holds already lengthened, not repeated.
            const fs::path side = "airports/learned/stock/EHAM.visit.xml";
            const std::string first = readFile(side);
            ASSERT_EQ(occurrences(first, "reg=\"PH-EXA\""), 1u) << first;
            ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
            g_standList.front().options.push_back(learnedUse("PH-EXA", 5, 21));
            g_standList.front().options.push_back(learnedUse("PH-EXC", 6, 20));
            g_standFileUpdates = 1;
            gf_leaveParkAirport();
            EXPECT_FALSE(fs::exists("airports/learned/stock/EHAM.visit2.xml"));
            const std::string second = readFile(side);
            EXPECT_EQ(occurrences(second, "reg=\"PH-EXA\""), 1u) << second;
            EXPECT_EQ(occurrences(second, "reg=\"PH-EXC\""), 1u) << second;
            EXPECT_NE(second.find(R"(reg="PH-EXA" airl="KLM" type="E75L" day="5" hh="20:21")"), std::string::npos)
                << second;
            // A side file the user broke stays as it is; the close starts another.
            writeFile(side, "<root><parkpositions>");
            ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
            g_standFileUpdates = 1;
            gf_leaveParkAirport();
            EXPECT_EQ(readFile(side), "<root><parkpositions>");
            EXPECT_NE(readFile("airports/learned/stock/EHAM.visit2.xml").find("reg=\"PH-EXC\""), std::string::npos);
        }
        if (row.after != After::written) continue;

        // In the file's own encoding, byte for byte the file read but the use learned.
        EXPECT_EQ(gf_detectCharsetOfText(after), gf_detectCharsetOfText(row.file));
        {
            const auto [removed, inserted] = differingPart(narrowed(row.file), narrowed(after));
            if (std::string(row.name).rfind("hand-made", 0) == 0) {
                EXPECT_NE(narrowed(after).find("value=\"-12\""), std::string::npos) << "the user's altitude";
            }
            EXPECT_TRUE(removed.empty() || removed == "/") << removed;
            EXPECT_EQ(occurrences(inserted, "reg="), 1u) << inserted;
            EXPECT_NE(inserted.find(R"(reg="PH-EXA")"), std::string::npos) << inserted;
        }
        const bool handmade = std::string(row.name).rfind("hand-made", 0) == 0;
        if (handmade) {
            EXPECT_EQ(readFile(original), row.file);
            EXPECT_NE(log().find("EHAM.original.xml"), std::string::npos);
        }
        // Read again: every entry read the first time, and the one learned.
        ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
        EXPECT_EQ(entriesInUse(), read);
        if (row.file.find("B12") != std::string::npos) {
            for (const char* kept : {R"(id="B12")", R"(id="D8 ")", R"(manual="off")", R"(reg="PH-EXD")"}) {
                EXPECT_NE(after.find(kept), std::string::npos) << kept << "\n" << after;
            }
            EXPECT_NE(log().find("(3 such entries kept in the file, not used)"), std::string::npos) << log();
        }
        // A second rewrite keeps the first original.
        g_standList.front().options.push_back(learnedUse("PH-EXZ", 6, 21));
        gf_leaveParkAirport();
        EXPECT_NE(readFile(path), after);
        if (handmade) {
            EXPECT_EQ(readFile(original), row.file);
        }
    }
}

// ---- The close writes into the user's file ----

// Where two texts differ: what the first holds there and what the second
// holds instead (their common start and end taken off).
std::pair<std::string, std::string> differingPart(std::string_view was, std::string_view now) {
    std::size_t head = 0;
    while (head < was.size() && head < now.size() && was[head] == now[head]) ++head;
    std::size_t tail = 0;
    while (tail < was.size() - head && tail < now.size() - head &&
           was[was.size() - 1 - tail] == now[now.size() - 1 - tail]) {
        ++tail;
    }
    return {std::string(was.substr(head, was.size() - head - tail)),
            std::string(now.substr(head, now.size() - head - tail))};
}

std::size_t occurrences(std::string_view text, std::string_view part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Every user-written file keeps every byte at a close but the use learned in
// the visit; the file on disk at the close is the one written into, and one
// the user deleted stays deleted.
TEST_F(ParkStandFile, ACloseWritesOnlyWhatWasLearnedIntoTheUsersFile) {
    enum class After { learnedUseOnly, untouched, deleted };
    struct Row {
        const char* name;
        std::string file;  // "" : there is no learned file at the read
        std::function<std::string(const fs::path&)> during = {};  // the user's edit; returns the new text
        After after = After::learnedUseOnly;
        bool sideFile = false;  // what was learned is kept beside the file
        bool reread = true;     // the next visit uses every entry read and the one learned
        // What the visit learned (nothing: the use PH-EXA at the first stand),
        // and what it replaces and puts in the file (nothing: a use added).
        std::function<void()> learn = {};
        const char* was = nullptr;
        const char* now = nullptr;
    };
    const auto learned = [](const std::string& stands, const std::string& version = "11.10.5") {
        return "<root>" + standFileMeta(version.c_str()) +
               "\n  <parameters><parameter name=\"airport_name\" value=\"Amsterdam Schiphol\"/></parameters>\n"
               "  <parkpositions>\n" + stands + "\n  </parkpositions>\n</root>\n";
    };
    const std::string uses = R"(    <parkpos id="D7">
      <opt reg="PH-EXB" airl="KLM" type="E75L" day="2" hh="7:9"/>
    </parkpos>
    <parkpos id="D8" radius_change="true" radius="15.0"/>)";
    const std::string handmadeStands = R"(
      <parkpos id=" H1 " latitude="52.30000001" longitude="4.75" heading="315.25" radius="22.75"/>
      <parkpos id="&apron;2" latitude="52.3" longitude="4.76" radius="30"/>)";
    std::string crlfBom = "\xEF\xBB\xBF" + handmadeFile(kHandmadeStands);
    for (std::size_t at = crlfBom.find('\n'); at != std::string::npos; at = crlfBom.find('\n', at + 2)) {
        crlfBom.insert(at, "\r");
    }
    std::string crlf = learned(R"(    <parkpos id="D7"/>)");
    for (std::size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2)) crlf.insert(at, "\r");
    std::string handmadeFalse = handmadeFile(kHandmadeStands);
    handmadeFalse.replace(handmadeFalse.find("value=\"true\""), 12, "value=\"false\"");
    const auto editTo = [](std::string text) {
        return [text](const fs::path& path) {
            std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
            return text;
        };
    };
    const std::string edited = learned(uses + R"(
    <parkpos id="M5" manual="true" latitude="52.3" longitude="4.79" radius="30">
      <opt reg="PH-EXM" airl="KLM" type="E75L" day="4" hh="10:11"/></parkpos>)");
    const Row rows[] = {
        {"stand entries with positions, radii, more stands and a comment",
         learned(R"(    <!-- measured on the apron -->
    <parkpos id="D7" latitude="52.30812345" longitude="4.760000" heading="315.25" radius="22.75">
      <opt reg="PH-EXB" airl="KLM" type="E75L" day="2" hh="7:9"/>
    </parkpos>
    <parkpos id="D9" latitude="52.3" longitude="4.761" radius="20"/><parkpos id="D10" radius="20"/>)")},
        {"uses under misspelled elements",
         learned(R"(    <parkpos id="D7"><Opt reg="PH-EXB" day="2" hh="7:9"/><option reg="PH-EXC" day="2" hh="7"/></parkpos>)")},
        {"stands under a second parkpositions and a second root",
         learned(uses) + "<root><parkpositions><parkpos id=\"F4\"><opt reg=\"PH-EXD\" day=\"2\" hh=\"7\"/>"
                         "</parkpos></parkpositions></root>"},
        {"an attribute the program does not know",
         learned(R"(    <parkpos id="D7" note="by the tower"><opt reg="PH-EXB" airl="KLM" type="E75L" day="2" hh="7:9" note="x"/></parkpos>)")},
        {"overlapping uses of one aircraft",
         learned(R"(    <parkpos id="D7">
      <opt reg="PH-EXB" airl="KLM" type="E75L" day="2" hh="7:9"/>
      <opt reg="PH-EXB" airl="KLM" type="E75L" day="2" hh="8:10"/>
    </parkpos>)")},
        {"two entries of one stand with different radii",
         learned(R"(    <parkpos id="D7" radius_change="true" radius="22.75"/>
    <parkpos id="D7" radius_change="true" radius="25.5"><opt reg="PH-EXB" airl="KLM" type="E75L" day="2" hh="7:9"/></parkpos>)")},
        {"uses in a file with an older header", learned(uses, "11.9.0"), {}, After::learnedUseOnly, false, false},
        {"a stand entry without children", learned(R"(    <parkpos id="D7"/>)")},
        {"single quotes, blanks around '=', tabs, an entry opened and closed",
         learned("\t<parkpos\n\t\tid = 'D7'\tnote='a &amp; b'\n\t></parkpos>\n\t<?note by hand?><![CDATA[<parkpos id=\"X\"/>]]>")},
        {"a file without an entry for the stand", learned(R"(    <parkpos id="D8" radius_change="true" radius="15.25"/>)")},
        {"a file with a document type and no parkpositions",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE root [<!-- the user's --><!ENTITY apron \"A\">]>\n<root>" + standFileMeta() +
             "<parameters><parameter name=\"airport_name\" value=\"&apron; Schiphol\"/></parameters></root>"},
        {"hand-made: blanks around ids, eight decimals, an entity in an id", handmadeFile(handmadeStands)},
        {"hand-made with handmade=\"false\"", handmadeFalse},
        {"hand-made with a byte-order mark and CRLF", crlfBom},
        {"a stand entry without children, CRLF", crlf},
        // Files as users write them in other editors.
        {"UTF-16 with its mark", utf16le(learned(uses))},
        {"UTF-16 big-endian with its mark", utf16be(learned(uses))},
        {"UTF-16 without a mark", utf16le(learned(uses)).substr(2)},
        {"Windows-1252 declared ISO-8859-1",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" + learned("    <!-- caf\xE9 -->\n" + uses)},
        {"Windows-1252, a stand with a letter beyond ASCII made at the visit",
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n" + learned("    <!-- Z\xFCrich -->\n" + uses), {},
         After::learnedUseOnly, false, true,
         [] {
             g_standList.emplace_back("S\xC3\xBC" "d 9", std::vector<StandOption>{}, StandPlace{52.312, 4.78, 0.0}, 20.0,
                                      false, false, false);
             g_standList.back().manual = true;
         },
         "", "  <parkpos id=\"S&#252;d 9\" latitude=\"52.312000\" longitude=\"4.780000\" heading=\"0.0\" radius=\"20.0\" "
             "cargo=\"false\" ramp=\"false\" manual=\"true\"/>\n  "},
        {"upper-case element names", learned(R"(    <PARKPOS id="D7"><OPT reg="PH-EXB" day="2" hh="7:9"/></PARKPOS>)"), {},
         After::untouched, true, false},
        {"radius_change=\" true\", a radius corrected again",
         learned(R"(    <parkpos id="D8" radius_change=" true" radius="15.0"/>)"), {}, After::learnedUseOnly, false,
         true, [this] { stand("D8").radius = 22.0 * kNmPerMetre; }, "15", "22"},
        {"soft=\" true\", the use lengthened",
         learned(R"(    <parkpos id="D7"><opt reg="PH-EXB" airl="KLM" type="E75L" day="2" hh="7:9" soft=" true"/></parkpos>)"),
         {}, After::learnedUseOnly, false, true,
         [this] { stand("D7").options[1].halfHours |= std::uint64_t{1} << 10; }, "9", "10"},
        // The user's changes during the visit.
        {"a stand and a use added during the visit", learned(uses), editTo(edited)},
        {"a use changed in place during the visit, same size and time", learned(uses),
         [](const fs::path& path) {
             const auto time = fs::last_write_time(path);
             std::string text = readFile(path);
             text.replace(text.find("hh=\"7:9\""), 8, "hh=\"7:8\"");
             std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
             fs::last_write_time(path, time);
             return text;
         }},
        {"a file made during the visit", "", editTo(edited)},
        {"deleted during the visit", learned(uses),
         [](const fs::path& path) {
             fs::remove(path);
             return std::string();
         },
         After::deleted, true, false},
        {"replaced during the visit by one the program cannot read", learned(uses), editTo("<root><parkpositions>"),
         After::untouched, true, false},
        {"a use the user took out during the visit, lengthened", learned(uses),
         editTo(learned(R"(    <parkpos id="D7"/>)")), After::learnedUseOnly, true, true,
         [this] {
             stand("D7").options[1].halfHours |= std::uint64_t{1} << 10;
             stand("D7").options.push_back(learnedUse("PH-EXA", 5, 20));
         }},
        {"the range followed the user's height", learned(uses), {}, After::learnedUseOnly, false, true,
         [this] {
             ASSERT_TRUE(AUTO_RANGE.value());
             RANGE.setValue(RANGE.value() == 40 ? 60 : 40);
             stand("D7").options.push_back(learnedUse("PH-EXA", 5, 20));
         }},
        // What else a visit learns: corrections and settings.
        {"a radius corrected", learned(uses), {}, After::learnedUseOnly, false, true,
         [this] {
             stand("D7").radius = 31.5 * kNmPerMetre;
             stand("D7").radius_change = true;
         },
         "", R"( radius_change="true" radius="31.5")"},
        {"a corrected radius corrected again", learned(uses), {}, After::learnedUseOnly, false, true,
         [this] { stand("D8").radius = 22.0 * kNmPerMetre; }, "15", "22"},
        {"a radius corrected at a stand with two entries", learned(R"(    <parkpos id="D7" radius_change="true" radius="22.75"/>
    <parkpos id="D7" radius_change="true" radius="25.5"/>)"),
         {}, After::learnedUseOnly, false, true, [this] { stand("D7").radius = 31.5 * kNmPerMetre; }, "25", "31"},
        {"a use lengthened", learned(uses), {}, After::learnedUseOnly, false, true,
         [this] { stand("D7").options[1].halfHours |= std::uint64_t{1} << 10; }, "9", "10"},
        {"a setting changed at the airport", learned(uses), {}, After::learnedUseOnly, false, true,
         [] { MAX_LIVE_SEL.setValue(123); }, "",
         nullptr},
    };
    const fs::path path = "airports/learned/stock/EHAM.xml";
    const fs::path side = "airports/learned/stock/EHAM.visit.xml";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all("airports");
        gf_forgetUnsavedUses();
        gf_resetStatusLine();
        gf_resetSettings();
        writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock"));
        fs::create_directories(path.parent_path());
        if (!row.file.empty()) writeFile(path, row.file);
        ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
        if (row.learn) {
            row.learn();
        } else {
            g_standList.front().options.push_back(learnedUse("PH-EXA", 5, 20));
        }
        std::vector<std::string> expected = entriesInUse();
        g_standFileUpdates = 1;
        const std::string written = row.during ? row.during(path) : row.file;
        const std::string before = narrowed(written);
        const std::size_t logBefore = log().size();
        gf_leaveParkAirport();
        const std::string closeLog = log().substr(logBefore);
        const std::string status = gf_statusLineSnapshot().statusText;
        EXPECT_EQ(fs::exists(side), row.sideFile) << status;
        if (row.sideFile) {
            EXPECT_NE(readFile(side).find(row.learn ? "reg=\"PH-EXB\"" : "reg=\"PH-EXA\""), std::string::npos);
            EXPECT_NE(status.find("EHAM.visit.xml"), std::string::npos) << status;
            EXPECT_NE(closeLog.find("EHAM.visit.xml"), std::string::npos);
            EXPECT_NE(gf_statusLineSnapshot().airportNotice.find("EHAM.visit.xml"), std::string::npos);
        }
        if (row.after == After::deleted) {
            EXPECT_FALSE(fs::exists(path));
            EXPECT_NE(status.find("stays deleted"), std::string::npos) << status;
            continue;
        }
        const std::string after = narrowed(readFile(path));
        EXPECT_EQ(gf_detectCharsetOfText(readFile(path)), gf_detectCharsetOfText(written)) << "the file's own encoding";
        if (row.after == After::untouched) {
            EXPECT_EQ(after, before);
            continue;
        }
        const auto [removed, inserted] = differingPart(before, after);
        if (row.was) {
            EXPECT_EQ(removed, row.was);
            if (row.now) {
                EXPECT_EQ(inserted, row.now);
            } else {
                std::string expectedText = before;
                expectedText.insert(before.find("</parameters>"), R"(<parameter name="MAX_LIVE_SEL" value="123"/>)");
                EXPECT_EQ(after, expectedText);
            }
        } else {
        // A stand entry without children opens to take the use.
        EXPECT_TRUE(removed.empty() || removed == "/") << removed << "\n" << after;
        EXPECT_EQ(occurrences(inserted, "reg="), 1u) << inserted;
        // A new entry only for a stand the file has none for.
        const bool entryFor = before.find("id=\"D7\"") != std::string::npos || before.find("'D7'") != std::string::npos ||
                              before.find("H1") != std::string::npos;
        EXPECT_EQ(occurrences(inserted, " id="), entryFor ? 0u : 1u) << inserted;
        EXPECT_NE(inserted.find(R"(reg="PH-EXA")"), std::string::npos) << inserted;
        if (before.find('\r') == std::string::npos) {
            EXPECT_EQ(occurrences(inserted, "\r"), 0u) << "the file's own line ends";
        } else {
            EXPECT_EQ(occurrences(inserted, "\n"), occurrences(inserted, "\r\n")) << "the file's own line ends";
        }
        }
        EXPECT_EQ(closeLog.find("was changed during the visit") != std::string::npos, bool(row.during)) << closeLog;
        if (!row.reread) continue;
        ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
        if (row.during) {
            // What the user changed is in use as well.
            std::string inUse;
            for (const std::string& entry : entriesInUse()) inUse += entry + "\n";
            const std::pair<const char*, const char*> parts[] = {
                {"", "D7 use PH-EXA"}, {"M5", "M5 stand"}, {"M5", "M5 use PH-EXM"}, {"7:8", "D7 use PH-EXB KLM E75L 7:8"}};
            for (const auto& [when, part] : parts) {
                if (before.find(when) == std::string::npos) continue;
                EXPECT_NE(inUse.find(part), std::string::npos) << part << "\n" << inUse;
            }
            continue;
        }
        EXPECT_EQ(entriesInUse(), expected);
        // A visit that learns nothing leaves the file as it is.
        gf_leaveParkAirport();
        EXPECT_EQ(narrowed(readFile(path)), after);
    }
}

// The door itself: a write that would leave out a stand, a correction, a use
// (or part of its hours) or an entry kept unused is refused, unless the user
// asked for it; a use the traffic set aside for the visit stays in the file.
TEST_F(ParkStandFile, TheDoorRefusesAWriteThatLeavesOutWhatWasRead) {
    const std::string learnedFile = "<root>" + standFileMeta() +
                                    R"(<parameters><parameter name="airport_name" value="Amsterdam Schiphol"/>)"
                                    R"(</parameters><parkpositions>
        <parkpos id="D7"><opt reg="PH-EXB" airl="KLM" type="E75L" day="2" hh="7:9"/></parkpos>
        <parkpos id="D8" radius_change="true" radius="15.0"/>
        <parkpos id="M1" latitude="52.3" longitude="4.79" radius="30" manual="true"/>
        <parkpos id="OLD"><opt reg="PH-EXC" airl="KLM" type="E75L" day="2" hh="7"/></parkpos>
        </parkpositions></root>)";
    struct Row {
        const char* name;
        std::function<void(AirportFile&)> change;  // of the record about to be written
        bool withoutUnplaced;
        const char* why;  // "" for a write that passes
        bool same = false;  // a write that passes says what was read
    };
    const Row rows[] = {
        {"a new use", [](AirportFile& r) { r.stands[0].options.push_back(learnedUse("PH-EXA", 5, 20)); }, false, ""},
        {"a use lengthened", [](AirportFile& r) { r.stands[0].options[0].halfHours |= 1u << 10; }, false, ""},
        // Written as it was read: the file is left as it is.
        {"a use set aside for the visit", [](AirportFile& r) { r.stands[0].options[0].index = 0; }, false, "", true},
        {"a stand left out", [](AirportFile& r) { r.stands.erase(r.stands.begin() + 2); }, false, "the stand 'M1'"},
        {"a correction left out", [](AirportFile& r) { r.stands[1].radius_change = false; }, false,
         "a correction of the stand 'D8'"},
        {"a use left out", [](AirportFile& r) { r.stands[0].options.clear(); }, false,
         "the use of stand 'D7' by 'PH-EXB' (KLM E75L) on day 2"},
        {"a use shortened", [](AirportFile& r) { r.stands[0].options[0].halfHours = 1u << 7; }, false,
         "the use of stand 'D7' by 'PH-EXB'"},
        {"a use that cannot be written", [](AirportFile& r) { r.stands[0].options[0].halfHours |= 1u << 20; }, false,
         "the use of stand 'D7' by 'PH-EXB'"},
        {"an entry kept unused left out", [](AirportFile&) {}, true, "the entry 'OLD' kept unused"},
        {"two stands left out", [](AirportFile& r) { r.stands.resize(1); }, false, "lose 2 entries read from it"},
        // Refused whoever asks: no other tool could read the file.
        {"a name that is not UTF-8", [](AirportFile& r) { r.airport_name = "Z\xFCrich"; }, false,
         "what would be written is not valid UTF-8"},
    };
    const fs::path path = "airports/learned/stock/EHAM.xml";
    writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock"));
    for (const Row& row : rows) {
        for (const bool userAsked : {false, true}) {
            SCOPED_TRACE(fmt::format("{}, user asked {}", row.name, userAsked));
            writeFile(path, learnedFile);
            ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
            AirportFile record = g_standFileRead.asRead;
            ASSERT_EQ(record.stands.size(), 3u);
            row.change(record);
            StandFileWriteResult result;
            if (row.withoutUnplaced) {
                // A document built without the entries kept unused.
                ASSERT_TRUE(gf_writeAirportFile(record, "other.xml", StandFileForm::learned, 3, false));
                pugi::xml_document document;
                ASSERT_TRUE(document.load_file("other.xml"));
                result = gf_standFileDoor(document, path, &g_standFileRead, userAsked);
            } else {
                result = gf_writeLearnedFile(record, path, 3, false, g_standFileRead, userAsked);
            }
            const bool passes = *row.why == '\0' || (userAsked && std::string(row.why).find("UTF-8") == std::string::npos);
            const StandFileWrite expected = !passes ? StandFileWrite::refused
                                            : row.same ? StandFileWrite::unchanged
                                                       : StandFileWrite::saved;
            EXPECT_EQ(result.outcome, expected) << result.why;
            if (!passes) {
                EXPECT_NE(result.why.find(row.why), std::string::npos) << result.why;
            }
            if (!passes) {
                EXPECT_EQ(readFile(path), learnedFile);
            }
            gf_leaveParkAirport();
        }
    }
    // Through the close: the use set aside is written and read back.
    writeFile(path, learnedFile);
    ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
    stand("D7").options[0].index = 0;
    stand("D7").options.push_back(learnedUse("PH-EXA", 5, 20));
    gf_leaveParkAirport();
    ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
    ASSERT_EQ(stand("D7").options.size(), 3u) << readFile(path);
    EXPECT_EQ(stand("D7").options[1].reg, "PH-EXB");
}

// A stand file that stops the run names itself, so that the user knows which
// of many stand files to mend; a stand it cannot use is named with its file
// on the notice line, and the other stands are used.
TEST_F(ParkStandFile, AStandFileNamesItselfInEveryStopAndNotice) {
    const std::string altitude = R"(<parameter name="altitude" value="-11"/>)";
    const std::string d7 = R"(<parkpos id="D7" latitude="52.308" longitude="4.76" radius="20"/>)";
    struct Row {
        const char* name;
        const char* reference;
        std::string parameters, stands;
        const char* stop;    // the error's text, "" when the file is read
        const char* notice;  // the notice line after the read
    };
    const Row rows[] = {
        {"no altitude", "airports\\my_thirdparty\\EHAM.xml", "", d7,
         "65: Parameter altitude not found in airports\\my_thirdparty\\EHAM.xml", ""},
        {"no altitude in an archived file", "archive/stock/EHAM.xml", "", d7,
         "65: Parameter altitude not found in archive/stock/EHAM.xml", ""},
        {"an altitude that is no number", "airports\\my_thirdparty\\EHAM.xml",
         R"(<parameter name="altitude" value="abc"/>)", d7,
         "65: Parameter altitude \"abc\" is not a number in airports\\my_thirdparty\\EHAM.xml", ""},
        {"an altitude beyond any airport", "airports\\my_thirdparty\\EHAM.xml",
         R"(<parameter name="altitude" value="1e9"/>)", d7,
         "65: Parameter altitude \"1e9\" is not a number in airports\\my_thirdparty\\EHAM.xml", ""},
        {"an altitude with decimals", "airports\\my_thirdparty\\EHAM.xml",
         R"(<parameter name="altitude" value=" -11.4 "/>)", d7, "", ""},
        {"a stand without id", "airports\\my_thirdparty\\EHAM.xml", altitude,
         d7 + R"(<parkpos latitude="52.3" longitude="4.7"/>)",
         "93: Parking position #2 has no 'id' attribute in airports\\my_thirdparty\\EHAM.xml.", ""},
        {"a stand with an empty id", "airports\\my_ORBX\\EHAM.xml", altitude,
         d7 + R"(<parkpos id=" " latitude="52.3" longitude="4.7"/>)",
         "93: Parking position #2 has empty 'id' attribute in airports\\my_ORBX\\EHAM.xml.", ""},
        {"a stand named twice", "airports\\my_thirdparty\\EHAM.xml", altitude,
         d7 + R"(<parkpos id="D7 " latitude="52.3" longitude="4.7"/>)",
         "94: Parking position 'D7' appears more than once in airports\\my_thirdparty\\EHAM.xml.", ""},
        {"a latitude with a decimal comma", "airports\\my_thirdparty\\EHAM.xml", altitude,
         d7 + R"(<parkpos id="D8" latitude="52,308270" longitude="4.76" radius="20"/>)", "",
         "airports\\my_thirdparty\\EHAM.xml: Parking position 'D8': latitude \"52,308270\" is not a number; the "
         "stand is not used."},
        {"two slips", "archive/stock/EHAM.xml", altitude,
         d7 + R"(<parkpos id="D8" Latitude="52.3" longitude="4.76"/><parkpos id="D9" latitude="52.3" longitude="4.7x"/>)",
         "",
         "archive/stock/EHAM.xml: Parking position 'D8': 'Latitude' should be 'latitude'; the stand is not used, and "
         "1 more in Log.txt"},
        // A stand file's own entries without a place or a day are the
        // program's to drop, not the user's to mend.
        {"a stand at 0/0 and a use without a day", "airports\\my_thirdparty\\EHAM.xml", altitude,
         d7 + R"(<parkpos id="Z" latitude="0" longitude="0"/><parkpos id="D8" latitude="52.3" longitude="4.7" radius="20">
                   <opt reg="X" airl="KLM" type="B738" hh="3"/></parkpos>)",
         "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all("airports");
        const std::string content = "<root>" + standFileMeta() + "<parameters>" + row.parameters +
                                    "</parameters><parkpositions>" + row.stands + "</parkpositions></root>";
        const bool archived = std::string_view(row.reference).starts_with("archive");
        if (archived) {
            writeFile(gf_prefetchPath(), content);
            gf_setPrefetchedStandFile(row.reference);
        } else {
            std::string file = row.reference;
            std::replace(file.begin(), file.end(), '\\', '/');
            writeFile(file, content);
        }
        gf_resetStatusLine();
        if (*row.stop != '\0') {
            try {
                visit(row.reference);
                ADD_FAILURE() << "the read did not stop";
            } catch (const ozr::UserErrorException& e) {
                EXPECT_STREQ(e.what(), row.stop);
            }
            continue;
        }
        ASSERT_EQ(visit(row.reference), "") << log();
        EXPECT_EQ(g_airportAltitude_ft.get(), std::optional<double>(-11.0));
        EXPECT_EQ(gf_findStandByName("D7") != g_standList.end(), true);
        EXPECT_EQ(gf_statusLineSnapshot().airportNotice, row.notice);
        gf_leaveParkAirport();
    }
}

// A learned file with a one-character XML slip is the user's to mend: the
// log and the notice line name the copy by its real name and say that the
// stand file's stands are used; the close leaves the file as it was. The
// notice stays through the status texts of the visit and goes when the
// airport is left.
TEST_F(ParkStandFile, ADamagedLearnedFileIsKeptNamedAndNotReplaced) {
    const std::string good = "<root>" + standFileMeta() + R"(
<parameters><parameter name="airport_name" value="Amsterdam Schiphol"/></parameters>
<parkpositions>
<parkpos id="D8" radius_change="true" radius="15"/>
</parkpositions></root>
)";
    struct Row {
        const char* name;
        std::string from, to;  // the slip: the first from in the good file becomes to
        const char* why;       // the notice's reason in brackets
    };
    const Row rows[] = {
        {"a missing quote", R"(radius="15")", R"(radius="15)", "(line 4: "},
        {"a stray closing tag", "</parkpositions>", "</parkpos></parkpositions>", "(line 5: "},
        {"a file cut short", "</parkpositions></root>\n", "</parkpos", "(line 5: "},
    };
    const fs::path path = "airports/learned/stock/EHAM.xml";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all("airports");
        gf_resetStatusLine();
        writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock"));
        std::string damaged = good;
        damaged.replace(damaged.find(row.from), row.from.size(), row.to);
        writeFile(path, damaged);

        ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
        EXPECT_EQ(g_standList.size(), 3u);
        EXPECT_NEAR(stand("D8").radius * kMetresPerNm, 20.0, 1e-9);  // the stand file's
        EXPECT_EQ(readFile("airports/learned/stock/EHAM0.xml"), damaged);
        EXPECT_NE(log().find(nativePath("==> airports/learned/stock/EHAM.xml found, but could not be loaded, saved as "
                                        "airports/learned/stock/EHAM0.xml: line ")),
                  std::string::npos)
            << log();
        EXPECT_NE(log().find("the stand file's stands are used until the file is mended"), std::string::npos);
        const std::string notice = gf_statusLineSnapshot().airportNotice;
        EXPECT_EQ(notice.rfind(nativePath("airports/learned/stock/EHAM.xml is damaged ") + row.why, 0), 0u) << notice;
        EXPECT_NE(notice.find("), a copy is kept as EHAM0.xml; the stand file's stands are used until you mend it, "
                              "see Manual 6.3"),
                  std::string::npos)
            << notice;

        // The visit's own texts come and go; the notice stays above them.
        gf_setStatusLine("Parking adjustments: 1 to be removed, 2 to be added\n", true);
        StatusBandLook look = gf_statusBandLook(gf_statusLineSnapshot());
        EXPECT_EQ(look.notice, notice);
        EXPECT_EQ(look.text, "Parking adjustments: 1 to be removed, 2 to be added\n");
        for (int tick = 0; tick < 30; ++tick) {
            ++g_tickCount;
            gf_clearStatusLineWhenDue();
        }
        look = gf_statusBandLook(gf_statusLineSnapshot());
        EXPECT_EQ(look.notice, notice);
        EXPECT_EQ(look.text, "");

        g_standFileUpdates = 3;
        gf_leaveParkAirport();
        EXPECT_EQ(readFile(path), damaged);
        EXPECT_EQ(gf_statusLineSnapshot().airportNotice, "");
        EXPECT_EQ(gf_statusBandLook(gf_statusLineSnapshot()).notice, "");
    }
    g_tickCount = 0;
}

// A hand-made file none of whose stands can be used gives no stands; the
// airport is dropped and read again later, and meanwhile the notice still
// says which file and entry are to blame, and the file is left as it was. A
// read of the mended file takes the notice away.
TEST_F(ParkStandFile, ANoticeOutlivesAReadThatFoundNoStand) {
    const fs::path path = "airports/learned/stock/EHAM.xml";
    const std::string unusable = "<root>" + standFileMeta() + R"(<parameters>
        <parameter name="airport_name" value="Amsterdam Schiphol"/><parameter name="handmade" value="true"/>
      </parameters><parkpositions>
        <parkpos id="H1" latitude="52,3" longitude="4.75" radius="30"/>
        <parkpos id="H2" latitude="52.3" longitude="4.76" Radius="30"/>
      </parkpositions></root>)";
    writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock"));
    writeFile(path, unusable);
    EXPECT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"),
              "no stands found in '" + nativePath(path.string()) + "': none of its stands can be read, see Log.txt (the file is "
              "left as it was)");
    const std::string notice = nativePath(path.string()) +
                               ": Parking position 'H1': latitude \"52,3\" is not a number; the stand is not used, and 1 "
                               "more in Log.txt (the file is left unchanged)";
    EXPECT_EQ(gf_statusLineSnapshot().airportNotice, notice);
    g_standFileUpdates = 1;
    gf_leaveParkAirport();
    EXPECT_EQ(gf_statusLineSnapshot().airportNotice, notice);
    EXPECT_EQ(readFile(path), unusable);

    std::string mended = unusable;
    mended.replace(mended.find("52,3"), 4, "52.3");
    mended.replace(mended.find("Radius"), 6, "radius");
    writeFile(path, mended);
    EXPECT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
    EXPECT_EQ(g_standList.size(), 2u);
    EXPECT_EQ(gf_statusLineSnapshot().airportNotice, "");
}

// The neighbour search finds exactly the pairs that a comparison of every
// stand with every other finds: where stands crowd and radii differ, across
// 180 degrees of longitude, at a pole, beside a stand far larger than any
// real one and beside stands without a usable radius.
TEST_F(ParkStandFile, NeighboursAreThePairsWhoseCirclesOverlap) {
    struct Row {
        double lat, lon;
        double wideRadius_m;  // one stand of this radius in the middle; 0 for none
        std::size_t minPairs;
    };
    const Row rows[] = {
        {52.3, 4.7, 0.0, 100},    {-33.9, -70.6, 0.0, 100}, {78.2, 15.5, 0.0, 100},
        {-17.76, 179.99, 0.0, 100}, {89.99, 0.0, 0.0, 100},  {52.3, 4.7, 3000.0, 700},
    };
    std::mt19937 random(7);
    std::uniform_real_distribution<double> offset(0.0, 0.02);
    std::uniform_real_distribution<double> radius(2.0, 199.0);
    for (const Row& row : rows) {
        std::vector<Stand> stands;
        for (int i = 0; i < 600; ++i) {
            double lon = row.lon + offset(random);
            if (lon > 180.0) lon -= 360.0;
            double radius_m = i % 50 == 0 ? 199.0 : radius(random) / 4.0;
            if (i % 97 == 0) radius_m = 0.0;
            stands.emplace_back(fmt::format("S{}", i), std::vector<StandOption>{},
                                StandPlace{std::min(row.lat + offset(random), 90.0), lon, 0.0}, radius_m, false, true,
                                false);
        }
        stands[17].latitude = stands[16].latitude;
        stands[17].longitude = stands[16].longitude;
        stands[18].radius = std::nan("");
        if (row.wideRadius_m > 0.0) stands[300].radius = row.wideRadius_m * kNmPerMetre;
        gf_numberStandsAndNeighbours(stands);
        std::size_t pairs = 0;
        for (const Stand& a : stands) {
            std::vector<std::uint32_t> expected;
            for (const Stand& b : stands) {
                if (a.number != b.number &&
                    gf_distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude}) * 1.1 < a.radius + b.radius) {
                    expected.push_back(b.number);
                }
            }
            EXPECT_EQ(a.adjacent, expected) << a.id << " at " << row.lat << " " << row.lon;
            pairs += expected.size();
        }
        EXPECT_GT(pairs, row.minPairs) << row.lat << " " << row.lon;
    }
}

// The user's files read whole or not at all: every value is read as a whole
// (or the entry is not used, the notice names the file and the entry, and the
// file keeps its text), the bytes decide the encoding, copies are whole and
// never replace an earlier one, and a file that cannot be read or written
// says why. Each row: a visit, a use learned, the close, and a second visit.
TEST_F(ParkStandFile, AUsersFileIsReadWholeAndSaysWhatIsWrong) {
    enum class After { unchanged, written, diskFull, folder };
    struct Row {
        const char* name;
        std::string file;
        const char* notice;  // a part of the airport notice after the visit ("" for none)
        After after;
        std::string entry;   // a part of an entry in use after the first visit (and the last)
        std::map<std::string, std::string> kept = {};  // files beside it (a name, its bytes) at the end
        std::function<void()> setup = {};              // after the file is written
    };
    const fs::path path = "airports/learned/stock/EHAM.xml";
    const std::string sued = "S\xC3\xBC" "d 1";
    const auto learned = [](const std::string& stands, const std::string& parameters = "") {
        return "<root>" + standFileMeta() + R"(<parameters><parameter name="airport_name" value="Amsterdam Schiphol"/>)" +
               parameters + "</parameters><parkpositions>" + stands + "</parkpositions></root>";
    };
    const std::string suedUse =
        "<parkpos id=\"" + sued + R"("><opt reg="PH-EXB" airl="KLM" type="E75L" day="2" hh="7:9"/></parkpos>)";
    const auto edited = [](std::string file, const std::string& from, const std::string& to) {
        return file.replace(file.find(from), from.size(), to);
    };
    const std::string hand = handmadeFile(kHandmadeStands);
    const Row rows[] = {
        {"hand-made altitude with a decimal comma", edited(hand, "\"-12\"", "\"1,234\""),
         "altitude \"1,234\" is not a whole number", After::unchanged, "H1 stand"},
        {"hand-made altitude with decimals", edited(hand, "\"-12\"", "\"-15.7\""),
         "altitude \"-15.7\" is not a whole number", After::unchanged, "H1 stand"},
        {"hand-made helipad heli=\"ja\"", edited(hand, "heli=\"true\"", "heli=\"ja\""),
         "Parking position 'H3': heli \"ja\" is not true or false", After::unchanged, "H2 stand"},
        {"hand-made cargo=\" true\" ramp=\"on\"", edited(hand, "cargo=\"true\"", "cargo=\" true\" ramp=\"on\""), "",
         After::written, "H2 stand 52.300000 4.760000 0.0 30.0 cargo true ramp true"},
        {"learned radius_change=\" true\"", learned(R"(<parkpos id="D8" radius_change=" true" radius="15.0"/>)"), "",
         After::written, "D8 stand 52.308270 4.760000 90.0 15.0"},
        {"learned soft=\" true\"",
         learned(R"(<parkpos id="D7"><opt reg="PH-EXB" airl="KLM" type="E75L" day="2" hh="7:9" soft=" true"/>)"
                 "</parkpos>"),
         "", After::written, "D7 use PH-EXB KLM E75L 7:9 day 2 real 0"},
        {"learned setting WEEK=\"ja\"", learned("", R"(<parameter name="WEEK" value="ja"/>)"),
         "the setting WEEK \"ja\" is not true or false", After::unchanged, "D7 stand"},
        {"UTF-8 learned file with a Windows-1252 byte in a comment", learned("<!-- caf\xE9 -->" + suedUse),
         "a byte that is not UTF-8 (line 1, byte 0xE9) is kept", After::written, sued + " use PH-EXB"},
        {"learned file declared ISO-8859-1, saved as UTF-8",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" + learned(suedUse), "", After::written,
         sued + " use PH-EXB"},
        {"an empty original left by a full disk", hand, "", After::written, "H1 use PH-EXA",
         {{"EHAM.original.xml", hand}},
         [] { writeFile("airports/learned/stock/EHAM.original.xml", ""); }},
        {"a disk full at the close", learned(suedUse), "", After::diskFull, "use PH-EXA", {},
         [] { fs::create_symlink("/dev/full", "airports/learned/stock/EHAM.xml.tmp"); }},
        {"a damaged file with a copy from an earlier start", "<root><parkpos", "a copy is kept as EHAM0_2.xml",
         After::unchanged, "D7 stand", {{"EHAM0.xml", "the earlier copy"}, {"EHAM0_2.xml", "<root><parkpos"}},
         [] { writeFile("airports/learned/stock/EHAM0.xml", "the earlier copy"); }},
        {"a folder of the file's name", "", "could not be read: it is a folder, not a file", After::folder, "D7 stand",
         {}, [] {
             fs::remove("airports/learned/stock/EHAM.xml");
             fs::create_directories("airports/learned/stock/EHAM.xml");
         }},
    };
    std::string standFile = ehamStandFile("stock");
    standFile.insert(standFile.find("<parkpos id=\"F4\""),
                     "<parkpos id=\"" + sued + "\" latitude=\"52.312\" longitude=\"4.78\" radius=\"20\"/>");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
#ifdef _WIN32
        // A full disk is made with the full device, which Windows lacks.
        if (row.after == After::diskFull) continue;
#endif
        fs::remove_all("airports");
        gf_forgetUnsavedUses();
        gf_resetStatusLine();
        gf_resetSettings();
        writeFile("airports/my_thirdparty/EHAM.xml", standFile);
        writeFile(path, row.file);
        if (row.setup) row.setup();
        ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
        const std::string notice = gf_statusLineSnapshot().airportNotice;
        if (*row.notice) {
            EXPECT_NE(notice.find(row.notice), std::string::npos) << notice;
            EXPECT_NE(notice.find(nativePath(path.string())), std::string::npos) << notice;
            if (row.after == After::folder) EXPECT_EQ(notice.find("damaged"), std::string::npos) << notice;
        } else {
            EXPECT_EQ(notice, "");
        }
        g_standList.front().options.push_back(learnedUse("PH-EXA", 5, 20));
        const std::vector<std::string> read = entriesInUse();
        EXPECT_TRUE(std::any_of(read.begin(), read.end(),
                                [&](const std::string& e) { return e.find(row.entry) != std::string::npos; }))
            << row.entry;
        g_standFileUpdates = 1;
        gf_leaveParkAirport();
        const std::string status = gf_statusLineSnapshot().statusText;
        if (row.after == After::unchanged) EXPECT_EQ(readFile(path), row.file);
        if (row.after == After::folder) EXPECT_TRUE(fs::is_directory(path));
        if (row.after == After::diskFull) {
            EXPECT_EQ(readFile(path), row.file);
            EXPECT_NE(status.find(nativePath("'airports/learned/stock/EHAM.xml' could not be saved: the disk is "
                                             "full; what was learned is kept for the next close")),
                      std::string::npos)
                << status;
            // The disk has room again: the next visit has the use, its close saves it.
            ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
            gf_leaveParkAirport();
        }
        if (row.after == After::written || row.after == After::diskFull) {
            EXPECT_NE(readFile(path), row.file);
            ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
            EXPECT_EQ(entriesInUse(), read);
        }
        for (const auto& [name, bytes] : row.kept) EXPECT_EQ(readFile(path.parent_path() / name), bytes) << name;
        EXPECT_EQ(fs::exists(path.parent_path() / "EHAM0.xml"), row.kept.count("EHAM0.xml") == 1);
    }
}

#ifdef _WIN32
// A learned file another program holds open without sharing it (an editor,
// a backup) is healthy: the start says it is in use, keeps no copy of it and
// leaves it alone; a close while it is held says so and keeps what was
// learned for the next close, which saves it once the file is free. One the
// user set read-only is named so, not as in use.
TEST_F(ParkStandFile, ALearnedFileInUseByAnotherProgramIsNamedSoAndKeepsWhatWasLearned) {
    const fs::path path = "airports/learned/stock/EHAM.xml";
    const std::string file = "<root>" + standFileMeta() +
                             R"(<parameters><parameter name="airport_name" value="Amsterdam Schiphol"/></parameters>)"
                             R"(<parkpositions><parkpos id="D8" radius_change="true" radius="15.0"/>)"
                             "</parkpositions></root>";
    writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock"));
    writeFile(path, file);
    const auto hold = [&] {
        return CreateFileW(fs::absolute(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    };
    HANDLE held = hold();
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
    const std::string notice = gf_statusLineSnapshot().airportNotice;
    EXPECT_NE(notice.find("could not be read: it is in use by another program"), std::string::npos) << notice;
    EXPECT_FALSE(fs::exists("airports/learned/stock/EHAM0.xml"));
    CloseHandle(held);

    ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
    held = hold();
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    g_standList.front().options.push_back(learnedUse("PH-EXA", 5, 20));
    g_standFileUpdates = 1;
    gf_leaveParkAirport();
    const std::string status = gf_statusLineSnapshot().statusText;
    EXPECT_NE(status.find("could not be saved: it is in use by another program; what was learned is kept for the "
                          "next close"),
              std::string::npos)
        << status;
    CloseHandle(held);
    EXPECT_EQ(readFile(path), file);
    ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
    gf_leaveParkAirport();
    EXPECT_NE(readFile(path).find("PH-EXA"), std::string::npos);

    // The user set it read-only: Windows refuses it alike, the close says which.
    const std::string learned = readFile(path);
    ASSERT_TRUE(SetFileAttributesW(fs::absolute(path).c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
    g_standList.front().options.push_back(learnedUse("PH-EXB", 5, 20));
    g_standFileUpdates = 1;
    gf_leaveParkAirport();
    const std::string readOnly = gf_statusLineSnapshot().statusText;
    SetFileAttributesW(fs::absolute(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_NE(readOnly.find("could not be saved: it is read-only; what was learned is kept"), std::string::npos)
        << readOnly;
    EXPECT_EQ(readFile(path), learned);
}
#endif

// The nearest stand of a user's stand file is found among the stands whose
// place reads whole: "52,0" is no latitude of 52.
TEST_F(ParkStandFile, TheNearestStandIsOneWhosePlaceReadsWhole) {
    writeFile("airports/my_thirdparty/EHAM.xml",
              "<root>" + standFileMeta() + R"(<parameters><parameter name="altitude" value="-11"/></parameters><parkpositions>
                 <parkpos id="A1" latitude="52,0" longitude="4.76" radius="20"/>
                 <parkpos id="B2" latitude="52.30" longitude="4.76" radius="20"/></parkpositions></root>)");
    std::string standId;
    gf_readDestApfForClosestStand("EHAM", {52.0, 4.76}, standId);
    EXPECT_EQ(standId, "B2");
}

// A stand file above the size cap is refused with its size before anything
// of it is read; a learned file above it is left as it was, and the stand
// file's stands are used.
TEST_F(ParkStandFile, FilesAboveTheSizeCapAreRefusedAndLeftAsTheyWere) {
    const std::string padding = "<!--" + std::string(std::size_t{33} << 20, 'x') + "-->";
    writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock") + padding);
    EXPECT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"),
              "airports\\my_thirdparty\\EHAM.xml: could not load file: it holds 33.0 MB, more than the 32 MB a stand "
              "file may hold");

    const fs::path path = "airports/learned/stock/EHAM.xml";
    const std::string learned = "<root>" + standFileMeta() + R"(<parameters><parameter name="airport_name" value="Amsterdam Schiphol"/>
      </parameters><parkpositions/></root>)" + padding;
    writeFile("airports/my_thirdparty/EHAM.xml", ehamStandFile("stock"));
    writeFile(path, learned);
    EXPECT_EQ(visit("airports\\my_thirdparty\\EHAM.xml"), "");
    EXPECT_FALSE(g_standList.empty());
    g_standFileUpdates = 1;
    gf_leaveParkAirport();
    EXPECT_TRUE(readFile(path) == learned);
}

// Stands stacked on one spot (a file's duplicates) each get a bounded number
// of neighbours, all of them mutual, instead of every other one of the stack.
TEST_F(ParkStandFile, StandsStackedOnOneSpotGetABoundedMutualNeighbourList) {
    std::vector<Stand> stands;
    for (int i = 0; i < 1000; ++i) {
        stands.emplace_back(fmt::format("S{}", i), std::vector<StandOption>{}, StandPlace{52.3, 4.7, 0.0}, 30.0, false,
                            false, false);
    }
    gf_numberStandsAndNeighbours(stands);
    for (const Stand& a : stands) {
        ASSERT_GE(a.adjacent.size(), 128u) << a.id;
        ASSERT_LE(a.adjacent.size(), 256u) << a.id;
        for (const std::uint32_t b : a.adjacent) {
            const auto& back = stands[b - 1].adjacent;
            ASSERT_TRUE(std::binary_search(back.begin(), back.end(), a.number)) << a.id << " and " << b;
        }
    }
}

}  // namespace
