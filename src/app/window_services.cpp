#include "app/window_services.h"

#include "app/app_info.h"
#include "app/run_control.h"
#include "app/run_state.h"
#include "app/window_requests.h"

#include "core/file_meta.h"
#include "core/geometry.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/shell.h"
#include "core/steady_clock.h"
#include "core/text.h"
#include "ui/control_ids.h"
#include "core/status_line.h"
#include "core/ui_sink.h"
#include "ui/window_controls.h"
#include "ui/window_state.h"

#include <fmt/format.h>
#include <gsl/narrow>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

namespace {

using namespace std::chrono_literals;

constexpr int kMaxTimeShift_min = 20160;
constexpr int kStaticRenewal_min = 20;
constexpr int kNoTrafficLooks = 150;
constexpr auto kNoTrafficStep = 100ms;
constexpr std::uint32_t kMessageBoxExclamation = 0x30;

// "Now" may come back: set by the start of a run and by the parking, never
// cleared again.
std::atomic<bool> g_nowAllowed{false};
// The enabled states of the time-shift group when the parking controls were
// disabled, given back when they are enabled again.
std::array<std::atomic<bool>, 5> g_timeShiftEnabled{};
// The range chosen by hand, remembered while AUTO_RANGE is on.
std::atomic<int> g_manualRange_nm{-1};

const std::array<ControlBinding*, 5>& lf_timeShiftGroup() {
    static const std::array<ControlBinding*, 5> group{&SIM_TIME, &KEEP_SIM_TIME_PAR, &TIME_SHIFT_DAYS,
                                                      &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS};
    return group;
}

void lf_enable(const ControlBinding& b, bool on) { gf_uiSink().enableControl(b.controlId(), on); }

template <typename T>
int lf_indexOf(const std::vector<T>& values, T v) {
    const auto it = std::find(values.begin(), values.end(), v);
    return it == values.end() ? -1 : static_cast<int>(it - values.begin());
}

void lf_fillMaxFitCombo() {
    std::vector<std::string> items;
    for (float h : MAX_FIT_FL.allowedValues()) items.push_back(fmt::format("{:.1f}", h));
    gf_uiSink().fillCombo(MAX_FIT_FL.controlId(), items, lf_indexOf(MAX_FIT_FL.allowedValues(), MAX_FIT_FL.value()));
}

void lf_selectComboValue(ComboParameter& combo) {
    const int index = lf_indexOf(combo.allowedValues(), combo.value());
    if (index >= 0) gf_uiSink().selectCombo(combo.controlId(), index);
}

}  // namespace

// ---- Controls ----

void gf_enableControl(int controlId, bool enabled) { gf_uiSink().enableControl(controlId, enabled); }

void gf_fillComboFromInts(ComboParameter& combo) {
    std::vector<std::string> items;
    for (std::int32_t v : combo.allowedValues()) items.push_back(std::to_string(v));
    gf_uiSink().fillCombo(combo.controlId(), items, lf_indexOf(combo.allowedValues(), combo.value()));
}

