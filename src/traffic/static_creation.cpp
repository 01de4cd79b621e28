// Static aircraft made from the parking positions one at a time, and the
// renewal that compares the static aircraft with fresh parked traffic and the
// stand options of the new half-hour.
#include <fmt/format.h>

#include <algorithm>
#include <map>

#include "airports/park_airport_state.h"
#include "catalogue/dbase_queries.h"
#include "catalogue/matcher.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/text.h"
#include "traffic/ai_commands.h"
#include "traffic/engine_support.h"
#include "traffic/intake.h"
#include "traffic/removal_rules.h"
#include "traffic/stand_choice.h"
#include "traffic/static_parking.h"
#include "core/status_line.h"

namespace {

constexpr std::uint32_t kStaticNumbers = 10000;
// The simulator's tail-number field refuses 12 characters or more; a refused
// creation would end the run.
constexpr std::size_t kMaxStaticCallsignChars = 11;
// Half a minute of passes at one try per 0.5 s.
constexpr std::int32_t kMaxRemovalWaits = 60;
constexpr std::int32_t kMaxOptionFit = 47;

std::uint32_t g_staticCounter = 0;
// Tries of positions that wait for a static aircraft still being removed
// from their stand, by stand id and callsign.
std::map<std::pair<std::uint32_t, std::string>, std::int32_t> g_removalWaits;

bool lf_onOrNextTo(const Stand& stand, std::uint32_t standId) {
    return standId == gf_standNumericId(stand) ||
           std::find(stand.adjacent.begin(), stand.adjacent.end(), standId) != stand.adjacent.end();
}

// The next number no static aircraft holds: a number still in use would
// tie the simulator's answers to the wrong aircraft.
std::uint32_t lf_nextStaticHexid() {
    for (std::uint32_t tries = 0; tries < kStaticNumbers; ++tries) {
        g_staticCounter = (g_staticCounter + 1) % kStaticNumbers;
        const bool held = std::any_of(g_staticAc.begin(), g_staticAc.end(),
                                      [](const StaticAc& s) { return s.hexid == g_staticCounter; });
        if (!held) break;
    }
    return g_staticCounter;
}

bool lf_liveBlocks(const Stand& stand, const ParkingPosition& p) {
    for (const LiveAc& a : g_liveAc) {
        if (a.flightState != FlightState::parking && a.flightState != FlightState::parked) continue;
        if (!lf_onOrNextTo(stand, a.standId) || a.standId == 0) continue;
        if (a.standId == p.standId) {
            gf_logLine(fmt::format("{:8}: no static parking for {}, live aircraft {} standing here",
                                   gf_standNameOf(p.standId), p.callsign, a.callsign));
        } else {
            gf_logLine(fmt::format("{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly colliding",
                                   gf_standNameOf(p.standId), p.callsign, a.callsign, gf_standNameOf(a.standId)));
        }
        return true;
    }
    return false;
}

// True when a static aircraft blocks the stand; retry is set when every
// blocking one is already on its way out.
bool lf_staticBlocks(const Stand& stand, const ParkingPosition& p, bool& retry) {
    const StaticAc* first = nullptr;
    retry = true;
    for (const StaticAc& s : g_staticAc) {
        if (s.standId == 0 || !lf_onOrNextTo(stand, s.standId)) continue;
        if (!first) first = &s;
        if (s.simState != SimState::removingfromsim) retry = false;
    }
    if (!first) {
        retry = false;
        return false;
    }
    if (retry && ++g_removalWaits[{p.standId, p.callsign}] <= kMaxRemovalWaits) return true;
    retry = false;
    gf_logLine(fmt::format("{:8}: no static parking for {}, static aircraft {} is adjacent at {}, possibly colliding",
                           gf_standNameOf(p.standId), p.callsign, first->callsign, gf_standNameOf(first->standId)));
    return true;
}

std::string lf_chooseCallsign(const ParkingPosition& p, std::uint32_t counter) {
    if (p.callsign.empty()) return fmt::format("{}{}{}", p.airline, counter, "*");
    const std::string& a = p.callsignFirst ? p.callsign : p.secondCallsign;
    const std::string& b = p.callsignFirst ? p.secondCallsign : p.callsign;
    return lf_staticCallsign(!a.empty() ? a : b);
}

}  // namespace

