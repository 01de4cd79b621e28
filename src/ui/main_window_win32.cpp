#include "ui/main_window.h"

#include "core/log.h"

HWND g_mainWindow = nullptr;

bool initInstance(int, HINSTANCE instance, const wchar_t* title) {
    HWND hwnd = CreateWindowExW(0, title, title, WS_CAPTION | WS_SYSMENU, kMainWindowDefaultX, kMainWindowDefaultY,
                                kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, instance, nullptr);
    if (!hwnd) return false;
    g_mainWindow = hwnd;
    ShowWindow(hwnd, SW_SHOWNORMAL);
    return UpdateWindow(hwnd) != FALSE;
}

LRESULT CALLBACK lf_mainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_CLOSE:
        // Until runs exist, closing the window ends the message loop.
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}
