#include "airports/airport_scan.h"

#include "airports/scan_log.h"
#include "airports/stand_file.h"
#include "airports/tblo.h"
#include "core/file_meta.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/shell.h"
#include "core/text.h"
#include "core/text_encoding.h"
#include "core/user_error.h"
#include "ui/status_line.h"
#include "ui/ui_sink.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cwctype>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

std::atomic<bool> g_airportFilesChanged{false};

namespace {

constexpr const char* kSimaddon = "simaddon";
constexpr const char* kAlarm = "===> ";
constexpr std::chrono::seconds kFutureWait{10};
// Tasks given up after their 10-second wait still run; the scan waits this
// long for them before it writes its log and collects tblo.
constexpr std::chrono::seconds kTaskDrainWait{30};
constexpr std::chrono::milliseconds kTaskDrainPoll{10};

std::mutex g_envMutex;
AirportScanEnv g_env;

// One scan, shared with its tasks: a task that was given up may outlive the
// scan and must still find what it uses.
struct ScanState {
    AirportScanEnv env;
    std::mutex linkMutex;   // link files and their log lines
    std::mutex writeMutex;  // generated stand files: one writer at a time
    bool closed = false;    // under both mutexes: the scan has ended, tasks write nothing more
    std::atomic<int> running{0};
};
using ScanStatePtr = std::shared_ptr<ScanState>;

std::wstring lf_lowerWide(const fs::path& part) {
    std::wstring text;
    try {
        text = utf8_to_wide(gf_scanPathUtf8(part));
    } catch (const std::exception&) {
        return {};
    }
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    return text;
}

bool lf_containsNoCase(const std::string& text, std::string_view part) {
    auto it = std::search(text.begin(), text.end(), part.begin(), part.end(),
                          [](char a, char b) { return gf_toUpper(a) == gf_toUpper(b); });
    return it != text.end();
}

// ---- Linking to the maker's archive ----

std::string lf_publisherFromFileName(const AirportScanEnv& env, const std::string& pathUtf8) {
    if (lf_containsNoCase(pathUtf8, "ORBX")) {
        gf_addScanLogLine(fmt::format("from filename => publisher {}", kSimaddon));
        return kSimaddon;
    }
    return env.publisherOfPath ? env.publisherOfPath(pathUtf8) : std::string();
}

std::optional<std::string> lf_simaddonArchived(const ScanState& state, const std::string& code) {
    std::string key = std::string("archive/") + kSimaddon + "/" + code + ".xml";
    if (state.env.hasSimAddonKey && state.env.hasSimAddonKey(key)) return key;
    gf_addScanLogLine(fmt::format("{} does not exist as simaddon", code));
    return std::nullopt;
}

std::optional<std::string> lf_thirdpartyArchived(const ScanState& state, const std::string& publisher,
                                                 const AirportFile& airport, int& archived) {
    std::string escaped;
    for (char c : publisher) escaped += c == ' ' ? std::string("%20") : std::string(1, c);
    const std::string key = "archive/thirdparty/" + escaped + "/" + airport.code + ".xml";
    if (state.env.thirdPartyEntries) {
        for (const std::string& entry : state.env.thirdPartyEntries(publisher)) {
            if (lf_matchCodeNumber(entry, airport.code, publisher, archived)) return key;
        }
    }
    gf_addScanLogLine(fmt::format("thirdparty {} {} does not exist", publisher, airport.code));
    return std::nullopt;
}

bool lf_writeLink(const fs::path& folder, const AirportFile& airport, const std::string& key) {
    const fs::path link = folder / gf_txtNameOf(airport.code);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (gf_writeTextFile(key, link, true)) return true;
    // The airport still gets a stand file: the generated one.
    gf_addScanLogLine(fmt::format("{}Writing {} did not succeed", kAlarm, gf_scanPathUtf8(link)));
    return false;
}

bool lf_linkAirportFile(ScanState& state, AirportFile& airport, int& archived, const std::string& pathUtf8) {
    std::lock_guard lock(state.linkMutex);
    archived = 0;
    airport.BGLpath = pathUtf8;
    airport.publisher = lf_publisherFromFileName(state.env, pathUtf8);
    if (state.closed || airport.publisher.empty()) return false;
    const WorkPaths& paths = gf_workPaths();
    if (airport.publisher == kSimaddon) {
        const auto key = lf_simaddonArchived(state, airport.code);
        if (!key || !lf_writeLink(paths.myOrbx, airport, *key)) return false;
        gf_addScanLogLine(fmt::format("{} airport {} linked to {}", kSimaddon, airport.code, *key));
    } else {
        const auto key = lf_thirdpartyArchived(state, airport.publisher, airport, archived);
        if (!key || !lf_writeLink(paths.myThirdparty, airport, *key)) return false;
        gf_addScanLogLine(fmt::format("thirdparty airport {} linked to {}", airport.code, *key));
    }
    g_airportFilesChanged = true;
    return true;
}

// ---- Generated stand files ----

void lf_generateAirportFile(ScanState& state, AirportFile& airport, int helipadCounter) {
    if (airport.stands.empty()) return;
    const WorkPaths& paths = gf_workPaths();
    const fs::path folder = airport.publisher == kSimaddon ? paths.myOrbx : paths.myThirdparty;
    const std::string helipads =
        helipadCounter < 2 ? std::string()
                           : fmt::format(", of which {} helipad{}", helipadCounter - 1,
                                         gf_pluralSize(static_cast<std::uint64_t>(helipadCounter - 1)));
    const fs::path file = folder / gf_xmlNameOf(airport.code);
    std::sort(airport.stands.begin(), airport.stands.end(),
              [](const Stand& a, const Stand& b) { return a.id < b.id; });
    // Two files of one scenery may hold the same airport: their tasks write
    // the same stand file, one after the other.
    std::lock_guard lock(state.writeMutex);
    if (state.closed) return;
    gf_addScanLogLine(fmt::format("Generated {}: {} position{}{}", gf_scanPathUtf8(gf_xmlNameOf(airport.code)),
                                  airport.stands.size(), gf_pluralSize(airport.stands.size()), helipads));
    if (!fs::exists(folder)) fs::create_directories(folder);
    if (!gf_writeAirportFile(airport, file, StandFileForm::generated, g_simVariant.load(), false)) {
        gf_addScanLogLine(fmt::format("{}Generating {} did not succeed", kAlarm, gf_scanPathUtf8(file)));
        return;
    }
    g_airportFilesChanged = true;
}

void lf_decodeAirportRecord(ScanState& state, const BglWords& words, const BglAirportRecord& record,
                            const std::string& pathUtf8) {
    DecodedAirport decoded;
    AirportFile& airport = decoded.airport;
    airport.code = record.code;
    int archived = 0;
    const bool linked = lf_linkAirportFile(state, airport, archived, pathUtf8);
    lf_decodeAirportHeader(words, record, airport);
    lf_decodeAirportStands(words, record, airport, decoded.helipadCounter, pathUtf8);
    const auto n = static_cast<std::int64_t>(airport.stands.size());
    const bool moreThanArchived = n > archived && airport.publisher != kSimaddon;
    if (moreThanArchived) {
        gf_addScanLogLine(fmt::format("{}{} has {} parkpos while archived one has {}", kAlarm, airport.code, n,
                                      archived));
    }
    if (!linked || moreThanArchived) lf_generateAirportFile(state, airport, decoded.helipadCounter);
}

// ---- Tasks ----

// The task body: decodes one file. The running counts go down however it
// ends; an error is logged and passed on to the task's future.
void lf_processBGLfile(const ScanStatePtr& state, const fs::path& path) {
    struct Done {
        ScanState& state;
        ~Done() {
            g_scanTaskCount.count.fetch_sub(1);
            state.running.fetch_sub(1);
        }
    } done{*state};
    const std::string pathUtf8 = gf_scanPathUtf8(path);
    try {
        lf_decodeBglFile(path, state->env.isKnownAirport, [&](const BglWords& words, const BglAirportRecord& record) {
            lf_decodeAirportRecord(*state, words, record, pathUtf8);
        });
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("Exception in lf_processBGLfile (std::ex): {} \x97 {}", pathUtf8, e.what()));
        throw;
    } catch (...) {
        gf_logHighlight(fmt::format("Exception in lf_processBGLfile: {}", pathUtf8));
        throw;
    }
}

