// The walk of one livery folder: every aircraft.cfg and sim.cfg below it is
// parsed by a task on a pool of long-lived threads, at most as many tasks at
// once as the scan slots allow, and the tasks' liveries are appended to the
// scan list in the order the files were found, whatever order the tasks end
// in.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>

// Returns when every task it started has delivered or has been given up (one
// that does not deliver within 10 s of the walk waiting for it; it runs on
// and uncounts itself when it ends), or as soon as the run is asked to stop
// (the stop flags are read before every entry).
void lf_walkLiveryFolder(std::uint32_t folderIndex, const std::filesystem::path& folder);

// Waits until no scan task runs any more, at most bound; with watchStopFlags
// a raised stop flag ends the wait too. True when no task runs.
bool lf_waitForScanTasksToEnd(std::chrono::milliseconds bound, bool watchStopFlags);

// How long the walk waits for one task's result.
inline constexpr std::chrono::seconds kScanTaskWait{10};
