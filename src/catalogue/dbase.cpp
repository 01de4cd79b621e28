#include "catalogue/dbase.h"

#include "catalogue/dbase_queries.h"
#include "core/decrypt.h"
#include "core/file_meta.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/text.h"
#include "core/text_encoding.h"
#include "core/user_error.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <stdexcept>

namespace fs = std::filesystem;

Dbase g_dbase;
std::atomic<bool> g_dbaseReady{false};

namespace {

constexpr double kNmPerMetre = 0.0005399568034557236;
constexpr std::size_t kSimilarGroupReserve = 64;
constexpr std::size_t kPublisherGroupReserve = 640;
constexpr std::size_t kThirdPartyReserve = 200;

// The decrypted Dbase is the maker's data in the clear: it must not outlive
// the read, however the read ends.
class PlainFileGuard {
public:
    explicit PlainFileGuard(fs::path path) : m_path(std::move(path)) {}
    ~PlainFileGuard() {
        std::error_code ec;
        if (fs::exists(m_path, ec)) gf_removeFileWarn(m_path);
    }
    PlainFileGuard(const PlainFileGuard&) = delete;
    PlainFileGuard& operator=(const PlainFileGuard&) = delete;

private:
    fs::path m_path;
};

void lf_readXmlList(const pugi::xml_document& document, const char* section, TextSet& set, const char* element,
                    const char* attribute) {
    for (pugi::xml_node node : gf_rootChild(document, section).children(element)) {
        for (std::string& item : gf_splitAt(gf_xmlAttributeText(node, attribute))) set.insert(std::move(item));
    }
    if (set.empty()) {
        throw ozr::UserErrorException(
            61, fmt::format("In XML file section [{}], element [{}], attribute [{}] is empty.", section, element,
                            attribute));
    }
}

void lf_readTypeSet(const pugi::xml_document& document, const char* section, TextSet& set, const char* element) {
    TextSet fresh;
    lf_readXmlList(document, section, fresh, element, "types");
    set = std::move(fresh);
}

void lf_readIcaoCodeSet(const pugi::xml_document& document, const char* section, TextSet& set) {
    TextSet fresh;
    lf_readXmlList(document, section, fresh, "ICAO", "codes");
    set = std::move(fresh);
}

void lf_readSimilarGroups(const pugi::xml_document& document) {
    g_dbase.similarGroups.reserve(kSimilarGroupReserve);
    for (pugi::xml_node node : gf_rootChild(document, "similar_types").children("similar")) {
        std::vector<std::string> group = gf_splitAt(gf_xmlAttributeText(node, "types"));
        std::sort(group.begin(), group.end());
        g_dbase.similarGroups.push_back(std::move(group));
    }
}

void lf_readPublishers(const pugi::xml_document& document) {
    std::vector<std::string> texts;
    for (pugi::xml_node node : gf_rootChild(document, "publishers").children("pub")) {
        texts.push_back(gf_xmlAttributeText(node, "names"));
    }
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    g_dbase.publisherGroups.reserve(kPublisherGroupReserve);
    for (const std::string& text : texts) g_dbase.publisherGroups.push_back(gf_splitAt(text));
    gf_logLine(fmt::format("{} publishers read", g_dbase.publisherGroups.size()));
}

void lf_averageCategorySpans() {
    std::array<double, kCategoryCount> sum{};
    std::array<std::size_t, kCategoryCount> count{};
    for (const auto& [type, span] : g_dbase.halfWingspans) {
        const auto c = static_cast<std::size_t>(gf_acCategory(type));
        sum[c] += span;
        ++count[c];
    }
    // A category without any kept span stays 0: a NaN size would poison every
    // distance the stand fitting computes with it.
    for (std::size_t c = 0; c < kCategoryCount; ++c) {
        g_dbase.categoryHalfWingspans[c] = count[c] > 0 ? sum[c] / static_cast<double>(count[c]) : 0.0;
    }
}

void lf_readWingspans(const pugi::xml_document& document) {
    bool anyKept = false;
    for (pugi::xml_node node : gf_rootChild(document, "wingspans").children("wingspan")) {
        const std::string type = gf_xmlAttributeText(node, "type");
        const double meters = node.attribute("meters").as_double(0.0);
        if (type.empty() || !g_dbase.knownTypes.contains(type)) {
            gf_logHighlight(fmt::format("wingspan model {} is not valid, skipped", type));
            continue;
        }
        anyKept = true;
        const double half_nm = meters * 0.5 * kNmPerMetre;
        g_dbase.halfWingspans.emplace(type, half_nm);
        if (half_nm > g_dbase.maxHalfWingspan) g_dbase.maxHalfWingspan = half_nm;
    }
    if (anyKept) lf_averageCategorySpans();
}

void lf_readFixes(const pugi::xml_document& document) {
    for (pugi::xml_node node : gf_rootChild(document, "fixes").children("fx")) {
        std::string wrong = gf_xmlAttributeText(node, "wro");
        std::string correct = gf_xmlAttributeText(node, "cor");
        if (correct.empty() || !g_dbase.knownTypes.contains(correct)) {
            gf_logHighlight(fmt::format("wrong fix {} -> {}, the latter is not valid", wrong, correct));
            continue;
        }
        if (!g_dbase.codeFixes.emplace(wrong, std::move(correct)).second) {
            gf_logHighlight(fmt::format("wrong part of fix: '{}', already exists, skipped", wrong));
        }
    }
}

void lf_readThirdParties(const pugi::xml_document& document) {
    g_dbase.thirdPartyAirports.reserve(kThirdPartyReserve);
    for (pugi::xml_node node : gf_rootChild(document, "thirdpartiesP3D").children("thirdpartieP3D")) {
        g_dbase.thirdPartyAirports.push_back(
            ThirdPartyAirports{gf_xmlAttributeText(node, "pub"), gf_splitAt(gf_xmlAttributeText(node, "arpts"))});
    }
}

void lf_readRegistrations(const pugi::xml_document& document) {
    g_dbase.registrations.clear();
    g_dbase.shortRegistrationKeys.clear();
    for (pugi::xml_node node : gf_rootChild(document, "dbase").children("db")) {
        std::string reg = gf_xmlAttributeText(node, "reg");
        DbaseRecord record{gf_xmlAttributeText(node, "airl"), gf_xmlAttributeText(node, "type"),
                           gf_xmlAttributeText(node, "opr"), node.attribute("cargo").as_bool(false)};
        // An empty key would "occur" in every livery title and hand them all
        // one airline's registration.
        if (reg.empty()) {
            gf_logHighlight(fmt::format("dbase record without registration skipped: {} {}", record.airl, record.type));
            continue;
        }
        if (!g_dbase.registrations.emplace(reg, std::move(record)).second) {
            gf_logHighlight(fmt::format("regcode {} already exists", reg));
        }
    }
    // Views of the map's own keys: nodes of an unordered_map never move.
    for (const auto& entry : g_dbase.registrations) {
        if (entry.first.size() < kShortRegistrationLength) g_dbase.shortRegistrationKeys.insert(entry.first);
    }
    gf_logLine(fmt::format("{} dbase records read", g_dbase.registrations.size()));
    gf_logFlush();
}

}  // namespace

