#include "catalogue/catalogue.h"

#include "catalogue/dbase_queries.h"
#include "catalogue/liveries_xml.h"
#include "catalogue/livery.h"
#include "catalogue/regcode_map.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/random.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/text.h"
#include "core/ui_sink.h"

#include <fmt/format.h>

#include <algorithm>

LiveryCatalogue g_catalogue;
std::atomic<bool> g_catalogueProcessed{false};
std::atomic<std::size_t> g_liveryCount{0};

namespace {

std::atomic<bool> g_catalogueStale{false};
bool g_catalogueReserved = false;

constexpr std::size_t kTitleListReserve = 4048;
constexpr std::size_t kModelsPerLogLine = 20;

void lf_releaseScanList() { std::list<Livery>().swap(g_liveryScanList); }

void lf_repaintCounters() { gf_uiSink().invalidateBand(UiBand::counters); }

// The traffic option of a category that must be off when it has no livery.
struct CategoryOption {
    CheckBoxParameter* setting;
    const char* switchedOffLine;
};

std::optional<CategoryOption> lf_categoryOption(AcCategory category) {
    switch (category) {
        case AcCategory::Light:
            return CategoryOption{&LIGHT_AIRCRAFT,
                                  "{} temporarily switched off because you do not have light aircraft installed"};
        case AcCategory::HighPerf:
            return CategoryOption{&HIGH_PERF_AIRCRAFT,
                                  "{} temporarily switched off because you do not have High Perf aircraft installed"};
        case AcCategory::Rotorcraft:
            return CategoryOption{&HELICOPTERS,
                                  "{} temporarily switched off because you do not have Helicopters installed"};
        default:
            return std::nullopt;
    }
}

void lf_logModelList(std::vector<std::string>* randomList, const std::vector<std::string>& models) {
    std::string line = "  ";
    std::size_t inLine = 0;
    for (const std::string& model : models) {
        line += model;
        line += ',';
        if (randomList) randomList->push_back(model);
        if (++inLine == kModelsPerLogLine) {
            line.pop_back();
            gf_logLine(line);
            line = "  ";
            inLine = 0;
        }
    }
    if (inLine > 0) {
        line.pop_back();
        gf_logLine(line);
    }
}

std::vector<std::string>* lf_randomListOf(AcCategory category) {
    switch (category) {
        case AcCategory::Light: return &g_catalogue.randomLightModels;
        case AcCategory::Buzjets: return &g_catalogue.randomBuzjetModels;
        case AcCategory::Rotorcraft: return &g_catalogue.randomRotorcraftModels;
        default: return nullptr;
    }
}

std::string lf_randomModelOf(const std::vector<std::string>& models) {
    if (models.empty()) return {};
    if (models.size() == 1) return models.front();
    return models[g_rng() % models.size()];
}

void lf_storeTitles(TextMap<std::vector<CatalogueTitle>>& inner, const std::string& model,
                    std::vector<CatalogueTitle>& titles) {
    if (titles.empty()) return;
    auto& slot = inner[model];
    // A model met twice for one airline (a hand-edited, unsorted cache) adds
    // to what it had instead of replacing it.
    if (slot.empty()) {
        slot = titles;
    } else {
        slot.insert(slot.end(), titles.begin(), titles.end());
    }
    titles.clear();
}

void lf_storeInner(const std::string& airline, TextMap<std::vector<CatalogueTitle>>& inner) {
    if (inner.empty()) return;
    auto& slot = g_catalogue.liveriesByAirline[airline];
    for (auto& [model, titles] : inner) {
        auto& target = slot[model];
        target.insert(target.end(), std::make_move_iterator(titles.begin()), std::make_move_iterator(titles.end()));
    }
    inner.clear();
}

void lf_buildTitleIndex() {
    g_catalogue.titleIndex.clear();
    for (const auto& [airline, models] : g_catalogue.liveriesByAirline) {
        for (const auto& [model, titles] : models) {
            for (const CatalogueTitle& entry : titles) g_catalogue.titleIndex.emplace(entry.title, entry.title);
        }
    }
}

}  // namespace

