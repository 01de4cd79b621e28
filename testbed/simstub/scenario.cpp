#include "simstub/scenario.h"

#include <fmt/format.h>

#include <fstream>
#include <set>
#include <stdexcept>

namespace simstub {

namespace {

using nlohmann::json;

void lf_checkKeys(const json& j, const std::set<std::string>& allowed, const std::string& where) {
    if (!j.is_object()) {
        throw std::runtime_error(fmt::format("{}: expected an object", where));
    }
    for (auto it = j.begin(); it != j.end(); ++it) {
        if (!allowed.count(it.key())) {
            throw std::runtime_error(fmt::format("{}: unknown key \"{}\"", where, it.key()));
        }
    }
}

template <typename T>
void lf_take(const json& j, const char* key, T& out, const std::string& where) {
    auto it = j.find(key);
    if (it == j.end()) return;
    try {
        out = it->get<T>();
    } catch (const json::exception&) {
        throw std::runtime_error(fmt::format("{}: key \"{}\" has the wrong type", where, key));
    }
}

template <typename T>
void lf_takeOptional(const json& j, const char* key, std::optional<T>& out, const std::string& where) {
    if (j.contains(key)) {
        T v{};
        lf_take(j, key, v, where);
        out = v;
    }
}

UserAircraft lf_parseUser(const json& j) {
    const std::string where = "user";
    lf_checkKeys(j, {"object_id", "lat", "lon", "alt_ft", "heading_deg", "pitch_deg", "bank_deg", "ground_speed_kt",
                     "title", "model", "atc_id", "on_ground", "light_states"},
                 where);
    UserAircraft u;
    lf_take(j, "object_id", u.objectId, where);
    lf_take(j, "lat", u.lat, where);
    lf_take(j, "lon", u.lon, where);
    lf_takeOptional(j, "alt_ft", u.altFt, where);
    lf_take(j, "heading_deg", u.headingDeg, where);
    lf_take(j, "pitch_deg", u.pitchDeg, where);
    lf_take(j, "bank_deg", u.bankDeg, where);
    lf_take(j, "ground_speed_kt", u.groundSpeedKt, where);
    lf_take(j, "title", u.title, where);
    lf_take(j, "model", u.model, where);
    lf_take(j, "atc_id", u.atcId, where);
    lf_take(j, "on_ground", u.onGround, where);
    lf_take(j, "light_states", u.lightStates, where);
    if (u.objectId == 0) {
        throw std::runtime_error("user: object_id 0 is the stand-in's name for the user aircraft itself");
    }
    return u;
}

ScenarioObject lf_parseObject(const json& j, std::size_t index) {
    const std::string where = fmt::format("objects[{}]", index);
    lf_checkKeys(j, {"title", "atc_id", "lat", "lon", "alt_ft", "heading_deg", "on_ground", "helicopter"}, where);
    ScenarioObject o;
    lf_take(j, "title", o.title, where);
    lf_take(j, "atc_id", o.atcId, where);
    lf_take(j, "lat", o.lat, where);
    lf_take(j, "lon", o.lon, where);
    lf_takeOptional(j, "alt_ft", o.altFt, where);
    lf_take(j, "heading_deg", o.headingDeg, where);
    lf_take(j, "on_ground", o.onGround, where);
    lf_take(j, "helicopter", o.helicopter, where);
    return o;
}

}  // namespace

void completeScenario(Scenario& s) {
    if (s.simName.empty()) {
        // The simulator's own name carries registered signs (0xAE in the
        // simulator's ANSI code page), which the client has to clean away.
        s.simName = fmt::format("Lockheed Martin\xAE Prepar3D\xAE v{}", s.simVersion);
    }
    if (s.appVersion.major == 0) {
        s.appVersion = s.simVersion == 6 ? AppVersion{6, 0, 34, 31823} : AppVersion{5, 3, 17, 28160};
    }
}

Scenario parseScenario(const json& j) {
    const std::string where = "scenario";
    lf_checkKeys(j, {"sim_version", "sim_name", "app_version", "sim_running", "frame_rate", "sim_speed", "event_size",
                     "terrain_elevation_ft", "static_cg_ft", "static_pitch_rad", "zulu_epoch_s", "first_object_id",
                     "max_objects", "remove_objects_on_disconnect", "refuse_titles", "helicopter_titles", "user",
                     "objects"},
                 where);
    Scenario s;
    lf_take(j, "sim_version", s.simVersion, where);
    if (s.simVersion != 5 && s.simVersion != 6) {
        throw std::runtime_error("scenario: sim_version must be 5 or 6");
    }
    lf_take(j, "sim_name", s.simName, where);
    if (j.contains("app_version")) {
        std::vector<std::uint32_t> v;
        lf_take(j, "app_version", v, where);
        if (v.size() != 4) {
            throw std::runtime_error("scenario: app_version needs four numbers");
        }
        s.appVersion = AppVersion{v[0], v[1], v[2], v[3]};
    }
    lf_take(j, "sim_running", s.simRunning, where);
    lf_take(j, "frame_rate", s.frameRate, where);
    if (s.frameRate < 0.0 || s.frameRate > 1000.0) {
        throw std::runtime_error("scenario: frame_rate must lie in 0..1000");
    }
    lf_take(j, "sim_speed", s.simSpeed, where);
    lf_take(j, "event_size", s.eventSize, where);
    if (s.eventSize != 24 && s.eventSize != 28) {
        throw std::runtime_error("scenario: event_size must be 24 or 28");
    }
    lf_take(j, "terrain_elevation_ft", s.terrainElevationFt, where);
    lf_take(j, "static_cg_ft", s.staticCgFt, where);
    lf_take(j, "static_pitch_rad", s.staticPitchRad, where);
    lf_takeOptional(j, "zulu_epoch_s", s.zuluEpochS, where);
    lf_take(j, "first_object_id", s.firstObjectId, where);
    lf_take(j, "max_objects", s.maxObjects, where);
    lf_take(j, "remove_objects_on_disconnect", s.removeObjectsOnDisconnect, where);
    lf_take(j, "refuse_titles", s.refuseTitles, where);
    lf_take(j, "helicopter_titles", s.helicopterTitles, where);
    if (j.contains("user")) {
        s.user = lf_parseUser(j["user"]);
    }
    if (j.contains("objects")) {
        if (!j["objects"].is_array()) {
            throw std::runtime_error("scenario: objects must be an array");
        }
        for (std::size_t i = 0; i < j["objects"].size(); ++i) {
            s.objects.push_back(lf_parseObject(j["objects"][i], i));
        }
    }
    if (s.firstObjectId <= s.user.objectId) {
        throw std::runtime_error("scenario: first_object_id must lie above the user's object_id");
    }
    completeScenario(s);
    return s;
}

Scenario loadScenario(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error(fmt::format("cannot open scenario {}", path.string()));
    }
    json j;
    try {
        j = json::parse(in);
    } catch (const json::exception& e) {
        throw std::runtime_error(fmt::format("scenario {}: {}", path.string(), e.what()));
    }
    return parseScenario(j);
}

}  // namespace simstub
