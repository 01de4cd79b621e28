// File and folder operations shared by several subsystems: emptying folders,
// removing a file with a warning, counting and listing folder entries, the
// slot wait of the scan tasks, and writing a file through a temporary one.
// Relative paths are relative to the working folder.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

// Removes every entry of the folder (files and empty subfolders); the first
// failing removal ends the walk and is logged. Never throws.
void gf_removeFilesFromDirectory(const std::filesystem::path& folder);
// The same for the folder "tblo", removing only entries with the extension
// ".XML" in any case.
void gf_removeXMLFilesFromDirectory();
// Entries of the folder, not recursive; 0 when it does not exist. Passes
// filesystem errors to the caller.
std::size_t gf_countDirectoryEntries(const std::filesystem::path& folder);
// Names without extension of the ".XML" files (any case) with four-byte names
// in "airports/my_thirdparty". Passes filesystem errors to the caller.
std::vector<std::string> gf_listXmlFiles();
// Removes the file when it exists; a failure is only logged.
void gf_removeFileWarn(const std::filesystem::path& path);

// The number of running scan tasks, shared by the livery scan and the airport
// scan. It reads like an atomic counter; every change wakes the threads that
// wait for a slot or for the tasks to end, so no wait has to poll it.
class ScanSlotCounter {
public:
    int load() const;
    void store(int value);
    // Return the value before the change.
    int fetch_add(int n);
    int fetch_sub(int n);
    ScanSlotCounter& operator=(int value) {
        store(value);
        return *this;
    }
    int operator++() { return fetch_add(1) + 1; }
    int operator--() { return fetch_sub(1) - 1; }
    // Waits until done(count) holds or stopped() does (asked at least every
    // few milliseconds, as stop flags change without a wake-up) or the
    // deadline passes; true when done held.
    bool waitUntil(const std::function<bool(int)>& done, const std::function<bool()>& stopped,
                   std::chrono::steady_clock::time_point deadline) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable int m_waiting = 0;
    int m_value = 0;
};

// Running scan tasks and their limit. A task is counted before it starts and
// uncounts itself when it ends, however it ends; the limit is set at the
// start of every run.
struct ScanTaskCount {
    ScanSlotCounter count;
    int limit = 1;
};
extern ScanTaskCount g_scanTaskCount;

// Start of a run: the limit becomes the number of hardware threads (at least
// 1, since the count of hardware threads may be unknown and given as 0, which
// would make every wait endless). The count stays: tasks of a scan stopped in
// the last run may still run, and they uncount themselves when they end.
void gf_resetScanSlots();
// Waits until fewer scan tasks run than the limit allows (true), or until the
// run stops (false), whichever comes first. The run stops when either stop
// flag of the run is raised or stopRequested (when given) says so: a task that
// hangs must not keep a closing run waiting for a slot for ever.
bool gf_waitForScanSlot(const std::function<bool()>& stopRequested = {});

// The temporary file a write to target goes through, beside the target.
std::filesystem::path gf_tempPathFor(const std::filesystem::path& target);
// Puts a finished temporary file in place of target in one step, replacing an
// existing target, after its bytes are flushed to disk (a power cut must not
// leave an empty target behind the rename). False when either step fails.
bool gf_replaceFile(const std::filesystem::path& from, const std::filesystem::path& target, std::error_code& ec);
// Writes target through its temporary file: write fills the stream, which is
// then flushed and closed; only a complete file replaces the target. False
// when creating, writing, flushing or replacing fails; the temporary file is
// removed then and the target keeps its old content (also when write throws,
// which passes on to the caller).
bool gf_writeFileReplacing(const std::filesystem::path& target, const std::function<void(std::ostream&)>& write);
// The same, with the reason of a failure in ec: what the system said when
// the temporary file was made, written (a full disk) or put in place (a
// target held open by another program, or a folder of that name).
bool gf_writeFileReplacing(const std::filesystem::path& target, const std::function<void(std::ostream&)>& write,
                           std::error_code& ec);
// A failed write of target in the user's words: "the disk is full", "it is a
// folder, not a file", "it is read-only", "it is in use by another program",
// else the system's message.
std::string gf_writeFailureText(const std::filesystem::path& target, const std::error_code& ec);
// True when the file carries the system's read-only mark (on Windows the
// read-only attribute, elsewhere no write permission for its owner).
bool gf_isReadOnlyFile(const std::filesystem::path& file);
// Copies a file through a temporary file beside the copy: the copy is whole
// or absent, never a cut one a later check would take for a kept copy.
bool gf_copyFileWhole(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& ec);
// Keeps a whole copy of a file that cannot be used under the first free name
// of its first generation: EHAM.xml gives EHAM0.xml, then EHAM0_2.xml, ...
// An earlier copy is never overwritten; one with the same bytes is already
// the copy and is given again. An empty path with ec set on failure.
std::filesystem::path gf_keepCopyOf(const std::filesystem::path& file, std::error_code& ec);

// Moves a file that cannot be read out of the program's way, beside it as
// "<name>.damaged" (or "<name>.damaged2", "<name>.damaged3", ... when an
// earlier one is there: none is ever overwritten). The damaged file is the
// user's evidence of what went wrong, so it is never deleted. Gives the new
// path, or an empty path with ec set when the file could not be moved.
std::filesystem::path gf_keepDamagedFile(const std::filesystem::path& file, std::error_code& ec);
