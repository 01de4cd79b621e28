// The stand-in's world: the user aircraft and the AI objects, on flat terrain.
#pragma once

#include "simstub/datums.h"
#include "simstub/scenario.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace simstub {

struct SimObject {
    std::uint32_t id = 0;
    std::uint32_t type = kTypeAircraft;     // kTypeAircraft or kTypeHelicopter
    bool user = false;
    std::uint32_t creatorSession = 0;       // 0: from the scenario or a command
    std::uint32_t createRequestId = 0;
    std::string title;
    std::string atcId;
    std::string model;
    double lat = 0.0;
    double lon = 0.0;
    double altFt = 0.0;
    double pitchRad = 0.0;
    double bankRad = 0.0;
    double headingRad = 0.0;
    double groundSpeedKt = 0.0;
    double verticalSpeedFps = 0.0;
    double airspeedKt = 0.0;
    bool onGround = false;
    std::int64_t lightStates = 0;
    double spoilersPct = 0.0;
    double throttlePct[4] = {0.0, 0.0, 0.0, 0.0};
    bool released = false;
    std::string flightPlan;
    std::uint32_t positionUpdates = 0;
    std::map<std::string, std::uint32_t> events;    // last data of each client event by name
};

struct ZuluTime {
    double secondsOfDay = 0.0;
    int dayOfYear = 1;
    int year = 1970;
};

// Splits epoch seconds into the simulator's ZULU TIME, DAY OF YEAR and YEAR.
ZuluTime zuluFromEpoch(double epochS);

// Great-circle distance in metres.
double distanceMetres(double lat1, double lon1, double lat2, double lon2);

class World {
public:
    explicit World(const Scenario& scenario);

    const Scenario& scenario() const { return scenario_; }
    SimObject& user() { return objects_.at(userId_); }
    const SimObject& user() const { return objects_.at(userId_); }
    std::uint32_t userId() const { return userId_; }

    // Object 0 names the user aircraft.
    SimObject* find(std::uint32_t id);
    const SimObject* find(std::uint32_t id) const;
    std::size_t aiCount() const { return objects_.size() - 1; }
    template <typename F>
    void forEachAi(F f) const {
        for (const auto& [id, o] : objects_) {
            if (!o.user) f(o);
        }
    }

    // "*" in the refused titles stands for every title.
    static constexpr const char* kEveryTitle = "*";
    bool refusesTitle(const std::string& title) const;
    void refuseTitle(const std::string& title);
    // Takes a refusal back; "*" takes back every refusal.
    void acceptTitle(const std::string& title);
    bool isHelicopterTitle(const std::string& title) const;

    // Adds an AI object with the next free id (ids are never reused).
    SimObject& addObject(SimObject object);
    void removeObject(std::uint32_t id);

    // Objects of a by-type request within radius of the user aircraft, the
    // user's own aircraft first, then by id.
    std::vector<const SimObject*> objectsWithin(std::uint32_t radiusM, std::uint32_t objectType) const;

    // After a position change: on the ground when within the static CG height
    // (and a foot of slack) of the flat terrain.
    void settle(SimObject& object) const;

    // The value of a variable for an object; epochS gives the zulu variables.
    Value valueOf(const SimObject& object, const VarRef& ref, double epochS) const;

    // Applies one numeric value from SetDataOnSimObject.
    void setValue(SimObject& object, const VarRef& ref, double value);

    nlohmann::json objectJson(const SimObject& object) const;

private:
    Scenario scenario_;
    std::uint32_t userId_;
    std::uint32_t nextId_;
    std::map<std::uint32_t, SimObject> objects_;
};

}  // namespace simstub