void lf_buildLiveryCatalogue() {
    std::string currentAirline;
    std::string currentModel;
    std::vector<CatalogueTitle> titles;
    titles.reserve(kTitleListReserve);
    TextMap<std::vector<CatalogueTitle>> inner;
    bool first = true;
    for (const Livery& livery : g_liveryScanList) {
        if (first || livery.type != currentModel) {
            lf_storeTitles(inner, currentModel, titles);
            currentModel = livery.type;
        }
        if (first || livery.airl != currentAirline) {
            lf_storeTitles(inner, currentModel, titles);
            lf_storeInner(currentAirline, inner);
            currentAirline = livery.airl;
        }
        first = false;
        titles.push_back(CatalogueTitle{livery.title, livery.cargo});
    }
    lf_storeTitles(inner, currentModel, titles);
    lf_storeInner(currentAirline, inner);
    lf_buildTitleIndex();
}

void lf_buildAirlineMaps() {
    for (const auto& [airline, models] : g_catalogue.liveriesByAirline) {
        ModelTitles pax;
        ModelTitles cargo;
        for (const auto& [model, titles] : models) {
            TitleViews paxViews;
            TitleViews cargoViews;
            for (const CatalogueTitle& entry : titles) (entry.cargo ? cargoViews : paxViews).push_back(entry.title);
            if (!cargoViews.empty()) cargo.emplace(model, std::move(cargoViews));
            if (!paxViews.empty()) pax.emplace(model, std::move(paxViews));
        }
        if (!cargo.empty()) g_catalogue.cargoTitlesByAirline.emplace(airline, std::move(cargo));
        if (!pax.empty()) g_catalogue.paxTitlesByAirline.emplace(airline, std::move(pax));
    }
}

void lf_buildModelMaps() {
    struct Entry {
        std::string_view model;
        std::string_view title;
        bool cargo;
    };
    std::vector<Entry> entries;
    for (const auto& [airline, models] : g_catalogue.liveriesByAirline) {
        for (const auto& [model, titles] : models) {
            for (const CatalogueTitle& entry : titles) entries.push_back(Entry{model, entry.title, entry.cargo});
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.model < b.model; });
    for (std::size_t i = 0; i < entries.size();) {
        const std::string_view model = entries[i].model;
        TitleViews pax;
        TitleViews cargo;
        for (; i < entries.size() && entries[i].model == model; ++i) {
            (entries[i].cargo ? cargo : pax).push_back(entries[i].title);
        }
        if (!cargo.empty()) g_catalogue.cargoTitlesByModel.emplace(std::string(model), std::move(cargo));
        if (!pax.empty()) g_catalogue.paxTitlesByModel.emplace(std::string(model), std::move(pax));
    }
}

void lf_categoryTally(AcCategory category) {
    std::vector<std::string> models;
    std::size_t pax = 0;
    std::size_t cargo = 0;
    for (const auto& [model, titles] : g_catalogue.paxTitlesByModel) {
        if (gf_acCategory(model) != category) continue;
        pax += titles.size();
        models.push_back(model);
    }
    for (const auto& [model, titles] : g_catalogue.cargoTitlesByModel) {
        if (gf_acCategory(model) != category) continue;
        cargo += titles.size();
        models.push_back(model);
    }
    const std::string name = gf_categoryName(category);
    const std::optional<CategoryOption> option = lf_categoryOption(category);
    if (pax == 0 && cargo == 0) {
        gf_logLine(fmt::format("Category {}: No livery found", name));
        if (!option) return;
        if (option->setting->value()) {
            option->setting->setValue(false);
            gf_saveBoolParameter(*option->setting);
            gf_uiSink().setCheck(option->setting->controlId(), false);
            gf_logLine(fmt::format(fmt::runtime(option->switchedOffLine), option->setting->name()));
        }
        gf_uiSink().enableControl(option->setting->controlId(), false);
        return;
    }
    const std::string cargoPart =
        cargo > 0 ? fmt::format(" and {} cargo liverie{}", cargo, gf_pluralSize(cargo)) : std::string();
    gf_logLine(fmt::format("Category {}: {} pax liverie{}{}", name, pax, gf_pluralSize(pax), cargoPart));
    std::sort(models.begin(), models.end());
    models.erase(std::unique(models.begin(), models.end()), models.end());
    lf_logModelList(lf_randomListOf(category), models);
    if (option) gf_uiSink().enableControl(option->setting->controlId(), true);
}

void lf_logGenericLiveries() {
    const auto it = g_catalogue.liveriesByAirline.find(kGenericAirline);
    if (it == g_catalogue.liveriesByAirline.end()) {
        gf_logLine("No generic liveries");
        return;
    }
    std::vector<std::string> models;
    for (const auto& entry : it->second) models.push_back(entry.first);
    std::sort(models.begin(), models.end());
    models.erase(std::unique(models.begin(), models.end()), models.end());
    gf_logLine(fmt::format("{} model{} have a generic livery", models.size(), gf_pluralSize(models.size())));
    lf_logModelList(nullptr, models);
}

