// The add-on airport scan: walks the folders afolder0..afolder9, decodes the
// airports of every scenery .bgl file on a task thread of its own, links each
// airport of the airport database to the maker's archived stand file or
// generates a stand file from the decoded stands, writes AirportsScanLog.txt
// and collects the unrecognised third-party airports into tblo.zip.
#pragma once

#include "airports/bgl_decoder.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the scan looks up: the airport database and the Dbase's archive
// lists. Tasks that outlive a scan keep their share of it, so every call must
// stay callable from any thread.
class AirportScanLookups {
public:
    virtual ~AirportScanLookups() = default;
    // A code of the airport database.
    virtual bool isKnownAirport(const std::string& code) = 0;
    // The Dbase publisher whose name occurs in the path (empty: none).
    virtual std::string publisherOfPath(const std::string& pathUtf8) = 0;
    // The Dbase's list of archived "simaddon" stand files holds this key.
    virtual bool hasSimAddonKey(const std::string& key) = 0;
    // The Dbase's airport entries (code, then the archived stand count from
    // the fifth character) of every third-party publisher of exactly this
    // name, in list order.
    virtual std::vector<std::string> thirdPartyEntries(const std::string& publisher) = 0;
};

// What the scan shows the user (worker thread).
class AirportScanWindow {
public:
    virtual ~AirportScanWindow() = default;
    // No afolder set: the manual and the folder of parameters.xml are shown.
    virtual void openManual() = 0;
    virtual void openParametersFolder() = 0;
    // tblo.zip was made: the window enables its "tblo" button.
    virtual void tbloCollected() = 0;
};

// Raised whenever the scan writes a link file or a stand file; lowered at the
// start of every scan, so it tells what this scan found.
extern std::atomic<bool> g_airportFilesChanged;

// The whole scan (worker thread). Throws ozr::UserErrorException 49 when no
// afolder is set and 42 when one lies in the simulator's own scenery;
// file-system errors of its own steps pass on.
void gf_scanAddonAirports(std::shared_ptr<AirportScanLookups> lookups, AirportScanWindow& window);

// The folders of afolder0..afolder9 that are set, in order.
std::vector<std::filesystem::path> lf_airportFolders();
// Whether path is the stock scenery folder or lies inside it (whole folder
// names compared, letter case ignored); never when the stock path is not set.
bool lf_isInStockScenery(const std::filesystem::path& path);
// Whether a Dbase entry names the code; archived gets its stand count.
bool lf_matchCodeNumber(const std::string& entry, const std::string& code, const std::string& publisher,
                        int& archived);
