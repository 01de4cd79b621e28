// Every user setting of the program: one global object per key, holding its
// default, its bounds and its current value, and for the settings the main
// window shows, the control that shows it.
//
// Settings are read from every thread of a run while the window's thread and
// the worker write them, so every value is safe to share: flags and numbers
// are atomics, texts sit behind a lock and are only ever copied out.
//
// The objects are built during static initialisation. Code in other files must
// not read them from its own static initialisers (the order of initialisation
// across files is unspecified); read them from functions.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class Parameter {
public:
    explicit Parameter(std::string_view key) : m_name(key) {}
    virtual ~Parameter() = default;
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    // The key: the setting's name in parameters.xml. Never changes.
    const std::string& name() const noexcept { return m_name; }

private:
    const std::string m_name;
};

// The child control of the main window that shows a setting. The window's
// thread stores the handle once it has created the control; until then the
// handle is null and requests to the control do nothing.
class ControlBinding {
public:
    ControlBinding(std::uint16_t controlId, std::int32_t rowY) : m_controlId(controlId), m_rowY(rowY) {}
    ControlBinding(const ControlBinding&) = delete;
    ControlBinding& operator=(const ControlBinding&) = delete;

    std::uint16_t controlId() const noexcept { return m_controlId; }
    // Pixel row of the control in the main window.
    std::int32_t rowY() const noexcept { return m_rowY; }

    void* window() const noexcept { return m_window.load(std::memory_order_acquire); }
    void setWindow(void* handle) noexcept { m_window.store(handle, std::memory_order_release); }
    // A further word, free for the main window's own use (for example the
    // previous window procedure of a subclassed edit control).
    std::uintptr_t extra() const noexcept { return m_extra.load(std::memory_order_acquire); }
    void setExtra(std::uintptr_t word) noexcept { m_extra.store(word, std::memory_order_release); }

protected:
    ~ControlBinding() = default;

private:
    const std::uint16_t m_controlId;
    const std::int32_t m_rowY;
    std::atomic<void*> m_window{nullptr};
    std::atomic<std::uintptr_t> m_extra{0};
};

// A flag. (Flags have no bounds: any stored value is taken as it is.)
class BoolParameter : public Parameter {
public:
    BoolParameter(std::string_view key, bool defaultValue)
        : Parameter(key), m_default(defaultValue), m_value(defaultValue) {}

    bool value() const noexcept { return m_value.load(std::memory_order_relaxed); }
    void setValue(bool v) noexcept { m_value.store(v, std::memory_order_relaxed); }
    bool defaultValue() const noexcept { return m_default; }
    void resetToDefault() noexcept { setValue(m_default); }

private:
    const bool m_default;
    std::atomic<bool> m_value;
};

// A number with its bounds; every numeric setting is a 32-bit int except the
// combo of the parked-traffic fit, which is a float.
template <typename T>
class BasicNumberParameter : public Parameter {
public:
    BasicNumberParameter(std::string_view key, T defaultValue, T minValue, T maxValue)
        : Parameter(key), m_default(defaultValue), m_min(minValue), m_max(maxValue), m_value(defaultValue) {}

    T value() const noexcept { return m_value.load(std::memory_order_relaxed); }
    void setValue(T v) noexcept { m_value.store(v, std::memory_order_relaxed); }
    T defaultValue() const noexcept { return m_default; }
    T minValue() const noexcept { return m_min; }
    T maxValue() const noexcept { return m_max; }
    // Below min gives min, above max gives max.
    T clamp(T v) const noexcept { return v < m_min ? m_min : (v > m_max ? m_max : v); }
    void resetToDefault() noexcept { setValue(m_default); }

private:
    const T m_default;
    const T m_min;
    const T m_max;
    std::atomic<T> m_value;
};

using NumberParameter = BasicNumberParameter<std::int32_t>;

// A text setting (UTF-8). The value is copied in and out under a lock, so a
// reader on another thread never sees a text the window is replacing.
class StringParameter : public Parameter {
public:
    StringParameter(std::string_view key, std::string_view defaultValue)
        : Parameter(key), m_initialDefault(defaultValue), m_default(defaultValue), m_value(defaultValue) {}

    // A copy of the current value.
    std::string get() const;
    // Stores the text and saves this setting to parameters.xml at once, also
    // when the value did not change.
    void set(std::string_view text);
    // Stores the text without saving.
    void setValue(std::string_view text);

    std::string defaultValue() const;
    // Only the version setting's default changes: a save with defaults makes
    // the program's own version its default, so that the version is written.
    void setDefault(std::string_view text);
    bool valueEqualsDefault() const;
    // Value and default back to the default the setting was built with.
    void resetToDefault();

private:
    const std::string m_initialDefault;
    mutable std::mutex m_mutex;
    std::string m_default;
    std::string m_value;
};

class CheckBoxParameter : public BoolParameter, public ControlBinding {
public:
    CheckBoxParameter(std::string_view key, bool defaultValue, std::uint16_t controlId, std::int32_t rowY)
        : BoolParameter(key, defaultValue), ControlBinding(controlId, rowY) {}
};

// A number chosen from a combo box: its bounds are the first and the last of
// its allowed values, which are ascending.
template <typename T>
class BasicComboParameter : public BasicNumberParameter<T>, public ControlBinding {
public:
    BasicComboParameter(std::string_view key, T defaultValue, const std::vector<T>& allowed, std::uint16_t controlId,
                        std::int32_t rowY)
        : BasicNumberParameter<T>(key, defaultValue, allowed.front(), allowed.back()),
          ControlBinding(controlId, rowY),
          m_allowed(allowed) {}

