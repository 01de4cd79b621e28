// The airports and stands wired into the run: the airport database,
// the park-airport list, the park airport as the live feed and the simulator
// link see it.
#pragma once

#include "app/run_ports.h"
#include "core/geometry.h"
#include "feed/feed_env.h"

#include <optional>
#include <string>

// Installs the airport side's ports and the stand files' Dbase lookup.
void lf_wireAirports();

class RealRunAirports final : public RunAirports {
public:
    bool readAirports() override;
    bool readMyParkAirports() override;
    void scanAddonAirports() override;
    std::optional<RunPosition> findAirport(const std::string& code) override;
    void addDestinationAirport(const std::string& code, RunPosition position) override;
    std::optional<RunPosition> firstParkAirport() override;
    bool checkParkAirports(bool checkReservedStand, std::string& message) override;
};

// The feed's airport fields: the current airport, the stand file's altitude,
// the reserved stand and the stand the user aircraft stands on.
void gf_addAirportFeedSettings(FeedSettings& settings);
// The current park airport for the parked-traffic request; empty while none.
std::optional<FeedAirport> gf_feedParkAirport();

// The simulator link's questions about the user aircraft's stand (worker
// thread): the stand at its position, kept for the feed's threads, and the
// stand it stands on, kept as the park airport's reserved stand.
std::string gf_userStandNameAt(LatLon position);
void gf_reserveUserStand(const std::string& standName);
