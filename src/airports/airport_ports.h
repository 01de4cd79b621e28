// What the airport side needs of the simulator link and the main window, one
// small interface per neighbour. The program's wiring installs the real ones
// once; tests install their own.
#pragma once

#include "core/geometry.h"
#include "core/settings.h"

#include <cstdint>
#include <string>

// The simulator link: the user aircraft.
class AirportUserLink {
public:
    virtual ~AirportUserLink() = default;
    // The user aircraft's state has arrived (position not 0/0).
    virtual bool userStateKnown() = 0;
    virtual LatLon userPosition() = 0;
    virtual bool userOnGround() = 0;
    // The id of the stand the user aircraft stands on, kept by the link.
    virtual std::string userStand() = 0;
};

// The main window.
class AirportWindow {
public:
    virtual ~AirportWindow() = default;
    // The parking controls are disabled while the static parking is rebuilt.
    virtual bool parkingControlsBusy() = 0;
    // A learned stand file's airport settings reach the controls as a click
    // on their boxes would.
    virtual void applyAutoRange() = 0;
    virtual void applyParkTrafficOnly() = 0;
    // The Now button follows INITIAL_LOAD_ONLY.
    virtual void updateNowButton() = 0;
    virtual void repaint() = 0;
};

// Installs both neighbours; not owned. The airport side stops the run when it is
// used before they are installed: a call that reached nobody would go
// unnoticed.
void gf_setAirportPorts(AirportUserLink* link, AirportWindow* window);
AirportUserLink& gf_airportUserLink();
AirportWindow& gf_airportWindow();

// RANGE set (clamped) and shown, the traffic radius derived from it.
void gf_showAirportRange(std::int32_t range);
// MAX_FIT_FL derived from MAX_FIT and shown.
void gf_showAirportMaxFit();

// A flag's check box and a combo setting's selection follow the setting.
void gf_showCheck(const CheckBoxParameter& setting);
void gf_showComboValue(const ComboParameter& setting);
void gf_enableSettingControl(const ControlBinding& binding, bool enabled);
