#include "feed/feed_env.h"

#include "core/port_missing.h"
#include "core/settings.h"

#include <atomic>

FeedSettings gf_feedSettingsFromCore() {
    FeedSettings s;
    s.airborneOnly = AIRBORNE_ONLY.value();
    s.blockCallsign = BLOCK_CALLSIGN.get();
    s.range_nm = static_cast<double>(RANGE.value());
    s.lightAircraft = LIGHT_AIRCRAFT.value();
    s.highPerfAircraft = HIGH_PERF_AIRCRAFT.value();
    s.helicopters = HELICOPTERS.value();
    s.rtParkTrafficOnly = RT_PARKTRAFFIC_ONLY.value();
    s.maxFit = MAX_FIT.value();
    return s;
}

namespace {
std::atomic<FeedEnv*> g_feedEnv{nullptr};
}  // namespace

FeedEnv& gf_feedEnv() {
    FeedEnv* env = g_feedEnv.load();
    if (!env) gf_portNotInstalled("the live feed's environment");
    return *env;
}

void gf_setFeedEnv(FeedEnv* env) { g_feedEnv.store(env); }
