#include "core/shell.h"

#include <mutex>
#include <system_error>

bool lf_systemOpenFolder(const std::filesystem::path& folder);

namespace {

std::mutex g_openerMutex;
ShellOpener g_opener;

}  // namespace

void gf_setShellOpener(ShellOpener opener) {
    std::lock_guard lock(g_openerMutex);
    g_opener = std::move(opener);
}

bool gf_openContainingFolder(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) || ec) return false;
    const std::filesystem::path parent = path.parent_path();
    if (parent.empty()) return false;
    ShellOpener opener;
    {
        std::lock_guard lock(g_openerMutex);
        opener = g_opener;
    }
    return opener ? opener(parent) : lf_systemOpenFolder(parent);
}
