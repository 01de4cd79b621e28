#include "traffic/engine_support.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

#include "airports/park_airport_state.h"
#include "catalogue/dbase_queries.h"
#include "core/settings.h"
#include "core/text.h"
#include "traffic/ai_commands.h"
#include "traffic/stand_choice.h"
#include "traffic/stand_options.h"
#include "traffic/traffic_state.h"

namespace {

constexpr double kFartherMargin_nm = 0.1;

std::mutex g_comboMutex;
std::vector<std::string> g_comboList{std::string()};

StandOption* lf_optionOfDay(std::vector<StandOption>& options, std::int32_t weekday, const AcBase& ac) {
    for (StandOption& o : options)
        if (o.index != 0 && o.day == static_cast<std::uint32_t>(weekday) && o.reg == ac.registration) return &o;
    return nullptr;
}

}  // namespace

std::atomic<std::int32_t> g_wantedParkShown{0};
std::atomic<std::int32_t> g_wantedParkPercentShown{0};

std::int32_t lf_wantedParkCount() {
    const std::int32_t maxPark = MAX_PARK_SEL.value();
    if (maxPark <= 0) {
        g_wantedParkShown = 0;
        g_wantedParkPercentShown = parking_percentage.value();
        return 0;
    }
    const std::int32_t custom = CUSTOM_PARKING_PERCENTAGE.value();
    const std::int32_t p = custom >= 0 ? custom : parking_percentage.value();
    const auto s = static_cast<std::int64_t>(g_standList.size());
    std::int64_t n = 1;
    if (s > 1 && (s > 3 || p >= 50)) n = std::llround(static_cast<double>(p) * static_cast<double>(s) / 100.0);
    const auto wanted = static_cast<std::int32_t>(std::min<std::int64_t>(maxPark, n));
    g_wantedParkShown = wanted;
    g_wantedParkPercentShown = gf_percentage(wanted, s);
    return wanted;
}

namespace {

// The distances of the active aircraft from the user, taken once while the
// pass moves the aircraft: a poll's waiting aircraft fall due together, and
// each would otherwise walk every live aircraft with its trigonometry while
// the live limit is reached. Within one pass an aircraft moves far less than
// the 0.1 nm that makes one count as farther.
// The active ones are also kept apart, in vector order, with their places:
// with thousands of aircraft in range and a few hundred shown, a search over
// those few hundred costs nothing, one over the whole live vector a
// millisecond, and a poll's aircraft falling due in one pass each make one.
// No aircraft becomes active while the pass moves the aircraft (only the
// simulator's events make one active), so the kept list holds every
// candidate; one that stopped being active since is skipped.
struct ActiveDistance {
    std::size_t index;
    double dist_nm;
};
// The search for the next farther aircraft passes over whole blocks of the
// kept list by their largest distance: a poll's aircraft falling due
// together each search it, and once the farthest shown ones have given way
// (they stay in the list, no longer active) each search would walk all of
// it for nothing.
constexpr std::size_t kDistanceBlock = 32;
struct FarthestOfPass {
    bool armed = false;
    bool known = false;
    double max_nm = -1.0;
    std::vector<ActiveDistance> active;
    // The largest distance of each block of `active`, over the entries not
    // yet found no longer active (those are set to minus infinity); empty
    // where a distance is not a number (the list is walked then).
    std::vector<double> blockMax;
    std::optional<std::size_t> activeCount;
    // Places of the aircraft whose callsign carries the ghost mark, in vector
    // order: each creation looks for its ghost, and a poll's aircraft falling
    // due together would each walk the whole live vector for it.
    std::optional<std::vector<std::size_t>> ghosts;
};
FarthestOfPass g_farthestOfPass;
// More than any aircraft moves within one pass.
constexpr double kPassMove_nm = 0.01;

}  // namespace

void gf_armFarthestOfPass(bool armed) {
    FarthestOfPass& f = g_farthestOfPass;
    f.armed = armed;
    f.known = false;
    f.max_nm = -1.0;
    f.active.clear();
    f.blockMax.clear();
    f.activeCount.reset();
    f.ghosts.reset();
}

const std::vector<std::size_t>* gf_ghostsOfPass() {
    FarthestOfPass& f = g_farthestOfPass;
    if (!f.armed) return nullptr;
    if (!f.ghosts) {
        f.ghosts.emplace();
        for (std::size_t i = 0; i < g_liveAc.size(); ++i)
            if (gf_hasGhostMark(g_liveAc[i].callsign)) f.ghosts->push_back(i);
    }
    return &*f.ghosts;
}

