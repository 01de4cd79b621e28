#include "app/application.h"

#include "app/command_line.h"
#include "app/run_control.h"
#include "app/run_ports.h"
#include "app/run_state.h"
#include "app/window_actions.h"
#include "app/window_commands.h"
#include "app/window_services.h"
#include "app/wiring/run_ports_real.h"
#include "app/wiring/window_services.h"
#include "app/worker_thread.h"
#include "core/exit_reason.h"
#include "core/log.h"
#include "core/paths.h"
#include "ui/main_window.h"
#include "core/ui_sink.h"
#include "ui/window_state.h"

#include <curl/curl.h>
#include <fmt/format.h>
#include <shellapi.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

std::optional<bool> lf_readProductionSwitch() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return std::nullopt;
    std::vector<std::u16string> args;
    for (int i = 1; i < count; ++i) {
        args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    }
    LocalFree(argv);
    return gf_parseProductionSwitches(args);
}

// The end of the process: the last worker and every thread a run started
// are joined before any global goes away. A loop that ended without the
// run's own WM_APP+2 first asks a run still in progress to close down.
void lf_joinRunThreads() {
    g_closeRequested = true;
    gf_setExitReason(ExitReason::userClosedSim, 0);
    // The run may still talk to its window while it closes down: the window
    // keeps answering until the run is over, but starts nothing new.
    while (gf_workerThreadRunning()) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == kWmStartRun || msg.message == kWmEndProgram || msg.message == WM_QUIT) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
    gf_joinWorkerThread();
    gf_stopRealRunThreads();
}

}  // namespace

int lf_runApplication(HINSTANCE instance) {
    // Once, before any thread exists: the downloads and both readers make
    // their first transfer handles on different threads, and curl's lazy
    // global set-up is not safe to race.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const std::optional<bool> production = lf_readProductionSwitch();
    static RealRunWindow window;
    gf_installRealRunPorts(window);
    gf_findInstalledSimulators();
    gf_setMainWindowActions(MainWindowActions{lf_onStartRun, lf_onEndProgram, lf_onUserClose,
                                              lf_initialWindowPosition, lf_HandleWMCOMMAND, lf_onEditEnter,
                                              lf_fillLinkDisplay});
    // Every status line and control request of every thread reaches the
    // window from here on; requests made before it exists do nothing.
    gf_setUiSink(&gf_win32UiSink());

    wchar_t title[100] = {};
    if (LoadStringW(instance, 101, title, 100) == 0) {
        gf_logLine("Failed to load application title");
        return 1;
    }

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = lf_mainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(100));
    wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(100));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = title;
    if (!RegisterClassExW(&wc)) {
        gf_logLine("Failed to register window class");
        return 1;
    }

    try {
        const std::filesystem::path folder = gf_appFolderPath();
        if (!std::filesystem::exists(folder)) std::filesystem::create_directories(folder);
    } catch (const std::filesystem::filesystem_error& e) {
        gf_logLine(fmt::format("Failed to create directory: {}", e.what()));
        return 1;
    }

    if (!initInstance(0, instance, title)) {
        gf_logHighlight("initInstance failed");
        return 1;
    }

    if (production.value_or(false)) g_productionMode = true;

    if (g_mainWindow) PostMessageW(g_mainWindow, WM_APP + 1, 0, 0);

    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    lf_joinRunThreads();
    return got == 0 ? static_cast<int>(msg.wParam) : 1;
}
