#include "traffic/livery_respawn.h"

#include <fmt/format.h>

#include <cmath>
#include <exception>

#include "airports/park_airport_state.h"
#include "catalogue/dbase_queries.h"
#include "catalogue/matcher.h"
#include "core/log.h"
#include "core/settings.h"
#include "simlink/creation_tracking.h"
#include "traffic/motion_common.h"
#include "traffic/removal_rules.h"
#include "traffic/stand_choice.h"
#include "traffic/traffic_state.h"

namespace {

bool lf_endsWithGhostMark(const std::string& cs) { return !cs.empty() && cs.back() == '_'; }

bool lf_differentAirlineType(const AcBase& ac, const DbaseRecord& d) { return !(d.airl == ac.airline && d.type == ac.type); }

void lf_takeDbaseIdentity(AcBase& ac, const DbaseRecord& d) {
    ac.airline = d.opr.empty() ? d.airl : d.opr;
    ac.type = d.type;
}

}  // namespace

void lf_refreshTexts(LiveAc& ac, const FlightRecord& r) {
    if (!r.destination.empty() && r.destination != ac.destination) ac.destination = r.destination;
    if (!r.origin.empty() && r.origin != ac.origin) ac.origin = r.origin;
    if (!r.callsign.empty() && r.callsign != ac.callsign) ac.callsign = r.callsign;
    if (!r.registration.empty() && r.registration != ac.registration) ac.registration = r.registration;
}

bool lf_routeCheck(LiveAc& ac, const FlightRecord& r) {
    bool filled = false;
    if (ac.destination.empty() && !r.destination.empty()) {
        ac.destination = r.destination;
        filled = true;
    }
    if (ac.origin.empty() && !r.origin.empty()) {
        ac.origin = r.origin;
        filled = true;
    }
    const bool allSet = !ac.destination.empty() && !ac.origin.empty() && !r.destination.empty() && !r.origin.empty();
    if (allSet && ac.destination != r.destination && ac.origin != r.origin) {
        const auto airport = g_currentAirport.get();
        // The return leg reported as the aircraft turns round at the park
        // airport is not a new route of the aircraft still arriving.
        const bool turnRound = airport && ac.origin == airport->iata && r.destination == ac.origin;
        if (!turnRound) {
            ac.origin = r.origin;
            ac.destination = r.destination;
            if (ac.groundMode && ac.flightState != FlightState::parking && ac.flightState != FlightState::parked) {
                ac.setFlightState(FlightState::taxi);
                ac.targetHeading = ac.pos.heading;
            }
        }
        return false;
    }
    return !filled;
}

bool lf_regcodeLiveryChange(LiveAc& ac, const FlightRecord& r) {
    const std::string_view title = lf_titleForRegcode(r.registration);
    const auto record = gf_lookupRegistration(r.registration);
    if (!title.empty()) {
        if (title == ac.liveryTitle) return false;
        if (record) {
            ac.airline = record->airl;
            ac.type = record->type;
        }
        lf_resetForRespawn(ac);
        return true;
    }
    if (ac.registration == r.registration) return false;
    if (!record || !lf_differentAirlineType(ac, *record)) return false;
    if (!record->opr.empty() && record->opr == ac.airline) return false;
    lf_takeDbaseIdentity(ac, *record);
    lf_resetForRespawn(ac);
    return true;
}

bool lf_dbaseTypeChange(LiveAc& ac, const FlightRecord& r) {
    const auto record = gf_lookupRegistration(r.registration);
    if (!record || !lf_differentAirlineType(ac, *record)) return false;
    if (!record->opr.empty() && record->opr == ac.airline) return false;
    // The callsign's airline must confirm the Dbase: a registration reused
    // by another operator is not enough.
    AcBase fromCallsign;
    fromCallsign.callsign = r.callsign;
    if (!gf_fillAirlineFromCallsign(fromCallsign)) return false;
    if (fromCallsign.airline != record->airl && fromCallsign.airline != record->opr) return false;
    lf_takeDbaseIdentity(ac, *record);
    if (ac.flightState == FlightState::parked && ac.standId != 0) lf_addRealStandOption(ac.standId, ac, StandUse::arrived);
    lf_resetForRespawn(ac);
    return true;
}

