#include "traffic/air_motion.h"

#include <fmt/format.h>

#include <exception>

#include "core/log.h"
#include "simlink/sim_queues.h"
#include "traffic/ai_commands.h"
#include "traffic/spawn.h"
#include "traffic/stream_checks.h"
#include "traffic/traffic_state.h"

namespace {

// The aircraft reaches the front point when it falls due: the next point
// becomes the one it flies to.
void lf_advanceToFront(LiveAc& ac) {
    const StreamPoint& p = ac.stream.front();
    ac.pos.lat = p.lat;
    ac.pos.lon = p.lon;
    if (p.airborne || !ac.groundMode) ac.pos.alt = p.alt;
    ac.pos.heading = p.track * kDegToRad;
    ac.motion.targetVerticalRate_fpm = p.vrate;
    ac.motion.targetAirspeed_kt = p.tas;
}

}  // namespace

void lf_pushAiPosition(const LiveAc& ac) {
    const PositionBlock& b = ac.pos;
    // Only the worker fills the back buffer; the SimClient thread reads the
    // front one, and the two change places under g_simMutex.
    g_simQueues.positionsBack.push_back(AiPositionCmd{b.lat, b.lon, b.pitch, b.bank, b.heading, b.alt,
                                                      b.verticalSpeed, b.tas, ac.objectId});
}

void nextPosMain(LiveAc& ac) {
    if (ac.stream.size() < 2 && !lf_extendOrEnd(ac)) {
        removeAircraftFromSim(ac);
        return;
    }
    ac.stream.pop_front();
    lf_advanceToFront(ac);
}

bool updateLiveAc(LiveAc& ac) {
    try {
        switch (ac.simState) {
        case SimState::buffer: lf_handleBuffered(ac); return ac.countsAsRemoved();
        case SimState::active: break;
        default: return ac.countsAsRemoved();
        }
        if (ac.stream.empty()) {
            gf_logHighlight(fmt::format("{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
                                        "updateLiveAc", gf_acDescription(ac), ac.hexid, ac.objectId, ac.pos.alt,
                                        fmt::format("{:.6f},{:.6f}", ac.pos.lat, ac.pos.lon), ac.pos.tas));
            removeAircraftFromSim(ac);
            return ac.countsAsRemoved();
        }
        if (g_trafficTick.load() >= ac.stream.front().time) nextPosMain(ac);
        if (ac.simState != SimState::active) return ac.countsAsRemoved();
        const bool stationary = ac.stream.front().stationary;
        ac.pos.verticalSpeed = ac.motion.targetVerticalRate_fpm / 60.0;
        ac.pos.tas = stationary ? 0.0 : ac.motion.targetAirspeed_kt;
        if (ac.objectId != 0) {
            lf_pushAiPosition(ac);
        } else {
            gf_logHighlight(fmt::format("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc",
                                        ac.hexid, ac.callsign, ac.registration, gf_airlineTypeText(ac),
                                        ac.stream.size()));
            removeAircraftFromSim(ac);
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "updateLiveAc", e.what(), gf_acDescription(ac),
                                    ac.stream.size(), gf_flightStateName(ac.flightState),
                                    gf_simStateName(ac.simState)));
    }
    return ac.countsAsRemoved();
}
