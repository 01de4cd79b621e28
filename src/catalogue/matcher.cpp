#include "catalogue/matcher.h"

#include "catalogue/catalogue.h"
#include "catalogue/dbase_queries.h"
#include "catalogue/livery.h"
#include "catalogue/match_report.h"
#include "core/log.h"
#include "core/random.h"
#include "core/settings.h"
#include "simlink/creation_tracking.h"

#include <fmt/format.h>

#include <stdexcept>

std::array<std::uint32_t, kMatchStepCount> g_matchStepCounts{};

namespace {

constexpr int kReservedDraws = 5;
constexpr std::string_view kFsltlMark = "FSLTL_";

enum class TitleMap { pax = 0, cargo = 1 };

bool lf_isReserved(std::string_view title) {
    return g_catalogue.reservedTitleSet.find(title) != g_catalogue.reservedTitleSet.end();
}

std::size_t lf_drawIndex(std::size_t n) { return n == 1 ? 0 : g_rng() % n; }

// A title reserved for special registrations is drawn for another aircraft
// only when every candidate is reserved.
void lf_pickRandomTitle(AcHead& aircraft, const TitleViews& candidates) {
    const std::size_t n = candidates.size();
    if (n == 0) return;
    for (int draw = 0; draw < kReservedDraws; ++draw) {
        aircraft.liveryTitle = candidates[lf_drawIndex(n)];
        if (!lf_isReserved(aircraft.liveryTitle)) return;
    }
    TitleViews free;
    for (std::string_view title : candidates) {
        if (!lf_isReserved(title)) free.push_back(title);
    }
    if (!free.empty()) aircraft.liveryTitle = free[lf_drawIndex(free.size())];
}

bool lf_titleForAirlineModel(AcHead& aircraft, std::string_view airline, std::string_view model, TitleMap map) {
    const TextMap<ModelTitles>* titles = nullptr;
    switch (map) {
        case TitleMap::pax: titles = &g_catalogue.paxTitlesByAirline; break;
        case TitleMap::cargo: titles = &g_catalogue.cargoTitlesByAirline; break;
        default: throw std::out_of_range("lf_titleForAirlineModel: map");
    }
    const auto byAirline = titles->find(airline);
    if (byAirline == titles->end()) return false;
    const auto byModel = byAirline->second.find(model);
    if (byModel == byAirline->second.end()) return false;
    lf_pickRandomTitle(aircraft, byModel->second);
    return !aircraft.liveryTitle.empty();
}

bool lf_cargoFirst(AcHead& aircraft, std::string_view airline, std::string_view model) {
    if (aircraft.cargo && lf_titleForAirlineModel(aircraft, airline, model, TitleMap::cargo)) return true;
    return lf_titleForAirlineModel(aircraft, airline, model, TitleMap::pax);
}

bool lf_titleForOwnAirlineModel(AcHead& aircraft) { return lf_cargoFirst(aircraft, aircraft.airline, aircraft.model); }

// A cargo aircraft never takes a passenger livery of another airline.
bool lf_titleForModel(AcHead& aircraft, std::string_view model) {
    const ModelTitles& titles = aircraft.cargo ? g_catalogue.cargoTitlesByModel : g_catalogue.paxTitlesByModel;
    const auto it = titles.find(model);
    if (it == titles.end()) return false;
    lf_pickRandomTitle(aircraft, it->second);
    return !aircraft.liveryTitle.empty();
}

bool lf_titleForSimilarModel(AcHead& aircraft, std::string_view airline) {
    for (const std::string& model : lf_similarModelsForAirline(airline, aircraft.model)) {
        if (gf_acCategory(model) != aircraft.category) continue;
        if (lf_cargoFirst(aircraft, airline, model)) return true;
    }
    return false;
}

bool lf_titleForRegcode(AcHead& aircraft) {
    if (aircraft.registration.empty()) return false;
    aircraft.liveryTitle = ::lf_titleForRegcode(aircraft.registration);
    return !aircraft.liveryTitle.empty();
}

int lf_regcodeStep(const AcHead& aircraft) {
    return g_catalogue.soleSpecialRegistrations.contains(aircraft.registration) ? 0 : 1;
}

bool lf_acceptLivery(AcHead& aircraft, int step) {
    if (gf_isFailedLiveryTitle(aircraft.liveryTitle)) {
        aircraft.liveryTitle = {};
        return false;
    }
    if (step < 0 || static_cast<std::size_t>(step) >= kMatchStepCount) {
        throw std::out_of_range("lf_acceptLivery: step");
    }
    ++g_matchStepCounts[static_cast<std::size_t>(step)];
    gf_logLine(fmt::format("          {} ={}= {}", gf_acDescription(aircraft), step, aircraft.liveryTitle));
    aircraft.fsltl = aircraft.liveryTitle.find(kFsltlMark) != std::string_view::npos;
    return true;
}

// The static ladder tests each found title at once and moves on when the
// simulator refused it before.
bool lf_goodStatic(AcHead& aircraft, bool found) {
    if (!found) return false;
    if (gf_isFailedLiveryTitle(aircraft.liveryTitle)) {
        aircraft.liveryTitle = {};
        return false;
    }
    return true;
}

// A title found by a step counts only when it passes: for the static ladder
// a title the simulator refused before is no find, and the next step is tried.
bool lf_found(AcHead& aircraft, bool found, bool skipRefused) {
    return skipRefused ? lf_goodStatic(aircraft, found) : found;
}

// Steps 4 to 6, shared by both ladders (depth 3 or more).
void lf_lastLiveryFallbacks(AcHead& aircraft, int depth, int& step, bool skipRefused) {
    if (aircraft.liveryTitle.empty() && depth == 4 &&
        lf_found(aircraft, lf_cargoFirst(aircraft, kGenericAirline, aircraft.model), skipRefused)) {
        step = 4;
        return;
    }
    if (!aircraft.liveryTitle.empty()) return;
    const AcCategory c = aircraft.category;
    if (c != AcCategory::Light && c != AcCategory::Buzjets && c != AcCategory::Rotorcraft) return;
    if (depth >= 3 && aircraft.airline != kPrivateAirline &&
        lf_found(aircraft, lf_cargoFirst(aircraft, kGenericAirline, aircraft.model), skipRefused)) {
        step = 4;
        return;
    }
    if (lf_found(aircraft, lf_titleForModel(aircraft, aircraft.model), skipRefused)) {
        step = 5;
        return;
    }
    for (const std::string& model : lf_similarModels(aircraft.model)) {
        if (lf_found(aircraft, lf_titleForModel(aircraft, model), skipRefused)) {
            step = 6;
            return;
        }
    }
}

bool lf_acceptStatic(AcHead& aircraft, int step) {
    gf_logLine(fmt::format("          {} ={}= {}", gf_acDescription(aircraft), step, aircraft.liveryTitle));
    return true;
}

bool lf_staticFailure(const AcHead& aircraft, std::string_view standName) {
    gf_logLine(fmt::format("{:8}: {} no livery match ...", standName, gf_acDescriptionLong(aircraft)));
    return false;
}

}  // namespace

