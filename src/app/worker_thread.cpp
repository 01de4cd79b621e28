#include "app/worker_thread.h"

#include "app/run_control.h"

#include <atomic>
#include <thread>

namespace {
// Touched by the main thread only (the window procedure and the end of the
// application main).
std::thread g_workerThread;
std::atomic<bool> g_workerRunning{false};
}  // namespace

void gf_startWorkerThread() {
    gf_joinWorkerThread();
    g_workerRunning = true;
    try {
        g_workerThread = std::thread([] {
            lf_runWorker();
            g_workerRunning = false;
        });
    } catch (...) {
        g_workerRunning = false;
        throw;
    }
}

void gf_joinWorkerThread() {
    if (g_workerThread.joinable()) g_workerThread.join();
}

bool gf_workerThreadHeld() { return g_workerThread.joinable(); }

bool gf_workerThreadRunning() { return g_workerRunning.load(); }
