#include "feed/weather_reader.h"

#include "core/clock.h"
#include "core/log.h"
#include "core/text.h"
#include "feed/feed_env.h"
#include "feed/feed_window_values.h"
#include "feed/traffic_reader.h"

#include <fmt/format.h>
#include <gsl/narrow>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <system_error>

namespace {

constexpr int kStandardQnh_hpa = 1013;
constexpr int kMinQnh_hpa = 900;
constexpr int kMaxQnh_hpa = 1100;
// From this value on the service gives hundredths of an inch of mercury.
constexpr int kInHgThreshold = 1101;
constexpr double kHpaPerHundredthInHg = 0.33865307;

int lf_roundToInt(double v) {
    const double r = std::round(v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw gsl::narrowing_error();
    return static_cast<int>(r);
}

}  // namespace

int extractQNH(const nlohmann::json& data) {
    if (!data.is_object() || data.empty() || !data.contains("QNH")) {
        gf_logHighlight("No QNH found in data");
        return kStandardQnh_hpa;
    }
    const auto& v = data["QNH"];
    int value;
    if (v.is_number_integer()) {
        // Beyond int: the narrowing error, like any value that does not fit.
        if (v.is_number_unsigned()) {
            value = gsl::narrow<int>(v.get<std::uint64_t>());
        } else {
            value = gsl::narrow<int>(v.get<std::int64_t>());
        }
    } else if (v.is_number_float()) {
        // Read in single precision; beyond its range the value cannot fit an
        // int either.
        const double d = v.get<double>();
        if (!(std::fabs(d) <= std::numeric_limits<float>::max())) throw gsl::narrowing_error();
        value = lf_roundToInt(static_cast<float>(d));
    } else if (v.is_string()) {
        // A decimal integer at the start of the text (leading zeros and all),
        // whatever follows ignored; no number there, or one beyond int, is no
        // QNH.
        const std::string text = v.get<std::string>();
        if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc()) {
            gf_logHighlight(fmt::format("{}: {}", "extractQNH", gf_logExcerpt(text)));
            return kStandardQnh_hpa;
        }
    } else {
        gf_logHighlight("No QNH found in data");
        return kStandardQnh_hpa;
    }
    if (value >= kInHgThreshold) value = lf_roundToInt(value * kHpaPerHundredthInHg);
    return value;
}

WeatherReader::WeatherReader() : m_wrcurl(gf_newCurlHandle("wrcurl_")), m_nmcurl(gf_newCurlHandle("nmcurl_")) {
    weatherResponse.reserve(16384);
}

void WeatherReader::publishQnh(int value, TrafficReader& traffic) {
    qnh = value;
    traffic.qnh.exchange(value);
    FeedEnv& env = gf_feedEnv();
    env.publishEngineQnh(value);
    g_qnhShown = value;
    int idle = 2;
    g_weatherLamp.compare_exchange_strong(idle, 1);
    env.repaint();
}

