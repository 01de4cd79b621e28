#include "traffic/static_parking.h"

#include "core/port_missing.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "airports/airport_database.h"
#include "airports/learned_writer.h"
#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/park_stand_file.h"
#include "airports/stand_file_locate.h"
#include "app/window_requests.h"
#include "catalogue/dbase_queries.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/random.h"
#include "core/settings.h"
#include "core/text.h"
#include "core/user_error.h"
#include "feed/reader_services.h"
#include "feed/traffic_reader.h"
#include "traffic/ai_commands.h"
#include "traffic/engine_support.h"
#include "traffic/intake.h"
#include "traffic/removal_rules.h"
#include "traffic/stand_choice.h"
#include "traffic/stand_file_wait.h"
#include "traffic/traffic_link.h"
#include "core/status_line.h"

std::vector<KeptStatic> g_keptStatic;
std::vector<std::pair<std::string, std::uint32_t>> g_staticRemovalList;
std::vector<ParkedLiveEntry> g_parkedLiveList;
std::int32_t g_reachedRealFit = -1;
std::int32_t g_reachedSoftFit = -1;
std::atomic<bool> g_softSearchShown{false};
std::atomic<bool> g_weekSearchShown{false};
std::atomic<bool> g_parkingControlsBusy{false};

namespace {

constexpr double kNoPositionDeg = 0.0001;
constexpr double kSamePositionDeg = 1e-8;
constexpr double kParkedStandRadius_nm = 0.05939524838012959;  // 110 m
constexpr std::int32_t kStaticRenewal_min = 20;
constexpr std::int32_t kHalfHoursPerDay = 48;

bool g_calcPending = false;
// The current airport is kept without stands while its stand file cannot be
// had: the live feed passes ground entries only around the current airport,
// and an airport given up took every roll-out, taxi and push-back off the
// simulator for as long as the file failed. Only the parking waits.
bool g_waitingForStandFile = false;
LatLon g_lastUserPosition{0.0, 0.0};
StaticParkingWindow* g_window = nullptr;

StaticParkingWindow& lf_window() {
    if (!g_window) gf_portNotInstalled("the static parking's window");
    return *g_window;
}

// ---- The parked-traffic request off the worker ----
// The request waits up to 10 s for the Traffic Reader's answer; the worker's
// 10 ms pass must not wait with it, so the request runs on a helper thread
// and the pass takes the answer when it is there.
struct ParkedAnswer {
    std::atomic<bool> done{false};
    std::optional<std::vector<ParkedRecord>> records;
};

ParkedTrafficSource lf_defaultSource() {
    return []() -> std::optional<std::vector<ParkedRecord>> {
        // A request of an airport left meanwhile may still be waiting: one
        // request at a time uses the reader's answer buffer.
        static std::mutex requestMutex;
        std::lock_guard lock(requestMutex);
        if (!gf_requestParkedTraffic(g_trafficReader)) return std::nullopt;
        return std::move(g_trafficReader.parkedRecords);
    };
}

ParkedTrafficSource g_parkedSource = lf_defaultSource();
bool g_inlineAnswer = false;
std::shared_ptr<ParkedAnswer> g_parkedAnswer;
std::function<void(const std::optional<std::vector<ParkedRecord>>&)> g_parkedDone;

const char* const kWeekdayNames[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};

LatLon lf_userPosition() {
    if (g_userAcData.lat_deg != 0.0 || g_userAcData.lon_deg != 0.0) return {g_userAcData.lat_deg, g_userAcData.lon_deg};
    const UserAcData data = gf_userAcData();
    return {data.lat_deg, data.lon_deg};
}

double lf_userHeightAboveGround() {
    if (g_userAcData.lat_deg != 0.0 || g_userAcData.lon_deg != 0.0) return g_userAcData.altAboveGround_ft;
    return gf_userAcData().altAboveGround_ft;
}

// The 16 s before a calculation only collect the live callsigns: the parking
// controls stay with the user until the calculation itself runs, so a stand
// file that then cannot be had never takes them.
void lf_prepareStaticCalc() { g_trafficReader.collect = true; }

// The park-airport list ordered by distance from the user, nearest first.
void lf_updateParkAirportDistances(LatLon position) {
    gf_withParkAirports([&](std::list<ParkAirport>& list) {
        if (list.empty()) return;
        const bool moved = std::fabs(position.lat - g_lastUserPosition.lat) >= kSamePositionDeg ||
                           std::fabs(position.lon - g_lastUserPosition.lon) >= kSamePositionDeg;
        if (!moved) {
            ParkAirport& front = list.front();
            front.distance = gf_distanceNm(position, {front.latitude, front.longitude});
            return;
        }
        g_lastUserPosition = position;
        if (!DESTINATION.get().empty()) return;
        for (ParkAirport& p : list) p.distance = gf_distanceNm(position, {p.latitude, p.longitude});
        list.sort([](const ParkAirport& a, const ParkAirport& b) { return a.distance < b.distance; });
    });
}

std::optional<ParkAirport> lf_nearestParkAirport() {
    std::optional<ParkAirport> front;
    gf_withParkAirports([&](std::list<ParkAirport>& list) {
        if (!list.empty()) front = list.front();
    });
    return front;
}

void lf_makeParkingPositions();

// ---- The stand file's download off the worker ----
// An archived stand file comes from the download site; the worker's pass
// must not wait for the transfer, so a helper thread fetches it and the pass
// reads it once it is there.
struct StandFileFetch {
    std::atomic<bool> done{false};
    std::string reference;
    std::string error;
    bool notOnSite = false;
};
std::shared_ptr<StandFileFetch> g_standFetch;

void lf_calcWithStandFile(const std::string& reference, const std::string& fetchError, bool notOnSite);

// The airport stays current for the live traffic while its stand file fails.
void lf_keepForLiveTraffic(const Airport& airport) {
    g_currentAirport.set(airport);
    g_waitingForStandFile = true;
}

void lf_fetchStandFile(const std::string& reference) {
    auto fetch = std::make_shared<StandFileFetch>();
    fetch->reference = reference;
    g_standFetch = fetch;
    auto work = [fetch, reference] {
        try {
            fetch->error = lf_downloadAirportFile(reference, gf_prefetchPath(), fetch->notOnSite);
            if (fetch->error.empty()) gf_setPrefetchedStandFile(reference);
        } catch (const std::exception& e) {
            fetch->error = fmt::format("{}: {}", "lf_readParkedFile", e.what());
            gf_logLine(fetch->error);
        }
        fetch->done = true;
    };
    if (g_inlineAnswer) {
        work();
    } else {
        std::thread(std::move(work)).detach();
    }
}

}  // namespace

