// The lines of AirportsScanLog.txt, collected while the add-on airport scan
// runs: its tasks append from their own threads, so the list has a mutex of
// its own, held only while one line is appended.
#pragma once

#include <string>
#include <vector>

void gf_addScanLogLine(std::string line);
// Empties the list and reserves room for a scan.
void gf_startScanLog();
std::vector<std::string> gf_scanLogLines();
void gf_clearScanLog();
