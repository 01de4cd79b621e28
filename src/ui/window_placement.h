// Where the main window opens: its saved position, unless no monitor shows
// its title bar any more.
#pragma once

#include <vector>

struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The height of the strip at the window's top that must lie on a monitor:
// the title bar, by which the user drags the window back.
inline constexpr int kTitleBarStrip_px = 24;
// A title bar of which no monitor shows this much is as good as lost: too
// little to find and grab.
inline constexpr int kTitleBarGrab_px = 40;

// The window's top-left corner to open at. A saved position of whose title
// bar no monitor shows a grip (a second monitor unplugged, a screen made
// smaller, a window dragged off the edge) is moved into the primary
// monitor's work area, as near to the saved place as fits; one whose title
// bar a monitor shows stays where the user put it.
void gf_placeOnAMonitor(int& x, int& y, int width, int height, const std::vector<ScreenRect>& monitors,
                        const ScreenRect& primaryWorkArea);
