#include "airports/quality_factor.h"

#include "core/settings.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <fmt/format.h>

namespace {

// Stands whose radius (in NM, as the list holds it) is at most 7 weigh 0.3,
// which every real stand does: the factors are then plain means.
double lf_standWeight(const Stand& s) {
    if (s.radius <= 7.0) return 0.3;
    if (s.radius <= 10.0) return 1.5;
    return 1.0;
}

struct KindTally {
    int count = 0;
    std::uint32_t days = 0;       // bit d for weekday d
    std::uint64_t halfHours = 0;  // union of the sets
    int bits = 0;                 // sum of the set sizes

    double score() const {
        return std::min(20.0 * count, 4000.0) + 10000.0 + 100.0 * std::popcount(days) +
               12.5 * std::popcount(halfHours) + 2.0 * std::min(bits, 600);
    }
};

std::int32_t lf_factor(double sum, double weight) {
    const double value = std::round(sum / weight * 0.00625);
    return static_cast<std::int32_t>(std::clamp(value, 0.0, 100.0));
}

}  // namespace

QualityPair gf_qualityFactor(const std::vector<Stand>& stands) {
    const bool anyOption = std::any_of(stands.begin(), stands.end(), [](const Stand& s) { return !s.options.empty(); });
    if (!anyOption) return {-1, -1};
    double weight = 0.0, sumReal = 0.0, sumSoft = 0.0;
    for (const Stand& s : stands) {
        const double w = lf_standWeight(s);
        weight += w;
        KindTally real, soft;
        for (const StandOption& o : s.options) {
            if (o.index == 0) continue;
            KindTally& t = o.real != 0 ? real : soft;
            ++t.count;
            if (o.day >= 1 && o.day <= 7) t.days |= 1u << o.day;
            const std::uint64_t set = o.halfHours & ((std::uint64_t{1} << 48) - 1);
            t.halfHours |= set;
            t.bits += std::popcount(set);
        }
        if (real.count > 0) sumReal += real.score() * w;
        if (soft.count > 0) sumSoft += soft.score() * w;
    }
    return {lf_factor(sumReal, weight), lf_factor(sumSoft, weight)};
}

std::string lf_qualityFactorText(QualityPair pair) {
    if (pair.real < 0 && pair.soft < 0) return "  ";
    if (pair.real < 45) return fmt::format("{:2}/{:2}", pair.real, pair.soft);
    return fmt::format("{:2}", pair.real);
}

void lf_applyQualityRule(QualityPair pair) {
    if (pair.real < 3 && pair.soft > 0) {
        PARK_SOFT.setValue(true);
        WEEK.setValue(true);
        MAX_FIT_FL.setValue(24.0f);
    } else if (pair.real > 45) {
        PARK_SOFT.setValue(false);
        WEEK.setValue(false);
    }
}
