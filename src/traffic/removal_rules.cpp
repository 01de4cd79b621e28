#include "traffic/removal_rules.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string_view>
#include <unordered_map>

#include "airports/park_airport_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "traffic/ai_commands.h"
#include "traffic/engine_support.h"
#include "traffic/stand_choice.h"

namespace {

constexpr double kMovedDeg = 1e-8;
constexpr std::int64_t k100nsPerSecond = 10000000;

std::atomic<float> g_parkedMeanHalfHours{0.0f};

bool lf_isActive(const AcSimFields& s) { return s.simState == SimState::active; }

bool lf_isParkedActive(const LiveAc& a) { return lf_isActive(a) && a.flightState == FlightState::parked; }

const char* lf_groundText(bool onGround) { return onGround ? "on ground" : "airborne"; }

std::int64_t lf_parkedSeconds(const LiveAc& a) { return (gf_engineNow100ns() - a.parkedSince) / k100nsPerSecond; }

// Active parked live aircraft, longest parked first.
std::vector<LiveAc*> lf_longestParkedFirst() {
    std::vector<LiveAc*> list;
    for (LiveAc& a : g_liveAc)
        if (lf_isParkedActive(a)) list.push_back(&a);
    std::stable_sort(list.begin(), list.end(),
                     [](const LiveAc* x, const LiveAc* y) { return x->parkedSince < y->parkedSince; });
    return list;
}

bool lf_sameCallsign(const StaticAc& s, const LiveAc& live, bool& same) {
    const std::string& cs = live.callsign;
    same = s.callsignCopy == cs;
    if (cs == s.callsignCopy || cs == s.coupledCallsign) return true;
    if (!live.coupledCallsign.empty() &&
        (live.coupledCallsign == s.callsignCopy || live.coupledCallsign == s.coupledCallsign))
        return true;
    if (!cs.empty() && cs.back() == '_') {
        const std::string real = cs.substr(0, cs.size() - 1);
        return real == s.callsignCopy || real == s.coupledCallsign;
    }
    return false;
}

}  // namespace

void lf_ghostCheck(const std::string& callsign) {
    const std::string ghost = callsign + "_";
    const auto isGhost = [&](const LiveAc& a) { return a.callsign == ghost && a.simState != SimState::removingfromsim; };
    auto it = g_liveAc.end();
    if (const std::vector<std::size_t>* ghosts = gf_ghostsOfPass()) {
        for (const std::size_t i : *ghosts) {
            if (i < g_liveAc.size() && isGhost(g_liveAc[i])) {
                it = g_liveAc.begin() + static_cast<std::ptrdiff_t>(i);
                break;
            }
        }
    } else {
        it = std::find_if(g_liveAc.begin(), g_liveAc.end(), isGhost);
    }
    if (it == g_liveAc.end()) return;
    if (it->flightState == FlightState::parked) {
        gf_logLine(fmt::format("{:8}: {:8} is a ghost and will be removed, continue with {}", gf_standNameOf(it->standId),
                               ghost, callsign));
    } else {
        gf_logLine(fmt::format("          {:8} is a ghost and will be removed, continue with {}", ghost, callsign));
    }
    g_removedGhosts.push_back(ghost);
    removeAircraftFromSim(*it);
}

bool gf_realCallsignActive(const std::string& ghost) {
    // Only a trailing "_" marks a ghost: DLH41 is no ghost of DLH4.
    if (ghost.empty() || ghost.back() != '_') return false;
    const std::string real = ghost.substr(0, ghost.size() - 1);
    return std::any_of(g_liveAc.begin(), g_liveAc.end(), [&](const LiveAc& a) {
        return a.simState != SimState::removingfromsim && a.callsign == real;
    });
}

