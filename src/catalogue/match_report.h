// Two log reports of how well the installed liveries cover the live traffic:
// the matches per ladder step with the liveries the simulator refused, and
// the live flights that found no livery.
#pragma once

void gf_logLiveryMatchingSummary();
void gf_logUnmatchedFlights();
