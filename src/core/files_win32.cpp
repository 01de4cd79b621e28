#include "core/files.h"

#include <windows.h>

namespace {

// The file's bytes reach the disk before the move makes them the target:
// otherwise a power cut soon after can leave the target moved but empty.
bool lf_flushToDisk(const std::filesystem::path& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool ok = FlushFileBuffers(file) != 0;
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return ok;
}

}  // namespace

bool gf_replaceFile(const std::filesystem::path& from, const std::filesystem::path& target, std::error_code& ec) {
    // A target the user set read-only is refused as Windows refuses it
    // (access denied); Wine would replace it, and the user's mark with it.
    if (gf_isReadOnlyFile(target)) {
        ec.assign(ERROR_ACCESS_DENIED, std::system_category());
        return false;
    }
    // A plain rename refuses an existing target on Windows; the write-through
    // flag returns only once the move is on disk.
    if (lf_flushToDisk(from) &&
        MoveFileExW(from.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ec.clear();
        return true;
    }
    ec.assign(static_cast<int>(GetLastError()), std::system_category());
    return false;
}

bool gf_isReadOnlyFile(const std::filesystem::path& file) {
    const DWORD attributes = GetFileAttributesW(file.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}
