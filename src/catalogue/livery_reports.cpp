#include "catalogue/livery_reports.h"

#include "catalogue/livery_paths.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/text.h"
#include "core/text_encoding.h"

#include <fmt/format.h>

#include <mutex>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

struct ReportList {
    std::mutex mutex;
    std::list<std::string> lines;

    void add(std::string line) {
        std::lock_guard lock(mutex);
        lines.push_back(std::move(line));
    }
    std::size_t size() {
        std::lock_guard lock(mutex);
        return lines.size();
    }
    std::list<std::string> copy() {
        std::lock_guard lock(mutex);
        return lines;
    }
    void clear() {
        std::lock_guard lock(mutex);
        lines.clear();
    }
};

struct ScanReports {
    ReportList invalidAirlineCodes;
    ReportList invalidModelCodes;
    ReportList codeFixes;
    ReportList invalidCfgFiles;
    ReportList incompleteSections;
    ReportList filesWithoutFltsim;
    // Filled by the worker alone; the mutex costs nothing there and lets the
    // snapshot read it from any thread.
    ReportList modelConversions;
};
ScanReports g_scanReports;

void lf_ensureErrorsFolder() {
    const fs::path& folder = gf_workPaths().errors;
    // The throwing forms: an error here ends the report with "exists" or
    // "create_directory" as the failed operation.
    if (!fs::exists(folder)) fs::create_directory(folder);
}

std::list<std::string> lf_sorted(ReportList& list) {
    std::list<std::string> lines = list.copy();
    lines.sort();
    return lines;
}

void lf_logSummary(std::string_view text) { gf_logLine(text); }

std::vector<std::string> lf_vector(ReportList& list) {
    const std::list<std::string> lines = list.copy();
    return {lines.begin(), lines.end()};
}

}  // namespace

void lf_addInvalidAirlineCode(std::string_view code, const fs::path& file, std::string_view text) {
    std::string line = fmt::format("{:12} in {} ", code, lf_narrowPathText(file));
    line += text;
    g_scanReports.invalidAirlineCodes.add(std::move(line));
}

void lf_addInvalidModelCode(std::string_view code, const fs::path& file) {
    g_scanReports.invalidModelCodes.add(fmt::format("{:16} in {}", code, lf_narrowPathText(file)));
}

void lf_addCodeFix(std::string line) { g_scanReports.codeFixes.add(std::move(line)); }
void lf_addInvalidCfgFile(std::string line) { g_scanReports.invalidCfgFiles.add(std::move(line)); }
void lf_addIncompleteSection(std::string line) { g_scanReports.incompleteSections.add(std::move(line)); }
void lf_addFileWithoutFltsim(std::string line) { g_scanReports.filesWithoutFltsim.add(std::move(line)); }
void lf_addModelConversion(std::string line) { g_scanReports.modelConversions.add(std::move(line)); }

// A report the summary points to must exist: a failed write is said so.
bool lf_reportWritten(bool written, const fs::path& file) {
    if (!written) gf_logLine(fmt::format("Error writing file {}", lf_narrowPathText(file)));
    return written;
}

bool lf_writeLineList(const std::list<std::string>& lines, const fs::path& file) {
    return lf_reportWritten(gf_writeFileReplacing(file,
                                                  [&lines](std::ostream& out) {
                                                      for (const std::string& line : lines) {
                                                          out << line << '\n';
                                                      }
                                                  }),
                            file);
}

void lf_removePreviousScanFiles() {
    const WorkPaths& p = gf_workPaths();
    // AirlineModelConversions.txt stays: a scan without conversions leaves the
    // earlier file in place. LiveriesScanned.xml stays too: a scan that is
    // stopped or cannot save must leave the run a cache to build from; a
    // finished scan replaces it whole.
    const fs::path order[] = {p.noFltsimSection, p.inlineRegcodes, p.invalidAirlines,  p.invalidAircraft,
                              p.fixes,           p.invalidCfgFiles, p.incompleteFltsim, p.errors};
    try {
        for (const fs::path& path : order) {
            // remove() of a missing path is no error; of a folder that still
            // holds a user's file it throws, and the rest stays.
            fs::remove(path);
        }
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("problems with removing previous files: {}", e.what()));
    }
}