bool WeatherReader::nearestmetar(int& status) {
    if (GUID.empty()) {
        pause(wrrl);
        return false;
    }
    bool found = false;
    try {
        const FeedUserPosition user = gf_feedEnv().userPosition();
        const std::string body =
            fmt::format("GUID={}&toffset={}&lat={:.4F}&lon={:.4F}", gf_formValue(GUID), toffset.load(), user.lat, user.lon);
        const CURLcode code = gf_rtPost(m_nmcurl.get(), "nmcurl_", "/v4/nearestmetar", body, weatherResponse, &stop);
        if (code != CURLE_OK) {
            // A transfer the stop aborted is the run closing down, no fault.
            if (!stop) {
                gf_logHighlight(fmt::format("{} nearestmetar code: {}", gf_formatTime(gf_now()), curl_easy_strerror(code)));
            }
        } else if (weatherResponse.empty()) {
            gf_logHighlight(fmt::format("nearest metar: {}", gf_rtEmptyAnswer(m_nmcurl.get())));
        } else {
            std::string whyRefused;
            const auto answer = gf_parseAnswer(weatherResponse, false, kMaxSmallAnswerValues, &whyRefused);
            if (answer.is_discarded()) {
                gf_logHighlight("nearest metar: invalid JSON");
                gf_logContinuation(whyRefused);
            } else {
                const int st = gf_answerStatus(answer);
                if (st == 200) {
                    const auto it = answer.find("data");
                    if (it == answer.end() || it->is_null() || it->empty()) {
                        airports.clear();
                    } else {
                        // Data that is not an array throws the JSON library's type error here.
                        const std::string icao = lf_jsonString((*it)[0], "ICAO", "");
                        if (!icao.empty()) {
                            airports = icao;
                            weatherOk = true;
                            found = true;
                        } else {
                            airports.clear();
                        }
                    }
                } else {
                    status = st;
                    if (st == 406 || st == 500) {
                        gf_logHighlight(fmt::format("{} json nearestmetar {}", st, gf_jsonMessage(answer)));
                    }
                }
            }
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: {}", "nearestmetar", gf_logExcerpt(e.what())));
    }
    pause(wrrl);
    return found;
}

bool WeatherReader::receive(int& status, TrafficReader& traffic) {
    if (GUID.empty()) return false;
    for (;;) {
        if (stop) {
            status = kReaderStopped;
            return false;
        }
        try {
            status = 0;
            if (!nearestmetar(status)) {
                if (status == 400 || status == 401) {
                    if (stop) status = kReaderStopped;
                    return false;
                }
                pause(wrrl);
                continue;
            }
            const FeedUserPosition user = gf_feedEnv().userPosition();
            // Below 1 ft (and a NaN) is 0; the bound keeps the conversion defined.
            const long long alt = !(user.alt_ft >= 1.0) ? 0 : static_cast<long long>(std::trunc(std::min(user.alt_ft, 1e15)));
            const std::string body =
                fmt::format("GUID={}&querytype=locwx&toffset={}&lat={:.4F}&lon={:.4F}&alt={}&airports={}",
                            gf_formValue(GUID), toffset.load(), user.lat, user.lon, alt, gf_formValue(airports));
            const CURLcode code = gf_rtPost(m_wrcurl.get(), "wrcurl_", "/v4/weather", body, weatherResponse, &stop);
            if (code != CURLE_OK || weatherResponse.empty()) {
                if (!stop) {
                    if (code != CURLE_OK) {
                        gf_logHighlight(fmt::format("{} weather code: {}", gf_formatTime(gf_now()), curl_easy_strerror(code)));
                    } else {
                        gf_logHighlight("Empty content?, no QNH to be found");
                    }
                }
                pause(wrrl);
                continue;
            }
            std::string whyRefused;
            const auto answer = gf_parseAnswer(weatherResponse, false, kMaxSmallAnswerValues, &whyRefused);
            if (answer.is_discarded()) {
                // The start tells a proxy's page from a damaged answer; a
                // hostile answer of megabytes must not go into Log.txt whole
                // at every poll.
                gf_logHighlight(fmt::format("Invalid JSON: {}", gf_logExcerpt(weatherResponse)));
                gf_logContinuation(whyRefused);
                pause(wrrl);
                continue;
            }
            const int st = gf_answerStatus(answer);
            if (st == 200) {
                wrrl = gf_answerPause(answer, "wrrl", kDefaultPause_ms);
                const auto it = answer.find("data");
                const int value = std::clamp(extractQNH(it != answer.end() ? *it : nlohmann::json()), kMinQnh_hpa, kMaxQnh_hpa);
                if (value != qnh || value == kStandardQnh_hpa) publishQnh(value, traffic);
                weatherOk = true;
            } else if (st == 406 || st == 500) {
                status = st;
                gf_logHighlight(fmt::format("{} json weather {}", st, gf_jsonMessage(answer)));
                weatherOk = false;
            } else {
                status = stop ? kReaderStopped : st;
                return false;
            }
        } catch (const std::exception& e) {
            gf_logHighlight(fmt::format("{}: {}", "receive", gf_logExcerpt(e.what())));
        }
        pause(wrrl);
    }
}

void WeatherReader::resetForRun() {
    reset();
    m_wrcurl = gf_newCurlHandle("wrcurl_");
    m_nmcurl = gf_newCurlHandle("nmcurl_");
    weatherResponse.clear();
    qnh = kStandardQnh_hpa;
    weatherOk = false;
    weatherLampLatch = true;
    airports.clear();
}

void gf_runWeatherReader(WeatherReader& weather, TrafficReader& traffic) {
    gf_runReaderThread(weather, traffic, g_weatherLamp, {"Weather Reader", "Weather", "gf_weatherReader"},
                       [&weather, &traffic](int& status) { return weather.receive(status, traffic); });
}
