// The judgment of a report against the reports around it and the
// aircraft's performance: what cannot be true is not flown, and the
// altitude scatter of a receiver is not flown either. Worker thread (and
// the Traffic Reader for the start-of-run snapshots), like the intake.
#pragma once

#include "feed/feed_records.h"
#include "traffic/live_ac.h"

// False for a report the aircraft cannot have made: farther from the last
// possible report than it can have flown since, or higher or lower than it
// can have climbed or descended (the ground counting as the simulator's
// ground under the aircraft), or fast in the air and still where it was.
bool gf_reportPossible(LiveAc& ac, const FlightRecord& record);

// Called after an airborne or ground point was appended to the stream: the
// points not yet flown get the median altitude of the reports around them
// where their own lies off it by more than a receiver's scatter allows.
void gf_smoothStreamAltitudes(LiveAc& ac);

// A report the judgment refused: the next ones are judged against its
// place too (a receiver that lost the aircraft repeats it).
void gf_noteRefusedReport(LiveAc& ac, const FlightRecord& record);

// An airborne report that the stream leaves out (points are kept some
// hundred metres apart): its height still judges the points around it, so
// that a run of scattered reports among the points kept does not decide
// where the aircraft flies.
void gf_noteReportAltitude(LiveAc& ac, const StreamPoint& report);

// An airliner's point whose place lies farther from the report before it,
// a few seconds back, than its speed carries it in the time between: a
// place sent ahead, with the height of its own time or of the place's, or
// a receiver's spike. Flown at its own time and height, the aircraft would
// come there early and below (in a climb) where it was there. True when
// the point was moved to the time its speed reaches the place, at the
// height the report before (as the run flies it) and their rates give
// there.
bool gf_carryToPlaceAhead(const LiveAc& ac, StreamPoint& point, double feedTime);

// An airborne report after ground points that end the stream: when the
// aircraft cannot have been on the ground there (the reports in the air
// before them, carried along their own vertical rates, meet this one well
// above the ground, within a few seconds), the ground points are a
// receiver's heights cut at zero and leave the stream, which goes on with
// the run in the air they broke. Called before the report is put into the
// stream; true when it takes the place of the points dropped (the stream's
// thinning, which judges it against the last report, then lets it in).
bool gf_dropRuledOutGround(LiveAc& ac, const FlightRecord& record);
