// The application main: switches, window class, application folder, the
// window and the message loop.
#pragma once

#include <atomic>

#ifdef _WIN32
#include <windows.h>
int lf_runApplication(HINSTANCE instance);
#endif

// Production mode: the run ends after its start-up reading.
extern std::atomic<bool> g_productionMode;
