// The widening search over the stand options of the park airport: the
// stands whose known uses fall within k half-hours of now, k growing until
// enough stands are found, first real uses on the same weekday, then (as the
// settings allow) any weekday and soft uses.
#include <fmt/format.h>

#include <algorithm>

#include "airports/park_airport_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/text.h"
#include "traffic/stand_choice.h"
#include "traffic/static_parking.h"

namespace {

std::int32_t lf_countUsedStands() {
    return static_cast<std::int32_t>(std::count_if(g_standList.begin(), g_standList.end(), [](const Stand& s) {
        return gf_standMark(s, StandMark::usedInSearch) != 0;
    }));
}

}  // namespace

bool lf_fitParkTraffic(WeekSlot day, bool real, bool sameDay, std::int32_t wanted,
                       std::vector<ParkingPosition>& candidates) {
    if (wanted == 0) return true;
    const std::int32_t usedBefore = lf_countUsedStands();
    const std::int32_t maxFit = MAX_FIT.value();
    std::int32_t k = 0;
    bool found = false;
    for (;; ++k) {
        if (k > maxFit) break;
        candidates.clear();
        lf_searchStands(day, real ? 1 : 0, sameDay, k, k, candidates);
        if (lf_countUsedStands() >= wanted) {
            found = true;
            break;
        }
        g_parkingPositions.insert(g_parkingPositions.end(), candidates.begin(), candidates.end());
        candidates.clear();
    }
    const std::int32_t reached = std::min(k, maxFit);
    if (real) {
        g_reachedRealFit = reached;
        g_reachedSoftFit = -1;
    } else {
        g_reachedSoftFit = reached;
    }
    g_softSearchShown = !real;
    g_weekSearchShown = !sameDay;
    const std::int32_t added = lf_countUsedStands() - usedBefore;
    if (added > 0) {
        const std::string label = real ? (sameDay ? "real" : "week/real") : (sameDay ? "soft" : "week/soft");
        gf_logLine(fmt::format("{} {} position{} found, Max fit={:.1F} hours{}{}", added, label, gf_pluralInt(added),
                               MAX_FIT_FL.value(), fmt::format(", day {}", day.weekday),
                               fmt::format(", hh:{} or {:.1F} hrs, fit: {:.1F} hour", day.halfHour,
                                           day.halfHour * 0.5, reached * 0.5)));
    }
    return found;
}

namespace {

void lf_optionFill(WeekSlot day, std::int32_t wanted, std::int32_t base, bool real, bool sameDay) {
    std::vector<ParkingPosition> candidates;
    if (!lf_fitParkTraffic(day, real, sameDay, wanted, candidates)) return;
    g_parkingPositions.insert(g_parkingPositions.end(), candidates.begin(), candidates.end());
    const auto limit = static_cast<std::size_t>(std::max(0, wanted - base));
    if (g_parkingPositions.size() > limit) g_parkingPositions.resize(limit);
}

bool lf_belowWanted(std::int32_t wanted, std::int32_t base) {
    return base + static_cast<std::int32_t>(g_parkingPositions.size()) < wanted;
}

}  // namespace

void lf_timeFill(WeekSlot day, std::int32_t wanted, std::int32_t base) {
    g_reachedRealFit = 0;
    g_reachedSoftFit = -1;
    if (lf_belowWanted(wanted, base)) lf_optionFill(day, wanted, base, true, true);
    if (WEEK.value() && lf_belowWanted(wanted, base)) lf_optionFill(day, wanted, base, true, false);
    if (PARK_SOFT.value() && lf_belowWanted(wanted, base)) lf_optionFill(day, wanted, base, false, true);
    if (WEEK.value() && PARK_SOFT.value() && lf_belowWanted(wanted, base))
        lf_optionFill(day, wanted, base, false, false);
}

