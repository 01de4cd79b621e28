// The livery scan: every aircraft.cfg and sim.cfg below the user's livery
// folders (settings lfolder0..lfolder9) becomes the liveries of
// output/LiveriesScanned.xml and the scan reports. Runs on the worker thread
// at the start of a run while SCAN_LIVERIES is on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

// What the scan asks of the window.
class LiveryScanWindow {
public:
    virtual ~LiveryScanWindow() = default;
    // No livery folder set: the manual and the folder of parameters.xml are
    // shown; false when the shell could not open one (the user is told).
    virtual bool openManual() = 0;
    virtual bool openParametersFolder() = 0;
    // The livery count of the counter band: the liveries found so far while
    // the scan runs (it shows the scan's progress), 0 when none was found.
    virtual void showLiveryCount(std::int32_t count) = 0;
};

// Throws ozr::UserErrorException (48 no livery folder set, 53 no livery
// found, 243 a livery folder that does not exist) or a file-system error.
// SCAN_LIVERIES goes off only after a scan that wrote its cache.
void gf_scanLiveries(LiveryScanWindow& window);

// Appends the existing livery folders in setting order; throws 243.
void lf_checkPathParameter(std::vector<std::filesystem::path>& folders);

enum class LiveryScanEnd {
    written,     // liveries found and LiveriesScanned.xml written
    noLiveries,  // no livery in any folder
    stopped,     // the run was asked to stop: nothing written
    notWritten,  // liveries found but LiveriesScanned.xml could not be written
};
LiveryScanEnd lf_scanFolders(const std::vector<std::filesystem::path>& folders, LiveryScanWindow& window);
// True when the scan ended with liveries or was stopped.
bool lf_scanLiveryFolders(const std::vector<std::filesystem::path>& folders, LiveryScanWindow& window);

// Corrects model, airline and cargo flag of the liveries whose registration
// the Dbase knows; every change is one line of AirlineModelConversions.txt.
void lf_updateLiveriesFromDbase();
// Per airline and model only the liveries of the lowest-numbered folder that
// has them stay.
void lf_prioritizeLiveries();
void lf_readDontUseTitles();
// Empties the report lists, the scan's title set and the don't-use titles.
void lf_resetScanState();
