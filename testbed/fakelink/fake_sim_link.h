// An in-process stand-in for the simulator behind the SimClient's queues.
// Each frame() takes what the engine queued under g_simMutex, as the
// SimClient's frame flush would, keeps a small world of AI objects and
// answers with the object events the real handlers push: created (or
// creation failed for a refused title), removed. The TrafficLink side records
// the engine's direct requests and gives a settable user aircraft.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "simlink/sim_queues.h"
#include "traffic/traffic_link.h"

struct FakeObject {
    std::uint32_t objectId = 0;
    std::uint32_t hexid = 0;
    std::string callsign;
    std::string title;
    SimConnectInitPosition initial;
    AiPositionCmd last;
    std::size_t positionCount = 0;
};

class FakeSimLink final : public TrafficLink {
public:
    // ---- TrafficLink ----
    bool requestAircraftInRange(std::uint32_t radius_m) override;
    bool requestStaticCg(std::uint32_t objectId) override;
    bool setFlightPlan(std::uint32_t objectId, const std::string& path) override;
    UserAcData requestUserAcPosition() override { return user; }
    bool userOnGround() override { return userOnGroundFlag; }
    float frameRate() override { return frameRateValue; }
    void requestError() override { ++requestErrors; }

    // ---- The simulator ----
    // One simulator frame: sends positions and events, creates and removes
    // objects, pushes the resulting object events.
    void frame();
    // Everything back to an empty world.
    void reset();

    // Settings of the world.
    UserAcData user;
    bool userOnGroundFlag = false;
    float frameRateValue = 30.0f;
    bool failRequests = false;
    bool acceptFlightPlans = true;
    std::set<std::string> refusedTitles;
    std::uint32_t nextObjectId = 100;

    // What happened.
    std::map<std::uint32_t, FakeObject> objects;  // by object id, present ones
    std::vector<FakeObject> removedObjects;
    std::vector<AiEventCmd> clientEvents;
    std::vector<std::uint32_t> staticCgRequests;
    std::vector<std::pair<std::uint32_t, std::string>> flightPlans;
    std::vector<std::uint32_t> rangeRadii;
    int requestErrors = 0;
    std::size_t creations = 0;

    // The client events sent to one object, in order.
    std::vector<AiEventCmd> eventsOf(std::uint32_t objectId) const;
    const FakeObject* objectWithCallsign(const std::string& callsign) const;
};
