// What the livery scan rejected and why: seven report lists filled while the
// parse tasks run, written to output/errors and output/info when the scan has
// finished, and summed up in Log.txt.
#pragma once

#include <cstddef>
#include <filesystem>
#include <list>
#include <string>
#include <string_view>
#include <vector>

// Appenders, callable from any parse task (each list has its own mutex).
// "{:12} in {} " with code and file, then text (the section's header line).
void lf_addInvalidAirlineCode(std::string_view code, const std::filesystem::path& file, std::string_view text);
// "{:16} in {}" with code and file.
void lf_addInvalidModelCode(std::string_view code, const std::filesystem::path& file);
void lf_addCodeFix(std::string line);
void lf_addInvalidCfgFile(std::string line);
void lf_addIncompleteSection(std::string line);
// A file without any [fltsim.N] section.
void lf_addFileWithoutFltsim(std::string line);
// Worker thread only, after every task of the scan has ended.
void lf_addModelConversion(std::string line);

// Before a scan: the previous scan's files go (see the .cpp for the order);
// a failure is logged and ends the removal, never the scan.
void lf_removePreviousScanFiles();
// After LiveriesScanned.xml: every non-empty list to its file, a summary line
// per list in the log. A file-system error while making sure output/errors
// exists is passed on.
void lf_writeLiveryScanReport();
// The report lists emptied (part of the scan's reset).
void lf_clearReportLists();

// Each text and "\n", through a temporary file beside the target; false when
// it cannot be written (the target keeps what it held).
bool lf_writeLineList(const std::list<std::string>& lines, const std::filesystem::path& file);

// Copies of the lists, for the progress counters and tests.
struct LiveryReportSnapshot {
    std::vector<std::string> invalidAirlineCodes;
    std::vector<std::string> invalidModelCodes;
    std::vector<std::string> codeFixes;
    std::vector<std::string> invalidCfgFiles;
    std::vector<std::string> incompleteSections;
    std::vector<std::string> filesWithoutFltsim;
    std::vector<std::string> modelConversions;
};
LiveryReportSnapshot lf_liveryReportSnapshot();
