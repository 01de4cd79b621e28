#include "core/files.h"

#include <cerrno>
#include <cstdio>

bool gf_replaceFile(const std::filesystem::path& from, const std::filesystem::path& target, std::error_code& ec) {
    // rename() replaces the target atomically: a reader sees the old file or
    // the new one, never a part of either.
    if (std::rename(from.c_str(), target.c_str()) == 0) {
        ec.clear();
        return true;
    }
    ec.assign(errno, std::generic_category());
    return false;
}
