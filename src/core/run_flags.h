// Flags shared by every thread of a run: the two stop flags and the run's
// per-second tick count. Plain atomics, so any thread may read them without a
// lock.
#pragma once

#include <atomic>
#include <cstdint>

// Raised when the current run is ending (whoever ended it).
extern std::atomic<bool> g_runStopping;
// Raised when the user closed the window; the run stops and the program quits.
extern std::atomic<bool> g_userClosing;
// Advanced once per simulator second by the run's per-second check; the
// status line stamps its texts with it.
extern std::atomic<std::int32_t> g_tickCount;

// Either stop flag is set: the run is ending.
bool gf_stopFlagSet();

// Back to the start state: both stop flags cleared, tick count 0.
void gf_resetRunFlags();
