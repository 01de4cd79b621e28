// Requests the main window raises for the worker, and the few values the two
// share. Each request is taken by exchange by the job that serves it. Inline
// atomics, so the window can include this header without linking the
// application library.
#pragma once

#include <atomic>
#include <cstdint>

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
