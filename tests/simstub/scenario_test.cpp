#include "simstub/scenario.h"
#include "simstub/world.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

using namespace simstub;
using nlohmann::json;

TEST(SimstubScenario, DefaultsFollowTheSimulatorVersion) {
    Scenario v5 = parseScenario(json::object());
    EXPECT_NE(v5.simName.find("v5"), std::string::npos);
    EXPECT_NE(v5.simName.find('\xAE'), std::string::npos);
    EXPECT_EQ(v5.appVersion.major, 5u);

    Scenario v6 = parseScenario(json{{"sim_version", 6}});
    EXPECT_NE(v6.simName.find("v6"), std::string::npos);
    EXPECT_EQ(v6.simName.find("v5"), std::string::npos);
    EXPECT_EQ(v6.appVersion.major, 6u);

    Scenario named = parseScenario(json{{"sim_name", "KittyHawk"}, {"app_version", {1, 2, 3, 4}}});
    EXPECT_EQ(named.simName, "KittyHawk");
    EXPECT_EQ(named.appVersion.buildMinor, 4u);
}

TEST(SimstubScenario, UserAndObjectsSitOnTheFlatTerrain) {
    json j = json::parse(R"({
        "terrain_elevation_ft": 1400, "static_cg_ft": 9,
        "user": {"lat": 51.47, "lon": -0.45, "title": "My Plane", "model": "B738", "on_ground": true},
        "objects": [{"atc_id": "GA1", "lat": 51.48, "lon": -0.46, "alt_ft": 5000},
                    {"atc_id": "H1", "lat": 51.48, "lon": -0.46, "on_ground": true, "helicopter": true}]
    })");
    World w(parseScenario(j));
    EXPECT_DOUBLE_EQ(w.user().altFt, 1409.0);
    EXPECT_TRUE(w.user().onGround);
    EXPECT_EQ(w.user().title, "My Plane");
    ASSERT_EQ(w.aiCount(), 2u);
    const SimObject* ga = w.find(100);
    ASSERT_NE(ga, nullptr);
    EXPECT_EQ(ga->atcId, "GA1");
    EXPECT_DOUBLE_EQ(ga->altFt, 5000.0);
    const SimObject* heli = w.find(101);
    ASSERT_NE(heli, nullptr);
    EXPECT_EQ(heli->type, kTypeHelicopter);
    EXPECT_DOUBLE_EQ(heli->altFt, 1409.0);
}

TEST(SimstubScenario, RefusesWhatWouldSilentlyKeepADefault) {
    const char* bad[] = {
        R"({"frame_rat": 30})",
        R"({"user": {"latitude": 1}})",
        R"({"objects": [{"callsign": "X"}]})",
        R"({"sim_version": 4})",
        R"({"event_size": 26})",
        R"({"frame_rate": -1})",
        R"({"app_version": [5, 3]})",
        R"({"user": {"lat": "north"}})",
        R"({"first_object_id": 1})",
        R"({"user": {"object_id": 0}})",
        R"({"objects": {}})",
    };
    for (const char* text : bad) {
        EXPECT_THROW(parseScenario(json::parse(text)), std::runtime_error) << text;
    }
}

// The sample scenarios shipped beside the stand-in stay loadable.
TEST(SimstubScenario, SampleScenariosLoad) {
    const char* source = std::getenv("GLIM_SOURCE_DIR");
    std::filesystem::path root = source && *source
                                     ? std::filesystem::path(source)
                                     : std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
    auto dir = root / "testbed" / "simstub" / "scenarios";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".json") continue;
        EXPECT_NO_THROW(loadScenario(entry.path())) << entry.path();
        ++count;
    }
    EXPECT_GE(count, 3);
}

}  // namespace
