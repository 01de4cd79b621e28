// Flags and values of the run control that other subsystems read or raise.
// Inline atomics, so the window and the engine can include this header
// without linking the application library.
#pragma once

#include "core/clock.h"

#include <atomic>
#include <cstdint>

// Set by the closing down of a run that restarts, cleared when it quits; a
// run started while it is set skips the update check.
inline std::atomic<bool> g_restarting{false};

// Set by the window's close box and never cleared: whatever a run is doing
// when the user closes the window (its restart countdown included), the
// program ends instead of starting another run.
inline std::atomic<bool> g_closeRequested{false};

// The exit code the program quits with (WM_APP+2).
inline std::atomic<int> g_exitCode{0};

// The simulator time (epoch seconds) the SIM_TIME follower of the main loop
// saw last. The window's SIM_TIME box writes it too: 0 makes the next
// simulator second take the shift from the simulator's clock at once, the
// current simulator time keeps the follower quiet after the box is cleared.
inline std::atomic<std::int64_t> g_lastSimTimeSeen{0};

// The UTC weekday (Monday 1 .. Sunday 7, -1 on failure) and half-hour slot
// (0..47, -1 on failure) of gf_now, stored together in one exchange so that a
// reader never pairs a new weekday with an old slot.
struct NowSlot {
    std::int32_t weekday = -1;
    std::int32_t halfHour = -1;
};
inline std::atomic<std::uint64_t> g_nowSlot{0xFFFFFFFFFFFFFFFFULL};

inline NowSlot gf_nowSlot() {
    const std::uint64_t packed = g_nowSlot.load();
    return NowSlot{static_cast<std::int32_t>(static_cast<std::uint32_t>(packed >> 32)),
                   static_cast<std::int32_t>(static_cast<std::uint32_t>(packed))};
}

inline void gf_refreshNowSlot() {
    const std::int64_t t = gf_now();
    const auto weekday = static_cast<std::uint32_t>(gf_weekday(t));
    const auto halfHour = static_cast<std::uint32_t>(gf_halfHourSlot(t));
    g_nowSlot.exchange((static_cast<std::uint64_t>(weekday) << 32) | halfHour);
}
