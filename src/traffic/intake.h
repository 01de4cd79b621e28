// The door between the live feed and the engine: a received batch gets its
// tick times and is handed over whole (live polls) or decoded at once (the
// buffered snapshots at the start of a run); each record then extends its
// aircraft's stream, through the glitch and thinning filters, or becomes a
// new live aircraft.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "feed/feed_records.h"
#include "traffic/live_ac.h"

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
// The hexids and the callsign-and-type keys of the live aircraft as compact
// columns, for the records decoded one after the other: a record of an
// aircraft not (or no longer) known would otherwise walk the whole live
// vector twice (for its hexid and for a twin under another hexid), and in a
// busy region every poll brings hundreds of them. Taken when first needed and
// kept along while the records only append to the live vector (decoding
// erases nothing); a shorter vector or a hit that no longer matches makes
// them be taken anew.
class LiveLookup {
public:
    LiveAc* find(std::uint32_t hexid);
    // A live aircraft with the same callsign and the same type.
    bool hasTwin(const std::string& callsign, const std::string& type);
    // The aircraft's callsign or type may have changed.
    void refresh(const LiveAc& ac);

private:
    void syncHexids();
    void syncKeys();
    std::vector<std::uint32_t> m_hexids;
    std::vector<std::uint64_t> m_keys;
};

// One record into the engine (worker, or the reader for a snapshot); the
// lookup serves the records decoded in a row and lives no longer than them.
void lf_decodeRecord(const FlightRecord& record, LiveLookup& lookup);
void lf_tryDecodeNew(FlightRecord record);
void lf_decodeNew(const FlightRecord& record);
// The Traffic Reader's collected callsigns and hexids become the engine's.
void lf_takeCollectedIds();
