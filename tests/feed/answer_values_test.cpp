// Values taken from the service's answers (status, pauses, QNH) and the box
// of the live requests, one row per case.
#include "core/clock.h"
#include "core/download.h"
#include "core/endpoint_url.h"
#include "feed/feed_window_values.h"
#include "feed/reader_services.h"
#include "feed/rt_client.h"
#include "feed/weather_reader.h"
#include "feed_test_env.h"

#include <fmt/format.h>
#include <gsl/narrow>
#include <gtest/gtest.h>

#include <climits>

using nlohmann::json;

namespace {

// The addresses set in the environment: the licence goes in clear text to
// this computer only.
TEST(AnswerValues, EndpointsFromTheEnvironmentTakePlainHttpForLoopbackOnly) {
    const std::pair<const char*, bool> rows[] = {
        {"https://rt.example.com", true},
        {"HTTPS://rt.example.com:8443/x", true},
        {"http://127.0.0.1:8080", true},
        {"http://127.5.0.1/", true},
        {"http://localhost:80", true},
        {"http://[::1]:8080/v4", true},
        {"http://rt.example.com", false},
        {"http://10.0.0.2:8080", false},
        {"http://127.0.0.1.evil.com/", false},
        {"http://127.0.0.1@evil.com/", false},
        {"http://[::2]:80", false},
        {"ftp://127.0.0.1", false},
        {"127.0.0.1:8080", false},
        {"https://", false},
    };
    for (const auto& [url, safe] : rows) EXPECT_EQ(gf_isSafeEndpointUrl(url), safe) << url;

    setTestEnv("GLIM_RT_BASE_URL", "http://rt.example.com");
    setTestEnv("GLIM_SITE_BASE_URL", "http://site.example.com/");
    EXPECT_EQ(gf_rtBaseUrl(), "https://rtw.flyrealtraffic.com");
    EXPECT_EQ(gf_siteBaseUrl().rfind("https://", 0), 0u) << gf_siteBaseUrl();
    setTestEnv("GLIM_RT_BASE_URL", "http://127.0.0.1:9");
    setTestEnv("GLIM_SITE_BASE_URL", "http://127.0.0.1:9");
    EXPECT_EQ(gf_rtBaseUrl(), "http://127.0.0.1:9");
    EXPECT_EQ(gf_siteBaseUrl(), "http://127.0.0.1:9/");
    setTestEnv("GLIM_RT_BASE_URL", "");
    setTestEnv("GLIM_SITE_BASE_URL", "");
}

TEST(AnswerValues, StatusIsAnIntegerWhateverTheServiceSends) {
    struct Row {
        json answer;
        int status;
    };
    const Row rows[] = {
        {json::object(), 100},
        {{{"status", 200}}, 200},
        {{{"status", 406.9}}, 406},
        {{{"status", true}}, 1},
        {{{"status", 1e30}}, INT_MAX},
        {{{"status", -1e30}}, INT_MIN},
        {{{"status", 18446744073709551615ull}}, INT_MAX},
    };
    for (const Row& row : rows) EXPECT_EQ(gf_answerStatus(row.answer), row.status) << row.answer.dump();
    // The library's type error, which each request's catch takes.
    EXPECT_THROW(gf_answerStatus(json{{"status", "200"}}), json::type_error);
    EXPECT_THROW(gf_answerStatus(json{{"status", nullptr}}), json::type_error);
    EXPECT_THROW(gf_answerStatus(json::array({200})), json::type_error);
}

TEST(AnswerValues, PausesAreKeptUpToTenMinutesAndOnlyAbsurdOnesCut) {
    ASSERT_EQ(gf_rtPaceLimits().min_ms, 250);
    ASSERT_EQ(gf_rtPaceLimits().max_ms, 600000);
    struct Row {
        json answer;
        int pause_ms;
        bool logged;
    };
    const Row rows[] = {
        {json::object(), 2000, false},       {{{"rrl", 5000}}, 5000, false},
        {{{"rrl", 45000}}, 45000, false},    {{{"rrl", 600000}}, 600000, false},
        {{{"rrl", 0}}, 250, false},          {{{"rrl", -5}}, 250, false},
        {{{"rrl", 600001}}, 600000, true},   {{{"rrl", 5000.7}}, 5000, false},
        {{{"rrl", 1e300}}, 600000, true},    {{{"rrl", -1e300}}, 250, false},
    };
    for (const Row& row : rows) {
        LogCapture log;
        EXPECT_EQ(gf_answerPause(row.answer, "rrl", 2000), row.pause_ms) << row.answer.dump();
        EXPECT_EQ(log.text().find("RT API rrl of ") != std::string::npos, row.logged) << row.answer.dump();
    }
}

TEST(AnswerValues, QnhFromTheWeatherData) {
    struct Row {
        json data;
        int qnh_hpa;
    };
    const Row rows[] = {
        {{{"QNH", 1020}}, 1020},
        {{{"QNH", 2992}}, 1013},  // hundredths of an inch of mercury
        {{{"QNH", 1100}}, 1100},
        {{{"QNH", 1101}}, 373},
        {{{"QNH", 1013.6}}, 1014},
        {{{"QNH", 1012.5}}, 1013},  // halves away from zero
        {{{"QNH", "1009"}}, 1009},
        {{{"QNH", "-5 hPa"}}, -5},
        {{{"QNH", "0000001020"}}, 1020},       // leading zeros are still a number
        {{{"QNH", "99999999999"}}, 1013},      // beyond int: no QNH
        {{{"QNH", " 1020"}}, 1013},
        {{{"QNH", "high"}}, 1013},
        {{{"QNH", nullptr}}, 1013},
        {{{"qnh", 1020}}, 1013},
        {json::object(), 1013},
        {json::array({1020}), 1013},
        {json(), 1013},
    };
    for (const Row& row : rows) EXPECT_EQ(extractQNH(row.data), row.qnh_hpa) << row.data.dump();
    EXPECT_THROW(extractQNH(json{{"QNH", 1e300}}), gsl::narrowing_error);
    EXPECT_THROW(extractQNH(json{{"QNH", 5e9}}), gsl::narrowing_error);
}

TEST(TrafficBox, FollowsTheUserAndTheRange) {
    TrafficReader traffic;
    const FeedBox start = traffic.liveBox.load();

    gf_updateTrafficBox(traffic, 0.00005, 0.00005, 40.0);  // no position yet
    EXPECT_EQ(traffic.liveBox.load().top, start.top);

    gf_updateTrafficBox(traffic, 52.3, 4.76, 40.0);
    FeedBox box = traffic.liveBox.load();
    EXPECT_NEAR(box.top - 52.3, 0.666187, 1e-6);
    EXPECT_NEAR(52.3 - box.bottom, 0.666187, 1e-6);
    EXPECT_LT(box.left, 4.76);
    EXPECT_NEAR(box.right - 4.76, 4.76 - box.left, 1e-9);

    gf_updateTrafficBox(traffic, 52.3001, 4.76, 40.0);  // moved too little
    EXPECT_EQ(traffic.liveBox.load().top, box.top);
    gf_updateTrafficBox(traffic, 52.3002, 4.76, 40.0);
    EXPECT_NEAR(traffic.liveBox.load().top, 52.3002 + 0.666187, 1e-6);
    gf_updateTrafficBox(traffic, 52.3002, 4.76, 20.0);  // a new range, no move
    EXPECT_NEAR(traffic.liveBox.load().top, 52.3002 + 0.333094, 1e-6);
}

// The lamps follow the readers' data state only once logged in, and are
// written only when that state changes, so a stopped reader's 3 stays.
TEST(ReaderLamps, FollowTheDataStateOnChangesOnly) {
    RecordingFeedEnv env;
    TrafficReader traffic;
    WeatherReader weather;
    gf_resetRtClients(traffic, weather);
    struct Step {
        const char* name;
        bool authenticated;
        bool weatherOk;
        std::int64_t count;
        int lampBefore;  // what the session start or a reader body wrote
        int weatherLamp;
        int trafficLamp;
    };
    const Step steps[] = {
        {"before the login", false, true, 4, 2, 2, 2},
        {"logged in, no data yet", true, false, 0, 1, 2, 2},
        {"weather and traffic arrive", true, true, 4, 2, 1, 1},
        {"a reader body stopped both", true, true, 7, 3, 3, 3},
        {"no data any more", true, false, 0, 3, 2, 2},
        {"still no data", true, false, 0, 3, 3, 3},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        g_authenticated = step.authenticated;
        weather.weatherOk = step.weatherOk;
        traffic.trafficCount = step.count;
        g_weatherLamp = step.lampBefore;
        g_trafficLamp = step.lampBefore;
        gf_updateReaderLamps(traffic, weather);
        EXPECT_EQ(g_weatherLamp.load(), step.weatherLamp);
        EXPECT_EQ(g_trafficLamp.load(), step.trafficLamp);
    }
    g_authenticated = false;
}

// A service that stops answering leaves the last batch's count standing: the
// traffic lamp must not stay green on it. Driven on the reader's own clock
// values, no waiting.
TEST(ReaderLamps, ASlowServiceShowsTheTrafficLampWaitingAndSaysWhy) {
    RecordingFeedEnv env;
    LogCapture log;
    TrafficReader traffic;
    WeatherReader weather;
    g_authenticated = true;
    weather.weatherOk = true;
    traffic.trafficCount = 12;
    traffic.receiving = true;
    traffic.answerDue_ms = 100000;
    struct Step {
        const char* name;
        std::int64_t now_ms;
        int trafficLamp;
        std::size_t statusLines;
    };
    const Step steps[] = {
        {"answers on time", 90000, 1, 0},
        {"the next answer is overdue", 105000, 2, 1},
        {"still none", 110000, 2, 2},
    };
    g_trafficLamp = 2;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        gf_updateReaderLamps(traffic, weather, step.now_ms);
        EXPECT_EQ(g_trafficLamp.load(), step.trafficLamp);
        EXPECT_EQ(env.statusLines.size(), step.statusLines);
    }
    ASSERT_FALSE(env.statusLines.empty());
    EXPECT_EQ(env.statusLines.back(), "RT traffic: no answer from the service for 20 seconds");
    // An answer came: the lamp is green again, and the log says so once.
    traffic.answerDue_ms = 200000;
    gf_updateReaderLamps(traffic, weather, 111000);
    EXPECT_EQ(g_trafficLamp.load(), 1);
    const std::string text = log.text();
    EXPECT_NE(text.find("RT traffic: the service answers again"), std::string::npos) << text;
    // A reader that has stopped is not slow: its lamp is the reader body's.
    traffic.receiving = false;
    gf_updateReaderLamps(traffic, weather, 900000);
    EXPECT_EQ(g_trafficLamp.load(), 1);
    g_authenticated = false;
}

