// The values of the main window that the feed writes and the window paints:
// the two reader lamps (1 receiving, 2 idle, 3 stopped), the QNH shown and
// the authenticated flag. Atomics, since readers, worker and the main thread
// all touch them.
#pragma once

#include <atomic>

inline std::atomic<int> g_trafficLamp{3};
inline std::atomic<int> g_weatherLamp{3};
inline std::atomic<int> g_qnhShown{0};
inline std::atomic<bool> g_authenticated{false};
