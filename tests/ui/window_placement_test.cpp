// The main window opens where the user left it, unless no monitor would show
// its title bar.
#include "ui/window_placement.h"

#include <gtest/gtest.h>

TEST(WindowPlacement, SavedPositionAgainstTheMonitors) {
    const ScreenRect screen{0, 0, 1280, 1024};
    const ScreenRect work{0, 0, 1280, 984};  // less the task bar
    const ScreenRect leftOfIt{-1920, 0, 0, 1080};
    struct Row {
        const char* name;
        int x, y;
        std::vector<ScreenRect> monitors;
        int expectedX, expectedY;
    };
    const Row rows[] = {
        {"on the screen: stays", 400, 20, {screen}, 400, 20},
        {"partly beyond the right edge, title bar grippable: stays", 1200, 300, {screen}, 1200, 300},
        {"beyond the right edge of a smaller screen: fitted to its right", 1400, 300, {screen}, 400, 300},
        {"a sliver of the title bar only: moved", 1250, 300, {screen}, 400, 300},
        {"above the top: moved down, title bar on screen", 100, -400, {screen}, 100, 0},
        {"below the bottom: fitted above the task bar", 100, 2000, {screen}, 100, 984 - 516},
        {"on a second monitor that is plugged in: stays", -1000, 100, {screen, leftOfIt}, -1000, 100},
        {"on a second monitor that is gone: onto the primary", -1000, 100, {screen}, 0, 100},
        {"no monitor reported at all: onto the primary", 400, 20, {}, 400, 20},
    };
    for (const Row& row : rows) {
        int x = row.x;
        int y = row.y;
        gf_placeOnAMonitor(x, y, 880, 516, row.monitors, work);
        EXPECT_EQ(x, row.expectedX) << row.name;
        EXPECT_EQ(y, row.expectedY) << row.name;
    }
}
