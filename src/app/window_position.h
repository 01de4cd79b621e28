// The main window's position in parameters.xml: read before the window is
// made, saved when the program ends.
#pragma once

#include <filesystem>

struct WindowPosition {
    int x = 0;
    int y = 0;
};

// Reads MAIN_WINDOW_X and MAIN_WINDOW_Y from the settings file on its own
// (the settings loader runs later, on the worker), clamped to their ranges;
// a missing key gives its default. A file that does not parse is kept once
// as its "0" generation and removed, and the defaults stay. Passes
// file-system errors on.
WindowPosition lf_readWindowPosition(const std::filesystem::path& parametersFile);
WindowPosition lf_readWindowPosition();

// A stored coordinate that lies at its limit (the window was closed while
// minimised) is replaced by the given one and saved; one inside the limits
// stays.
void lf_saveWindowPosition(int x, int y, const std::filesystem::path& parametersFile);
void lf_saveWindowPosition(int x, int y);

// At the end of the program: the window's left and top, clamped, are saved;
// a minimised window's position lies beyond the limits and gives way to the
// position held before.
void lf_storeWindowPositionAtExit(int left, int top, const std::filesystem::path& parametersFile);
void lf_storeWindowPositionAtExit(int left, int top);