void gf_fillComboBoxes() {
    // A run that ended during a rebuild left the mark set; this run's first
    // rebuild must remember the states of this run.
    g_mainWindowState.parkingBusy = false;
    for (CheckBoxParameter* box :
         {&ALWAYS_ON_TOP, &NAV_LIGHTS_WHILE_PARKED, &GUID_CHANGES, &SCAN_LIVERIES, &LIG_PRIORITIZE, &SCAN_AIRPORTS}) {
        lf_enable(*box, true);
    }
    lf_enable(g_buttonTblo, false);

    lf_enable(MATCHING_DEPTH, true);
    gf_fillComboFromInts(MATCHING_DEPTH);
    for (CheckBoxParameter* box : {&LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT}) lf_enable(*box, true);

    lf_enable(RANGE, !AUTO_RANGE.value());
    gf_fillComboFromInts(RANGE);
    lf_enable(AUTO_RANGE, true);
    lf_enable(AR_ABOVE_HEIGHT, AUTO_RANGE.value());
    gf_fillComboFromInts(AR_ABOVE_HEIGHT);

    for (CheckBoxParameter* box : {&AIRBORNE_ONLY, &COLLISION_USER_GND, &COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND})
        lf_enable(*box, true);
    lf_enable(g_buttonBlock, false);
    lf_enable(BLOCK_CALLSIGN, true);
    lf_enable(g_buttonUnblock, !BLOCK_CALLSIGN.get().empty());

    if (!INITIAL_LOAD_ONLY.value()) lf_enable(g_buttonNow, false);
    g_nowAllowed = true;

    lf_enable(MAX_PARK_SEL, true);
    gf_fillComboFromInts(MAX_PARK_SEL);
    lf_enable(MAX_LIVE_SEL, true);
    gf_fillComboFromInts(MAX_LIVE_SEL);
    lf_enable(STRAIGHT_PBS_ONLY, true);
    lf_enable(g_buttonCsOid, false);
    lf_enable(CALLSIGN_2_OBJECTID, false);
    // The sim text of the XML headers written from now on stays as it is.
    g_simVariant = 3;
    lf_enable(DESTINATION, false);

    lf_enable(AIRP_RANGE, true);
    gf_fillComboFromInts(AIRP_RANGE);
    lf_enable(AIRP_HEIGHT, true);
    gf_fillComboFromInts(AIRP_HEIGHT);
    lf_enable(g_buttonReRead, false);

    parking_percentage.setValue(30);
    gf_fillComboFromInts(parking_percentage);
    lf_enable(parking_percentage, false);

    lf_fillMaxFitCombo();
    gf_selectMaxFitCombo();
    lf_enable(MAX_FIT_FL, false);

    lf_enable(WEEK, true);
    lf_enable(PARK_SOFT, true);
    lf_enable(g_buttonFlushStatic, false);
    lf_enable(RT_PARKTRAFFIC_ONLY, true);
    gf_applyParkTrafficOnly();
    lf_enable(INITIAL_LOAD_ONLY, true);
}

void gf_enableTimeShiftControls(bool enable) {
    for (ControlBinding* b : lf_timeShiftGroup()) lf_enable(*b, enable);
    if (!enable) {
        g_mainWindowState.timeShiftDisplay = false;
        gf_uiSink().invalidateBand(UiBand::counters);
    }
}

void gf_disableParkingControls() {
    // Every rebuild disables more than once before it enables again: only the
    // first disable sees the states the user had, a later one would record
    // its own "disabled" and that would be given back.
    const bool alreadyBusy = g_mainWindowState.parkingBusy.exchange(true);
    for (ControlBinding* b : std::initializer_list<ControlBinding*>{&parking_percentage, &WEEK, &PARK_SOFT, &MAX_FIT_FL,
                                                                    &MAX_PARK_SEL, &MAX_LIVE_SEL, &g_buttonFlushStatic}) {
        lf_enable(*b, false);
    }
    if (!INITIAL_LOAD_ONLY.value()) lf_enable(g_buttonNow, false);
    g_nowAllowed = true;
    lf_enable(g_buttonReRead, false);
    const auto& group = lf_timeShiftGroup();
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (!alreadyBusy) g_timeShiftEnabled[i] = gf_uiSink().controlEnabled(group[i]->controlId());
        lf_enable(*group[i], false);
    }
    lf_enable(RT_PARKTRAFFIC_ONLY, false);
    gf_uiSink().invalidateBand(UiBand::controls);
}

void gf_enableParkingControls() {
    // A parking that ended before it began (its stand file could not be read
    // or downloaded) hands the controls back without having taken them: the
    // time-shift group then still is as the user has it, and the states kept
    // are not this rebuild's.
    const bool taken = g_mainWindowState.parkingBusy.exchange(false);
    g_mainWindowState.minutesToRenewal = kStaticRenewal_min - 1;
    gf_uiSink().invalidateBand(UiBand::controls);
    lf_enable(MAX_PARK_SEL, true);
    lf_enable(MAX_LIVE_SEL, true);
    const auto& group = lf_timeShiftGroup();
    if (taken) {
        for (std::size_t i = 0; i < group.size(); ++i) lf_enable(*group[i], g_timeShiftEnabled[i].load());
    }
    lf_enable(RT_PARKTRAFFIC_ONLY, true);
    if (!INITIAL_LOAD_ONLY.value()) lf_enable(g_buttonNow, true);
    g_nowAllowed = true;
    lf_enable(g_buttonFlushStatic, true);
    lf_enable(g_buttonReRead, true);
    gf_applyParkTrafficOnly();
    gf_uiSink().invalidateBand(UiBand::controls);
}

