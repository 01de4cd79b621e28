#include "ui/self_update.h"

#include "core/decrypt.h"
#include "core/download.h"
#include "core/exit_reason.h"
#include "core/files.h"
#include "core/json_limits.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/shell.h"
#include "core/text_encoding.h"
#include "core/zip_archive.h"
#include "core/status_line.h"
#include "core/steady_clock.h"
#include "core/ui_sink.h"

#include <curl/curl.h>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <mutex>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* kIndexFileName = "versions.json";
// The index lists a handful of files: a larger one is a server gone wrong,
// refused like any unreadable index before it is held in memory.
constexpr std::size_t kMaxIndex_bytes = std::size_t{1} << 20;
// The index is small: a site that has not sent it whole within a minute is
// down or hostile, and the start-up goes on without it.
constexpr DownloadCaps kIndexCaps{kMaxIndex_bytes, 60, 0};
// No data file of the site comes near this size. A data file gets a minute
// and one more second for every 32 KiB that arrived: a large file on a slow
// line still comes, a trickle does not hold the start-up.
constexpr DownloadCaps kDataFileCaps{std::uint64_t{128} << 20, 60, 32 * 1024};
// No installer of this program comes near this; the download of its archive
// is capped alike.
constexpr std::uint64_t kMaxInstaller_bytes = std::uint64_t{512} << 20;
constexpr const char* kProgramName = "GLIM_P3D";
constexpr const char* kReleaseNotesName = "ReleaseNotes.pdf";
constexpr const char* kReadmeName = "README.txt";
constexpr unsigned kMessageBoxOkExclamation = 0x30;  // MB_OK | MB_ICONEXCLAMATION

using CurlHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
CurlHandle lf_newHandle() { return CurlHandle(curl_easy_init(), &curl_easy_cleanup); }

std::string lf_text(const fs::path& path) { return gf_pathToUtf8(path); }

void lf_logUpdated(std::string_view key, const VersionData& version) {
    gf_logLine(fmt::format("{} updated to {}", key, gf_versionToString(version)));
}
void lf_logUpToDate(std::string_view key) { gf_logLine(fmt::format("{} version up-to-date", key)); }
void lf_logVersionNotFound(std::string_view key) { gf_logHighlight(fmt::format("{} version not found", key)); }

// ---- The update index ----

// An index entry as it was found: usable, absent, or present but unusable.
struct WebVersion {
    enum class State { found, missing, malformed } state = State::missing;
    VersionData version;
};

std::optional<std::int32_t> lf_int32Member(const json& entry, const char* name) {
    const auto it = entry.find(name);
    if (it == entry.end() || !it->is_number_integer()) return std::nullopt;
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return std::nullopt;
        return static_cast<std::int32_t>(value);
    }
    const auto value = it->get<std::int64_t>();
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

// An entry without integer "major", "minor" and "patch" is reported and
// skipped: one bad line in the index must not cost the user the other checks,
// nor end every start of the program with an error.
WebVersion lf_webVersion(const json& index, const char* key) {
    WebVersion web;
    if (!index.is_object()) return web;
    const auto it = index.find(key);
    if (it == index.end()) return web;
    if (it->is_object()) {
        const auto major = lf_int32Member(*it, "major");
        const auto minor = lf_int32Member(*it, "minor");
        const auto patch = lf_int32Member(*it, "patch");
        if (major && minor && patch) {
            web.state = WebVersion::State::found;
            web.version = VersionData(*major, *minor, *patch);
            return web;
        }
    }
    web.state = WebVersion::State::malformed;
    gf_logHighlight(fmt::format("{}: \"{}\" has no integer major, minor and patch; skipped", kIndexFileName, key));
    return web;
}

// Without this the user would see nothing of a check that did not happen,
// and wonder why the start-up took a minute.
void lf_showNoUpdateCheck(const std::string& why) {
    gf_setStatusLine(fmt::format("No update check ({} from the download site: {}), going on with the files at hand",
                                 kIndexFileName, why),
                     true);
}

