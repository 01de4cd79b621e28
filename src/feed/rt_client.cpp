#include "feed/rt_client.h"

#include "core/clock.h"
#include "core/endpoint_url.h"
#include "core/json_limits.h"
#include "core/log.h"
#include "core/run_flags.h"
#include "core/text.h"
#include "feed/feed_env.h"
#include "feed/feed_window_values.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace {

constexpr const char* kPublicBaseUrl = "https://rtw.flyrealtraffic.com";
constexpr int kPauseSlice_ms = 20;

RtTransferLimits g_transferLimits;
RtPaceLimits g_paceLimits;
constexpr std::uint64_t kLongLongMax = 9223372036854775807ull;
// Beyond this a double no longer converts to long long without overflow.
constexpr double kIntegerLimit = 9.0e18;

int lf_abortOnStop(void* watchData, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* watch = static_cast<RtTransferWatch*>(watchData);
    for (const std::atomic<bool>* stop : watch->stops)
        if (stop && stop->load()) return 1;
    if (watch->yieldTo && watch->yieldTo->load() &&
        std::chrono::steady_clock::now() - watch->start >= std::chrono::milliseconds(watch->yieldAfter_ms)) {
        watch->yielded = true;
        return 1;
    }
    return 0;
}

void lf_check(CURLcode code, const std::string& message) {
    if (code != CURLE_OK) throw std::runtime_error(message);
}

// Options after the address, in the order the service's clients always set
// them, then the transfer bounds.
void lf_setBodyOptions(CURL* handle, std::string_view name, const std::string& body, std::string& response,
                       RtTransferWatch& watch) {
    lf_check(curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "deflate,gzip"),
             fmt::format("{} failed to set CURLOPT_ACCEPT_ENCODING", name));
    lf_check(curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str()), fmt::format("{}: failed to set POSTFIELDS", name));
    lf_check(curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size())),
             fmt::format("{}: failed to set POSTFIELDSIZE", name));
    lf_check(curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &lf_callbackwriter),
             fmt::format("{} failed to set CURLOPT_WRITEFUNCTION", name));
    lf_check(curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response), fmt::format("{} failed to set CURLOPT_WRITEDATA", name));
    lf_check(gf_setProxyFor(handle, gf_rtBaseUrl()), fmt::format("{} failed to set CURLOPT_PROXY", name));
    curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
    // Reader threads: no signals for time-outs.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    lf_check(curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, g_transferLimits.connect_ms),
             fmt::format("{} failed to set CURLOPT_CONNECTTIMEOUT_MS", name));
    const long total_ms = watch.total_ms > 0 ? std::min(watch.total_ms, g_transferLimits.total_ms) : g_transferLimits.total_ms;
    lf_check(curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, total_ms), fmt::format("{} failed to set CURLOPT_TIMEOUT_MS", name));
    lf_check(curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, g_transferLimits.lowSpeed_bytesPerS),
             fmt::format("{} failed to set CURLOPT_LOW_SPEED_LIMIT", name));
    lf_check(curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, g_transferLimits.lowSpeed_s),
             fmt::format("{} failed to set CURLOPT_LOW_SPEED_TIME", name));
    // Every request can be ended by the one who waits for it: the progress
    // calls come at least once a second, also while nothing arrives.
    watch.start = std::chrono::steady_clock::now();
    watch.yielded = false;
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &lf_abortOnStop);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &watch);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
}

}  // namespace

RtPaceLimits& gf_rtPaceLimits() { return g_paceLimits; }

int gf_clampPause(long long ms) {
    return static_cast<int>(std::clamp<long long>(ms, g_paceLimits.min_ms, g_paceLimits.max_ms));
}

long long gf_answerInteger(const nlohmann::json& answer, const char* key, long long def) {
    // For an answer that is not an object this throws the library's own error.
    if (!answer.is_object()) return answer.value(key, def);
    const auto it = answer.find(key);
    if (it == answer.end()) return def;
    if (it->is_number_unsigned()) {
        return static_cast<long long>(std::min<std::uint64_t>(it->get<std::uint64_t>(), kLongLongMax));
    }
    if (it->is_number_integer()) return it->get<std::int64_t>();
    if (it->is_number_float()) {
        const double v = std::trunc(it->get<double>());
        if (!(v >= -kIntegerLimit && v <= kIntegerLimit)) return v < 0 ? -kLongLongMax : kLongLongMax;
        return static_cast<long long>(v);
    }
    if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
    return it->get<int>();  // throws the type error
}

