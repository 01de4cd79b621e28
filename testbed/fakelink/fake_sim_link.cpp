#include "fakelink/fake_sim_link.h"

#include <mutex>

bool FakeSimLink::requestAircraftInRange(std::uint32_t radius_m) {
    rangeRadii.push_back(radius_m);
    return !failRequests;
}

bool FakeSimLink::requestStaticCg(std::uint32_t objectId) {
    staticCgRequests.push_back(objectId);
    return !failRequests;
}

bool FakeSimLink::setFlightPlan(std::uint32_t objectId, const std::string& path) {
    flightPlans.emplace_back(objectId, path);
    return acceptFlightPlans;
}

void FakeSimLink::frame() {
    std::vector<SimObjectEvent> answers;
    {
        std::lock_guard lock(g_simMutex);
        for (const AiPositionCmd& p : g_simQueues.positionsFront) {
            auto it = objects.find(p.objectId);
            if (it == objects.end()) continue;
            it->second.last = p;
            ++it->second.positionCount;
        }
        g_simQueues.positionsFront.clear();
        clientEvents.insert(clientEvents.end(), g_simQueues.events.begin(), g_simQueues.events.end());
        g_simQueues.events.clear();
        for (const AiCreateRequest& r : g_simQueues.creations) {
            ++creations;
            SimObjectEvent e;
            e.aux = r.hexid;
            if (refusedTitles.count(r.liveryTitle)) {
                e.kind = SimObjectEventKind::creationFailed;
            } else {
                FakeObject o;
                o.objectId = nextObjectId++;
                o.hexid = r.hexid;
                o.callsign = r.callsign;
                o.title = r.liveryTitle;
                o.initial = r.position;
                objects[o.objectId] = o;
                e.objectId = o.objectId;
                e.kind = r.hexid > 10000 ? SimObjectEventKind::liveCreated : SimObjectEventKind::staticCreated;
                e.value2 = r.position.onGround ? 0.0 : r.position.altitude_ft;
            }
            answers.push_back(e);
        }
        g_simQueues.creations.clear();
        for (std::uint32_t id : g_simQueues.removals) {
            auto it = objects.find(id);
            if (it == objects.end()) continue;
            removedObjects.push_back(it->second);
            objects.erase(it);
            SimObjectEvent e;
            e.objectId = id;
            e.kind = SimObjectEventKind::removed;
            answers.push_back(e);
        }
        g_simQueues.removals.clear();
    }
    // Pushed after the unlock, as the SimClient thread does.
    for (const SimObjectEvent& e : answers) gf_pushSimObjectEvent(e);
}

void FakeSimLink::reset() { *this = FakeSimLink{}; }

std::vector<AiEventCmd> FakeSimLink::eventsOf(std::uint32_t objectId) const {
    std::vector<AiEventCmd> out;
    for (const AiEventCmd& e : clientEvents)
        if (e.objectId == objectId) out.push_back(e);
    return out;
}

const FakeObject* FakeSimLink::objectWithCallsign(const std::string& callsign) const {
    for (const auto& [id, o] : objects)
        if (o.callsign == callsign) return &o;
    return nullptr;
}