void gf_applyParkTrafficOnly() {
    const bool on = !RT_PARKTRAFFIC_ONLY.value();
    for (ControlBinding* b : std::initializer_list<ControlBinding*>{&PARK_SOFT, &WEEK, &parking_percentage, &MAX_FIT_FL})
        lf_enable(*b, on);
    gf_uiSink().invalidateBand(UiBand::controls);
}

bool gf_nowAllowed() { return g_nowAllowed.load(); }

void gf_updateNowButton() {
    // During a rebuild the rebuild's end decides.
    if (g_mainWindowState.parkingBusy.load()) return;
    lf_enable(g_buttonNow, !INITIAL_LOAD_ONLY.value() && g_nowAllowed.load());
}

void gf_fillCallsignCombo() {
    const std::vector<std::string> callsigns = g_mainWindowState.texts().callsigns;
    const std::string current = CALLSIGN_2_OBJECTID.get();
    // CB_SELECTSTRING from the start: the first entry that begins with the
    // current text; none for an empty text that is not listed.
    int selected = -1;
    for (std::size_t i = 0; i < callsigns.size(); ++i) {
        if (callsigns[i].compare(0, current.size(), current) == 0) {
            selected = static_cast<int>(i);
            break;
        }
    }
    gf_uiSink().fillCombo(CALLSIGN_2_OBJECTID.controlId(), callsigns, selected);
}

void gf_showCallsignList() {
    gf_fillCallsignCombo();
    const std::vector<std::string> callsigns = g_mainWindowState.texts().callsigns;
    const bool any = std::any_of(callsigns.begin(), callsigns.end(), [](const std::string& c) { return !c.empty(); });
    lf_enable(CALLSIGN_2_OBJECTID, any);
    lf_enable(g_buttonBlock, any);
}

void gf_resetLiveAcCombo() {
    g_mainWindowState.changeTexts([](WindowTexts& t) { t.callsigns.assign(1, std::string()); });
    CALLSIGN_2_OBJECTID.setValue("");
    gf_fillCallsignCombo();
    lf_enable(CALLSIGN_2_OBJECTID, false);
    lf_enable(g_buttonBlock, false);
}

// ---- Traffic range ----

std::int32_t gf_selectRangeCombo(int nm) {
    RANGE.setValue(RANGE.clamp(nm));
    lf_selectComboValue(RANGE);
    g_rangeNm = static_cast<double>(nm);
    const std::int32_t radius = nm * 1852 + 10000;
    g_trafficRadiusMeters = radius;
    return radius;
}

int gf_autoRangeNm(const AutoRangeInput& in) {
    if (in.onGround) return 10;
    if (in.alt_ft > in.arAboveHeight_ft) return 100;
    if (in.alt_ft > in.airpHeight_ft) return 40;
    const double d = in.parkAirportDist_nm.value_or(10000.0);
    if (d <= 7.0) return 10;
    if (d >= 37.0) return 40;
    const int n = gsl::narrow<int>(std::round(d));
    if (n >= 33) return 35;
    if (n >= 28) return 30;
    if (n >= 23) return 25;
    if (n >= 19) return 20;
    if (n >= 17) return 18;
    if (n >= 15) return 16;
    if (n >= 13) return 14;
    if (n >= 11) return 12;
    if (n >= 9) return 10;
    return 8;
}

void gf_autoRange(const RunPorts& ports) {
    const int old = RANGE.value();
    AutoRangeInput in;
    in.onGround = ports.sim.userOnGround();
    in.alt_ft = ports.sim.userAltitudeFt();
    in.arAboveHeight_ft = AR_ABOVE_HEIGHT.value();
    in.airpHeight_ft = AIRP_HEIGHT.value();
    if (const auto airport = ports.airports.firstParkAirport()) {
        const RunPosition user = ports.sim.userPosition();
        in.parkAirportDist_nm = gf_distanceNm({user.lat, user.lon}, {airport->lat, airport->lon});
    }
    gf_selectRangeCombo(gf_autoRangeNm(in));
    if (RANGE.value() != old) ports.feed.updateTrafficBox();
}

