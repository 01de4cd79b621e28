#include "core/shell.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

namespace {

// The folder window this process opened last: the next one goes beside it.
HWND g_lastFolderWindow = nullptr;

constexpr int kNewWindowLooks = 30;
constexpr DWORD kNewWindowLookStep_ms = 100;

BOOL CALLBACK lf_addVisible(HWND hwnd, LPARAM list) {
    if (IsWindowVisible(hwnd) && !GetWindow(hwnd, GW_OWNER))
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> lf_visibleWindows() {
    std::vector<HWND> windows;
    EnumWindows(lf_addVisible, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// The file browser's window for the request: the first visible top-level
// window of another process that was not there before; null when none
// comes within three seconds (the browser showed a window it had open).
HWND lf_newFolderWindow(const std::vector<HWND>& before) {
    for (int look = 0; look < kNewWindowLooks; ++look) {
        for (HWND hwnd : lf_visibleWindows()) {
            DWORD process = 0;
            GetWindowThreadProcessId(hwnd, &process);
            if (process != GetCurrentProcessId() && std::find(before.begin(), before.end(), hwnd) == before.end())
                return hwnd;
        }
        Sleep(kNewWindowLookStep_ms);
    }
    return nullptr;
}

// Two folders opened one after the other (the manual's and the settings')
// would open at the same place, the second hiding the first: the user is
// told two windows opened and sees one.
void lf_placeBesideTheLast(HWND opened) {
    RECT first{};
    RECT own{};
    if (g_lastFolderWindow && IsWindow(g_lastFolderWindow) && GetWindowRect(g_lastFolderWindow, &first) &&
        GetWindowRect(opened, &own)) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (GetMonitorInfoW(MonitorFromWindow(g_lastFolderWindow, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
            const RECT& work = monitor.rcWork;
            const ShellPoint at = gf_besideWindow({first.left, first.top, first.right, first.bottom},
                                                  own.right - own.left, own.bottom - own.top,
                                                  {work.left, work.top, work.right, work.bottom});
            SetWindowPos(opened, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    g_lastFolderWindow = opened;
}

}  // namespace

bool lf_systemOpenFolder(const std::filesystem::path& folder) {
    const std::vector<HWND> before = lf_visibleWindows();
    // ShellExecuteW reports success with a value above 32.
    const HINSTANCE result = ShellExecuteW(nullptr, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= 32) return false;
    if (HWND opened = lf_newFolderWindow(before)) lf_placeBesideTheLast(opened);
    return true;
}
