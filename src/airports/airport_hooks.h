// What the airports side needs of the simulator link, the main window and
// the traffic engine, behind one set of replaceable calls. The defaults talk
// to the settings and the window's controls through the UI sink; the
// program's wiring installs the simulator link's answers, tests install
// their own.
#pragma once

#include "core/geometry.h"
#include "core/settings.h"

#include <functional>
#include <string>

struct AirportHooks {
    // ---- Simulator link ----
    // The user aircraft's state has arrived (position not 0/0).
    std::function<bool()> userStateKnown = [] { return false; };
    std::function<LatLon()> userPosition = [] { return LatLon{0.0, 0.0}; };
    std::function<bool()> userOnGround = [] { return false; };
    // The id of the stand the user aircraft stands on, kept by the link.
    std::function<std::string()> userStand = [] { return std::string(); };

    // ---- Main window ----
    // The parking controls are disabled while the static parking is rebuilt.
    std::function<bool()> parkingControlsBusy = [] { return false; };
    // RANGE set (clamped) and shown, the traffic radius derived from it.
    std::function<void(std::int32_t range)> selectRangeCombo;
    // MAX_FIT_FL derived from MAX_FIT and shown.
    std::function<void()> selectMaxFitCombo;
    std::function<void()> applyAutoRange = [] {};
    std::function<void()> applyParkTrafficOnly = [] {};
    // The Now button follows INITIAL_LOAD_ONLY.
    std::function<void()> updateNowButton = [] {};
    std::function<void()> enableFlushStatic = [] {};
    std::function<void()> repaint;

    // ---- Traffic engine ----
    // Removes the aircraft that stands on the reserved stand.
    std::function<void()> clearReservedStand = [] {};

    AirportHooks();
};

AirportHooks& gf_airportHooks();
void gf_setAirportHooks(AirportHooks hooks);

// A flag's check box and a combo setting's selection follow the setting.
void gf_showCheck(const CheckBoxParameter& setting);
void gf_showComboValue(const ComboParameter& setting);
void gf_enableSettingControl(const ControlBinding& binding, bool enabled);