bool lf_registrationCheck(LiveAc& ac, const FlightRecord& r) {
    if (r.registration.empty()) return true;
    bool result = true;
    if (!ac.registration.empty() && ac.registration != r.registration && ac.registration != ac.callsign) {
        result = !lf_dbaseTypeChange(ac, r);
    } else if (ac.registration.empty() || (ac.registration == ac.callsign && ac.registration != r.registration)) {
        result = !lf_regcodeLiveryChange(ac, r);
    }
    ac.registration = r.registration;
    return result;
}

void lf_resetForRespawn(LiveAc& ac) {
    // An empty title is no remembered title: the next spawn chooses anew.
    gf_rememberLiveryTitle(ac.hexid, "");
    ac.liveryTitle.clear();
    ac.setFlightState(FlightState::birth);
}

void liveryRespawn(LiveAc& ac) {
    try {
        if (ac.stream.empty()) return;
        StreamPoint point = ac.stream.front();
        if (ac.flightState != FlightState::parked) {
            point.lat = ac.pos.lat;
            point.lon = ac.pos.lon;
            point.bank_rad = ac.pos.bank;
            point.alt = ac.pos.alt;
            StreamPoint& front = ac.stream.front();
            if (lf_samePlace(front, ac.pos.lat, ac.pos.lon)) front.stationary = true;
        } else {
            ac.stream.resize(1);
            StreamPoint& front = ac.stream.front();
            front.stationary = true;
            front.track = ac.pos.heading * kRadToDeg;
            point = front;
        }
        point.stationary = ac.flightState == FlightState::parked || point.stationary;
        point.time = g_trafficTick.load() + 1;
        ac.stream.push_front(point);
        ac.simState = SimState::liveryrespawn;
        ac.overrideHeading = ac.pos.heading;
        ac.hasOverrideHeading = 1;
        if (ac.objectId != 0) {
            g_respawnRemovalQueue.push_back(ac.objectId);
        } else {
            gf_logHighlight(fmt::format("{} removing act {} with objectid=0 ?", "liveryRespawn", gf_acDescription(ac)));
        }
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("{}: {}", "liveryRespawn", e.what()));
    }
}

bool lf_respawnCheck(LiveAc& ac, const FlightRecord& r) {
    if (ac.towed || ac.motion.touchdownUnderWay || ac.motion.derotation) return true;
    if (ac.simState == SimState::buffer) {
        lf_refreshTexts(ac, r);
        return true;
    }
    // A parked aircraft's wait on its stand is no made-up path: the feed's
    // news about it (the next flight's callsign, another registration) still
    // counts.
    const bool extended = ac.extensionCount >= 1 && ac.flightState != FlightState::parked;
    if (ac.simState != SimState::active || ac.flightState == FlightState::pushing_back || extended) return true;
    const bool routeChanged = !lf_routeCheck(ac, r);
    const bool regUnchanged = lf_registrationCheck(ac, r);
    if (!r.callsign.empty() && r.callsign != ac.callsign && r.callsign != ac.registration) {
        if (!lf_endsWithGhostMark(r.callsign)) lf_ghostCheck(r.callsign);
        else if (gf_realCallsignActive(r.callsign)) return false;
        ac.callsign = r.callsign;
        ac.callsignCopy = r.callsign;
        ac.coupledCallsign.clear();
    } else if (regUnchanged && !routeChanged) {
        return true;
    }
    if (!GUID_CHANGES.value()) return true;
    gf_logLine(fmt::format("          {} respawns", gf_acLogText(ac)));
    liveryRespawn(ac);
    return false;
}
