#include "app/application.h"
#include "app/run_control.h"
#include "app/run_ports.h"
#include "app/run_state.h"
#include "app/window_services.h"

#include "core/exit_reason.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/registry.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/text_encoding.h"
#include "core/user_error.h"
#include "core/status_line.h"
#include "core/ui_sink.h"

#include <fmt/format.h>

#include <array>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

std::atomic<bool> g_p3dV5Installed{false};
std::atomic<bool> g_p3dV6Installed{false};
std::atomic<bool> g_dataFilesRead{false};
std::atomic<bool> g_installPathError{false};

namespace {

constexpr const char* kNoInstallPathText = "No P3D install path detected. Type the full Install Path above, then press Enter";

fs::path lf_pathFromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

void lf_showInstallPath(const std::string& text) {
    ALL_INSTALL_PATH.setValue(text);
    gf_uiSink().setText(ALL_INSTALL_PATH.controlId(), text);
}

void lf_enableControl(const ControlBinding& binding) { gf_uiSink().enableControl(binding.controlId(), true); }

// Throws the error that asks the user for the install path; the path the
// user then types restarts the run.
[[noreturn]] void lf_throwInstallPathError(int code, const std::string& text) {
    gf_markInstallPathError();
    throw ozr::UserErrorException(code, text);
}

void lf_applySavedTimeShift(const RunPorts& ports) {
    if (SIM_TIME.value()) {
        ports.window.applySimTime();
    } else if (TIME_SHIFT_DAYS.value() != 0 || TIME_SHIFT_HOURS.value() != 0 || TIME_SHIFT_MINS.value() != 0) {
        const int minutes = (TIME_SHIFT_DAYS.value() * 24 + TIME_SHIFT_HOURS.value()) * 60 + TIME_SHIFT_MINS.value();
        // Quiet: at the start of a run there is no traffic to take away, and
        // a static update announced now would rebuild the parking for nothing.
        ports.window.setTimeShift(minutes, true);
    }
    lf_enableControl(SIM_TIME);
    lf_enableControl(KEEP_SIM_TIME_PAR);
    // With SIM_TIME on the simulator's clock sets the shift: a shift picked
    // by hand would be overwritten at the next second.
    for (const ControlBinding* binding :
         std::array<const ControlBinding*, 3>{&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
        gf_uiSink().enableControl(binding->controlId(), !SIM_TIME.value());
    }
}

bool lf_anyLiveryOrSceneryFolder() {
    for (const auto& folder : lfolder) {
        if (!folder.get().empty()) return true;
    }
    for (const auto& folder : afolder) {
        if (!folder.get().empty()) return true;
    }
    return false;
}

}  // namespace

void gf_findInstalledSimulators() {
    g_p3dV5Installed = gf_p3dInstalled(5);
    g_p3dV6Installed = gf_p3dInstalled(6);
}

void gf_markInstallPathError() { g_installPathError = true; }

void gf_restartForNewInstallPath() {
    // A run that already ended on the missing install path waits for the
    // user with SYSTEM ERROR; the path now typed turns that into the restart
    // the error message promised.
    if (g_installPathError.load() &&
        gf_replaceExitReason(ExitReason::systemError, ExitReason::newSettings, 3)) {
        return;
    }
    gf_setExitReason(ExitReason::newSettings, 3);
}

void lf_prepareAirportsFolder() {
    const WorkPaths& paths = gf_workPaths();
    for (const fs::path* folder :
         {&paths.output, &paths.info, &paths.errors, &paths.airports, &paths.learned, &paths.learnedStock,
          &paths.learnedSimaddon, &paths.learnedThirdparty, &paths.myOrbx, &paths.myThirdparty, &paths.myRegcodes}) {
        if (!fs::is_directory(*folder)) fs::create_directories(*folder);
    }
    for (const char* stale : {"AIG-regcodes0.xml", "AIG-regcodes00.xml"}) {
        const fs::path file = paths.input / stale;
        if (fs::exists(file)) fs::remove(file);
    }
}

void lf_checkSceneryFolders() {
    const fs::path scenery = lf_pathFromUtf8(SIM_INSTALL_PATH.get()) / "Scenery";
    gf_setStockSceneryPath(scenery);
    std::error_code ec;
    const bool exists = fs::exists(scenery, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) throw fs::filesystem_error("exists", scenery, ec);
    if (!exists) gf_setStatusLine(fmt::format("Stock airports path does not exist: {}", gf_pathToUtf8(scenery)), true);
}

void lf_detectSimulator() {
    const int v = (g_p3dV6Installed ? 6 : 0) + (g_p3dV5Installed ? 5 : 0);
    if (v > 6) {
        lf_throwInstallPathError(153, "More than one P3D version detected. Type the full Install Path to the wanted "
                                      "version above, then press Enter");
    }
    if (v == 0) {
        gf_setStatusLine("P3D not detected?", true);
        if (lf_anyLiveryOrSceneryFolder()) return;
        lf_showInstallPath("");
        lf_throwInstallPathError(151, kNoInstallPathText);
    }
    gf_logLine(fmt::format("P3Dv{} detected", v));
    const std::string path = wide_to_utf8(gf_p3dSetupPath(v));
    if (path.empty()) {
        lf_showInstallPath("");
        lf_throwInstallPathError(151, kNoInstallPathText);
    }
    lf_showInstallPath(path);
    SIM_INSTALL_PATH.set(path);
}

std::string gf_simVersionFromPath() {
    const std::string path = SIM_INSTALL_PATH.get();
    if (std::string named = gf_simVersionNamedInPath(path); !named.empty()) return named;
    if (P3D_VERSION.value() >= 5) return std::to_string(P3D_VERSION.value());
    lf_throwInstallPathError(77, fmt::format("P3D install path does not contain v5 or v6. Use hidden parameter {}, set "
                                             "it to 5 or 6.",
                                             P3D_VERSION.name()));
}

void lf_productionExit() {
    if (!g_productionMode) return;
    g_exitCode = 0;
    gf_setExitReason(ExitReason::userClosedSim, 0);
}

namespace {

// A first start whose download site cannot be reached (no internet, a
// firewall, the site down) has no data files: instead of stopping with the
// bare "... not available", the run says what to check, waits and asks the
// site again, as it waits for the simulator, until the file comes or the
// user closes the window. A file that is there but cannot be read is not
// the site's business: its error stands.
// False when the new try fetched a new program version (the run ends with
// NEW VERSION then).
bool lf_readWaitingForSite(const RunPorts& ports, const std::filesystem::path& file, const std::function<void()>& read) {
    for (bool first = true;; first = false) {
        try {
            read();
            return true;
        } catch (const std::runtime_error&) {
            std::error_code ec;
            if (std::filesystem::exists(file, ec) || gf_stopFlagSet()) throw;
            if (!ports.window.waitForDownloadSite(file, first)) throw;
            if (!ports.window.checkForUpdates()) return false;
        }
    }
}

}  // namespace

void lf_startupReading() {
    const RunPorts& ports = gf_runPorts();
    ports.window.checkParametersFile();
    gf_uiSink().invalidateBand(UiBand::counters);
    gf_logFlush();
    ports.window.fillComboBoxes();
    lf_prepareAirportsFolder();
    if (!g_restarting && !ports.window.checkForUpdates()) return;

    gf_fillComboFromInts(TIME_SHIFT_DAYS);
    gf_fillComboFromInts(TIME_SHIFT_HOURS);
    gf_fillComboFromInts(TIME_SHIFT_MINS);
    lf_applySavedTimeShift(ports);
    gf_refreshNowSlot();

    if (!g_dataFilesRead) {
        const bool read = lf_readWaitingForSite(ports, gf_workPaths().dbaseEnc, [&ports] {
            if (!ports.catalogue.readDbase()) throw std::runtime_error("reading data files failed!");
        });
        if (!read) return;
        g_dataFilesRead = true;
    }
    const bool read = lf_readWaitingForSite(ports, gf_workPaths().airportsEnc, [&ports] {
        if (!ports.airports.readAirports()) throw std::runtime_error("reading airports failed!");
    });
    if (!read) return;

    lf_showInstallPath(SIM_INSTALL_PATH.get());
    lf_enableControl(ALL_INSTALL_PATH);
    if (ALL_INSTALL_PATH.get().empty()) lf_detectSimulator();
    gf_uiSink().invalidateBand(UiBand::header);
    if (g_productionMode) lf_productionExit();
}
