// The per-tick update of one live aircraft: the segment planning toward the
// next received point, the airborne step with its vertical, pitch, heading
// and bank rates, the take-off rotation and climb-out, the landing flare and
// the aircraft systems that follow height and vertical rate.
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
// The planning common to ground and air.
void lf_planSegment(LiveAc& ac);
// The point being flown to took another height: the rest of the segment
// climbs or sinks toward it, no faster than this (feet a tick) or than the
// aircraft moves already.
void gf_aimAtFront(LiveAc& ac, double fastest_ftPerTick);
// After a new point: ground points ahead of an approach that the stream no
// longer takes for the runway (a receiver's readings cut at zero) are
// dived toward no longer.
void gf_leaveGoneRunway(LiveAc& ac);
// One tick of movement.
void lf_tickMove(LiveAc& ac);
// The take-off roll is complete: the nose comes up.
void lf_takeOffRotation(LiveAc& ac);
// The climb-out's own pace: the feet gained per foot-a-tick of vertical
// speed over the next ticks, from a countdown (the wheels stay down through
// the rotation, then the climb builds up over three seconds).
double lf_climbOutGain(std::int32_t countdown, std::int32_t ticks);
// Ticks of a stop: the stop keeps its received length (ground timing of a
// stationary next point).
void lf_stopTiming(LiveAc& ac);