// Steps 1 to 3: the index fetched, read and removed. Nothing when it cannot be
// had; the run then goes on with the files it has.
std::optional<json> lf_fetchIndex(std::string& unreachable) {
    const fs::path file = kIndexFileName;
    {
        const CurlHandle handle = lf_newHandle();
        DownloadFailure failure;
        if (!gf_downloadFile(handle.get(), gf_siteBaseUrl() + kIndexFileName, file, false, kIndexCaps, &failure)) {
            gf_logHighlight("Downloading version info from my web site failed!");
            lf_showNoUpdateCheck(failure.reason);
            unreachable = failure.reason.empty() ? std::string("no answer") : failure.reason;
            return std::nullopt;
        }
    }
    std::string text;
    {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            gf_logHighlight("Cannot open versions.json");
            return std::nullopt;
        }
        text.resize(kMaxIndex_bytes + 1);
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
    }
    gf_removeFileWarn(file);
    try {
        if (text.size() > kMaxIndex_bytes) throw std::length_error(fmt::format("larger than {} bytes", kMaxIndex_bytes));
        return gf_parseJsonCapped(text, true, kIndexFileName, kMaxIndexValues);
    } catch (const std::exception& e) {
        // A proxy's or host's HTML page arrives with status 200 just as well.
        gf_logHighlight(fmt::format("{} is not readable, no update check: {}", kIndexFileName, e.what()));
        lf_showNoUpdateCheck("not readable");
        return std::nullopt;
    }
}

// ---- Data files and scans ----

// The file is fetched beside its target and takes the target's place only
// when it arrived whole and decrypts: a cut-off or damaged download must not
// replace the data file the program reads at every start. A damaged target
// is kept aside, never deleted, before the new file takes its place. False
// with the reason in failure when the target stays as it was.
bool lf_downloadDataFile(std::string_view fileName, const fs::path& target, bool damaged, DownloadFailure& failure) {
    std::error_code ec;
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    fs::path part = target;
    part += ".part";
    if (!gf_downloadFromSite(fileName, part, kDataFileCaps, &failure)) {
        fs::remove(part, ec);
        return false;
    }
    if (std::string why; !gf_streamCheck(part, &why)) {
        gf_logHighlight(fmt::format("Downloaded {} cannot be decrypted ({}); {} is kept", fileName, why,
                                    lf_text(target)));
        fs::remove(part, ec);
        failure = DownloadFailure{"the downloaded file cannot be decrypted", false};
        return false;
    }
    fs::path kept;
    if (damaged) {
        kept = gf_keepDamagedFile(target, ec);
        if (kept.empty()) {
            gf_logHighlight(fmt::format("could not keep the damaged {} aside: {}", lf_text(target), ec.message()));
            fs::remove(part, ec);
            failure = DownloadFailure{"the damaged file could not be kept aside", false};
            return false;
        }
    }
    if (!gf_replaceFile(part, target, ec)) {
        gf_logHighlight(fmt::format("could not rename {} => {}: {}", lf_text(part), lf_text(target), ec.message()));
        fs::remove(part, ec);
        failure = DownloadFailure{"the new file could not be put in place", false};
        return false;
    }
    if (damaged) {
        gf_setStatusLine(fmt::format("{} was damaged: downloaded again, the damaged file is kept as {}",
                                     lf_text(target), lf_text(kept.filename())),
                         true);
    }
    return true;
}

bool lf_exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// A data file the program could not read counts as missing: otherwise a
// damaged file, whose version setting is current, would stop every start
// with an error that no update check ever mends.
enum class LocalDataFile { readable, missing, damaged };

