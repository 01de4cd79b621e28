// The scenario file: the user aircraft, the flat terrain, the simulator's
// identity and what the stand-in should refuse.
#pragma once

#include "simstub/wire.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace simstub {

struct UserAircraft {
    std::uint32_t objectId = 1;
    double lat = 47.4647;
    double lon = 8.5492;
    std::optional<double> altFt;   // default: on the ground, or the terrain
    double headingDeg = 0.0;
    double pitchDeg = 0.0;
    double bankDeg = 0.0;
    double groundSpeedKt = 0.0;
    std::string title = "Stub Airliner";
    std::string model = "A320";
    std::string atcId = "STUB1";
    bool onGround = true;
    std::int64_t lightStates = 0;
};

// An aircraft that is already in the world when the stand-in starts (traffic
// of some other source).
struct ScenarioObject {
    std::string title = "Other Traffic";
    std::string atcId;
    double lat = 0.0;
    double lon = 0.0;
    std::optional<double> altFt;
    double headingDeg = 0.0;
    bool onGround = false;
    bool helicopter = false;
};

struct Scenario {
    int simVersion = 5;
    std::string simName;            // default: the simulator's own name for simVersion
    AppVersion appVersion{};        // default: a release of simVersion
    bool simRunning = true;
    double frameRate = 30.0;        // Frame events a second; 0 sends none
    double simSpeed = 1.0;
    std::size_t eventSize = 28;     // 24 or 28
    double terrainElevationFt = 0.0;
    double staticCgFt = 7.0;
    double staticPitchRad = 0.0;
    std::optional<double> zuluEpochS;   // default: the host's clock
    std::uint32_t firstObjectId = 100;
    std::uint32_t maxObjects = 1000;
    bool removeObjectsOnDisconnect = true;
    std::vector<std::string> refuseTitles;
    std::vector<std::string> helicopterTitles;
    UserAircraft user;
    std::vector<ScenarioObject> objects;
};

// Fills the defaults that depend on the simulator version.
void completeScenario(Scenario& scenario);

// Throws std::runtime_error naming the offending key; unknown keys are
// refused so that a misspelt key never silently keeps a default.
Scenario parseScenario(const nlohmann::json& json);
Scenario loadScenario(const std::filesystem::path& path);

}  // namespace simstub
