#include "traffic/stand_choice.h"

#include <fmt/format.h>

#include <algorithm>
#include <exception>

#include "airports/park_airport_state.h"
#include "catalogue/dbase_queries.h"
#include "core/log.h"
#include "traffic/stand_options.h"
#include "traffic/traffic_state.h"

namespace {

constexpr double kStartDistance_nm = 900.0;
constexpr double kFitTolerance_nm = 0.000972;   // 1.8 m
constexpr double kTooSmallReach_nm = 0.0108;    // 20 m
constexpr double kAirlineReach_nm = 0.0459;     // 85 m
constexpr double kLearnedMargin_nm = 0.00053996;  // 1 m

bool lf_fits(const Stand& s, const LiveAc& ac) { return ac.size - s.radius <= kFitTolerance_nm; }

bool lf_optionsKnow(const Stand& s, const LiveAc& ac) {
    return std::any_of(s.options.begin(), s.options.end(),
                       [&](const StandOption& o) { return gf_optionMatches(ac.callsign, ac, o); });
}

std::int32_t lf_lastSetHalfHour(std::uint64_t set) {
    for (std::int32_t h = 47; h >= 0; --h)
        if (set & (std::uint64_t{1} << h)) return h;
    return -1;
}

// The clock could not break the time down (or no second has passed in this
// run yet): no slot to record a use in.
bool lf_slotUsable(WeekSlot s) { return s.weekday >= 1 && s.weekday <= 7 && s.halfHour >= 0 && s.halfHour <= 47; }

std::int32_t lf_extensionLimit(const AcBase& ac) {
    if (ac.cargo) return 12;
    return ac.category == AcCategory::Heavy ? 8 : 6;
}

}  // namespace

Stand* gf_standById(std::uint32_t standId) {
    if (standId == 0) return nullptr;
    for (Stand& s : g_standList)
        if (gf_standNumericId(s) == standId) return &s;
    return nullptr;
}

Stand* lf_chooseStand(LatLon position, const LiveAc& ac, double radius_nm, bool airlineMatch) {
    Stand* nearest = nullptr;
    Stand* tooSmall = nullptr;
    Stand* airlineStand = nullptr;
    double best = kStartDistance_nm;
    double bestAirline = kStartDistance_nm;
    for (Stand& s : g_standList) {
        if (gf_standMark(s, StandMark::occupied)) continue;
        const double d = gf_distanceNm(position, LatLon{s.latitude, s.longitude});
        bool taken = false;
        if (d <= radius_nm && d < best) {
            if (lf_fits(s, ac)) {
                taken = true;
                tooSmall = nullptr;
            } else if (d <= kTooSmallReach_nm) {
                taken = true;
                tooSmall = &s;
            }
            if (taken) {
                nearest = &s;
                best = d;
                airlineMatch = false;
            }
        }
        if (!taken && airlineMatch && d <= kAirlineReach_nm && d < bestAirline && lf_fits(s, ac) &&
            !ac.callsign.empty() && lf_optionsKnow(s, ac)) {
            airlineStand = &s;
            bestAirline = d;
        }
    }
    Stand* chosen = nearest ? nearest : airlineStand;
    if (!chosen) return nullptr;
    // Helipads are for rotorcraft only, and rotorcraft take nothing else.
    if (chosen->heli != (ac.category == AcCategory::Rotorcraft)) return nullptr;
    if (chosen == tooSmall) {
        chosen->radius = ac.size - kLearnedMargin_nm;
        chosen->radius_change = true;
        g_standFileUpdates.fetch_add(1);
    }
    return chosen;
}

void lf_addRealStandOption(std::uint32_t standId, AcBase& ac, StandUse kind) {
    const std::string key(gf_withoutGhostMark(ac.registration));
    if (key.empty()) return;
    const WeekSlot now = gf_currentWeekSlot();
    if (!lf_slotUsable(now)) return;
    try {
        if (const auto record = gf_lookupRegistration(key)) {
            ac.airline = record->airl;
            ac.type = record->type;
        }
        Stand* stand = gf_standById(standId);
        if (!stand) return;
        const auto weekday = static_cast<std::uint32_t>(now.weekday);
        const std::uint64_t nowBit = std::uint64_t{1} << now.halfHour;
        StandOption* learned = nullptr;
        for (StandOption& o : stand->options) {
            if (o.day != weekday || o.reg != key || o.real != 1) continue;
            // A use the stand file already knows for other half-hours is not
            // learned over.
            if (o.origin == 1 && !(o.halfHours & nowBit)) return;
            if (o.origin == 0 && !learned) learned = &o;
        }
        std::uint32_t index = 0;
        auto addNew = [&] {
            index = lf_addStandOption(stand->options, ac, now, ac.callsign, key, OptionFlags{0, 1}).index;
        };
        if (!learned || (learned->cpl && !(learned->halfHours & nowBit))) {
            addNew();
        } else if (learned->halfHours & nowBit) {
            index = learned->index;
        } else {
            const std::int32_t last = lf_lastSetHalfHour(learned->halfHours);
            const std::int32_t g = last < 0 ? 0 : now.halfHour - last;
            if (g >= 1 && g < lf_extensionLimit(ac)) {
                index = learned->index;
                auto list = gf_halfHoursBack(now, g);
                updateOptions(stand->options, list, index);
                gf_setOptionCallsign(stand->options, index, ac.callsign);
            } else {
                addNew();
            }
        }
        if (kind == StandUse::leaving || kind == StandUse::removedAway) {
            for (StandOption& o : stand->options)
                if (index != 0 && o.index == index) o.cpl = true;
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: hh_now: {}, {}", "lf_addRealStandOption", now.halfHour, e.what()));
    }
}

void lf_searchForCoupledCsAroundThisTime(WeekSlot now, AcBase& ac) {
    if (!lf_slotUsable(now)) return;
    try {
        const std::int32_t window = ac.category == AcCategory::Heavy ? 14 : 10;
        std::uint64_t mask = 0;
        for (std::int32_t h = std::max(now.halfHour - window, 0); h <= std::min(now.halfHour + window, 47); ++h)
            mask |= std::uint64_t{1} << h;
        const std::string_view key = gf_withoutGhostMark(ac.callsign);
        for (const Stand& s : g_standList) {
            for (const StandOption& o : s.options) {
                if (o.index == 0 || o.day != static_cast<std::uint32_t>(now.weekday) || !(o.halfHours & mask)) continue;
                if (o.airline != ac.airline || o.cs2.empty()) continue;
                if (o.cs != key && o.cs2 != key) continue;
                ac.callsignCopy = o.cs;
                ac.coupledCallsign = o.cs2;
                return;
            }
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: {}", "lf_searchForCoupledCsAroundThisTime", e.what()));
    }
}
