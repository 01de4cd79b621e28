// The run's window: the controls through the window's own functions, the
// run's messages and the topmost state on the real window where there is one
// (window_services_win32.cpp; natively there is no window).
#pragma once

#include "app/run_ports.h"

struct DisplaySnapshot;
class UiSink;

class RealRunWindow : public RunWindow {
public:
    void postToWindow(RunMessage message) override;
    void setWindowTopmost(bool topmost) override;
    void checkParametersFile() override;
    bool checkForUpdates() override;
    bool waitForDownloadSite(const std::filesystem::path& missing, bool first) override;
    void fillComboBoxes() override;
    void applySimTime() override;
    void setTimeShift(int minutes, bool quiet) override;
    void autoRange() override;
    void checkNoTraffic() override;
    void announceStaticUpdate() override;
    void disableParkingControls() override;
    void enableParkingControls() override;
    bool parkingControlsBusy() override;
    void updateLiveCount() override;
};

// The window's sink of the program: the real controls in the Windows build;
// natively, where the program has no window, one that takes every request
// and shows nothing.
UiSink& lf_programWindowSink();

// The simulator link's and the feed's display values, for a paint.
void lf_fillLinkDisplay(DisplaySnapshot& snapshot);
