// The per-tick update of one live aircraft.
#pragma once

#include "traffic/live_ac.h"

// True when the record is to be erased after the pass (removeFromBuffer or
// creationCancelled).
bool updateLiveAc(LiveAc& ac);
// Plans the segment toward the next point; called when the front point fell
// due.
void nextPosMain(LiveAc& ac);
// Appends the aircraft's position block to this pass's AI positions.
void lf_pushAiPosition(const LiveAc& ac);
