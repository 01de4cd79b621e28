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
#include "core/status_line.h"
#include "core/ui_sink.h"

#include <fmt/format.h>

#include <fstream>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cwctype>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <iterator>
#include <map>
#include <optional>
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

// What the scan wrote of one airport so far. Its lock keeps the writes of
// one airport apart; different airports never wait for each other.
struct AirportSlot {
    std::mutex mutex;
    bool generated = false;
    std::size_t stands = 0;  // of the generated file
    std::string bglPath;     // the .bgl file it came from
};

// One scan, shared with its tasks: a task that was given up may outlive the
// scan and must still find what it uses.
struct ScanState {
    std::shared_ptr<AirportScanLookups> lookups;
    KnownAirportCheck isKnownAirport;
    // Link files and stand files go to these folders first, and replace the
    // files of my_ORBX and my_thirdparty only when the scan completed.
    fs::path stageOrbx;
    fs::path stageThirdparty;
    std::mutex slotsMutex;  // held only to find a slot
    std::unordered_map<std::string, std::shared_ptr<AirportSlot>> slots;
    // Writers hold it shared; the end of the scan takes it whole, after which
    // tasks write nothing more.
    std::shared_mutex closeMutex;
    bool closed = false;
    std::atomic<bool> interrupted{false};  // files were passed over for a stop
    std::atomic<int> running{0};
    // The afolder settings whose folder was passed over, with the reason;
    // only the scan's own thread walks the folders.
    std::vector<std::pair<std::string, std::string>> skipped;
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

// ---- Where the scan writes ----

fs::path lf_stageFolderOf(const fs::path& folder) {
    return folder.parent_path() / ("scanning_" + gf_scanPathUtf8(folder.filename()));
}

fs::path lf_finalFolder(const ScanState& state, const fs::path& stage) {
    return stage == state.stageOrbx ? gf_workPaths().myOrbx : gf_workPaths().myThirdparty;
}

// A notice of the scan stays on the notice line for the rest of the session;
// a rescan that finds the same again does not repeat it there.
void lf_addScanNotice(const std::string& text) {
    const std::string shown = gf_statusLineSnapshot().notice;
    if (shown.find(text) != std::string::npos) return;
    // A notice about the settings file itself stays in front of it.
    gf_setSettingsNotice(shown.empty() ? text : shown + " | " + text);
}

// ---- What the scan wrote ----

// The scan tells its own files by their bytes: beside each folder it fills it
// keeps a list of the files it put there (name, size, hash). A file is the
// scan's only while it is byte for byte what the scan wrote; one the user
// edited afterwards, or a generated file copied from another user's scan,
// is the user's and is moved aside, never deleted.
struct WrittenFile {
    std::uintmax_t size = 0;
    std::uint64_t hash = 0;
};
using WrittenList = std::map<std::string, WrittenFile>;

fs::path lf_writtenListOf(const fs::path& folder) {
    return folder.parent_path() / (gf_scanPathUtf8(folder.filename()) + "_scan.txt");
}

std::optional<std::string> lf_bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

// FNV-1a: the list guards against edits, not against an attacker.
std::uint64_t lf_hashOf(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

// Lines "size hash name"; a line that does not read so names no file of the
// scan (its file is then moved aside, which loses nothing).
WrittenList lf_readWrittenList(const fs::path& folder) {
    WrittenList list;
    std::ifstream in(lf_writtenListOf(folder), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t first = line.find(' ');
        const std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
        if (second == std::string::npos || second + 1 >= line.size()) continue;
        WrittenFile file;
        const char* sizeEnd = line.data() + first;
        const char* hashEnd = line.data() + second;
        const auto size = std::from_chars(line.data(), sizeEnd, file.size);
        const auto hash = std::from_chars(sizeEnd + 1, hashEnd, file.hash, 16);
        if (size.ec != std::errc() || size.ptr != sizeEnd || hash.ec != std::errc() || hash.ptr != hashEnd) continue;
        list[line.substr(second + 1)] = file;
    }
    return list;
}

bool lf_sameBytes(const fs::path& file, std::uintmax_t size, std::uint64_t hash) {
    std::error_code ec;
    if (fs::file_size(file, ec) != size || ec) return false;
    const auto bytes = lf_bytesOf(file);
    return bytes && bytes->size() == size && lf_hashOf(*bytes) == hash;
}

// A file the scan may delete: what its list says it wrote, or a file of the
// same bytes as the one the scan puts in its place now (a file of a scan
// before the list was kept: deleting it loses nothing).
bool lf_scanWroteIt(const fs::path& file, const WrittenList& written, const fs::path& stage) {
    const auto it = written.find(gf_scanPathUtf8(file.filename()));
    if (it != written.end() && lf_sameBytes(file, it->second.size, it->second.hash)) return true;
    const auto replacement = lf_bytesOf(stage / file.filename());
    return replacement && lf_sameBytes(file, replacement->size(), lf_hashOf(*replacement));
}

// The list of what the scan put in the folder, written through a temporary
// file: a cut list would name fewer files, and those are then moved aside.
void lf_writeWrittenList(const fs::path& folder, const std::vector<fs::path>& placed) {
    std::string text;
    for (const fs::path& file : placed) {
        const auto bytes = lf_bytesOf(file);
        if (!bytes) continue;
        text += fmt::format("{} {:x} {}\n", bytes->size(), lf_hashOf(*bytes), gf_scanPathUtf8(file.filename()));
    }
    const fs::path list = lf_writtenListOf(folder);
    std::error_code ec;
    if (!gf_writeFileReplacing(list, [&text](std::ostream& out) { out << text; }, ec)) {
        gf_logHighlight(fmt::format("Writing {} did not succeed: {}", gf_scanPathUtf8(list),
                                    gf_writeFailureText(list, ec)));
    }
}

// The files of the scan before go; the user's files move to a folder beside
// (my_thirdparty_kept), each under a free name, and are named in the log and
// on the notice line.
void lf_clearScanFiles(const fs::path& folder, const fs::path& stage) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return;
    const WrittenList written = lf_readWrittenList(folder);
    const fs::path kept = folder.parent_path() / (gf_scanPathUtf8(folder.filename()) + "_kept");
    std::vector<std::string> moved;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        std::error_code entryError;
        if (!entry.is_regular_file(entryError)) continue;  // a folder of the user's stays
        if (lf_scanWroteIt(entry.path(), written, stage)) {
            fs::remove(entry.path(), entryError);
            if (entryError) {
                gf_logHighlight(fmt::format("remove({}) failed: {}", gf_scanPathUtf8(entry.path()),
                                            entryError.message()));
            }
            continue;
        }
        fs::create_directories(kept, entryError);
        fs::path target = kept / entry.path().filename();
        for (int n = 2; fs::exists(target, entryError) && n < 1000; ++n) {
            target = kept / fs::u8path(fmt::format("{} ({}){}", gf_scanPathUtf8(entry.path().stem()), n,
                                                   gf_scanPathUtf8(entry.path().extension())));
        }
        fs::rename(entry.path(), target, entryError);
        if (entryError) {
            // Left where it is: the scan's own file of that name then does
            // not replace it.
            gf_logHighlight(fmt::format("{} was not written by the scan and could not be moved to {}: {}",
                                        gf_scanPathUtf8(entry.path()), gf_scanPathUtf8(kept), entryError.message()));
            continue;
        }
        gf_logHighlight(fmt::format("{} was not written by the scan: moved to {}", gf_scanPathUtf8(entry.path()),
                                    gf_scanPathUtf8(target)));
        moved.push_back(gf_scanPathUtf8(entry.path().filename()));
    }
    if (ec) gf_logHighlight(fmt::format("{} exception: {}", "lf_clearScanFiles", ec.message()));
    if (moved.empty()) return;
    lf_addScanNotice(fmt::format("The scan moved {} it did not write from {} to {} (not deleted): {}",
                                 moved.size() == 1 ? std::string("a file") : fmt::format("{} files", moved.size()),
                                 gf_scanPathUtf8(folder), gf_scanPathUtf8(kept),
                                 moved.front() + (moved.size() > 1 ? ", ..." : "")));
}

