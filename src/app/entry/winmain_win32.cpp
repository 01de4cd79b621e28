// Process entry: one instance per logon session, then the log, then the
// application main.
#include "app/application.h"
#include "app/start_log.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Kept for the life of the process: the kernel drops it at exit.
    CreateMutexA(nullptr, FALSE, "Local\\$GLIM_P3D$");
    if (GetLastError() == ERROR_ALREADY_EXISTS) return -1;

    if (!lf_openLog()) {
        // Nothing can be reported in a log that cannot be written.
        MessageBoxW(nullptr, L"Failed to write file Log.txt", L"GLIM_P3D", MB_OK | MB_ICONERROR);
        return 2;
    }
    return lf_runApplication(instance);
}
