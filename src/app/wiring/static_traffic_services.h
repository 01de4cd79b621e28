// The static parked traffic wired into the run: the park airport's choice
// and calculation every 16 seconds, the renewal, the flush, the user
// aircraft's conflicts and the park airport's state for the main loop.
#pragma once

#include "app/run_ports.h"

// Installs the static parking's window.
void lf_wireStaticTraffic();

class RealRunParking final : public RunParking {
public:
    void staticParking(bool initial) override;
    void removeUserAirConflicts() override;
    void removeUserGroundConflicts() override;
    void removeStaticTwins() override;
    void removeAllStaticAc() override;
    void applyParkTrafficChanges(std::int32_t value) override;
    int showStaticParkStats(bool storeFit) override;
    int waitingParkingPositions() override;
    bool parkAirportInUse() override;
    bool standListEmpty() override;
    bool standsLoaded() override;
    std::string reservedStand() override;
    void clearReservedStand() override;
    void clearAirportTraffic() override;
};