// The scan completed: its files replace those of the scan before.
void lf_commitStaged(const fs::path& stage, const fs::path& folder) {
    lf_clearScanFiles(folder, stage);
    fs::create_directories(folder);
    std::vector<fs::path> placed;
    if (fs::exists(stage)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(stage)) {
            if (!entry.is_regular_file()) continue;
            std::error_code ec;
            // A file of the user's that could not be moved keeps its place.
            if (fs::exists(folder / entry.path().filename(), ec)) {
                gf_logHighlight(fmt::format("{} not replaced by the scan's file",
                                            gf_scanPathUtf8(folder / entry.path().filename())));
                continue;
            }
            fs::rename(entry.path(), folder / entry.path().filename(), ec);
            if (ec) {
                gf_logHighlight(fmt::format("rename({}) failed: {}", gf_scanPathUtf8(entry.path()), ec.message()));
                continue;
            }
            placed.push_back(folder / entry.path().filename());
        }
    }
    lf_writeWrittenList(folder, placed);
    fs::remove_all(stage);
}

void lf_dropStaged(const ScanState& state) {
    std::error_code ec;
    fs::remove_all(state.stageOrbx, ec);
    fs::remove_all(state.stageThirdparty, ec);
}

// ---- Linking to the maker's archive ----

// The publisher of a scenery file: "simaddon" for ORBX paths, else the
// Dbase publisher named in the path, else empty.
std::string lf_publisherFromFileName(AirportScanLookups& lookups, const std::string& pathUtf8) {
    if (lf_containsNoCase(pathUtf8, "ORBX")) {
        gf_addScanLogLine(fmt::format("from filename => publisher {}", kSimaddon));
        return kSimaddon;
    }
    return lookups.publisherOfPath(pathUtf8);
}

