#include "catalogue/livery_scan.h"

#include "catalogue/catalogue.h"
#include "catalogue/dont_use_titles.h"
#include "catalogue/liveries_xml.h"
#include "catalogue/livery.h"
#include "catalogue/livery_paths.h"
#include "catalogue/livery_reports.h"
#include "catalogue/livery_scan_dbase.h"
#include "catalogue/livery_walk.h"

#include "core/decrypt.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/text.h"
#include "core/user_error.h"
#include "core/status_line.h"
#include "core/ui_sink.h"

#include <fmt/format.h>

#include <map>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kMaxFolderIndex = 10;
// Tasks given up by the walk may still run; they must end before the scan's
// state is post-processed or reset, or they would write into the next scan.
constexpr std::chrono::seconds kLateTaskWait{10};

// Step 3 of the scan for one path; false when the run was asked to stop.
bool lf_scanOneFolder(const fs::path& path, std::uint32_t& folderIndex, std::int64_t& total, std::size_t& before,
                      LiveryScanWindow& window) {
    const std::string text = lf_narrowPathText(path);
    // The throwing form: a status error other than "not found" ends the scan.
    const fs::file_status status = fs::status(path);
    if (status.type() == fs::file_type::not_found) {
        gf_logLine(text + " does not exist, skipped!");
        return true;
    }
    if (!fs::is_directory(status)) {
        gf_logLine(text + " is not a folder name, skipped!");
        return true;
    }
    if (folderIndex < kMaxFolderIndex) ++folderIndex;
    if (gf_stopFlagSet()) return false;
    lf_walkLiveryFolder(folderIndex, path);
    const auto n = static_cast<std::int64_t>(g_liveryScanList.size() - before);
    if (n < 1) {
        gf_logLine(fmt::format("No liveries {}", fmt::format("found in {}", text)));
    } else {
        gf_logLine(fmt::format("{} liverie{} {}", n, gf_pluralInt64(n), fmt::format("found in {}", text)));
        total += n;
        before = g_liveryScanList.size();
    }
    window.showLiveryCount(static_cast<std::int32_t>(g_liveryScanList.size()));
    return !gf_stopFlagSet();
}

const char* lf_flagText(bool flag) { return flag ? "true" : "false"; }

}  // namespace

void lf_resetScanState() {
    lf_clearReportLists();
    gf_resetLiveryScanTitles();
}

void lf_readDontUseTitles() {
    try {
        const WorkPaths& p = gf_workPaths();
        if (gf_streamDecrypt(p.regcodesEnc, p.regcodesXml)) {
            lf_readAigDontUseTitles();
            gf_removeFileWarn(p.regcodesXml);
        }
        if (gf_countDirectoryEntries(p.myRegcodes) > 0) lf_readMyDontUseTitles();
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("exception: {}", e.what()));
    }
}

void lf_updateLiveriesFromDbase() {
    const LiveryScanDbase& dbase = gf_liveryScanDbase();
    for (Livery& livery : g_liveryScanList) {
        if (livery.atcid.empty()) continue;
        const auto rec = dbase.lookupRegistration(livery.atcid);
        if (!rec) continue;
        if (livery.cargo != rec->cargo) {
            lf_addModelConversion(fmt::format("{:80} {} cargo {} => {}", livery.title, livery.atcid,
                                              lf_flagText(livery.cargo), lf_flagText(rec->cargo)));
            livery.cargo = rec->cargo;
        }
        // An empty Dbase value knows nothing better than the livery: it
        // never replaces a code the livery has.
        const std::string& airline = rec->opr.empty() ? rec->airl : rec->opr;
        if (!airline.empty() && livery.airl != airline) {
            lf_addModelConversion(
                fmt::format("{:80} {} airl {} => {}", livery.title, livery.atcid, livery.airl, airline));
            livery.airl = airline;
        }
        if (!rec->type.empty() && livery.type != rec->type) {
            lf_addModelConversion(
                fmt::format("{:80} {} model {} => {}", livery.title, livery.atcid, livery.type, rec->type));
            livery.type = rec->type;
        }
    }
}

void lf_prioritizeLiveries() {
    std::map<std::pair<std::string, std::string>, std::uint32_t> lowest;
    for (const Livery& livery : g_liveryScanList) {
        auto [it, inserted] = lowest.try_emplace({livery.airl, livery.type}, livery.folderIndex);
        if (!inserted && livery.folderIndex < it->second) it->second = livery.folderIndex;
    }
    g_liveryScanList.remove_if(
        [&lowest](const Livery& livery) { return livery.folderIndex > lowest.at({livery.airl, livery.type}); });
}

