// Showing the user a file's folder in the system's file browser.
#pragma once

#include <filesystem>
#include <functional>

// Opens the folder that holds path; true when the shell took the request.
// False when path does not exist or has no parent folder.
bool gf_openContainingFolder(const std::filesystem::path& path);

// The shell's "open" verb on a folder; true when it succeeded. Replaceable
// for tests (nullptr restores the system's).
using ShellOpener = std::function<bool(const std::filesystem::path& folder)>;
void gf_setShellOpener(ShellOpener opener);

// Where a folder window opened right after another one goes, so that the
// user sees two windows and not one on top of the other: beside the first
// on the right when it fits in the work area, else on its left, else moved
// down and right by a title bar's height. Rectangles are left, top, right,
// bottom in screen pixels; gives the new window's left and top.
struct ShellRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
struct ShellPoint {
    int x = 0;
    int y = 0;
};
ShellPoint gf_besideWindow(const ShellRect& first, int width, int height, const ShellRect& workArea);
