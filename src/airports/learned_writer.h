// Keeping what the traffic engine learned at the park airport: the stand
// list written as the airport's learned stand file (a hand-made airport's
// stand file whole).
#pragma once

#include <string>

// Saves the current stand list as the learned file of the current airport.
// Stands read from the stand file lose their options from it in the list
// itself (the caller clears the list afterwards). g_standFileUpdates is
// reset. A learned folder that cannot be made throws
// std::filesystem::filesystem_error and keeps the counter. The file written
// is the one read (g_standFileRead): what the visit learned is written into
// the file as it is on disk now, every other byte kept; nothing is written
// when nothing was learned, a file that did not read whole is left as it
// was, and a file the user deleted during the visit stays deleted (what
// could not go into the file is kept in a side file the log, the status and
// the notice line name). A file that is not there is written new.
void gf_saveLearned();

// Takes what the read of the park airport's stand file gave from its learned
// or hand-made file into g_standFileRead: the measure of every later write
// of that file. Called at the end of the read.
void gf_recordWhatWasRead();

// Leaving the park airport while its stands are loaded: the learned file is
// saved while the airport's own settings are still in effect (they are what
// it saves), then the settings from before the airport come back, and the
// handmade flag, the stands-loaded flag, the current airport and the stand
// list are cleared.
void gf_leaveParkAirport();

// The time of day "hh:mm:ss" of a gf_formatTime text; the whole text when it
// is too short to hold one ("Invalid time").
std::string lf_timeOfDay(const std::string& formatted);
