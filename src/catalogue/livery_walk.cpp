#include "catalogue/livery_walk.h"

#include "catalogue/livery.h"
#include "catalogue/livery_folder_list.h"
#include "catalogue/livery_parse.h"
#include "catalogue/livery_paths.h"

#include "core/files.h"
#include "core/log.h"
#include "core/run_flags.h"

#include <fmt/format.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

using TaskResult = std::list<Livery>;

// Scenery lies beside liveries in some add-on folders; its tree is large and
// holds no aircraft.
constexpr std::string_view kSkippedFolderPart = "airport";
// Results that wait for an earlier file's result, per scan slot; beyond them
// the walk waits (at most 10 s) for the oldest. The bound only caps memory:
// the running tasks are bounded by the scan slots.
constexpr std::size_t kPendingPerSlot = 64;
// Deeper paths run into the system's path-length limit.
constexpr std::size_t kMaxDescendPathBytes = 250;

// The file name without a conversion or an allocation: the walk asks this of
// every entry of the tree.
bool lf_nameIs(const fs::path::string_type& path, std::size_t nameStart, std::string_view lower) {
    if (path.size() - nameStart != lower.size()) return false;
    for (std::size_t i = 0; i < lower.size(); ++i) {
        const auto c = static_cast<std::uint32_t>(path[nameStart + i]);
        const std::uint32_t folded = (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
        if (folded != static_cast<unsigned char>(lower[i])) return false;
    }
    return true;
}

// "aircraft.cfg" or "sim.cfg" in any ASCII letter case.
bool lf_isLiveryFile(const fs::path& path) {
    const fs::path::string_type& text = path.native();
#ifdef _WIN32
    const std::size_t separator = text.find_last_of(L"\\/");
#else
    const std::size_t separator = text.find_last_of('/');
#endif
    const std::size_t nameStart = separator == fs::path::string_type::npos ? 0 : separator + 1;
    return lf_nameIs(text, nameStart, "aircraft.cfg") || lf_nameIs(text, nameStart, "sim.cfg");
}

// The parse tasks run on long-lived threads, as many as the machine has
// hardware threads: a new thread per file costs more than the parse of a
// typical file on some systems. The pool is never torn down, as a task given
// up by its walk may still run on one of its threads when the program ends.
class ParsePool {
public:
    static ParsePool& instance() {
        static ParsePool* const pool = new ParsePool();
        return *pool;
    }

    // Throws the platform's system error when no thread could be started to
    // run the job; the job is not queued then.
    void submit(std::function<void()> job) {
        bool idle = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_idle <= m_jobs.size() && m_threads < m_maxThreads) {
                try {
                    std::thread([this] { run(); }).detach();
                    ++m_threads;
                } catch (...) {
                    if (m_threads == 0) throw;
                }
            }
            m_jobs.push_back(std::move(job));
            idle = m_idle > 0;
        }
        if (idle) m_jobAdded.notify_one();
    }

private:
    ParsePool() : m_maxThreads(std::max(1u, std::thread::hardware_concurrency())) {}

    [[noreturn]] void run() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(m_mutex);
                ++m_idle;
                m_jobAdded.wait(lock, [this] { return !m_jobs.empty(); });
                --m_idle;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_jobAdded;
    std::deque<std::function<void()>> m_jobs;
    std::size_t m_idle = 0;
    unsigned m_threads = 0;
    const unsigned m_maxThreads;
};

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
        const std::error_code ec = lf_listFolder(dir, [this](const FolderEntry& entry) {
            if (m_stopped || gf_stopFlagSet()) {
                m_stopped = true;
                return false;
            }
            bool descend = false;
            try {
                descend = visitEntry(entry);
            } catch (const std::exception& e) {
                gf_logHighlight(fmt::format("liveries search in {} aborted, cause: {}", m_folderText, e.what()));
            }
            if (descend) visitFolder(entry.path);
            return !m_stopped;
        });
        if (ec && !m_stopped) {
            gf_logHighlight(
                fmt::format("liveries search in {} aborted, cause: {}", lf_logPathText(dir), ec.message()));
        }
    }

    // One entry; true when the walk descends into it.
    bool visitEntry(const FolderEntry& entry) {
        const fs::path& path = entry.path;
        // Directory links are not followed, as a recursive iteration would
        // not: a link back up the tree would never end.
        bool descend = false;
        std::string utf8;
        if (entry.kind == FolderEntry::Kind::directory) {
            utf8 = lf_logPathText(path);
            descend = utf8.find(kSkippedFolderPart) == std::string::npos && utf8.size() < kMaxDescendPathBytes;
        }
        // The name first: it costs no system call. Only a link is followed
        // to learn whether it names a regular file.
        if (!lf_isLiveryFile(path)) return descend;
        std::error_code ec;
        if (entry.kind != FolderEntry::Kind::file &&
            !(entry.kind == FolderEntry::Kind::link && fs::is_regular_file(fs::status(path, ec)))) {
            return descend;
        }
        if (utf8.empty()) utf8 = lf_logPathText(path);
        if (!gf_waitForScanSlot()) {
            m_stopped = true;
            return false;
        }
        startTask(path, utf8);
        takeDelivered();
        if (m_pending.size() > kPendingPerSlot * static_cast<std::size_t>(std::max(1, g_scanTaskCount.limit))) {
            takeFront("liveries inner search aborted: {}");
        }
        return descend;
    }

    // The task is counted before it is handed to a thread, so a slot wait
    // never sees a task that runs but is not counted.
    void startTask(const fs::path& path, const std::string& utf8) {
        const bool ivao = utf8.find("ivao_x-csl") != std::string::npos || utf8.find("IVAO_MTL") != std::string::npos;
        auto body = ivao ? &lf_searchLiveriesinIVAOFile : &lf_searchLiveriesinFile;
        auto promise = std::make_shared<std::promise<TaskResult>>();
        std::future<TaskResult> future = promise->get_future();
        g_scanTaskCount.count.fetch_add(1);
        try {
            ParsePool::instance().submit([promise, body, index = m_folderIndex, path] {
                try {
                    promise->set_value(body(index, path));
                } catch (...) {
                    promise->set_exception(std::current_exception());
                }
            });
        } catch (...) {
            g_scanTaskCount.count.fetch_sub(1);
            throw;
        }
        m_pending.push_back(std::move(future));
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

    // The oldest future, taken or given up, then dropped.
    void takeFront(const char* abortedLine) {
        try {
            takeOldest();
        } catch (const std::exception& e) {
            gf_logHighlight(fmt::format(fmt::runtime(abortedLine), e.what()));
        }
        m_pending.pop_front();
    }

    // The results that have come in, in file order: the walk waits for none
    // of them while it still has files to hand out.
    void takeDelivered() {
        while (!m_pending.empty() &&
               m_pending.front().wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
            takeFront("liveries inner search aborted: {}");
        }
    }

    void collectRest() {
        while (!m_pending.empty()) {
            // A stopped scan writes nothing: its results are not needed.
            if (!m_stopped && !gf_stopFlagSet()) {
                takeFront("liveries search aborted, futs outer, {}");
            } else {
                m_pending.pop_front();
            }
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
    return g_scanTaskCount.count.waitUntil([](int count) { return count <= 0; },
                                           watchStopFlags ? std::function<bool()>(gf_stopFlagSet) : nullptr,
                                           std::chrono::steady_clock::now() + bound);
}
