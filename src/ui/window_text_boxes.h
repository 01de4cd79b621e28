// Where the window writes the boxes of its painted texts for the end-to-end
// window test (GLIM_TEXT_BOXES). The release program reads the variable too,
// so it must not become a way to have the program write any file the user can
// write: like the service and site addresses of the tests (plain http to this
// computer only), it is held to the narrowest use the test needs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// True for a bare file name ending in ".txt" (letters, digits, '_', '-' and
// '.', at most 64 characters, not starting with '.'): no folder, drive or
// device part, so the file lands in the program's working folder beside
// Log.txt; and not the name of one of the program's own files.
bool gf_isTextBoxesFileName(std::string_view name);

// True for the name (without folder, any case) of a file the program writes
// or reads: Log.txt and its generations, parameters.xml, LiveriesScanned.xml,
// the reports, an airport's stand or link file (named by its code), ...
bool gf_isProgramFileName(std::string_view name);

// GLIM_TEXT_BOXES when set and such a name; any other value is logged (once
// per value, saying when it names one of the program's own files) and
// ignored.
std::optional<std::string> gf_textBoxesFileFromEnv();
