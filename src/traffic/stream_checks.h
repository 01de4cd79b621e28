// The checks on every new point of an aircraft's stream.
#pragma once

#include "feed/feed_records.h"
#include "traffic/live_ac.h"

// Appends a received point to the aircraft's stream (after its checks).
void decodeExisting(LiveAc& ac, const StreamPoint& point);
// Whether the stream may be extended while the feed is silent; false ends
// the aircraft.
bool lf_extendOrEnd(LiveAc& ac);
