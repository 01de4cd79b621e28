#include "feed/login.h"

#include "core/clock.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/text.h"
#include "core/text_encoding.h"
#include "core/user_error.h"
#include "feed/feed_env.h"
#include "feed/feed_window_values.h"
#include "feed/traffic_reader.h"
#include "feed/weather_reader.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>

namespace {

constexpr const char* kAppName = "GLIM_P3D";
constexpr const char* kAppVersion = "11.10.5";
constexpr int kTooManySessionsWait_ms = 10000;
// The login's own status for "no credential to send": nothing went to the
// service. Also the number of the error the user sees.
constexpr int kNoLicence = 440;
constexpr const char* kSeeLicenceProblems = ", see Manual 2.2";  // the manual's "Licence problems"

std::mutex g_credentialMutex;
std::string g_credential;

// The service's licence file holds one short key in a small JSON object; a
// larger file is another file under that name (or a link to a device) and is
// not read whole into memory.
constexpr std::size_t kMaxLicenceFile_bytes = 64 * 1024;

enum class LicenceFile { read, noFolder, missing, unreadable, tooLarge, noLicence };

LicenceFile lf_readLicenseFile(std::string& licence) {
    const std::filesystem::path path = gf_rtLicensePath();
    if (path.empty()) return LicenceFile::noFolder;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return ec ? LicenceFile::unreadable : LicenceFile::missing;
    std::ifstream in(path, std::ios::binary);
    if (!in) return LicenceFile::unreadable;
    // One byte more than the cap tells a file at the cap from a larger one.
    std::string text(kMaxLicenceFile_bytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) return LicenceFile::unreadable;
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxLicenceFile_bytes) return LicenceFile::tooLarge;
    const auto json = gf_parseAnswer(text, false, kMaxSmallAnswerValues);
    licence = lf_jsonString(json, "License", "");
    return licence.empty() ? LicenceFile::noLicence : LicenceFile::read;
}

bool lf_licenceFromEnvironment() {
    const char* licence = std::getenv("GLIM_RT_LICENSE");
    return licence && *licence;
}

// Where the credential came from, for the messages that name it.
std::string lf_licenceSource() {
    if (lf_licenceFromEnvironment()) return "GLIM_RT_LICENSE";
    return gf_pathToUtf8(gf_rtLicensePath());
}

// The service's own word on a refused login, when its answer has one.
std::string lf_refusalMessage(const std::string& response) {
    const std::string message = lf_jsonString(gf_parseAnswer(response, false, kMaxSmallAnswerValues), "message", "");
    return message.empty() ? "no reason given" : gf_logExcerpt(message);
}

// The service may ask for pauses of minutes after a login: a user who closes
// the window meanwhile must not wait for them.
void lf_loginPause(FeedEnv& env, int ms) {
    constexpr int kStep_ms = 250;
    while (ms > 0 && !gf_stopFlagSet()) {
        const int step = std::min(ms, kStep_ms);
        env.sleepMs(step);
        ms -= step;
    }
}

}  // namespace

std::filesystem::path gf_rtLicensePath() {
    // Without an AppData folder there is no licence file: a relative path
    // would read one from whatever folder the program runs in.
    const auto appData = gf_knownFolderAppData();
    if (!appData || appData->empty()) return {};
    return *appData / "InsideSystems" / "RealTraffic.lic";
}

std::string gf_rtCredential() {
    std::lock_guard lock(g_credentialMutex);
    if (g_credential.empty()) {
        if (lf_licenceFromEnvironment()) {
            g_credential = std::getenv("GLIM_RT_LICENSE");
        } else {
            lf_readLicenseFile(g_credential);
        }
    }
    return g_credential;
}

std::string gf_rtLicenceProblem() {
    if (lf_licenceFromEnvironment()) return {};
    std::string licence;
    const std::string where = gf_pathToUtf8(gf_rtLicensePath());
    switch (lf_readLicenseFile(licence)) {
        case LicenceFile::read: return {};
        case LicenceFile::noFolder:
            return "No RealTraffic licence: there is no AppData folder to look for InsideSystems\\RealTraffic.lic in";
        case LicenceFile::missing: return fmt::format("No RealTraffic licence: {} not found", where);
        case LicenceFile::unreadable: return fmt::format("No RealTraffic licence: {} could not be read", where);
        case LicenceFile::tooLarge:
            return fmt::format("No RealTraffic licence: {} is larger than {} KB, no licence file", where,
                               kMaxLicenceFile_bytes / 1024);
        case LicenceFile::noLicence:
            return fmt::format("No RealTraffic licence: {} holds no \"License\" value", where);
    }
    return {};
}

namespace {

// The file may have appeared since the login found no licence: the user is
// still told that this login had none.
std::string lf_noLicenceText() {
    const std::string problem = gf_rtLicenceProblem();
    return (problem.empty() ? std::string("No RealTraffic licence") : problem) + kSeeLicenceProblems;
}

}  // namespace

void gf_resetRtCredential() {
    std::lock_guard lock(g_credentialMutex);
    g_credential.clear();
}