    // In the order the combo box shows them. Never changes.
    const std::vector<T>& allowedValues() const noexcept { return m_allowed; }

private:
    const std::vector<T> m_allowed;
};

using ComboParameter = BasicComboParameter<std::int32_t>;
using FloatComboParameter = BasicComboParameter<float>;

class EditParameter : public StringParameter, public ControlBinding {
public:
    EditParameter(std::string_view key, std::string_view defaultValue, std::uint16_t controlId, std::int32_t rowY)
        : StringParameter(key, defaultValue), ControlBinding(controlId, rowY) {}
};

// The control a setting is bound to, or null for a hidden setting.
const ControlBinding* gf_bindingOf(const Parameter& setting);

// ---- Flags ----
extern CheckBoxParameter SIM_TIME;
extern CheckBoxParameter KEEP_SIM_TIME_PAR;
extern CheckBoxParameter RT_PARKTRAFFIC_ONLY;
extern CheckBoxParameter COLLISION_USER_AIR;
extern CheckBoxParameter COLLISION_USER_GND;
extern CheckBoxParameter COLLISION_LIVE_PARKED_GND;
extern CheckBoxParameter ALWAYS_ON_TOP;
extern CheckBoxParameter SCAN_LIVERIES;
extern CheckBoxParameter LIG_PRIORITIZE;
extern CheckBoxParameter AIRBORNE_ONLY;
extern CheckBoxParameter SCAN_AIRPORTS;
extern CheckBoxParameter LIGHT_AIRCRAFT;
extern CheckBoxParameter HELICOPTERS;
extern CheckBoxParameter HIGH_PERF_AIRCRAFT;
extern CheckBoxParameter NAV_LIGHTS_WHILE_PARKED;
extern CheckBoxParameter AUTO_RANGE;
extern CheckBoxParameter STRAIGHT_PBS_ONLY;
extern CheckBoxParameter PARK_SOFT;
extern CheckBoxParameter WEEK;
extern CheckBoxParameter INITIAL_LOAD_ONLY;
extern CheckBoxParameter GUID_CHANGES;

// ---- Plain numbers (hidden) ----
extern NumberParameter CUSTOM_PARKING_PERCENTAGE;
// The main window's position; part of the window's state, kept here so that
// the settings file can reach it.
extern NumberParameter MAIN_WINDOW_X;
extern NumberParameter MAIN_WINDOW_Y;
// The key is "LAST_EPOCH_TIME:", colon included.
extern NumberParameter LAST_EPOCH_TIME;
extern NumberParameter HOLDING_THRESHOLD_METERS;
extern NumberParameter MAX_HOLDING_MINUTES;
extern NumberParameter MAX_FIT;
extern NumberParameter P3D_VERSION;

// ---- Combos ----
extern ComboParameter MATCHING_DEPTH;
extern ComboParameter RANGE;
extern ComboParameter AR_ABOVE_HEIGHT;
extern ComboParameter MAX_PARK_SEL;
extern ComboParameter MAX_LIVE_SEL;
extern ComboParameter AIRP_RANGE;
extern ComboParameter AIRP_HEIGHT;
extern ComboParameter TIME_SHIFT_DAYS;
extern ComboParameter TIME_SHIFT_HOURS;
extern ComboParameter TIME_SHIFT_MINS;
// Not kept in parameters.xml: the airport stand files store these two.
extern ComboParameter parking_percentage;
extern FloatComboParameter MAX_FIT_FL;

// ---- Texts (hidden, but for DESTINATION) ----
extern StringParameter PROGRAM_VERSION;
extern StringParameter SIM_INSTALL_PATH;
// lfolder0 .. lfolder9 and afolder0 .. afolder9, in index order.
extern std::array<StringParameter, 10> lfolder;
extern std::array<StringParameter, 10> afolder;
extern StringParameter AIG_VERSION;
extern StringParameter DBASE_VERSION;
extern StringParameter AIRPORTS_VERSION;
extern StringParameter LIV_SCAN_VERSION;
extern StringParameter ADDONS_SCAN_VERSION;
// Shown in an edit control, but loaded and saved among the texts.
extern EditParameter DESTINATION;

// ---- Edits ----
extern EditParameter BLOCK_CALLSIGN;
// Not kept in parameters.xml.
extern EditParameter ALL_INSTALL_PATH;
extern EditParameter CALLSIGN_2_OBJECTID;

// The registries: the stored settings by kind, in the order parameters.xml
// is written and read. AIRP_HEIGHT stands among the numbers and the combos.
extern const std::vector<BoolParameter*> g_flagParameters;
extern const std::vector<NumberParameter*> g_numberParameters;
extern const std::vector<ComboParameter*> g_comboParameters;
extern const std::vector<StringParameter*> g_textParameters;
extern const std::vector<EditParameter*> g_editParameters;

// Values derived from RANGE; the window's range selection sets them again.
extern std::atomic<double> g_rangeNm;
extern std::atomic<std::int32_t> g_trafficRadiusMeters;
// The keys of the settings that an airport stand file saves and overrides:
// RANGE, AUTO_RANGE, INITIAL_LOAD_ONLY, PARK_SOFT, parking_percentage,
// MAX_FIT, WEEK, RT_PARKTRAFFIC_ONLY, MAX_LIVE_SEL.
extern const std::array<std::string, 9> g_airportFileKeys;

// Every setting back to its default, the window handles forgotten and the
// derived values recomputed; tests start from here.
void gf_resetSettings();