LocalDataFile lf_localDataFile(const fs::path& target) {
    std::error_code ec;
    if (!fs::exists(target, ec)) return LocalDataFile::missing;
    std::string why;
    if (gf_streamCheck(target, &why)) return LocalDataFile::readable;
    gf_logHighlight(fmt::format("{} cannot be read ({}): it counts as missing and is downloaded again",
                                lf_text(target), why));
    return LocalDataFile::damaged;
}

// siteTooSlow: a data file of this check ran out of time. The files after
// it wait for the next start: each would take its own time limit again, and
// the start-up would wait for all of them.
void lf_checkDataFile(const json& index, const char* key, StringParameter& setting, const fs::path& target,
                      std::string_view fileName, bool& siteTooSlow) {
    const WebVersion web = lf_webVersion(index, key);
    if (web.state == WebVersion::State::missing) lf_logVersionNotFound(key);
    if (web.state != WebVersion::State::found) return;
    const VersionData local(setting.get());
    const LocalDataFile file = lf_localDataFile(target);
    if (!gf_isNewerVersion(web.version, local) && file == LocalDataFile::readable) {
        lf_logUpToDate(key);
        return;
    }
    if (siteTooSlow) {
        gf_logHighlight(fmt::format("{}: the download site is too slow, {} waits for the next start", key, fileName));
        return;
    }
    // A failed download leaves the setting as it was, so the next start
    // tries again.
    DownloadFailure failure;
    if (lf_downloadDataFile(fileName, target, file == LocalDataFile::damaged, failure)) {
        setting.set(gf_versionToString(web.version));
        lf_logUpdated(key, web.version);
        return;
    }
    siteTooSlow = failure.outOfTime;
    if (file == LocalDataFile::damaged) {
        gf_setStatusLine(fmt::format("{} is damaged and could not be downloaded again ({}); the next start tries "
                                     "again",
                                     lf_text(target), failure.reason),
                         true);
    } else {
        gf_setStatusLine(fmt::format("Downloading {} failed ({}){}", fileName, failure.reason,
                                     file == LocalDataFile::readable ? ", going on with the file at hand" : ""),
                         true);
    }
}

void lf_turnScanOn(CheckBoxParameter& flag) {
    flag.setValue(true);
    gf_saveBoolParameter(flag);
    gf_uiSink().setCheck(flag.controlId(), true);
    gf_uiSink().invalidateBand(UiBand::controls);
}

void lf_checkScan(const json& index, const char* key, StringParameter& setting, CheckBoxParameter& flag,
                  bool scanOutputMissing) {
    const WebVersion web = lf_webVersion(index, key);
    if (web.state == WebVersion::State::missing) lf_logVersionNotFound(key);
    if (web.state != WebVersion::State::found) return;
    if (gf_isNewerVersion(web.version, VersionData(setting.get())) || scanOutputMissing) {
        lf_turnScanOn(flag);
        setting.set(gf_versionToString(web.version));
        lf_logUpdated(key, web.version);
    } else {
        lf_logUpToDate(key);
    }
}

// ---- The new program version ----

bool lf_isExeName(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".exe";
}

// Writes the archive's one program (.exe entry) to the installer; other
// files beside it are left. An archive with no program or with several is
// refused: which of them installs the new version cannot be told. A damaged
// entry or a full disk removes what was written: a half-written installer
// must never be offered to the user.
bool lf_unzipInstaller(const fs::path& zipFile, const fs::path& installer) {
    const std::string zipName = lf_text(zipFile);
    ZipArchive zip;
    if (!zip.openReadOnly(zipFile)) {
        gf_logHighlight(fmt::format("Could not open {}", zipName));
        return false;
    }
    std::vector<ZipEntry> programs;
    for (const ZipEntry& entry : zip.entries()) {
        if (!entry.folder && lf_isExeName(entry.name)) programs.push_back(entry);
    }
    if (programs.size() != 1) {
        gf_logHighlight(fmt::format("{} holds {} programs (.exe), expected one: not unzipped", zipName,
                                    programs.size()));
        return false;
    }
    const ZipEntry& entry = programs.front();
    std::error_code ec;
    fs::remove(installer, ec);
    if (ec) gf_logHighlight(fmt::format("Warning: could not remove old installer: {}", ec.message()));
    // Streamed to disk: the entry's bytes are counted, whatever size the
    // archive claims, so a hostile archive can fill neither memory nor disk.
    if (!zip.extractTo(entry, installer, kMaxInstaller_bytes)) {
        gf_logHighlight(fmt::format("Unzipping error code: {}", zip.lastError()));
        fs::remove(installer, ec);
        return false;
    }
    gf_logLine(fmt::format("{} unzipped to {}", zipName, lf_text(installer)));
    return true;
}

