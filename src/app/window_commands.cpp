#include "app/window_commands.h"

#include "app/app_info.h"
#include "app/run_control.h"
#include "app/run_ports.h"
#include "app/window_requests.h"
#include "app/window_services.h"

#include "core/exit_reason.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/shell.h"
#include "ui/control_ids.h"
#include "core/status_line.h"
#include "core/ui_sink.h"
#include "ui/window_controls.h"
#include "ui/window_state.h"

#include <fmt/format.h>
#include <gsl/narrow>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr int kRescanDelay_s = 2;
constexpr int kStaticRenewal_min = 20;
constexpr std::uint32_t kMessageBoxExclamation = 0x30;

UiSink& ui() { return gf_uiSink(); }
void lf_enable(const ControlBinding& b, bool on) { ui().enableControl(b.controlId(), on); }
void lf_repaintControls() { ui().invalidateBand(UiBand::controls); }

// Byte-wise, through unsigned char: a byte above 127 (UTF-8) must not reach
// toupper as a negative value.
std::string lf_upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A status line when on, cleared when off.
void lf_statusWhen(bool condition, const std::string& text) {
    if (condition) {
        gf_setStatusLine(text, false);
    } else {
        gf_clearStatusLine();
    }
}

void lf_onScanBox(bool on, const char* later, const char* now, bool liveries) {
    if (!on) {
        gf_clearStatusLine();
    } else if (!gf_runPorts().sim.noSimSession()) {
        gf_setStatusLine(fmt::format(fmt::runtime(later), kAppName), false);
    } else {
        // The run's worker may be reading the catalogue right now: the next
        // run clears it before it builds it again.
        if (liveries) g_liveryCatalogueResetRequested = true;
        gf_setStatusLine(now, true);
        gf_setExitReason(ExitReason::newSettings, kRescanDelay_s);
    }
    lf_repaintControls();
}

void lf_checkAction(int id, bool on) {
    switch (id) {
    case kIdLigPrioritize:
        lf_statusWhen(on, "Liveries, for airl+model, in lower lfolders that are already available will be skipped");
        break;
    case kIdCollisionLiveParked:
        lf_statusWhen(!on, "Be aware, live aircraft may collide with (run through) static parked on the ground");
        break;
    case kIdCollisionUserGnd:
        lf_statusWhen(!on, "Be aware, user aircraft may collide with (run through) live aircraft and static parked "
                           "on the ground");
        break;
    case kIdCollisionUserAir:
        lf_statusWhen(!on, "Be aware, user aircraft may collide with (run through) live aircraft in the air");
        break;
    case kIdInitialLoadOnly:
        lf_statusWhen(on, fmt::format("Initial Load Only: static parked aircraft are generated once, no renewal "
                                      "every {} minutes",
                                      kStaticRenewal_min));
        lf_enable(g_buttonNow, !on && gf_nowAllowed());
        lf_repaintControls();
        break;
    case kIdParkTrafficOnly:
        gf_applyParkTrafficOnly();
        ui().invalidateBand(UiBand::lines);
        break;
    case kIdAlwaysOnTop:
        lf_statusWhen(on, fmt::format("{}'s window will remain visible", kAppName));
        gf_runPorts().window.setWindowTopmost(on);
        lf_repaintControls();
        break;
    case kIdGuidChanges:
        lf_statusWhen(!on, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!");
        lf_repaintControls();
        break;
    case kIdSimTime:
        gf_applySimTime(false);
        break;
    case kIdAutoRange:
        lf_enable(AR_ABOVE_HEIGHT, on);
        gf_applyAutoRange();
        break;
    case kIdScanLiveries:
        lf_onScanBox(on, "Your liveries will be scanned at the next start of {}", "Your liveries will be scanned",
                     true);
        break;
    case kIdScanAirports:
        lf_onScanBox(on, "Your airports will be scanned at the next start of {}", "Your airports will be scanned",
                     false);
        break;
    case kIdNavLights:
        g_navLightsRequested = true;
        break;
    case kIdAirborneOnly:
        lf_statusWhen(on, "Be aware, airborne live traffic only!  (greater than 300 ft above ground ...)");
        lf_repaintControls();
        break;
    default:
        break;
    }
}

void lf_onTimeShiftCombo() {
    const int minutes = (TIME_SHIFT_HOURS.value() + TIME_SHIFT_DAYS.value() * 24) * 60 + TIME_SHIFT_MINS.value();
    if (gf_setTimeShift(minutes, false)) g_timeShiftTrafficRequested = true;
}

void lf_onMaxFitCombo(int index) {
    const auto& values = MAX_FIT_FL.allowedValues();
    if (index < 0 || static_cast<std::size_t>(index) >= values.size()) return;
    const float hours = values[static_cast<std::size_t>(index)];
    MAX_FIT_FL.setValue(hours);
    const int step = gsl::narrow<int>(std::round(2.0 * hours)) - 1;
    MAX_FIT.setValue(MAX_FIT.clamp(step));
    gf_saveNumberParameter(MAX_FIT);
}

bool lf_onNumericCombo(ComboParameter& combo, int index) {
    const auto& values = combo.allowedValues();
    if (index < 0 || static_cast<std::size_t>(index) >= values.size()) return false;
    const int old = combo.value();
    combo.setValue(combo.clamp(values[static_cast<std::size_t>(index)]));
    const int id = combo.controlId();
    // The time shift is saved by the time-shift functions, the parking
    // percentage by the airport's stand file.
    const bool timeShift = id == kIdTimeShiftDays || id == kIdTimeShiftHours || id == kIdTimeShiftMins;
    if (!timeShift && id != kIdParkingPercentage) gf_saveNumberParameter(combo);
    switch (id) {
    case kIdMatchingDepth:
        if (combo.value() > old) g_rematchRequested = true;
        break;
    case kIdRange:
        gf_selectRangeCombo(combo.value());
        break;
    case kIdMaxLiveSel:
        g_maxLiveTrimRequested = true;
        break;
    case kIdTimeShiftDays:
    case kIdTimeShiftHours:
    case kIdTimeShiftMins:
        lf_onTimeShiftCombo();
        break;
    default:
        break;
    }
    return true;
}

void lf_showStored(const EditParameter& setting) { ui().setText(setting.controlId(), setting.get()); }

}  // namespace

