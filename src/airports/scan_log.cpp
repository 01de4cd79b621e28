#include "airports/scan_log.h"

#include "core/log.h"
#include "core/text_encoding.h"

#include <mutex>

namespace {

constexpr std::size_t kScanLogReserveLines = 2048;

std::mutex g_scanLogMutex;
std::vector<std::string> g_scanLog;

}  // namespace

void gf_addScanLogLine(std::string line) {
    std::lock_guard lock(g_scanLogMutex);
    g_scanLog.push_back(std::move(line));
}

void gf_startScanLog() {
    std::lock_guard lock(g_scanLogMutex);
    g_scanLog.clear();
    g_scanLog.reserve(kScanLogReserveLines);
}

std::vector<std::string> gf_scanLogLines() {
    std::lock_guard lock(g_scanLogMutex);
    return g_scanLog;
}

void gf_clearScanLog() {
    std::lock_guard lock(g_scanLogMutex);
    g_scanLog.clear();
}

std::string gf_scanPathUtf8(const std::filesystem::path& path) {
    try {
        return gf_pathToUtf8(path);
    } catch (const std::exception&) {
        return path.generic_string();
    }
}

void gf_logLineFlushed(const std::string& text) {
    gf_logLine(text);
    gf_logFlush();
}