std::optional<std::string> lf_simaddonArchived(const ScanState& state, const std::string& code) {
    std::string key = std::string("archive/") + kSimaddon + "/" + code + ".xml";
    if (state.lookups->hasSimAddonKey(key)) return key;
    gf_addScanLogLine(fmt::format("{} does not exist as simaddon", code));
    return std::nullopt;
}

std::optional<std::string> lf_thirdpartyArchived(const ScanState& state, const std::string& publisher,
                                                 const AirportFile& airport, int& archived) {
    std::string escaped;
    for (char c : publisher) escaped += c == ' ' ? std::string("%20") : std::string(1, c);
    const std::string key = "archive/thirdparty/" + escaped + "/" + airport.code + ".xml";
    for (const std::string& entry : state.lookups->thirdPartyEntries(publisher)) {
        if (lf_matchCodeNumber(entry, airport.code, publisher, archived)) return key;
    }
    gf_addScanLogLine(fmt::format("thirdparty {} {} does not exist", publisher, airport.code));
    return std::nullopt;
}

bool lf_writeLink(const ScanState& state, const fs::path& folder, const AirportFile& airport,
                  const std::string& key) {
    const fs::path link = folder / gf_txtNameOf(airport.code);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (gf_writeTextFile(key, link, true)) return true;
    // The airport still gets a stand file: the generated one.
    gf_addScanLogLine(fmt::format("{}Writing {} did not succeed", kAlarm,
                                  gf_scanPathUtf8(lf_finalFolder(state, folder) / gf_txtNameOf(airport.code))));
    return false;
}

// The caller holds the airport's slot.
bool lf_linkAirportFile(ScanState& state, AirportFile& airport, int& archived, const std::string& pathUtf8) {
    archived = 0;
    airport.publisher = lf_publisherFromFileName(*state.lookups, pathUtf8);
    if (airport.publisher.empty()) return false;
    if (airport.publisher == kSimaddon) {
        const auto key = lf_simaddonArchived(state, airport.code);
        if (!key || !lf_writeLink(state, state.stageOrbx, airport, *key)) return false;
        gf_addScanLogLine(fmt::format("{} airport {} linked to {}", kSimaddon, airport.code, *key));
    } else {
        const auto key = lf_thirdpartyArchived(state, airport.publisher, airport, archived);
        if (!key || !lf_writeLink(state, state.stageThirdparty, airport, *key)) return false;
        gf_addScanLogLine(fmt::format("thirdparty airport {} linked to {}", airport.code, *key));
    }
    g_airportFilesChanged = true;
    return true;
}

