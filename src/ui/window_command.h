// One command of a child control as the window read it off the control.
#pragma once

#include <string>

struct WindowCommand {
    enum class Kind { button, check, combo };
    Kind kind = Kind::button;
    int id = 0;
    // check: the box's new state (already shown).
    bool checked = false;
    // combo: the chosen entry and its text.
    int index = -1;
    std::string text;
};