void gf_applyAutoRange() {
    if (g_manualRange_nm.load() < 0) g_manualRange_nm = RANGE.defaultValue();
    if (AUTO_RANGE.value()) {
        g_manualRange_nm = RANGE.value();
        // The rule reads the park-airport list: the worker chooses.
        g_autoRangeRequested = true;
    } else {
        gf_selectRangeCombo(g_manualRange_nm.load());
        gf_clearStatusLine();
    }
    lf_enable(RANGE, !AUTO_RANGE.value());
}

// ---- MAX_FIT ----

float gf_maxFitHours(int step) {
    if (step >= 44) return 24.0f;
    if (step >= 38) return 21.0f;
    if (step >= 32) return 18.0f;
    if (step >= 26) return 15.0f;
    if (step >= 22) return 12.0f;
    if (step >= 20) return 11.0f;
    if (step >= 18) return 10.0f;
    if (step >= 16) return 9.0f;
    if (step >= 14) return 8.0f;
    if (step >= 12) return 7.0f;
    if (step >= 10) return 6.0f;
    if (step >= 1) return 0.5f * static_cast<float>(step + 1);
    return 0.5f;
}

void gf_selectMaxFitCombo() {
    MAX_FIT_FL.setValue(gf_maxFitHours(MAX_FIT.value()));
    const int index = lf_indexOf(MAX_FIT_FL.allowedValues(), MAX_FIT_FL.value());
    if (index >= 0) gf_uiSink().selectCombo(MAX_FIT_FL.controlId(), index);
}

// ---- Time shift ----

TimeShiftSplit gf_splitTimeShift(int minutes) {
    const int days = TIME_SHIFT_DAYS.clamp(minutes / 1440);
    const int hours = TIME_SHIFT_HOURS.clamp((minutes - days * 1440) / 60);
    const int mins = TIME_SHIFT_MINS.clamp(minutes % 60);
    return {days, hours, mins};
}

void lf_setTimeShiftCombos(int minutes) {
    const TimeShiftSplit split = gf_splitTimeShift(minutes);
    const std::array<std::pair<ComboParameter*, int>, 3> parts{
        {{&TIME_SHIFT_DAYS, split.days}, {&TIME_SHIFT_HOURS, split.hours}, {&TIME_SHIFT_MINS, split.minutes}}};
    for (const auto& [combo, value] : parts) {
        combo->setValue(value);
        gf_saveNumberParameter(*combo);
        lf_selectComboValue(*combo);
    }
}

bool gf_setTimeShift(int minutes, bool quiet) {
    gf_setTimeShiftOn(minutes > 0);
    int capped = std::max(0, minutes);
    if (capped > kMaxTimeShift_min) {
        gf_logLine("Time shifting is limited to 2 weeks");
        capped = kMaxTimeShift_min;
    }
    lf_setTimeShiftCombos(capped);
    gf_runPorts().feed.applyTimeOffset(capped);
    if (capped != 0) {
        if (quiet) return false;
        gf_setStatusLine(fmt::format("Time shifted {} minute{}", capped, gf_pluralInt(capped)), true);
    } else {
        gf_setStatusLine("Time shift = 0", true);
        if (quiet) return false;
    }
    return true;
}

void lf_clearTrafficForTimeShift(const RunPorts& ports) {
    ports.engine.removeAllLiveAc();
    ports.parking.removeAllStaticAc();
    ports.window.announceStaticUpdate();
}

void gf_applySimTime(bool onWorker) {
    if (SIM_TIME.value()) {
        g_lastSimTimeSeen = 0;
    } else {
        lf_setTimeShiftCombos(0);
        if (gf_setTimeShift(0, false)) {
            if (onWorker) {
                lf_clearTrafficForTimeShift(gf_runPorts());
            } else {
                g_timeShiftTrafficRequested = true;
            }
        }
        g_lastSimTimeSeen = gf_runPorts().sim.simTime();
    }
    for (ComboParameter* combo : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS})
        lf_enable(*combo, !SIM_TIME.value());
}

// ---- Static parking ----