void gf_removeStaticDuplicates(const LiveAc& live, bool onGround) {
    if (live.callsign.empty()) return;
    for (StaticAc& s : g_staticAc) {
        if (!lf_isActive(s)) continue;
        const std::string stand = gf_standNameOf(s.standId);
        if (s.source == 0 && s.parkedHexid == live.hexid) {
            gf_logLine(fmt::format("{:8}: {:8} removed, new {} '{}' has same hexid", stand, s.callsign,
                                   lf_groundText(onGround), live.callsign));
        } else if (!live.registration.empty() && s.registration == live.registration) {
            gf_logLine(fmt::format("{:8}: {:8} {} removed, new {} '{}' has same regcode {}", stand, s.callsign,
                                   s.registration, lf_groundText(onGround), live.callsign, live.registration));
        } else {
            bool same = false;
            if (!lf_sameCallsign(s, live, same)) continue;
            gf_logLine(fmt::format("{:8}: {:8} '{}' '{}' removed, new {} {} '{}' '{}' has {} callsign", stand,
                                   s.callsign, s.callsignCopy, s.coupledCallsign, lf_groundText(onGround),
                                   live.callsign, live.callsignCopy, live.coupledCallsign, same ? "same" : "coupled"));
        }
        removeAircraftFromSim(s);
        return;
    }
}

namespace {

bool lf_collidesWithStatic(const StaticAc& s, const LiveAc& live) {
    if (!lf_isActive(s) || s.callsign == live.callsign) return false;
    const double reach = 1.1 * (s.size + live.size);
    // No distance is shorter than the latitudes' difference along the
    // meridian: most static aircraft are ruled out without trigonometry.
    if (std::fabs(s.standLat - live.pos.lat) * kDegToRad * kTwoEarthRadiiNm / 2.0 > reach * 1.000001) return false;
    return gf_distanceNm(LatLon{s.standLat, s.standLon}, LatLon{live.pos.lat, live.pos.lon}) <= reach;
}

void lf_removeForCollision(StaticAc& s, const LiveAc& live) {
    gf_logLine(fmt::format("{:8}: {:8} removed for collision avoidance with static {}", gf_standNameOf(s.standId),
                           s.callsign, live.callsign));
    removeAircraftFromSim(s);
}

// The static aircraft in the order of their stands' latitudes, taken once
// for the whole check: with hundreds of static and of taxiing aircraft, each
// of these would otherwise walk every static aircraft.
struct StaticsByLatitude {
    std::vector<std::pair<double, std::size_t>> byLat;  // stand latitude, place in the static vector
    double maxSize = 0.0;
};

StaticsByLatitude lf_staticsByLatitude() {
    StaticsByLatitude out;
    out.byLat.reserve(g_staticAc.size());
    for (std::size_t i = 0; i < g_staticAc.size(); ++i) {
        // A stand without a usable latitude collides with nothing.
        if (!std::isfinite(g_staticAc[i].standLat)) continue;
        out.byLat.emplace_back(g_staticAc[i].standLat, i);
        out.maxSize = std::max(out.maxSize, g_staticAc[i].size);
    }
    std::sort(out.byLat.begin(), out.byLat.end());
    return out;
}

bool lf_mayCheckCollision(LiveAc& live) {
    if (live.towed || live.motion.touchdownUnderWay) return false;
    live.positionAtLastCheck = LatLon{live.pos.lat, live.pos.lon};
    return true;
}

}  // namespace

void gf_avoidStaticCollision(LiveAc& live) {
    if (!lf_mayCheckCollision(live)) return;
    for (StaticAc& s : g_staticAc) {
        if (!lf_collidesWithStatic(s, live)) continue;
        lf_removeForCollision(s, live);
        return;
    }
}

