#include "catalogue/match_report.h"

#include "catalogue/matcher.h"
#include "core/log.h"
#include "simlink/creation_tracking.h"

#include <fmt/format.h>

#include <algorithm>
#include <string>
#include <vector>

std::unordered_set<std::string> g_unmatchedFlights;

namespace {
constexpr int kBannerWidth = 100;
}  // namespace

void gf_addUnmatched(const std::string& line) { g_unmatchedFlights.insert(line); }
bool gf_isUnmatched(const std::string& line) { return g_unmatchedFlights.contains(line); }
void gf_clearUnmatchedFlights() { g_unmatchedFlights.clear(); }

void gf_logLiveryMatchingSummary() {
    std::vector<std::string> failed = gf_creationFailureReport();
    for (std::string& line : failed) line.insert(0, "  ");
    if (std::all_of(g_matchStepCounts.begin(), g_matchStepCounts.end(), [](std::uint32_t n) { return n == 0; })) {
        return;
    }
    std::vector<std::string> lines;
    lines.push_back(gf_logBanner(kBannerWidth, 0, true, false, "live traffic livery matching summary"));
    lines.emplace_back("Matches at step: ");
    for (std::size_t step = 0; step < g_matchStepCounts.size(); ++step) {
        lines.push_back(fmt::format("  {}: {}", step, g_matchStepCounts[step]));
    }
    if (!failed.empty()) {
        lines.push_back(fmt::format("\nCould not be created by {}:", "P3D"));
        lines.insert(lines.end(), failed.begin(), failed.end());
    }
    lines.push_back(gf_logBanner(kBannerWidth, 0, false, true, ""));
    for (const std::string& line : lines) gf_logLine(line);
}

void gf_logUnmatchedFlights() {
    if (g_unmatchedFlights.empty()) return;
    gf_logLine("\nNo match found for:");
    for (const std::string& line : g_unmatchedFlights) gf_logLine(line);
    gf_logLine("");
}
