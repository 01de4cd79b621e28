#include "airports/learned_writer.h"

#include "airports/learned_path.h"
#include "airports/park_airport_state.h"
#include "airports/park_stand_file.h"
#include "airports/quality_factor.h"
#include "airports/stand_file.h"
#include "airports/stand_file_rewrite.h"
#include "core/clock.h"
#include "core/download.h"
#include "core/file_meta.h"
#include "core/log.h"
#include "core/status_line.h"
#include "core/text.h"
#include "core/text_encoding.h"

#include <algorithm>
#include <filesystem>
#include <utility>
#include <fmt/format.h>

namespace fs = std::filesystem;

std::string lf_timeOfDay(const std::string& formatted) {
    // "Mon Dec 07 09:02:28 2026": the 8 characters 13 before the end.
    constexpr std::size_t kFromEnd = 13, kLength = 8;
    if (formatted.size() < kFromEnd) return formatted;
    return formatted.substr(formatted.size() - kFromEnd, kLength);
}

namespace {

// The record the learned writer writes of the stand list: for an airport
// that is not hand-made, the stands with what was learned of them (uses not
// from the stand file, corrections, the user's own stands); for a hand-made
// one every stand with every use, its quality factors and its own
// parameters. strip removes the stand file's uses from the list itself, as
// the close does; without it the list is left as it is.
AirportFile lf_learnedRecord(bool strip) {
    const auto current = g_currentAirport.get();
    const bool handmade = g_parkAirportFile.handmade;
    AirportFile record;
    record.code = current ? current->code : std::string();
    record.airport_name = g_parkAirportFile.airport_name;
    record.publisher = g_parkAirportFile.publisher;
    record.altitude = g_parkAirportFile.altitude;
    if (handmade) {
        const StandFileReadRecord& read = g_standFileRead;
        if (read.ownAirportName) record.airport_name = *read.ownAirportName;
        if (read.ownPublisher) record.publisher = *read.ownPublisher;
        if (read.ownAltitude) record.altitude = *read.ownAltitude;
    }
    const auto fromStandFile = [](const StandOption& o) { return o.origin == 1; };
    for (Stand& stand : g_standList) {
        if (handmade) {
            record.stands.push_back(stand);
            continue;
        }
        const bool learnedUse = std::any_of(stand.options.begin(), stand.options.end(),
                                            [&](const StandOption& o) { return !fromStandFile(o); });
        if (strip) std::erase_if(stand.options, fromStandFile);
        if (!stand.manual && !learnedUse && !stand.radius_change && !stand.cargo_change) continue;
        if (strip) {
            record.stands.push_back(stand);
            continue;
        }
        // The stand file's uses are not copied only to be dropped: the
        // record of a long file is taken at every read.
        std::vector<StandOption> options = std::move(stand.options);
        record.stands.push_back(stand);
        stand.options = std::move(options);
        for (const StandOption& o : stand.options) {
            if (!fromStandFile(o)) record.stands.back().options.push_back(o);
        }
    }
    if (handmade) {
        const QualityPair quality = gf_qualityFactor(g_standList);
        record.Qf_real = quality.real;
        record.Qf_soft = quality.soft;
    }
    return record;
}

}  // namespace

void gf_recordWhatWasRead() {
    StandFileReadRecord& read = g_standFileRead;
    read.handmade = g_parkAirportFile.handmade;
    read.whole = !g_parkAirportFile.learnedNotWhole;
    // The settings in effect after the read: what the user changes at the
    // airport is what a close writes into a file made meanwhile, too.
    read.settings = gf_currentLearnedSettings();
    if (!read.found) return;
    read.asRead = lf_learnedRecord(false);
    gf_recordStandFileOnDisk(read);
}

namespace {
// What the close has to tell the user about the file (changed or deleted
// during the visit): shown on the notice line once the airport is left.
std::string g_closeNotice;
}  // namespace