void gf_avoidLiveParkedCollisions() {
    if (!COLLISION_LIVE_PARKED_GND.value() || g_staticAc.empty()) return;
    const StaticsByLatitude statics = lf_staticsByLatitude();
    for (LiveAc& a : g_liveAc) {
        if (!lf_isActive(a) || !a.groundMode) continue;
        if (a.flightState != FlightState::taxi && a.flightState != FlightState::parking) continue;
        if (std::fabs(a.pos.lat - a.positionAtLastCheck.lat) < kMovedDeg &&
            std::fabs(a.pos.lon - a.positionAtLastCheck.lon) < kMovedDeg)
            continue;
        if (!lf_mayCheckCollision(a)) continue;
        // Only the static aircraft within the widest reach along the meridian
        // can collide; of those the first in the static vector goes, as a
        // walk of the whole vector finds it.
        const double band_deg = 1.1 * (statics.maxSize + a.size) * 1.001 / (kDegToRad * kTwoEarthRadiiNm / 2.0) + 1e-9;
        auto it = std::lower_bound(statics.byLat.begin(), statics.byLat.end(),
                                   std::pair<double, std::size_t>{a.pos.lat - band_deg, 0});
        std::size_t first = g_staticAc.size();
        for (; it != statics.byLat.end() && it->first <= a.pos.lat + band_deg; ++it) {
            if (it->second < first && lf_collidesWithStatic(g_staticAc[it->second], a)) first = it->second;
        }
        if (first < g_staticAc.size()) lf_removeForCollision(g_staticAc[first], a);
    }
}

void gf_removeStaticTwins() {
    if (g_liveAc.empty() || g_staticAc.empty()) return;
    // The static aircraft indexed once by callsign (without its "*") and by
    // registration, the first of each in vector order: one look-up per live
    // aircraft instead of a walk over every static one.
    std::unordered_map<std::string_view, std::size_t> byCallsign, byRegistration;
    byCallsign.reserve(g_staticAc.size());
    byRegistration.reserve(g_staticAc.size());
    for (std::size_t i = 0; i < g_staticAc.size(); ++i) {
        const StaticAc& s = g_staticAc[i];
        if (!s.callsign.empty() && s.callsign.back() == '*')
            byCallsign.try_emplace(std::string_view(s.callsign).substr(0, s.callsign.size() - 1), i);
        byRegistration.try_emplace(s.registration, i);
    }
    for (const LiveAc& live : g_liveAc) {
        if (!lf_isActive(live) || !live.groundMode) continue;
        std::size_t first = g_staticAc.size();
        if (auto c = byCallsign.find(live.callsign); c != byCallsign.end()) first = c->second;
        if (!live.registration.empty())
            if (auto r = byRegistration.find(live.registration); r != byRegistration.end())
                first = std::min(first, r->second);
        if (first < g_staticAc.size() && lf_isActive(g_staticAc[first])) {
            removeAircraftFromSim(g_staticAc[first]);
            return;
        }
    }
}

void gf_clearReservedStand() {
    const auto stand = gf_findStandByName(g_reservedStand.get());
    // No such stand: "stand 0" is every aircraft without a stand, none of
    // which is on the reserved one.
    if (stand == g_standList.end()) return;
    const std::uint32_t id = gf_standNumericId(*stand);
    if (id == 0) return;
    for (StaticAc& s : g_staticAc) {
        if (lf_isActive(s) && s.standId == id) {
            removeAircraftFromSim(s);
            return;
        }
    }
    for (LiveAc& a : g_liveAc) {
        if (lf_isParkedActive(a) && a.standId == id) {
            removeAircraftFromSim(a);
            return;
        }
    }
}

void lf_checkMaxPark(std::int32_t toCome) {
    if (RT_PARKTRAFFIC_ONLY.value()) return;
    const std::int32_t wanted = lf_wantedParkCount();
    if (wanted < 1) return;
    // The wanted count is a share of the stands: an aircraft resting short of
    // a stand held by another takes none, and must not push a parked one out.
    const auto n = static_cast<std::int32_t>(std::count_if(
        g_liveAc.begin(), g_liveAc.end(), [](const LiveAc& a) { return lf_isParkedActive(a) && a.standId != 0; }));
    if (!INITIAL_LOAD_ONLY.value() && toCome + n > wanted) {
        const auto list = lf_longestParkedFirst();
        if (!list.empty() && lf_isActive(*list.front())) {
            gf_logLine(fmt::format("{:8}: {} live max park exceeded, removed", gf_standNameOf(list.front()->standId),
                                   list.front()->callsign));
            removeAircraftFromSim(*list.front());
        }
    }
    std::int32_t s = 0;
    StaticAc* oldest = nullptr;
    // Ages through the week's end: parked Sunday night is older than parked
    // Monday morning.
    const WeekSlot now = gf_currentWeekSlot();
    for (StaticAc& a : g_staticAc) {
        if (a.simState != SimState::active && a.simState != SimState::removingfromsim) continue;
        ++s;
        if (!oldest || gf_halfHoursBetween(a.weekSlot, now) > gf_halfHoursBetween(oldest->weekSlot, now)) oldest = &a;
    }
    if (s + toCome + n > wanted && oldest && lf_isActive(*oldest)) {
        gf_logLine(fmt::format("{:8}: {} static max park exceeded, removed", gf_standNameOf(oldest->standId),
                               oldest->callsign));
        removeAircraftFromSim(*oldest);
    }
}