void gf_noteCallsignOfPass(const LiveAc& ac) {
    FarthestOfPass& f = g_farthestOfPass;
    if (!f.armed || !f.ghosts || !gf_hasGhostMark(ac.callsign)) return;
    const auto index = static_cast<std::size_t>(&ac - g_liveAc.data());
    if (index >= g_liveAc.size()) return;
    const auto at = std::lower_bound(f.ghosts->begin(), f.ghosts->end(), index);
    if (at == f.ghosts->end() || *at != index) f.ghosts->insert(at, index);
}

std::size_t gf_activeLiveCount() {
    FarthestOfPass& f = g_farthestOfPass;
    if (f.armed && f.activeCount) return *f.activeCount;
    const auto n = static_cast<std::size_t>(std::count_if(
        g_liveAc.begin(), g_liveAc.end(), [](const LiveAc& a) { return a.simState == SimState::active; }));
    if (f.armed) f.activeCount = n;
    return n;
}

namespace {

void lf_takeBlockMaxima(FarthestOfPass& f) {
    f.blockMax.clear();
    for (std::size_t i = 0; i < f.active.size(); ++i) {
        const double d = f.active[i].dist_nm;
        if (std::isnan(d)) {
            f.blockMax.clear();
            return;
        }
        if (i % kDistanceBlock == 0) f.blockMax.push_back(d);
        else f.blockMax.back() = std::max(f.blockMax.back(), d);
    }
}

// The first entry from `from` on whose distance is over `over`, by the
// blocks' maxima; the list's size when none.
std::size_t lf_nextOver(const FarthestOfPass& f, std::size_t from, double over) {
    const std::size_t n = f.active.size();
    while (from < n) {
        const std::size_t block = from / kDistanceBlock;
        const std::size_t end = std::min(n, (block + 1) * kDistanceBlock);
        if (f.blockMax[block] > over) {
            for (std::size_t i = from; i < end; ++i)
                if (f.active[i].dist_nm > over) return i;
        }
        from = end;
    }
    return n;
}

// The first active aircraft (in vector order) more than the margin farther
// than the best so far, the best starting at dist_nm; 0 when none.
std::uint32_t lf_farthestHexid(const LatLon& user, double dist_nm, FarthestOfPass* cached) {
    double best = dist_nm;
    std::uint32_t bestHexid = 0;
    if (cached && !cached->blockMax.empty()) {
        // The walk below by blocks; no aircraft becomes active again within
        // the pass, so one found no longer active is left out of its block.
        FarthestOfPass& f = *cached;
        for (std::size_t i = lf_nextOver(f, 0, best + kFartherMargin_nm); i < f.active.size();
             i = lf_nextOver(f, i + 1, best + kFartherMargin_nm)) {
            ActiveDistance& a = f.active[i];
            const LiveAc& ac = g_liveAc[a.index];
            if (ac.simState != SimState::active) {
                a.dist_nm = -std::numeric_limits<double>::infinity();
                const std::size_t block = i / kDistanceBlock;
                const std::size_t end = std::min(f.active.size(), (block + 1) * kDistanceBlock);
                double m = -std::numeric_limits<double>::infinity();
                for (std::size_t j = block * kDistanceBlock; j < end; ++j) m = std::max(m, f.active[j].dist_nm);
                f.blockMax[block] = m;
                continue;
            }
            best = a.dist_nm;
            bestHexid = ac.hexid;
        }
        return bestHexid;
    }
    if (cached) {
        for (const ActiveDistance& a : cached->active) {
            if (a.dist_nm <= best + kFartherMargin_nm) continue;
            const LiveAc& ac = g_liveAc[a.index];
            if (ac.simState != SimState::active) continue;
            best = a.dist_nm;
            bestHexid = ac.hexid;
        }
        return bestHexid;
    }
    for (const LiveAc& ac : g_liveAc) {
        if (ac.simState != SimState::active) continue;
        const double x = gf_distanceNm(user, LatLon{ac.pos.lat, ac.pos.lon});
        if (x > best + kFartherMargin_nm) {
            best = x;
            bestHexid = ac.hexid;
        }
    }
    return bestHexid;
}

void lf_takeActiveDistances(FarthestOfPass& f, const LatLon& user) {
    if (f.known) return;
    f.known = true;
    for (std::size_t i = 0; i < g_liveAc.size(); ++i) {
        const LiveAc& ac = g_liveAc[i];
        if (ac.simState != SimState::active) continue;
        const double d = gf_distanceNm(user, LatLon{ac.pos.lat, ac.pos.lon});
        f.active.push_back(ActiveDistance{i, d});
        f.max_nm = std::max(f.max_nm, d);
    }
    lf_takeBlockMaxima(f);
}

}  // namespace

