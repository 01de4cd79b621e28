#include "app/wiring/static_traffic_services.h"

#include "app/window_services.h"
#include "app/wiring/engine_lock.h"
#include "airports/park_airport_state.h"
#include "core/settings.h"
#include "traffic/intake.h"
#include "traffic/removal_rules.h"
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

void lf_wireStaticTraffic(RunServices& s) {
    gf_setStaticParkingWindow(&g_staticParkingWindow);

    s.staticParking = lf_engine([](bool first) { gf_staticParking(first); });
    s.removeStaticTwins = lf_engine([] { gf_removeStaticTwins(); });
    s.removeAllStaticAc = lf_engine([] { gf_removeAllStaticAc(); });
    s.parkAirportInUse = [] { return gf_parkAirportInUse(); };
    s.standListEmpty = lf_engine([] { return g_standList.empty(); });
    s.standsLoaded = [] { return g_standsLoaded.load(); };
    s.applyParkTrafficChanges = lf_engine([](std::int32_t flush) { gf_applyParkTrafficChanges(flush != 0); });
    s.removeUserAirConflicts = lf_engine([] { gf_removeUserConflicts(); });
    s.removeUserGroundConflicts = lf_engine([] { gf_removeGroundedUserConflicts(); });
    s.clearAirportTraffic = lf_engine([] { gf_clearAirportTraffic(); });
    s.parkingControlsBusy = [] { return g_parkingControlsBusy.load(); };
    s.disableParkingControls = [disable = s.disableParkingControls] {
        g_parkingControlsBusy = true;
        disable();
    };
}