void gf_saveLearned() {
    g_closeNotice.clear();
    const bool handmade = g_parkAirportFile.handmade;
    const AirportFile record = lf_learnedRecord(true);

    // The file read is the one written: what was learned lands where the
    // next visit looks for it.
    const StandFileReadRecord& read = g_standFileRead;
    const fs::path path = read.path.empty() ? gf_learnedPathOf(record.publisher, record.code) : read.path;
    if (record.publisher != "stock" && record.publisher != "simaddon") fs::create_directories(path.parent_path());
    const LearnedSaveResult result = gf_saveIntoStandFile(record, path, g_simVariant.load(), handmade, read);

    const std::string time = lf_timeOfDay(gf_formatTime(gf_now()));
    const std::string pathText = gf_pathToUtf8(path);
    const std::int32_t updates = g_standFileUpdates.load();
    const std::string sideText = gf_pathToUtf8(result.sideFile.filename());
    if (result.deletedOnDisk) {
        // Deleting a learned file is how the user forgets what was learned.
        const std::string text =
            result.sideFile.empty()
                ? fmt::format("'{}' was deleted during the visit and stays deleted", pathText)
                : fmt::format("'{}' was deleted during the visit and stays deleted; what this visit learned is kept "
                              "in '{}'",
                              pathText, sideText);
        gf_logLine(fmt::format("{} {}", time, text));
        gf_setStatusLine(text, false);
        g_closeNotice = text;
        g_standFileUpdates = 0;
        return;
    }
    if (result.changedOnDisk) {
        gf_logLine(fmt::format("{} '{}' was changed during the visit: your changes are kept", time, pathText));
    }
    switch (result.outcome) {
    case StandFileWrite::saved:
        gf_logLine(fmt::format("{}{} '{}' saved with {} update{}", time, handmade ? " handmade" : "", pathText,
                               updates, gf_pluralInt(updates)));
        break;
    case StandFileWrite::unchanged:
        if (result.sideFile.empty()) {
            gf_logLine(fmt::format("{}{} '{}' not saved: nothing in it changed", time, handmade ? " handmade" : "",
                                   pathText));
        }
        break;
    case StandFileWrite::refused:
        gf_logLine(fmt::format("{} '{}' not saved: {} and is left as it was", time, pathText, result.why));
        gf_setStatusLine(fmt::format("'{}' is left as it was: {}", pathText, result.why), false);
        gf_keepUnsavedUses(path, record.stands);
        break;
    case StandFileWrite::failed:
        gf_logLine(fmt::format("{} saving '{}' did not succeed: {}", time, pathText, result.why));
        gf_keepUnsavedUses(path, record.stands);
        gf_setStatusLine(fmt::format("'{}' could not be saved: {}; what was learned is kept for the next close",
                                     pathText, result.why),
                         false);
        break;
    }
    if (!result.sideFile.empty()) {
        const std::string text =
            result.outcome == StandFileWrite::refused
                ? fmt::format("'{}' is left as it was: {}; what this visit learned is kept in '{}'", pathText,
                              result.why, sideText)
                : fmt::format("'{}' was changed during the visit and is left as you saved it; what "
                              "this visit learned is kept in '{}'",
                              pathText, sideText);
        gf_logLine(fmt::format("{} {}", time, text));
        gf_setStatusLine(text, false);
        g_closeNotice = text;
    }
    g_standFileUpdates = 0;
}

void gf_leaveParkAirport() {
    // A stand file still arriving for this airport must not land after it
    // was left (nor after the close).
    gf_endDownloadsInto(gf_prefetchPath());
    if (g_standsLoaded.load()) {
        try {
            gf_saveLearned();
        } catch (const std::exception& e) {
            gf_logHighlight(fmt::format("{}: {}", "gf_saveLearned", e.what()));
        }
        gf_restoreAirportSettings();
    }
    g_parkAirportFile.handmade = false;
    g_parkAirportFile.learnedNotWhole = false;
    gf_forgetStandFileRead();
    // What the user was asked to mend concerned this airport. A read that
    // gave no stand is tried again shortly: its notice tells why there are
    // none, and the next read replaces it.
    if (!g_standList.empty()) gf_setAirportNotice({});
    if (!g_closeNotice.empty()) gf_setAirportNotice(std::exchange(g_closeNotice, {}));
    g_standsLoaded = false;
    g_currentAirport.set(std::nullopt);
    g_airportAltitude_ft.set(std::nullopt);
    gf_clearStands();
}