void gf_processScannedLiveries() {
    if (g_catalogueStale.exchange(false)) {
        gf_clearLiveryCatalogue();
        g_catalogueProcessed = false;
    }
    if (g_catalogueProcessed) {
        gf_logLine("Processing scanned liveries skipped; already done in previous start-up");
        lf_releaseScanList();
        return;
    }
    // A run that is ending (a scan stopped before it had ever written a
    // cache) needs no catalogue: a missing cache must not replace the
    // reason that stopped the run with an error.
    std::error_code ec;
    if (gf_stopFlagSet() && !std::filesystem::exists(gf_workPaths().liveriesScanned, ec)) return;
    // A failed earlier build (an exception from the reader or a step) may
    // have left part of a catalogue: start from nothing.
    gf_clearLiveryCatalogue();
    lf_readLiveriesXml();
    g_liveryCount = g_liveryScanList.size();
    lf_repaintCounters();
    lf_buildLiveryCatalogue();
    lf_buildAirlineMaps();
    lf_processInlineRegcodes();
    lf_processRegcodeFiles();
    gf_logLine(fmt::format("{} registration codes", g_catalogue.regcodeTitles.size()));
    lf_buildModelMaps();
    gf_logLine(fmt::format("{} airlines, {} pax aircraft models and {} cargo aircraft models",
                           g_catalogue.liveriesByAirline.size(), g_catalogue.paxTitlesByModel.size(),
                           g_catalogue.cargoTitlesByModel.size()));
    lf_buildSimilarModels();
    for (std::uint32_t c = 0; c < kCategoryCount; ++c) lf_categoryTally(static_cast<AcCategory>(c));
    lf_logGenericLiveries();
    g_catalogueProcessed = true;
    lf_repaintCounters();
    lf_releaseScanList();
}

void gf_clearLiveryCatalogue() {
    gf_clearSimilarModels();
    // Views before their owner: nothing may point into freed titles.
    g_catalogue.randomLightModels.clear();
    g_catalogue.randomBuzjetModels.clear();
    g_catalogue.randomRotorcraftModels.clear();
    g_catalogue.soleSpecialRegistrations.clear();
    g_catalogue.reservedTitles.clear();
    g_catalogue.reservedTitleSet.clear();
    g_catalogue.regcodeTitles.clear();
    g_catalogue.titleIndex.clear();
    g_catalogue.paxTitlesByModel.clear();
    g_catalogue.cargoTitlesByModel.clear();
    g_catalogue.paxTitlesByAirline.clear();
    g_catalogue.cargoTitlesByAirline.clear();
    g_catalogue.liveriesByAirline.clear();
}

void gf_markLiveryCatalogueStale() { g_catalogueStale = true; }

bool gf_liveryCatalogueStale() { return g_catalogueStale.load(); }

void gf_reserveLiveryCatalogue() {
    if (g_catalogueReserved) return;
    g_catalogueReserved = true;
    g_catalogue.reservedTitles.reserve(4096);
    g_catalogue.randomLightModels.reserve(64);
    g_catalogue.randomBuzjetModels.reserve(128);
    g_catalogue.randomRotorcraftModels.reserve(32);
}

std::string_view gf_catalogueTitleView(std::string_view title) {
    const auto it = g_catalogue.titleIndex.find(title);
    return it == g_catalogue.titleIndex.end() ? std::string_view() : it->second;
}

bool gf_hasAirlineModel(std::string_view airline, std::string_view model) {
    const auto it = g_catalogue.liveriesByAirline.find(airline);
    return it != g_catalogue.liveriesByAirline.end() && it->second.find(model) != it->second.end();
}

std::vector<std::string> gf_catalogueAirlines() {
    std::vector<std::string> airlines;
    airlines.reserve(g_catalogue.liveriesByAirline.size());
    for (const auto& entry : g_catalogue.liveriesByAirline) airlines.push_back(entry.first.substr(0, 3));
    return airlines;
}

std::string gf_randomLightModel() { return lf_randomModelOf(g_catalogue.randomLightModels); }
std::string gf_randomBuzjetModel() { return lf_randomModelOf(g_catalogue.randomBuzjetModels); }
std::string gf_randomRotorcraftModel() { return lf_randomModelOf(g_catalogue.randomRotorcraftModels); }