TEST(ResetRtClients, BringsBothClientsToTheStartOfARun) {
    RecordingFeedEnv env;
    TrafficReader traffic;
    WeatherReader weather;
    traffic.GUID = weather.GUID = "g";
    traffic.toffset = weather.toffset = 600;
    traffic.stop = weather.stop = true;
    traffic.finished = weather.finished = true;
    traffic.rrl = 700;
    weather.wrrl = 800;
    traffic.qnh = 990;
    traffic.trafficCount = 12;
    traffic.collect = true;
    traffic.flightRecords.resize(3);
    traffic.blockReport = false;
    traffic.trafficLampLatch = false;
    gf_updateTrafficBox(traffic, 50.0, 8.0, 40.0);
    gf_setDataTime(1767700000.0);
    weather.qnh = 990;
    weather.weatherOk = true;
    weather.weatherLampLatch = false;
    weather.airports = "EDDF";

    gf_resetRtClients(traffic, weather);

    for (RtClient* client : {static_cast<RtClient*>(&traffic), static_cast<RtClient*>(&weather)}) {
        EXPECT_TRUE(client->GUID.empty());
        EXPECT_EQ(client->toffset.load(), 0);
        EXPECT_FALSE(client->stop.load());
        EXPECT_FALSE(client->finished.load());
        EXPECT_NE(client->handle(), nullptr);
    }
    // The pauses keep what the service said last.
    EXPECT_EQ(traffic.rrl, 700);
    EXPECT_EQ(weather.wrrl, 800);
    EXPECT_EQ(traffic.qnh.load(), 1013);
    EXPECT_EQ(traffic.trafficCount.load(), 0);
    EXPECT_FALSE(traffic.collect.load());
    EXPECT_TRUE(traffic.flightRecords.empty());
    EXPECT_TRUE(traffic.blockReport);
    EXPECT_TRUE(traffic.trafficLampLatch);
    EXPECT_EQ(traffic.boxRange, -1.0);
    EXPECT_EQ(traffic.boxCentreLat, 0.0);
    EXPECT_EQ(traffic.boxCentreLon, 0.0);
    const FeedBox box = traffic.liveBox.load();
    EXPECT_EQ(box.top, 52.44);
    EXPECT_EQ(box.bottom, 52.17);
    EXPECT_EQ(box.left, 4.54);
    EXPECT_EQ(box.right, 4.98);
    EXPECT_EQ(gf_dataTime(), 0.0);
    EXPECT_EQ(weather.qnh, 1013);
    EXPECT_FALSE(weather.weatherOk.load());
    EXPECT_TRUE(weather.weatherLampLatch);
    EXPECT_TRUE(weather.airports.empty());
}

