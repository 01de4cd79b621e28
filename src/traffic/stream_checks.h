// The two ends of an aircraft's position stream: every received point of a
// known aircraft is appended, changed, dropped or ends the aircraft; a stream
// that runs out is extrapolated, held in place, kept waiting on the stand or
// ended. Worker thread (and the Traffic Reader for the start-of-run
// snapshots).
#pragma once

#include <cstddef>
#include <cstdint>

#include "feed/feed_records.h"
#include "traffic/live_ac.h"

// A received point of a known aircraft.
void decodeExisting(LiveAc& ac, const StreamPoint& point);
// True to append the point (it may be changed on the way).
bool checkExtendingSituations(LiveAc& ac, StreamPoint& point);
bool checkNewPosDuringLanding(LiveAc& ac, StreamPoint& point);
bool lf_acceptBirthPoint(LiveAc& ac, StreamPoint& point);
// False when the aircraft is to be removed; called when fewer than two
// points remain.
bool lf_extendOrEnd(LiveAc& ac);
// Appends one extrapolated point; the extension count becomes steps.
void lf_extendStream(LiveAc& ac, std::int32_t steps);

// The height the run of the other recent reports gives at report j's time
// (a line through them that a minority of scattered reports does not move),
// with how far the middle one of them lies off it (the run's own scatter).
// Not known (found false) with fewer than five reports.
struct ReportRun {
    bool found = false;
    double alt_ft = 0.0;
    double spread_ft = 0.0;
};
ReportRun gf_reportRunAt(const double* alt_ft, const std::int32_t* due, std::size_t n, std::size_t j);
