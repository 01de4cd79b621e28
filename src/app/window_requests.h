// Requests the main window raises for the worker, and the few values the two
// share. Each request is taken by exchange by the job that serves it. Inline
// atomics, so the window can include this header without linking the
// application library.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// "Re-read": check the park-airport list again.
inline std::atomic<bool> g_reReadRequested{false};
// "Flush static": remove every static aircraft.
inline std::atomic<bool> g_flushStaticRequested{false};
// "Now" and the announcement of a static update: rebuild the static parking.
inline std::atomic<bool> g_staticUpdateRequested{false};
// The value the static update applies (set with the request).
inline std::atomic<std::int32_t> g_savedStaticUpdate{0};
// BLOCK_CALLSIGN was set or cleared.
inline std::atomic<bool> g_blockCallsignChanged{false};
// "cs->oid:": fill the callsign list; the worker answers with the ready flag.
inline std::atomic<bool> g_callsignListRequested{false};
inline std::atomic<bool> g_callsignListReady{false};
// MATCHING_DEPTH was raised: forget the flights that found no livery.
inline std::atomic<bool> g_rematchRequested{false};
// Minutes to the next static renewal, counted down every minute of the main
// loop; the static parking and "Now" set it back to 20.
inline std::atomic<std::int32_t> g_staticRenewalMinutes{20};

// Window commands that act on the engine's aircraft lists: the main thread
// never touches those lists, it raises these and the worker's per-second
// check serves them.
// NAV_LIGHTS_WHILE_PARKED changed: the parked aircraft's lights follow it.
inline std::atomic<bool> g_navLightsRequested{false};
// MAX_LIVE_SEL changed: the farthest live aircraft above it leave.
inline std::atomic<bool> g_maxLiveTrimRequested{false};
// A time shift was set from the window: every live and static aircraft
// leaves, and the static parking is rebuilt.
inline std::atomic<bool> g_timeShiftTrafficRequested{false};
// AUTO_RANGE was ticked: choose the range now.
inline std::atomic<bool> g_autoRangeRequested{false};
// SCAN_LIVERIES ticked before the simulator session: the next run builds
// the livery catalogue again.
inline std::atomic<bool> g_liveryCatalogueResetRequested{false};
// A destination typed in the window: the airport goes to the front of the
// park-airport list. Code and position change together under the mutex.
struct DestinationRequest {
    std::string code;
    double lat = 0.0;
    double lon = 0.0;
};
inline std::mutex g_destinationRequestMutex;
inline DestinationRequest g_destinationRequest;
inline std::atomic<bool> g_destinationRequested{false};
