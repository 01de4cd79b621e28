// Every gate of the live entry parser, one row per case.
#include "core/clock.h"
#include "feed/traffic_reader.h"
#include "feed_test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

using nlohmann::json;

namespace {

constexpr std::int64_t kNow = 1767700000;
constexpr double kPi = 3.141592653589793;
constexpr double kAirportLat = 52.3086;
constexpr double kAirportLon = 4.7639;

json baseEntry() {
    json e = json::array();
    for (int i = 0; i < 48; ++i) e.push_back(0);
    e[0] = "484f6d";
    e[1] = 52.35;
    e[2] = 4.70;
    e[3] = 45.0;
    e[4] = 3000;
    e[5] = 220;
    e[8] = "B738";
    e[9] = "PH-BXA";
    e[10] = static_cast<double>(kNow - 5);
    e[11] = "AMS";
    e[12] = "LHR";
    e[13] = "KLM1234";
    e[15] = 1500;
    e[17] = "adsb_icao";
    e[20] = 250;
    e[23] = 2.5;
    e[25] = 46.0;
    e[28] = "A3";
    return e;
}

void atAirport(json& e) {
    e[1] = kAirportLat;
    e[2] = kAirportLon;
}

struct Row {
    const char* name;
    std::function<void(json&)> edit;
    std::function<void(FeedSettings&)> setup;
    bool kept;
    std::function<void(const FlightRecord&)> check;
};

class LiveEntries : public ::testing::Test {
protected:
    LiveEntries() {
        env.now = kNow;
        reader.filterLat = 52.31;
        reader.filterLon = 4.76;
        base.range_nm = 40.0;
        base.currentAirport = FeedAirport{true, kAirportLat, kAirportLon, -11.0};
    }

    // Parses e with the settings s; the record when the entry passed.
    std::optional<FlightRecord> parse(const json& e, const FeedSettings& s) {
        reader.flightRecords.clear();
        reader.answerSettings = s;
        reader.entry = e;
        reader.processLine();
        if (reader.flightRecords.empty()) return std::nullopt;
        EXPECT_EQ(reader.flightRecords.size(), 1u);
        return reader.flightRecords.front();
    }

