#include "core/file_meta.h"

#include "core/clock.h"
#include "core/log.h"

#include <fmt/format.h>

std::atomic<std::uint32_t> g_simVariant{1};

namespace {

constexpr std::uint32_t kPrepar3dVariant = 3;

}  // namespace

void gf_setMetaSim(FileMeta& meta, std::uint32_t variant) {
    meta.sim = variant;
    if (variant == kPrepar3dVariant) {
        meta.P3D = "v56";
        meta.MSFS.clear();
    } else {
        meta.P3D.clear();
        meta.MSFS = variant == 1 ? "2020" : "2024";
    }
}

bool gf_appendInfo(pugi::xml_node node, std::string_view name, std::string_view value) {
    pugi::xml_node info = node.append_child("info");
    if (!info) return false;
    return gf_appendAttributeText(info, "name", name) && gf_appendAttributeText(info, "value", value);
}

bool gf_writeMeta(pugi::xml_document& document, const FileMeta& meta) {
    pugi::xml_node root = document.child("root");
    if (!root) root = document.append_child("root");
    if (!root) return false;
    pugi::xml_node node = root.append_child("meta");
    if (!node) return false;

    bool ok = gf_appendInfo(node, "author", "GLIM_P3D");
    ok = gf_appendInfo(node, "version", meta.version) && ok;
    ok = gf_appendInfo(node, "date", gf_dateText()) && ok;
    ok = gf_appendInfo(node, "copyright", kFileMetaCopyright) && ok;
    ok = gf_appendInfo(node, "sim", fmt::format("{}", meta.sim)) && ok;
    if (meta.sim != 0) return ok;
    if (!meta.P3D.empty()) return gf_appendInfo(node, "P3D", "v56") && ok;
    return gf_appendInfo(node, "MSFS", meta.MSFS) && ok;
}

std::optional<FileMeta> gf_readMeta(const pugi::xml_document& document, bool acceptWithoutSim) {
    const pugi::xml_node node = gf_rootChild(document, "meta");
    if (!node) return std::nullopt;

    FileMeta meta;
    bool seenCopyright = false, seenAuthor = false, seenDate = false, seenVersion = false;
    bool seenSim = false, seenP3D = false, seenMSFS = false;
    // Each name counts only at its first occurrence: a later duplicate must
    // not override what the writer put first.
    for (pugi::xml_node info : node.children("info")) {
        const std::string name = gf_xmlAttributeText(info, "name");
        if (name == "copyright") {
            if (seenCopyright) continue;
            seenCopyright = true;
            if (gf_xmlAttributeText(info, "value").empty()) {
                gf_logHighlight("no copyright info in the file?");
                return std::nullopt;
            }
        } else if (name == "author") {
            if (seenAuthor) continue;
            seenAuthor = true;
            meta.author = gf_xmlAttributeText(info, "value");
        } else if (name == "date") {
            if (seenDate) continue;
            seenDate = true;
            meta.date = gf_xmlAttributeText(info, "value");
        } else if (name == "version") {
            if (seenVersion) continue;
            seenVersion = true;
            meta.version = gf_xmlAttributeText(info, "value");
        } else if (name == "sim") {
            if (seenSim) continue;
            seenSim = true;
            meta.sim = info.attribute("value").as_uint(0);
        } else if (name == "P3D") {
            if (seenP3D) continue;
            seenP3D = true;
            meta.P3D = gf_xmlAttributeText(info, "value");
        } else if (name == "MSFS") {
            if (seenMSFS) continue;
            seenMSFS = true;
            meta.MSFS = gf_xmlAttributeText(info, "value");
        }
    }
    if (!seenCopyright) return std::nullopt;
    if (!acceptWithoutSim && !seenSim && !seenP3D && !seenMSFS) return std::nullopt;
    return meta;
}

pugi::xml_node gf_rootChild(const pugi::xml_document& document, std::string_view name) {
    const std::string key(name);
    const pugi::xml_node root = document.child("root");
    return root ? root.child(key.c_str()) : document.child(key.c_str());
}

std::string gf_xmlAttributeText(pugi::xml_node node, std::string_view name) {
    const std::string key(name);
    return node.attribute(key.c_str()).as_string("");
}

bool gf_appendAttribute(pugi::xml_node node, std::string_view name, bool flag) {
    return gf_appendAttributeText(node, name, flag ? "true" : "false");
}

bool gf_appendAttributeText(pugi::xml_node node, std::string_view name, std::string_view text) {
    const std::string key(name);
    pugi::xml_attribute attribute = node.append_attribute(key.c_str());
    if (!attribute) return false;
    const std::string value(text);
    return attribute.set_value(value.c_str());
}
