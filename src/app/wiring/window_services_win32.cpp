#include "app/wiring/window_services.h"

#include "ui/main_window.h"

#include <windows.h>

void lf_wireWindow(RunServices& services) {
    services.postToWindow = [](RunMessage message) {
        if (!g_mainWindow) return;
        PostMessageW(g_mainWindow, message == RunMessage::startRun ? kWmStartRun : kWmEndProgram, 0, 0);
    };
    services.setWindowTopmost = [](bool topmost) {
        if (!g_mainWindow) return;
        SetWindowPos(g_mainWindow, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    };
}
