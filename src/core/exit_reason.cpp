#include "core/exit_reason.h"

#include "core/clock.h"
#include "core/log.h"
#include "core/run_flags.h"
#include "core/status_line.h"

#include <fmt/format.h>

#include <array>
#include <atomic>
#include <cstdint>

namespace {

// Reason and delay live in one atomic word, so the winner's delay can never be
// paired with a loser's reason (or overwritten by a late setter).
std::atomic<std::uint64_t> g_exitReason{0};

constexpr std::uint64_t lf_pack(ExitReason reason, int delaySeconds) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(delaySeconds)) << 32) |
           static_cast<std::uint32_t>(reason);
}

// Stores the reason when none is stored yet; true when this call won.
bool lf_storeFirst(ExitReason reason, int delaySeconds) {
    std::uint64_t current = g_exitReason.load();
    while (static_cast<std::uint32_t>(current) == 0) {
        if (g_exitReason.compare_exchange_weak(current, lf_pack(reason, delaySeconds))) return true;
    }
    return false;
}

constexpr std::array<std::string_view, 9> kReasonTexts = {
    "NOT YET SET",      "SIM WAS CLOSED", "NEW FLIGHT",   "NEW SETTINGS", "USER CLOSED SIM",
    "SIMCONNECT ERROR", "READER ERROR",   "SYSTEM ERROR", "NEW VERSION",
};

}  // namespace

std::string_view gf_exitReasonText(ExitReason reason) {
    const auto code = static_cast<size_t>(reason);
    return code < kReasonTexts.size() ? kReasonTexts[code] : std::string_view("UNKNOWN");
}

void gf_setExitReason(ExitReason reason, int delaySeconds) {
    if (reason == ExitReason::userClosedSim) {
        g_userClosing.exchange(true);
        g_runStopping.exchange(true);
        std::uint64_t current = g_exitReason.load();
        while (static_cast<std::uint32_t>(current) == 0) {
            const std::uint64_t keepDelay = (current & 0xFFFFFFFF00000000ULL) | static_cast<std::uint32_t>(reason);
            if (g_exitReason.compare_exchange_weak(current, keepDelay)) break;
        }
        return;
    }
    g_runStopping.exchange(true);
    lf_storeFirst(reason, delaySeconds);
}

void gf_forceExitReason(ExitReason reason) {
    g_runStopping.exchange(true);
    std::uint64_t current = g_exitReason.load();
    while (!g_exitReason.compare_exchange_weak(
        current, (current & 0xFFFFFFFF00000000ULL) | static_cast<std::uint32_t>(reason))) {
    }
}

bool gf_replaceExitReason(ExitReason from, ExitReason to, int delaySeconds) {
    std::uint64_t current = g_exitReason.load();
    while (static_cast<std::uint32_t>(current) == static_cast<std::uint32_t>(from)) {
        if (g_exitReason.compare_exchange_weak(current, lf_pack(to, delaySeconds))) return true;
    }
    return false;
}

ExitReason gf_exitReason() { return static_cast<ExitReason>(static_cast<std::uint32_t>(g_exitReason.load())); }

int gf_exitDelaySeconds() { return static_cast<int>(static_cast<std::uint32_t>(g_exitReason.load() >> 32)); }

void gf_stopWithError(std::string_view name, bool restart) {
    gf_setStatusLine(fmt::format("The {} has stopped with an error", name), true);
    if (restart) {
        gf_setExitReason(ExitReason::readerError, 15);
    } else {
        gf_setExitReason(ExitReason::systemError, 0);
    }
}

void gf_simDisconnected() {
    if (g_runStopping.load()) return;
    gf_logLine(fmt::format("{} Flight Simulator no longer connected, {} will stop ...", gf_clockText(), "GLIM_P3D"));
    gf_setExitReason(ExitReason::simWasClosed, 0);
}

void gf_resetExitReason() {
    g_exitReason.store(0);
    g_userClosing.store(false);
    g_runStopping.store(false);
}
