// What the Traffic engine asks of the simulator link beyond its queues, behind
// one small interface: the real one calls the SimClient's requests; the
// engine harness installs a fake that answers in-process, deterministically.
#pragma once

#include <cstdint>
#include <string>

#include "simlink/sim_client.h"

class TrafficLink {
public:
    virtual ~TrafficLink() = default;
    // False when the request failed.
    virtual bool requestAircraftInRange(std::uint32_t radius_m);
    virtual bool requestStaticCg(std::uint32_t objectId);
    virtual bool setFlightPlan(std::uint32_t objectId, const std::string& path);
    // The user aircraft block received before; asks for the next.
    virtual UserAcData requestUserAcPosition();
    virtual bool userOnGround();
    virtual float frameRate();
    // "SimConnect request error": the run ends.
    virtual void requestError();
};

// The link in use; never null.
TrafficLink& gf_trafficLink();
// Installs a link (nullptr restores the real one). Not owned.
void gf_setTrafficLink(TrafficLink* link);
