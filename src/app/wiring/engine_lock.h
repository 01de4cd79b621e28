// Every engine job of the worker runs under the engine's lock: a Traffic
// Reader still decoding its start-of-run snapshots (after the session start's
// wait for it timed out) never meets a pass halfway, and the static parking
// never meets the engine's vectors mid-change.
#pragma once

#include "traffic/intake.h"

#include <mutex>
#include <utility>

// Wraps a job so that it runs under g_engineMutex.
template <typename F>
auto lf_engine(F f) {
    return [f = std::move(f)](auto&&... args) {
        std::lock_guard lock(g_engineMutex);
        return f(std::forward<decltype(args)>(args)...);
    };
}