void gf_setParkedTrafficSource(ParkedTrafficSource source, bool inlineAnswer) {
    g_parkedSource = source ? std::move(source) : lf_defaultSource();
    g_inlineAnswer = inlineAnswer;
}

void gf_setStaticParkingWindow(StaticParkingWindow* window) { g_window = window; }

bool gf_parkedRequestPending() { return g_parkedAnswer != nullptr || g_standFetch != nullptr; }

void lf_askParkedTraffic(std::function<void(const std::optional<std::vector<ParkedRecord>>&)> done) {
    auto answer = std::make_shared<ParkedAnswer>();
    g_parkedAnswer = answer;
    g_parkedDone = std::move(done);
    if (g_inlineAnswer) {
        answer->records = g_parkedSource();
        answer->done = true;
        return;
    }
    std::thread([answer, source = g_parkedSource] {
        try {
            answer->records = source();
        } catch (const std::exception& e) {
            gf_logHighlight(fmt::format("{}: {}", "gf_requestParkedTraffic", e.what()));
        }
        answer->done = true;
    }).detach();
}

void gf_staticParkingPass() {
    if (g_standFetch && g_standFetch->done.load()) {
        const std::string error = g_standFetch->error;
        const std::string reference = g_standFetch->reference;
        const bool notOnSite = g_standFetch->notOnSite;
        g_standFetch.reset();
        lf_calcWithStandFile(reference, error, notOnSite);
    }
    if (!g_parkedAnswer || !g_parkedAnswer->done.load()) return;
    const std::shared_ptr<ParkedAnswer> answer = std::move(g_parkedAnswer);
    g_parkedAnswer.reset();
    auto done = std::move(g_parkedDone);
    g_parkedDone = nullptr;
    if (done) done(answer->records);
}

