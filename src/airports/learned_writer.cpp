#include "airports/learned_writer.h"

#include "airports/learned_path.h"
#include "airports/park_airport_state.h"
#include "airports/park_stand_file.h"
#include "airports/quality_factor.h"
#include "airports/stand_file.h"
#include "core/clock.h"
#include "core/download.h"
#include "core/file_meta.h"
#include "core/log.h"
#include "core/status_line.h"
#include "core/text.h"
#include "core/text_encoding.h"

#include <algorithm>
#include <filesystem>
#include <fmt/format.h>

namespace fs = std::filesystem;

std::string lf_timeOfDay(const std::string& formatted) {
    // "Mon Dec 07 09:02:28 2026": the 8 characters 13 before the end.
    constexpr std::size_t kFromEnd = 13, kLength = 8;
    if (formatted.size() < kFromEnd) return formatted;
    return formatted.substr(formatted.size() - kFromEnd, kLength);
}

void gf_saveLearned() {
    const auto current = g_currentAirport.get();
    const bool handmade = g_parkAirportFile.handmade;
    AirportFile record;
    record.code = current ? current->code : std::string();
    record.airport_name = g_parkAirportFile.airport_name;
    record.publisher = g_parkAirportFile.publisher;
    record.altitude = g_parkAirportFile.altitude;

    for (Stand& stand : g_standList) {
        if (!handmade) {
            auto& options = stand.options;
            options.erase(std::remove_if(options.begin(), options.end(),
                                         [](const StandOption& o) { return o.origin == 1; }),
                          options.end());
            if (!stand.manual && options.empty() && !stand.radius_change && !stand.cargo_change) continue;
        }
        record.stands.push_back(stand);
    }
    if (handmade) {
        const QualityPair quality = gf_qualityFactor(g_standList);
        record.Qf_real = quality.real;
        record.Qf_soft = quality.soft;
    }

    const fs::path folder = gf_learnedFolderOf(record.publisher);
    if (record.publisher != "stock" && record.publisher != "simaddon") fs::create_directories(folder);
    const fs::path path = gf_learnedPathOf(record.publisher, record.code);
    if (g_parkAirportFile.learnedNotWhole) {
        gf_logLine(fmt::format("{} '{}' not saved: it did not read whole and is left as it was",
                               lf_timeOfDay(gf_formatTime(gf_now())), gf_pathToUtf8(path)));
        g_standFileUpdates = 0;
        return;
    }
    const bool saved = gf_writeAirportFile(record, path, StandFileForm::learned, g_simVariant.load(), handmade);

    const std::string time = lf_timeOfDay(gf_formatTime(gf_now()));
    const std::int32_t updates = g_standFileUpdates.load();
    if (saved) {
        gf_logLine(fmt::format("{}{} '{}' saved with {} update{}", time, handmade ? " handmade" : "",
                               gf_pathToUtf8(path), updates, gf_pluralInt(updates)));
    } else {
        gf_logLine(fmt::format("{} saving '{}' did not succeed", time, gf_pathToUtf8(path)));
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
    // What the user was asked to mend concerned this airport. A read that
    // gave no stand is tried again shortly: its notice tells why there are
    // none, and the next read replaces it.
    if (!g_standList.empty()) gf_setAirportNotice({});
    g_standsLoaded = false;
    g_currentAirport.set(std::nullopt);
    g_airportAltitude_ft.set(std::nullopt);
    gf_clearStands();
}
