// The worker's small services of the feed: the reader lamps, the box of the
// live requests and the reset of both clients between runs; and the one
// Traffic Reader and Weather Reader of the program.
#pragma once

#include "feed/traffic_reader.h"
#include "feed/weather_reader.h"

extern TrafficReader g_trafficReader;
extern WeatherReader g_weatherReader;

// Thread bodies of the "Traffic Reader" and "Weather Reader" threads.
void gf_trafficReader();
void gf_weatherReader();

void gf_updateReaderLamps(TrafficReader& traffic, WeatherReader& weather);
// As above at the steady-clock time now_ms: a traffic answer overdue shows
// the traffic lamp waiting and a status line.
void gf_updateReaderLamps(TrafficReader& traffic, WeatherReader& weather, std::int64_t now_ms);
void gf_updateReaderLamps();
// Centres the live box on the user's aircraft, sized by range_nm.
void gf_updateTrafficBox(TrafficReader& traffic, double userLat, double userLon, double range_nm);
void gf_updateTrafficBox();
void gf_resetRtClients(TrafficReader& traffic, WeatherReader& weather);
void gf_resetRtClients();
// The time shift in minutes for both clients' next requests (0..20160).
void gf_applyTimeOffset(std::int32_t minutes);
