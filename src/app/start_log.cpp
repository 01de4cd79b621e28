#include "app/start_log.h"

#include "app/app_info.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/version.h"

#include <fmt/format.h>

std::string gf_logHeaderLine(std::int64_t utcSeconds) {
    // The same version the settings and the downloads use, so the header
    // never names a different one; the time is the system time, never the
    // shifted traffic time.
    return fmt::format("{} (utc) {} version {} for {}", gf_formatTime(utcSeconds), kAppName, g_programVersion.text(),
                       kSimName);
}

bool lf_openLog(const std::filesystem::path& logPath) {
    gf_saveUpto3GenerationsOf(logPath);
    if (!gf_logOpen(logPath)) return false;
    gf_logLine(gf_logHeaderLine(gf_systemTime()));
    // On disk at once: a start that fails early still leaves its header.
    gf_logFlush();
    return true;
}
