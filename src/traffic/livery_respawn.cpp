#include "traffic/livery_respawn.h"

bool lf_respawnCheck(LiveAc&, const FlightRecord&) { return true; }
