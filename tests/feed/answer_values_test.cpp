// Values taken from the service's answers (status, pauses, QNH) and the box
// of the live requests, one row per case.
#include "feed/reader_services.h"
#include "feed/rt_client.h"
#include "feed/weather_reader.h"

#include <gsl/narrow>
#include <gtest/gtest.h>

#include <climits>

using nlohmann::json;

namespace {

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

TEST(AnswerValues, PausesAreClampedToASaneRange) {
    ASSERT_EQ(gf_rtPaceLimits().min_ms, 250);
    ASSERT_EQ(gf_rtPaceLimits().max_ms, 30000);
    struct Row {
        json answer;
        int pause_ms;
    };
    const Row rows[] = {
        {json::object(), 2000},        {{{"rrl", 5000}}, 5000}, {{{"rrl", 0}}, 250},
        {{{"rrl", -5}}, 250},          {{{"rrl", 99999999}}, 30000}, {{{"rrl", 5000.7}}, 5000},
        {{{"rrl", 1e300}}, 30000},     {{{"rrl", -1e300}}, 250},
    };
    for (const Row& row : rows) EXPECT_EQ(gf_answerPause(row.answer, "rrl", 2000), row.pause_ms) << row.answer.dump();
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

}  // namespace