bool lf_onButton(int id) {
    switch (id) {
    case kIdUnblock:
        if (BLOCK_CALLSIGN.get().empty()) {
            gf_setStatusLine("Nothing to block or unblock...", false);
        } else {
            lf_unblockCallsign();
        }
        lf_enable(g_buttonBlock, !CALLSIGN_2_OBJECTID.get().empty());
        return true;
    case kIdCsOid:
        g_callsignListRequested = true;
        lf_enable(g_buttonBlock, false);
        return true;
    case kIdBlock:
        lf_setBlockCallsign(CALLSIGN_2_OBJECTID.get());
        gf_resetLiveAcCombo();
        lf_enable(g_buttonBlock, false);
        return true;
    case kIdReRead:
        g_reReadRequested = true;
        lf_enable(g_buttonReRead, false);
        lf_enable(DESTINATION, false);
        return true;
    case kIdFlushStatic:
        gf_setStatusLine("All static parked aircraft will be removed ...", false);
        g_flushStaticRequested = true;
        lf_enable(g_buttonFlushStatic, false);
        return true;
    case kIdTblo:
        if (gf_openContainingFolder(gf_workPaths().tbloZip)) return true;
        ui().messageBox("Could not open File Explorer at tblo.zip.", "GLIM", kMessageBoxExclamation);
        return false;
    case kIdNow:
        if (!gf_runPorts().parking.standsLoaded()) return true;
        if (!INITIAL_LOAD_ONLY.value()) {
            gf_announceStaticUpdate();
            g_staticRenewalMinutes = kStaticRenewal_min;
            g_mainWindowState.minutesToRenewal = kStaticRenewal_min;
            lf_repaintControls();
        } else {
            gf_clearStatusLine();
        }
        return true;
    default:
        return false;
    }
}

bool lf_onCheckBox(int id, bool newValue) {
    const ControlSpec* spec = gf_findControl(id);
    if (!spec || spec->kind != ControlKind::check) return false;
    auto* box = static_cast<CheckBoxParameter*>(spec->binding);
    box->setValue(newValue);
    gf_saveBoolParameter(*box);
    lf_checkAction(id, newValue);
    return true;
}

bool lf_onComboBox(int id, int index, const std::string& text) {
    if (id == kIdCallsignList) {
        if (text != CALLSIGN_2_OBJECTID.get()) {
            CALLSIGN_2_OBJECTID.setValue(text);
            lf_repaintControls();
            // "Unblock" is enabled exactly while a callsign is blocked.
            lf_enable(g_buttonBlock, BLOCK_CALLSIGN.get().empty());
        }
        return true;
    }
    if (id == kIdMaxFit) {
        lf_onMaxFitCombo(index);
        return true;
    }
    const ControlSpec* spec = gf_findControl(id);
    if (!spec || spec->kind != ControlKind::combo) return false;
    return lf_onNumericCombo(*static_cast<ComboParameter*>(spec->binding), index);
}

