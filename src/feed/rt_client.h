// The base of the two web-service clients: session GUID, request handle,
// answer text, time shift, pauses and the stop and finished flags.
#pragma once

#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

inline constexpr int kDefaultPause_ms = 2000;
inline constexpr std::int32_t kMaxTimeOffset_min = 20160;
// The status of a reader loop that ended because it was asked to stop.
inline constexpr int kReaderStopped = 9999;

// The service's rrl and wrrl are kept: a longer pause is the service asking
// for it, and polling sooner would only be refused. Only the ends are cut: 0
// or a negative value would turn a reader into a busy loop, and a value above
// 10 minutes can only be a fault that would hold a reader for hours. Tests
// against the stand-in lower the floor to run at a faster pace.
struct RtPaceLimits {
    int min_ms = 250;
    int max_ms = 600000;
};
RtPaceLimits& gf_rtPaceLimits();
int gf_clampPause(long long ms);

// An integer member of a service answer as the requests read it: missing
// gives def; a floating-point value is truncated (and kept within range, so a
// value like 1e30 is no undefined conversion); a boolean is 0 or 1; any other
// type, or an answer that is not an object, throws the JSON library's type
// error.
long long gf_answerInteger(const nlohmann::json& answer, const char* key, long long def);
// "status" (default 100), within the range of int.
int gf_answerStatus(const nlohmann::json& answer);
// "rrl" or "wrrl" (default def), clamped by gf_clampPause; a value cut to the
// upper limit is logged.
int gf_answerPause(const nlohmann::json& answer, const char* key, int def);

// Bounds of every transfer, so that a service that never answers cannot hold
// a reader (and with it the run's closing down).
// The answer cap holds after decompression: a small gzip answer can unpack to
// hundreds of megabytes. 2,000 aircraft in the live box weigh about 0.5 MB
// per snapshot, the five buffered snapshots about 2.5 MB.
// A transfer whose answer trickles below lowSpeed_bytesPerS for
// lowSpeed_s seconds has stalled: a real answer of the service comes at
// network speed, and waiting the whole total for it only holds the reader.
struct RtTransferLimits {
    long connect_ms = 10000;
    long total_ms = 30000;
    long lowSpeed_bytesPerS = 1000;
    long lowSpeed_s = 5;
    // The logout at the user's close: a service that answers it slowly must
    // not hold the closing down (a sound logout takes well under a second).
    long closingLogout_ms = 1500;
    std::size_t maxAnswer_bytes = std::size_t{16} << 20;
};

// What parsing may build from one answer, in weighted JSON values (see
// gf_parseJsonCapped). A traffic entry keyed by its hexid (an array of 48
// fields, a dozen of them texts) weighs 68, so the five buffered snapshots of
// 2,000 aircraft weigh about 680,000: the cap leaves twice that, and bounds
// what a hostile answer of tiny values ("[0,0,...]", the most costly per
// weighted value once its array has grown) builds to some 75 MB.
// Login, logout and weather answers hold a few dozen values.
inline constexpr std::size_t kMaxTrafficAnswerValues = 1500000;
inline constexpr std::size_t kMaxSmallAnswerValues = 10000;
RtTransferLimits& gf_rtTransferLimits();

// The service's address: GLIM_RT_BASE_URL when set and safe (https, or http
// to the loopback address), else the public one.
std::string gf_rtBaseUrl();
// A form value, percent-encoded: only A-Z a-z 0-9 - . _ ~ go through as they
// are, so a credential or GUID with &, =, + or % arrives intact.
std::string gf_formValue(std::string_view text);

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlPtr = std::unique_ptr<CURL, CurlDeleter>;
// A new easy handle; throws "<name> curl_easy_init() failed" when there is none.
CurlPtr gf_newCurlHandle(std::string_view name);

