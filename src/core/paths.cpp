#include "core/paths.h"

#include "core/log.h"

#include <fmt/format.h>

#include <mutex>

namespace fs = std::filesystem;

namespace {

// Built from UTF-8 literals so the Windows build never runs a code-page
// conversion for them.
WorkPaths lf_buildWorkPaths() {
    WorkPaths w;
    w.input = fs::path(u8"input");
    w.dbaseEnc = w.input / u8"dbase.enc";
    w.regcodesEnc = w.input / u8"AIG-regcodes.enc";
    w.regcodesXml = w.input / u8"AIG-regcodes.xml";
    w.airportsEnc = w.input / u8"airports.enc";
    w.airportsXml = w.input / u8"airports.xml";
    w.airportsP3dXml = w.input / u8"airports_p3d.xml";
    w.myRegcodes = w.input / u8"my_regcodes";
    w.output = fs::path(u8"output");
    w.liveriesScanned = w.output / u8"LiveriesScanned.xml";
    w.info = w.output / u8"info";
    w.errors = w.output / u8"errors";
    w.airportsScanLog = w.info / u8"AirportsScanLog.txt";
    w.noFltsimSection = w.info / u8"AircraftCfgWithNoFltsimSection.txt";
    w.modelConversions = w.info / u8"AirlineModelConversions.txt";
    w.inlineRegcodes = w.errors / u8"InlineRegcodes.txt";
    w.invalidAirlines = w.errors / u8"InvalidAirlineCodes.txt";
    w.invalidAircraft = w.errors / u8"InvalidAircraftCodes.txt";
    w.fixes = w.errors / u8"Fixes.txt";
    w.invalidCfgFiles = w.errors / u8"InvalidAircraftCfgFiles.txt";
    // The name lacks a "t"; users and the maker's tools know the file by it.
    w.incompleteFltsim = w.errors / u8"IncompleFltsimSections.txt";
    w.airports = fs::path(u8"airports");
    w.learned = w.airports / u8"learned";
    w.learnedStock = w.learned / u8"stock";
    w.learnedSimaddon = w.learned / u8"simaddon";
    w.learnedThirdparty = w.learned / u8"thirdparty";
    w.myOrbx = w.airports / u8"my_ORBX";
    w.myThirdparty = w.airports / u8"my_thirdparty";
    w.myParkAirports = w.airports / u8"my_park_airports.txt";
    w.docs = fs::path(u8"docs");
    w.tblo = fs::path(u8"tblo");
    w.tbloZip = w.tblo / u8"tblo.zip";
    w.newVersion = fs::path(u8"new_version");
    w.installer = fs::path(u8"install_new_version.exe");
    w.releaseNotes = fs::path(u8"ReleaseNotes.pdf");
    return w;
}

std::string lf_utf8(const fs::path& p) {
    const std::u8string text = p.u8string();
    return std::string(text.begin(), text.end());
}

struct AppPaths {
    bool built = false;
    fs::path appFolder;
    fs::path parameters;
    std::string parametersUtf8;
};

std::mutex g_appPathsMutex;
AppPaths g_appPaths;

std::mutex g_runPathsMutex;
fs::path g_stockSceneryPath;
fs::path g_flightPlanFolder;

// Called with g_appPathsMutex held. Logs (through gf_appDataPath) while it
// holds that lock; the log never calls back here.
void lf_buildAppPaths() {
    AppPaths a;
    a.appFolder = gf_appDataPath() / u8"GLIM_P3D";
    a.parameters = a.appFolder / u8"parameters.xml";
    try {
        a.parametersUtf8 = lf_utf8(a.parameters);
    } catch (const std::exception& e) {
        // A path the system cannot express as UTF-8 stays usable as a path;
        // only its text form is missing.
        gf_logHighlight(fmt::format("gf_parametersPathUtf8: {}", e.what()));
    }
    a.built = true;
    g_appPaths = std::move(a);
}

const AppPaths& lf_appPaths() {
    if (!g_appPaths.built) lf_buildAppPaths();
    return g_appPaths;
}

}  // namespace

const WorkPaths& gf_workPaths() {
    static const WorkPaths paths = lf_buildWorkPaths();
    return paths;
}

std::optional<fs::path> gf_knownFolderAppData() { return gf_knownFolder(KnownFolder::roamingAppData); }

fs::path gf_appDataPath() {
    if (auto folder = gf_knownFolderAppData()) return *folder;
    gf_logHighlight("Could not find the AppData path");
    return {};
}

fs::path gf_appFolderPath() {
    std::lock_guard lock(g_appPathsMutex);
    return lf_appPaths().appFolder;
}

fs::path gf_parametersPath() {
    std::lock_guard lock(g_appPathsMutex);
    return lf_appPaths().parameters;
}

std::string gf_parametersPathUtf8() {
    std::lock_guard lock(g_appPathsMutex);
    return lf_appPaths().parametersUtf8;
}

void gf_rebuildAppPaths() {
    std::lock_guard lock(g_appPathsMutex);
    lf_buildAppPaths();
}

fs::path gf_stockSceneryPath() {
    std::lock_guard lock(g_runPathsMutex);
    return g_stockSceneryPath;
}

void gf_setStockSceneryPath(const fs::path& path) {
    std::lock_guard lock(g_runPathsMutex);
    g_stockSceneryPath = path;
}

fs::path gf_flightPlanFolder() {
    std::lock_guard lock(g_runPathsMutex);
    return g_flightPlanFolder;
}

void gf_setFlightPlanFolder(const fs::path& path) {
    std::lock_guard lock(g_runPathsMutex);
    g_flightPlanFolder = path;
}
