// Inside the simulator link: the frame flush and the calls it makes, shared
// by the queue and handler files (SimClient thread only).
#pragma once

#include <cstdint>

#include "simconnect/api.h"
#include "simlink/sim_queues.h"

// Sends every queued command; false when g_simMutex was busy and the frame
// was skipped (everything stays queued).
bool lf_flushSimCommandQueues();
// Releases the new AI object from AI control, then queues the three freezes.
void lf_releaseAndFreezeAiObject(std::uint32_t objectId);
// Caller holds g_simMutex. False when the library refused the request's
// texts as too long (the caller reports a failed creation).
bool lf_createAiAircraftInSim(SimConnectHandle handle, const AiCreateRequest& request);
void lf_removeAiObjectFromSim(SimConnectHandle handle, std::uint32_t objectId);
