// The widening search over the stand options of the park airport: the
// stands whose known uses fall within k half-hours of now, k growing until
// enough stands are found, first real uses on the same weekday, then (as the
// settings allow) any weekday and soft uses.
#include <fmt/format.h>

#include <algorithm>

#include "airports/park_airport_state.h"
#include "catalogue/dbase_queries.h"
#include "core/log.h"
#include "core/random.h"
#include "core/settings.h"
#include "core/text.h"
#include "traffic/stand_choice.h"
#include "traffic/static_parking.h"

namespace {

constexpr std::int32_t kHalfHoursPerDay = 48;

}  // namespace

// ---- The search over stand options ----

bool lf_isKnownParkedIdentity(const std::string& registration, const std::string& callsign,
                              const std::string& callsign2) {
    auto named = [&](const std::string& text) { return !text.empty() && (text == callsign || text == callsign2); };
    for (const ParkingPosition& p : g_parkingPositions) {
        if (!registration.empty() && p.registration == registration) return true;
    }
    if ((!callsign.empty() && g_collectedCallsigns.count(callsign)) ||
        (!callsign2.empty() && g_collectedCallsigns.count(callsign2)))
        return true;
    for (const ParkingPosition& p : g_parkingPositions) {
        if (named(p.callsign) || named(p.callsign2)) return true;
    }
    for (const StaticAc& s : g_staticAc) {
        if (s.simState == SimState::removingfromsim) continue;
        if (named(gf_withoutStar(s.callsign)) || (!registration.empty() && s.registration == registration))
            return true;
    }
    for (const LiveAc& a : g_liveAc) {
        if (named(a.callsign)) return true;
    }
    return false;
}

namespace {

bool lf_holdsHalfHour(const StandOption& o, std::int32_t halfHour) {
    return halfHour >= 0 && halfHour < kHalfHoursPerDay && ((o.halfHours >> halfHour) & 1u) != 0;
}

// An active static aircraft on a neighbour that a new aircraft of this type
// would touch.
bool lf_staticNeighbourTooClose(const Stand& stand, const std::string& type) {
    const double size = gf_halfWingspanNm(type);
    for (const StaticAc& s : g_staticAc) {
        if (s.simState != SimState::active) continue;
        if (std::find(stand.adjacent.begin(), stand.adjacent.end(), s.standId) == stand.adjacent.end()) continue;
        if (gf_distanceNm({stand.latitude, stand.longitude}, {s.standLat, s.standLon}) < size + s.size) return true;
    }
    return false;
}

bool lf_callsignFirst(const Stand& stand, const StandOption& o, WeekSlot slot) {
    if (o.cs2.empty()) return true;
    if (slot.halfHour + 1 < kHalfHoursPerDay) return lf_holdsHalfHour(o, slot.halfHour + 1);
    const std::uint32_t next = slot.weekday >= 7 ? 1u : static_cast<std::uint32_t>(slot.weekday + 1);
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& x) {
        return x.index != 0 && x.day == next && x.airline == o.airline && x.type == o.type && lf_holdsHalfHour(x, 0);
    });
}

}  // namespace

void lf_searchStands(WeekSlot day, int kind, bool sameDay, std::int32_t offset, std::int32_t carried,
                     std::vector<ParkingPosition>& result) {
    WeekSlot slot{day.weekday, day.halfHour - offset};
    while (slot.halfHour < 0) {
        slot.halfHour += kHalfHoursPerDay;
        slot.weekday = slot.weekday <= 1 ? 7 : slot.weekday - 1;
    }
    try {
        for (Stand& stand : g_standList) {
            if (gf_standMark(stand, StandMark::reserved) || gf_standMark(stand, StandMark::usedInSearch)) continue;
            if (gf_standMark(stand, StandMark::nextToUsed)) continue;
            if (stand.heli && !HELICOPTERS.value()) continue;
            std::vector<std::size_t> candidates;
            for (std::size_t i = 0; i < stand.options.size(); ++i) {
                const StandOption& o = stand.options[i];
                if (o.index == 0) continue;
                if ((kind == 1 && o.real != 1) || (kind == 0 && o.real != 0)) continue;
                if (sameDay && static_cast<std::int32_t>(o.day) != slot.weekday) continue;
                if (!lf_holdsHalfHour(o, slot.halfHour)) continue;
                if (lf_staticNeighbourTooClose(stand, o.type)) continue;
                candidates.push_back(i);
            }
            if (candidates.empty()) continue;
            std::size_t chosen = candidates.front();
            if (candidates.size() > 1) {
                const auto onStand = std::find_if(candidates.begin(), candidates.end(), [&](std::size_t i) {
                    const StandOption& o = stand.options[i];
                    return std::any_of(g_staticAc.begin(), g_staticAc.end(), [&](const StaticAc& s) {
                        const std::string cs = gf_withoutStar(s.callsign);
                        return s.standId == gf_standNumericId(stand) && s.airline == o.airline && s.type == o.type &&
                               (cs == o.cs || (!o.cs2.empty() && cs == o.cs2));
                    });
                });
                if (onStand != candidates.end()) {
                    chosen = *onStand;
                } else {
                    for (std::size_t i = 1; i < candidates.size(); ++i) {
                        std::uniform_int_distribution<std::size_t> pick(0, i);
                        std::swap(candidates[i], candidates[pick(g_rng)]);
                    }
                    chosen = candidates.front();
                }
            }
            StandOption& o = stand.options[chosen];
            if (lf_isKnownParkedIdentity(o.reg, o.cs, o.cs2)) {
                o.index = 0;
                continue;
            }
            ParkingPosition p;
            p.origin = 1;
            p.standId = gf_standNumericId(stand);
            p.sortKey = carried;
            p.airline = o.airline;
            p.type = o.type;
            p.callsign = o.cs;
            p.callsign2 = o.cs2;
            p.registration = o.reg;
            p.callsignFirst = lf_callsignFirst(stand, o, slot);
            result.push_back(std::move(p));
            lf_markStandUsed(gf_standNumericId(stand));
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: day: {}, offset {}: {}", "lf_searchStands", slot.weekday, offset, e.what()));
    }
}

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