// ---- Generated stand files ----

// An airport in several .bgl files gets the stand file of the file with
// the most stands (of equal counts, the first path in byte order), whatever
// order the tasks end in. The caller holds the airport's slot.
bool lf_winsOver(const AirportSlot& slot, std::size_t stands, const std::string& bglPath) {
    if (!slot.generated) return true;
    if (stands != slot.stands) return stands > slot.stands;
    return bglPath < slot.bglPath;
}

void lf_generateAirportFile(ScanState& state, AirportSlot& slot, AirportFile& airport, int helipadCounter,
                            const std::string& pathUtf8) {
    if (airport.stands.empty()) return;
    const fs::path folder = airport.publisher == kSimaddon ? state.stageOrbx : state.stageThirdparty;
    const fs::path name = gf_xmlNameOf(airport.code);
    if (!lf_winsOver(slot, airport.stands.size(), pathUtf8)) {
        gf_addScanLogLine(fmt::format("{}{} of {} not generated: {} has {} position{}", kAlarm, gf_scanPathUtf8(name),
                                      pathUtf8, slot.bglPath, slot.stands, gf_pluralSize(slot.stands)));
        return;
    }
    const std::string helipads =
        helipadCounter < 2 ? std::string()
                           : fmt::format(", of which {} helipad{}", helipadCounter - 1,
                                         gf_pluralSize(static_cast<std::uint64_t>(helipadCounter - 1)));
    std::sort(airport.stands.begin(), airport.stands.end(),
              [](const Stand& a, const Stand& b) { return a.id < b.id; });
    gf_addScanLogLine(fmt::format("Generated {}: {} position{}{}", gf_scanPathUtf8(name), airport.stands.size(),
                                  gf_pluralSize(airport.stands.size()), helipads));
    if (!fs::exists(folder)) fs::create_directories(folder);
    if (!gf_writeAirportFile(airport, folder / name, StandFileForm::generated, g_simVariant.load(), false)) {
        gf_addScanLogLine(fmt::format("{}Generating {} did not succeed", kAlarm,
                                      gf_scanPathUtf8(lf_finalFolder(state, folder) / name)));
        return;
    }
    slot.generated = true;
    slot.stands = airport.stands.size();
    slot.bglPath = pathUtf8;
    g_airportFilesChanged = true;
}

std::shared_ptr<AirportSlot> lf_slot(ScanState& state, const std::string& code) {
    std::lock_guard lock(state.slotsMutex);
    auto& slot = state.slots[code];
    if (!slot) slot = std::make_shared<AirportSlot>();
    return slot;
}

// BGLpath names the scenery file below its add-on folder: the stand files
// travel in tblo.zip, and the folder above (usually with the Windows user
// name in it) is nobody's business.
std::string lf_sceneryRelative(const fs::path& path, const fs::path& root) {
    const fs::path relative = path.lexically_relative(root);
    if (relative.empty() || *relative.begin() == "..") return gf_scanPathUtf8(path.filename());
    return gf_scanPathUtf8(relative);
}

void lf_decodeAirportRecord(ScanState& state, const BglWords& words, const BglAirportRecord& record,
                            const std::string& pathUtf8, const std::string& bglPath) {
    DecodedAirport decoded;
    AirportFile& airport = decoded.airport;
    airport.code = record.code;
    int archived = 0;
    // Decoded before it is linked: an airport whose record is damaged (the
    // decoder throws) gets neither a link file nor a stand file.
    lf_decodeAirportHeader(words, record, airport);
    lf_decodeAirportStands(words, record, airport, decoded.helipadCounter, pathUtf8);
    airport.BGLpath = bglPath;
    const std::shared_ptr<AirportSlot> slot = lf_slot(state, airport.code);
    std::lock_guard slotLock(slot->mutex);
    std::shared_lock open(state.closeMutex);
    if (state.closed) return;
    const bool linked = lf_linkAirportFile(state, airport, archived, pathUtf8);
    const auto n = static_cast<std::int64_t>(airport.stands.size());
    const bool moreThanArchived = n > archived && airport.publisher != kSimaddon;
    if (moreThanArchived) {
        gf_addScanLogLine(fmt::format("{}{} has {} parkpos while archived one has {}", kAlarm, airport.code, n,
                                      archived));
    }
    if (!linked || moreThanArchived) lf_generateAirportFile(state, *slot, airport, decoded.helipadCounter, pathUtf8);
}