bool gf_parkAirportInUse() { return g_currentAirport.get().has_value(); }

// ---- The park airport ----

void lf_standFileWaitCheck(LatLon position, bool first);

void gf_staticParking(bool first) {
    if (g_parkingControlsBusy.load() && g_parkingPositions.empty() && !gf_parkedRequestPending()) {
        g_parkingControlsBusy = false;
        lf_window().enableParkingControls();
        gf_clearStatusLine();
        gf_showStaticParkStats(true);
        gf_countParkedLiveAc(true);
    }
    if (g_calcPending) {
        gf_clearStatusLine();
        g_calcPending = false;
        gf_calcStaticParking();
        return;
    }
    const LatLon position = lf_userPosition();
    if (std::fabs(position.lat) < kNoPositionDeg && std::fabs(position.lon) < kNoPositionDeg) return;
    lf_updateParkAirportDistances(position);
    if (!gf_parkAirportInUse()) {
        g_waitingForStandFile = false;
        lf_findAirportInSight(position, first);
    } else if (g_waitingForStandFile) {
        lf_standFileWaitCheck(position, first);
    } else {
        lf_inSightCheck(position);
    }
}

// The airport kept for the live traffic is left like any park airport, and
// taken again the usual way once its stand file may have come.
void lf_standFileWaitCheck(LatLon position, bool first) {
    lf_inSightCheck(position);
    const auto current = g_currentAirport.get();
    if (!current || !g_waitingForStandFile) return;
    if (gf_standFileStillFails(current->code)) return;
    g_waitingForStandFile = false;
    g_currentAirport.set(std::nullopt);
    lf_findAirportInSight(position, first);
}

void lf_findAirportInSight(LatLon position, bool first) {
    if (gf_trafficLink().userOnGround()) {
        const auto airport = gf_findClosestAirport(position);
        if (!airport) {
            gf_setStatusLine("User aircraft on the ground, no RT supported airport in sight", true);
            return;
        }
        const std::string text = fmt::format("User aircraft on the ground at {}", gf_parkAirportLabel(*airport));
        if (!gf_airportFileExists(airport->code)) {
            gf_setStatusLine(text + ", no airport file found", true);
            return;
        }
        if (gf_standFileStillFails(airport->code)) {
            lf_keepForLiveTraffic(*airport);
            return;
        }
        gf_logLine(text);
        if (!gf_logParkAirport(airport->code)) return;
        if (first) {
            g_calcPending = false;
            gf_calcStaticParking();
        } else {
            g_calcPending = true;
            lf_prepareStaticCalc();
        }
        return;
    }
    lf_window().enableDestination();
    const auto nearest = lf_nearestParkAirport();
    if (!nearest) return;
    if (nearest->distance > AIRP_RANGE.value() || lf_userHeightAboveGround() > AIRP_HEIGHT.value()) return;
    if (gf_standFileStillFails(nearest->code)) {
        if (const auto airport = gf_findAirport(nearest->code)) lf_keepForLiveTraffic(*airport);
        return;
    }
    if (!gf_logParkAirport(nearest->code)) return;
    gf_setStatusLine(fmt::format("{} in sight at {:.1F} nm", nearest->code, nearest->distance), true);
    g_calcPending = true;
    lf_prepareStaticCalc();
}

