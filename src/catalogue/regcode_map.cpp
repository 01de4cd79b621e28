#include "catalogue/regcode_map.h"

#include "catalogue/catalogue.h"
#include "catalogue/dbase_queries.h"
#include "catalogue/livery.h"
#include "catalogue/matcher.h"
#include "core/decrypt.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/text.h"
#include "core/text_encoding.h"
#include "core/status_line.h"

#include <fmt/format.h>

#include <filesystem>

namespace fs = std::filesystem;

std::vector<std::string> g_offlineReportLines;

namespace {

// The decrypted AIG list is the maker's data in the clear: removed however
// the merge ends.
class PlainRegcodesGuard {
public:
    PlainRegcodesGuard() = default;
    ~PlainRegcodesGuard() {
        std::error_code ec;
        if (fs::exists(gf_workPaths().regcodesXml, ec)) gf_removeFileWarn(gf_workPaths().regcodesXml);
    }
    PlainRegcodesGuard(const PlainRegcodesGuard&) = delete;
    PlainRegcodesGuard& operator=(const PlainRegcodesGuard&) = delete;
};

void lf_writeReport(const std::vector<std::string>& lines, const fs::path& path) {
    fs::create_directories(path.parent_path());
    if (!gf_writeLines(lines, path)) gf_logHighlight(fmt::format("saving: {} failed", gf_pathToUtf8(path)));
}

}  // namespace

void lf_processInlineRegcodes() {
    std::vector<std::string> clashes;
    for (const Livery& livery : g_liveryScanList) {
        if (livery.atcid.empty()) continue;
        const std::string_view title = gf_catalogueTitleView(livery.title);
        if (title.empty()) {
            clashes.push_back(fmt::format("==> [{}] {} '{}' not available, system error, should not happen?",
                                          gf_airlineTypeText(livery.airl, livery.type), livery.atcid, livery.title));
            continue;
        }
        const auto [it, inserted] = g_catalogue.regcodeTitles.emplace(livery.atcid, title);
        if (!inserted && it->second != title) {
            clashes.push_back(fmt::format("{} '{}' => already in use by '{}'", livery.atcid, livery.title, it->second));
        }
    }
    if (clashes.empty()) return;
    const fs::path& path = gf_workPaths().inlineRegcodes;
    lf_writeReport(clashes, path);
    gf_logLine(fmt::format("{} in-line regcode clashes, see '{}'", clashes.size(), gf_pathToUtf8(path)));
}

void lf_mergeRegcodes(const std::vector<Regcode>& entries) {
    std::int32_t added = 0;
    std::int32_t replaced = 0;
    std::int32_t special = 0;
    for (const Regcode& entry : entries) {
        const std::string_view title = gf_catalogueTitleView(entry.title);
        if (title.empty()) continue;
        for (const std::string& reg : entry.regs) {
            const auto [it, inserted] = g_catalogue.regcodeTitles.emplace(reg, title);
            if (inserted) {
                ++added;
            } else if (it->second != title) {
                g_offlineReportLines.push_back(
                    fmt::format("   regcode {} for '{}', instead of the same for '{}'", reg, title, it->second));
                it->second = title;
                ++replaced;
            }
            if (entry.special && entry.regs.size() == 1) g_catalogue.soleSpecialRegistrations.insert(reg);
        }
        if (entry.special) {
            g_catalogue.reservedTitles.push_back(title);
            g_catalogue.reservedTitleSet.insert(title);
            ++special;
        }
    }
    std::string line = fmt::format("{} new regcode{} added", added, gf_pluralInt(added));
    if (replaced != 0) line += fmt::format(", {} regcode{} replaced", replaced, gf_pluralInt(replaced));
    if (special != 0) line += fmt::format(", {} regcode{} defined as special", special, gf_pluralInt(special));
    g_offlineReportLines.push_back(std::move(line));
}

void lf_processAigRegcodes() {
    const std::string pathText = gf_pathToUtf8(gf_workPaths().regcodesXml);
    g_offlineReportLines.push_back(fmt::format("Processing file {}", pathText));
    std::vector<Regcode> entries;
    if (!lf_readAigRegcodes(entries)) {
        g_offlineReportLines.push_back(
            fmt::format("There were errors processing the AIG-regcode file '{}', see Log.txt", pathText));
    }
    lf_mergeRegcodes(entries);
}

void lf_processMyRegcodes() {
    const fs::path& folder = gf_workPaths().myRegcodes;
    if (gf_countDirectoryEntries(folder) == 0) return;
    const std::string folderText = gf_pathToUtf8(folder);
    g_offlineReportLines.push_back(fmt::format("Processing files in {}", folderText));
    std::vector<Regcode> entries;
    if (!lf_readRegcodeFiles(folder, entries)) {
        gf_setStatusLine(
            fmt::format("There were errors processing the regcode files in folder '{}', see Log.txt", folderText),
            true);
    }
    lf_mergeRegcodes(entries);
}

void lf_processRegcodeFiles() {
    g_offlineReportLines.clear();
    {
        PlainRegcodesGuard guard;
        // Without the AIG list the user's own regcodes still count: they are
        // the user's deliberate choices.
        if (gf_streamDecrypt(gf_workPaths().regcodesEnc, gf_workPaths().regcodesXml)) lf_processAigRegcodes();
    }
    lf_processMyRegcodes();
    const fs::path report = gf_workPaths().info / "OfflineRegcodes.txt";
    fs::remove(report);
    if (g_offlineReportLines.empty()) return;
    lf_writeReport(g_offlineReportLines, report);
    gf_logLine(fmt::format("Offline regcode files processed, results can be found in '{}'", gf_pathToUtf8(report)));
    if (!g_catalogue.reservedTitles.empty()) {
        gf_logLine(fmt::format("{} special liveries", g_catalogue.reservedTitles.size()));
    }
    if (!g_catalogue.soleSpecialRegistrations.empty()) {
        gf_logLine(fmt::format("{} unique liveries", g_catalogue.soleSpecialRegistrations.size()));
    }
}
