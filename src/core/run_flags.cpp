#include "core/run_flags.h"

std::atomic<bool> g_runStopping{false};
std::atomic<bool> g_userClosing{false};
std::atomic<std::int32_t> g_tickCount{0};

void gf_resetRunFlags() {
    g_runStopping.store(false);
    g_userClosing.store(false);
    g_tickCount.store(0);
}

bool gf_stopFlagSet() { return g_runStopping.load() || g_userClosing.load(); }
