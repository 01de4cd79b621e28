// Saving what a visit learned into the park airport's learned or hand-made
// file that is already there. The file is the user's as much as the
// program's: it may hold comments, entries and values the program does not
// read, in the user's spelling and precision. So the close does not write
// the file anew; it writes into the file's own text exactly the elements and
// attributes that the visit learned or corrected, and every other byte stays
// where it was. The file on disk is the reference: when the user changed,
// replaced or deleted it during the visit, the learning goes into what is
// there now, or into a side file beside it, and a deleted file stays
// deleted.
#pragma once

#include "airports/stand_file.h"

#include <filesystem>
#include <optional>
#include <string>

struct LearnedSaveResult {
    StandFileWrite outcome = StandFileWrite::failed;
    std::string why;               // for refused and failed
    bool changedOnDisk = false;    // the user changed or replaced the file during the visit
    bool deletedOnDisk = false;    // the user deleted it during the visit: it stays deleted
    std::filesystem::path sideFile;  // where what could not go into the file was kept
};

// Saves the close's record of the park airport (what the learned writer
// would write) into path, against what was read from it. A file that was
// not there at the read nor at the close is written whole, as a new file.
LearnedSaveResult gf_saveIntoStandFile(const AirportFile& record, const std::filesystem::path& path,
                                       std::uint32_t simVariant, bool handmade, const StandFileReadRecord& read);

// Takes the file's bytes and time into read (nothing when it is not there):
// what a close later compares the file on disk with.
void gf_recordStandFileOnDisk(StandFileReadRecord& read);
