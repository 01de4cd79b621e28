// The steady clock and the sleeps of the run's loops, behind a seam.
//
// Every wait of a run (the main loop's 10 ms passes, the waits for the
// simulator and the readers, the hold before the login, the restart
// countdown) reads this clock and sleeps through it, so tests can drive
// minutes of a run in virtual time in a few milliseconds.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

using SteadyTime = std::chrono::steady_clock::time_point;

class SteadyClock {
public:
    virtual ~SteadyClock() = default;
    virtual SteadyTime now() = 0;
    // Blocks the calling thread for about d.
    virtual void sleepFor(std::chrono::nanoseconds d) = 0;
};

// The clock in use; never null.
SteadyClock& gf_steadyClock();
// Installs a clock (a virtual one in tests); nullptr puts the real one back.
// Not owned.
void gf_setSteadyClock(SteadyClock* clock);

SteadyTime gf_steadyNow();
void gf_sleepFor(std::chrono::nanoseconds d);
// Sleeps, looks at the clock again, until the deadline is reached.
void gf_sleepUntil(SteadyTime deadline);
// Waits d in steps of at most step, looking at stop before every step. True
// when the whole time passed, false as soon as stop said so.
bool gf_sleepWatching(std::chrono::milliseconds d, std::chrono::milliseconds step, const std::function<bool()>& stop);

// Virtual time: nothing blocks. A sleep moves the clock on by its duration
// and then calls onAdvance, where a test lets its fakes act (a simulator
// second, the user's close) at the virtual moment they are due.
class VirtualSteadyClock final : public SteadyClock {
public:
    SteadyTime now() override;
    void sleepFor(std::chrono::nanoseconds d) override;

    // Time passed since the clock was made.
    std::chrono::nanoseconds elapsed() const { return std::chrono::nanoseconds(m_elapsed_ns.load()); }
    // Moves the clock on without calling onAdvance.
    void advance(std::chrono::nanoseconds d) { m_elapsed_ns += d.count(); }

    std::function<void()> onAdvance;

private:
    // Far from the steady clock's epoch, so that subtracting a few hours
    // from a virtual time never goes below it.
    const SteadyTime m_origin = SteadyTime(std::chrono::hours(1000));
    std::atomic<std::int64_t> m_elapsed_ns{0};
};

// The system timer at 1 ms resolution for the life of the scope
// (timeBeginPeriod(1) and timeEndPeriod(1) under Windows; nothing elsewhere),
// so that the 10 ms passes of the main loop keep their pace.
class FineTimerScope {
public:
    FineTimerScope();
    ~FineTimerScope();
    FineTimerScope(const FineTimerScope&) = delete;
    FineTimerScope& operator=(const FineTimerScope&) = delete;
};
