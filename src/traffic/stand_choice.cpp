#include "traffic/stand_choice.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <exception>

#include "airports/park_airport_state.h"
#include "catalogue/dbase_queries.h"
#include "core/log.h"
#include "core/random.h"
#include "core/settings.h"
#include "traffic/parking.h"
#include "traffic/parking_position.h"
#include "traffic/stand_options.h"
#include "traffic/static_parking.h"
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

// A newborn on a stand whose aircraft is in the simulator meets it in the
// stand arbitration (a ghost or a reborn flight gives way); one still being
// created keeps its stand.
bool lf_arbitratedAtBirth(const Stand& s, const LiveAc& newborn) {
    if (newborn.simState != SimState::buffer) return false;
    const std::uint32_t id = gf_standNumericId(s);
    return std::any_of(g_liveAc.begin(), g_liveAc.end(), [&](const LiveAc& a) {
        return &a != &newborn && a.standId == id && a.simState == SimState::active;
    });
}

// A stand held by a parked live aircraft whose flight the feed no longer
// reports (it left unseen): an arrival may take it, and the old one gives
// way. One still reported keeps it.
bool lf_heldByStaleOccupant(const Stand& s, const LiveAc& newcomer) {
    const std::uint32_t id = gf_standNumericId(s);
    for (const LiveAc& a : g_liveAc) {
        if (&a == &newcomer || a.standId != id) continue;
        return a.simState == SimState::active && a.flightState == FlightState::parked && !gf_parkedStillReported(a);
    }
    return false;
}

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
        if (gf_standMark(s, StandMark::occupied) && !lf_arbitratedAtBirth(s, ac) && !lf_heldByStaleOccupant(s, ac))
            continue;
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

// ---- For the static parking ----

std::vector<ParkingPosition> g_parkingPositions;
std::vector<std::string> g_staticParkingCallsigns;

namespace {

std::atomic<float> g_staticMeanHours{0.0f};

bool lf_kindPasses(const StandOption& o, int kind) {
    if (kind == 1) return o.real == 1;
    if (kind == 0) return o.real == 0;
    return true;
}

bool lf_halfHourSet(const StandOption& o, std::int32_t h) {
    return h >= 0 && h <= 47 && (o.halfHours & (std::uint64_t{1} << h)) != 0;
}

bool lf_sameIdentity(const std::string& reg, const std::string& cs, const std::string& cs2, const std::string& otherReg,
                     const std::string& otherCs) {
    if (!reg.empty() && reg == otherReg) return true;
    return !otherCs.empty() && (otherCs == cs || otherCs == cs2);
}

// A static aircraft on a neighbouring stand leaves too little room.
bool lf_neighbourTooClose(const Stand& stand, const StandOption& option) {
    const double optionSize = gf_halfWingspanNm(option.type);
    for (std::uint32_t id : stand.adjacent) {
        const Stand* neighbour = gf_standById(id);
        if (!neighbour) continue;
        for (const StaticAc& s : g_staticAc) {
            if (s.simState != SimState::active || s.standId != id) continue;
            const double d = gf_distanceNm(LatLon{neighbour->latitude, neighbour->longitude},
                                           LatLon{stand.latitude, stand.longitude});
            if (d < s.size + optionSize) return true;
        }
    }
    return false;
}

// The option a static aircraft already standing here carries, else a random
// one: each place from the second on swapped with a uniformly drawn earlier
// or equal one.
StandOption* lf_pickOption(const Stand& stand, std::vector<StandOption*>& candidates) {
    if (candidates.size() == 1) return candidates.front();
    for (const StaticAc& s : g_staticAc) {
        if (s.standId != gf_standNumericId(stand)) continue;
        // A static aircraft's callsign carries a trailing "*" that no option has.
        const std::string own = gf_withoutStar(s.callsign);
        for (StandOption* o : candidates) {
            auto carried = [&](const std::string& cs) { return !cs.empty() && (cs == own || cs == s.coupledCallsign); };
            const bool callsign = carried(o->cs) || carried(o->cs2);
            if (callsign && o->airline == s.airline && o->type == s.type) return o;
        }
    }
    for (std::size_t i = 1; i < candidates.size(); ++i) {
        std::uniform_int_distribution<std::size_t> pick(0, i);
        std::swap(candidates[i], candidates[pick(g_rng)]);
    }
    return candidates.front();
}

bool lf_callsignFirst(const Stand& stand, const StandOption& o, WeekSlot slot) {
    if (o.cs2.empty()) return true;
    if (slot.halfHour < 47) return lf_halfHourSet(o, slot.halfHour + 1);
    const std::uint32_t nextDay = slot.weekday == 7 ? 1u : static_cast<std::uint32_t>(slot.weekday + 1);
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& n) {
        return n.day == nextDay && n.airline == o.airline && n.type == o.type && lf_halfHourSet(n, 0);
    });
}

