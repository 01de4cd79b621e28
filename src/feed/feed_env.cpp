#include "feed/feed_env.h"

#include "core/clock.h"
#include "core/exit_reason.h"
#include "core/settings.h"
#include "core/status_line.h"
#include "core/ui_sink.h"

#include <atomic>
#include <chrono>
#include <thread>

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

// ---- Parts in the core ----

FeedSettings FeedEnv::settings() { return gf_feedSettingsFromCore(); }

void FeedEnv::stopWithError(std::string_view name, bool restart) { gf_stopWithError(name, restart); }

void FeedEnv::setStatusLine(const std::string& text, bool log) { gf_setStatusLine(text, log); }

void FeedEnv::clearStatusLine() { gf_clearStatusLine(); }

// The lamps, the QNH and the authenticated mark are painted in the counter band.
void FeedEnv::repaint() { gf_uiSink().invalidateBand(UiBand::counters); }

void FeedEnv::sleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::int64_t FeedEnv::systemTime() { return gf_systemTime(); }

// ---- Parts outside the feed's library: neutral answers ----

// No traffic engine: a batch is dropped the way an intake that refuses every
// batch drops it. An empty batch still means that no traffic time is known,
// so the clock falls back to the system time.
void FeedEnv::takeTrafficBatch(std::vector<FlightRecord>& batch, int) {
    if (batch.empty()) gf_setDataTime(0.0);
    batch.clear();
}

// No object-event queue and no engine QNH.
void FeedEnv::pushBlockedEvent(std::uint32_t) {}
void FeedEnv::publishEngineQnh(int) {}

// No Dbase: no registration and no type is known, so every parked entry
// is dropped at the type filter.
std::optional<FeedDbaseRecord> FeedEnv::lookupRegistration(std::string_view) { return std::nullopt; }
std::vector<std::string> FeedEnv::registrationKeys(std::string_view registration) {
    return {std::string(registration)};
}
std::optional<FeedDbaseRecord> FeedEnv::findRegistrationKey(std::string_view) { return std::nullopt; }
bool FeedEnv::isKnownAcType(std::string_view) { return false; }
FeedCategory FeedEnv::acCategory(std::string_view) { return FeedCategory::large; }

// No user aircraft state and no park airport.
FeedUserPosition FeedEnv::userPosition() { return {}; }
std::optional<FeedAirport> FeedEnv::parkAirport() { return std::nullopt; }

namespace {
FeedEnv g_defaultFeedEnv;
std::atomic<FeedEnv*> g_feedEnv{nullptr};
}  // namespace

FeedEnv& gf_feedEnv() {
    FeedEnv* env = g_feedEnv.load();
    return env ? *env : g_defaultFeedEnv;
}

void gf_setFeedEnv(FeedEnv* env) { g_feedEnv.store(env); }
