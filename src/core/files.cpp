#include "core/files.h"

#include "core/log.h"
#include "core/run_flags.h"
#include "core/text.h"
#include "core/text_encoding.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

ScanTaskCount g_scanTaskCount;

namespace {

// How often a wait for scan slots looks at the stop flags.
constexpr std::chrono::milliseconds kStopLookInterval{20};
constexpr std::size_t kListedNamesReserve = 512;
constexpr std::size_t kAirportCodeBytes = 4;

std::string lf_utf8(const fs::path& path) {
    try {
        return gf_pathToUtf8(path);
    } catch (const std::exception&) {
        return path.generic_string();
    }
}

bool lf_hasXmlExtension(const fs::path& path) { return gf_equalsNoCase(".XML", lf_utf8(path.extension())); }

// Removes the entries that shouldRemove accepts; the first failure ends the
// walk and leaves the entries after it.
template <typename Predicate>
void lf_removeEntries(const fs::path& folder, const char* name, Predicate shouldRemove) {
    try {
        if (!fs::exists(folder) || !fs::is_directory(folder)) return;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (shouldRemove(entry.path())) fs::remove(entry.path());
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{} exception: {}", name, e.what()));
    }
}

}  // namespace

void gf_removeFilesFromDirectory(const fs::path& folder) {
    lf_removeEntries(folder, "gf_removeFilesFromDirectory", [](const fs::path&) { return true; });
}

void gf_removeXMLFilesFromDirectory() {
    lf_removeEntries("tblo", "gf_removeXMLFilesFromDirectory", lf_hasXmlExtension);
}

std::size_t gf_countDirectoryEntries(const fs::path& folder) {
    if (!fs::exists(folder)) return 0;
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
    return count;
}

std::vector<std::string> gf_listXmlFiles() {
    std::vector<std::string> names;
    const fs::path folder = fs::path("airports") / "my_thirdparty";
    if (!fs::exists(folder)) return names;
    names.reserve(kListedNamesReserve);
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::error_code ec;
        const fs::file_status status = entry.status(ec);
        if (ec && ec != std::errc::no_such_file_or_directory) {
            throw fs::filesystem_error("directory_entry::status", entry.path(), ec);
        }
        if (!fs::is_regular_file(status)) continue;
        if (!lf_hasXmlExtension(entry.path())) continue;
        std::string stem = lf_utf8(entry.path().stem());
        if (stem.size() == kAirportCodeBytes) names.push_back(std::move(stem));
    }
    return names;
}

void gf_removeFileWarn(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return;
    if (!fs::remove(path, ec) && ec) {
        gf_logHighlight(fmt::format("Warning: could not remove {}, errorcode: {}", lf_utf8(path), ec.message()));
    }
}

int ScanSlotCounter::load() const {
    std::lock_guard lock(m_mutex);
    return m_value;
}

void ScanSlotCounter::store(int value) {
    bool waiting = false;
    {
        std::lock_guard lock(m_mutex);
        m_value = value;
        waiting = m_waiting > 0;
    }
    if (waiting) m_changed.notify_all();
}

int ScanSlotCounter::fetch_add(int n) {
    int before = 0;
    bool waiting = false;
    {
        std::lock_guard lock(m_mutex);
        before = m_value;
        m_value += n;
        waiting = m_waiting > 0;
    }
    // Most changes find nobody waiting: a wake-up costs a system call.
    if (waiting) m_changed.notify_all();
    return before;
}

int ScanSlotCounter::fetch_sub(int n) { return fetch_add(-n); }

bool ScanSlotCounter::waitUntil(const std::function<bool(int)>& done, const std::function<bool()>& stopped,
                                std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock lock(m_mutex);
    while (!done(m_value)) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        lock.unlock();
        const bool stop = stopped && stopped();
        lock.lock();
        if (stop) return done(m_value);
        // A real wait, never a spin: short sleeps return at once on some
        // systems. The time-out only serves the stop flags.
        ++m_waiting;
        m_changed.wait_until(lock, std::min(deadline, now + kStopLookInterval));
        --m_waiting;
    }
    return true;
}