bool lf_identityOption(WeekSlot slot, const AcBase& id, const StandOption& o, std::int32_t from, std::int32_t to) {
    if (o.day != static_cast<std::uint32_t>(slot.weekday) || o.reg != id.registration || o.airline != id.airline ||
        o.type != id.type)
        return false;
    for (std::int32_t h = std::max(from, 0); h <= to; ++h)
        if (lf_halfHourSet(o, h)) return true;
    return false;
}

}  // namespace

void lf_searchStands(WeekSlot now, int kind, bool weekdayFilter, std::int32_t offset, std::int32_t sortKey,
                     std::vector<ParkingPosition>& out) {
    WeekSlot slot{now.weekday, now.halfHour - offset};
    while (slot.halfHour < 0) {
        slot.halfHour += 48;
        slot.weekday = slot.weekday <= 1 ? 7 : slot.weekday - 1;
    }
    try {
        for (Stand& stand : g_standList) {
            if (gf_standMark(stand, StandMark::reserved) || gf_standMark(stand, StandMark::usedInSearch)) continue;
            if (gf_standMark(stand, StandMark::nextToUsed)) continue;
            if (stand.heli && !HELICOPTERS.value()) continue;
            std::vector<StandOption*> candidates;
            for (StandOption& o : stand.options) {
                if (o.index == 0 || !lf_kindPasses(o, kind) || !lf_halfHourSet(o, slot.halfHour)) continue;
                if (weekdayFilter && o.day != static_cast<std::uint32_t>(slot.weekday)) continue;
                if (lf_neighbourTooClose(stand, o)) continue;
                candidates.push_back(&o);
            }
            if (candidates.empty()) continue;
            StandOption* chosen = lf_pickOption(stand, candidates);
            if (lf_isKnownParkedIdentity(chosen->reg, chosen->cs, chosen->cs2)) {
                chosen->index = 0;
                continue;
            }
            ParkingPosition p;
            p.origin = 1;
            p.standId = gf_standNumericId(stand);
            p.sortKey = sortKey;
            p.airline = chosen->airline;
            p.type = chosen->type;
            p.callsign = chosen->cs;
            p.secondCallsign = chosen->cs2;
            p.registration = chosen->reg;
            p.callsignFirst = lf_callsignFirst(stand, *chosen, slot);
            out.push_back(std::move(p));
            gf_standMark(stand, StandMark::usedInSearch) = 1;
            for (std::uint32_t id : stand.adjacent)
                if (Stand* n = gf_standById(id)) gf_standMark(*n, StandMark::nextToUsed) = 1;
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: day: {}, offset {}: {}", "lf_searchStands", slot.weekday, offset, e.what()));
    }
}

bool lf_isKnownParkedIdentity(const std::string& registration, const std::string& callsign,
                              const std::string& coupledCallsign) {
    for (const ParkingPosition& p : g_parkingPositions)
        if (!registration.empty() && p.registration == registration) return true;
    for (const std::string* cs : {&callsign, &coupledCallsign})
        if (!cs->empty() && g_collectedCallsigns.count(*cs)) return true;
    for (const StaticAc& s : g_staticAc)
        if (lf_sameIdentity(registration, callsign, coupledCallsign, s.registration, s.callsign)) return true;
    for (const ParkingPosition& p : g_parkingPositions)
        if (lf_sameIdentity(registration, callsign, coupledCallsign, p.registration, p.callsign)) return true;
    for (const std::string& cs : g_staticParkingCallsigns)
        if (!cs.empty() && (cs == callsign || cs == coupledCallsign)) return true;
    for (const StaticAc& s : g_staticAc) {
        if (s.simState != SimState::active || s.source != 0) continue;
        if ((!callsign.empty() && (s.callsign == callsign || s.coupledCallsign == callsign)) ||
            (!coupledCallsign.empty() && (s.callsign == coupledCallsign || s.coupledCallsign == coupledCallsign)) ||
            (!registration.empty() && s.registration == registration))
            return true;
    }
    return false;
}

bool lf_optionAtOrBefore(WeekSlot slot, std::int32_t offset, const AcBase& identity, const StandOption& option) {
    return lf_identityOption(slot, identity, option, slot.halfHour - offset, slot.halfHour);
}

bool lf_optionLateInDay(WeekSlot slot, std::int32_t offset, const AcBase& identity, const StandOption& option) {
    return lf_identityOption(slot, identity, option, 47 - offset, 47);
}

std::int32_t gf_showStaticParkStats(bool withMean) {
    const WeekSlot now = gf_currentWeekSlot();
    std::int32_t count = 0;
    std::int64_t sum = 0;
    for (const StaticAc& s : g_staticAc) {
        if (s.simState != SimState::active && s.simState != SimState::removingfromsim) continue;
        ++count;
        // Ages through the week's end: parked Sunday night, counted Monday.
        sum += gf_halfHoursBetween(s.weekSlot, now);
    }
    if (withMean) {
        const float mean = count == 0 ? 0.0f : static_cast<float>(sum) / (2.0f * static_cast<float>(count)) + 0.5f;
        g_staticMeanHours = mean;
    }
    return count;
}

float gf_staticParkedMeanHours() { return g_staticMeanHours.load(); }
