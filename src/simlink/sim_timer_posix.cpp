#include "simlink/sim_timer.h"

// The native build's sleeps are already fine-grained.
void gf_simTimerResolutionBegin() {}

void gf_simTimerResolutionEnd() {}
