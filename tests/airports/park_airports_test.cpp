#include "airports/airport_database.h"
#include "airports/park_airports.h"
#include "airports/stand_file_locate.h"

#include "airports_test_support.h"

#include <fmt/format.h>

namespace {

using airports_test::AirportsFixture;
namespace fs = std::filesystem;

const char* kList = "airports/my_park_airports.txt";

using airports_test::standFileMeta;

class ParkAirports : public AirportsFixture {
protected:
    void SetUp() override {
        AirportsFixture::SetUp();
        readSampleDatabase();
    }
    std::string codes() {
        std::string text;
        for (const ParkAirport& p : gf_parkAirportsCopy()) text += p.code + "=" + p.reservedStand + " ";
        return text;
    }
    // EHAM's stand file in my_thirdparty with stands D7 and D8.
    void writeEhamStands() {
        writeFile("airports/my_thirdparty/EHAM.xml",
                  "<root>" + standFileMeta() + R"(<parameters><parameter name="publisher" value="stock"/>
            <parameter name="altitude" value="-11"/></parameters><parkpositions>
            <parkpos id="D7" latitude="52.308000" longitude="4.760000" radius="20"/>
            <parkpos id="D8" latitude="52.309000" longitude="4.760000" radius="20"/>
            </parkpositions></root>)");
    }
    void userOn(LatLon position, std::string userStand = {}) {
        ports().known = true;
        ports().onGround = true;
        ports().position = position;
        ports().stand = userStand;
    }
};

TEST_F(ParkAirports, ReadsTheListAndTheThirdpartyAirports) {
    writeFile(kList, "\xEF\xBB\xBF" "EHAM, B12 \r\n\r\n  \nEGLL,,x\nEGLC,\nEHAM,C1\neham\nEHRD\n");
    writeFile("airports/my_thirdparty/EGLL.xml", "x");
    writeFile("airports/my_thirdparty/EHRD.txt", "x");
    writeFile("airports/my_thirdparty/ZZZZ.xml", "x");
    EXPECT_FALSE(lf_readMyParkAirports());  // eham is unknown
    EXPECT_EQ(codes(), "EHAM=B12 EGLC= EHRD= EGLL= ");
    const std::string text = log();
    for (const char* line : {"==> my_park_airports.txt:EGLL,,x wrong syntax, skipped",
                             "==> my_park_airports.txt:EHAM double, skipped", "airport eham is unknown",
                             "3 park airports read from 'my_park_airports.txt'",
                             "1 park airport added from my_thirdparty folder(-s)"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    fs::remove(kList);
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_NE(log().find("my_park_airports.txt not found"), std::string::npos);
    EXPECT_EQ(codes(), "EGLL= EHRD= ");
}

TEST_F(ParkAirports, WritesTheCurrentEntrySortedWithoutAByteOrderMark) {
    struct Row {
        const char* before;  // nullptr: no file
        const char* code;
        const char* stand;
        const char* after;
        const char* logged;
    };
    const Row rows[] = {
        {"LFPG\nEHAM,C4\n", "EHAM", "D7", "EHAM,D7\nLFPG\n", "my_park_airports.txt:EHAM,D7 updated stand"},
        {nullptr, "EHAM", "D7", "EHAM,D7\n", "my_park_airports.txt created with EHAM,D7"},
        {"\xEF\xBB\xBF" "EHAM\r\nLFPG\n", "EGLL", "", "EGLL\nEHAM\nLFPG\n", "my_park_airports.txt:EGLL new entry"},
        {"LFPG\nLFPG\n", "EHAM", "", "EHAM\nLFPG\n", "my_park_airports.txt:EHAM new entry"},
    };
    for (const Row& row : rows) {
        fs::remove(kList);
        if (row.before) writeFile(kList, row.before);
        gf_withParkAirports([&](std::list<ParkAirport>& list) { list = {{row.code, row.stand, 0.0, 0.0, 0.0}}; });
        gf_writeMyParkAirports();
        EXPECT_EQ(readFile(kList), row.after) << row.code;
        EXPECT_NE(log().find(row.logged), std::string::npos) << row.logged;
    }
    // A destination already listed moves to the front and writes nothing.
    const std::string before = readFile(kList);
    gf_withParkAirports([](std::list<ParkAirport>& list) {
        list = {{"EGLL", "", 0.0, 0.0, 0.0}, {"EHAM", "", 0.0, 0.0, 0.0}};
    });
    gf_addDestinationAirport("EHAM", {0.0, 0.0});
    EXPECT_EQ(gf_parkAirportsCopy().front().code, "EHAM");
    EXPECT_EQ(readFile(kList), before);
}

TEST_F(ParkAirports, TheParkedFileReservesTheUsersStand) {
    writeEhamStands();
    writeFile(kList, "EGLL\n");
    userOn({52.30801, 4.76001});  // on D7
    ASSERT_TRUE(lf_readMyParkAirports());
    ASSERT_TRUE(gf_logParkAirport("EHAM"));
    EXPECT_NE(log().find("\nThe park airport is EHAM (AMS)"), std::string::npos);
    ASSERT_EQ(lf_readParkedFile(), "");
    EXPECT_EQ(readFile(kList), "EGLL\nEHAM,D7\n");
    EXPECT_EQ(g_reservedStand.get(), "D7");
    EXPECT_TRUE(g_reservedStandFound.load());
    EXPECT_EQ(g_airportDisplay.get().parkAirportText, "EHAM (AMS)");

    EXPECT_EQ(gf_standNameAt({52.30899, 4.76}, true), "D8");
    EXPECT_EQ(gf_standNameAt({52.30899, 4.76}, false), "");
    EXPECT_EQ(gf_standNameAt({52.0, 4.0}, true), "");

    ASSERT_TRUE(gf_logParkAirport("EHRD"));
    EXPECT_EQ(lf_readParkedFile(), "lf_readParkedFile EHRD not found");
}

// The user names a stand in the file while the stand file is loaded: a
// known stand is taken over, an unknown one leaves no reserved stand.
TEST_F(ParkAirports, ACheckTakesOverTheReservedStandOfTheFile) {
    writeEhamStands();
    writeFile(kList, "EHAM,D7\n");
    userOn({51.0, 4.0});
    ASSERT_TRUE(lf_readMyParkAirports());
    ASSERT_TRUE(gf_logParkAirport("EHAM"));
    ASSERT_EQ(lf_readParkedFile(), "");
    ASSERT_EQ(g_reservedStand.get(), "D7");
    struct Row {
        const char* file;
        const char* message;
        const char* reserved;
        bool found;
    };
    const Row rows[] = {
        {"EHAM,D8\n", "reserved stand changed from 'D7' to 'D8'", "D8", true},
        {"EHAM,D8\n", "park airports and stands are okay", "D8", true},
        {"EGLL\nEHAM,D7\n", "reserved stand changed from 'D8' to 'D7'", "D7", true},
        {"EGLL\nEHAM,D8\n", "reserved stand changed from 'D7' to 'D8'", "D8", true},
        {"EHAM,Z99\n", "reserved stand changed from 'D8' to 'Z99'", "Z99", false},
        {"EHAM,D7\n", "reserved stand changed from 'Z99' to 'D7'", "D7", true},
    };
    for (const Row& row : rows) {
        writeFile(kList, row.file);
        std::string message;
        ASSERT_TRUE(gf_checkParkAirports(true, message));
        EXPECT_EQ(message, row.message);
        EXPECT_EQ(g_reservedStand.get(), row.reserved);
        EXPECT_EQ(g_reservedStandFound.load(), row.found);
        EXPECT_EQ(gf_parkAirportsCopy().front().code, "EHAM") << row.file;
        for (const Stand& s : g_standList) {
            EXPECT_EQ(gf_standMark(s, StandMark::reserved), s.id == row.reserved ? 1 : 0) << s.id;
        }
    }
    // While the user stands on a stand the file's entry is not taken over.
    userOn({51.0, 4.0}, "D7");
    writeFile(kList, "EHAM,D8\n");
    std::string message;
    ASSERT_TRUE(gf_checkParkAirports(true, message));
    EXPECT_EQ(message, "park airports and stands are okay");
    EXPECT_EQ(g_reservedStand.get(), "D7");
}

// Every airport within 5 NM is asked for its nearest stand, and the nearest
// stand decides, whichever airport holds it and whatever the code order: a
// user on a stand of the third-nearest airport gets that airport. An
// airport without a stand file never wins; one beyond 5 NM is not asked.
TEST_F(ParkAirports, TheNearestStandOfEveryAirportInReachChoosesTheParkAirport) {
    const LatLon p{52.0, 5.0};  // one minute of latitude is one nautical mile here
    auto at = [&](double nm) { return fmt::format("{:.6f}", p.lat + nm / 60.0); };
    struct Place {
        const char* code;
        double airport_nm;  // north +, south -
        double stand_nm;    // its one stand; 99: no stand file
    };
    struct Row {
        const char* name;
        Place places[3];
        const char* expected;
    };
    const Row rows[] = {
        {"on a stand of the third nearest, met first", {{"AAAA", 3.0, 0.01}, {"BBBB", 1.0, 0.8}, {"CCCC", -2.0, -1.5}},
         "AAAA"},
        {"on a stand of the third nearest, met last", {{"AAAA", 1.0, 0.8}, {"BBBB", -2.0, -1.5}, {"CCCC", 3.0, -0.01}},
         "CCCC"},
        {"second nearest's stand nearest", {{"AAAA", -2.0, -0.05}, {"BBBB", 1.0, 0.8}, {"CCCC", 3.0, 0.5}}, "AAAA"},
        {"nearest's stand nearest", {{"AAAA", 3.0, 0.3}, {"BBBB", -2.0, -0.2}, {"CCCC", 1.0, 0.02}}, "CCCC"},
        {"third nearest without stand file", {{"AAAA", 3.0, 99}, {"BBBB", -2.0, -1.5}, {"CCCC", 1.0, 0.8}}, "CCCC"},
        {"stand of an airport beyond reach", {{"AAAA", 5.01, 0.0}, {"BBBB", -2.0, -1.5}, {"CCCC", 1.0, 0.8}}, "CCCC"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        gf_resetAirportDatabase();
        gf_forgetFetchedStandFiles();
        fs::remove_all("airports/my_thirdparty");
        std::string xml = "<airports>";
        for (const Place& place : row.places) {
            xml += fmt::format(R"(<airport code="{}" iata="" lat="{}" lon="5.0" alt="0" stands="0"/>)", place.code,
                               at(place.airport_nm));
            if (place.stand_nm == 99) continue;
            writeFile(fs::path("airports/my_thirdparty") / (std::string(place.code) + ".xml"),
                      fmt::format(R"(<root><parkpositions><parkpos id="S{}" latitude="{}" longitude="5.0"/>)"
                                  R"(</parkpositions></root>)",
                                  place.code, at(place.stand_nm)));
        }
        writeDatabase(xml + "</airports>");
        ASSERT_TRUE(gf_readAirports());
        const auto found = gf_findClosestAirport(p);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->code, row.expected);
    }
    // The log tells which stand outweighed the nearest airport.
    EXPECT_NE(log().find("Airport BBBB is closest, but stand SAAAA at neighbouring airport AAAA is closer at 19 "
                         "meters ..."),
              std::string::npos)
        << log();
}

}  // namespace
