#include "core/steady_clock.h"

#include <windows.h>
#include <timeapi.h>

FineTimerScope::FineTimerScope() { timeBeginPeriod(1); }
FineTimerScope::~FineTimerScope() { timeEndPeriod(1); }
