#include "app/wiring/window_services.h"

#include "app/window_services.h"
#include "core/settings_upgrade.h"
#include "ui/self_update.h"
#include "ui/window_state.h"

void RealRunWindow::checkParametersFile() { lf_checkParametersFile(); }

bool RealRunWindow::checkForUpdates() { return gf_checkForUpdates(); }

bool RealRunWindow::waitForDownloadSite(const std::filesystem::path& missing, bool first) {
    return gf_waitForDownloadSite(missing, first);
}

void RealRunWindow::fillComboBoxes() { gf_fillComboBoxes(); }

void RealRunWindow::applySimTime() { gf_applySimTime(true); }

void RealRunWindow::setTimeShift(int minutes, bool quiet) {
    if (gf_setTimeShift(minutes, quiet)) lf_clearTrafficForTimeShift(gf_runPorts());
}

void RealRunWindow::autoRange() { gf_autoRange(gf_runPorts()); }

void RealRunWindow::checkNoTraffic() { gf_checkNoTraffic(gf_runPorts()); }

void RealRunWindow::announceStaticUpdate() { gf_announceStaticUpdate(); }

void RealRunWindow::disableParkingControls() { gf_disableParkingControls(); }

void RealRunWindow::enableParkingControls() { gf_enableParkingControls(); }

bool RealRunWindow::parkingControlsBusy() { return g_mainWindowState.parkingBusy.load(); }

void RealRunWindow::updateLiveCount() { gf_updateLiveCount(gf_runPorts()); }
