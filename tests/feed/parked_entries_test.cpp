// Every gate of the parked entry parser, one row per case.
#include "feed/traffic_reader.h"
#include "feed_test_env.h"

#include <gtest/gtest.h>

#include <functional>

using nlohmann::json;

namespace {

// 2026-01-06 10:29:29 UTC.
constexpr std::int64_t kAt102929 = 1767695369;

json baseParked() { return json::array({52.3091, 4.7622, "EHAM_D4", "B738", "PH-BXB", kAt102929, "KLM1391"}); }

struct ParkedRow {
    const char* name;
    std::function<void(json&)> edit;
    std::function<void(FeedSettings&, RecordingFeedEnv&)> setup;
    bool kept;
    std::function<void(const ParkedRecord&)> check;
    std::string key = "4845d1";
};

class ParkedEntries : public ::testing::Test {
protected:
    std::optional<ParkedRecord> parse(const std::string& key, const json& e, const FeedSettings& s) {
        reader.clearParkedWork();
        reader.answerSettings = s;
        reader.parkedEntry = e;
        reader.processParkedTrafficLine(key);
        if (reader.parkedWork().empty()) return std::nullopt;
        return reader.parkedWork().front();
    }

    RecordingFeedEnv env;
    TrafficReader reader;
};

TEST_F(ParkedEntries, EveryGateTakesOrDropsTheEntry) {
    const std::vector<ParkedRow> rows = {
        {"a complete entry", nullptr, nullptr, true,
         [](const ParkedRecord& r) {
             EXPECT_EQ(r.hexid, 0x4845d1u);
             EXPECT_DOUBLE_EQ(r.lat, 52.3091);
             EXPECT_DOUBLE_EQ(r.lon, 4.7622);
             EXPECT_EQ(r.standName, "EHAM_D4");
             EXPECT_EQ(r.type, "B738");
             EXPECT_EQ(r.registration, "PH-BXB");
             EXPECT_EQ(r.callsign, "KLM1391");
             EXPECT_EQ(r.slot, 20);
             EXPECT_TRUE(r.origin.empty());
             EXPECT_TRUE(r.airline.empty());
         }},
        {"hexid 10000", nullptr, nullptr, false, nullptr, "2710"},
        {"hexid text without digits", nullptr, nullptr, false, nullptr, "xyz"},
        {"10:29:30 is the next slot", [](json& e) { e[5] = kAt102929 + 1; }, nullptr, true,
         [](const ParkedRecord& r) { EXPECT_EQ(r.slot, 21); }},
        {"23:59:59 is slot 47", [](json& e) { e[5] = 1767743999; }, nullptr, true,
         [](const ParkedRecord& r) { EXPECT_EQ(r.slot, 47); }},
        {"a floating-point time is rounded", [](json& e) { e[5] = kAt102929 + 0.5; }, nullptr, true,
         [](const ParkedRecord& r) { EXPECT_EQ(r.slot, 21); }},
        {"a time that cannot be broken down", [](json& e) { e[5] = -5; }, nullptr, true,
         [](const ParkedRecord& r) { EXPECT_EQ(r.slot, -1); }},
        {"a null time", [](json& e) { e[5] = nullptr; }, nullptr, false, nullptr},
        {"a time beyond 64 bits", [](json& e) { e[5] = 1e30; }, nullptr, false, nullptr},
        {"registration of 13 characters", [](json& e) { e[4] = "ABCDEFGHIJKLM"; }, nullptr, true,
         [](const ParkedRecord& r) { EXPECT_EQ(r.registration, ""); }},
        {"registration null", [](json& e) { e[4] = "null"; }, nullptr, true,
         [](const ParkedRecord& r) { EXPECT_EQ(r.registration, ""); }},
        {"type A380 is aliased", [](json& e) { e[3] = "A380"; }, nullptr, true,
         [](const ParkedRecord& r) { EXPECT_EQ(r.type, "A388"); }},
        {"type B767 is aliased", [](json& e) { e[3] = "B767"; }, nullptr, true,
         [](const ParkedRecord& r) { EXPECT_EQ(r.type, "B763"); }},
        {"type ZZZZ", [](json& e) { e[3] = "ZZZZ"; }, nullptr, false, nullptr},
        {"type unknown to the Dbase", [](json& e) { e[3] = "XXXX"; }, nullptr, false, nullptr},
        {"integer latitude and longitude", [](json& e) { e[0] = 52; e[1] = 4; }, nullptr, true,
         [](const ParkedRecord& r) {
             EXPECT_DOUBLE_EQ(r.lat, 52.0);
             EXPECT_DOUBLE_EQ(r.lon, 4.0);
         }},
        {"integer 52 with longitude 0", [](json& e) { e[0] = 52; e[1] = 0; }, nullptr, true, nullptr},
        {"both coordinates near 0", [](json& e) { e[0] = 0.00001; e[1] = 0; }, nullptr, false, nullptr},
        {"latitude as text", [](json& e) { e[0] = "52.3"; e[1] = 0; }, nullptr, false, nullptr},
        {"latitude beyond 90", [](json& e) { e[0] = 91.0; }, nullptr, false, nullptr},
        {"callsign with a leading full stop", [](json& e) { e[6] = ".KLM13"; }, nullptr, true,
         [](const ParkedRecord& r) { EXPECT_EQ(r.callsign, "KLM13"); }},
        {"callsign with five zeros", [](json& e) { e[6] = "AB00000C"; }, nullptr, true,
         [](const ParkedRecord& r) { EXPECT_EQ(r.callsign, ""); }},
        {"callsign of nine characters", [](json& e) { e[6] = "ABCDEFGHI"; }, nullptr, true,
         [](const ParkedRecord& r) { EXPECT_EQ(r.callsign, ""); }},
        {"full stop inside a callsign", [](json& e) { e[6] = "KL.M1"; }, nullptr, true,
         [](const ParkedRecord& r) { EXPECT_EQ(r.callsign, "KL.M1"); }},
        {"callsign and stand name with control characters", [](json& e) {
             e[6] = "KL\x1b[0m\n13";
             e[2] = "EHAM_\rD4" + std::string(100000, '9');
         },
         nullptr, true,
         [](const ParkedRecord& r) {
             EXPECT_EQ(r.callsign, "KL[0m13");
             EXPECT_EQ(r.standName, "EHAM_D4" + std::string(25, '9'));
         }},
        {"callsign with an at sign", [](json& e) { e[6] = "K@L"; }, nullptr, true,
         [](const ParkedRecord& r) { EXPECT_EQ(r.callsign, ""); }},
        {"callsign that is a known registration",
         [](json& e) {
             e[3] = "ZZZZ";
             e[4] = "null";
             e[6] = "PH-EXA";
         },
         [](FeedSettings&, RecordingFeedEnv& env) { env.registrations["PH-EXA"] = {"KLM", "E190", "KLC"}; }, true,
         [](const ParkedRecord& r) {
             EXPECT_EQ(r.registration, "PH-EXA");
             EXPECT_EQ(r.type, "E190");
             EXPECT_EQ(r.airline, "KLC");
         }},
        {"registration found by its second key, type not aliased",
         [](json& e) {
             e[3] = "A380";
             e[4] = "PH-BXB";
             e[6] = "null";
         },
         [](FeedSettings&, RecordingFeedEnv& env) { env.registrations["PHBXB"] = {"KLM", "B772", ""}; }, true,
         [](const ParkedRecord& r) {
             EXPECT_EQ(r.type, "B772");
             EXPECT_EQ(r.airline, "KLM");
             EXPECT_EQ(r.callsign, "PH-BXB");
         }},
        {"light aircraft switched off", [](json& e) { e[3] = "C172"; },
         [](FeedSettings& s, RecordingFeedEnv&) { s.lightAircraft = false; }, false, nullptr},
        {"light aircraft switched on", [](json& e) { e[3] = "C172"; }, nullptr, true, nullptr},
        {"helicopters switched off", [](json& e) { e[3] = "H60"; },
         [](FeedSettings& s, RecordingFeedEnv&) { s.helicopters = false; }, false, nullptr},
        {"high performance switched off", [](json& e) { e[3] = "F16"; },
         [](FeedSettings& s, RecordingFeedEnv&) { s.highPerfAircraft = false; }, false, nullptr},
        {"large aircraft pass any switch", nullptr,
         [](FeedSettings& s, RecordingFeedEnv&) {
             s.lightAircraft = s.helicopters = s.highPerfAircraft = false;
         },
         true, nullptr},
        {"stand name not a text", [](json& e) { e[2] = 7; }, nullptr, false, nullptr},
        {"stand name is the reserved stand", nullptr,
         [](FeedSettings& s, RecordingFeedEnv&) {
             s.reservedStand = "EHAM_D4";
             s.userParkingSpot = "X";
         },
         false, nullptr},
        {"stand name is the user's parking spot", nullptr,
         [](FeedSettings& s, RecordingFeedEnv&) {
             s.reservedStand = "X";
             s.userParkingSpot = "EHAM_D4";
         },
         false, nullptr},
        {"empty stand name with nothing reserved", [](json& e) { e[2] = ""; },
         [](FeedSettings& s, RecordingFeedEnv&) {
             s.reservedStand.clear();
             s.userParkingSpot.clear();
         },
         false, nullptr},
        {"empty stand name with both set", [](json& e) { e[2] = ""; },
         [](FeedSettings& s, RecordingFeedEnv&) {
             s.reservedStand = "A1";
             s.userParkingSpot = "B2";
         },
         true, nullptr},
    };
    for (const ParkedRow& row : rows) {
        SCOPED_TRACE(row.name);
        env.registrations.clear();
        json e = baseParked();
        if (row.edit) row.edit(e);
        FeedSettings s;
        s.reservedStand = "R1";
        s.userParkingSpot = "U1";
        if (row.setup) row.setup(s, env);
        const auto record = parse(row.key, e, s);
        ASSERT_EQ(record.has_value(), row.kept);
        if (record && row.check) row.check(*record);
    }
}

TEST_F(ParkedEntries, AnythingButAnArrayOfSevenIsDropped) {
    FeedSettings s;
    for (const json& e : {json(nullptr), json::object({{"0", 52.3}}), json::array({52.3, 4.7, "EHAM_D4", "B738", "PH-BXB", 1})}) {
        EXPECT_FALSE(parse("4845d1", e, s)) << e.dump();
    }
}

// Drops are silent, but a time stamp that is no number, or one beyond 64
// bits, is a fault of the service's data and is logged.
TEST_F(ParkedEntries, OnlyABadTimeStampIsLogged) {
    LogCapture log;
    FeedSettings s;
    s.reservedStand = "R1";
    json e = baseParked();
    e[0] = 0.0;
    e[1] = 0.0;
    EXPECT_FALSE(parse("4845d1", e, s));  // no position
    EXPECT_FALSE(parse("2710", baseParked(), s));
    EXPECT_EQ(log.text(), "");
    e = baseParked();
    e[5] = nullptr;
    EXPECT_FALSE(parse("4845d1", e, s));
    e[5] = 1e30;
    EXPECT_FALSE(parse("4845d1", e, s));
    const std::string text = log.text();
    EXPECT_NE(text.find("==> processParkedTrafficLine: [json.exception.type_error"), std::string::npos) << text;
    EXPECT_NE(text.find("==> processParkedTrafficLine: narrowing_error"), std::string::npos) << text;
}

}  // namespace