void lf_inSightCheck(LatLon position) {
    if (gf_trafficLink().userOnGround()) return;
    const auto current = g_currentAirport.get();
    if (!current) return;
    const double d = gf_distanceNm(position, {current->latitude, current->longitude});
    const bool inSight = d <= AIRP_RANGE.value() && lf_userHeightAboveGround() <= AIRP_HEIGHT.value();
    if (inSight) {
        const auto nearest = lf_nearestParkAirport();
        if (!nearest || nearest->code == current->code || nearest->distance > AIRP_RANGE.value() ||
            d < nearest->distance)
            return;
        gf_logLine(fmt::format("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first",
                               gf_simTimeText(), nearest->code, nearest->distance, gf_parkAirportLabel(*current)));
    } else {
        gf_logLine(fmt::format("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed",
                               gf_simTimeText(), gf_parkAirportLabel(*current), d));
    }
    gf_clearAirportTraffic();
}

void gf_calcStaticParking() {
    const auto current = g_currentAirport.get();
    const std::string reference = current ? gf_resolveAirportFile(current->code) : std::string();
    if (!reference.empty() && !gf_isLocalReference(reference)) {
        g_parkingControlsBusy = true;
        lf_fetchStandFile(reference);
        gf_staticParkingPass();
        return;
    }
    lf_calcWithStandFile(reference, {}, false);
}

namespace {

// A slip in a file of the download site (a stand id twice, no altitude) is
// none the user can mend: it is an unreadable stand file like any other,
// where it stopped the run at every start, each fetching it again. A file
// in the user's own folders still stops the run with the error that says
// what to mend in it.
std::string lf_readStandFile(const std::string& reference) {
    if (reference.empty() || gf_isLocalReference(reference)) return lf_readParkedFile();
    try {
        return lf_readParkedFile();
    } catch (const ozr::UserErrorException& e) {
        return e.what();
    }
}

void lf_calcWithStandFile(const std::string& reference, const std::string& fetchError, bool notOnSite) {
    const std::string error = fetchError.empty() ? lf_readStandFile(reference) : fetchError;
    if (!error.empty()) {
        g_parkingControlsBusy = false;
        lf_window().enableParkingControls();
        const auto current = g_currentAirport.get();
        const std::string code = current ? current->code : std::string();
        const StandFileTrouble trouble = fetchError.empty() ? StandFileTrouble::unreadable
                                         : notOnSite        ? StandFileTrouble::notOnSite
                                                            : StandFileTrouble::transfer;
        gf_noteStandFileFailure(code, reference, error, trouble);
        gf_resetCurrentAirport();
        if (current && gf_standFileWaitHeld(code)) lf_keepForLiveTraffic(*current);
    } else {
        gf_forgetStandFileFailure();
        g_staticRenewalMinutes = kStaticRenewal_min;
        lf_makeParkingPositions();
    }
    lf_window().enableDestination();
    gf_logFlush();
}

}  // namespace

void gf_clearAirportTraffic() {
    g_waitingForStandFile = false;
    // An answer still on its way belongs to the airport being left.
    g_standFetch.reset();
    g_parkedAnswer.reset();
    g_parkedDone = nullptr;
    g_parkingPositions.clear();
    gf_removeAllStaticAc();
    for (LiveAc& ac : g_liveAc) {
        const FlightState f = ac.flightState;
        const bool onStand = f == FlightState::pushing_back || f == FlightState::pushed_back ||
                             f == FlightState::taxi || f == FlightState::take_off || f == FlightState::parked;
        // Every stand goes with the airport, also that of an aircraft still
        // driving onto it: a stand id kept would be learned into the next
        // airport's file.
        if (onStand || ac.standId != 0 || f == FlightState::parking) {
            ac.standLat = 0.0;
            ac.standLon = 0.0;
            ac.standHeading = 0.0;
            ac.standId = 0;
            ac.standCargo = 0;
        }
        if (!onStand) continue;
        // Removal only marks the record (a queued creation is cancelled);
        // the traffic pass erases it, so this walk never shifts the vector
        // under itself.
        if (ac.simState == SimState::active || ac.simState == SimState::adding2sim) removeAircraftFromSim(ac);
    }
    gf_resetCurrentAirport();
}

