#include "catalogue/dbase_queries.h"

#include "catalogue/catalogue.h"
#include "core/log.h"
#include "core/random.h"
#include "core/text.h"
#include "core/text_encoding.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

namespace {

// Registrations of this length or more without a dash may have lost it.
constexpr std::size_t kDashFormMinLength = 5;

TextMap<std::vector<std::string>> g_similarModelsWithLiveries;
TextMap<TextMap<std::vector<std::string>>> g_airlineSimilarModels;
const std::vector<std::string> g_noModels;
// The one model of a category fallback; kept between calls so the caller can
// walk it by reference.
std::vector<std::string> g_scratchModels;

std::optional<DbaseRecord> lf_recordOf(std::string_view key, bool withoutAirline = false) {
    const auto it = g_dbase.registrations.find(key);
    // A record without airline names nobody: the callers would look up
    // liveries of the airline "" on its word.
    if (it == g_dbase.registrations.end() || (it->second.airl.empty() && !withoutAirline)) return std::nullopt;
    return it->second;
}

char lf_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool lf_hasLiveries(std::string_view model) {
    return g_catalogue.paxTitlesByModel.find(model) != g_catalogue.paxTitlesByModel.end() ||
           g_catalogue.cargoTitlesByModel.find(model) != g_catalogue.cargoTitlesByModel.end();
}

}  // namespace

AcCategory gf_acCategory(std::string_view type) {
    if (g_dbase.largeTypes.contains(type)) return AcCategory::Large;
    if (g_dbase.heavyTypes.contains(type)) return AcCategory::Heavy;
    if (g_dbase.buzjetTypes.contains(type)) return AcCategory::Buzjets;
    if (g_dbase.rotorcraftTypes.contains(type)) return AcCategory::Rotorcraft;
    if (g_dbase.highPerfTypes.contains(type)) return AcCategory::HighPerf;
    return AcCategory::Light;
}

std::string gf_categoryName(AcCategory category) {
    static const char* const kNames[] = {"Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"};
    const auto index = static_cast<std::size_t>(category);
    if (index >= std::size(kNames)) throw std::out_of_range("gf_categoryName: category");
    return kNames[index];
}

bool gf_isKnownAcType(std::string_view type) { return !type.empty() && g_dbase.knownTypes.contains(type); }

bool lf_isIcaoAirline(std::string_view code) { return !code.empty() && g_dbase.icaoAirlines.contains(code); }

double gf_halfWingspanNm(std::string_view type) {
    const auto it = g_dbase.halfWingspans.find(type);
    if (it != g_dbase.halfWingspans.end()) return it->second;
    return g_dbase.categoryHalfWingspans[static_cast<std::size_t>(gf_acCategory(type))];
}

std::vector<std::string> gf_registrationKeys(std::string_view registration) {
    std::vector<std::string> keys;
    if (registration.size() >= kDashFormMinLength && registration.front() != 'N' &&
        registration.find('-') == std::string_view::npos) {
        keys.reserve(3);
        keys.push_back(fmt::format("{}-{}", registration.substr(0, 2), registration.substr(2)));
        keys.push_back(fmt::format("{}-{}", registration.substr(0, 1), registration.substr(1)));
    }
    keys.emplace_back(registration);
    return keys;
}

std::optional<DbaseRecord> gf_lookupRegistration(std::string_view registration) {
    if (registration.empty()) return std::nullopt;
    for (const std::string& key : gf_registrationKeys(registration)) {
        if (auto record = lf_recordOf(key)) return record;
    }
    return std::nullopt;
}

std::optional<DbaseRecord> gf_lookupRegistrationRecord(std::string_view registration) {
    if (registration.empty()) return std::nullopt;
    for (const std::string& key : gf_registrationKeys(registration)) {
        if (auto record = lf_recordOf(key, true)) return record;
    }
    return std::nullopt;
}

std::optional<DbaseRecord> gf_findRegistrationKey(std::string_view key) { return lf_recordOf(key); }

std::string lf_airlineOfRegistration(std::string_view registration) {
    const auto record = gf_lookupRegistration(registration);
    return record ? record->airl : std::string();
}

std::string lf_operatorOfRegistration(std::string_view registration) {
    const auto record = gf_lookupRegistration(registration);
    return record ? record->opr : std::string();
}