// ---- Tasks ----

// The task body: decodes one file. The running counts go down however it
// ends; an error is logged and passed on to the task's future.
void lf_processBGLfile(const ScanStatePtr& state, const fs::path& path, const fs::path& root) {
    struct Done {
        ScanState& state;
        ~Done() {
            g_scanTaskCount.count.fetch_sub(1);
            state.running.fetch_sub(1);
        }
    } done{*state};
    const std::string pathUtf8 = gf_scanPathUtf8(path);
    try {
        const std::string bglPath = lf_sceneryRelative(path, root);
        lf_decodeBglFile(path, state->isKnownAirport, [&](const BglWords& words, const BglAirportRecord& record) {
            lf_decodeAirportRecord(*state, words, record, pathUtf8, bglPath);
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
std::future<void> lf_startTask(const ScanStatePtr& state, const fs::path& path, const fs::path& root) {
    std::packaged_task<void()> task([state, path, root] { lf_processBGLfile(state, path, root); });
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

void lf_handleEntry(const ScanStatePtr& state, const fs::directory_entry& entry, const fs::path& root,
                    std::deque<std::future<void>>& pending) {
    if (!lf_isBglFile(entry) || !lf_bglHasAirportSection(entry.path())) return;
    if (gf_stopFlagSet() || !gf_waitForScanSlot()) {
        state->interrupted = true;
        return;
    }
    pending.push_back(lf_startTask(state, entry.path(), root));
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
        // A stop ends the walk before the next file is opened: on a cold disk
        // the rest of a large scenery tree would keep the closing window
        // waiting for nothing.
        if (gf_stopFlagSet()) {
            state->interrupted = true;
            break;
        }
        try {
            if (lf_isInStockScenery(it->path())) {
                it.disable_recursion_pending();
                continue;
            }
            lf_handleEntry(state, *it, folder, pending);
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

// The afolder setting that names folder ("afolder" when none does any more).
std::string lf_afolderNameOf(const fs::path& folder) {
    for (const StringParameter& setting : afolder) {
        const std::string value = setting.get();
        if (!value.empty() && fs::path(std::u8string(value.begin(), value.end())) == folder) return setting.name();
    }
    return "afolder";
}

// A mistyped afolder costs the user every airport in it, and the scan box
// is unticked afterwards, so no later start tries again: the window keeps
// saying so for the rest of the session, above whatever the run shows next.
void lf_showSkippedFolders(const ScanState& state) {
    if (state.skipped.empty()) return;
    constexpr const char* kRemedy = "then tick Scan for addon airports, see Manual 6.2";
    std::string text;
    if (state.skipped.size() == 1) {
        const auto& [name, why] = state.skipped.front();
        text = fmt::format("{} {}: not scanned. Correct {} in parameters.xml, {}", name, why, name, kRemedy);
    } else {
        std::string names;
        for (const auto& entry : state.skipped) names += (names.empty() ? "" : ", ") + entry.first;
        text = fmt::format("{} name no folder: not scanned. Correct them in parameters.xml, {}", names, kRemedy);
    }
    gf_logHighlight(text);
    lf_addScanNotice(text);
}

void lf_scanAirportFolder(const ScanStatePtr& state, const std::vector<fs::path>& folders) {
    for (const fs::path& folder : folders) {
        if (folder.empty()) continue;
        if (gf_stopFlagSet()) {
            state->interrupted = true;
            return;
        }
        std::error_code ec;
        const bool exists = fs::exists(folder, ec);
        if (ec && ec != std::errc::no_such_file_or_directory) throw fs::filesystem_error("exists", folder, ec);
        if (!exists) {
            gf_setStatusLine(gf_scanPathUtf8(folder) + " does not exist, skipped!", true);
            state->skipped.emplace_back(lf_afolderNameOf(folder), gf_scanPathUtf8(folder) + " does not exist");
            continue;
        }
        const fs::file_status status = fs::status(folder, ec);
        if (ec) throw fs::filesystem_error("status", folder, ec);
        if (!fs::is_directory(status)) {
            gf_setStatusLine(gf_scanPathUtf8(folder) + " is not a folder name, skipped!", true);
            state->skipped.emplace_back(lf_afolderNameOf(folder), gf_scanPathUtf8(folder) + " is not a folder");
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
    std::unique_lock lock(state.closeMutex);
    state.closed = true;
}

// False when the scan was interrupted: then nothing of the last scan's
// files changes. found tells whether a link or stand file was made.
bool lf_scanAirportFolders(const ScanStatePtr& state, const std::vector<fs::path>& folders, AirportScanWindow& window,
                           bool& found) {
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
    if (state->interrupted.load()) return false;

    lf_commitStaged(state->stageOrbx, paths.myOrbx);
    lf_commitStaged(state->stageThirdparty, paths.myThirdparty);
    if (fs::exists(paths.tblo)) {
        gf_removeFilesFromDirectory(paths.tblo);
    } else {
        fs::create_directories(paths.tblo);
    }
    lf_collectTblo(gf_listXmlFiles(), state->isKnownAirport, [&window] { window.tbloCollected(); });
    found = g_airportFilesChanged.load();
    if (found) gf_logLineFlushed("Airports scan successful");
    return true;
}

}  // namespace

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

void gf_scanAddonAirports(std::shared_ptr<AirportScanLookups> lookups, AirportScanWindow& window) {
    const WorkPaths& paths = gf_workPaths();
    auto state = std::make_shared<ScanState>();
    state->lookups = std::move(lookups);
    // The tasks' copy holds the lookups' share: a task given up by the scan
    // still asks them.
    state->isKnownAirport = [lookups = state->lookups](const std::string& code) {
        return lookups->isKnownAirport(code);
    };
    gf_setStatusLine("Scanning for addon airports ...", false);
    gf_logLineFlushed(fmt::format("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++",
                              "manual "));
    state->stageOrbx = lf_stageFolderOf(paths.myOrbx);
    state->stageThirdparty = lf_stageFolderOf(paths.myThirdparty);
    // What a scan that never ended left behind.
    lf_dropStaged(*state);
    const std::vector<fs::path> folders = lf_airportFolders();
    if (folders.empty()) {
        window.openManual();
        window.openParametersFolder();
        // Most new users have no add-on airports at all: the message says how
        // to go on without them before how to name them.
        throw ozr::UserErrorException(49, "No afolder set: without add-on airports, untick Scan for addon airports; "
                                          "else exit GLIM_P3D and set afolder0 to them, see Manual 6.2");
    }
    bool found = false;
    if (!lf_scanAirportFolders(state, folders, window, found)) {
        // The stand files of the last scan stay, and so does the setting:
        // the next start scans again.
        lf_dropStaged(*state);
        constexpr const char* kInterrupted = "Airports scan interrupted: the stand files of the last scan are kept";
        gf_setStatusLine(kInterrupted, false);
        gf_logLineFlushed(kInterrupted);
        gf_logLineFlushed("-------------------------- airports scan ends    ----------------------------\n");
        return;
    }
    if (!found) gf_setStatusLine("Warning: Scan has not found any add-on airports", true);
    lf_showSkippedFolders(*state);
    SCAN_AIRPORTS.setValue(false);
    gf_saveBoolParameter(SCAN_AIRPORTS);
    gf_uiSink().setCheck(SCAN_AIRPORTS.controlId(), false);
    gf_uiSink().invalidateBand(UiBand::controls);
    if (g_tbloFileCount.load() == 0) fs::remove_all(paths.tblo);
    gf_uiSink().invalidateBand(UiBand::counters);
    gf_logLineFlushed("-------------------------- airports scan ends    ----------------------------\n");
}
