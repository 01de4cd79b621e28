#include "ui/window_controls.h"

#include "ui/control_ids.h"

PushButton g_buttonFlushStatic{"Flush static", kIdFlushStatic, 369};
PushButton g_buttonTblo{"tblo", kIdTblo, 175};
PushButton g_buttonUnblock{"Unblock", kIdUnblock, 257};
PushButton g_buttonCsOid{"cs->oid:", kIdCsOid, 257};
PushButton g_buttonBlock{"Block", kIdBlock, 257};
PushButton g_buttonNow{"Now", kIdNow, 313};
PushButton g_buttonReRead{"Re-read", kIdReRead, 341};

namespace {

constexpr int kCheckSize = 12;
constexpr int kButtonHeight = 20;
constexpr int kEditHeight = 16;

ControlSpec check(CheckBoxParameter& s, int x) { return {ControlKind::check, x, kCheckSize, 0, &s, &s}; }
ControlSpec button(PushButton& b, int x, int width) { return {ControlKind::button, x, width, 0, &b, &b}; }
ControlSpec edit(EditParameter& s, int x, int width) { return {ControlKind::edit, x, width, 0, &s, &s}; }
template <typename T>
ControlSpec combo(BasicComboParameter<T>& s, int x, int width, int drop) {
    return {ControlKind::combo, x, width, drop, &s, &s};
}
ControlSpec callsignCombo() {
    return {ControlKind::combo, 375, 100, 300, &CALLSIGN_2_OBJECTID, &CALLSIGN_2_OBJECTID};
}

// Built on first use: the settings are globals of another file, whose
// initialisation order against this one is unspecified.
std::array<ControlSpec, kControlCount> lf_buildTable() {
    return {
        edit(ALL_INSTALL_PATH, 111, 1200),
        check(SCAN_LIVERIES, 5),
        check(LIG_PRIORITIZE, 536),
        check(ALWAYS_ON_TOP, 748),
        check(SCAN_AIRPORTS, 5),
        button(g_buttonTblo, 217, 60),
        check(NAV_LIGHTS_WHILE_PARKED, 748),
        combo(MATCHING_DEPTH, 217, 40, 120),
        check(LIGHT_AIRCRAFT, 323),
        check(HELICOPTERS, 430),
        check(HIGH_PERF_AIRCRAFT, 536),
        check(GUID_CHANGES, 748),
        combo(RANGE, 217, 50, 200),
        check(AUTO_RANGE, 323),
        combo(AR_ABOVE_HEIGHT, 455, 70, 230),
        check(AIRBORNE_ONLY, 572),
        combo(TIME_SHIFT_DAYS, 748, 45, 200),
        check(COLLISION_USER_GND, 217),
        check(COLLISION_USER_AIR, 323),
        check(COLLISION_LIVE_PARKED_GND, 430),
        check(SIM_TIME, 652),
        combo(TIME_SHIFT_HOURS, 748, 45, 200),
        edit(BLOCK_CALLSIGN, 107, 100),
        button(g_buttonUnblock, 223, 60),
        button(g_buttonCsOid, 305, 60),
        callsignCombo(),
        button(g_buttonBlock, 576, 60),
        check(KEEP_SIM_TIME_PAR, 652),
        combo(TIME_SHIFT_MINS, 748, 45, 300),
        button(g_buttonNow, 111, 45),
        combo(MAX_PARK_SEL, 323, 55, 144),
        combo(MAX_LIVE_SEL, 536, 55, 144),
        edit(DESTINATION, 217, 50),
        combo(AIRP_RANGE, 353, 45, 144),
        combo(AIRP_HEIGHT, 566, 70, 230),
        check(STRAIGHT_PBS_ONLY, 652),
        check(INITIAL_LOAD_ONLY, 5),
        check(WEEK, 71),
        check(PARK_SOFT, 151),
        combo(parking_percentage, 323, 50, 200),
        combo(MAX_FIT_FL, 566, 60, 300),
        check(RT_PARKTRAFFIC_ONLY, 667),
        button(g_buttonReRead, 758, 90),
        button(g_buttonFlushStatic, 758, 90),
    };
}

}  // namespace

int ControlSpec::createY() const {
    const int row = binding->rowY();
    switch (kind) {
    case ControlKind::check:
        return row + 2;
    case ControlKind::combo:
        return row - 5;
    default:
        return row;
    }
}

int ControlSpec::createHeight() const {
    switch (kind) {
    case ControlKind::check:
        return kCheckSize;
    case ControlKind::button:
        return kButtonHeight;
    case ControlKind::edit:
        return kEditHeight;
    case ControlKind::combo:
        return dropHeight;
    }
    return 0;
}

const std::array<ControlSpec, kControlCount>& gf_controlTable() {
    static const std::array<ControlSpec, kControlCount> table = lf_buildTable();
    return table;
}

const ControlSpec* gf_findControl(int id) {
    for (const ControlSpec& spec : gf_controlTable()) {
        if (spec.id() == id) return &spec;
    }
    return nullptr;
}

void gf_forgetControlWindows() {
    for (const ControlSpec& spec : gf_controlTable()) {
        spec.binding->setWindow(nullptr);
        spec.binding->setExtra(0);
    }
}