void gf_resetStaticCounter() { g_staticCounter = 0; }

std::string lf_staticCallsign(std::string text) {
    while (!text.empty() && text.back() == '_') text.pop_back();
    if (!text.empty() && text.back() == '*') return text;
    return text + "*";
}

void lf_detcs() {
    if (g_parkingPositions.empty() || g_standList.empty()) {
        g_removalWaits.clear();
        return;
    }
    ParkingPosition p = std::move(g_parkingPositions.back());
    g_parkingPositions.pop_back();

    // The stand first: its neighbours are read from it.
    const Stand* stand = gf_standById(p.standId);
    if (!stand) {
        gf_logHighlight(fmt::format("stand with id {} not found", p.standId));
        return;
    }
    if (lf_liveBlocks(*stand, p)) return;
    bool retry = false;
    if (lf_staticBlocks(*stand, p, retry)) {
        if (retry) {
            // The aircraft it replaces is still being removed: try again
            // after the other positions.
            g_parkingPositions.insert(g_parkingPositions.begin(), std::move(p));
        }
        return;
    }

    const std::uint32_t hexid = lf_nextStaticHexid();
    const std::string callsign = lf_chooseCallsign(p, hexid);
    if (callsign.size() > kMaxStaticCallsignChars) {
        gf_logLine(fmt::format("{:8}: static callsign {} is too long, no static parking for {}",
                               gf_standNameOf(p.standId), callsign, p.registration));
        return;
    }

    FlightRecord identity;
    identity.airline = p.airline;
    identity.type = p.type;
    identity.callsign = callsign;
    identity.callsignCopy = p.callsign;
    identity.spare = p.secondCallsign;
    identity.registration = p.registration;
    AcBase base = gf_buildAircraftBase(identity);
    base.coupledCallsign = p.secondCallsign;
    base.hexid = hexid;
    StaticAc ac(base, p.standId, stand->latitude, stand->longitude, stand->heading, stand->cargo ? 1 : 0);
    AcHead head = gf_acHeadOf(ac);
    if (!gf_matchStaticLivery(head, gf_standName(*stand), stand->cargo)) return;
    ac.liveryTitle = std::string(head.liveryTitle);
    ac.cargo = head.cargo ? 1 : 0;
    ac.source = static_cast<std::int32_t>(p.origin);
    ac.weekSlot = lf_slotBefore(gf_currentWeekSlot(), p.sortKey);
    ac.parkedHexid = p.hexid;
    ac.simState = SimState::adding2sim;

    AiCreateRequest r;
    r.position.latitude_deg = stand->latitude;
    r.position.longitude_deg = stand->longitude;
    r.position.altitude_ft = 0.0;
    r.position.heading_deg = stand->heading * kRadToDeg;
    r.position.onGround = 1;
    r.callsign = ac.callsign;
    r.liveryTitle = ac.liveryTitle;
    r.hexid = hexid;
    g_staticAc.push_back(std::move(ac));
    g_staticCreationQueue.push_back(std::move(r));
}

// ---- Renewal ----

