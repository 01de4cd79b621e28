// The values of the main window that the feed writes and the window paints:
// the two reader lamps (1 receiving, 2 idle, 3 stopped), the QNH shown and
// the authenticated flag. Atomics, since readers, worker and the main thread
// all touch them.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <utility>

inline std::atomic<int> g_trafficLamp{3};
inline std::atomic<int> g_weatherLamp{3};
inline std::atomic<int> g_qnhShown{0};
inline std::atomic<bool> g_authenticated{false};

// The server text of the session's login answer, painted beside the lamps;
// written by the worker's login, read by the main thread's painting.
inline std::mutex g_serviceTextMutex;
inline std::string g_serviceText;
inline void gf_setServiceText(std::string text) {
    std::lock_guard lock(g_serviceTextMutex);
    g_serviceText = std::move(text);
}
inline std::string gf_serviceText() {
    std::lock_guard lock(g_serviceTextMutex);
    return g_serviceText;
}
