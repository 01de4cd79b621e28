#include "feed/feed_env.h"

#include "core/clock.h"
#include "core/exit_reason.h"
#include "core/log.h"

#include <atomic>
#include <chrono>
#include <thread>

#if __has_include("ui/status_line.h")
#include "ui/status_line.h"
#define GLIM_FEED_HAS_STATUS_LINE 1
#endif

// Until the settings, the traffic engine and the catalogue are wired in, the
// default environment gives the settings' defaults, takes batches the way an
// intake that refuses every batch does, and knows no registration or type.
FeedSettings FeedEnv::settings() { return FeedSettings{}; }

void FeedEnv::stopWithError(std::string_view name, bool restart) { gf_stopWithError(name, restart); }

void FeedEnv::setStatusLine(const std::string& text, bool log) {
#ifdef GLIM_FEED_HAS_STATUS_LINE
    gf_setStatusLine(text, log);
#else
    if (log) gf_logLine(text);
#endif
}

void FeedEnv::clearStatusLine() {
#ifdef GLIM_FEED_HAS_STATUS_LINE
    gf_clearStatusLine();
#endif
}

void FeedEnv::repaint() {}

void FeedEnv::takeTrafficBatch(std::vector<FlightRecord>& batch, int) {
    // An empty batch means no traffic time is known: the clock falls back to
    // the system time.
    if (batch.empty()) gf_setDataTime(0.0);
    batch.clear();
}

void FeedEnv::pushBlockedEvent(std::uint32_t) {}
void FeedEnv::publishEngineQnh(int) {}

std::optional<FeedDbaseRecord> FeedEnv::lookupRegistration(std::string_view) { return std::nullopt; }
std::vector<std::string> FeedEnv::registrationKeys(std::string_view registration) {
    return {std::string(registration)};
}
std::optional<FeedDbaseRecord> FeedEnv::findRegistrationKey(std::string_view) { return std::nullopt; }
bool FeedEnv::isKnownAcType(std::string_view) { return false; }
FeedCategory FeedEnv::acCategory(std::string_view) { return FeedCategory::large; }

FeedUserPosition FeedEnv::userPosition() { return {}; }
std::optional<FeedAirport> FeedEnv::parkAirport() { return std::nullopt; }

void FeedEnv::sleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::int64_t FeedEnv::systemTime() { return gf_systemTime(); }

namespace {
FeedEnv g_defaultFeedEnv;
std::atomic<FeedEnv*> g_feedEnv{nullptr};
}  // namespace

FeedEnv& gf_feedEnv() {
    FeedEnv* env = g_feedEnv.load();
    return env ? *env : g_defaultFeedEnv;
}

void gf_setFeedEnv(FeedEnv* env) { g_feedEnv.store(env); }
