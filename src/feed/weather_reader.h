// The Weather Reader: the nearest METAR station, then the local weather at
// the user's aircraft, for the QNH that corrects the received altitudes.
#pragma once

#include "feed/rt_client.h"

#include <atomic>
#include <string>

class TrafficReader;

class WeatherReader : public RtClient {
public:
    WeatherReader();

    // The loop; publishes each QNH to traffic. False with the status that
    // ended it (9999 when stopped).
    bool receive(int& status, TrafficReader& traffic);
    bool nearestmetar(int& status);

    void resetForRun();

    bool weatherLampLatch = false;
    std::string weatherResponse;
    std::string airports;
    int qnh = 1013;
    std::atomic<bool> weatherOk{false};

private:
    void publishQnh(int value, TrafficReader& traffic);

    CurlPtr m_wrcurl;
    CurlPtr m_nmcurl;
};

// The QNH in hPa from the "data" of a weather answer.
int extractQNH(const nlohmann::json& data);

void gf_runWeatherReader(WeatherReader& weather, TrafficReader& traffic);
