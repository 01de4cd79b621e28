// The system timer at 1 ms resolution while the SimClient thread dispatches,
// so that its 1 ms sleeps are 1 ms and every simulator frame is flushed.
#pragma once

void gf_simTimerResolutionBegin();
void gf_simTimerResolutionEnd();