void gf_resetCurrentAirport() {
    gf_leaveParkAirport();
    gf_changeAirportDisplay([](AirportDisplay& d) {
        d.parkAirportText.clear();
        d.airportName.clear();
        d.publisher.clear();
        d.qualityText.clear();
        d.standCount = 0;
        d.standsShown = false;
    });
    g_staticRemovalList.clear();
    g_parkingPositions.clear();
    gf_clearStands();
}

// ---- Positions ----

std::string lf_dayInfo(WeekSlot& day) {
    day = gf_currentWeekSlot();
    const char* name = day.weekday >= 1 && day.weekday <= 7 ? kWeekdayNames[day.weekday - 1] : "???";
    const std::string line = fmt::format("\n{} (utc) It is day {} ({}), {:.1F} hours", gf_simTimeText(), day.weekday,
                                         name, day.halfHour * 0.5);
    gf_logLine(line);
    return line;
}

WeekSlot lf_slotBefore(WeekSlot now, std::int32_t halfHours) {
    std::int32_t index = gf_weekSlotIndex(now) - halfHours;
    index %= 336;
    if (index < 0) index += 336;
    return WeekSlot{index / kHalfHoursPerDay + 1, index % kHalfHoursPerDay};
}

void lf_clearStandSearchMarks() {
    for (Stand& s : g_standList) {
        gf_standMark(s, StandMark::reserved) = 0;
        gf_standMark(s, StandMark::usedInSearch) = 0;
        gf_standMark(s, StandMark::nextToUsed) = 0;
    }
}

void lf_markReservedStands() {
    const std::string reserved = g_reservedStand.get();
    if (!reserved.empty()) {
        const auto it = gf_findStandByName(reserved);
        if (it != g_standList.end()) gf_standMark(*it, StandMark::reserved) = 1;
    }
    const LatLon user = lf_userPosition();
    const std::string userStand = gf_standNameAt(user, gf_trafficLink().userOnGround());
    if (!userStand.empty() && userStand != reserved) {
        const auto it = gf_findStandByName(userStand);
        if (it != g_standList.end()) gf_standMark(*it, StandMark::reserved) = 1;
    }
}

void lf_markStandUsed(std::uint32_t standId) {
    Stand* stand = gf_standById(standId);
    if (!stand) return;
    gf_standMark(*stand, StandMark::usedInSearch) = 1;
    for (std::uint32_t id : stand->adjacent) {
        if (Stand* next = gf_standById(id)) gf_standMark(*next, StandMark::nextToUsed) = 1;
    }
}