std::string_view lf_titleForRegcode(std::string_view registration) {
    if (registration.empty()) return {};
    const auto it = g_catalogue.regcodeTitles.find(registration);
    return it == g_catalogue.regcodeTitles.end() ? std::string_view() : it->second;
}

void gf_matchLivery(AcHead& aircraft) {
    const int depth = MATCHING_DEPTH.value();
    if (lf_titleForRegcode(aircraft) && lf_acceptLivery(aircraft, lf_regcodeStep(aircraft))) return;
    if (depth < 2) return;
    if (aircraft.airline == kPrivateAirline && lf_cargoFirst(aircraft, kGenericAirline, aircraft.model) &&
        lf_acceptLivery(aircraft, 4)) {
        return;
    }
    const std::string opr = lf_operatorOfRegistration(aircraft.registration);
    if (!aircraft.airline.empty()) {
        if (lf_titleForOwnAirlineModel(aircraft) && lf_acceptLivery(aircraft, 2)) return;
        if (!opr.empty() && lf_cargoFirst(aircraft, lf_airlineOfRegistration(aircraft.registration), aircraft.model) &&
            lf_acceptLivery(aircraft, 2)) {
            return;
        }
    }
    if (depth < 3) return;
    if (!aircraft.airline.empty()) {
        if (lf_titleForSimilarModel(aircraft, aircraft.airline) && lf_acceptLivery(aircraft, 3)) return;
        if (!opr.empty() && lf_titleForSimilarModel(aircraft, lf_airlineOfRegistration(aircraft.registration)) &&
            lf_acceptLivery(aircraft, 3)) {
            return;
        }
    }
    int step = 0;
    lf_lastLiveryFallbacks(aircraft, depth, step, false);
    if (!aircraft.liveryTitle.empty()) lf_acceptLivery(aircraft, step);
}

