#include "traffic/stand_file_wait.h"

#include "airports/park_stand_file.h"
#include "airports/stand_file_locate.h"
#include "core/text_encoding.h"
#include "core/log.h"
#include "core/status_line.h"
#include "core/steady_clock.h"

#include <fmt/format.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// What a local file was when it failed: saving or removing it is the user's
// answer to the message, and the next check reads it again.
struct FileStamp {
    bool exists = false;
    fs::file_time_type written{};
    std::uintmax_t size = 0;
    bool operator==(const FileStamp&) const = default;
};

struct StandFileFailure {
    std::string code;
    std::string reference;
    std::string watched;  // the file to mend: the stand file, or a hand-made file that overrules it
    bool retryByTime = false;  // the download site's part: tried again later
    FileStamp stamp;
    SteadyTime failedAt{};
    std::string message;
};

std::optional<StandFileFailure> g_failure;

// The park-airport check that renews the message runs every 16 s, but not at
// the seconds that are multiples of 80 (those run the 5-second jobs): two
// checks can lie 32 s apart, longer than a status text lives, and the band
// went empty for 7 s of every 80 while the file still failed. The message
// lives until a check that follows a skipped one has renewed it.
constexpr std::int32_t kWaitMessageLife_ticks = 2 * 16 + 1;

FileStamp lf_stampOf(const std::string& reference) {
    FileStamp stamp;
    std::error_code ec;
    const fs::path path = gf_referencePath(reference);
    const auto status = fs::status(path, ec);
    if (ec || !fs::is_regular_file(status)) return stamp;
    stamp.written = fs::last_write_time(path, ec);
    if (ec) return stamp;
    stamp.size = fs::file_size(path, ec);
    if (ec) return stamp;
    stamp.exists = true;
    return stamp;
}

// The reference the airport's file has now; empty when it cannot be told
// (a folder that cannot be examined), which ends the waiting: the normal
// path then reports what is wrong.
std::string lf_currentReference(const std::string& code) {
    try {
        return gf_resolveAirportFile(code);
    } catch (const std::exception&) {
        return {};
    }
}

// The message again, without a log line: a status text lives 25 s and the
// parked traffic waits longer than that, so each check renews it while it is
// shown, and brings it back once another text has had its time.
void lf_showAgain(const std::string& message) {
    const StatusLineSnapshot shown = gf_statusLineSnapshot();
    if (!shown.errorText.empty()) return;
    if (shown.statusText.empty() || shown.statusText == message)
        gf_setLastingStatusLine(message, false, kWaitMessageLife_ticks);
}

}  // namespace

std::string gf_standFileWaitText(const std::string& code, const std::string& reference, const std::string& error,
                                 StandFileTrouble trouble) {
    if (reference.empty()) return error;
    // Each text on one line, as the Manual check reads the line that cites
    // it; each fits the status band without being cut.
    if (gf_isLocalReference(reference)) {
        // In the system's own separators, as the user finds the file.
        const std::string path = gf_pathToUtf8(gf_referencePath(reference).make_preferred());
        return fmt::format(
            "{} cannot be read (see Log.txt): mend or remove it. Parked traffic at {} waits for it, see Manual 6.5",
            path, code);
    }
    if (trouble == StandFileTrouble::transfer) {
        return fmt::format(
            "The stand file of {} could not be downloaded: check the connection. Parked traffic waits for it, next try in {} minutes, see Manual 6.5",
            code, kStandFileRetry_min);
    }
    // Nothing the user can mend: the connection works, the site lacks the
    // file or has it with a slip.
    if (trouble == StandFileTrouble::notOnSite) {
        return fmt::format(
            "The stand file of {} is not on the download site. Parked traffic waits for it, next try in {} minutes, see Manual 6.5",
            code, kStandFileRetry_min);
    }
    return fmt::format(
        "The stand file of {} on the download site is faulty (see Log.txt). Parked traffic waits for it, next try in {} minutes, see Manual 6.5",
        code, kStandFileRetry_min);
}

void gf_noteStandFileFailure(const std::string& code, const std::string& reference, const std::string& error,
                             StandFileTrouble trouble) {
    const bool download = trouble != StandFileTrouble::unreadable;
    StandFileFailure failure;
    failure.code = code;
    failure.reference = reference;
    // A hand-made file that gave no stand is the one the user must mend, and
    // its change is the one that ends the wait.
    const fs::path atFault = reference.empty() || download ? fs::path() : gf_standFileAtFault();
    failure.watched = atFault.empty() ? reference : gf_pathToUtf8(atFault);
    failure.retryByTime = !reference.empty() && !gf_isLocalReference(failure.watched);
    if (!reference.empty() && !failure.retryByTime) failure.stamp = lf_stampOf(failure.watched);
    failure.failedAt = gf_steadyNow();
    failure.message = gf_standFileWaitText(code, failure.watched, error, trouble);
    // The reader's own words (the XML fault and its place) are for Log.txt,
    // the status line says what to do. A failed download has logged its
    // address already.
    if (!download && failure.message != error) gf_logLine(error);
    // A failure without a file to watch is not held: the next check finds
    // out afresh what the airport has.
    if (reference.empty()) {
        gf_setStatusLine(failure.message, true);
        g_failure.reset();
        return;
    }
    gf_setLastingStatusLine(failure.message, true, kWaitMessageLife_ticks);
    g_failure = std::move(failure);
}

bool gf_standFileStillFails(const std::string& code) {
    if (!g_failure || g_failure->code != code) return false;
    const std::string reference = lf_currentReference(code);
    const bool sameFile = reference == g_failure->reference;
    bool holds = sameFile;
    if (holds && g_failure->retryByTime) {
        holds = gf_steadyNow() - g_failure->failedAt < std::chrono::minutes(kStandFileRetry_min);
    } else if (holds) {
        holds = lf_stampOf(g_failure->watched) == g_failure->stamp;
    }
    if (!holds) {
        // The user mended, removed or replaced the file: the message no
        // longer holds. A download that is due again keeps it until the try
        // has an answer.
        if (!sameFile || !g_failure->retryByTime) gf_clearStatusLineIf(g_failure->message);
        g_failure.reset();
        return false;
    }
    lf_showAgain(g_failure->message);
    return true;
}

bool gf_standFileWaitHeld(const std::string& code) { return g_failure && g_failure->code == code; }

void gf_forgetStandFileFailure() { g_failure.reset(); }