namespace {

bool lf_liveTwin(const ParkedRecord& r) {
    return std::any_of(g_liveAc.begin(), g_liveAc.end(), [&](const LiveAc& a) {
        return a.hexid == r.hexid || a.callsign == r.callsign || a.callsign == r.callsign + "_" ||
               (!r.registration.empty() && a.registration == r.registration);
    });
}

bool lf_skipParkedRecord(const ParkedRecord& r) {
    if (r.callsign.empty()) return true;
    if (g_collectedHexids.count(r.hexid) != 0) return true;
    if (g_collectedCallsigns.count(r.callsign) != 0 || g_collectedCallsigns.count(r.callsign + "_") != 0) return true;
    return lf_liveTwin(r);
}

// A stand next to a used one stays free only when a position on a
// neighbour would touch the new aircraft.
bool lf_neighbourTooClose(const Stand& stand, double size_nm) {
    for (std::uint32_t id : stand.adjacent) {
        const Stand* next = gf_standById(id);
        if (!next) continue;
        for (const ParkingPosition& p : g_parkingPositions) {
            if (p.standId != id) continue;
            const double d = gf_distanceNm({stand.latitude, stand.longitude}, {next->latitude, next->longitude});
            if (d < size_nm + gf_halfWingspanNm(p.type)) return true;
        }
    }
    return false;
}

// A static aircraft from parked traffic on the chosen stand, weighed against
// the newer record: false when the aircraft keeps the stand.
bool lf_weighStaticOnStand(const ParkedRecord& r, std::uint32_t standId, WeekSlot day) {
    for (StaticAc& s : g_staticAc) {
        if (s.source != 0 || s.standId != standId || s.callsign == r.callsign + "*") continue;
        if (s.simState != SimState::active && s.simState != SimState::removingfromsim) continue;
        const WeekSlot recordSlot = lf_slotBefore(day, r.slot);
        const std::int32_t recordAge = gf_halfHoursBetween(recordSlot, day);
        const std::int32_t staticAge = gf_halfHoursBetween(s.weekSlot, day);
        if (recordAge >= staticAge && gf_weekSlotIndex(recordSlot) != gf_weekSlotIndex(s.weekSlot)) {
            ParkingPosition keep;
            keep.hexid = s.parkedHexid;
            keep.origin = 0;
            keep.standId = s.standId;
            keep.sortKey = staticAge;
            keep.airline = s.airline;
            keep.type = s.type;
            keep.callsign = gf_withoutStar(s.callsign);
            keep.registration = s.registration;
            g_parkingPositions.push_back(std::move(keep));
            return false;
        }
        if (s.simState == SimState::active) s.simState = SimState::removingfromsim;
        g_staticRemovalList.emplace_back(s.callsign, s.standId);
    }
    return true;
}

}  // namespace

void lf_matchParkTraffic(const std::vector<ParkedRecord>& records, WeekSlot day) {
    const bool ptOnly = RT_PARKTRAFFIC_ONLY.value();
    const std::int32_t wanted = lf_wantedParkCount();
    if ((wanted == 0 && !ptOnly) || records.empty()) return;
    for (const ParkedRecord& r : records) {
        if (!ptOnly && static_cast<std::int32_t>(g_parkingPositions.size()) >= wanted) break;
        if (lf_skipParkedRecord(r)) continue;
        LiveAc probe;
        probe.airline = r.airline;
        probe.type = r.type;
        probe.callsign = r.callsign;
        probe.registration = r.registration;
        if (!r.registration.empty()) {
            if (const auto db = gf_lookupRegistration(r.registration)) probe.cargo = db->cargo ? 1 : 0;
        }
        if (probe.airline.empty() && !gf_fillAirlineFromCallsign(probe)) probe.airline = "PVT";
        probe.size = gf_halfWingspanNm(probe.type);
        probe.category = gf_acCategory(probe.type);

        Stand* stand = lf_chooseStand({r.lat, r.lon}, probe, kParkedStandRadius_nm, false);
        if (!stand) {
            gf_logLine(fmt::format("[{:10}: {:8x} {:8} {:12}, hh:{} ===> no stand for PT {}", r.standName, r.hexid,
                                   r.callsign, r.registration, r.slot, fmt::format("{:.6f},{:.6f}", r.lat, r.lon)));
            continue;
        }
        if (gf_standMark(*stand, StandMark::reserved) || gf_standMark(*stand, StandMark::usedInSearch)) continue;
        if (gf_standMark(*stand, StandMark::nextToUsed) && lf_neighbourTooClose(*stand, probe.size)) continue;
        const std::uint32_t standId = gf_standNumericId(*stand);
        if (!lf_weighStaticOnStand(r, standId, day)) continue;

        ParkingPosition p;
        p.hexid = r.hexid;
        p.origin = 0;
        p.standId = standId;
        p.sortKey = r.slot;
        p.airline = probe.airline;
        p.type = r.type;
        p.callsign = r.callsign;
        p.registration = r.registration;
        g_parkingPositions.push_back(std::move(p));
        lf_markStandUsed(standId);
    }
}