bool gf_matchStaticLivery(AcHead& aircraft, std::string_view standName, bool standCargo) {
    if (!aircraft.liveryTitle.empty()) {
        gf_logLine(fmt::format("          {} =s= {}", gf_acDescription(aircraft), aircraft.liveryTitle));
        return true;
    }
    const int depth = MATCHING_DEPTH.value();
    aircraft.cargo = standCargo;
    if (lf_goodStatic(aircraft, lf_titleForRegcode(aircraft))) return lf_acceptStatic(aircraft, lf_regcodeStep(aircraft));
    if (depth < 2) return lf_staticFailure(aircraft, standName);
    if (aircraft.airline == kPrivateAirline &&
        lf_goodStatic(aircraft, lf_cargoFirst(aircraft, kGenericAirline, aircraft.model))) {
        return lf_acceptStatic(aircraft, 4);
    }
    if (lf_goodStatic(aircraft, lf_titleForOwnAirlineModel(aircraft))) return lf_acceptStatic(aircraft, 2);
    const std::string opr = lf_operatorOfRegistration(aircraft.registration);
    const std::string dbaseAirline = opr.empty() ? std::string() : lf_airlineOfRegistration(aircraft.registration);
    if (!opr.empty() && lf_goodStatic(aircraft, lf_cargoFirst(aircraft, dbaseAirline, aircraft.model))) {
        return lf_acceptStatic(aircraft, 2);
    }
    if (depth < 3) return lf_staticFailure(aircraft, standName);
    // The static ladder keeps similar models of any category: a parked
    // aircraft never flies, so its size class matters less than its airline.
    const std::vector<std::string> similar = lf_similarModelsForAirline(aircraft.airline, aircraft.model);
    for (const std::string& model : similar) {
        if (lf_goodStatic(aircraft, lf_cargoFirst(aircraft, aircraft.airline, model))) return lf_acceptStatic(aircraft, 3);
    }
    if (!opr.empty()) {
        for (const std::string& model : similar) {
            if (lf_goodStatic(aircraft, lf_cargoFirst(aircraft, dbaseAirline, model))) {
                return lf_acceptStatic(aircraft, 3);
            }
        }
    }
    int step = 0;
    lf_lastLiveryFallbacks(aircraft, depth, step, true);
    if (!aircraft.liveryTitle.empty()) return lf_acceptStatic(aircraft, step);
    return lf_staticFailure(aircraft, standName);
}

std::string gf_airlineTypeText(std::string_view airline, std::string_view type) {
    return fmt::format("{:3} {:4}", airline, type);
}

std::string gf_airlineTypeText(const AcHead& aircraft) { return gf_airlineTypeText(aircraft.airline, aircraft.model); }

std::string gf_acDescription(const AcHead& aircraft) {
    const std::string route = aircraft.origin.empty() && aircraft.destination.empty()
                                  ? std::string(8, ' ')
                                  : fmt::format("{:3}->{:3}", aircraft.origin, aircraft.destination);
    return fmt::format("{:8} {:8} {} {}", aircraft.callsign, aircraft.registration, route, gf_airlineTypeText(aircraft));
}

std::string gf_acDescriptionLong(const AcHead& aircraft) {
    return fmt::format("{:8} {} {}", aircraft.callsign, aircraft.registration, gf_airlineTypeText(aircraft));
}

std::string gf_unmatchedKey(const AcHead& aircraft) {
    return gf_airlineTypeText(aircraft) + " " + aircraft.registration;
}

void gf_resetMatcher() {
    g_matchStepCounts.fill(0);
    g_unmatchedFlights.clear();
}
