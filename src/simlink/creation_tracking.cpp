#include "simlink/creation_tracking.h"

#include <fmt/format.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "core/log.h"
#include "core/run_flags.h"
#include "core/user_error.h"
#include "core/status_line.h"

namespace {

std::mutex g_trackingMutex;
std::unordered_map<std::uint32_t, std::string> g_rememberedTitles;
std::unordered_set<std::string> g_failedTitles;
std::unordered_set<std::string> g_failureReport;

}  // namespace

void gf_rememberLiveryTitle(std::uint32_t hexid, std::string_view title) {
    std::lock_guard lock(g_trackingMutex);
    g_rememberedTitles[hexid] = std::string(title);
}

std::string gf_rememberedLiveryTitle(std::uint32_t hexid) {
    std::lock_guard lock(g_trackingMutex);
    auto it = g_rememberedTitles.find(hexid);
    if (it == g_rememberedTitles.end()) return {};
    if (g_failedTitles.count(it->second)) {
        g_rememberedTitles.erase(it);
        return {};
    }
    return it->second;
}

void gf_clearRememberedLiveryTitles() {
    std::lock_guard lock(g_trackingMutex);
    g_rememberedTitles.clear();
}

bool gf_isFailedLiveryTitle(std::string_view title) {
    std::lock_guard lock(g_trackingMutex);
    return g_failedTitles.count(std::string(title)) != 0;
}

std::size_t gf_failedLiveryTitleCount() {
    std::lock_guard lock(g_trackingMutex);
    return g_failedTitles.size();
}

std::vector<std::string> gf_creationFailureReport() {
    std::lock_guard lock(g_trackingMutex);
    std::vector<std::string> out(g_failureReport.begin(), g_failureReport.end());
    std::sort(out.begin(), out.end());
    return out;
}

void gf_liveryCreationFailed(std::string_view callsign, std::string_view liveryTitle, std::string_view acType,
                             std::string_view airline) {
    if (!g_runStopping.load() && !g_userClosing.load())
        gf_setStatusLine(fmt::format("{} '{}' could not be created by your Sim!", callsign, liveryTitle), true);
    std::size_t failed = 0;
    {
        std::lock_guard lock(g_trackingMutex);
        g_failedTitles.insert(std::string(liveryTitle));
        g_failureReport.insert(fmt::format("{} {}", acType, airline));
        failed = g_failedTitles.size();
    }
    if (failed < kMaxFailedLiveryTitles) return;
    const std::string message = fmt::format("There are too many liveries that could not be created by {}!", "P3D");
    gf_logLine(fmt::format("\n{}Error 81, {}\n", "===> ", message));
    throw ozr::UserErrorException(81, fmt::format("{}, see Log.txt", message));
}

void gf_resetCreationTracking() {
    std::lock_guard lock(g_trackingMutex);
    g_rememberedTitles.clear();
    g_failedTitles.clear();
    g_failureReport.clear();
}