    RecordingFeedEnv env;
    TrafficReader reader;
    FeedSettings base;
};

TEST_F(LiveEntries, EveryGateTakesOrDropsTheEntry) {
    LogCapture log;
    const std::vector<Row> rows = {
        {"a complete airborne entry", nullptr, nullptr, true,
         [](const FlightRecord& r) {
             EXPECT_EQ(r.hexid, 0x484f6du);
             EXPECT_EQ(r.type, "B738");
             EXPECT_EQ(r.registration, "PH-BXA");
             EXPECT_EQ(r.callsign, "KLM1234");
             EXPECT_EQ(r.origin, "AMS");
             EXPECT_EQ(r.destination, "LHR");
             EXPECT_TRUE(r.airline.empty());
             EXPECT_DOUBLE_EQ(r.point.alt, 3000 + (1013 - 1013.25) * 27.0);
             EXPECT_TRUE(r.point.airborne);
             EXPECT_DOUBLE_EQ(r.point.gs, 220);
             EXPECT_FALSE(r.speedUnknown);
             EXPECT_DOUBLE_EQ(r.point.track, 45);
             EXPECT_DOUBLE_EQ(r.point.vrate, 1500);
             EXPECT_DOUBLE_EQ(r.point.tas, 250);
             ASSERT_TRUE(r.point.bank_rad);
             EXPECT_DOUBLE_EQ(*r.point.bank_rad, -2.5 * kPi / 180);
             ASSERT_TRUE(r.point.trueHeading_rad);
             EXPECT_TRUE(r.point.hasTrueHeading);
             EXPECT_DOUBLE_EQ(*r.point.trueHeading_rad, 46 * kPi / 180);
             EXPECT_DOUBLE_EQ(r.feedTime, kNow - 5);
             EXPECT_EQ(r.point.time, 0);
             EXPECT_FALSE(r.point.stationary);
         }},
        {"registration of 13 characters", [](json& e) { e[9] = "ABCDEFGHIJKLM"; }, nullptr, false, nullptr},
        {"registration of 12 characters", [](json& e) { e[9] = "ABCDEFGHIJKL"; }, nullptr, true, nullptr},
        {"registration null", [](json& e) { e[9] = "null"; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_EQ(r.registration, ""); }},
        {"type ZZZZ", [](json& e) { e[8] = "ZZZZ"; }, nullptr, false, nullptr},
        {"type 0", [](json& e) { e[8] = "0"; }, nullptr, false, nullptr},
        {"type not a text", [](json& e) { e[8] = 738; }, nullptr, false, nullptr},
        {"rejected category B1", [](json& e) { e[28] = "B1"; }, nullptr, false, nullptr},
        {"rejected category C2", [](json& e) { e[28] = "C2"; }, nullptr, false, nullptr},
        {"glider with a category", [](json& e) { e[8] = "GLID"; }, nullptr, false, nullptr},
        {"glider with category null", [](json& e) { e[8] = "GLID"; e[28] = "null"; }, nullptr, true, nullptr},
        {"glider without category", [](json& e) { e[8] = "GLID"; e[28] = ""; }, nullptr, true, nullptr},
        {"both coordinates near 0", [](json& e) { e[1] = 0.00005; e[2] = -0.00009; },
         [](FeedSettings& s) { s.range_nm = 1e6; }, false, nullptr},
        {"one coordinate outside the square", [](json& e) { e[1] = 0; e[2] = 0.0002; },
         [](FeedSettings& s) { s.range_nm = 1e6; }, true, nullptr},
        {"latitude 90 and longitude -180", [](json& e) { e[1] = 90.0; e[2] = -180.0; },
         [](FeedSettings& s) { s.range_nm = 1e6; }, true, nullptr},
        {"latitude above 90", [](json& e) { e[1] = 90.5; }, [](FeedSettings& s) { s.range_nm = 1e6; }, false, nullptr},
        {"longitude below -180", [](json& e) { e[2] = -180.5; }, [](FeedSettings& s) { s.range_nm = 1e6; }, false, nullptr},
        {"outside the range", [](json& e) { e[1] = 53.5; }, nullptr, false, nullptr},
        {"true heading 0 is 2 pi", [](json& e) { e[25] = 0; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_DOUBLE_EQ(*r.point.trueHeading_rad, 2 * kPi); }},
        {"true heading above 360", [](json& e) { e[25] = 361; }, nullptr, false, nullptr},
        {"true heading ignored without adsb_icao", [](json& e) { e[25] = 361; e[17] = "mlat"; }, nullptr, true,
         [](const FlightRecord& r) {
             EXPECT_FALSE(r.point.trueHeading_rad);
             EXPECT_FALSE(r.point.hasTrueHeading);
         }},
        {"negative true heading", [](json& e) { e[25] = -5; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_FALSE(r.point.trueHeading_rad); }},
        {"track 0 takes the true heading", [](json& e) { e[3] = 0; e[25] = 90; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_NEAR(r.point.track, 90.0, 1e-9); }},
        {"hexid 2710 is 10000", [](json& e) { e[0] = "2710"; }, nullptr, false, nullptr},
        {"hexid 2711", [](json& e) { e[0] = "2711"; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_EQ(r.hexid, 10001u); }},
        {"hexid without a digit", [](json& e) { e[0] = "zz"; }, nullptr, false, nullptr},
        {"hexid beyond 32 bits", [](json& e) { e[0] = "1ffffffff"; }, nullptr, false, nullptr},
        {"hexid with trailing text", [](json& e) { e[0] = "4ca7b1~x"; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_EQ(r.hexid, 0x4ca7b1u); }},
        {"QNH correction", [](json& e) { e[4] = 1000; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_DOUBLE_EQ(r.point.alt, 993.25); }},
        // Ground is read from what the receiver had: slow near the field,
        // low and slow, or reported at 0. A missing value decides nothing.
        {"slow at height flies", [](json& e) { e[4] = 30000; e[5] = 30; e[1] = 52.45; }, nullptr, true,
         [](const FlightRecord& r) {
             EXPECT_DOUBLE_EQ(r.point.alt, 30000 + (1013 - 1013.25) * 27.0);
             EXPECT_TRUE(r.point.airborne);
         }},
        {"slow 400 ft above the field flies", [](json& e) { e[4] = 400; e[5] = 20; atAirport(e); }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_TRUE(r.point.airborne); }},
        {"slow within 300 ft of the field is on the ground",
         [](json& e) { e[4] = 250; e[5] = 20; e[20] = -1; atAirport(e); }, nullptr, true,
         [](const FlightRecord& r) {
             EXPECT_EQ(r.point.alt, 0.0);
             EXPECT_FALSE(r.point.airborne);
             EXPECT_FALSE(r.point.bank_rad);
             EXPECT_DOUBLE_EQ(r.point.tas, 180);
         }},
        {"slow at height without any field is the ground, dropped", [](json& e) { e[4] = 30000; e[5] = 30; },
         [](FeedSettings& s) { s.currentAirport.present = false; }, false, nullptr},
        {"no speed at height flies at a speed nobody knows", [](json& e) { e[4] = 38000; e[5] = nullptr; atAirport(e); },
         nullptr, true,
         [](const FlightRecord& r) {
             EXPECT_TRUE(r.point.airborne);
             EXPECT_DOUBLE_EQ(r.point.alt, 38000 + (1013 - 1013.25) * 27.0);
             EXPECT_TRUE(r.speedUnknown);
         }},
        {"no speed near the field reads as standing", [](json& e) { e[4] = 250; e[5] = nullptr; atAirport(e); },
         nullptr, true, [](const FlightRecord& r) { EXPECT_FALSE(r.point.airborne); }},
        {"no altitude taxiing is on the ground", [](json& e) { e[4] = nullptr; e[5] = 15; e[15] = 0; atAirport(e); },
         nullptr, true, [](const FlightRecord& r) { EXPECT_FALSE(r.point.airborne); }},
        {"no altitude and no speed is on the ground",
         [](json& e) { e[4] = nullptr; e[5] = nullptr; e[15] = nullptr; atAirport(e); }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_FALSE(r.point.airborne); }},
        {"no altitude at speed is left out", [](json& e) { e[4] = nullptr; e[5] = 150; e[15] = 0; atAirport(e); },
         nullptr, false, nullptr},
        {"no altitude climbing is left out", [](json& e) { e[4] = nullptr; e[5] = 20; atAirport(e); }, nullptr, false,
         nullptr},
        {"low and fast without a stand file stays airborne", [](json& e) { e[4] = 56.75; e[5] = 100; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_NEAR(r.point.alt, 50.0, 1e-9); }},
        {"in the air below sea level after the QNH correction stays in the air", [](json& e) { e[4] = 5; atAirport(e); },
         nullptr, true,
         [](const FlightRecord& r) {
             EXPECT_DOUBLE_EQ(r.point.alt, 5 + (1013 - 1013.25) * 27.0);
             EXPECT_TRUE(r.point.airborne);
         }},
        {"in the air corrected to sea level exactly stays in the air", [](json& e) { e[4] = 6.75; atAirport(e); },
         nullptr, true,
         [](const FlightRecord& r) {
             EXPECT_NE(r.point.alt, 0.0);
             EXPECT_NEAR(r.point.alt, 0.0, 0.1);
             EXPECT_TRUE(r.point.airborne);
         }},
        {"low and fast with a stand file at 20 ft is on the ground",
         [](json& e) { e[4] = 56.75; e[5] = 100; atAirport(e); }, [](FeedSettings& s) { s.airportFileAlt_ft = 20.0; }, true,
         [](const FlightRecord& r) {
             EXPECT_EQ(r.point.alt, 0.0);
             EXPECT_NEAR(r.groundedAlt_ft, 50.0, 1e-9);
         }},
        {"on the take-off roll at a high airport whose stand file is not read is on the ground",
         [](json& e) { e[4] = 1450; e[5] = 100; atAirport(e); }, [](FeedSettings& s) { s.currentAirport.alt_ft = 1416; },
         true, [](const FlightRecord& r) { EXPECT_EQ(r.point.alt, 0.0); }},
        {"negative altitude is the ground", [](json& e) { e[4] = -75; atAirport(e); }, nullptr, true,
         [](const FlightRecord& r) {
             EXPECT_EQ(r.point.alt, 0.0);
             EXPECT_EQ(r.groundedAlt_ft, 0.0);
         }},
        {"airspeed -1 high up", [](json& e) { e[4] = 30000; e[5] = 450; e[20] = -1; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_DOUBLE_EQ(r.point.tas, 430); }},
        {"airspeed 0 stands", [](json& e) { e[20] = 0; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_DOUBLE_EQ(r.point.tas, 0); }},
        {"airspeed not a number", [](json& e) { e[20] = "fast"; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_DOUBLE_EQ(r.point.tas, 220); }},
        {"roll -1 gives no bank", [](json& e) { e[23] = -1; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_FALSE(r.point.bank_rad); }},
        {"callsign with an at sign", [](json& e) { e[13] = "KL@1"; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_EQ(r.callsign, ""); }},
        {"callsign null", [](json& e) { e[13] = "null"; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_EQ(r.callsign, ""); }},
        {"rejected callsign", [](json& e) { e[13] = "ERARMTR0"; }, nullptr, false, nullptr},
        {"neither registration nor callsign", [](json& e) { e[9] = "null"; e[13] = "null"; }, nullptr, false, nullptr},
        {"origin and destination null", [](json& e) { e[11] = "null"; e[12] = "null"; }, nullptr, true,
         [](const FlightRecord& r) {
             EXPECT_EQ(r.origin, "");
             EXPECT_EQ(r.destination, "");
         }},
        {"ground entry without a current airport", [](json& e) { e[4] = 0; atAirport(e); },
         [](FeedSettings& s) { s.currentAirport.present = false; }, false, nullptr},
        {"airborne only: clear of the airport", nullptr, [](FeedSettings& s) { s.airborneOnly = true; }, true, nullptr},
        {"airborne only: within 300 ft of the airport", nullptr,
         [](FeedSettings& s) {
             s.airborneOnly = true;
             s.currentAirport.alt_ft = 2800;
         },
         false, nullptr},
        {"airborne only: ground entry at a high airport", [](json& e) { e[4] = 0; atAirport(e); },
         [](FeedSettings& s) {
             s.airborneOnly = true;
             s.currentAirport.alt_ft = 5000;
         },
         false, nullptr},
        {"feed time 0", [](json& e) { e[10] = 0; }, nullptr, false, nullptr},
        {"feed time far in the future", [](json& e) { e[10] = static_cast<double>(kNow) + 1e6; }, nullptr, false, nullptr},
        {"feed time not a number", [](json& e) { e[10] = "now"; }, nullptr, false, nullptr},
        {"feed time not finite", [](json& e) { e[10] = std::numeric_limits<double>::infinity(); }, nullptr, false, nullptr},
        // What no aircraft can do is dropped, never clamped; the oddities of
        // real traffic stay.
        {"altitude 1e308", [](json& e) { e[4] = 1e308; }, nullptr, false, nullptr},
        {"altitude below -2,000 ft", [](json& e) { e[4] = -2500; atAirport(e); }, nullptr, false, nullptr},
        {"true airspeed 1e308", [](json& e) { e[20] = 1e308; }, nullptr, false, nullptr},
        {"ground speed of 5,000 kt", [](json& e) { e[5] = 5000; }, nullptr, false, nullptr},
        {"vertical rate 1e308", [](json& e) { e[15] = 1e308; }, nullptr, false, nullptr},
        {"vertical rate -100,000 ft/min", [](json& e) { e[15] = -100000; }, nullptr, false, nullptr},
        {"track 1e308", [](json& e) { e[3] = 1e308; }, nullptr, false, nullptr},
        {"roll 1e308", [](json& e) { e[23] = 1e308; }, nullptr, false, nullptr},
        {"roll -200", [](json& e) { e[23] = -200; }, nullptr, false, nullptr},
        {"a Concorde-like jet at 60,000 ft and 1,300 kt",
         [](json& e) { e[4] = 60000; e[5] = 1300; e[20] = 1180; e[8] = "CONC"; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_DOUBLE_EQ(r.point.gs, 1300); }},
        {"a military jet climbing 45,000 ft/min banked 80", [](json& e) { e[15] = 45000; e[23] = 80; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_DOUBLE_EQ(r.point.vrate, 45000); }},
        {"a helicopter flying backwards", [](json& e) { e[8] = "EC35"; e[5] = 40; e[20] = -30; e[4] = 500; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_DOUBLE_EQ(r.point.tas, -30); }},
        {"a glider descending fast", [](json& e) { e[8] = "DG80"; e[28] = "null"; e[5] = 90; e[15] = -1800; }, nullptr,
         true, nullptr},
        {"a ground vehicle at 0 ft", [](json& e) { e[4] = 0; e[5] = 15; e[20] = 0; atAirport(e); }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_EQ(r.point.alt, 0.0); }},
        {"a report at -1,000 ft at an airport below sea level", [](json& e) { e[4] = -1000; e[5] = 10; atAirport(e); },
         nullptr, true, [](const FlightRecord& r) { EXPECT_EQ(r.point.alt, 0.0); }},
        // The service's texts reach the simulator, the flight-plan files and
        // Log.txt: no control character, no more than their field.
        {"callsign with control characters and an escape sequence", [](json& e) { e[13] = "KL\x1b[31mM\x07\r12"; },
         nullptr, true, [](const FlightRecord& r) { EXPECT_EQ(r.callsign, "KL[31mM1"); }},
        {"registration with a line feed", [](json& e) { e[9] = "PH-B\nXA"; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_EQ(r.registration, "PH-BXA"); }},
        {"origin and destination of 100 KB", [](json& e) { e[11] = std::string(100000, 'E'); e[12] = std::string(100000, 'L'); },
         nullptr, true,
         [](const FlightRecord& r) {
             EXPECT_EQ(r.origin, "EEEEEEEE");
             EXPECT_EQ(r.destination, "LLLLLLLL");
         }},
        {"type with bytes of another alphabet", [](json& e) { e[8] = "B7\xc3\xa9" "38"; }, nullptr, true,
         [](const FlightRecord& r) { EXPECT_EQ(r.type, "B738"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        json e = baseEntry();
        if (row.edit) row.edit(e);
        FeedSettings s = base;
        if (row.setup) row.setup(s);
        const auto record = parse(e, s);
        ASSERT_EQ(record.has_value(), row.kept);
        if (record && row.check) row.check(*record);
    }
    // Every drop is silent but the first one for the feed time, in case the
    // PC's clock is what is wrong.
    const std::string text = log.text();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find("Live traffic dropped: its time "), std::string::npos) << text;
    EXPECT_NE(text.find(" 1970 is more than 2 hours from this PC's time"), std::string::npos)
        << text;
}

