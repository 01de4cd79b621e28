// The regcode map: for every registration with an assigned livery, the title
// to use. Filled during the catalogue build from three sources in a fixed
// order, later ones overriding earlier ones: the liveries' own atc_id, the AIG
// list, the user's my_regcodes files.
#pragma once

#include "catalogue/regcode_sources.h"

#include <string>
#include <vector>

// The lines of output/info/OfflineRegcodes.txt of the last build.
extern std::vector<std::string> g_offlineReportLines;

// The atc_id registrations of the scan list; clashes go to
// output/errors/InlineRegcodes.txt.
void lf_processInlineRegcodes();
// The AIG list, then my_regcodes, merged; output/info/OfflineRegcodes.txt.
void lf_processRegcodeFiles();
void lf_processAigRegcodes();
void lf_processMyRegcodes();
void lf_mergeRegcodes(const std::vector<Regcode>& entries);
