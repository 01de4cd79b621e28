#include "app/wiring/traffic_services.h"

#include <mutex>
#include <utility>

#include "simlink/sim_queues.h"
#include "traffic/engine_support.h"
#include "traffic/intake.h"
#include "traffic/object_events.h"
#include "traffic/removal_rules.h"
#include "traffic/traffic_cycle.h"
#include "traffic/traffic_state.h"

namespace {

// Every engine job of the worker runs under the engine's lock: a Traffic
// Reader still decoding its start-of-run snapshots (after the session
// start's wait for it timed out) never meets a pass halfway.
template <typename F>
auto lf_engine(F f) {
    return [f = std::move(f)](auto&&... args) {
        std::lock_guard lock(g_engineMutex);
        return f(std::forward<decltype(args)>(args)...);
    };
}

}  // namespace

void gf_engineTakeTrafficBatch(std::vector<FlightRecord>& batch, int delay_s) { gf_takeTrafficBatch(batch, delay_s); }

void gf_enginePushBlockedEvent(std::uint32_t hexid) {
    SimObjectEvent event;
    event.aux = hexid;
    event.kind = SimObjectEventKind::blocked;
    gf_pushSimObjectEvent(event);
}

void gf_enginePublishQnh(int qnh_hpa) { g_engineQnh = qnh_hpa; }

void lf_wireTraffic(RunServices& s) {
    s.reserveTrafficContainers = lf_engine([] { gf_reserveTrafficContainers(); });
    s.setTrafficHandover = [](bool open) { gf_setTrafficHandover(open); };
    s.handleAddingStack = lf_engine([] { lf_handleAddingStack(); });
    s.handleSimObjectEvents = lf_engine([] { gf_handleSimObjectEvents(); });
    s.removeStaticTwins = lf_engine([] { gf_removeStaticTwins(); });
    s.clearReservedStand = lf_engine([] { gf_clearReservedStand(); });
    s.handleNewLiveHexid = lf_engine([] { gf_handleNewLiveHexid(); });
    s.removeAllStaticAc = lf_engine([] { gf_removeAllStaticAc(); });
    s.fillLiveAcCombo = lf_engine([] { gf_fillLiveAcCombo(); });
    s.avoidLiveParkedCollisions = lf_engine([] { gf_avoidLiveParkedCollisions(); });
    s.removeBlockedCallsign = lf_engine([](const std::string& callsign) { gf_removeBlockedCallsign(callsign); });
    s.clearGhostCallsigns = lf_engine([] { g_removedGhosts.clear(); });
    s.resetTraffic = lf_engine([] { gf_resetTraffic(); });
}