// The new_version folder, made if needed; false (logged) when the file
// system refuses. What an earlier start left there stays until the new
// installer is in place.
bool lf_prepareNewVersionFolder(const fs::path& folder) {
    std::error_code ec;
    const bool exists = fs::exists(folder, ec);
    if (!ec && !exists) fs::create_directory(folder, ec);
    if (ec) {
        gf_logHighlight(fmt::format("could not prepare {}: {}", lf_text(folder), ec.message()));
        return false;
    }
    return true;
}

// The files of an earlier version beside the new installer go.
void lf_removeOtherFiles(const fs::path& folder, const fs::path& keep) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::error_code entryEc;
        if (!entry.is_regular_file(entryEc) || entry.path().filename() == keep.filename()) continue;
        fs::remove(entry.path(), entryEc);
        if (entryEc) {
            gf_logHighlight(fmt::format("Warning: could not remove {}: {}", lf_text(entry.path()), entryEc.message()));
        }
    }
}

// The installer goes into new_version through a part file, and its size is
// checked on the way: a rename that lost bytes must not pass for a good one.
bool lf_moveInstallerIntoPlace(const fs::path& installer, const fs::path& target) {
    fs::path part = target;
    part += ".part";
    std::error_code ec;
    fs::remove(part, ec);
    // The target is replaced by the last rename only: until then an earlier
    // installer stays where the user finds it.
    const std::uintmax_t size = fs::file_size(installer, ec);
    if (ec) {
        gf_logLine(fmt::format("file_size({}) failed: {}", lf_text(installer), ec.message()));
        return false;
    }
    fs::rename(installer, part, ec);
    if (ec) {
        gf_logLine(fmt::format("could not rename {} => {}: {}", lf_text(installer), lf_text(part), ec.message()));
        return false;
    }
    const std::uintmax_t partSize = fs::file_size(part, ec);
    if (ec) {
        gf_logLine(fmt::format("file_size({}) failed: {}", lf_text(part), ec.message()));
        return false;
    }
    if (size != partSize) {
        gf_logLine(fmt::format("rename {} => {} suspicious: size {} != {}", lf_text(installer), lf_text(part), size,
                               partSize));
        return false;
    }
    fs::rename(part, target, ec);
    if (ec) {
        gf_logLine(
            fmt::format("could not finalize rename {} => {}: {}", lf_text(part), lf_text(target), ec.message()));
        return false;
    }
    return true;
}

// The installer is in place: the release notes and the note on
// administrator rights go beside it, the user is shown the folder, and the
// run ends with NEW VERSION.
void lf_offerNewVersion() {
    const WorkPaths& paths = gf_workPaths();
    if (!lf_downloadReleaseNotes(paths.newVersion / paths.releaseNotes)) {
        gf_logHighlight(fmt::format("could not download {} to {}", kReleaseNotesName, lf_text(paths.newVersion)));
    }
    std::error_code ec;
    const std::string rights = gf_checkInstallerRights(fs::current_path(ec));
    gf_logAndFlushConsole(rights);
    const fs::path readme = paths.newVersion / kReadmeName;
    if (!gf_writeFileReplacing(readme, [&rights](std::ostream& out) { out << rights << "\n"; })) {
        gf_logHighlight(fmt::format("Could not create output file {}", lf_text(readme)));
    }
    if (lf_openExplorerAtNewVersion()) {
        gf_logFlush();
    } else {
        gf_setStatusLine("Opening file explorer at the new version failed? Try manually via the Varndolin website.",
                         true);
    }
    gf_setExitReason(ExitReason::newVersion, 0);
}

