#include "simlink/flight_plan.h"

#include <fmt/format.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kFlightPlanFolderName = "orig_dest";

// The feed's origin and destination are outside text: a "<" or "&" in them
// must not break the document the simulator parses.
std::string lf_xmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out.push_back(c); break;
        }
    }
    return out;
}

}  // namespace

bool gf_createFlightPlanFolder() {
    // The path is fixed once per program start, so every run uses the same one.
    fs::path folder = gf_flightPlanFolder();
    if (folder.empty()) {
        folder = gf_appFolderPath() / kFlightPlanFolderName;
        gf_setFlightPlanFolder(folder);
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) gf_logLine(fmt::format("gf_createFlightPlanFolder: {}", ec.message()));
    return fs::exists(folder);
}

bool gf_removeFlightPlanFolder() {
    // A plan still being written would otherwise land in a folder that is gone.
    gf_waitFlightPlanWrites();
    const fs::path folder = gf_flightPlanFolder();
    if (folder.empty()) return true;
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (!ec) return true;
    gf_logLine(fmt::format("gf_removeFlightPlanFolder: {}", ec.message()));
    return false;
}

fs::path gf_flightPlanPath(std::uint32_t objectId) {
    return gf_flightPlanFolder() / fmt::format("{}.pln", objectId);
}

std::string_view gf_flightPlanType(AcCategory category) {
    switch (category) {
    case AcCategory::Buzjets:
    case AcCategory::Large:
    case AcCategory::Heavy: return "IFR";
    default: return "VFR";
    }
}

std::string gf_flightPlanText(AcCategory category, std::string_view origin, std::string_view destination) {
    return fmt::format(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
        "<FlightPlan.FlightPlan>\n"
        "<FPType>{}</FPType>\n"
        "<DepartureID>{}</DepartureID>\n"
        "<DestinationID>{}</DestinationID>\n"
        "</FlightPlan.FlightPlan>\n"
        "</SimBase.Document>\n"
        "\n",
        gf_flightPlanType(category), lf_xmlEscaped(origin), lf_xmlEscaped(destination));
}

bool gf_writeFlightPlan(const fs::path& path, AcCategory category, std::string_view origin,
                        std::string_view destination) {
    const std::string text = gf_flightPlanText(category, origin, destination);
    // Through a temporary file: the simulator never reads a half-written plan,
    // and a failed write or flush is reported instead of leaving a stub.
    return gf_writeFileReplacing(path, [&](std::ostream& out) { out.write(text.data(), static_cast<std::streamsize>(text.size())); });
}

namespace {

struct FlightPlanJob {
    std::uint32_t objectId = 0;
    std::uint32_t owner = 0;
    fs::path path;
    bool remove = false;
    AcCategory category{};
    std::string origin;
    std::string destination;
};

// One thread for the life of the program, started by the first job.
class FlightPlanWriter {
public:
    ~FlightPlanWriter() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }

    void queue(FlightPlanJob job) {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
            ++m_queued;
            if (!m_thread.joinable()) m_thread = std::thread([this] { run(); });
        }
        m_wake.notify_all();
    }

    std::vector<WrittenFlightPlan> take() {
        std::vector<WrittenFlightPlan> out;
        if (!m_anyWritten.load(std::memory_order_acquire)) return out;
        std::lock_guard lock(m_mutex);
        out.swap(m_written);
        m_anyWritten.store(false, std::memory_order_release);
        return out;
    }

    void wait() {
        std::unique_lock lock(m_mutex);
        const std::uint64_t target = m_queued;
        m_done.wait(lock, [&] { return m_finished >= target; });
    }

private:
    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stop || !m_jobs.empty(); });
            if (m_jobs.empty()) return;
            FlightPlanJob job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            const fs::path& path = job.path;
            bool ok = true;
            if (job.remove) {
                std::error_code ec;
                fs::remove(path, ec);
            } else {
                ok = gf_writeFlightPlan(path, job.category, job.origin, job.destination);
            }
            lock.lock();
            if (!job.remove) {
                m_written.push_back(WrittenFlightPlan{job.objectId, job.owner, path.string(), ok});
                m_anyWritten.store(true, std::memory_order_release);
            }
            ++m_finished;
            m_done.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<FlightPlanJob> m_jobs;
    std::vector<WrittenFlightPlan> m_written;
    std::atomic<bool> m_anyWritten{false};
    std::uint64_t m_queued = 0;
    std::uint64_t m_finished = 0;
    bool m_stop = false;
    std::thread m_thread;
};

FlightPlanWriter& lf_writer() {
    static FlightPlanWriter writer;
    return writer;
}

}  // namespace

void gf_queueFlightPlanWrite(std::uint32_t objectId, std::uint32_t owner, AcCategory category, std::string origin,
                             std::string destination) {
    lf_writer().queue(FlightPlanJob{objectId, owner, gf_flightPlanPath(objectId), false, category, std::move(origin),
                                    std::move(destination)});
}

void gf_queueFlightPlanRemoval(std::uint32_t objectId) { 
    lf_writer().queue(FlightPlanJob{objectId, 0, gf_flightPlanPath(objectId), true, {}, {}, {}});
}

std::vector<WrittenFlightPlan> gf_takeWrittenFlightPlans() { return lf_writer().take(); }

void gf_waitFlightPlanWrites() { lf_writer().wait(); }
