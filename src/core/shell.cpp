#include "core/shell.h"

#include <algorithm>
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

ShellPoint gf_besideWindow(const ShellRect& first, int width, int height, const ShellRect& workArea) {
    constexpr int kCascade_px = 32;
    const int y = std::max(workArea.top, std::min(first.top, workArea.bottom - height));
    if (first.right + width <= workArea.right) return {first.right, y};
    if (first.left - width >= workArea.left) return {first.left - width, y};
    return {first.left + kCascade_px, first.top + kCascade_px};
}
