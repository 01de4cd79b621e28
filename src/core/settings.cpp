#include "core/settings.h"

#include "core/settings_file.h"

namespace {

std::vector<std::int32_t> lf_steps(std::int32_t from, std::int32_t to, std::int32_t step) {
    std::vector<std::int32_t> values;
    for (std::int32_t v = from; v <= to; v += step) values.push_back(v);
    return values;
}

// The value lists of the combos, built before the settings that copy them.
const std::vector<std::int32_t> g_rangeValues{2, 3, 4, 5, 6, 8, 10, 12, 14, 16, 18, 20, 25, 30, 35, 40, 50, 65, 80, 100};
const std::vector<std::int32_t> g_arAboveHeightValues = lf_steps(18000, 48000, 3000);
const std::vector<std::int32_t> g_maxSelValues{0, 10, 25, 50, 75, 100, 500};
const std::vector<std::int32_t> g_matchingDepthValues{1, 2, 3, 4};
const std::vector<std::int32_t> g_daysValues = lf_steps(0, 13, 1);
const std::vector<std::int32_t> g_hoursValues = lf_steps(0, 23, 1);
const std::vector<std::int32_t> g_minutesValues = lf_steps(0, 59, 1);
const std::vector<std::int32_t> g_airpRangeValues{5, 10, 15, 20, 25, 30};
const std::vector<std::int32_t> g_airpHeightValues{2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 36000, 48000};
const std::vector<std::int32_t> g_parkingPercentageValues = lf_steps(0, 100, 5);
const std::vector<float> g_maxFitValues{0.5f, 1.0f, 1.5f, 2.0f, 2.5f, 3.0f, 3.5f, 4.0f, 4.5f, 5.0f,
                                        6.0f, 7.0f, 8.0f, 9.0f, 10.0f, 12.0f, 15.0f, 18.0f, 21.0f, 24.0f};

}  // namespace

// ---- Flags ----
CheckBoxParameter SIM_TIME{"SIM_TIME", false, 32861, 259};
CheckBoxParameter KEEP_SIM_TIME_PAR{"KEEP_SIM_TIME_PAR", false, 32862, 287};
CheckBoxParameter RT_PARKTRAFFIC_ONLY{"RT_PARKTRAFFIC_ONLY", false, 32856, 371};
CheckBoxParameter COLLISION_USER_AIR{"COLLISION_USER_AIR", true, 32833, 287};
CheckBoxParameter COLLISION_USER_GND{"COLLISION_USER_GND", true, 32834, 287};
CheckBoxParameter COLLISION_LIVE_PARKED_GND{"COLLISION_LIVE_PARKED_GND", false, 32835, 287};
CheckBoxParameter ALWAYS_ON_TOP{"ALWAYS_ON_TOP", false, 32771, 147};
CheckBoxParameter SCAN_LIVERIES{"SCAN_LIVERIES", true, 32798, 147};
CheckBoxParameter LIG_PRIORITIZE{"LIG_PRIORITIZE", true, 32800, 147};
CheckBoxParameter AIRBORNE_ONLY{"AIRBORNE_ONLY", false, 32821, 231};
CheckBoxParameter SCAN_AIRPORTS{"SCAN_AIRPORTS", true, 32802, 175};
CheckBoxParameter LIGHT_AIRCRAFT{"LIGHT_AIRCRAFT", true, 32809, 203};
CheckBoxParameter HELICOPTERS{"HELICOPTERS", true, 32810, 203};
CheckBoxParameter HIGH_PERF_AIRCRAFT{"HIGH_PERF_AIRCRAFT", true, 32811, 203};
CheckBoxParameter NAV_LIGHTS_WHILE_PARKED{"NAV_LIGHTS_WHILE_PARKED", true, 32776, 175};
CheckBoxParameter AUTO_RANGE{"AUTO_RANGE", true, 32819, 231};
CheckBoxParameter STRAIGHT_PBS_ONLY{"STRAIGHT_PBS_ONLY", false, 32855, 315};
CheckBoxParameter PARK_SOFT{"PARK_SOFT", false, 32852, 371};
CheckBoxParameter WEEK{"WEEK", false, 32853, 371};
CheckBoxParameter INITIAL_LOAD_ONLY{"INITIAL_LOAD_ONLY", false, 32851, 371};
CheckBoxParameter GUID_CHANGES{"GUID_CHANGES", true, 32773, 203};