bool gf_readDbaseXml(const fs::path& xmlPath) {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_file(xmlPath.c_str());
    if (!parsed) {
        gf_logHighlight(fmt::format("'{}' not read because of {}", gf_pathToUtf8(xmlPath), parsed.description()));
        return false;
    }
    // A second read starts from nothing, so no group or span is counted twice.
    g_dbaseReady.store(false);
    g_dbase = Dbase{};
    lf_readTypeSet(document, "aircrafts", g_dbase.knownTypes, "aircraft");
    lf_readTypeSet(document, "high_performance", g_dbase.highPerfTypes, "hpf");
    lf_readTypeSet(document, "heavy", g_dbase.heavyTypes, "hvy");
    lf_readTypeSet(document, "large", g_dbase.largeTypes, "lar");
    lf_readTypeSet(document, "buzjet", g_dbase.buzjetTypes, "bzj");
    lf_readTypeSet(document, "rotorcraft", g_dbase.rotorcraftTypes, "rot");
    lf_readTypeSet(document, "cargo_types", g_dbase.cargoTypes, "cargo_type");
    lf_readSimilarGroups(document);
    lf_readIcaoCodeSet(document, "ICAO_airlines", g_dbase.icaoAirlines);
    lf_readIcaoCodeSet(document, "cargo_operators", g_dbase.cargoOperators);
    lf_readPublishers(document);
    lf_readWingspans(document);
    lf_readFixes(document);
    lf_readXmlList(document, "simaddonsP3D", g_dbase.simAddonAirports, "simaddonP3D", "arpts");
    lf_readThirdParties(document);
    lf_readRegistrations(document);
    g_dbaseReady.store(true, std::memory_order_release);
    return true;
}

bool gf_readDbase() {
    const WorkPaths& paths = gf_workPaths();
    const fs::path& enc = paths.dbaseEnc;
    const fs::path xml = paths.input / "dbase.xml";
    if (!fs::exists(enc)) throw std::runtime_error(fmt::format("{} not available", gf_pathToUtf8(enc)));
    PlainFileGuard guard(xml);
    if (!gf_streamDecrypt(enc, xml)) {
        // Only reached when the update check could not replace the damaged
        // file at this start (the site was out of reach): the user must know
        // that starting again mends it, not that the program is broken.
        throw std::runtime_error(fmt::format(
            "{} stream decrypt failed: the file is damaged, the next start fetches it anew from the download site",
            gf_pathToUtf8(enc)));
    }
    return gf_readDbaseXml(xml);
}

std::size_t lf_publisherGroupCount() { return g_dbase.publisherGroups.size(); }

void gf_resetDbase() {
    g_dbaseReady.store(false);
    g_dbase = Dbase{};
}