// The reader counts what the limits took for its one line an answer.
TEST_F(LiveEntries, DropsAndCleanedTextsAreCountedByValue) {
    reader.entryDrops = EntryDrops{};
    json e = baseEntry();
    e[4] = 1e308;
    e[20] = 1e308;
    EXPECT_FALSE(parse(e, base));
    e = baseEntry();
    e[15] = 1e308;
    EXPECT_FALSE(parse(e, base));
    e = baseEntry();
    e[13] = "KLM\n12";
    EXPECT_TRUE(parse(e, base));
    EXPECT_EQ(reader.entryDrops.dropped(), 2);
    EXPECT_EQ(reader.entryDrops.logLine("Live traffic"),
              "Live traffic: 2 entries dropped for values no aircraft can have (1 altitude, 1 vertical rate), 1 text "
              "cleaned");
    EXPECT_EQ(EntryDrops{}.logLine("Live traffic"), "");
}

TEST_F(LiveEntries, EntriesOfAnotherShapeAreDropped) {
    for (const json& e : {json(nullptr), json::object(), json::array(), json(json::array({1, 2, 3})), json("484f6d")}) {
        EXPECT_FALSE(parse(e, base)) << e.dump();
    }
    json short47 = baseEntry();
    short47.erase(short47.end() - 1);
    EXPECT_FALSE(parse(short47, base));
    json long49 = baseEntry();
    long49.push_back(0);
    EXPECT_FALSE(parse(long49, base));
}