// The value cap is sized to real answers: the five buffered snapshots of the
// busiest box (2,000 aircraft, entries as the service sends them, keyed by
// hexid) pass with room for twice as many aircraft.
TEST(AnswerValues, TheBusiestRealAnswerPassesTheValueCapWithRoomToSpare) {
    std::string text = R"({"status":200,"rrl":2000,"data":{)";
    for (int b = 0; b < 5; ++b) {
        text += fmt::format(R"({}"buffer_{}":{{)", b ? "," : "", b);
        for (int i = 0; i < 2000; ++i) {
            text += fmt::format(
                R"({}"{:06x}":["{:06x}",52.128342,5.944595,57.0,8999,282,"1000","0","B738","PH-{:03d}",1527694787.0,)"
                R"("EHAM","LEMD","TRA{:04d}",0,64,"TRA{:04d}","adsb_icao",9024,0,282,0,0,0,57.0,57.0,0,0,"A3","null",)"
                R"(0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0])",
                i ? "," : "", 0x400000 + i, 0x400000 + i, i % 1000, i, i);
        }
        text += "}";
    }
    text += "}}";
    std::string why;
    EXPECT_FALSE(gf_parseAnswer(text, false, kMaxTrafficAnswerValues / 2, &why).is_discarded()) << why;
}

}  // namespace
