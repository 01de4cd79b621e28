#include "airports/airport_hooks.h"

#include "core/ui_sink.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::int32_t kTrafficRadiusExtra_m = 10000;

AirportHooks& lf_hooks() {
    static AirportHooks hooks;
    return hooks;
}

void lf_selectMaxFit() {
    // MAX_FIT counts half-hour steps minus one; MAX_FIT_FL is hours.
    const float hours = static_cast<float>(MAX_FIT.value() + 1) / 2.0f;
    MAX_FIT_FL.setValue(MAX_FIT_FL.clamp(hours));
    const auto& allowed = MAX_FIT_FL.allowedValues();
    const auto it = std::find(allowed.begin(), allowed.end(), MAX_FIT_FL.value());
    if (it != allowed.end()) gf_uiSink().selectCombo(MAX_FIT_FL.controlId(), static_cast<int>(it - allowed.begin()));
}

}  // namespace

AirportHooks::AirportHooks()
    : selectRangeCombo([](std::int32_t range) {
          RANGE.setValue(RANGE.clamp(range));
          g_rangeNm.store(static_cast<double>(RANGE.value()));
          g_trafficRadiusMeters.store(RANGE.value() * 1852 + kTrafficRadiusExtra_m);
          gf_showComboValue(RANGE);
      }),
      selectMaxFitCombo(lf_selectMaxFit),
      repaint([] { gf_repaintAll(); }) {}

AirportHooks& gf_airportHooks() { return lf_hooks(); }

void gf_setAirportHooks(AirportHooks hooks) { lf_hooks() = std::move(hooks); }

void gf_showCheck(const CheckBoxParameter& setting) { gf_uiSink().setCheck(setting.controlId(), setting.value()); }

void gf_showComboValue(const ComboParameter& setting) {
    const auto& allowed = setting.allowedValues();
    const auto it = std::find(allowed.begin(), allowed.end(), setting.value());
    if (it != allowed.end()) gf_uiSink().selectCombo(setting.controlId(), static_cast<int>(it - allowed.begin()));
}

void gf_enableSettingControl(const ControlBinding& binding, bool enabled) {
    gf_uiSink().enableControl(binding.controlId(), enabled);
}
