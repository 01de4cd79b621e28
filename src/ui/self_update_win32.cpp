// The system's side of the administrator-rights question: can the user write
// in the install folder, and does the process run elevated.
#include "ui/self_update.h"

#include "core/paths.h"

#include <windows.h>

namespace fs = std::filesystem;

namespace {

// A file that only this call sees and that the system deletes when it is
// closed: the test leaves nothing behind, also when the program dies.
bool lf_canWriteIn(const fs::path& folder) {
    const fs::path probe = folder / ".write_test.tmp";
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const char byte = 0;
    DWORD written = 0;
    const bool ok = WriteFile(file, &byte, 1, &written, nullptr) && written == 1;
    CloseHandle(file);
    return ok;
}

bool lf_processElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size);
    CloseHandle(token);
    return ok && elevation.TokenIsElevated != 0;
}

}  // namespace

InstallerRightsProbe gf_systemInstallerRightsProbe() {
    InstallerRightsProbe probe;
    for (const KnownFolder folder : {KnownFolder::programFiles, KnownFolder::programFilesX86}) {
        if (auto path = gf_knownFolder(folder)) probe.protectedRoots.push_back(*path);
    }
    probe.canWriteIn = lf_canWriteIn;
    probe.processElevated = lf_processElevated;
    return probe;
}
