#include "catalogue/livery_walk.h"

#include "catalogue/livery.h"
#include "catalogue/livery_parse.h"
#include "catalogue/livery_paths.h"

#include "core/files.h"
#include "core/log.h"
#include "core/run_flags.h"

#include <fmt/format.h>

#include <deque>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

using TaskResult = std::list<Livery>;

// Scenery lies beside liveries in some add-on folders; its tree is large and
// holds no aircraft.
constexpr std::string_view kSkippedFolderPart = "airport";
// Deeper paths run into the system's path-length limit.
constexpr std::size_t kMaxDescendPathBytes = 250;
constexpr std::chrono::milliseconds kTaskPoll{1};

char lf_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool lf_equalsNoCase(const std::string& text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lf_lower(text[i]) != lower[i]) return false;
    }
    return true;
}

bool lf_isLiveryFile(const fs::path& path) {
    const std::string extension = lf_logPathText(path.extension());
    if (!lf_equalsNoCase(extension, ".cfg")) return false;
    const std::string stem = lf_logPathText(path.stem());
    return lf_equalsNoCase(stem, "aircraft") || lf_equalsNoCase(stem, "sim");
}

class FolderWalk {
public:
    FolderWalk(std::uint32_t folderIndex, const fs::path& folder)
        : m_folderIndex(folderIndex), m_folder(folder), m_folderText(lf_logPathText(folder)) {}

    void run() {
        visitFolder(m_folder);
        collectRest();
    }

private:
    // Depth first: a folder is entered right after it has been visited. A
    // folder that cannot be read is logged and skipped; its siblings and the
    // files found before it still count.
    void visitFolder(const fs::path& dir) {
        std::error_code ec;
        fs::directory_iterator it(dir, ec);
        const fs::directory_iterator end;
        while (!ec && it != end) {
            if (m_stopped || gf_stopFlagSet()) {
                m_stopped = true;
                return;
            }
            const fs::directory_entry entry = *it;
            bool descend = false;
            try {
                descend = visitEntry(entry);
            } catch (const std::exception& e) {
                gf_logHighlight(fmt::format("liveries search in {} aborted, cause: {}", m_folderText, e.what()));
            }
            if (descend) visitFolder(entry.path());
            it.increment(ec);
        }
        if (ec && !m_stopped) {
            gf_logHighlight(
                fmt::format("liveries search in {} aborted, cause: {}", lf_logPathText(dir), ec.message()));
        }
    }

    // One entry; true when the walk descends into it.
    bool visitEntry(const fs::directory_entry& entry) {
        const fs::path& path = entry.path();
        std::error_code ec;
        // Directory links are not followed, as a recursive iteration would
        // not: a link back up the tree would never end.
        bool descend = false;
        std::string utf8;
        if (entry.is_directory(ec) && !entry.is_symlink(ec)) {
            utf8 = lf_logPathText(path);
            descend = utf8.find(kSkippedFolderPart) == std::string::npos && utf8.size() < kMaxDescendPathBytes;
        }
        // The name first: it costs no system call, the status does.
        if (!lf_isLiveryFile(path) || !fs::is_regular_file(fs::status(path, ec))) return descend;
        if (utf8.empty()) utf8 = lf_logPathText(path);
        if (!gf_waitForScanSlot()) {
            m_stopped = true;
            return false;
        }
        startTask(path, utf8);
        if (m_pending.size() > static_cast<std::size_t>(g_scanTaskCount.limit)) {
            try {
                takeOldest();
            } catch (const std::exception& e) {
                gf_logHighlight(fmt::format("liveries inner search aborted: {}", e.what()));
            }
            m_pending.pop_front();
        }
        return descend;
    }

    void startTask(const fs::path& path, const std::string& utf8) {
        const bool ivao = utf8.find("ivao_x-csl") != std::string::npos || utf8.find("IVAO_MTL") != std::string::npos;
        auto body = ivao ? &lf_searchLiveriesinIVAOFile : &lf_searchLiveriesinFile;
        std::packaged_task<TaskResult()> task([body, index = m_folderIndex, path] { return body(index, path); });
        std::future<TaskResult> future = task.get_future();
        std::thread(std::move(task)).detach();
        m_pending.push_back(std::move(future));
        g_scanTaskCount.count.fetch_add(1);
    }

    // The oldest result onto the scan list; a task that ended with an
    // exception raises it here. The caller drops the future in every case.
    void takeOldest() {
        std::future<TaskResult>& oldest = m_pending.front();
        if (oldest.wait_for(kScanTaskWait) != std::future_status::ready) {
            throw std::runtime_error("Future wait timed out after 10 seconds");
        }
        TaskResult liveries = oldest.get();
        g_liveryScanList.splice(g_liveryScanList.end(), liveries);
    }

    void collectRest() {
        while (!m_pending.empty()) {
            // A stopped scan writes nothing: its results are not needed.
            if (!m_stopped && !gf_stopFlagSet()) {
                try {
                    takeOldest();
                } catch (const std::exception& e) {
                    gf_logHighlight(fmt::format("liveries search aborted, futs outer, {}", e.what()));
                }
            }
            m_pending.pop_front();
        }
    }

    const std::uint32_t m_folderIndex;
    const fs::path m_folder;
    const std::string m_folderText;
    std::deque<std::future<TaskResult>> m_pending;
    bool m_stopped = false;
};

}  // namespace

void lf_walkLiveryFolder(std::uint32_t folderIndex, const fs::path& folder) { FolderWalk(folderIndex, folder).run(); }

bool lf_waitForScanTasksToEnd(std::chrono::milliseconds bound, bool watchStopFlags) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (g_scanTaskCount.count.load() > 0) {
        if (watchStopFlags && gf_stopFlagSet()) return false;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kTaskPoll);
    }
    return true;
}