namespace {

bool lf_isActive(const StaticAc& s) { return s.simState == SimState::active; }

void lf_toRemoval(StaticAc& s, bool mark) {
    if (mark && lf_isActive(s)) s.simState = SimState::removingfromsim;
    g_staticRemovalList.emplace_back(s.callsign, s.standId);
}

void lf_keep(const StaticAc& s) {
    KeptStatic k;
    k.callsign = s.callsign;
    k.callsignCopy = s.callsignCopy;
    k.spare = s.coupledCallsign;
    k.registration = s.registration;
    k.airline = s.airline;
    k.type = s.type;
    k.weekSlot = s.weekSlot;
    k.standId = s.standId;
    g_keptStatic.push_back(std::move(k));
}

bool lf_namesStatic(const ParkingPosition& p, const StaticAc& s) {
    const std::string cs = gf_withoutStar(s.callsign);
    return p.callsign == cs || (!p.secondCallsign.empty() && p.secondCallsign == cs) ||
           (!p.registration.empty() && p.registration == s.registration);
}

void lf_limitParkedLive(std::int32_t wanted) {
    g_parkedLiveList = lf_parkedLiveList();
    const auto n = static_cast<std::int32_t>(g_parkedLiveList.size());
    if (!RT_PARKTRAFFIC_ONLY.value() && wanted >= 1 && n > wanted) {
        gf_setStatusLine(fmt::format("Parking adjustments: {} more live ac than wanted", n - wanted), true);
        lf_removeLongestParked(n - wanted);
        g_parkedLiveList = lf_parkedLiveList();
    }
    for (const ParkedLiveEntry& e : g_parkedLiveList) lf_markStandUsed(e.standId);
}

void lf_updateFromParkTraffic(const std::vector<ParkedRecord>& records, WeekSlot day) {
    lf_matchParkTraffic(records, day);
    for (StaticAc& s : g_staticAc) {
        if (!lf_isActive(s) || s.source != 0) continue;
        if (g_collectedHexids.count(s.parkedHexid) != 0) {
            lf_toRemoval(s, true);
            continue;
        }
        const auto named = std::find_if(g_parkingPositions.begin(), g_parkingPositions.end(),
                                        [&](const ParkingPosition& p) {
                                            return p.standId == s.standId && lf_namesStatic(p, s);
                                        });
        if (named != g_parkingPositions.end()) {
            lf_keep(s);
            g_parkingPositions.erase(named);
        } else {
            lf_toRemoval(s, true);
        }
    }
    const auto n = static_cast<std::int32_t>(g_parkingPositions.size());
    gf_logLine(fmt::format("{} new parking position{} from PT", n, gf_pluralInt(n)));
}

void lf_dropStaleStatic(bool flush, WeekSlot day) {
    if (flush) return;
    for (StaticAc& s : g_staticAc) {
        if (!lf_isActive(s) || s.source != 1) continue;
        const auto match = std::find_if(g_parkingPositions.begin(), g_parkingPositions.end(),
                                        [&](const ParkingPosition& p) {
                                            return p.standId == s.standId || p.callsign == gf_withoutStar(s.callsign);
                                        });
        if (match == g_parkingPositions.end()) continue;
        const WeekSlot slot = lf_slotBefore(day, match->sortKey);
        const bool later = gf_halfHoursBetween(slot, day) < gf_halfHoursBetween(s.weekSlot, day);
        const bool same = match->callsign == gf_withoutStar(s.callsign) && match->airline == s.airline &&
                          match->type == s.type;
        if (later && !same) {
            lf_toRemoval(s, true);
        } else {
            g_parkingPositions.erase(match);
        }
    }
}

void lf_reconsiderStatic(const StaticAc& s, std::vector<ParkingPosition>::iterator p, WeekSlot day) {
    const WeekSlot slot = lf_slotBefore(day, p->sortKey);
    if (gf_halfHoursBetween(slot, day) < gf_halfHoursBetween(s.weekSlot, day)) {
        g_staticRemovalList.emplace_back(s.callsign, s.standId);
    } else {
        lf_keep(s);
        g_parkingPositions.erase(p);
    }
}

// Any option of the stand, numbered or not (this renewal's search switches
// off the options of aircraft that are still there), that is the aircraft's
// within the reached fit today, or late yesterday.
bool lf_optionStillMatches(const StaticAc& s, WeekSlot day) {
    const std::int32_t fit = std::min(std::max(g_reachedRealFit, g_reachedSoftFit), kMaxOptionFit);
    if (fit < 0) return false;
    const Stand* stand = gf_standById(s.standId);
    if (!stand) return false;
    const WeekSlot yesterday{day.weekday <= 1 ? 7 : day.weekday - 1, day.halfHour};
    return std::any_of(stand->options.begin(), stand->options.end(), [&](const StandOption& o) {
        return lf_optionAtOrBefore(day, fit, s, o) || lf_optionLateInDay(yesterday, fit, s, o);
    });
}

void lf_setRecreateFlags(WeekSlot day) {
    for (KeptStatic& k : g_keptStatic) {
        if (k.spare.empty() || k.callsign.find(k.callsignCopy) == std::string::npos) continue;
        const Stand* stand = gf_standById(k.standId);
        if (!stand) continue;
        const std::string cs = gf_withoutStar(k.callsign);
        const auto taken = std::find_if(stand->options.begin(), stand->options.end(), [&](const StandOption& o) {
            return static_cast<std::int32_t>(o.day) == day.weekday && o.index >= 1 && o.cs == cs &&
                   o.airline == k.airline && o.type == k.type;
        });
        if (taken == stand->options.end()) continue;
        const std::int32_t next = day.halfHour + 1;
        if (next < 48) {
            k.recreate = ((taken->halfHours >> next) & 1u) == 0;
        } else {
            const std::uint32_t nextDay = day.weekday >= 7 ? 1u : static_cast<std::uint32_t>(day.weekday + 1);
            const bool held = std::any_of(stand->options.begin(), stand->options.end(), [&](const StandOption& o) {
                return o.day == nextDay && o.index >= 1 && o.airline == taken->airline && o.type == taken->type &&
                       (o.halfHours & 1u) != 0;
            });
            k.recreate = !held;
        }
    }
}

void lf_checkStaticNeighbours(WeekSlot day) {
    for (StaticAc& s : g_staticAc) {
        if (!lf_isActive(s) || s.source != 1) continue;
        if ((!s.callsignCopy.empty() && g_collectedCallsigns.count(s.callsignCopy)) ||
            (!s.coupledCallsign.empty() && g_collectedCallsigns.count(s.coupledCallsign))) {
            g_staticRemovalList.emplace_back(s.callsign, s.standId);
            continue;
        }
        const auto onStand = std::find_if(g_parkingPositions.begin(), g_parkingPositions.end(),
                                          [&](const ParkingPosition& p) { return p.standId == s.standId; });
        if (onStand != g_parkingPositions.end()) {
            const std::string cs = gf_withoutStar(s.callsign);
            if (onStand->airline == s.airline && onStand->type == s.type &&
                (onStand->callsign == cs || onStand->secondCallsign == cs)) {
                lf_keep(s);
                g_parkingPositions.erase(onStand);
            } else {
                lf_reconsiderStatic(s, onStand, day);
            }
            continue;
        }
        const Stand* stand = gf_standById(s.standId);
        auto next = g_parkingPositions.end();
        if (stand) {
            next = std::find_if(g_parkingPositions.begin(), g_parkingPositions.end(), [&](const ParkingPosition& p) {
                if (std::find(stand->adjacent.begin(), stand->adjacent.end(), p.standId) == stand->adjacent.end())
                    return false;
                const Stand* other = gf_standById(p.standId);
                return other && gf_distanceNm({s.standLat, s.standLon}, {other->latitude, other->longitude}) <
                                    s.size + gf_halfWingspanNm(p.type);
            });
        }
        if (next != g_parkingPositions.end()) {
            lf_reconsiderStatic(s, next, day);
        } else if (lf_optionStillMatches(s, day)) {
            lf_keep(s);
        } else {
            g_staticRemovalList.emplace_back(s.callsign, s.standId);
        }
    }
    std::sort(g_keptStatic.begin(), g_keptStatic.end(),
              [](const KeptStatic& a, const KeptStatic& b) { return a.callsign < b.callsign; });
    lf_setRecreateFlags(day);
}

void lf_recreateKept() {
    for (auto it = g_keptStatic.begin(); it != g_keptStatic.end();) {
        if (!it->recreate) {
            ++it;
            continue;
        }
        ParkingPosition p;
        p.origin = 1;
        p.standId = it->standId;
        p.airline = it->airline;
        p.type = it->type;
        p.callsign = it->callsignCopy.empty() ? gf_withoutStar(it->callsign) : it->callsignCopy;
        p.secondCallsign = it->spare;
        p.registration = it->registration;
        p.callsignFirst = false;  // the coupled flight of the next half-hour
        g_parkingPositions.push_back(std::move(p));
        g_staticRemovalList.emplace_back(it->callsign, it->standId);
        it = g_keptStatic.erase(it);
    }
}

void lf_sortLargestFirst() {
    std::stable_sort(g_parkingPositions.begin(), g_parkingPositions.end(),
                     [](const ParkingPosition& a, const ParkingPosition& b) { return a.sortKey > b.sortKey; });
}

void lf_finishRenewal(bool flush, WeekSlot day, std::int32_t wanted,
                      const std::optional<std::vector<ParkedRecord>>& parked) {
    // 5. Parked traffic.
    if (parked) {
        lf_updateFromParkTraffic(*parked, day);
        if (RT_PARKTRAFFIC_ONLY.value()) {
            gf_setStatusLine(fmt::format("ParkTraffic changes: {} to be removed, {} to be added",
                                         g_staticRemovalList.size(), g_parkingPositions.size()),
                             true);
            lf_removeListedStatic();
            lf_sortLargestFirst();
            return;
        }
    }
    // 6.-7. Stand options.
    lf_dropStaleStatic(flush, day);
    const auto c = static_cast<std::int32_t>(g_keptStatic.size() + g_parkedLiveList.size());
    for (const KeptStatic& k : g_keptStatic) lf_markStandUsed(k.standId);
    if (wanted - static_cast<std::int32_t>(g_parkingPositions.size()) != c) lf_timeFill(day, wanted, c);
    // 8.-10.
    lf_checkStaticNeighbours(day);
    lf_recreateKept();
    lf_trimPositions(wanted);
    // 11.
    lf_sortLargestFirst();
    gf_setStatusLine(fmt::format("Parking adjustments: {} to be removed, {} to be added\n", g_staticRemovalList.size(),
                                 g_parkingPositions.size()),
                     true);
    lf_removeListedStatic();
}

}  // namespace

