// What the simulator reports about AI objects, applied once per tick at the
// start of the traffic pass: created objects get their ids, flight plans and
// static CG request and are brought to life over 200 ticks; removed ones are
// erased; ground data, static CG, blocked callsigns and failed creations go
// to their aircraft.
#pragma once

#include <cstdint>

#include "traffic/live_ac.h"

// Ticks from the created event to "active".
inline constexpr std::int32_t kActivationTicks = 200;

// Drains the event queue (its mutex held for the whole drain), then
// activates the new objects. May throw ozr::UserErrorException 81.
void gf_handleSimObjectEvents();
void lf_onObjectRemoved(std::uint32_t objectId);
void lf_removeBlocked(std::uint32_t hexid);
void lf_activateNewObjects();
void lf_parks(LiveAc& ac);
void lf_createFlightPlan(LiveAc& ac);
// Each pass: plans written since the last pass go to the simulator.
void lf_applyWrittenFlightPlans();