namespace {

void lf_sortPositions(bool largestFirst) {
    std::stable_sort(g_parkingPositions.begin(), g_parkingPositions.end(),
                     [&](const ParkingPosition& a, const ParkingPosition& b) {
                         return largestFirst ? a.sortKey > b.sortKey : a.sortKey < b.sortKey;
                     });
}

void lf_makeParkingPositions() {
    WeekSlot day;
    lf_dayInfo(day);
    g_parkingControlsBusy = true;
    lf_window().disableParkingControls();
    g_parkingPositions.clear();
    g_keptStatic.clear();
    g_parkedLiveList.clear();
    g_softSearchShown = false;
    g_weekSearchShown = false;
    lf_takeCollectedIds();
    lf_listStaticCallsigns();
    for (Stand& s : g_standList) s.marks = {s.marks[0], 0, 0, 0};
    lf_markReservedStands();
    if (MAX_PARK_SEL.value() > 0) {
        lf_askParkedTraffic([day](const std::optional<std::vector<ParkedRecord>>& parked) {
            lf_finishParkingPositions(day, parked);
        });
    } else {
        lf_finishParkingPositions(day, std::nullopt);
    }
}

}  // namespace

void lf_finishParkingPositions(WeekSlot day, const std::optional<std::vector<ParkedRecord>>& parked) {
    const bool ptOnly = RT_PARKTRAFFIC_ONLY.value();
    if (parked) lf_matchParkTraffic(*parked, day);
    if (!ptOnly) {
        const auto n = static_cast<std::int32_t>(g_parkingPositions.size());
        gf_logLine(fmt::format("{} parking position{} from PT", n, gf_pluralInt(n)));
        const std::int32_t wanted = lf_wantedParkCount();
        if (wanted > n) lf_timeFill(day, wanted, 0);
        lf_sortPositions(false);
        if (g_parkingPositions.size() > static_cast<std::size_t>(std::max(wanted, 0)))
            g_parkingPositions.resize(static_cast<std::size_t>(std::max(wanted, 0)));
    } else {
        lf_sortPositions(false);
    }
    const auto n = static_cast<std::int32_t>(g_parkingPositions.size());
    if (n > 0) {
        const std::int32_t p = g_standList.empty()
                                   ? 0
                                   : static_cast<std::int32_t>(std::lround(n * 100.0 / g_standList.size()));
        if (ptOnly) {
            gf_logLine(fmt::format("{} positions from RT parktraffic only\n", n));
        } else {
            gf_logLine(fmt::format("{} positions ({}% vs wanted {}%, with Max fit={:.1F} hours)\n", n, p,
                                   parking_percentage.value(), MAX_FIT_FL.value()));
        }
        lf_sortPositions(true);
    } else {
        gf_logLine("no parking positions found");
        g_parkingControlsBusy = false;
        lf_window().enableParkingControls();
    }
}

void lf_listStaticCallsigns() {
    g_staticParkingCallsigns.clear();
    for (const StaticAc& s : g_staticAc) {
        if (s.simState == SimState::removingfromsim || s.creationCancelled) continue;
        for (const std::string* cs : {&s.callsignCopy, &s.coupledCallsign})
            if (!cs->empty()) g_staticParkingCallsigns.push_back(*cs);
    }
}

std::string gf_withoutStar(const std::string& callsign) {
    if (!callsign.empty() && callsign.back() == '*') return callsign.substr(0, callsign.size() - 1);
    return callsign;
}

void gf_resetStaticParking() {
    g_standFetch.reset();
    g_parkedAnswer.reset();
    g_parkedDone = nullptr;
    g_parkingPositions.clear();
    g_keptStatic.clear();
    g_staticRemovalList.clear();
    g_parkedLiveList.clear();
    g_reachedRealFit = -1;
    g_reachedSoftFit = -1;
    g_softSearchShown = false;
    g_weekSearchShown = false;
    g_wantedParkShown = 0;
    g_wantedParkPercentShown = 0;
    g_calcPending = false;
    g_waitingForStandFile = false;
    g_lastUserPosition = {0.0, 0.0};
    g_parkingControlsBusy = false;
    gf_forgetStandFileFailure();
}
