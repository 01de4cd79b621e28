#include "app/wiring/static_traffic_services.h"

#include "app/wiring/engine_lock.h"
#include "airports/park_airport_state.h"
#include "core/settings.h"
#include "traffic/intake.h"
#include "traffic/removal_rules.h"
#include "traffic/static_parking.h"
#include "core/ui_sink.h"

void lf_wireStaticTraffic(RunServices& s) {
    StaticParkingHooks hooks;
    hooks.raiseCollectFlag = [raise = s.raiseCollectFlag] { raise(); };
    hooks.enableDestination = [] { gf_uiSink().enableControl(DESTINATION.controlId(), true); };
    gf_setStaticParkingHooks(std::move(hooks));

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
