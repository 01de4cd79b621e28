#include "catalogue/liveries_xml.h"

#include "catalogue/livery.h"
#include "core/file_meta.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/text_encoding.h"
#include "core/ui_sink.h"
#include "core/user_error.h"
#include "core/version.h"

#include <fmt/format.h>
#include <pugixml.hpp>

namespace fs = std::filesystem;

namespace {

bool lf_appendLivery(pugi::xml_node liveries, const Livery& livery) {
    pugi::xml_node liv = liveries.append_child("liv");
    if (!liv) return false;
    bool ok = gf_appendAttributeText(liv, "airl", livery.airl);
    ok = gf_appendAttributeText(liv, "type", livery.type) && ok;
    if (livery.cargo) ok = gf_appendAttribute(liv, "cargo", true) && ok;
    ok = gf_appendAttributeText(liv, "title", livery.title) && ok;
    if (!livery.atcid.empty()) ok = gf_appendAttributeText(liv, "atcid", livery.atcid) && ok;
    return ok;
}

std::string lf_requiredAttribute(pugi::xml_node node, const char* name) {
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute) {
        throw ozr::UserErrorException(999, fmt::format("Missing required attribute '{}' in <{}>", name, node.name()));
    }
    return attribute.as_string("");
}

// A cache that is there but does not load: cut off by a crash, a full disk
// or an editor. Told apart from a missing one, which the update check mends.
class DamagedLiveriesCache : public ozr::UserErrorException {
public:
    explicit DamagedLiveriesCache(const std::string& pathText)
        : ozr::UserErrorException(51, fmt::format("File {} is damaged", pathText)) {}
};

// The damaged cache goes aside and the scan is turned on, so that the next
// start scans the liveries anew: until then every start would stop on the
// same file, and no update check looks into it.
[[noreturn]] void lf_scanAgainAfterDamage(const fs::path& path) {
    const std::string pathText = gf_pathToUtf8(path);
    std::error_code ec;
    const fs::path kept = gf_keepDamagedFile(path, ec);
    if (kept.empty()) {
        throw ozr::UserErrorException(
            51, fmt::format("File {} is damaged and could not be moved aside ({}): delete it, then start {} again",
                            pathText, ec.message(), "GLIM_P3D"));
    }
    SCAN_LIVERIES.setValue(true);
    gf_saveBoolParameter(SCAN_LIVERIES);
    gf_uiSink().setCheck(SCAN_LIVERIES.controlId(), true);
    gf_uiSink().invalidateBand(UiBand::controls);
    throw ozr::UserErrorException(51, fmt::format("File {} is damaged (kept as {}): close {} and start it again, "
                                                  "it then scans the liveries anew",
                                                  pathText, gf_pathToUtf8(kept.filename()), "GLIM_P3D"));
}

}  // namespace

bool lf_writeLiveriesXml() { return lf_writeLiveriesXmlTo(gf_workPaths().liveriesScanned); }

bool lf_writeLiveriesXmlTo(const fs::path& path) {
    if (g_liveryScanList.empty()) return true;
    pugi::xml_document document;
    FileMeta meta;
    meta.version = fmt::format("{}.{}.{}", g_programVersion.major, g_programVersion.minor, g_programVersion.patch);
    gf_setMetaSim(meta, g_simVariant.load());
    pugi::xml_node root;
    pugi::xml_node liveries;
    bool built = gf_writeMeta(document, meta);
    if (built) {
        root = document.child("root");
        liveries = root ? root.append_child("liveries") : pugi::xml_node();
        built = static_cast<bool>(liveries);
    }
    for (auto it = g_liveryScanList.begin(); built && it != g_liveryScanList.end(); ++it) {
        built = lf_appendLivery(liveries, *it);
    }
    const std::string pathText = gf_pathToUtf8(path);
    // A cache missing some liveries would look complete to the next start:
    // only a whole document replaces the old file.
    if (!built || !gf_saveXmlDocument(document, path)) {
        gf_logHighlight(fmt::format("saving: {} failed", pathText));
        return false;
    }
    gf_logLine(fmt::format("{} liveries in {}", g_liveryScanList.size(), pathText));
    return true;
}

void lf_readLiveriesXml() {
    const fs::path& path = gf_workPaths().liveriesScanned;
    try {
        lf_readLiveriesXmlFrom(path);
    } catch (const DamagedLiveriesCache&) {
        lf_scanAgainAfterDamage(path);
    }
}

void lf_readLiveriesXmlFrom(const fs::path& path) {
    g_liveryScanList.clear();
    const std::string pathText = gf_pathToUtf8(path);
    pugi::xml_document document;
    if (!document.load_file(path.c_str(), pugi::parse_default, pugi::encoding_auto)) {
        std::error_code ec;
        if (fs::is_regular_file(path, ec)) throw DamagedLiveriesCache(pathText);
        throw ozr::UserErrorException(51, fmt::format("File {} not found", pathText));
    }
    // The header names the writer's version and simulator; the reader needs
    // none of it: the update check asks for a new scan when the scan rules
    // of a newer version differ.
    (void)gf_readMeta(document, false);
    const pugi::xml_node root = document.child("root");
    if (root) {
        const pugi::xml_node liveries = root.child("liveries");
        if (!liveries) {
            throw ozr::UserErrorException(52, fmt::format("{} does not contain a <liveries> section", pathText));
        }
        for (pugi::xml_node liv : liveries.children()) {
            if (liv.type() != pugi::node_element) continue;
            std::string airl = lf_requiredAttribute(liv, "airl");
            std::string type = lf_requiredAttribute(liv, "type");
            std::string title = lf_requiredAttribute(liv, "title");
            g_liveryScanList.emplace_back(std::move(airl), std::move(type), std::move(title),
                                          liv.attribute("atcid").as_string(""), 0u,
                                          liv.attribute("cargo").as_bool(false));
        }
    }
    if (g_liveryScanList.empty()) throw ozr::UserErrorException(533, pathText + " does not contain liveries");
    g_liveryScanList.sort();
    gf_logLine(fmt::format("{} liveries read from {}", g_liveryScanList.size(), pathText));
}
