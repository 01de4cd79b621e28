// The Traffic engine wired into the run: its containers, the hand-over of
// live batches, the 10 ms pass, the object events and the per-second rules,
// and the feed's door into the engine.
#pragma once

#include <cstdint>
#include <vector>

#include "app/run_ports.h"
#include "feed/feed_records.h"

class RealRunEngine final : public RunEngine {
public:
    void reserveTrafficContainers() override;
    void setTrafficHandover(bool open) override;
    void handleAddingStack() override;
    void handleSimObjectEvents() override;
    void handleNewLiveHexid() override;
    void fillLiveAcCombo() override;
    void avoidLiveParkedCollisions() override;
    void removeBlockedCallsign(const std::string& callsign) override;
    void clearGhostCallsigns() override;
    void resetTraffic() override;
    void setParkedNavLights(bool on) override;
    void removeSurplusLiveAc(int max) override;
    void removeAllLiveAc() override;
    int countParkedLiveAc(bool storeFit) override;
    int countFlyingLiveAc() override;
};

// The feed's calls into the engine (Traffic Reader and Weather Reader
// threads).
void gf_engineTakeTrafficBatch(std::vector<FlightRecord>& batch, int delay_s);
void gf_enginePushBlockedEvent(std::uint32_t hexid);
void gf_enginePublishQnh(int qnh_hpa);
