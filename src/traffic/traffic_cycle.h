// One traffic pass, every 10 ms while the simulator runs: object events,
// every live aircraft one tick on, one creation released every 50 ticks, at
// most two received records decoded, one creation request built, the
// aircraft in range asked for, and the tick counted. Worker thread.
#pragma once

#include <cstdint>

#include "simlink/sim_queues.h"
#include "traffic/live_ac.h"

void lf_handleAddingStack();
void lf_updateAllLiveAc();
void lf_sendQueuedCreations();
// The creation request of a spawned aircraft.
AiCreateRequest gf_creationRequest(const LiveAc& ac);
// lf_detcs, the static parking's creation step, lives in
// traffic/static_parking.h.
