#include "core/download.h"

#include "core/endpoint_url.h"
#include "core/files.h"
#include "core/log.h"
#include "core/run_flags.h"
#include "core/text_encoding.h"
#include "core/version.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
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

constexpr long kHttpOk = 200;
// A superseded transfer notices its cancel mark at its next progress call,
// which libcurl makes at least once a second.
constexpr std::chrono::seconds kSupersedeWait{60};

// One running transfer into a target. A newer download of the same target
// cancels it and waits until it has left, so that only one fetch at a time
// writes a target and an older answer never lands over a newer one.
struct Transfer {
    std::atomic<bool> cancel{false};
};
std::mutex g_transfersMutex;
std::condition_variable g_transfersChanged;
std::map<fs::path, std::shared_ptr<Transfer>> g_transfers;
std::atomic<std::uint64_t> g_partCounter{0};

fs::path lf_targetKey(const fs::path& output) { return fs::absolute(output).lexically_normal(); }

// Ends any transfer into key and waits (bounded) until it has left; with
// claim the caller's own transfer takes the target's place.
std::shared_ptr<Transfer> lf_takeTarget(const fs::path& key, bool claim) {
    std::unique_lock lock(g_transfersMutex);
    const auto until = std::chrono::steady_clock::now() + kSupersedeWait;
    while (true) {
        const auto it = g_transfers.find(key);
        if (it == g_transfers.end()) break;
        it->second->cancel = true;
        if (g_transfersChanged.wait_until(lock, until) == std::cv_status::timeout) return nullptr;
    }
    if (!claim) return nullptr;
    auto transfer = std::make_shared<Transfer>();
    g_transfers[key] = transfer;
    return transfer;
}

void lf_releaseTarget(const fs::path& key, const std::shared_ptr<Transfer>& transfer) noexcept {
    std::lock_guard lock(g_transfersMutex);
    const auto it = g_transfers.find(key);
    if (it != g_transfers.end() && it->second == transfer) g_transfers.erase(it);
    g_transfersChanged.notify_all();
}

struct Sink {
    std::ofstream* file = nullptr;
    std::uint64_t max_bytes = 0;
    std::uint64_t bytes = 0;
    bool oversize = false;
};

size_t lf_curlWriteToFile(char* data, size_t size, size_t count, void* userData) {
    auto* sink = static_cast<Sink*>(userData);
    const size_t bytes = size * count;
    sink->bytes += bytes;
    if (sink->bytes > sink->max_bytes) {
        sink->oversize = true;
        return 0;
    }
    sink->file->write(data, static_cast<std::streamsize>(bytes));
    // A short count makes libcurl stop the transfer with a write error.
    return sink->file->good() ? bytes : 0;
}

// The time one file may take (see DownloadCaps), watched from the progress
// calls: the low-speed limit alone lets a site that sends a little every few
// seconds hold the start-up for as long as it likes.
struct Clock {
    const Transfer* transfer = nullptr;
    std::chrono::steady_clock::time_point start;
    double base_s = 0;
    double ceiling_s = 0;
    std::uint64_t rate_bytesPerS = 0;
    bool over = false;  // the time ran out ...
    long overAfter_s = 0;  // ... after this many seconds
};

double lf_allowed_s(const Clock& clock, curl_off_t received_bytes) {
    if (clock.rate_bytesPerS == 0) return clock.ceiling_s;
    const double earned = clock.base_s + static_cast<double>(received_bytes) / static_cast<double>(clock.rate_bytesPerS);
    return std::min(earned, clock.ceiling_s);
}

// A user who closes the window, or a run that ends, must not wait for a slow
// download to finish; nor must a newer fetch of the same file.
int lf_curlProgress(void* userData, curl_off_t, curl_off_t received_bytes, curl_off_t, curl_off_t) {
    auto* clock = static_cast<Clock*>(userData);
    if (g_runStopping.load() || g_userClosing.load() || clock->transfer->cancel.load()) return 1;
    const double allowed_s = lf_allowed_s(*clock, received_bytes);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - clock->start;
    if (elapsed.count() <= allowed_s) return 0;
    clock->over = true;
    clock->overAfter_s = static_cast<long>(allowed_s);
    return 1;
}