std::optional<std::string> lf_registrationInTitle(std::string_view title) {
    // Every short key is under kShortRegistrationLength bytes: trying each
    // substring of those lengths replaces a walk over the whole Dbase.
    std::optional<std::string_view> best;
    for (std::size_t start = 0; start < title.size(); ++start) {
        for (std::size_t length = 1; length < kShortRegistrationLength && start + length <= title.size(); ++length) {
            const std::string_view part = title.substr(start, length);
            if (g_dbase.shortRegistrationKeys.contains(part) && (!best || part < *best)) best = part;
        }
    }
    if (!best) return std::nullopt;
    return std::string(*best);
}

bool gf_pathContainsNoCase(const std::filesystem::path& path, std::string_view name) {
    if (name.empty()) return true;
    std::string text = gf_pathToUtf8(path);
    std::string lowerName(name);
    std::transform(text.begin(), text.end(), text.begin(), lf_lower);
    std::transform(lowerName.begin(), lowerName.end(), lowerName.begin(), lf_lower);
    return text.find(lowerName) != std::string::npos;
}

std::optional<std::string> gf_publisherOfPath(const std::filesystem::path& path) {
    const std::string text = gf_pathToUtf8(path);
    for (const std::vector<std::string>& group : g_dbase.publisherGroups) {
        for (const std::string& name : group) {
            if (name.empty() || text.find(name) != std::string::npos || gf_pathContainsNoCase(path, name)) {
                return group.front();
            }
        }
    }
    return std::nullopt;
}

void lf_buildSimilarModels() {
    TextSet candidates;
    for (const std::vector<std::string>& group : g_dbase.similarGroups) {
        for (std::size_t i = 0; i < group.size(); ++i) {
            std::string candidate = group[i];
            bool any = false;
            for (std::size_t j = 0; j < group.size(); ++j) {
                if (j == i || !lf_hasLiveries(group[j])) continue;
                candidate += ',';
                candidate += group[j];
                any = true;
            }
            if (any) candidates.insert(std::move(candidate));
        }
    }
    for (const std::string& candidate : candidates) {
        std::vector<std::string> items = gf_split(candidate, ',');
        std::string key = std::move(items.front());
        items.erase(items.begin());
        g_similarModelsWithLiveries.emplace(std::move(key), std::move(items));
    }
    for (const std::string& airline : gf_catalogueAirlines()) {
        TextMap<std::vector<std::string>> table;
        for (const auto& [model, similar] : g_similarModelsWithLiveries) {
            if (gf_hasAirlineModel(airline, model)) continue;
            std::vector<std::string> owned;
            for (const std::string& s : similar) {
                if (gf_hasAirlineModel(airline, s)) owned.push_back(s);
            }
            if (!owned.empty()) table.emplace(model, std::move(owned));
        }
        if (!table.empty()) g_airlineSimilarModels.emplace(airline, std::move(table));
    }
    gf_logLine(fmt::format("{} similar model definitions", g_similarModelsWithLiveries.size()));
}

const std::vector<std::string>& lf_similarModels(std::string_view model) {
    const auto it = g_similarModelsWithLiveries.find(model);
    if (it != g_similarModelsWithLiveries.end()) {
        gf_shuffle(it->second);
        return it->second;
    }
    std::string fallback;
    switch (gf_acCategory(model)) {
        case AcCategory::Light: fallback = gf_randomLightModel(); break;
        case AcCategory::Buzjets: fallback = gf_randomBuzjetModel(); break;
        case AcCategory::Rotorcraft: fallback = gf_randomRotorcraftModel(); break;
        default: return g_noModels;
    }
    if (fallback.empty()) return g_noModels;
    g_scratchModels.clear();
    g_scratchModels.push_back(std::move(fallback));
    return g_scratchModels;
}

const std::vector<std::string>& lf_similarModelsForAirline(std::string_view airline, std::string_view model) {
    const auto byAirline = g_airlineSimilarModels.find(airline);
    if (byAirline == g_airlineSimilarModels.end()) return g_noModels;
    const auto byModel = byAirline->second.find(model);
    if (byModel == byAirline->second.end()) return g_noModels;
    gf_shuffle(byModel->second);
    return byModel->second;
}

void gf_clearSimilarModels() {
    g_similarModelsWithLiveries.clear();
    g_airlineSimilarModels.clear();
    g_scratchModels.clear();
}

std::size_t gf_similarModelCount() { return g_similarModelsWithLiveries.size(); }