// ---- Plain numbers ----
NumberParameter CUSTOM_PARKING_PERCENTAGE{"CUSTOM_PARKING_PERCENTAGE", -1, -1, 100};
NumberParameter MAIN_WINDOW_X{"MAIN_WINDOW_X", 400, -30000, 30000};
NumberParameter MAIN_WINDOW_Y{"MAIN_WINDOW_Y", 20, -30000, 30000};
NumberParameter LAST_EPOCH_TIME{"LAST_EPOCH_TIME:", 0, 0, 2147483647};
NumberParameter HOLDING_THRESHOLD_METERS{"HOLDING_THRESHOLD_METERS", 250, 10, 4000};
NumberParameter MAX_HOLDING_MINUTES{"MAX_HOLDING_MINUTES", 20, 1, 60};
NumberParameter MAX_FIT{"MAX_FIT", 47, 0, 47};
NumberParameter P3D_VERSION{"P3D_VERSION", 5, 5, 6};

// ---- Combos ----
ComboParameter MATCHING_DEPTH{"MATCHING_DEPTH", 4, g_matchingDepthValues, 32808, 203};
ComboParameter RANGE{"RANGE", 40, g_rangeValues, 32818, 231};
ComboParameter AR_ABOVE_HEIGHT{"AR_ABOVE_HEIGHT", 48000, g_arAboveHeightValues, 32820, 231};
ComboParameter MAX_PARK_SEL{"MAX_PARK_SEL", 500, g_maxSelValues, 32848, 315};
ComboParameter MAX_LIVE_SEL{"MAX_LIVE_SEL", 500, g_maxSelValues, 32849, 315};
ComboParameter AIRP_RANGE{"AIRP_RANGE", 20, g_airpRangeValues, 32840, 343};
ComboParameter AIRP_HEIGHT{"AIRP_HEIGHT", 18000, g_airpHeightValues, 32841, 343};
ComboParameter TIME_SHIFT_DAYS{"TIME_SHIFT_DAYS", 0, g_daysValues, 32858, 231};
ComboParameter TIME_SHIFT_HOURS{"TIME_SHIFT_HOURS", 0, g_hoursValues, 32859, 259};
ComboParameter TIME_SHIFT_MINS{"TIME_SHIFT_MINS", 0, g_minutesValues, 32860, 287};
ComboParameter parking_percentage{"parking_percentage", 30, g_parkingPercentageValues, 32850, 371};
FloatComboParameter MAX_FIT_FL{"MAX_FIT_FL", 24.0f, g_maxFitValues, 32854, 371};

// ---- Texts ----
StringParameter PROGRAM_VERSION{"PROGRAM_VERSION", ""};
StringParameter SIM_INSTALL_PATH{"SIM_INSTALL_PATH", ""};
std::array<StringParameter, 10> lfolder{
    StringParameter{"lfolder0", ""}, StringParameter{"lfolder1", ""}, StringParameter{"lfolder2", ""},
    StringParameter{"lfolder3", ""}, StringParameter{"lfolder4", ""}, StringParameter{"lfolder5", ""},
    StringParameter{"lfolder6", ""}, StringParameter{"lfolder7", ""}, StringParameter{"lfolder8", ""},
    StringParameter{"lfolder9", ""}};
std::array<StringParameter, 10> afolder{
    StringParameter{"afolder0", ""}, StringParameter{"afolder1", ""}, StringParameter{"afolder2", ""},
    StringParameter{"afolder3", ""}, StringParameter{"afolder4", ""}, StringParameter{"afolder5", ""},
    StringParameter{"afolder6", ""}, StringParameter{"afolder7", ""}, StringParameter{"afolder8", ""},
    StringParameter{"afolder9", ""}};
StringParameter AIG_VERSION{"AIG_VERSION", ""};
StringParameter DBASE_VERSION{"DBASE_VERSION", ""};
StringParameter AIRPORTS_VERSION{"AIRPORTS_VERSION", ""};
StringParameter LIV_SCAN_VERSION{"LIV_SCAN_VERSION", ""};
StringParameter ADDONS_SCAN_VERSION{"ADDONS_SCAN_VERSION", ""};
EditParameter DESTINATION{"DESTINATION", "", 32839, 343};

// ---- Edits ----
EditParameter BLOCK_CALLSIGN{"BLOCK_CALLSIGN", "", 32828, 259};
EditParameter ALL_INSTALL_PATH{"ALL_INSTALL_PATH", "", 32788, 119};
EditParameter CALLSIGN_2_OBJECTID{"CALLSIGN_2_OBJECTID", "", 32831, 259};

// ---- Registries ----
const std::vector<BoolParameter*> g_flagParameters{
    &SIM_TIME,          &KEEP_SIM_TIME_PAR, &RT_PARKTRAFFIC_ONLY,     &COLLISION_USER_AIR, &COLLISION_USER_GND,
    &COLLISION_LIVE_PARKED_GND, &ALWAYS_ON_TOP, &SCAN_LIVERIES,       &LIG_PRIORITIZE,     &AIRBORNE_ONLY,
    &SCAN_AIRPORTS,     &LIGHT_AIRCRAFT,    &HELICOPTERS,             &HIGH_PERF_AIRCRAFT, &NAV_LIGHTS_WHILE_PARKED,
    &AUTO_RANGE,        &STRAIGHT_PBS_ONLY, &PARK_SOFT,               &WEEK,               &INITIAL_LOAD_ONLY,
    &GUID_CHANGES};