void lf_writeLiveryScanReport() {
    ScanReports& r = g_scanReports;
    const WorkPaths& p = gf_workPaths();
    const std::size_t airlines = r.invalidAirlineCodes.size();
    const std::size_t models = r.invalidModelCodes.size();
    const std::size_t fixes = r.codeFixes.size();
    const std::size_t cfgFiles = r.invalidCfgFiles.size();
    const std::size_t incomplete = r.incompleteSections.size();
    lf_logSummary(airlines + models + fixes + cfgFiles + incomplete == 0 ? "\nNo errors" : "\nErrors:");

    if (airlines > 0) {
        const std::list<std::string> lines = lf_sorted(r.invalidAirlineCodes);
        lf_ensureErrorsFolder();
        lf_writeLineList(lines, p.invalidAirlines);
        lf_logSummary(fmt::format("{} invalid airline code{}, see {}", airlines,
                                  gf_pluralInt64(static_cast<std::int64_t>(airlines)),
                                  lf_narrowPathText(p.invalidAirlines)));
    }
    if (models > 0) {
        const std::list<std::string> lines = lf_sorted(r.invalidModelCodes);
        lf_ensureErrorsFolder();
        lf_writeLineList(lines, p.invalidAircraft);
        lf_logSummary(fmt::format("{} invalid model code{}, see {}", models,
                                  gf_pluralInt64(static_cast<std::int64_t>(models)),
                                  lf_narrowPathText(p.invalidAircraft)));
    }
    if (fixes > 0) {
        try {
            fs::create_directories(p.fixes.parent_path());
            const std::list<std::string> lines = r.codeFixes.copy();
            lf_reportWritten(gf_writeLines(std::vector<std::string>(lines.begin(), lines.end()), p.fixes), p.fixes);
        } catch (const std::exception& e) {
            gf_logLine(fmt::format("Error writing file {}: {}", lf_narrowPathText(p.fixes), e.what()));
        }
        lf_logSummary(fmt::format("{} code fixes, see {}", fixes, lf_narrowPathText(p.fixes)));
    }
    if (cfgFiles > 0) {
        const std::list<std::string> lines = lf_sorted(r.invalidCfgFiles);
        lf_ensureErrorsFolder();
        lf_writeLineList(lines, p.invalidCfgFiles);
        lf_logSummary(
            fmt::format("{} invalid aircraft.cfg files, see {}", cfgFiles, lf_narrowPathText(p.invalidCfgFiles)));
    }
    if (incomplete > 0) {
        std::list<std::string> lines = lf_sorted(r.incompleteSections);
        // The count keeps the repeats: it says how often a problem was met.
        lines.unique();
        lf_ensureErrorsFolder();
        lf_writeLineList(lines, p.incompleteFltsim);
        lf_logSummary(fmt::format("{} incomplete [fltsim.x] sections, see {}", incomplete,
                                  lf_narrowPathText(p.incompleteFltsim)));
    }

    lf_logSummary("\nInformation:");
    if (const std::size_t empty = r.filesWithoutFltsim.size(); empty > 0) {
        lf_writeLineList(lf_sorted(r.filesWithoutFltsim), p.noFltsimSection);
        lf_logSummary(
            fmt::format("{} empty aircraft.cfg files, see {}", empty, lf_narrowPathText(p.noFltsimSection)));
    }
    if (const std::size_t conversions = r.modelConversions.size(); conversions > 0) {
        const std::list<std::string> lines = r.modelConversions.copy();
        lf_reportWritten(gf_writeLines(std::vector<std::string>(lines.begin(), lines.end()), p.modelConversions),
                         p.modelConversions);
        lf_logSummary(fmt::format("{} liveries updated with real live data from dbase, see {}", conversions,
                                  lf_narrowPathText(p.modelConversions)));
    }
}

void lf_clearReportLists() {
    ScanReports& r = g_scanReports;
    r.modelConversions.clear();
    r.invalidModelCodes.clear();
    r.invalidAirlineCodes.clear();
    r.incompleteSections.clear();
    r.filesWithoutFltsim.clear();
    r.invalidCfgFiles.clear();
    r.codeFixes.clear();
}

LiveryReportSnapshot lf_liveryReportSnapshot() {
    ScanReports& r = g_scanReports;
    return LiveryReportSnapshot{lf_vector(r.invalidAirlineCodes), lf_vector(r.invalidModelCodes),
                                lf_vector(r.codeFixes),           lf_vector(r.invalidCfgFiles),
                                lf_vector(r.incompleteSections),  lf_vector(r.filesWithoutFltsim),
                                lf_vector(r.modelConversions)};
}
