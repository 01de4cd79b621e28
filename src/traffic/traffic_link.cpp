#include "traffic/traffic_link.h"

#include <atomic>

#include "simlink/traffic_requests.h"

namespace {
TrafficLink g_realLink;
std::atomic<TrafficLink*> g_link{&g_realLink};
}  // namespace

bool TrafficLink::requestAircraftInRange(std::uint32_t radius_m) { return gf_requestAircraftInRange(radius_m); }
bool TrafficLink::requestStaticCg(std::uint32_t objectId) { return gf_requestStaticCg(objectId); }
bool TrafficLink::setFlightPlan(std::uint32_t objectId, const std::string& path) {
    return gf_setAiFlightPlan(objectId, path);
}
UserAcData TrafficLink::requestUserAcPosition() { return gf_requestUserAcPosition(); }
bool TrafficLink::userOnGround() { return g_userOnGround.value.load(); }
float TrafficLink::frameRate() { return g_frameRate.load(); }
void TrafficLink::requestError() { gf_simRequestError(); }

TrafficLink& gf_trafficLink() { return *g_link.load(); }
void gf_setTrafficLink(TrafficLink* link) { g_link.store(link ? link : &g_realLink); }