bool lf_HandleWMCOMMAND(const WindowCommand& command) {
    try {
        switch (command.kind) {
        case WindowCommand::Kind::button:
            if (lf_onButton(command.id)) return true;
            break;
        case WindowCommand::Kind::check:
            if (lf_onCheckBox(command.id, command.checked)) return true;
            break;
        case WindowCommand::Kind::combo:
            if (lf_onComboBox(command.id, command.index, command.text)) return true;
            break;
        }
        lf_repaintControls();
        return false;
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{} exception {}", "lf_HandleWMCOMMAND", e.what()));
    } catch (...) {
        gf_logHighlight(fmt::format("{} exception {}", "lf_HandleWMCOMMAND", "Unknown exception"));
    }
    lf_repaintControls();
    return false;
}

// ---- Edit fields ----

void lf_onEditEnter(int id, const std::string& text) {
    try {
        gf_clearStatusLine();
        switch (id) {
        case kIdBlockCallsign:
            lf_onBlockCallsignEnter(text);
            break;
        case kIdDestination:
            lf_onDestinationEnter(text);
            break;
        case kIdInstallPath:
            lf_onInstallPathEnter(text);
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{} exception {}", "lf_editSubclassProc", e.what()));
    }
}

void lf_onInstallPathEnter(const std::string& text) {
    gf_emptyErrorText();
    gf_clearStatusLine();
    if (text.empty()) {
        if (!SIM_INSTALL_PATH.get().empty()) SIM_INSTALL_PATH.set("");
        return;
    }
    const fs::path path(std::u8string(text.begin(), text.end()));
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        gf_setStatusLine(fmt::format("This install path does not exist: {}", text), true);
        return;
    }
    if (ec) {
        gf_setStatusLine(fmt::format("Cannot access install path '{}': {}", text, ec.message()), true);
        return;
    }
    SIM_INSTALL_PATH.set(text);
    gf_setStatusLine(fmt::format("Install path exists, {} will restart", kAppName), true);
    gf_restartForNewInstallPath();
}

void lf_onBlockCallsignEnter(const std::string& typed) {
    gf_clearStatusLine();
    if (typed.empty()) {
        if (!BLOCK_CALLSIGN.get().empty()) lf_unblockCallsign();
        return;
    }
    if (typed.size() < 4 || typed.size() > 8) {
        gf_setStatusLine(fmt::format("callsign '{}' is not valid", typed), true);
        lf_showStored(BLOCK_CALLSIGN);
        return;
    }
    const std::string text = lf_upper(typed);
    if (text == BLOCK_CALLSIGN.get()) {
        gf_setStatusLine(fmt::format("callsign '{}' was already set ...", text), true);
        lf_showStored(BLOCK_CALLSIGN);
        return;
    }
    if (text == CALLSIGN_2_OBJECTID.get()) gf_resetLiveAcCombo();
    lf_setBlockCallsign(text);
}

void lf_unblockCallsign() {
    const std::string old = BLOCK_CALLSIGN.get();
    if (old.empty()) return;
    BLOCK_CALLSIGN.set("");
    ui().setText(BLOCK_CALLSIGN.controlId(), "");
    lf_enable(g_buttonUnblock, false);
    gf_setStatusLine(fmt::format("no more blocking of live aircraft '{}'", old), true);
    g_blockCallsignChanged = true;
}

void lf_setBlockCallsign(const std::string& text) {
    BLOCK_CALLSIGN.set(text);
    ui().setText(BLOCK_CALLSIGN.controlId(), text);
    lf_enable(g_buttonUnblock, true);
    g_blockCallsignChanged = true;
}

void lf_reportDestinationResult(int result, const std::string& text) {
    switch (result) {
    case 0:
        lf_enable(g_buttonReRead, true);
        gf_setStatusLine("destination set to empty", true);
        return;
    case 1:
        gf_setStatusLine(fmt::format("destination '{}' is not valid", text), true);
        break;
    case 2:
        gf_setStatusLine(fmt::format("destination '{}' was already set ...", text), true);
        break;
    case 3:
        gf_setStatusLine(fmt::format("destination '{}' is unknown ...", text), true);
        break;
    default:
        return;
    }
    lf_showStored(DESTINATION);
}

void lf_onDestinationEnter(const std::string& typed) {
    gf_clearStatusLine();
    if (typed.empty()) {
        DESTINATION.setValue("");
        lf_reportDestinationResult(0, "");
        return;
    }
    if (typed.size() != 4) {
        lf_reportDestinationResult(1, typed);
        return;
    }
    const std::string code = lf_upper(typed);
    if (code == DESTINATION.get()) {
        lf_reportDestinationResult(2, code);
        return;
    }
    if (const auto airport = gf_runPorts().airports.findAirport(code)) {
        gf_setDestination(code, *airport, false);
    } else {
        lf_reportDestinationResult(3, code);
    }
}