// The count goes up before the thread exists, so a slot wait never sees a
// task that started but is not counted; it goes down again when no thread
// could be made.
std::future<void> lf_startTask(const ScanStatePtr& state, const fs::path& path) {
    std::packaged_task<void()> task([state, path] { lf_processBGLfile(state, path); });
    std::future<void> future = task.get_future();
    g_scanTaskCount.count.fetch_add(1);
    state->running.fetch_add(1);
    try {
        std::thread(std::move(task)).detach();
    } catch (...) {
        g_scanTaskCount.count.fetch_sub(1);
        state->running.fetch_sub(1);
        throw;
    }
    return future;
}

void lf_takeOldest(std::deque<std::future<void>>& pending) {
    std::future<void> oldest = std::move(pending.front());
    pending.pop_front();
    if (oldest.wait_for(kFutureWait) == std::future_status::timeout) {
        throw std::runtime_error("Future wait timed out after 10 seconds");
    }
    oldest.get();
}

bool lf_isBglFile(const fs::directory_entry& entry) {
    std::error_code ec;
    if (!entry.is_regular_file(ec)) return false;
    std::string ext = gf_scanPathUtf8(entry.path().extension());
    std::transform(ext.begin(), ext.end(), ext.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    if (ext != ".bgl") return false;
    const std::string text = gf_scanPathUtf8(entry.path());
    return text.find("statics") == std::string::npos && text.find("_heliports") == std::string::npos;
}

void lf_handleEntry(const ScanStatePtr& state, const fs::directory_entry& entry,
                    std::deque<std::future<void>>& pending) {
    if (!lf_isBglFile(entry) || !lf_bglHasAirportSection(entry.path())) return;
    if (gf_stopFlagSet() || !gf_waitForScanSlot()) return;
    pending.push_back(lf_startTask(state, entry.path()));
    if (pending.size() > static_cast<std::size_t>(std::max(1, g_scanTaskCount.limit))) {
        try {
            lf_takeOldest(pending);
        } catch (const std::exception& e) {
            gf_addScanLogLine(fmt::format("{} airports search aborted, futs inner,\n{}\n{}\n{}", kAlarm, e.what(),
                                          pending.size(), gf_scanPathUtf8(entry.path())));
        }
    }
}

void lf_scanFolderForBgl(const ScanStatePtr& state, const fs::path& folder) {
    const std::string folderText = gf_scanPathUtf8(folder);
    gf_addScanLogLine(fmt::format("Scanning for {} airports in {}", "addon ", folderText));
    std::deque<std::future<void>> pending;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        try {
            if (lf_isInStockScenery(it->path())) {
                it.disable_recursion_pending();
                continue;
            }
            lf_handleEntry(state, *it, pending);
        } catch (const std::exception& e) {
            gf_addScanLogLine(fmt::format("{} airports search in folder {} aborted, cause: {}", kAlarm, folderText,
                                          e.what()));
        }
    }
    if (ec) {
        gf_addScanLogLine(fmt::format("{} airports search in folder {} aborted, cause: {}", kAlarm, folderText,
                                      ec.message()));
    }
    while (!pending.empty()) {
        try {
            lf_takeOldest(pending);
        } catch (const std::exception& e) {
            gf_addScanLogLine(fmt::format("{} airports search in {} aborted, futs outer error: {}", kAlarm, folderText,
                                          e.what()));
        }
    }
}