// False when a new version was placed and the run ends.
bool lf_checkProgram(const json& index) {
    const WebVersion web = lf_webVersion(index, "p3d");
    if (web.state == WebVersion::State::missing) lf_logVersionNotFound("p3d");
    if (web.state != WebVersion::State::found) return true;
    gf_logLine(fmt::format("{} program version at web = {}", "p3d", gf_versionToString(web.version)));
    if (!gf_isNewerVersion(web.version, g_programVersion)) {
        lf_logUpToDate("p3d");
        return true;
    }
    if (!lf_downloadNewVersion(web.version)) {
        gf_setStatusLine(
            "The downloading/unzipping of the new version failed? Try manually via the Varndolin website.", true);
        return true;
    }
    lf_offerNewVersion();
    return false;
}

}  // namespace

std::string gf_versionToString(const VersionData& version) {
    return fmt::format("{}.{}.{}", version.major, version.minor, version.patch);
}

bool lf_downloadReleaseNotes(const fs::path& output) {
    const CurlHandle handle = lf_newHandle();
    return gf_downloadFile(handle.get(), gf_siteBaseUrl() + "docs/" + kReleaseNotesName, output, true);
}

bool lf_openExplorerAtNewVersion() {
    const WorkPaths& paths = gf_workPaths();
    std::error_code ec;
    if (gf_openContainingFolder(fs::current_path(ec) / paths.newVersion / paths.installer)) return true;
    gf_uiSink().messageBox("Could not open File Explorer at new version", "GLIM", kMessageBoxOkExclamation);
    return false;
}

bool lf_downloadNewVersion(const VersionData& version) {
    const WorkPaths& paths = gf_workPaths();
    const std::string versionText = gf_versionToString(version);
    const fs::path zipFile = fmt::format("setup_{}_d_v{}.zip", kProgramName, versionText);
    const fs::path& installer = paths.installer;

    // An installer left by an earlier, failed attempt must never be offered
    // as this version's.
    std::error_code ec;
    fs::remove(installer, ec);
    if (ec) {
        gf_logHighlight(fmt::format("Warning: could not remove old installer: {}", ec.message()));
        return false;
    }

    bool downloaded = false;
    {
        const CurlHandle handle = lf_newHandle();
        downloaded = gf_downloadFile(handle.get(), gf_siteBaseUrl() + "release/" + lf_text(zipFile), zipFile, true);
    }
    if (!downloaded) {
        gf_setStatusLine(fmt::format("Downloading program installer file version {} failed", versionText), true);
    } else {
        gf_logLine(fmt::format("Downloaded {}", lf_text(zipFile)));
        lf_unzipInstaller(zipFile, installer);
    }

    fs::remove(zipFile, ec);
    if (ec) gf_logHighlight(fmt::format("Warning: could not remove downloaded zip: {}", ec.message()));
    // Checked before new_version is emptied: a failed attempt must not cost
    // the user the installer an earlier start put there.
    if (!lf_exists(installer)) {
        gf_logHighlight(fmt::format("{} does not exists?", lf_text(installer)));
        return false;
    }
    if (!lf_prepareNewVersionFolder(paths.newVersion)) return false;
    if (!lf_moveInstallerIntoPlace(installer, paths.newVersion / paths.installer)) {
        fs::remove(installer, ec);
        return false;
    }
    lf_removeOtherFiles(paths.newVersion, paths.installer);
    fs::remove(installer, ec);
    if (ec) gf_logHighlight(fmt::format("Warning: could not remove extracted: {}", ec.message()));
    return true;
}

