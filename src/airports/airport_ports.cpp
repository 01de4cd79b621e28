#include "airports/airport_ports.h"

#include "core/ui_sink.h"
#include "core/port_missing.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::int32_t kTrafficRadiusExtra_m = 10000;

AirportUserLink* g_userLink = nullptr;
AirportWindow* g_window = nullptr;

[[noreturn]] void lf_notInstalled(const char* port) { gf_portNotInstalled(std::string(port) + " of the airports"); }

}  // namespace

void gf_setAirportPorts(AirportUserLink* link, AirportWindow* window) {
    g_userLink = link;
    g_window = window;
}

AirportUserLink& gf_airportUserLink() {
    if (!g_userLink) lf_notInstalled("the simulator link's port");
    return *g_userLink;
}

AirportWindow& gf_airportWindow() {
    if (!g_window) lf_notInstalled("the window's port");
    return *g_window;
}

void gf_showAirportRange(std::int32_t range) {
    RANGE.setValue(RANGE.clamp(range));
    g_rangeNm.store(static_cast<double>(RANGE.value()));
    g_trafficRadiusMeters.store(RANGE.value() * 1852 + kTrafficRadiusExtra_m);
    gf_showComboValue(RANGE);
}

void gf_showAirportMaxFit() {
    // MAX_FIT counts half-hour steps minus one; MAX_FIT_FL is hours.
    const float hours = static_cast<float>(MAX_FIT.value() + 1) / 2.0f;
    MAX_FIT_FL.setValue(MAX_FIT_FL.clamp(hours));
    const auto& allowed = MAX_FIT_FL.allowedValues();
    const auto it = std::find(allowed.begin(), allowed.end(), MAX_FIT_FL.value());
    if (it != allowed.end()) gf_uiSink().selectCombo(MAX_FIT_FL.controlId(), static_cast<int>(it - allowed.begin()));
}

void gf_showCheck(const CheckBoxParameter& setting) { gf_uiSink().setCheck(setting.controlId(), setting.value()); }

void gf_showComboValue(const ComboParameter& setting) {
    const auto& allowed = setting.allowedValues();
    const auto it = std::find(allowed.begin(), allowed.end(), setting.value());
    if (it != allowed.end()) gf_uiSink().selectCombo(setting.controlId(), static_cast<int>(it - allowed.begin()));
}

void gf_enableSettingControl(const ControlBinding& binding, bool enabled) {
    gf_uiSink().enableControl(binding.controlId(), enabled);
}