TEST_F(LiveEntries, ShiftedTimeWithinTheOffsetIsTaken) {
    json e = baseEntry();
    e[10] = static_cast<double>(kNow - 20160 * 60 + 10);
    EXPECT_FALSE(parse(e, base));
    reader.toffset = 20160;
    EXPECT_TRUE(parse(e, base));
    EXPECT_DOUBLE_EQ(gf_dataTime(), static_cast<double>(kNow - 20160 * 60 + 10));
}

TEST_F(LiveEntries, BlockedCallsignIsReportedOncePerBlock) {
    base.blockCallsign = "KLM1234";
    reader.blockReport = true;
    json e = baseEntry();
    EXPECT_FALSE(parse(e, base));
    EXPECT_FALSE(parse(e, base));
    ASSERT_EQ(env.blocked.size(), 1u);
    EXPECT_EQ(env.blocked[0], 0x484f6du);
    ASSERT_EQ(env.statusLines.size(), 1u);
    EXPECT_EQ(env.statusLines[0], "Live aircraft 'KLM1234' blocked");

    // The user blocks another callsign: its first entry re-arms the report,
    // the next one reports.
    base.blockCallsign = "EIN612";
    e[13] = "EIN612";
    EXPECT_FALSE(parse(e, base));
    EXPECT_EQ(env.blocked.size(), 1u);
    EXPECT_FALSE(parse(e, base));
    EXPECT_EQ(env.blocked.size(), 2u);
    EXPECT_EQ(env.statusLines.back(), "Live aircraft 'EIN612' blocked");

    e[13] = "KLM1234";
    EXPECT_TRUE(parse(e, base));
}

TEST_F(LiveEntries, CollectsIdsOnlyWhileAsked) {
    json e = baseEntry();
    ASSERT_TRUE(parse(e, base));
    EXPECT_TRUE(reader.takeCollectedIds().hexids.empty());
    reader.collect = true;
    ASSERT_TRUE(parse(e, base));
    e[0] = "4ca7b1";
    e[13] = "null";
    ASSERT_TRUE(parse(e, base));
    const CollectedIds ids = reader.takeCollectedIds();
    EXPECT_EQ(ids.callsigns, (std::set<std::string>{"KLM1234"}));
    EXPECT_EQ(ids.hexids, (std::set<std::uint32_t>{0x484f6d, 0x4ca7b1}));
    EXPECT_FALSE(reader.collect.load());
}

TEST(NonAircraftTypes, ExactNamesOnly) {
    for (const char* t : {"BALL", "EMER", "GLID", "GRND", "GND", "PARA", "SERV", "SHIP", "VENT"}) {
        EXPECT_TRUE(gf_isNonAircraftType(t)) << t;
    }
    for (const char* t : {"glid", "B738", "", "GLIDE"}) EXPECT_FALSE(gf_isNonAircraftType(t)) << t;
}

}  // namespace
