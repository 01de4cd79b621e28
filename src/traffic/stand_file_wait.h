// The park airport's stand file that cannot be had: a damaged local file, or
// a download that fails. Its airport is given up like any failed calculation,
// and the user is told once which file it is, what to do about it, and that
// the parked traffic waits for it. The airport is not picked again while the
// file would fail the same way: retrying at every park-airport check took the
// parking controls away for half of each minute and wrote the same message
// into Log.txt twice a minute.
#pragma once

#include <string>

// How long a failed download is left alone before the next try.
inline constexpr int kStandFileRetry_min = 5;

// The file of reference (local, or archived and downloaded) failed with the
// reader's error text; download is set when the download itself failed
// (which has logged its error). Logs the reader's error and shows (and logs)
// the message for the user.
void gf_noteStandFileFailure(const std::string& code, const std::string& reference, const std::string& error,
                             bool download);
// True while the airport's stand file would fail again as it did: the same
// reference, and a local file that nobody has saved or removed since, or a
// download less than kStandFileRetry_min minutes ago. The message stays on
// the status line (renewed, or back once another text has gone); nothing is
// logged. A file that changed takes the message with it.
bool gf_standFileStillFails(const std::string& code);
// A stand file read whole ends the waiting; so does the end of a run.
void gf_forgetStandFileFailure();

// The message the user sees for a failed stand file.
std::string gf_standFileWaitText(const std::string& code, const std::string& reference, const std::string& error,
                                 bool download);
