#include "feed/reader_services.h"

#include "core/geometry.h"
#include "core/log.h"
#include "feed/feed_window_values.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

TrafficReader g_trafficReader;
WeatherReader g_weatherReader;

namespace {
constexpr double kNmToDegLat = 1.852 / 111.2;
constexpr double kFtPerNm = 6076.11549;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kBoxMoveThreshold_deg = 0.00015;
}  // namespace

void gf_trafficReader() { gf_runTrafficReader(g_trafficReader, g_weatherReader); }
void gf_weatherReader() { gf_runWeatherReader(g_weatherReader, g_trafficReader); }

void gf_updateReaderLamps(TrafficReader& traffic, WeatherReader& weather) {
    gf_updateReaderLamps(traffic, weather, TrafficReader::steadyNowMs());
}

namespace {

// A service that answers too slowly, or not at all, leaves the last batch's
// count standing: the lamp would stay green while no traffic comes. It shows
// waiting instead, and the status line says why.
bool lf_reportSlowService(TrafficReader& traffic, std::int64_t now_ms, FeedEnv& env) {
    const bool late = traffic.answersLate(now_ms);
    if (late) {
        const std::int64_t waited_s = (now_ms - traffic.answerDue_ms.load()) / 1000 + 10;
        env.setStatusLine(fmt::format("RT traffic: no answer from the service for {} seconds", waited_s),
                          !traffic.slowReported);
        traffic.slowReported = true;
    } else if (traffic.slowReported) {
        traffic.slowReported = false;
        gf_logLine("RT traffic: the service answers again");
        env.clearStatusLine();
    }
    return late;
}

}  // namespace

void gf_updateReaderLamps(TrafficReader& traffic, WeatherReader& weather, std::int64_t now_ms) {
    if (!g_authenticated) return;
    FeedEnv& env = gf_feedEnv();
    if (!weather.weatherOk && weather.weatherLampLatch) {
        g_weatherLamp = 2;
        env.repaint();
        weather.weatherLampLatch = false;
    } else if (weather.weatherOk && !weather.weatherLampLatch) {
        weather.weatherLampLatch = true;
        g_weatherLamp = 1;
        env.repaint();
    }
    const bool late = lf_reportSlowService(traffic, now_ms, env);
    const std::int64_t count = late ? 0 : traffic.trafficCount.load();
    if (count < 1 && traffic.trafficLampLatch) {
        g_trafficLamp = 2;
        env.repaint();
        traffic.trafficLampLatch = false;
    } else if (count >= 1 && !traffic.trafficLampLatch) {
        traffic.trafficLampLatch = true;
        g_trafficLamp = 1;
        env.repaint();
    }
}

void gf_updateReaderLamps() { gf_updateReaderLamps(g_trafficReader, g_weatherReader); }

void gf_updateTrafficBox(TrafficReader& traffic, double userLat, double userLon, double range_nm) {
    if (std::fabs(userLat) < 0.0001 && std::fabs(userLon) < 0.0001) return;
    if (std::fabs(userLat - traffic.boxCentreLat) < kBoxMoveThreshold_deg &&
        std::fabs(userLon - traffic.boxCentreLon) < kBoxMoveThreshold_deg && range_nm == traffic.boxRange) {
        return;
    }
    traffic.boxRange = range_nm;
    const double d = range_nm * kNmToDegLat;
    traffic.boxCentreLat = userLat;
    traffic.boxCentreLon = userLon;
    FeedBox box;
    box.top = userLat + d;
    box.bottom = userLat - d;
    box.left = gf_destinationPoint({userLat, userLon}, -kHalfPi, range_nm * kFtPerNm).lon;
    box.right = gf_destinationPoint({userLat, userLon}, kHalfPi, range_nm * kFtPerNm).lon;
    traffic.liveBox.store(box);
}

void gf_updateTrafficBox() {
    FeedEnv& env = gf_feedEnv();
    const FeedUserPosition user = env.userPosition();
    gf_updateTrafficBox(g_trafficReader, user.lat, user.lon, env.settings().range_nm);
}

void gf_resetRtClients(TrafficReader& traffic, WeatherReader& weather) {
    traffic.resetForRun();
    weather.resetForRun();
}

void gf_resetRtClients() { gf_resetRtClients(g_trafficReader, g_weatherReader); }

void gf_applyTimeOffset(std::int32_t minutes) {
    const std::int32_t m = std::clamp<std::int32_t>(minutes, 0, kMaxTimeOffset_min);
    g_trafficReader.toffset = m;
    g_weatherReader.toffset = m;
}
