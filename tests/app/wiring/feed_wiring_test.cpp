// The live feed as the program's wiring connects it: the Weather Reader's
// QNH, taken from the service stand-in's weather answer, reaches the Traffic
// engine's QNH that the air motion corrects altitudes with, and the weather
// is asked for where the simulator link says the user aircraft is.
#include "app/wiring/feed_services.h"

#include "feed/feed_env.h"
#include "feed/login.h"
#include "feed/rt_client.h"
#include "feed/traffic_reader.h"
#include "feed/weather_reader.h"
#include "feed/rtstub_process.h"
#include "simlink/sim_client.h"
#include "support/test_env.h"
#include "traffic/traffic_state.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

class FeedWiring : public ::testing::Test {
protected:
    // Whatever the test reached, the process's state goes back to its start.
    void TearDown() override {
        g_engineQnh = 1013;
        gf_setUserAcData(UserAcData{});
        gf_setFeedEnv(nullptr);
        gf_rtPaceLimits() = RtPaceLimits{};
        setTestEnv("GLIM_RT_BASE_URL", "");
        setTestEnv("GLIM_RT_LICENSE", "");
        gf_resetRtCredential();
    }
};

TEST_F(FeedWiring, TheWeatherReadersQnhReachesTheEngine) {
    std::string whyNot;
    auto stub = RtStubProcess::start({"amsterdam.json", 10, 10}, whyNot);
    if (!stub) {
#ifdef _WIN32
        // Under Wine the native stand-in may not be at hand.
        GTEST_SKIP() << whyNot;
#else
        FAIL() << whyNot;
#endif
    }
    setTestEnv("GLIM_RT_BASE_URL", stub->baseUrl());
    setTestEnv("GLIM_RT_LICENSE", "wiring-licence");
    gf_resetRtCredential();
    gf_rtPaceLimits().min_ms = 1;
    lf_wireFeed();
    UserAcData user;
    user.lat_deg = 52.3086;
    user.lon_deg = 4.7639;
    user.alt_ft = 1200.4;
    gf_setUserAcData(user);
    g_engineQnh = 1013;

    WeatherReader weather;
    TrafficReader traffic;
    int status = 0;
    ASSERT_TRUE(authenticate(weather, status)) << status;
    traffic.GUID = weather.GUID;
    weather.wrrl = 10;
    std::thread reader([&] {
        int end = 0;
        weather.receive(end, traffic);
    });
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (g_engineQnh.load() == 1013 && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    weather.stop = true;
    reader.join();

    // The stand-in's Amsterdam weather holds QNH 1020.
    EXPECT_EQ(g_engineQnh.load(), 1020);
    EXPECT_EQ(traffic.qnh.load(), 1020);
    const auto asked = stub->records("weather");
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0]["form"]["lat"], "52.3086");
    EXPECT_EQ(asked[0]["form"]["lon"], "4.7639");
    EXPECT_EQ(asked[0]["form"]["alt"], "1200");
}

}  // namespace
