// The run's services wired to the airports and stands: the airport database,
// the park-airport list, the park airport as the live feed and the simulator
// link see it.
#pragma once

#include "app/run_services.h"
#include "core/geometry.h"
#include "feed/feed_env.h"

#include <optional>
#include <string>

void lf_wireAirports(RunServices& services);

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
