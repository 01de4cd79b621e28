#include "simlink/traffic_requests.h"

#include <mutex>
#include <utility>

#include "simconnect/api.h"
#include "simlink/sim_client.h"
#include "simlink/sim_ids.h"
#include "simlink/sim_queues.h"

bool gf_requestAircraftInRange(std::uint32_t radius_m) {
    std::lock_guard lock(g_simMutex);
    if (g_requestError.load()) return true;
    return !gf_simConnectFailed(SimConnect_RequestDataOnSimObjectType(
        g_simHandle.load(), SimReqAircraftByType, SimDefAircraftByType, radius_m, SimObjectTypeAircraft));
}

bool gf_requestStaticCg(std::uint32_t objectId) {
    std::lock_guard lock(g_simMutex);
    if (g_requestError.load()) return true;
    return !gf_simConnectFailed(SimConnect_RequestDataOnSimObject(g_simHandle.load(), SimReqStaticCg, SimDefStaticCg,
                                                                  objectId, SimPeriodOnce, 0, 0, 0, 0));
}

bool gf_setAiFlightPlan(std::uint32_t objectId, const std::string& path) {
    std::lock_guard lock(g_simMutex);
    if (g_requestError.load()) return false;
    return !gf_simConnectFailed(
        SimConnect_AISetAircraftFlightPlan(g_simHandle.load(), objectId, path.c_str(), SimReqFlightPlan));
}

void lf_swapAiPositionBuffers() {
    std::swap(g_simQueues.positionsFront, g_simQueues.positionsBack);
    g_simQueues.positionsBack.clear();
}
