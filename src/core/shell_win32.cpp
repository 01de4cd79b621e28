#include "core/shell.h"

#include <windows.h>
#include <shellapi.h>

bool lf_systemOpenFolder(const std::filesystem::path& folder) {
    // ShellExecuteW reports success with a value above 32.
    const HINSTANCE result = ShellExecuteW(nullptr, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}