const std::vector<NumberParameter*> g_numberParameters{
    &CUSTOM_PARKING_PERCENTAGE, &MAIN_WINDOW_X,       &MAIN_WINDOW_Y, &AIRP_HEIGHT, &LAST_EPOCH_TIME,
    &HOLDING_THRESHOLD_METERS,  &MAX_HOLDING_MINUTES, &MAX_FIT,       &P3D_VERSION};

const std::vector<ComboParameter*> g_comboParameters{
    &MATCHING_DEPTH, &RANGE,       &AR_ABOVE_HEIGHT, &MAX_PARK_SEL,     &MAX_LIVE_SEL,
    &AIRP_RANGE,     &AIRP_HEIGHT, &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS};

namespace {

std::vector<StringParameter*> lf_buildTextRegistry() {
    std::vector<StringParameter*> texts{&PROGRAM_VERSION, &SIM_INSTALL_PATH};
    for (auto& p : lfolder) texts.push_back(&p);
    for (auto& p : afolder) texts.push_back(&p);
    for (StringParameter* p : {&AIG_VERSION, &DBASE_VERSION, &AIRPORTS_VERSION, &LIV_SCAN_VERSION,
                               &ADDONS_SCAN_VERSION, static_cast<StringParameter*>(&DESTINATION)}) {
        texts.push_back(p);
    }
    return texts;
}

}  // namespace

const std::vector<StringParameter*> g_textParameters = lf_buildTextRegistry();
const std::vector<EditParameter*> g_editParameters{&BLOCK_CALLSIGN};

std::atomic<double> g_rangeNm{static_cast<double>(RANGE.value())};
std::atomic<std::int32_t> g_trafficRadiusMeters{RANGE.value() * 1852};

const std::array<std::string, 9> g_airportFileKeys{
    RANGE.name(), AUTO_RANGE.name(), INITIAL_LOAD_ONLY.name(), PARK_SOFT.name(), parking_percentage.name(),
    MAX_FIT.name(), WEEK.name(), RT_PARKTRAFFIC_ONLY.name(), MAX_LIVE_SEL.name()};

// ---- StringParameter ----

std::string StringParameter::get() const {
    std::lock_guard lock(m_mutex);
    return m_value;
}

void StringParameter::set(std::string_view text) {
    setValue(text);
    gf_saveStringParameter(*this);
}

void StringParameter::setValue(std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_value.assign(text.data(), text.size());
}

std::string StringParameter::defaultValue() const {
    std::lock_guard lock(m_mutex);
    return m_default;
}

void StringParameter::setDefault(std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_default.assign(text.data(), text.size());
}

bool StringParameter::valueEqualsDefault() const {
    std::lock_guard lock(m_mutex);
    return m_value == m_default;
}

void StringParameter::resetToDefault() {
    std::lock_guard lock(m_mutex);
    m_default = m_initialDefault;
    m_value = m_initialDefault;
}

// ---- Helpers ----

const ControlBinding* gf_bindingOf(const Parameter& setting) {
    return dynamic_cast<const ControlBinding*>(&setting);
}

namespace {

void lf_forgetWindow(Parameter& setting) {
    if (auto* binding = dynamic_cast<ControlBinding*>(&setting)) {
        binding->setWindow(nullptr);
        binding->setExtra(0);
    }
}

}  // namespace

void gf_resetSettings() {
    for (BoolParameter* p : g_flagParameters) {
        p->resetToDefault();
        lf_forgetWindow(*p);
    }
    for (NumberParameter* p : g_numberParameters) {
        p->resetToDefault();
        lf_forgetWindow(*p);
    }
    for (ComboParameter* p : g_comboParameters) {
        p->resetToDefault();
        lf_forgetWindow(*p);
    }
    for (StringParameter* p : g_textParameters) {
        p->resetToDefault();
        lf_forgetWindow(*p);
    }
    for (EditParameter* p : g_editParameters) {
        p->resetToDefault();
        lf_forgetWindow(*p);
    }
    for (Parameter* p : std::initializer_list<Parameter*>{&parking_percentage, &MAX_FIT_FL, &ALL_INSTALL_PATH,
                                                         &CALLSIGN_2_OBJECTID}) {
        lf_forgetWindow(*p);
    }
    parking_percentage.resetToDefault();
    MAX_FIT_FL.resetToDefault();
    ALL_INSTALL_PATH.resetToDefault();
    CALLSIGN_2_OBJECTID.resetToDefault();
    g_rangeNm.store(static_cast<double>(RANGE.value()));
    g_trafficRadiusMeters.store(RANGE.value() * 1852);
}