void lf_scanAirportFolder(const ScanStatePtr& state, const std::vector<fs::path>& folders) {
    for (const fs::path& folder : folders) {
        if (folder.empty()) continue;
        std::error_code ec;
        const bool exists = fs::exists(folder, ec);
        if (ec && ec != std::errc::no_such_file_or_directory) throw fs::filesystem_error("exists", folder, ec);
        if (!exists) {
            gf_setStatusLine(gf_scanPathUtf8(folder) + " does not exist, skipped!", true);
            continue;
        }
        const fs::file_status status = fs::status(folder, ec);
        if (ec) throw fs::filesystem_error("status", folder, ec);
        if (!fs::is_directory(status)) {
            gf_setStatusLine(gf_scanPathUtf8(folder) + " is not a folder name, skipped!", true);
            continue;
        }
        if (lf_isInStockScenery(folder)) continue;
        lf_scanFolderForBgl(state, folder);
    }
}

// Tasks given up after their wait may still be decoding: the scan log and
// tblo must not change under the collection, so the scan waits for them (a
// bounded time) and then closes the scan to their writes.
void lf_closeScan(ScanState& state) {
    const auto until = std::chrono::steady_clock::now() + kTaskDrainWait;
    while (state.running.load() > 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(kTaskDrainPoll);
    }
    std::scoped_lock lock(state.linkMutex, state.writeMutex);
    state.closed = true;
}

bool lf_scanAirportFolders(const ScanStatePtr& state, const std::vector<fs::path>& folders) {
    const WorkPaths& paths = gf_workPaths();
    gf_logLineFlushed(fmt::format("The scan will search {} folder{}", folders.size(), gf_pluralSize(folders.size())));
    std::error_code ec;
    if (!fs::remove(paths.airportsScanLog, ec) && ec && ec != std::errc::no_such_file_or_directory) {
        gf_logLineFlushed("problems with removing previous files (maybe still open?): " + ec.message());
    }
    g_tbloFileCount = 0;
    // Lowered here, so that a second scan of the process reports what it
    // found itself.
    g_airportFilesChanged = false;
    gf_startScanLog();
    lf_scanAirportFolder(state, folders);
    lf_closeScan(*state);

    if (gf_writeLines(gf_scanLogLines(), paths.airportsScanLog)) {
        gf_logLineFlushed(gf_scanPathUtf8(paths.airportsScanLog) + " written");
    } else {
        gf_logLineFlushed("Error writing file " + gf_scanPathUtf8(paths.airportsScanLog));
    }
    gf_clearStatusLine();
    gf_clearScanLog();

    lf_collectTblo(gf_listXmlFiles(), state->env.isKnownAirport, state->env.tbloCollected);
    const bool changed = g_airportFilesChanged.load();
    if (changed) gf_logLineFlushed("Airports scan successful");
    return changed;
}

}  // namespace

