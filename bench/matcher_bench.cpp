// The livery matcher against a large catalogue: 20,000 installed liveries of
// 200 airlines and 60 models, 10,000 aircraft of a traffic mix (known and
// unknown airlines, registrations with regcodes, cargo, every category).
// Prints the time per match, the median of several passes over the whole
// traffic (each pass on a fresh copy); the matcher runs inside the 10 ms
// traffic pass, so one match should stay well under 20 µs.
#include "support/window_stand_in.h"
#include "catalogue/catalogue.h"
#include "catalogue/dbase.h"
#include "catalogue/dbase_queries.h"
#include "catalogue/livery.h"
#include "catalogue/matcher.h"
#include "catalogue/regcode_map.h"
#include "core/random.h"
#include "core/settings.h"

#include <fmt/format.h>

#include "interleaved.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kAirlines = 200;
constexpr int kModels = 60;
constexpr int kLiveries = 20000;
constexpr int kAircraft = 10000;

std::string lf_airline(int i) { return fmt::format("{}{:02}", static_cast<char>('A' + i / 100), i % 100); }
std::string lf_model(int i) { return fmt::format("M{:03}", i); }

// Models 0..29 Large, 30..39 Heavy, 40..49 Light, 50..54 Buzjets,
// 55..57 Rotorcraft, 58..59 HighPerf; similar groups of five.
void lf_buildDbase() {
    for (int m = 0; m < kModels; ++m) {
        const std::string model = lf_model(m);
        g_dbase.knownTypes.insert(model);
        if (m < 30) g_dbase.largeTypes.insert(model);
        else if (m < 40) g_dbase.heavyTypes.insert(model);
        else if (m >= 50 && m < 55) g_dbase.buzjetTypes.insert(model);
        else if (m >= 55 && m < 58) g_dbase.rotorcraftTypes.insert(model);
        else if (m >= 58) g_dbase.highPerfTypes.insert(model);
    }
    for (int g = 0; g < kModels; g += 5) {
        std::vector<std::string> group;
        for (int m = g; m < g + 5; ++m) group.push_back(lf_model(m));
        g_dbase.similarGroups.push_back(group);
    }
    for (int r = 0; r < 50000; ++r) {
        g_dbase.registrations.emplace(fmt::format("R{:05}", r),
                                      DbaseRecord{lf_airline(r % kAirlines), lf_model(r % kModels), "opr", r % 17 == 0});
    }
    g_dbaseReady = true;
}

void lf_buildCatalogue() {
    for (int i = 0; i < kLiveries; ++i) {
        const int airline = (i * 7) % kAirlines;
        // Each airline flies eight models, so the other models of its traffic
        // go down the ladder.
        const int model = (airline * 7 + (i / kAirlines) % 8) % (kModels - 5);
        const std::string airl = i % 97 == 0 ? "ZZZ" : lf_airline(airline);
        g_liveryScanList.emplace_back(airl, lf_model(model), fmt::format("Livery {} {} {}", airl, lf_model(model), i),
                                      i % 3 == 0 ? fmt::format("R{:05}", i) : std::string(), 0u, i % 11 == 0);
    }
    g_liveryScanList.sort();
    lf_buildLiveryCatalogue();
    lf_buildAirlineMaps();
    lf_processInlineRegcodes();
    // Sole special registrations S0000.. for 300 installed titles.
    std::vector<Regcode> special;
    for (const Livery& l : g_liveryScanList) {
        if (special.size() >= 300) break;
        if (l.atcid.empty() && l.airl != "ZZZ") {
            special.push_back(Regcode{l.title, {fmt::format("S{:04}", special.size())}, true});
        }
    }
    lf_mergeRegcodes(special);
    lf_buildModelMaps();
    lf_buildSimilarModels();
    for (std::uint32_t c = 0; c < kCategoryCount; ++c) lf_categoryTally(static_cast<AcCategory>(c));
}

std::vector<AcHead> lf_traffic() {
    std::vector<AcHead> traffic;
    traffic.reserve(kAircraft);
    for (int i = 0; i < kAircraft; ++i) {
        AcHead ac;
        ac.hexid = static_cast<std::uint32_t>(i);
        ac.callsign = fmt::format("CS{}", i);
        ac.airline = i % 13 == 0 ? "UNK" : (i % 29 == 0 ? "PVT" : lf_airline((i * 3) % kAirlines));
        ac.model = lf_model((i * 5) % kModels);
        ac.registration = i % 4 == 0    ? fmt::format("R{:05}", (i * 37) % 60000)
                          : i % 50 == 1 ? fmt::format("S{:04}", (i / 50) % 300)
                                        : std::string();
        ac.category = gf_acCategory(ac.model);
        ac.cargo = i % 9 == 0;
        traffic.push_back(std::move(ac));
    }
    return traffic;
}

}  // namespace

int main(int argc, char** argv) {
    WindowStandIn::installed();
    const int passes = argc > 1 ? std::atoi(argv[1]) : 31;
    g_rng.seed(2024);
    MATCHING_DEPTH.setValue(4);
    lf_buildDbase();
    lf_buildCatalogue();
    const std::vector<AcHead> fresh = lf_traffic();
    std::size_t matched = 0;
    std::vector<double> passes_us;
    for (int p = 0; p < passes; ++p) {
        std::vector<AcHead> traffic = fresh;
        matched = 0;
        const auto start = std::chrono::steady_clock::now();
        for (AcHead& ac : traffic) {
            gf_matchLivery(ac);
            if (!ac.liveryTitle.empty()) ++matched;
        }
        passes_us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    const double elapsed = gf_median(passes_us);
    const auto [fastest, slowest] = std::minmax_element(passes_us.begin(), passes_us.end());
    std::printf("matcher: %d aircraft against %d liveries (%zu pax models, %zu regcodes, %zu reserved titles)\n",
                kAircraft, kLiveries, g_catalogue.paxTitlesByModel.size(), g_catalogue.regcodeTitles.size(),
                g_catalogue.reservedTitles.size());
    std::printf("matched %zu, %.2f us per match, median of %d passes (%.2f..%.2f; goal: under 20 us)\n", matched,
                elapsed / kAircraft, passes, *fastest / kAircraft, *slowest / kAircraft);
    for (std::size_t step = 0; step < kMatchStepCount; ++step) {
        std::printf("  step %zu: %u a pass\n", step, g_matchStepCounts[step] / static_cast<std::uint32_t>(passes));
    }
    // For scripts/bench.
    std::printf("RESULT matcher_us %.2f us\n", elapsed / kAircraft);
    return 0;
}
