#include "app/window_position.h"

#include "core/log.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/text_encoding.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <system_error>

namespace fs = std::filesystem;

namespace {

void lf_readCoordinate(NumberParameter& setting, const pugi::xml_document& document) {
    const auto stored = gf_readIntParameter(document, setting.name());
    setting.setValue(stored ? setting.clamp(*stored) : setting.defaultValue());
}

bool lf_atLimit(const NumberParameter& setting) {
    return setting.value() == setting.minValue() || setting.value() == setting.maxValue();
}

void lf_replaceAtLimit(NumberParameter& setting, int value, const fs::path& parametersFile) {
    if (!lf_atLimit(setting)) return;
    setting.setValue(setting.clamp(value));
    gf_saveNumberParameter(setting, parametersFile);
}

}  // namespace

WindowPosition lf_readWindowPosition(const fs::path& parametersFile) {
    const auto lock = gf_lockParametersFile();
    gf_restoreDamagedParameters(parametersFile);
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_file(parametersFile.c_str());
    if (!parsed) {
        std::error_code ec;
        const fs::file_status status = fs::status(parametersFile, ec);
        if (status.type() == fs::file_type::not_found) return {MAIN_WINDOW_X.value(), MAIN_WINDOW_Y.value()};
        if (ec) throw fs::filesystem_error("exists", parametersFile, ec);
        gf_logHighlight(fmt::format("{} failed to load, syntax error?", gf_pathToUtf8(parametersFile)));
        gf_logLine(" --> saved as 0.xml,  file removed\n");
        // Without its copy the file is the user's only record of the
        // settings: it stays for the settings loader, unread here.
        if (!gf_save1GenerationOf(parametersFile)) return {MAIN_WINDOW_X.value(), MAIN_WINDOW_Y.value()};
        fs::remove(parametersFile, ec);
        if (ec) throw fs::filesystem_error("remove", parametersFile, ec);
        // The settings loader now finds no file and quietly starts from the
        // defaults: the window says why and where the user's file is.
        gf_noticeSettingsKept(parametersFile, "could not be read", "the default settings are used");
        return {MAIN_WINDOW_X.value(), MAIN_WINDOW_Y.value()};
    }
    lf_readCoordinate(MAIN_WINDOW_X, document);
    lf_readCoordinate(MAIN_WINDOW_Y, document);
    lf_saveWindowPosition(MAIN_WINDOW_X.defaultValue(), MAIN_WINDOW_Y.defaultValue(), parametersFile);
    return {MAIN_WINDOW_X.value(), MAIN_WINDOW_Y.value()};
}

WindowPosition lf_readWindowPosition() { return lf_readWindowPosition(gf_parametersPath()); }

void lf_saveWindowPosition(int x, int y, const fs::path& parametersFile) {
    lf_replaceAtLimit(MAIN_WINDOW_X, x, parametersFile);
    lf_replaceAtLimit(MAIN_WINDOW_Y, y, parametersFile);
}

void lf_saveWindowPosition(int x, int y) { lf_saveWindowPosition(x, y, gf_parametersPath()); }

void lf_storeWindowPositionAtExit(int left, int top, const fs::path& parametersFile) {
    const int previousX = MAIN_WINDOW_X.value();
    const int previousY = MAIN_WINDOW_Y.value();
    MAIN_WINDOW_X.setValue(MAIN_WINDOW_X.clamp(left));
    gf_saveNumberParameter(MAIN_WINDOW_X, parametersFile);
    MAIN_WINDOW_Y.setValue(MAIN_WINDOW_Y.clamp(top));
    gf_saveNumberParameter(MAIN_WINDOW_Y, parametersFile);
    lf_saveWindowPosition(previousX, previousY, parametersFile);
}

void lf_storeWindowPositionAtExit(int left, int top) {
    lf_storeWindowPositionAtExit(left, top, gf_parametersPath());
}