Clock lf_clockFor(const Transfer& transfer, const DownloadCaps& caps, std::uint64_t maxBody_bytes,
                  const DownloadLimits& limits) {
    Clock clock;
    clock.transfer = &transfer;
    clock.start = std::chrono::steady_clock::now();
    clock.rate_bytesPerS = caps.timeRate_bytesPerS;
    clock.base_s = static_cast<double>(std::min(caps.baseTime_s, limits.maxTime_s));
    double ceiling_s = clock.base_s;
    if (caps.timeRate_bytesPerS != 0) {
        ceiling_s += static_cast<double>(maxBody_bytes) / static_cast<double>(caps.timeRate_bytesPerS);
    }
    clock.ceiling_s = std::min(ceiling_s, static_cast<double>(limits.maxTime_s));
    return clock;
}

CURLcode lf_setOptions(CURL* handle, const std::string& url, Sink& sink, Clock& clock, const DownloadLimits& limits) {
    CURLcode rc = CURLE_OK;
    const auto set = [&](CURLoption option, auto value) {
        if (rc == CURLE_OK) rc = curl_easy_setopt(handle, option, value);
    };
    set(CURLOPT_URL, url.c_str());
    if (rc == CURLE_OK) rc = gf_setProxyFor(handle, url);
    set(CURLOPT_USERAGENT, "GLIM");
    set(CURLOPT_WRITEFUNCTION, &lf_curlWriteToFile);
    set(CURLOPT_WRITEDATA, static_cast<void*>(&sink));
    set(CURLOPT_FAILONERROR, 1L);
    // Refused at once when the server announces more; counted by the sink
    // when it does not say, or says less than it sends.
    set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(sink.max_bytes));
    set(CURLOPT_CONNECTTIMEOUT, limits.connectTimeout_s);
    // Only a backstop: the progress calls end the transfer on time with a
    // reason of their own.
    set(CURLOPT_TIMEOUT, static_cast<long>(clock.ceiling_s) + 2);
    set(CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedLimit_bytesPerS);
    set(CURLOPT_LOW_SPEED_TIME, limits.lowSpeedTime_s);
    set(CURLOPT_XFERINFOFUNCTION, &lf_curlProgress);
    set(CURLOPT_XFERINFODATA, static_cast<void*>(&clock));
    set(CURLOPT_NOPROGRESS, 0L);
    // Time-outs must not be delivered by signals in a threaded program.
    set(CURLOPT_NOSIGNAL, 1L);
    return rc;
}

void lf_removePart(const fs::path& part) noexcept {
    std::error_code ec;
    fs::remove(part, ec);
}

// A name of its own for every transfer: two fetches of one target never
// write into the same temporary file.
fs::path lf_partPath(const fs::path& output) {
    fs::path part = output;
    // The token tells apart two processes writing the same folder.
    static const std::uint32_t token = std::random_device{}();
    part += fmt::format(".{:08x}.{}.part", token, g_partCounter.fetch_add(1));
    return part;
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
    return gf_downloadFile(handle, url, output, binary, kDefaultDownloadCaps, nullptr);
}

