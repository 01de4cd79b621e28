#include "core/steady_clock.h"

#include <algorithm>
#include <thread>

namespace {

class RealSteadyClock final : public SteadyClock {
public:
    SteadyTime now() override { return std::chrono::steady_clock::now(); }
    void sleepFor(std::chrono::nanoseconds d) override {
        if (d.count() > 0) std::this_thread::sleep_for(d);
    }
};

RealSteadyClock g_realSteadyClock;
std::atomic<SteadyClock*> g_steadyClock{&g_realSteadyClock};

}  // namespace

SteadyClock& gf_steadyClock() { return *g_steadyClock.load(std::memory_order_acquire); }

void gf_setSteadyClock(SteadyClock* clock) {
    g_steadyClock.store(clock ? clock : &g_realSteadyClock, std::memory_order_release);
}

SteadyTime gf_steadyNow() { return gf_steadyClock().now(); }

void gf_sleepFor(std::chrono::nanoseconds d) { gf_steadyClock().sleepFor(d); }

void gf_sleepUntil(SteadyTime deadline) {
    SteadyClock& clock = gf_steadyClock();
    for (SteadyTime now = clock.now(); now < deadline; now = clock.now()) {
        clock.sleepFor(deadline - now);
    }
}

bool gf_sleepWatching(std::chrono::milliseconds d, std::chrono::milliseconds step, const std::function<bool()>& stop) {
    SteadyClock& clock = gf_steadyClock();
    const SteadyTime deadline = clock.now() + d;
    for (SteadyTime now = clock.now(); now < deadline; now = clock.now()) {
        if (stop && stop()) return false;
        clock.sleepFor(std::min<std::chrono::nanoseconds>(deadline - now, step));
    }
    return true;
}

SteadyTime VirtualSteadyClock::now() { return m_origin + std::chrono::nanoseconds(m_elapsed_ns.load()); }

void VirtualSteadyClock::sleepFor(std::chrono::nanoseconds d) {
    if (d.count() > 0) m_elapsed_ns += d.count();
    if (onAdvance) onAdvance();
}