std::string gf_checkInstallerRights(const fs::path& folder, const InstallerRightsProbe& probe) {
    const auto& text = folder.native();
    const bool isProtected = std::any_of(probe.protectedRoots.begin(), probe.protectedRoots.end(),
                                         [&text](const fs::path& root) {
                                             return !root.empty() && text.starts_with(root.native());
                                         });
    const bool writable = probe.canWriteIn && probe.canWriteIn(folder);
    if (isProtected && !writable && !(probe.processElevated && probe.processElevated())) return kInstallerAdminText;
    return kInstallerNormalText;
}

std::string gf_checkInstallerRights(const fs::path& folder) {
    return gf_checkInstallerRights(folder, gf_systemInstallerRightsProbe());
}

namespace {

// Why the last check could not reach the site (curl's reason); empty when it
// did. Read by the wait for a data file that did not come.
std::mutex g_siteFailureMutex;
std::string g_siteFailure;

void lf_setSiteFailure(const std::string& reason) {
    std::lock_guard lock(g_siteFailureMutex);
    g_siteFailure = reason;
}

std::string lf_siteFailure() {
    std::lock_guard lock(g_siteFailureMutex);
    return g_siteFailure;
}

}  // namespace

bool gf_checkForUpdates() {
    try {
        std::string unreachable;
        const std::optional<json> index = lf_fetchIndex(unreachable);
        lf_setSiteFailure(unreachable);
        if (!index) return true;
        if (!lf_checkProgram(*index)) return false;

        const WorkPaths& paths = gf_workPaths();
        bool siteTooSlow = false;
        const std::array<std::function<void()>, 5> steps = {
            [&] {
                lf_checkDataFile(*index, "airports", AIRPORTS_VERSION, paths.airportsEnc, "airports.enc", siteTooSlow);
            },
            [&] { lf_checkDataFile(*index, "aig", AIG_VERSION, paths.regcodesEnc, "AIG-regcodes.enc", siteTooSlow); },
            [&] {
                lf_checkScan(*index, "liveries", LIV_SCAN_VERSION, SCAN_LIVERIES, !lf_exists(paths.liveriesScanned));
            },
            [&] { lf_checkScan(*index, "addons", ADDONS_SCAN_VERSION, SCAN_AIRPORTS, false); },
            [&] { lf_checkDataFile(*index, "dbase", DBASE_VERSION, paths.dbaseEnc, "dbase.enc", siteTooSlow); },
        };
        for (const auto& step : steps) {
            // A user who closes the window does not wait for the rest.
            if (gf_stopFlagSet()) break;
            step();
        }
    } catch (const std::exception& e) {
        // The update is a convenience: whatever goes wrong in it, the run goes
        // on with the files it has.
        gf_logHighlight(fmt::format("{} exception: {}", "gf_checkForUpdates", e.what()));
    }
    return true;
}

bool gf_waitForDownloadSite(const fs::path& missing, bool first) {
    const std::string unreachable = lf_siteFailure();
    const std::string what = unreachable.empty()
        ? fmt::format("the download site did not deliver {}", lf_text(missing))
        : fmt::format("the download site could not be reached ({}), and {} is missing", unreachable,
                      lf_text(missing));
    if (first) {
        gf_logHighlight(fmt::format("Waiting for the download site {}: {}. Check the internet connection and that "
                                    "no firewall or proxy blocks glim_p3d.exe; trying again every {} s",
                                    gf_siteBaseUrl(), what, kSiteRetry_s));
    }
    for (int left = kSiteRetry_s; left > 0; --left) {
        if (gf_stopFlagSet()) return false;
        gf_setStatusLine(
            fmt::format("No download site: check internet and firewall (Manual 1.6), next try in {} s", left), false);
        if (!gf_sleepWatching(std::chrono::seconds(1), std::chrono::milliseconds(100), gf_stopFlagSet)) return false;
    }
    gf_setStatusLine("Trying the download site again ...", true);
    return true;
}
