// Two log reports of how well the installed liveries cover the live traffic:
// the matches per ladder step with the liveries the simulator refused, and
// the live flights that found no livery.
#pragma once

#include <string>
#include <unordered_set>

// Live aircraft with a registration that found no livery, as description
// lines; filled by the traffic engine, emptied when the user raises
// MATCHING_DEPTH (worker thread).
extern std::unordered_set<std::string> g_unmatchedFlights;
void gf_addUnmatched(const std::string& line);
bool gf_isUnmatched(const std::string& line);
void gf_clearUnmatchedFlights();

void gf_logLiveryMatchingSummary();
void gf_logUnmatchedFlights();