bool gf_fartherThanEveryShown(double atLeast_nm) {
    FarthestOfPass& f = g_farthestOfPass;
    if (!f.armed || std::isnan(atLeast_nm)) return false;
    lf_takeActiveDistances(f, LatLon{g_userAcData.lat_deg, g_userAcData.lon_deg});
    // The sums grow with the distance, rounding and all.
    return f.max_nm + kPassMove_nm <= atLeast_nm + kFartherMargin_nm;
}

bool gf_removeFarthestLiveAc(double dist_nm) {
    const LatLon user{g_userAcData.lat_deg, g_userAcData.lon_deg};
    FarthestOfPass& f = g_farthestOfPass;
    const bool cached = f.armed && dist_nm >= 0.0;
    if (cached) {
        lf_takeActiveDistances(f, user);
        // A removal only brings the farthest nearer, so the figure stays an
        // upper bound for the rest of the pass.
        if (f.max_nm + kPassMove_nm <= dist_nm + kFartherMargin_nm) return true;
    }
    const std::uint32_t bestHexid = lf_farthestHexid(user, dist_nm, cached ? &f : nullptr);
    if (bestHexid == 0) return true;
    if (LiveAc* ac = gf_findLiveAc(bestHexid)) {
        removeAircraftFromSim(*ac);
        if (f.activeCount && *f.activeCount > 0 && ac->simState != SimState::active) --*f.activeCount;
    }
    return false;
}

bool gf_fillLiveAcCombo() {
    std::vector<std::string> list;
    for (const LiveAc& ac : g_liveAc)
        if (ac.simState == SimState::active && ac.flightState != FlightState::parked) list.push_back(ac.callsign);
    std::sort(list.begin(), list.end());
    const bool any = !list.empty();
    if (!any) list.emplace_back();
    // The choice of the moment, never kept in parameters.xml.
    CALLSIGN_2_OBJECTID.setValue(list.front());
    std::lock_guard lock(g_comboMutex);
    g_comboList = std::move(list);
    return any;
}

void gf_resetLiveAcList() {
    CALLSIGN_2_OBJECTID.setValue("");
    std::lock_guard lock(g_comboMutex);
    g_comboList.assign(1, std::string());
}

std::vector<std::string> gf_liveAcComboList() {
    std::lock_guard lock(g_comboMutex);
    return g_comboList;
}

bool lf_inWeekSlotWindow(WeekSlot now, std::vector<StandOption>& options, std::uint32_t& key, WeekSlot& stored,
                         const AcBase& ac) {
    if (key == 0) return true;
    if (now.weekday == stored.weekday && now.halfHour == stored.halfHour) return true;
    const std::int32_t w = ac.cargo ? 12 : (ac.category == AcCategory::Heavy ? 8 : 6);
    const std::int32_t d = gf_halfHoursBetween(stored, now);
    if (d < 1 || d >= w) return false;
    auto list = gf_halfHoursBack(now, d);
    if (now.weekday == stored.weekday) {
        if (updateOptions(options, list, key)) gf_setOptionCallsign(options, key, ac.callsign);
        stored = now;
        return true;
    }
    StandOption* later = lf_optionOfDay(options, now.weekday, ac);
    if (!later) return false;
    const std::uint32_t laterIndex = later->index;
    updateOptionsWrapped(options, list, key, laterIndex);
    gf_setOptionCallsign(options, key, ac.callsign);
    gf_setOptionCallsign(options, laterIndex, ac.callsign);
    key = laterIndex;
    stored = now;
    return true;
}

std::vector<std::uint32_t>::const_iterator lf_findBlockingNeighbour(const std::vector<std::uint32_t>& standIds,
                                                                    const Stand& stand, const LiveAc& ac) {
    for (auto it = standIds.begin(); it != standIds.end(); ++it) {
        const auto occupant = std::find_if(g_liveAc.begin(), g_liveAc.end(),
                                           [&](const LiveAc& a) { return a.standId == *it; });
        if (occupant == g_liveAc.end()) continue;
        const bool standing =
            occupant->flightState == FlightState::parked || occupant->flightState == FlightState::pushing_back;
        if (!standing || occupant->simState != SimState::active || occupant->callsign == ac.callsign) continue;
        const Stand* neighbour = gf_standById(*it);
        if (!neighbour || (neighbour->latitude == 0.0 && neighbour->longitude == 0.0)) continue;
        const double d = gf_distanceNm(LatLon{neighbour->latitude, neighbour->longitude},
                                       LatLon{stand.latitude, stand.longitude});
        if (d <= 1.1 * (gf_halfWingspanNm(occupant->type) + gf_halfWingspanNm(ac.type))) return it;
    }
    return standIds.end();
}

void lf_eraseLiveAc(std::size_t index) {
    if (index >= g_liveAc.size()) return;
    if (index + 1 != g_liveAc.size()) g_liveAc[index] = std::move(g_liveAc.back());
    g_liveAc.pop_back();
}