int gf_answerStatus(const nlohmann::json& answer) {
    return static_cast<int>(std::clamp<long long>(gf_answerInteger(answer, "status", 100), INT_MIN, INT_MAX));
}

int gf_answerPause(const nlohmann::json& answer, const char* key, int def) {
    const long long asked_ms = gf_answerInteger(answer, key, def);
    const int pause_ms = gf_clampPause(asked_ms);
    if (asked_ms > pause_ms && pause_ms == g_paceLimits.max_ms) {
        gf_logHighlight(fmt::format("RT API {} of {} ms is not plausible, {} ms taken", key, asked_ms, pause_ms));
    }
    return pause_ms;
}

RtTransferLimits& gf_rtTransferLimits() { return g_transferLimits; }

std::string gf_rtBaseUrl() {
    if (auto url = gf_endpointFromEnv("GLIM_RT_BASE_URL")) return *url;
    return kPublicBaseUrl;
}

std::string gf_formValue(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

CurlPtr gf_newCurlHandle(std::string_view name) {
    CurlPtr handle(curl_easy_init());
    if (!handle) throw std::runtime_error(fmt::format("{} curl_easy_init() failed", name));
    return handle;
}

nlohmann::json gf_parseAnswer(std::string_view text, bool allowExceptions, std::size_t maxValues,
                              std::string* whyRefused) {
    return gf_parseJsonCapped(text, allowExceptions, "answer", maxValues, whyRefused);
}

size_t lf_callbackwriter(char* data, size_t size, size_t count, std::string* response) {
    if (!response) return 0;
    try {
        const std::size_t cap = g_transferLimits.maxAnswer_bytes;
        if (response->size() > cap || size * count > cap - response->size()) {
            throw std::length_error(fmt::format("answer larger than {} bytes", cap));
        }
        response->append(data, size * count);
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: append exception: {}", "lf_callbackwriter", e.what()));
        return 0;
    }
    return size * count;
}

std::string lf_jsonString(const nlohmann::json& answer, const char* key, const std::string& def) {
    if (!answer.is_object()) return def;
    auto it = answer.find(key);
    if (it == answer.end() || !it->is_string()) return def;
    return it->get<std::string>();
}

std::string gf_jsonMessage(const nlohmann::json& answer) { return gf_logExcerpt(lf_jsonString(answer, "message", "")); }

CURLcode gf_rtPost(CURL* handle, std::string_view name, std::string_view path, const std::string& body,
                   std::string& response, const std::atomic<bool>* stop) {
    RtTransferWatch watch;
    watch.stops[0] = stop;
    return gf_rtPost(handle, name, path, body, response, watch);
}

CURLcode gf_rtPost(CURL* handle, std::string_view name, std::string_view path, const std::string& body,
                   std::string& response, RtTransferWatch& watch) {
    if (!handle) throw std::runtime_error(fmt::format("{} curl_easy_init() failed", name));
    curl_easy_reset(handle);
    response.clear();
    const std::string url = gf_rtBaseUrl() + std::string(path);
    lf_check(curl_easy_setopt(handle, CURLOPT_URL, url.c_str()), fmt::format("{}: failed to set URL", name));
    lf_setBodyOptions(handle, name, body, response, watch);
    const CURLcode code = curl_easy_perform(handle);
    long http = 0;
    // A redirect's body is a page about the move, not the service's answer.
    if (code == CURLE_OK && curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &http) == CURLE_OK && http >= 300 &&
        http < 400) {
        response.clear();
    }
    return code;
}

std::string gf_rtEmptyAnswer(CURL* handle) {
    long http = 0;
    if (!handle || curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &http) != CURLE_OK || http == 200 || http == 0) {
        return "empty content";
    }
    if (http >= 300 && http < 400) {
        const char* location = nullptr;
        curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &location);
        return fmt::format("HTTP {} redirect to {} refused", http, gf_logExcerpt(location ? location : "(no address)"));
    }
    return fmt::format("HTTP {} with empty content", http);
}

