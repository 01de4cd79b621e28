#include "core/files.h"

#include <windows.h>

bool gf_replaceFile(const std::filesystem::path& from, const std::filesystem::path& target, std::error_code& ec) {
    // A plain rename refuses an existing target on Windows; the write-through
    // flag returns only once the move is on disk.
    if (MoveFileExW(from.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ec.clear();
        return true;
    }
    ec.assign(static_cast<int>(GetLastError()), std::system_category());
    return false;
}