void lf_removeLongestParked(std::int32_t n) {
    const auto list = lf_longestParkedFirst();
    for (std::int32_t i = 0; i < n && i < static_cast<std::int32_t>(list.size()); ++i) {
        gf_logLine(fmt::format("live parked {} at {} removed", gf_acDescription(*list[i]),
                               gf_standNameOf(list[i]->standId)));
        removeAircraftFromSim(*list[i]);
    }
}

std::vector<ParkedLiveEntry> lf_parkedLiveList() {
    std::vector<ParkedLiveEntry> list;
    for (LiveAc& a : g_liveAc) {
        if (!lf_isParkedActive(a)) continue;
        if (a.stillReported) {
            list.push_back({a.callsign, a.standId, 0});
            continue;
        }
        const std::int64_t minutes = lf_parkedSeconds(a) / 60;
        const std::int64_t limit = a.category == AcCategory::Heavy ? 180 : 90;
        if (INITIAL_LOAD_ONLY.value() || minutes <= limit) {
            list.push_back({a.callsign, a.standId, minutes});
        } else {
            removeAircraftFromSim(a);
        }
    }
    std::sort(list.begin(), list.end(),
              [](const ParkedLiveEntry& x, const ParkedLiveEntry& y) { return x.minutes < y.minutes; });
    return list;
}

void gf_removeAllStaticAc() {
    for (StaticAc& s : g_staticAc) {
        if (lf_isActive(s)) {
            removeAircraftFromSim(s);
        } else if (s.simState == SimState::adding2sim && !s.removeWhenCreated) {
            if (gf_eraseQueuedCreation(g_staticCreationQueue, s.callsign)) {
                s.creationCancelled = 1;
            } else {
                s.removeWhenCreated = 1;
            }
        }
    }
    std::erase_if(g_staticAc, [](const StaticAc& s) { return s.creationCancelled != 0; });
}

std::int32_t gf_countParkedLiveAc(bool withMean) {
    std::int32_t count = 0;
    std::int64_t sum = 0;
    const WeekSlot now = gf_currentWeekSlot();
    for (const LiveAc& a : g_liveAc) {
        if (!lf_isParkedActive(a)) continue;
        ++count;
        sum += gf_halfHoursBetween(a.weekSlot, now);
    }
    if (withMean) g_parkedMeanHalfHours = count == 0 ? 0.0f : static_cast<float>(sum) / static_cast<float>(count);
    return count;
}

float gf_parkedLiveMeanHalfHours() { return g_parkedMeanHalfHours.load(); }

void gf_handleNewLiveHexid() {
    if (g_duplicateCheckQueue.empty()) return;
    const std::uint32_t hexid = g_duplicateCheckQueue.front();
    g_duplicateCheckQueue.pop_front();
    LiveAc* ac = gf_findLiveAc(hexid);
    if (!ac) return;
    if (!ac->coupledSearched) {
        lf_searchForCoupledCsAroundThisTime(gf_currentWeekSlot(), *ac);
        ac->coupledSearched = 1;
    }
    gf_removeStaticDuplicates(*ac, ac->groundMode != 0);
}

void gf_removeBlockedCallsign(const std::string& callsign) {
    for (LiveAc& a : g_liveAc) {
        if (lf_isActive(a) && a.callsign == callsign) {
            removeAircraftFromSim(a);
            return;
        }
    }
}