bool authenticate(WeatherReader& weather, int& status) {
    FeedEnv& env = gf_feedEnv();
    try {
        weather.response.clear();
        // An empty licence is refused by the service every time: nothing is
        // sent, and the caller tells the user what is missing.
        if (gf_rtCredential().empty()) {
            status = kNoLicence;
            return false;
        }
        const std::string url = gf_rtBaseUrl() + "/v4/auth";
        if (curl_easy_setopt(weather.handle(), CURLOPT_URL, url.c_str()) != CURLE_OK) {
            throw std::runtime_error("aucurl_: failed to set URL");
        }
        const std::string body =
            fmt::format("license={}&software={}_{}", gf_formValue(gf_rtCredential()), kAppName, kAppVersion);
        // The login waits for the service on the worker: closing the window
        // or a run that ends while it waits ends the transfer.
        RtTransferWatch watch;
        if (!gf_stopFlagSet()) watch.stops = {&g_runStopping, &g_userClosing};
        weather.setPostBody(body, watch);
        const CURLcode code = curl_easy_perform(weather.handle());
        if (code != CURLE_OK) {
            // A login the close ended is the run ending, no failure to report.
            if (code != CURLE_ABORTED_BY_CALLBACK || !gf_stopFlagSet()) {
                gf_logLine(fmt::format("{} Authentication failed: {}", gf_formatTime(gf_now()), curl_easy_strerror(code)));
            }
            return false;
        }
        if (weather.response.empty()) {
            gf_logLine("Authentication: empty response");
            return false;
        }
        const auto answer = gf_parseAnswer(weather.response, true, kMaxSmallAnswerValues);
        if (answer.contains("status") && answer["status"].is_number_integer()) {
            const int st = gf_answerStatus(answer);
            if (st == 400 || st == 402 || st == 404 || st == 405 || st == 500) {
                // The service's own words are the user's best clue.
                gf_logHighlight(fmt::format("Authentication failed, status {}: {}", st, lf_refusalMessage(weather.response)));
                status = st;
                return false;
            }
        }
        // Only integers count here: 5000.0 leaves the default.
        auto pauseOf = [&](const char* key) {
            const auto it = answer.find(key);
            if (it == answer.end() || !it->is_number_integer()) return kDefaultPause_ms;
            return gf_answerPause(answer, key, kDefaultPause_ms);
        };
        weather.rrl = pauseOf("rrl");
        weather.wrrl = pauseOf("wrrl");
        // Without a session GUID every later request would fail: that is a
        // failed login, not a session.
        const std::string guid = lf_jsonString(answer, "GUID", "");
        if (guid.empty()) {
            gf_logHighlight("Authentication: no session GUID in the answer");
            lf_loginPause(env, weather.wrrl);
            return false;
        }
        // Shown in the window as well as logged: a name, never megabytes.
        const std::string server = gf_logExcerpt(lf_jsonString(answer, "server", "?"));
        gf_logLine(fmt::format("\nAuthenticated at RT server '{}'", server));
        gf_setServiceText(server);
        weather.GUID = guid;
        g_authenticated = true;
        env.repaint();
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: {}", "authenticate", gf_logExcerpt(e.what())));
        lf_loginPause(env, weather.wrrl);
        return false;
    }
    lf_loginPause(env, weather.wrrl);
    return true;
}

void Authenticater(WeatherReader& weather, TrafficReader& traffic) {
    FeedEnv& env = gf_feedEnv();
    // Every session starts unauthenticated: a logout that failed at the end
    // of the previous run left the flag set, and the lamps and the window
    // would show a session this run never opened.
    g_authenticated = false;
    env.setStatusLine("Waiting for authentication at RT server ...", true);
    gf_logLine("\n");
    int status = 0;
    if (!authenticate(weather, status)) {
        if (status == 405) {
            const std::string text = "More than one RealTraffic session is not possible, do not run the RealTraffic app";
            env.setStatusLine(text, true);
            env.sleepMs(kTooManySessionsWait_ms);
            throw ozr::UserErrorException(405, text);
        }
        if (status == 500) throw std::runtime_error("No RT database connection");
        // A licence that is missing or refused stays so until the user acts:
        // the run stops with the reason shown and logged instead of asking
        // the service again after every restart.
        if (status == kNoLicence) {
            throw ozr::UserErrorException(kNoLicence, lf_noLicenceText());
        }
        if (status == 402 || status == 404) {
            // The reason and where to read come first: the licence file's
            // path is long enough to push them out of the status line.
            const std::string text =
                fmt::format("RealTraffic refused the licence: {} (status {}), see Manual 2.2; licence from {}",
                            lf_refusalMessage(weather.response), status, lf_licenceSource());
            // A corrected licence file is read again at the next start.
            gf_resetRtCredential();
            throw ozr::UserErrorException(status, text);
        }
        env.stopWithError("Authenticater", true);
    }
    env.clearStatusLine();
    traffic.GUID = weather.GUID;
}
