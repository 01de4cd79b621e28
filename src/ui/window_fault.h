// What the main window does when handling one of its messages threw: the
// program must neither end silently nor lose what the user set.
#pragma once

#include <string_view>

enum class WindowMessageKind {
    create,      // the window is being made
    startRun,    // a new run was to start
    endProgram,  // the run asked the program to end
    other,
};

struct WindowFaultAnswer {
    // The message loop ends with exitCode; otherwise the window keeps
    // running and the next message is handled as usual.
    bool quit = false;
    int exitCode = 0;
    // Before it quits, the window saves its position as at a normal end.
    bool savePosition = false;
    // The window procedure's result (-1 fails the window's creation).
    long result = 0;
};

// Logs the fault (highlighted, with the exception's text) and says what the
// window does next.
WindowFaultAnswer gf_windowFault(WindowMessageKind kind, std::string_view what);
