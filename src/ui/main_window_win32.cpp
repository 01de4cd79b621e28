#include "ui/main_window.h"

#include "core/log.h"

#include <fmt/format.h>

#include <exception>

HWND g_mainWindow = nullptr;

namespace {

MainWindowActions g_actions;

void lf_endProgram(HWND hwnd) {
    int exitCode = 0;
    if (g_actions.endProgram) {
        RECT rect{};
        GetWindowRect(hwnd, &rect);
        exitCode = g_actions.endProgram(rect.left, rect.top);
    }
    PostQuitMessage(exitCode);
}

void lf_startRun(HWND hwnd) {
    if (g_actions.startRun && g_actions.startRun()) return;
    lf_endProgram(hwnd);
}

}  // namespace

void gf_setMainWindowActions(const MainWindowActions& actions) { g_actions = actions; }

bool initInstance(int, HINSTANCE instance, const wchar_t* title) {
    int x = kMainWindowDefaultX;
    int y = kMainWindowDefaultY;
    if (g_actions.initialPosition) g_actions.initialPosition(x, y);
    HWND hwnd = CreateWindowExW(0, title, title, WS_CAPTION | WS_SYSMENU, x, y, kMainWindowWidth, kMainWindowHeight,
                                nullptr, nullptr, instance, nullptr);
    if (!hwnd) return false;
    g_mainWindow = hwnd;
    ShowWindow(hwnd, SW_SHOW);
    return UpdateWindow(hwnd) != FALSE;
}

LRESULT CALLBACK lf_mainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // No exception may cross the window system: one that gets here ends the
    // program in order instead.
    try {
        switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_CLOSE:
            // The window stays: the run closes down and ends the program
            // with WM_APP+2. Without a run control to ask, it quits at once.
            if (g_actions.userClose) {
                g_actions.userClose();
            } else {
                PostQuitMessage(0);
            }
            return 0;
        case kWmStartRun:
            lf_startRun(hwnd);
            return 0;
        case kWmEndProgram:
            lf_endProgram(hwnd);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: {}", "lf_mainWndProc", e.what()));
    } catch (...) {
        gf_logHighlight(fmt::format("Exception in {}", "lf_mainWndProc"));
    }
    PostQuitMessage(0);
    return 0;
}
