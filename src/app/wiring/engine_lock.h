// Every engine job of the worker runs under the engine's lock: a Traffic
// Reader still decoding its start-of-run snapshots (after the session start's
// wait for it timed out) never meets a pass halfway, and the static parking
// never meets the engine's vectors mid-change.
#pragma once

#include "traffic/intake.h"

#include <mutex>

// Held for the length of one engine job.
struct EngineLock {
    std::lock_guard<std::mutex> lock{g_engineMutex};
};
