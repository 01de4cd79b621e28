// Every folder and file the program works with.
//
// The names of the working folder (the folder the program runs in) are
// relative paths. The application folder and the settings file depend on the
// user's AppData folder, so they are built on first use, once the log is open
// and can report a missing folder; nothing here does work during static
// initialisation.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Relative names of the working folder.
struct WorkPaths {
    std::filesystem::path input;              // "input"
    std::filesystem::path dbaseEnc;           // input/dbase.enc
    std::filesystem::path regcodesEnc;        // input/AIG-regcodes.enc
    std::filesystem::path regcodesXml;        // input/AIG-regcodes.xml
    std::filesystem::path airportsEnc;        // input/airports.enc
    std::filesystem::path airportsXml;        // input/airports.xml
    std::filesystem::path airportsP3dXml;     // input/airports_p3d.xml (older versions; an update removes it)
    std::filesystem::path myRegcodes;         // input/my_regcodes
    std::filesystem::path output;             // "output"
    std::filesystem::path liveriesScanned;    // output/LiveriesScanned.xml
    std::filesystem::path info;               // output/info
    std::filesystem::path errors;             // output/errors
    std::filesystem::path airportsScanLog;    // output/info/AirportsScanLog.txt
    std::filesystem::path noFltsimSection;    // output/info/AircraftCfgWithNoFltsimSection.txt
    std::filesystem::path modelConversions;   // output/info/AirlineModelConversions.txt
    std::filesystem::path inlineRegcodes;     // output/errors/InlineRegcodes.txt
    std::filesystem::path invalidAirlines;    // output/errors/InvalidAirlineCodes.txt
    std::filesystem::path invalidAircraft;    // output/errors/InvalidAircraftCodes.txt
    std::filesystem::path fixes;              // output/errors/Fixes.txt
    std::filesystem::path invalidCfgFiles;    // output/errors/InvalidAircraftCfgFiles.txt
    std::filesystem::path incompleteFltsim;   // output/errors/IncompleFltsimSections.txt
    std::filesystem::path airports;           // "airports"
    std::filesystem::path learned;            // airports/learned
    std::filesystem::path learnedStock;       // airports/learned/stock
    std::filesystem::path learnedSimaddon;    // airports/learned/simaddon
    std::filesystem::path learnedThirdparty;  // airports/learned/thirdparty
    std::filesystem::path myOrbx;             // airports/my_ORBX
    std::filesystem::path myThirdparty;       // airports/my_thirdparty
    std::filesystem::path myParkAirports;     // airports/my_park_airports.txt
    std::filesystem::path docs;               // "docs"
    std::filesystem::path tblo;               // "tblo"
    std::filesystem::path tbloZip;            // "tblo/tblo.zip"
    std::filesystem::path newVersion;         // "new_version"
    std::filesystem::path installer;          // "install_new_version.exe"
    std::filesystem::path releaseNotes;       // "ReleaseNotes.pdf"
};

// The working folder's names; built on first use, never changed.
const WorkPaths& gf_workPaths();

// Windows known folders the program asks for. The native build has only
// stand-ins (see paths_posix.cpp).
enum class KnownFolder { roamingAppData, documents, publicDocuments, programFiles, programFilesX86 };

// The folder's path, or nothing when the system cannot give it. The
// environment variable GLIM_APPDATA, when set and not empty, replaces the
// roaming AppData folder in both builds, so tests and Wine runs can keep
// parameters.xml in a folder of their own.
std::optional<std::filesystem::path> gf_knownFolder(KnownFolder folder);
std::optional<std::filesystem::path> gf_knownFolderAppData();

// The roaming AppData folder, or an empty path after the highlighted log line
// "Could not find the AppData path".
std::filesystem::path gf_appDataPath();

// The application folder: the AppData folder joined with "GLIM_P3D" (the
// relative "GLIM_P3D" when there is no AppData folder). Fixed at the first
// call of any of these three.
std::filesystem::path gf_appFolderPath();
// The settings file: the application folder joined with "parameters.xml".
std::filesystem::path gf_parametersPath();
// The same as UTF-8 text.
std::string gf_parametersPathUtf8();
// Builds the application paths again from the current AppData folder. The
// program never needs this after the first use; tests use it after pointing
// GLIM_APPDATA elsewhere.
void gf_rebuildAppPaths();

// Paths set at run time; empty until then. Copies, taken under a lock, since
// one thread sets them while others read.
std::filesystem::path gf_stockSceneryPath();
void gf_setStockSceneryPath(const std::filesystem::path& path);
std::filesystem::path gf_flightPlanFolder();
void gf_setFlightPlanFolder(const std::filesystem::path& path);
