// The program's runs without its Win32 window: the real wiring of every
// subsystem, the worker, the SimClient, both readers and the static parking,
// driven as the window's message loop drives them. The window's two messages
// arrive in a queue here; the close comes after the seconds given, the way
// the window's close button brings it. ThreadSanitizer watches all threads
// of a real run this way, against the stand-ins on loopback.
#include "app/run_ports.h"
#include "app/start_log.h"
#include "app/window_actions.h"
#include "app/window_services.h"
#include "app/wiring/run_ports_real.h"
#include "app/wiring/window_services.h"
#include "app/worker_thread.h"
#include "core/log.h"
#include "core/status_line.h"
#include "core/ui_sink.h"
#include "feed/feed_env.h"
#include "feed/feed_window_values.h"
#include "simlink/sim_client.h"
#include "ui/window_paint.h"
#include "ui/window_state.h"

#include <curl/curl.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string_view>

namespace {

using namespace std::chrono_literals;

struct WindowQueue {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<RunMessage> messages;
};
WindowQueue g_window;

void lf_post(RunMessage message) {
    {
        std::lock_guard lock(g_window.mutex);
        g_window.messages.push_back(message);
    }
    g_window.posted.notify_one();
}

// The real window, its messages queued here instead of posted to a Win32
// window.
class HostWindow final : public RealRunWindow {
public:
    void postToWindow(RunMessage message) override { lf_post(message); }
};

// What the window showed when the user closed it: the lamps and the status
// band, for the reports of the hostile-service runs.
void lf_printWindow() {
    DisplaySnapshot d = gf_windowDisplaySnapshot();
    // The native wiring leaves the link's values to the Win32 window: taken
    // here from where that window takes them.
    d.connected = g_simConnected.load();
    d.running = g_simRunningShown.load();
    d.userAcTitle = gf_simLinkTexts().userAcTitle;
    d.authenticated = g_authenticated.load();
    d.weatherLamp = g_weatherLamp.load();
    d.trafficLamp = g_trafficLamp.load();
    const StatusLineSnapshot status = gf_statusLineSnapshot();
    const char* sim = !d.connected ? "red" : (d.running && !d.userAcTitle.empty() ? "green" : "yellow");
    const char* rt = d.rtIdle ? "black" : (d.authenticated ? "green" : "red");
    const auto lamp = [](int v) { return v == 1 ? "green" : v == 2 ? "yellow" : "off"; };
    std::printf("whole_run_host: window at the close: Sim %s, RT %s, Weather %s, Traffic %s, status '%s'%s%s\n", sim, rt,
                lamp(d.weatherLamp), lamp(d.trafficLamp), status.statusText.c_str(),
                status.errorText.empty() ? "" : ", error ", status.errorText.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const auto runFor = std::chrono::seconds(argc > 1 ? std::atoi(argv[1]) : 60);
    // The longest the close may take before the run counts as hung.
    constexpr auto kCloseLimit = 120s;
    constexpr auto kPaintEvery = 100ms;

    if (!lf_openLog()) {
        std::fprintf(stderr, "whole_run_host: Log.txt cannot be written\n");
        return 2;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    static HostWindow window;
    gf_installRealRunPorts(window);
    // A wiring that forgot the live feed's environment: the run must stop
    // with the cause in Log.txt.
    if (argc > 2 && std::string_view(argv[2]) == "leave-out-feed") gf_setFeedEnv(nullptr);

    lf_post(RunMessage::startRun);
    const auto closeAt = std::chrono::steady_clock::now() + runFor;
    bool closing = false;
    const char* closeFile = std::getenv("GLIM_HOST_CLOSE_FILE");
    std::chrono::steady_clock::time_point closedAt;
    int runs = 0;
    int code = -1;
    std::size_t painted = 0;
    std::unique_lock lock(g_window.mutex);
    while (code < 0) {
        const auto now = std::chrono::steady_clock::now();
        // A script may close at a moment of its own choosing (5 s into the
        // login, say) by creating the file GLIM_HOST_CLOSE_FILE names.
        const bool closeFileThere = closeFile && std::filesystem::exists(closeFile);
        if (!closing && (now >= closeAt || closeFileThere)) {
            closing = true;
            closedAt = now;
            lock.unlock();
            lf_printWindow();
            lf_onUserClose();
            lock.lock();
            continue;
        }
        if (closing && now >= closeAt + kCloseLimit) {
            std::fprintf(stderr, "whole_run_host: the run did not end within %llds of the close\n",
                         static_cast<long long>(kCloseLimit.count()));
            std::_Exit(3);
        }
        if (!g_window.posted.wait_for(lock, kPaintEvery, [] { return !g_window.messages.empty(); })) {
            // The window paints on its own thread while the run writes what
            // it shows.
            lock.unlock();
            DisplaySnapshot snapshot = gf_windowDisplaySnapshot();
            lf_fillLinkDisplay(snapshot);
            painted += gf_paintMainWindow(snapshot).size();
            lock.lock();
            continue;
        }
        const RunMessage message = g_window.messages.front();
        g_window.messages.pop_front();
        lock.unlock();
        if (message == RunMessage::startRun) {
            if (lf_onStartRun()) ++runs;
        } else {
            code = lf_onEndProgram(0, 0);
        }
        lock.lock();
    }
    lock.unlock();
    gf_joinWorkerThread();
    gf_stopRealRunThreads();
    gf_logFlush();
    std::printf("whole_run_host: closed in %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - closedAt).count());
    std::printf("whole_run_host: %d run(s), %zu drawing steps painted, exit code %d, %s\n", runs, painted, code,
                closing ? "closed" : "ended early");
    // A run that ended by itself before the close is a failure of the run.
    return closing ? code : 4;
}
