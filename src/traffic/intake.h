// The door between the live feed and the engine: a received batch gets its
// tick times and is handed over whole (live polls) or decoded at once (the
// buffered snapshots at the start of a run); each record then extends its
// aircraft's stream, through the glitch and thinning filters, or becomes a
// new live aircraft.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "feed/feed_records.h"

// Held by the traffic pass and every engine job of the worker, and by the
// Traffic Reader while it decodes the start-of-run snapshots: the live
// records have one writer at a time even when the session start's wait for
// the reader timed out. Taken before the event queue's mutex and g_simMutex.
extern std::mutex g_engineMutex;

// Under g_trafficMutex.
void gf_setTrafficHandover(bool open);
// Traffic Reader thread: delay 30 for a live poll, 0..24 for the snapshots.
// Consumes the batch.
void gf_takeTrafficBatch(std::vector<FlightRecord>& batch, int delay_s);
// One record into the engine (worker, or the reader for a snapshot).
void lf_decodeRecord(const FlightRecord& record);
void lf_tryDecodeNew(FlightRecord record);
void lf_decodeNew(const FlightRecord& record);
// The Traffic Reader's collected callsigns and hexids become the engine's.
void lf_takeCollectedIds();