void gf_setAirportScanEnv(AirportScanEnv env) {
    std::lock_guard lock(g_envMutex);
    g_env = std::move(env);
}

bool lf_isInStockScenery(const fs::path& path) {
    const fs::path stock = gf_stockSceneryPath();
    // Without an installation path the stock path is only "Scenery": no
    // folder of the user lies in that.
    if (stock.empty() || !stock.has_root_path()) return false;
    const fs::path a = path.lexically_normal();
    const fs::path b = stock.lexically_normal();
    auto ai = a.begin();
    for (auto bi = b.begin(); bi != b.end(); ++bi, ++ai) {
        if (bi->empty() && std::next(bi) == b.end()) return true;  // a trailing separator
        if (ai == a.end() || lf_lowerWide(*ai) != lf_lowerWide(*bi)) return false;
    }
    return true;
}

std::vector<fs::path> lf_airportFolders() {
    std::vector<fs::path> folders;
    folders.reserve(afolder.size());
    for (const StringParameter& setting : afolder) {
        const std::string value = setting.get();
        if (value.empty()) continue;
        const fs::path folder(std::u8string(value.begin(), value.end()));
        if (lf_isInStockScenery(folder)) {
            throw ozr::UserErrorException(
                42, fmt::format("parameter {} points to stock airports instead of add-on airports!", setting.name()));
        }
        gf_logLineFlushed(fmt::format("From parameter {}: {}", setting.name(), gf_scanPathUtf8(folder)));
        folders.push_back(folder);
    }
    return folders;
}

std::string gf_publisherFromFileName(const std::string& pathUtf8) {
    AirportScanEnv env;
    {
        std::lock_guard lock(g_envMutex);
        env = g_env;
    }
    return lf_publisherFromFileName(env, pathUtf8);
}

bool lf_matchCodeNumber(const std::string& entry, const std::string& code, const std::string& publisher,
                        int& archived) {
    if (!entry.starts_with(code)) return false;
    std::string_view rest = entry.size() > 4 ? std::string_view(entry).substr(4) : std::string_view();
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error == std::errc() && end != rest.data()) {
        archived = value;
    } else {
        gf_logHighlight(fmt::format("{} {} {} {}", publisher, code, entry, "invalid number"));
    }
    return true;
}

void gf_scanAddonAirports() {
    const WorkPaths& paths = gf_workPaths();
    auto state = std::make_shared<ScanState>();
    {
        std::lock_guard lock(g_envMutex);
        state->env = g_env;
    }
    gf_setStatusLine("Scanning for addon airports ...", false);
    gf_logLineFlushed(fmt::format("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++",
                              "manual "));
    if (fs::exists(paths.tblo)) {
        gf_removeFilesFromDirectory(paths.tblo);
    } else {
        fs::create_directories(paths.tblo);
    }
    const std::vector<fs::path> folders = lf_airportFolders();
    if (folders.empty()) {
        if (state->env.openManual) state->env.openManual();
        if (state->env.openParametersFolder) state->env.openParametersFolder();
        throw ozr::UserErrorException(
            49, "Exit GLIM_P3D first!   Then set one or more afolder parameters to your add-on airports, see Manual 6.2");
    }
    gf_removeFilesFromDirectory(paths.myOrbx);
    gf_removeFilesFromDirectory(paths.myThirdparty);
    if (!lf_scanAirportFolders(state, folders)) {
        gf_setStatusLine("Warning: Scan has not found any add-on airports", true);
    }
    SCAN_AIRPORTS.setValue(false);
    gf_saveBoolParameter(SCAN_AIRPORTS);
    gf_uiSink().setCheck(SCAN_AIRPORTS.controlId(), false);
    gf_uiSink().invalidateBand(UiBand::controls);
    if (g_tbloFileCount.load() == 0) fs::remove_all(paths.tblo);
    gf_uiSink().invalidateBand(UiBand::counters);
    gf_logLineFlushed("-------------------------- airports scan ends    ----------------------------\n");
}
