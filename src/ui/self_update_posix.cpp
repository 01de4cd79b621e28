// The native build's answers to the administrator-rights question: no folder
// is protected the Windows way; writing is tried, and root counts as
// elevated.
#include "ui/self_update.h"

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool lf_canWriteIn(const fs::path& folder) {
    const fs::path probe = folder / ".write_test.tmp";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const char byte = 0;
    const bool ok = ::write(fd, &byte, 1) == 1;
    ::close(fd);
    ::unlink(probe.c_str());
    return ok;
}

}  // namespace

InstallerRightsProbe gf_systemInstallerRightsProbe() {
    InstallerRightsProbe probe;
    probe.canWriteIn = lf_canWriteIn;
    probe.processElevated = [] { return ::geteuid() == 0; };
    return probe;
}