// A service answer parsed with the caps of gf_parseJsonCapped (nesting, and
// maxValues built): a deeper or larger answer is refused as a malformed one.
// With exceptions it throws (the library's parse error, "answer nested deeper
// than 64 levels" or "answer holds more than N values"), without them it
// gives a discarded value and the reason in *whyRefused when given.
nlohmann::json gf_parseAnswer(std::string_view text, bool allowExceptions, std::size_t maxValues,
                              std::string* whyRefused = nullptr);

// Appends to the answer; an answer beyond the cap of gf_rtTransferLimits is
// refused like a failed append, so libcurl aborts the transfer.
size_t lf_callbackwriter(char* data, size_t size, size_t count, std::string* response);
std::string lf_jsonString(const nlohmann::json& answer, const char* key, const std::string& def);
// The answer's "message" as it goes into Log.txt (gf_logExcerpt: cut, no raw
// control characters); empty when missing or not a text.
std::string gf_jsonMessage(const nlohmann::json& answer);

// What ends a transfer in progress besides its time limits: any of the
// flags raised; and yieldTo raised once the transfer has run yieldAfter_ms
// (a slow poll gives way to a request that waits behind it).
struct RtTransferWatch {
    std::array<const std::atomic<bool>*, 2> stops{};
    const std::atomic<bool>* yieldTo = nullptr;
    long yieldAfter_ms = 0;
    // A total time shorter than the common one; 0 keeps the common one.
    long total_ms = 0;
    std::chrono::steady_clock::time_point start{};
    // Set when the transfer ended because yieldTo was raised.
    bool yielded = false;
};

// One POST: resets the handle, sets the address, the body and the common
// options, and performs the transfer into response (emptied first). The stop
// flag, when given, aborts a transfer in progress.
CURLcode gf_rtPost(CURL* handle, std::string_view name, std::string_view path, const std::string& body,
                   std::string& response, const std::atomic<bool>* stop);
CURLcode gf_rtPost(CURL* handle, std::string_view name, std::string_view path, const std::string& body,
                   std::string& response, RtTransferWatch& watch);

// What an answer without a body was, for its log line: "empty content", or
// the redirect that was refused (the service's answers are never fetched from
// another address) or the HTTP status that came without a body.
std::string gf_rtEmptyAnswer(CURL* handle);

class RtClient {
public:
    RtClient();
    virtual ~RtClient();
    RtClient(const RtClient&) = delete;
    RtClient& operator=(const RtClient&) = delete;

    // Prepares the client's own handle for one POST of body (options after
    // the address). body and watch must stay alive until the transfer ends.
    void setPostBody(const std::string& body, RtTransferWatch& watch);
    void reset();
    // Waits ms milliseconds, ending early as soon as the stop flag is raised.
    void pause(int ms);
    // One POST /v4/deauth with this client's GUID; reports by log lines only.
    void deauthenticate();

    CURL* handle() const { return m_handle.get(); }

    std::string GUID;
    std::atomic<bool> finished{false};
    nlohmann::json entry;
    std::string response;
    std::atomic<std::int32_t> toffset{0};
    int rrl = kDefaultPause_ms;
    int wrrl = kDefaultPause_ms;
    std::atomic<bool> stop{false};

protected:
    CurlPtr m_handle;
};

// What tells the two reader threads apart in their common body.
struct ReaderThreadNames {
    const char* thread;     // "Traffic Reader": the connect line and the stop
    const char* shortName;  // "Traffic": the RT API error lines
    const char* catchTag;   // "gf_trafficReader": an exception's log line
};

// The body of a reader thread: lamp on, the reader's loop, and on its failure
// the lamp off, the cause logged, the other reader stopped and the run
// stopped (restarting only for a lost session, 401). The finished flag is set
// last on every way out, so the closing down can wait for it.
void gf_runReaderThread(RtClient& self, RtClient& other, std::atomic<int>& lamp, const ReaderThreadNames& names,
                        const std::function<bool(int& status)>& receive);
