#include "core/status_line.h"

#include "core/log.h"
#include "core/run_flags.h"
#include "core/ui_sink.h"

#include <fmt/format.h>

#include <algorithm>
#include <mutex>

namespace {

// Lives after 25 per-second ticks.
constexpr std::int32_t kStatusLifetimeTicks = 25;

// Plain, non-recursive: nothing done under it calls back into the status line.
// Lock order: this mutex, then the log's.
std::mutex g_statusMutex;
std::string g_statusText;
std::string g_errorText;
std::int32_t g_statusStamp = 0;
std::int32_t g_statusLife_ticks = kStatusLifetimeTicks;
std::string g_notice;
std::string g_airportNotice;

bool lf_stopping() { return g_runStopping.load() || g_userClosing.load(); }

// Called with g_statusMutex held.
void lf_setStatusLocked(std::string_view text, bool log, std::int32_t life_ticks = kStatusLifetimeTicks) {
    if (!g_errorText.empty()) return;
    g_statusText.assign(text);
    g_statusStamp = text.empty() ? 0 : std::max<std::int32_t>(1, g_tickCount.load());
    g_statusLife_ticks = life_ticks;
    if (log && !text.empty() && !lf_stopping()) gf_logLine(text);
    gf_uiSink().invalidateBand(UiBand::status);
}

}  // namespace

void gf_setStatusLine(std::string_view text, bool log) {
    std::lock_guard lock(g_statusMutex);
    lf_setStatusLocked(text, log);
}

void gf_setLastingStatusLine(std::string_view text, bool log, std::int32_t life_ticks) {
    std::lock_guard lock(g_statusMutex);
    lf_setStatusLocked(text, log, std::max(kStatusLifetimeTicks, life_ticks));
}

void gf_clearStatusLine() { gf_setStatusLine({}, true); }

void gf_clearStatusLineIf(std::string_view text) {
    std::lock_guard lock(g_statusMutex);
    if (!text.empty() && g_statusText == text) lf_setStatusLocked({}, true);
}

void gf_setErrorLine(std::string_view text) {
    std::lock_guard lock(g_statusMutex);
    g_statusText.clear();
    g_statusStamp = 0;
    g_errorText.assign(text);
    if (!lf_stopping()) gf_logLine(fmt::format("Error {}", g_errorText));
    gf_uiSink().invalidateBand(UiBand::status);
}

void gf_emptyErrorText() {
    std::lock_guard lock(g_statusMutex);
    g_errorText.clear();
    gf_uiSink().invalidateBand(UiBand::status);
}

void gf_resetStatusStamp() {
    std::lock_guard lock(g_statusMutex);
    g_statusStamp = 0;
}

void gf_clearStatusLineWhenDue() {
    std::lock_guard lock(g_statusMutex);
    if (g_statusStamp >= 1 && g_tickCount.load() - g_statusStamp >= g_statusLife_ticks)
        lf_setStatusLocked({}, true);
}

void gf_resetStatusLine() {
    std::lock_guard lock(g_statusMutex);
    g_statusText.clear();
    g_errorText.clear();
    g_statusStamp = 0;
    g_statusLife_ticks = kStatusLifetimeTicks;
    g_notice.clear();
    g_airportNotice.clear();
}

void gf_setSettingsNotice(std::string_view text) {
    std::lock_guard lock(g_statusMutex);
    g_notice.assign(text);
    gf_uiSink().invalidateBand(UiBand::status);
}

void gf_setAirportNotice(std::string_view text) {
    std::lock_guard lock(g_statusMutex);
    g_airportNotice.assign(text);
    gf_uiSink().invalidateBand(UiBand::status);
}

StatusLineSnapshot gf_statusLineSnapshot() {
    std::lock_guard lock(g_statusMutex);
    return {g_statusText, g_errorText, g_statusStamp, g_notice, g_airportNotice};
}

StatusBandLook gf_statusBandLook(const StatusLineSnapshot& snapshot) {
    const bool error = !snapshot.errorText.empty();
    StatusBandLook look;
    look.fill = error ? kErrorBandColour : kStatusBandColour;
    look.text = error ? snapshot.errorText : snapshot.statusText;
    // One line holds both notices, the settings one first.
    look.notice = snapshot.notice;
    if (!look.notice.empty() && !snapshot.airportNotice.empty()) look.notice += "   ";
    look.notice += snapshot.airportNotice;
    if (!look.notice.empty()) look.textY = kBelowNoticeTextY;
    return look;
}
