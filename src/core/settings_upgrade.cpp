#include "core/settings_upgrade.h"

#include "core/file_meta.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/text_encoding.h"
#include "core/version.h"
#include "core/ui_sink.h"

#include <fmt/format.h>

#include <array>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Versions before 11.0.2 kept settings that cannot be converted; their
// files are replaced by the defaults.
bool lf_tooOldToConvert(const VersionData& v) {
    return v.major < 11 || (v.major == 11 && v.minor == 0 && v.patch < 2);
}

// Keys that older versions stored and this one no longer uses.
constexpr std::array<std::string_view, 14> kObsoleteKeys{
    "CALLSIGN_OBJECTIDS", "PARK_FAKE",     "SUPPRESS_STUB",           "LOG",           "LEARN_SOFT",
    "PROGRAM_INSTALL_PATH", "LATERAL_RANGE", "CUSTOM_MAX_PARK",       "MAX_LIVE",      "AIRPORT_RANGE",
    "AUTO_RANGE_ABOVE_HEIGHT", "AIRPORT_HEIGHT", "MSFS_2020",         "AI_PACKAGE_ORDER"};

void lf_requestScan(CheckBoxParameter& setting, const fs::path& parametersFile) {
    setting.setValue(true);
    gf_saveBoolParameter(setting, parametersFile);
    if (setting.window() != nullptr) gf_uiSink().setCheck(setting.controlId(), true);
}

void lf_storeProgramVersion(const fs::path& parametersFile) {
    PROGRAM_VERSION.setValue(g_programVersion.text());
    gf_saveStringParameter(PROGRAM_VERSION, parametersFile);
}

std::size_t lf_characterCount(const std::u8string& text) {
    std::size_t count = 0;
    for (char8_t c : text) {
        if ((c & 0xC0) != 0x80) ++count;
    }
    return count;
}

// Older versions kept airport files as <ICAO>.xml in the working folder.
// Only this folder's own entries are looked at, and the extension must be
// ".xml" exactly. A file-system error ends the walk quietly.
void lf_removeOldAirportFiles(const fs::path& workFolder) {
    gf_logLine(gf_pathToUtf8(workFolder));
    std::error_code ec;
    fs::directory_iterator it(workFolder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const bool regular = it->is_regular_file(ec);
        if (ec) break;
        if (!regular) continue;
        const fs::path name = it->path().filename();
        if (name.extension().u8string() != u8".xml") continue;
        if (lf_characterCount(name.stem().u8string()) != 4) continue;
        fs::remove(it->path(), ec);
        if (ec) break;
    }
}

void lf_removeLeftovers(const fs::path& workFolder) {
    if (fs::exists(workFolder / "TO_BE_LEARNED_OFFLINE")) fs::remove_all(workFolder / "TO_BE_LEARNED_OFFLINE");
    if (fs::exists(workFolder / "versions.json")) fs::remove(workFolder / "versions.json");
    lf_removeOldAirportFiles(workFolder);
    if (fs::exists(workFolder / "input" / "airports_p3d.xml")) fs::remove(workFolder / "input" / "airports_p3d.xml");
    if (fs::exists(workFolder / "new_version")) fs::remove_all(workFolder / "new_version");
}

}  // namespace

bool lf_removeParameter(std::string_view key, const fs::path& parametersFile) {
    const auto lock = gf_lockParametersFile();
    pugi::xml_document document;
    if (!gf_loadXmlDocument(document, parametersFile)) return false;
    pugi::xml_node parameters = gf_rootChild(document, "parameters");
    if (!parameters || !parameters.child("parameter")) return false;
    for (pugi::xml_node p : parameters.children("parameter")) {
        if (std::string_view(p.attribute("name").as_string("")) != key) continue;
        parameters.remove_child(p);
        gf_logUnlessClosing(fmt::format("Parameter '{}' removed", key));
        gf_saveParametersDocument(document, parametersFile);
        return true;
    }
    return false;
}

bool lf_updateVersion(const fs::path& parametersFile, const fs::path& workFolder) {
    // No version stored yet: this program wrote the file or it lacked the key.
    if (PROGRAM_VERSION.valueEqualsDefault()) {
        lf_storeProgramVersion(parametersFile);
        return false;
    }

    // Take the stored version and store the program's own.
    const std::string storedText = PROGRAM_VERSION.get();
    const VersionData stored(storedText);
    const bool update = gf_isNewerVersion(g_programVersion, stored);
    if (update) {
        // What follows rewrites or removes the user's settings. A version
        // text that cannot be read gives zeros from the failing number on and
        // so counts as older: the file as it stands is kept once before
        // anything in it changes.
        if (gf_save1GenerationOf(parametersFile)) {
            gf_logLine(fmt::format("Settings of version '{}' kept in {}0{}", storedText,
                                   gf_pathToUtf8(parametersFile.stem()), gf_pathToUtf8(parametersFile.extension())));
        }
    }
    if (!(stored == g_programVersion)) lf_storeProgramVersion(parametersFile);

    // A newer or the same version wrote the file: nothing to convert.
    if (!update) return false;

    gf_logLine(fmt::format("This is a version update from {} -> {}", stored.text(), g_programVersion.text()));

    if (lf_tooOldToConvert(stored)) return true;

    for (std::string_view key : kObsoleteKeys) lf_removeParameter(key, parametersFile);
    lf_removeLeftovers(workFolder);
    return false;
}

void lf_checkParametersFile(const fs::path& parametersFile, const fs::path& workFolder) {
    // A new file asks for both scans.
    if (gf_loadParameters(parametersFile)) {
        lf_requestScan(SCAN_LIVERIES, parametersFile);
        lf_requestScan(SCAN_AIRPORTS, parametersFile);
        return;
    }
    if (!lf_updateVersion(parametersFile, workFolder)) return;

    // Too old to convert: the defaults take effect at the next load.
    // The full save replaces the file in one step (a copy was kept above),
    // so no moment passes without a parameters.xml.
    gf_logLine("\nYour previous version was too old to convert the old text box parameters to the newdropbox values.");
    gf_logLine(fmt::format("{} re-starts with default parameter values ...\n", "GLIM_P3D"));
    gf_saveAllParameters(true, parametersFile);
    // The user's settings are gone from parameters.xml: the window says
    // where they are kept.
    std::error_code ec;
    if (fs::exists(gf_keptParametersPath(parametersFile), ec)) {
        gf_noticeSettingsKept(parametersFile, "was too old to convert",
                              "the default settings are used from the next start");
    }
}

void lf_checkParametersFile() { lf_checkParametersFile(gf_parametersPath(), fs::current_path()); }
