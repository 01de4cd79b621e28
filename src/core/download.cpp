#include "core/download.h"

#include "core/endpoint_url.h"
#include "core/files.h"
#include "core/log.h"
#include "core/run_flags.h"
#include "core/text_encoding.h"
#include "core/version.h"

#include <fmt/format.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::mutex g_limitsMutex;
DownloadLimits g_limits;

// For log lines written while handling an error: a path that cannot be
// converted must not raise a second error.
std::string lf_pathTextOrPlaceholder(const fs::path& path) noexcept {
    try {
        return gf_pathToUtf8(path);
    } catch (...) {
        return "<unconvertible path>";
    }
}

size_t lf_curlWriteToFile(char* data, size_t size, size_t count, void* userData) {
    auto* file = static_cast<std::ofstream*>(userData);
    const size_t bytes = size * count;
    file->write(data, static_cast<std::streamsize>(bytes));
    // A short count makes libcurl stop the transfer with a write error.
    return file->good() ? bytes : 0;
}

// A user who closes the window, or a run that ends, must not wait for a slow
// download to finish.
int lf_curlProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return (g_runStopping.load() || g_userClosing.load()) ? 1 : 0;
}

CURLcode lf_setOptions(CURL* handle, const std::string& url, std::ofstream& file) {
    const DownloadLimits limits = gf_downloadLimits();
    CURLcode rc = CURLE_OK;
    const auto set = [&](CURLoption option, auto value) {
        if (rc == CURLE_OK) rc = curl_easy_setopt(handle, option, value);
    };
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_USERAGENT, "GLIM");
    set(CURLOPT_WRITEFUNCTION, &lf_curlWriteToFile);
    set(CURLOPT_WRITEDATA, static_cast<void*>(&file));
    set(CURLOPT_FAILONERROR, 1L);
    set(CURLOPT_CONNECTTIMEOUT, limits.connectTimeout_s);
    set(CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedLimit_bytesPerS);
    set(CURLOPT_LOW_SPEED_TIME, limits.lowSpeedTime_s);
    set(CURLOPT_XFERINFOFUNCTION, &lf_curlProgress);
    set(CURLOPT_NOPROGRESS, 0L);
    // Time-outs must not be delivered by signals in a threaded program.
    set(CURLOPT_NOSIGNAL, 1L);
    return rc;
}

void lf_removePart(const fs::path& part) noexcept {
    std::error_code ec;
    fs::remove(part, ec);
}

}  // namespace

std::string gf_siteBaseUrl() {
    std::string base = gf_endpointFromEnv("GLIM_SITE_BASE_URL").value_or(std::string(kDefaultSiteBaseUrl));
    if (base.back() != '/') base += '/';
    return base;
}

DownloadLimits gf_downloadLimits() {
    std::lock_guard lock(g_limitsMutex);
    return g_limits;
}

void gf_setDownloadLimits(const DownloadLimits& limits) {
    std::lock_guard lock(g_limitsMutex);
    g_limits = limits;
}

void gf_resetDownloadLimits() { gf_setDownloadLimits(DownloadLimits{}); }

bool gf_downloadFile(CURL* handle, const std::string& url, const fs::path& output, bool binary) {
    if (!handle) return false;
    fs::path part;
    try {
        part = output;
        part += ".part";
        CURLcode rc = CURLE_OK;
        {
            const auto mode = binary ? (std::ios::out | std::ios::trunc | std::ios::binary)
                                     : (std::ios::out | std::ios::trunc);
            std::ofstream file(part, mode);
            if (!file) {
                gf_logLine(fmt::format("Could not open output file: {}", gf_pathToUtf8(output)));
                return false;
            }
            rc = lf_setOptions(handle, url, file);
            if (rc == CURLE_OK) rc = curl_easy_perform(handle);
            file.close();
            if (rc == CURLE_OK && file.fail()) rc = CURLE_WRITE_ERROR;
        }
        if (rc != CURLE_OK) {
            gf_logLine(fmt::format("Download error: '{}' for {}", curl_easy_strerror(rc), url));
            lf_removePart(part);
            return false;
        }
        std::error_code ec;
        if (!gf_replaceFile(part, output, ec)) throw fs::filesystem_error("rename", part, output, ec);
        return true;
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("Downloader exception: '{}', {} => {}", e.what(), url, lf_pathTextOrPlaceholder(output)));
    }
    if (!part.empty()) lf_removePart(part);
    return false;
}

bool gf_downloadFromSite(std::string_view fileName, const fs::path& output) {
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), &curl_easy_cleanup);
    const std::string url = fmt::format("{}{}/{}", gf_siteBaseUrl(), g_programVersion.major, fileName);
    const bool ok = gf_downloadFile(handle.get(), url, output, true);
    if (ok) {
        gf_logLine(fmt::format("Downloaded '{}' to '{}'", url, lf_pathTextOrPlaceholder(output)));
    } else {
        gf_logHighlight(fmt::format("Downloading '{}' failed !", url));
    }
    return ok;
}