void gf_announceStaticUpdate() {
    gf_disableParkingControls();
    const std::uint32_t s = lf_secondCounter();
    const std::uint32_t wait = (s / 15 + 1) * 15 - s;
    gf_setStatusLine(fmt::format("{} will update static parking in {} second{} ...", kAppName, wait,
                                 gf_pluralSize(wait)),
                     false);
    g_staticUpdateRequested = true;
}

void gf_checkNoTraffic(const RunPorts& ports) {
    for (int i = 0; i < kNoTrafficLooks && ports.feed.receivedFlightCount() == 0; ++i) gf_sleepFor(kNoTrafficStep);
    if (ports.feed.receivedFlightCount() == 0) gf_logLine("No traffic in this region?");
}

void gf_showParkingPositionCount(const RunPorts& ports) {
    g_mainWindowState.staticExtra = ports.parking.waitingParkingPositions();
    gf_uiSink().invalidateBand(UiBand::lines);
}

void gf_updateLiveCount(const RunPorts& ports) {
    MainWindowState& w = g_mainWindowState;
    const int parked = ports.engine.countParkedLiveAc(true);
    const int live = ports.engine.countFlyingLiveAc();
    if (live != w.liveCount.load()) {
        w.liveCount = live;
        gf_uiSink().invalidateBand(UiBand::counters);
    }
    const int statics = ports.parking.showStaticParkStats(true);
    if (statics != w.staticCount.load() || parked != w.parkedLive.load()) {
        w.staticCount = statics;
        w.parkedLive = parked;
        gf_uiSink().invalidateBand(UiBand::lines);
    }
}

// ---- Destination ----

void gf_setDestination(const std::string& code, RunPosition position, bool onWorker) {
    DESTINATION.set(code);
    gf_uiSink().setText(DESTINATION.controlId(), code);
    gf_setStatusLine(fmt::format("New destination: {}", code), true);
    if (onWorker) {
        gf_runPorts().airports.addDestinationAirport(code, position);
    } else {
        {
            std::lock_guard lock(g_destinationRequestMutex);
            g_destinationRequest = DestinationRequest{code, position.lat, position.lon};
        }
        g_destinationRequested = true;
    }
    lf_enable(g_buttonReRead, false);
}

// ---- Folder openers ----

bool gf_openParametersFolder() {
    if (gf_openContainingFolder(gf_parametersPath())) return true;
    gf_uiSink().messageBox("Could not open folder with parameters.xml", "GLIM", kMessageBoxExclamation);
    return false;
}

bool gf_openManual() {
    if (gf_openContainingFolder(gf_workPaths().docs / "Manual.pdf")) return true;
    gf_uiSink().messageBox("Could not open local folder with Manual", "GLIM", kMessageBoxExclamation);
    return false;
}

// ---- Wiring ----

void lf_serveWindowRequests(const RunPorts& ports) {
    if (g_navLightsRequested.exchange(false)) ports.engine.setParkedNavLights(NAV_LIGHTS_WHILE_PARKED.value());
    if (g_maxLiveTrimRequested.exchange(false)) ports.engine.removeSurplusLiveAc(MAX_LIVE_SEL.value());
    if (g_timeShiftTrafficRequested.exchange(false)) lf_clearTrafficForTimeShift(ports);
    if (g_autoRangeRequested.exchange(false) && AUTO_RANGE.value()) ports.window.autoRange();
    if (g_destinationRequested.exchange(false)) {
        DestinationRequest request;
        {
            std::lock_guard lock(g_destinationRequestMutex);
            request = g_destinationRequest;
        }
        ports.airports.addDestinationAirport(request.code, RunPosition{request.lat, request.lon});
    }
}

void gf_showHandmadeCounters(std::size_t orbx, std::size_t thirdparty) {
    g_mainWindowState.simaddonCount = static_cast<std::int32_t>(std::min<std::size_t>(orbx, INT32_MAX));
    g_mainWindowState.thirdpartyCount = static_cast<std::int32_t>(std::min<std::size_t>(thirdparty, INT32_MAX));
    gf_uiSink().invalidateBand(UiBand::counters);
}

void gf_resetWindowTexts() {
    g_mainWindowState.resetForRun();
    gf_repaintAll();
}

void gf_resetWindowServices() {
    g_nowAllowed = false;
    for (auto& e : g_timeShiftEnabled) e = false;
    g_manualRange_nm = -1;
    g_mainWindowState.resetAll();
}
