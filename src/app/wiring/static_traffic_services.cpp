#include "app/wiring/static_traffic_services.h"

#include "app/window_services.h"
#include "app/wiring/engine_lock.h"
#include "airports/park_airport_state.h"
#include "core/settings.h"
#include "feed/reader_services.h"
#include "traffic/engine_support.h"
#include "traffic/intake.h"
#include "traffic/parking_position.h"
#include "traffic/removal_rules.h"
#include "traffic/stand_choice.h"
#include "traffic/static_parking.h"
#include "core/ui_sink.h"
#include "ui/window_state.h"

namespace {

// The static parking switches the window's parking controls off while it
// rebuilds and on again when it is done. It is done only with no position
// left waiting; the per-second refresh of the waiting count stops with the
// busy mark, so the count would otherwise keep its last value.
class RealStaticParkingWindow final : public StaticParkingWindow {
public:
    void enableParkingControls() override {
        g_mainWindowState.staticExtra = 0;
        gf_uiSink().invalidateBand(UiBand::lines);
        gf_enableParkingControls();
    }
    void disableParkingControls() override { gf_disableParkingControls(); }
    void enableDestination() override { gf_uiSink().enableControl(DESTINATION.controlId(), true); }
};
RealStaticParkingWindow g_staticParkingWindow;

}  // namespace

void lf_wireStaticTraffic() { gf_setStaticParkingWindow(&g_staticParkingWindow); }

void RealRunParking::staticParking(bool initial) {
    const EngineLock lock;
    gf_staticParking(initial);
}

void RealRunParking::removeUserAirConflicts() {
    const EngineLock lock;
    gf_removeUserConflicts();
}

void RealRunParking::removeUserGroundConflicts() {
    const EngineLock lock;
    gf_removeGroundedUserConflicts();
}

void RealRunParking::removeStaticTwins() {
    const EngineLock lock;
    gf_removeStaticTwins();
}

void RealRunParking::removeAllStaticAc() {
    const EngineLock lock;
    gf_removeAllStaticAc();
}

void RealRunParking::applyParkTrafficChanges(std::int32_t flush) {
    const EngineLock lock;
    gf_applyParkTrafficChanges(flush != 0);
}

int RealRunParking::showStaticParkStats(bool storeFit) {
    const EngineLock lock;
    const std::int32_t count = gf_showStaticParkStats(storeFit);
    if (storeFit) g_mainWindowState.staticAverageFit = gf_staticParkedMeanHours();
    return static_cast<int>(count);
}

int RealRunParking::waitingParkingPositions() {
    const EngineLock lock;
    return static_cast<int>(g_parkingPositions.size());
}

bool RealRunParking::parkAirportInUse() { return gf_parkAirportInUse(); }

bool RealRunParking::standListEmpty() {
    const EngineLock lock;
    return g_standList.empty();
}

bool RealRunParking::standsLoaded() { return g_standsLoaded.load(); }

std::string RealRunParking::reservedStand() { return g_reservedStand.get(); }

void RealRunParking::clearReservedStand() {
    const EngineLock lock;
    gf_clearReservedStand();
}

void RealRunParking::clearAirportTraffic() {
    const EngineLock lock;
    gf_clearAirportTraffic();
}
