// The park airport's stand file that cannot be had: a damaged local file, or
// a download that fails. The airport gets no parking (its live traffic goes
// on), and the user is told once which file it is, what to do about it, and
// that the parked traffic waits for it. The file is not tried again while it
// would fail the same way: retrying at every park-airport check took the
// parking controls away for half of each minute and wrote the same message
// into Log.txt twice a minute.
#pragma once

#include <string>

// How long a failed download is left alone before the next try.
inline constexpr int kStandFileRetry_min = 5;

// Why the file cannot be had; each asks something else of the user.
enum class StandFileTrouble {
    unreadable,  // it came (or is in the user's folders) but cannot be read
    transfer,    // the download did not arrive: the connection
    notOnSite,   // the download site has no such file (HTTP 404)
};

// The file of reference (local, or archived and downloaded) failed with the
// reader's error text; a failed download has logged its error itself. Logs
// the reader's error and shows (and logs) the message for the user.
void gf_noteStandFileFailure(const std::string& code, const std::string& reference, const std::string& error,
                             StandFileTrouble trouble);
// True while a failure of the airport's stand file is held (without looking
// at the file again).
bool gf_standFileWaitHeld(const std::string& code);
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
                                 StandFileTrouble trouble);
