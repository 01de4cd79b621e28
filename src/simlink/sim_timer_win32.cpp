#include "simlink/sim_timer.h"

#include <windows.h>
#include <timeapi.h>

void gf_simTimerResolutionBegin() { timeBeginPeriod(1); }

void gf_simTimerResolutionEnd() { timeEndPeriod(1); }
