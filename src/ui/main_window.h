// The program's one window.
#pragma once

#include <string>

struct DisplaySnapshot;
struct WindowCommand;

#ifdef _WIN32
#include <windows.h>

extern HWND g_mainWindow;

// The messages of the run control: WM_APP+1 starts a run, WM_APP+2 saves the
// window position and quits.
inline constexpr UINT kWmStartRun = WM_APP + 1;
inline constexpr UINT kWmEndProgram = WM_APP + 2;
// A control request of another thread, done on the window's thread.
inline constexpr UINT kWmUiCall = WM_APP + 3;

// Creates, shows and paints the main window at the position kept in
// parameters.xml; false when it cannot be created.
bool initInstance(int, HINSTANCE instance, const wchar_t* title);
LRESULT CALLBACK lf_mainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

class UiSink;
// The sink that drives the real window and its controls.
UiSink& gf_win32UiSink();
// Runs (and frees) a request posted with kWmUiCall.
void gf_runPostedUiCall(LPARAM call);
#endif

// What the window asks of the run control. The application main installs
// these before the window is made; until then the window does nothing on
// these messages but keeps itself closable.
struct MainWindowActions {
    // WM_APP+1: starts the next run; false when the program is to end
    // instead (the user closed the window meanwhile).
    bool (*startRun)() = nullptr;
    // WM_APP+2: saves the window's position; gives the exit code to quit with.
    int (*endProgram)(int left, int top) = nullptr;
    // WM_CLOSE: asks the run to stop; the window stays until the run has
    // closed down.
    void (*userClose)() = nullptr;
    // The position to open the window at (from parameters.xml).
    void (*initialPosition)(int& x, int& y) = nullptr;
    // WM_COMMAND of a child control, read off the control; true when handled.
    bool (*command)(const WindowCommand& command) = nullptr;
    // Enter in an edit field: its id and its text (UTF-8).
    void (*editEnter)(int controlId, const std::string& text) = nullptr;
    // Fills the values of the simulator link and the feed into a paint's
    // snapshot.
    void (*fillLinkDisplay)(DisplaySnapshot& snapshot) = nullptr;
};
void gf_setMainWindowActions(const MainWindowActions& actions);

// Outer size and default position of the main window.
inline constexpr int kMainWindowWidth = 880;
inline constexpr int kMainWindowHeight = 516;
inline constexpr int kMainWindowDefaultX = 400;
inline constexpr int kMainWindowDefaultY = 20;