void gf_resetScanSlots() {
    g_scanTaskCount.limit = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

bool gf_waitForScanSlot(const std::function<bool()>& stopRequested) {
    const int limit = g_scanTaskCount.limit;
    const auto stopped = [&stopRequested] {
        return g_runStopping.load() || g_userClosing.load() || (stopRequested && stopRequested());
    };
    if (g_scanTaskCount.count.load() < limit) return true;
    return g_scanTaskCount.count.waitUntil([limit](int count) { return count < limit; }, stopped,
                                           std::chrono::steady_clock::time_point::max());
}

fs::path gf_tempPathFor(const fs::path& target) {
    fs::path temp = target;
    temp += ".tmp";
    return temp;
}

bool gf_writeFileReplacing(const fs::path& target, const std::function<void(std::ostream&)>& write) {
    std::error_code ec;
    return gf_writeFileReplacing(target, write, ec);
}

bool gf_writeFileReplacing(const fs::path& target, const std::function<void(std::ostream&)>& write,
                           std::error_code& ec) {
    ec.clear();
    const fs::path temp = gf_tempPathFor(target);
    // The system's reason of a failed stream operation; a stream that fails
    // without one still failed.
    const auto lastError = [&ec] {
        ec.assign(errno != 0 ? errno : EIO, std::generic_category());
    };
    bool written = false;
    {
        errno = 0;
        std::ofstream out(temp, std::ios::out | std::ios::trunc | std::ios::binary);
        if (!out.is_open()) {
            lastError();
            return false;
        }
        errno = 0;
        try {
            write(out);
        } catch (...) {
            out.close();
            std::error_code ignored;
            fs::remove(temp, ignored);
            throw;
        }
        // A long text is written through at once: its failure is the
        // write's, not the flush's.
        if (out.good()) {
            errno = 0;
            out.flush();
        }
        written = out.good();
        if (!written) lastError();
        errno = 0;
        out.close();
        if (written && out.fail()) {
            lastError();
            written = false;
        }
    }
    if (written && gf_replaceFile(temp, target, ec)) return true;
    std::error_code ignored;
    fs::remove(temp, ignored);
    return false;
}

std::string gf_writeFailureText(const fs::path& target, const std::error_code& ec) {
    std::error_code ignored;
    if (fs::is_directory(target, ignored)) return "it is a folder, not a file";
    if (ec == std::errc::no_space_on_device) return "the disk is full";
    // A file the user set read-only refuses its replacement with the same
    // "access denied" as one an editor holds open: only its mark tells which,
    // and the remedy differs.
    bool accessDenied = ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted;
#ifdef _WIN32
    accessDenied = accessDenied || (ec.category() == std::system_category() && ec.value() == 5);
#endif
    if (accessDenied && gf_isReadOnlyFile(target)) return "it is read-only";
#ifdef _WIN32
    // ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION: an
    // editor, a backup or a virus scan holds the file open.
    if (ec.category() == std::system_category() && (ec.value() == 5 || ec.value() == 32 || ec.value() == 33)) {
        return "it is in use by another program";
    }
    // ERROR_HANDLE_DISK_FULL, ERROR_DISK_FULL
    if (ec.category() == std::system_category() && (ec.value() == 39 || ec.value() == 112)) return "the disk is full";
#endif
    return ec ? ec.message() : std::string("it could not be written");
}

bool gf_copyFileWhole(const fs::path& from, const fs::path& to, std::error_code& ec) {
    errno = 0;
    std::ifstream in(from, std::ios::binary);
    if (!in.is_open()) {
        ec.assign(errno != 0 ? errno : ENOENT, std::generic_category());
        return false;
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        ec = std::make_error_code(std::errc::io_error);
        return false;
    }
    return gf_writeFileReplacing(
        to, [&bytes](std::ostream& out) { out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())); }, ec);
}

namespace {

std::string lf_bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

fs::path gf_keepCopyOf(const fs::path& file, std::error_code& ec) {
    constexpr int kMaxKeptCopies = 99;
    const std::string stem = gf_pathToUtf8(file.stem()) + "0";
    const std::string extension = gf_pathToUtf8(file.extension());
    const std::string bytes = lf_bytesOf(file);
    for (int n = 1; n <= kMaxKeptCopies; ++n) {
        const fs::path copy =
            file.parent_path() / fs::u8path(n == 1 ? stem + extension : fmt::format("{}_{}{}", stem, n, extension));
        ec.clear();
        const bool exists = fs::exists(copy, ec);
        if (ec) return {};
        if (exists) {
            if (fs::is_regular_file(copy, ec) && lf_bytesOf(copy) == bytes) return copy;
            continue;
        }
        if (!gf_copyFileWhole(file, copy, ec)) return {};
        return copy;
    }
    ec = std::make_error_code(std::errc::file_exists);
    return {};
}

fs::path gf_keepDamagedFile(const fs::path& file, std::error_code& ec) {
    // Beyond this many kept copies something keeps damaging the file, and
    // the user has all the evidence there is.
    constexpr int kMaxKeptCopies = 99;
    for (int n = 1; n <= kMaxKeptCopies; ++n) {
        fs::path kept = file;
        kept += n == 1 ? std::string(".damaged") : ".damaged" + std::to_string(n);
        ec.clear();
        if (fs::exists(kept, ec) || ec) continue;
        fs::rename(file, kept, ec);
        if (ec) return {};
        return kept;
    }
    ec = std::make_error_code(std::errc::file_exists);
    return {};
}
