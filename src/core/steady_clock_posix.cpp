#include "core/steady_clock.h"

// Linux timers already wake within well under a millisecond.
FineTimerScope::FineTimerScope() = default;
FineTimerScope::~FineTimerScope() = default;
