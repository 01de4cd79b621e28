#include "core/files.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The file's bytes reach the disk before the rename makes them the target:
// otherwise a power cut soon after can leave the target renamed but empty.
bool lf_flushToDisk(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    errno = savedErrno;
    return ok;
}

}  // namespace

bool gf_replaceFile(const std::filesystem::path& from, const std::filesystem::path& target, std::error_code& ec) {
    // rename() replaces the target atomically: a reader sees the old file or
    // the new one, never a part of either.
    if (lf_flushToDisk(from) && std::rename(from.c_str(), target.c_str()) == 0) {
        ec.clear();
        return true;
    }
    ec.assign(errno, std::generic_category());
    return false;
}

bool gf_isReadOnlyFile(const std::filesystem::path& file) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(file, ec);
    return !ec && std::filesystem::is_regular_file(status) &&
           (status.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none;
}