RtClient::RtClient() : m_handle(gf_newCurlHandle("aucurl_")) { response.reserve(4096); }

RtClient::~RtClient() = default;

void RtClient::setPostBody(const std::string& body, RtTransferWatch& watch) {
    lf_setBodyOptions(m_handle.get(), "aucurl_", body, response, watch);
}

void RtClient::reset() {
    GUID.clear();
    m_handle = gf_newCurlHandle("aucurl_");
    toffset = 0;
    stop = false;
    finished = false;
    entry = nlohmann::json();
    response.clear();
}

void RtClient::pause(int ms) {
    // Sliced, so a stop request ends the pause within a slice, whatever the
    // service asked for.
    const int total_ms = (ms / 2) * 2;
    if (total_ms < 2) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(total_ms);
    while (!stop.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                                                   std::chrono::milliseconds(kPauseSlice_ms)));
    }
}

void RtClient::deauthenticate() {
    try {
        response.clear();
        const std::string url = gf_rtBaseUrl() + "/v4/deauth";
        lf_check(curl_easy_setopt(m_handle.get(), CURLOPT_URL, url.c_str()), "Failed to set CURLOPT_URL");
        const std::string body = fmt::format("GUID={}", gf_formValue(GUID));
        // The logout runs in the closing down: a user who closes the window
        // waits for it, so it is kept short then and ends when the user
        // closes while it runs (after a restart's logout, for instance).
        RtTransferWatch watch;
        if (g_userClosing.load()) {
            watch.total_ms = g_transferLimits.closingLogout_ms;
        } else {
            watch.stops[0] = &g_userClosing;
        }
        setPostBody(body, watch);
        const CURLcode code = curl_easy_perform(m_handle.get());
        if (code != CURLE_OK) {
            gf_logLine(fmt::format("{} Deauthentication failed: {}", gf_formatTime(gf_now()), curl_easy_strerror(code)));
            return;
        }
        if (response.empty()) {
            gf_logLine("Deauthentication: empty response");
            return;
        }
        std::string whyRefused;
        const auto answer = gf_parseAnswer(response, false, kMaxSmallAnswerValues, &whyRefused);
        if (answer.is_discarded()) {
            gf_logLine("Deauthentication: invalid JSON");
            gf_logContinuation(whyRefused);
            return;
        }
        const int status = gf_answerStatus(answer);
        if (status == 200) {
            g_authenticated = false;
            gf_feedEnv().repaint();
            GUID.clear();
            gf_logLine(fmt::format("{} RT server '{}'", gf_jsonMessage(answer), gf_logExcerpt(lf_jsonString(answer, "server", ""))));
        } else {
            gf_logHighlight(fmt::format("Deauthentication failed, status: {}", status));
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: {}", "deauthenticate", gf_logExcerpt(e.what())));
    }
}

void gf_runReaderThread(RtClient& self, RtClient& other, std::atomic<int>& lamp, const ReaderThreadNames& names,
                        const std::function<bool(int& status)>& receive) {
    FeedEnv& env = gf_feedEnv();
    gf_logContinuation(fmt::format("{} connected", names.thread));
    lamp = 1;
    env.repaint();
    int status = 0;
    try {
        if (!receive(status)) {
            lamp = 3;
            env.repaint();
            if (status != kReaderStopped) {
                if (status == 401) {
                    gf_logHighlight(fmt::format("re-authentication to RT API is needed, restart {}", "GLIM_P3D"));
                } else if (status == 400) {
                    gf_logHighlight(fmt::format("{} RT API: parameter fault", names.shortName));
                } else {
                    gf_logHighlight(fmt::format("{} RT API error: {}", names.shortName, status));
                }
                other.stop = true;
                env.stopWithError(names.thread, status == 401);
            }
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: {}", names.catchTag, gf_logExcerpt(e.what())));
        other.stop = true;
        env.stopWithError(names.thread, false);
    }
    self.finished = true;
}