void lf_checkPathParameter(std::vector<fs::path>& folders) {
    for (const StringParameter& setting : lfolder) {
        const std::string value = setting.get();
        if (value.empty()) continue;
        const fs::path path = lf_pathFromUtf8(value);
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        if (ec || status.type() == fs::file_type::not_found) {
            gf_logHighlight(fmt::format("{}: '{}' does not exist", setting.name(), value));
            throw ozr::UserErrorException(
                243, fmt::format("the path pointed to by parameter '{}' does not exist, see Log.txt!", setting.name()));
        }
        folders.push_back(path);
    }
}

LiveryScanEnd lf_scanFolders(const std::vector<fs::path>& folders, LiveryScanWindow& window) {
    // A stopped scan keeps its state; whatever it left must not count in
    // this one (its titles would all be "already taken").
    lf_waitForScanTasksToEnd(kLateTaskWait, false);
    lf_resetScanState();
    g_liveryScanList.clear();
    lf_removePreviousScanFiles();
    lf_readDontUseTitles();

    std::int64_t total = 0;
    std::uint32_t folderIndex = 0;
    std::size_t before = 0;
    bool stopped = false;
    for (const fs::path& path : folders) {
        if (path.empty()) continue;
        if (!lf_scanOneFolder(path, folderIndex, total, before, window)) {
            stopped = true;
            break;
        }
    }
    if (stopped || (!lf_waitForScanTasksToEnd(kLateTaskWait, true) && gf_stopFlagSet())) {
        lf_waitForScanTasksToEnd(kLateTaskWait, false);
        return LiveryScanEnd::stopped;
    }
    if (g_liveryScanList.empty()) {
        window.showLiveryCount(0);
        // The reports tell the user why every section was refused.
        lf_writeLiveryScanReport();
        lf_resetScanState();
        return LiveryScanEnd::noLiveries;
    }
    if (folders.size() > 1) gf_logLine(fmt::format("{} in total", total));
    lf_updateLiveriesFromDbase();
    if (LIG_PRIORITIZE.value()) lf_prioritizeLiveries();
    g_liveryScanList.sort();  // stable
    g_liveryScanList.unique();
    const bool written = lf_writeLiveriesXml();
    g_liveryScanList.clear();
    lf_writeLiveryScanReport();
    lf_resetScanState();
    gf_clearStatusLine();
    return written ? LiveryScanEnd::written : LiveryScanEnd::notWritten;
}

bool lf_scanLiveryFolders(const std::vector<fs::path>& folders, LiveryScanWindow& window) {
    return lf_scanFolders(folders, window) != LiveryScanEnd::noLiveries;
}

void gf_scanLiveries(LiveryScanWindow& window) {
    gf_setStatusLine(fmt::format("Scanning {}for liveries ...", LIG_PRIORITIZE.value() ? "prioritized " : ""), false);
    gf_logLine(fmt::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                           "manual"));
    std::vector<fs::path> folders;
    folders.reserve(lfolder.size());
    lf_checkPathParameter(folders);
    if (folders.empty()) {
        window.openManual();
        window.openParametersFolder();
        throw ozr::UserErrorException(
            48, fmt::format("Exit {} first!   Then set one or more lfolder parameters to your liveries, see Manual 5.3",
                            "GLIM_P3D"));
    }
    const LiveryScanEnd end = lf_scanFolders(folders, window);
    if (end == LiveryScanEnd::noLiveries) throw ozr::UserErrorException(53, "no liveries found");
    // Only a scan that wrote a new cache may switch the scan off: after a
    // stop or a failed save the old cache is out of date.
    if (end == LiveryScanEnd::written) {
        // A catalogue built in an earlier start-up holds the old cache.
        gf_markLiveryCatalogueStale();
        SCAN_LIVERIES.setValue(false);
        gf_saveBoolParameter(SCAN_LIVERIES);
        gf_uiSink().setCheck(SCAN_LIVERIES.controlId(), false);
        gf_uiSink().invalidateBand(UiBand::controls);
        gf_uiSink().invalidateBand(UiBand::counters);
    }
    gf_logLine("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
    gf_logFlush();
}
