// Respawn of an aircraft whose route, registration or livery changed.
#pragma once

#include "feed/feed_records.h"
#include "traffic/live_ac.h"

// False when the record is not to be taken into the stream.
bool lf_respawnCheck(LiveAc& ac, const FlightRecord& record);
