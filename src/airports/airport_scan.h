// The add-on airport scan: walks the folders afolder0..afolder9, decodes the
// airports of every scenery .bgl file on a task thread of its own, links each
// airport of the airport database to the maker's archived stand file or
// generates a stand file from the decoded stands, writes AirportsScanLog.txt
// and collects the unrecognised third-party airports into tblo.zip.
#pragma once

#include "airports/bgl_decoder.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What the scan asks of the rest of the program. Tasks that outlive a scan
// keep their own copy, so the functions must stay callable from any thread.
struct AirportScanEnv {
    // A code of the airport database.
    KnownAirportCheck isKnownAirport;
    // The Dbase publisher whose name occurs in the path (empty: none).
    std::function<std::string(const std::string& pathUtf8)> publisherOfPath;
    // The Dbase's list of archived "simaddon" stand files holds this key.
    std::function<bool(const std::string& key)> hasSimAddonKey;
    // The Dbase's airport entries (code, then the archived stand count from
    // the fifth character) of every third-party publisher of exactly this
    // name, in list order.
    std::function<std::vector<std::string>(const std::string& publisher)> thirdPartyEntries;
    // No afolder set: the manual and the folder of parameters.xml are shown.
    std::function<void()> openManual;
    std::function<void()> openParametersFolder;
    // tblo.zip was made: the window enables its "tblo" button.
    std::function<void()> tbloCollected;
};

// Installs the program's (or a test's) neighbours of the scan.
void gf_setAirportScanEnv(AirportScanEnv env);

// Raised whenever the scan writes a link file or a stand file; lowered at the
// start of every scan, so it tells what this scan found.
extern std::atomic<bool> g_airportFilesChanged;

// The whole scan (worker thread). Throws ozr::UserErrorException 49 when no
// afolder is set and 42 when one lies in the simulator's own scenery;
// file-system errors of its own steps pass on.
void gf_scanAddonAirports();

// The folders of afolder0..afolder9 that are set, in order.
std::vector<std::filesystem::path> lf_airportFolders();
// Whether path is the stock scenery folder or lies inside it (whole folder
// names compared, letter case ignored); never when the stock path is not set.
bool lf_isInStockScenery(const std::filesystem::path& path);
// The publisher of a scenery file: "simaddon" for ORBX paths, else the
// Dbase publisher named in the path, else empty.
std::string gf_publisherFromFileName(const std::string& pathUtf8);
// Whether a Dbase entry names the code; archived gets its stand count.
bool lf_matchCodeNumber(const std::string& entry, const std::string& code, const std::string& publisher,
                        int& archived);
