// The lines of AirportsScanLog.txt, collected while the add-on airport scan
// runs: its tasks append from their own threads, so the list has a mutex of
// its own, held only while one line is appended.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

void gf_addScanLogLine(std::string line);
// Empties the list and reserves room for a scan.
void gf_startScanLog();
std::vector<std::string> gf_scanLogLines();
void gf_clearScanLog();

// A path as UTF-8 for the scan's log lines; a path that does not convert is
// shown in its generic form rather than ending the scan.
std::string gf_scanPathUtf8(const std::filesystem::path& path);
// A line of Log.txt written at once: the scan's milestones must survive a
// crash of a task.
void gf_logLineFlushed(const std::string& text);
