// The program's one window.
#pragma once

#ifdef _WIN32
#include <windows.h>

extern HWND g_mainWindow;

// Creates, shows and paints the main window; false when it cannot be created.
bool initInstance(int, HINSTANCE instance, const wchar_t* title);
LRESULT CALLBACK lf_mainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
#endif

// Outer size and default position of the main window.
inline constexpr int kMainWindowWidth = 880;
inline constexpr int kMainWindowHeight = 516;
inline constexpr int kMainWindowDefaultX = 400;
inline constexpr int kMainWindowDefaultY = 20;