void lf_trimPositions(std::int32_t wanted) {
    std::int64_t surplus = static_cast<std::int64_t>(g_parkingPositions.size() + g_keptStatic.size() +
                                                     g_parkedLiveList.size()) -
                           wanted;
    while (surplus > 0 && !g_parkingPositions.empty()) {
        g_parkingPositions.pop_back();
        --surplus;
    }
    while (surplus > 0 && !g_keptStatic.empty()) {
        g_staticRemovalList.emplace_back(g_keptStatic.back().callsign, g_keptStatic.back().standId);
        g_keptStatic.pop_back();
        --surplus;
    }
    // Below one wanted aircraft the parking limit is off: parked live
    // aircraft are never removed for it.
    if (wanted < 1) return;
    while (surplus > 0 && !g_parkedLiveList.empty()) {
        const ParkedLiveEntry e = g_parkedLiveList.back();
        g_parkedLiveList.pop_back();
        for (LiveAc& a : g_liveAc) {
            if (a.callsign == e.callsign && a.standId == e.standId && a.simState == SimState::active) {
                removeAircraftFromSim(a);
                break;
            }
        }
        --surplus;
    }
}

void lf_removeListedStatic() {
    for (StaticAc& s : g_staticAc) {
        if (s.simState != SimState::active && s.simState != SimState::removingfromsim) continue;
        const bool listed = std::any_of(g_staticRemovalList.begin(), g_staticRemovalList.end(),
                                        [&](const auto& e) { return e.second == s.standId; });
        if (listed) removeAircraftFromSim(s);
    }
    g_staticRemovalList.clear();
}

void gf_applyParkTrafficChanges(bool flush) {
    // 1.-2.
    WeekSlot day;
    lf_dayInfo(day);
    lf_takeCollectedIds();
    g_softSearchShown = false;
    g_weekSearchShown = false;
    lf_listStaticCallsigns();
    g_staticRemovalList.clear();
    g_keptStatic.clear();
    g_parkedLiveList.clear();
    g_parkingPositions.clear();
    lf_clearStandSearchMarks();
    for (Stand& stand : g_standList) {
        std::uint32_t n = 0;
        for (StandOption& o : stand.options) o.index = ++n;
    }
    lf_markReservedStands();
    // 3.
    if (flush) {
        for (StaticAc& s : g_staticAc)
            if (lf_isActive(s) && s.source == 1) g_staticRemovalList.emplace_back(s.callsign, s.standId);
    }
    // 4.
    const std::int32_t wanted = lf_wantedParkCount();
    lf_limitParkedLive(wanted);
    g_parkingControlsBusy = true;
    lf_askParkedTraffic([flush, day, wanted](const std::optional<std::vector<ParkedRecord>>& parked) {
        lf_finishRenewal(flush, day, wanted, parked);
    });
}