bool gf_downloadFile(CURL* handle, const std::string& url, const fs::path& output, bool binary,
                     const DownloadCaps& caps, DownloadFailure* failure) {
    if (!handle) return false;
    const auto failWith = [failure](const std::string& reason, bool outOfTime = false, long httpStatus = 0) {
        if (failure) *failure = DownloadFailure{reason, outOfTime, httpStatus};
        return false;
    };
    fs::path part;
    fs::path key;
    std::shared_ptr<Transfer> transfer;
    try {
        key = lf_targetKey(output);
        transfer = lf_takeTarget(key, true);
        if (!transfer) {
            const std::string reason = "an earlier download of the file did not end";
            gf_logLine(fmt::format("Download error: '{}' for {}", reason, url));
            return failWith(reason);
        }
        part = lf_partPath(output);
        CURLcode rc = CURLE_OK;
        long status = 0;
        Sink sink;
        Clock clock;
        {
            const auto mode = binary ? (std::ios::out | std::ios::trunc | std::ios::binary)
                                     : (std::ios::out | std::ios::trunc);
            std::ofstream file(part, mode);
            if (!file) {
                gf_logLine(fmt::format("Could not open output file: {}", gf_pathToUtf8(output)));
                lf_releaseTarget(key, transfer);
                return failWith("the file could not be written");
            }
            sink.file = &file;
            const DownloadLimits limits = gf_downloadLimits();
            sink.max_bytes = std::min(caps.maxBody_bytes, limits.maxBody_bytes);
            clock = lf_clockFor(*transfer, caps, sink.max_bytes, limits);
            rc = lf_setOptions(handle, url, sink, clock, limits);
            if (rc == CURLE_OK) rc = curl_easy_perform(handle);
            if (rc == CURLE_OK || rc == CURLE_HTTP_RETURNED_ERROR)
                curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
            file.close();
            if (rc == CURLE_OK && file.fail()) rc = CURLE_WRITE_ERROR;
        }
        std::string error;
        long failedStatus = 0;
        if (sink.oversize) {
            error = fmt::format("larger than {} bytes", sink.max_bytes);
        } else if (clock.over) {
            error = fmt::format("took longer than {} s", clock.overAfter_s);
        } else if (rc != CURLE_OK) {
            error = curl_easy_strerror(rc);
            if (rc == CURLE_HTTP_RETURNED_ERROR) failedStatus = status;
        } else if (status != kHttpOk) {
            // A redirect's or any other answer's body is a page about the
            // file, never the file.
            error = fmt::format("HTTP status {}", status);
            failedStatus = status;
        }
        if (!error.empty()) {
            gf_logLine(fmt::format("Download error: '{}' for {}", error, url));
            lf_removePart(part);
            lf_releaseTarget(key, transfer);
            return failWith(error, clock.over, failedStatus);
        }
        std::error_code ec;
        if (!gf_replaceFile(part, output, ec)) throw fs::filesystem_error("rename", part, output, ec);
        lf_releaseTarget(key, transfer);
        return true;
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("Downloader exception: '{}', {} => {}", e.what(), url, lf_pathTextOrPlaceholder(output)));
        if (failure) *failure = DownloadFailure{"the file could not be written", false};
    }
    if (!part.empty()) lf_removePart(part);
    if (transfer) lf_releaseTarget(key, transfer);
    return false;
}

void gf_endDownloadsInto(const fs::path& output) {
    try {
        lf_takeTarget(lf_targetKey(output), false);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("{}: {}", "gf_endDownloadsInto", e.what()));
    }
}

bool gf_downloadFromSite(std::string_view fileName, const fs::path& output) {
    return gf_downloadFromSite(fileName, output, kDefaultDownloadCaps, nullptr);
}

bool gf_downloadFromSite(std::string_view fileName, const fs::path& output, const DownloadCaps& caps,
                         DownloadFailure* failure) {
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), &curl_easy_cleanup);
    const std::string url = fmt::format("{}{}/{}", gf_siteBaseUrl(), g_programVersion.major, fileName);
    const bool ok = gf_downloadFile(handle.get(), url, output, true, caps, failure);
    if (ok) {
        gf_logLine(fmt::format("Downloaded '{}' to '{}'", url, lf_pathTextOrPlaceholder(output)));
    } else {
        gf_logHighlight(fmt::format("Downloading '{}' failed !", url));
    }
    return ok;
}
