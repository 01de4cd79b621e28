// The Traffic engine's own SimConnect requests, made from the worker thread.
// Each takes g_simMutex for its call, except the position swap, whose caller
// holds it already; none is sent once g_requestError is set.
#pragma once

#include <cstdint>
#include <string>

// Request 101 / definition 404: every aircraft within radius_m metres. False
// when the call failed (not when it was skipped for an earlier error).
bool gf_requestAircraftInRange(std::uint32_t radius_m);
// Request 102 / definition 405, once: the static CG height and pitch of a
// new live object. False when the call failed.
bool gf_requestStaticCg(std::uint32_t objectId);
// Request 110: the object flies the AceXML plan at path (narrow text in the
// file system's code page). False when the call failed or was not made.
bool gf_setAiFlightPlan(std::uint32_t objectId, const std::string& path);
// The positions the engine filled this pass become the ones the next frame
// sends; the fill buffer starts empty again. Caller holds g_simMutex.
void lf_swapAiPositionBuffers();
