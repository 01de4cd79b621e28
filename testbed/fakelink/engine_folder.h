// A working folder for the Traffic engine run in-process: the program's
// folders, its log, a small Dbase and a set of installed liveries built into
// the catalogue the way a start-up builds them, and the flight-plan folder.
// The engine harness and the traffic benchmark both stand on it, so the two
// run the engine against the same catalogue.
#pragma once

#include <filesystem>

// Makes folder the current directory and the application-data root, opens
// its Log.txt, puts the settings at their defaults, builds the catalogue and
// gives the airport side and the static parking a window that shows nothing.
// False when the Dbase or the liveries file could not be read or written.
bool gf_openEngineFolder(const std::filesystem::path& folder);

// Closes the log, removes the flight-plan folder and the working folder, and
// returns to the directory `back`.
void gf_closeEngineFolder(const std::filesystem::path& folder, const std::filesystem::path& back);
