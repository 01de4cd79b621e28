// Stand-ins for the Windows known folders in the native build, which has no
// such folders: the user's configuration folder plays roaming AppData, and
// Documents is the home folder's. The others do not exist here.
#include "core/paths.h"

#include <cstdlib>

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> lf_env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return fs::path(value);
}

}  // namespace

std::optional<fs::path> gf_knownFolder(KnownFolder folder) {
    switch (folder) {
    case KnownFolder::roamingAppData:
        if (auto over = lf_env("GLIM_APPDATA")) return over;
        if (auto config = lf_env("XDG_CONFIG_HOME")) return config;
        if (auto home = lf_env("HOME")) return *home / ".config";
        return std::nullopt;
    case KnownFolder::documents:
        if (auto home = lf_env("HOME")) return *home / "Documents";
        return std::nullopt;
    case KnownFolder::publicDocuments:
    case KnownFolder::programFiles:
    case KnownFolder::programFilesX86:
        return std::nullopt;
    }
    return std::nullopt;
}
