// The 44 child controls of the main window: what each is, where it sits and
// which setting it shows. The Win32 side creates them from this table; the
// table itself is portable so that its layout is checked natively.
#pragma once

#include "core/settings.h"

#include <array>
#include <cstdint>
#include <string_view>

// A push button: a name (its label) and the control that shows it.
class PushButton : public Parameter, public ControlBinding {
public:
    PushButton(std::string_view label, std::uint16_t controlId, std::int32_t rowY)
        : Parameter(label), ControlBinding(controlId, rowY) {}
};

extern PushButton g_buttonFlushStatic;
extern PushButton g_buttonTblo;
extern PushButton g_buttonUnblock;
extern PushButton g_buttonCsOid;
extern PushButton g_buttonBlock;
extern PushButton g_buttonNow;
extern PushButton g_buttonReRead;

enum class ControlKind { check, button, edit, combo };

struct ControlSpec {
    ControlKind kind;
    int x;
    int width;
    // Combos only: the height of the opened list.
    int dropHeight;
    ControlBinding* binding;
    // The setting's key or the button's label.
    const Parameter* named;

    int id() const { return binding->controlId(); }
    // Where the control is created: check boxes 2 below their row, combos 5
    // above it (their text then lines up with the painted labels).
    int createY() const;
    int createHeight() const;
};

inline constexpr std::size_t kControlCount = 44;

// In creation order, which is also the tab order.
const std::array<ControlSpec, kControlCount>& gf_controlTable();
// The entry with that id, or null.
const ControlSpec* gf_findControl(int id);
// Every window handle of the controls forgotten (tests; a new window).
void gf_forgetControlWindows();
