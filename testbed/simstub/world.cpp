#include "simstub/world.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>

namespace simstub {

namespace {

constexpr double kDegToRad = std::numbers::pi / 180.0;
constexpr double kEarthRadiusM = 6371008.8;
constexpr double kGroundSlackFt = 1.0;

bool lf_sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t lf_daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t lf_yearOfDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

}  // namespace

ZuluTime zuluFromEpoch(double epochS) {
    double days = std::floor(epochS / 86400.0);
    ZuluTime z;
    z.secondsOfDay = epochS - days * 86400.0;
    auto d = static_cast<std::int64_t>(days);
    std::int64_t year = lf_yearOfDays(d);
    z.year = static_cast<int>(year);
    z.dayOfYear = static_cast<int>(d - lf_daysFromCivil(year, 1, 1) + 1);
    return z;
}

double distanceMetres(double lat1, double lon1, double lat2, double lon2) {
    double p1 = lat1 * kDegToRad;
    double p2 = lat2 * kDegToRad;
    double dp = (lat2 - lat1) * kDegToRad;
    double dl = (lon2 - lon1) * kDegToRad;
    double a = std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2.0 * kEarthRadiusM * std::asin(std::min(1.0, std::sqrt(a)));
}

World::World(const Scenario& scenario) : scenario_(scenario), userId_(scenario.user.objectId) {
    completeScenario(scenario_);
    nextId_ = scenario_.firstObjectId;
    const UserAircraft& u = scenario_.user;
    SimObject user;
    user.id = userId_;
    user.user = true;
    user.title = u.title;
    user.model = u.model;
    user.atcId = u.atcId;
    user.lat = u.lat;
    user.lon = u.lon;
    user.onGround = u.onGround;
    user.altFt = u.altFt.value_or(scenario_.terrainElevationFt + (u.onGround ? scenario_.staticCgFt : 0.0));
    user.headingRad = u.headingDeg * kDegToRad;
    user.pitchRad = u.pitchDeg * kDegToRad;
    user.bankRad = u.bankDeg * kDegToRad;
    user.groundSpeedKt = u.groundSpeedKt;
    user.airspeedKt = u.groundSpeedKt;
    user.lightStates = u.lightStates;
    objects_[userId_] = user;
    for (const auto& o : scenario_.objects) {
        SimObject obj;
        obj.type = o.helicopter ? kTypeHelicopter : kTypeAircraft;
        obj.title = o.title;
        obj.atcId = o.atcId;
        obj.lat = o.lat;
        obj.lon = o.lon;
        obj.headingRad = o.headingDeg * kDegToRad;
        obj.altFt = o.altFt.value_or(scenario_.terrainElevationFt + (o.onGround ? scenario_.staticCgFt : 0.0));
        obj.onGround = o.onGround;
        addObject(obj);
    }
}

SimObject* World::find(std::uint32_t id) {
    auto it = objects_.find(id == 0 ? userId_ : id);
    return it == objects_.end() ? nullptr : &it->second;
}

const SimObject* World::find(std::uint32_t id) const {
    auto it = objects_.find(id == 0 ? userId_ : id);
    return it == objects_.end() ? nullptr : &it->second;
}

bool World::refusesTitle(const std::string& title) const {
    return std::any_of(scenario_.refuseTitles.begin(), scenario_.refuseTitles.end(),
                       [&](const std::string& t) { return t == kEveryTitle || lf_sameText(t, title); });
}

void World::refuseTitle(const std::string& title) {
    const bool listed = std::any_of(scenario_.refuseTitles.begin(), scenario_.refuseTitles.end(),
                                    [&](const std::string& t) { return lf_sameText(t, title); });
    if (!listed) scenario_.refuseTitles.push_back(title);
}

void World::acceptTitle(const std::string& title) {
    if (title == kEveryTitle) {
        scenario_.refuseTitles.clear();
        return;
    }
    std::erase_if(scenario_.refuseTitles, [&](const std::string& t) { return lf_sameText(t, title); });
}

bool World::isHelicopterTitle(const std::string& title) const {
    return std::any_of(scenario_.helicopterTitles.begin(), scenario_.helicopterTitles.end(),
                       [&](const std::string& t) { return lf_sameText(t, title); });
}

SimObject& World::addObject(SimObject object) {
    object.id = nextId_++;
    object.user = false;
    auto [it, inserted] = objects_.emplace(object.id, std::move(object));
    return it->second;
}

void World::removeObject(std::uint32_t id) {
    if (id != userId_) objects_.erase(id);
}

std::vector<const SimObject*> World::objectsWithin(std::uint32_t radiusM, std::uint32_t objectType) const {
    std::vector<const SimObject*> out;
    const SimObject& u = user();
    for (const auto& [id, obj] : objects_) {
        bool typeMatches = objectType == kTypeAll || (objectType == kTypeUser && obj.user) ||
                           (objectType == obj.type && objectType != kTypeUser);
        if (!typeMatches) continue;
        if (obj.user || distanceMetres(u.lat, u.lon, obj.lat, obj.lon) <= radiusM) {
            out.push_back(&obj);
        }
    }
    std::stable_partition(out.begin(), out.end(), [](const SimObject* o) { return o->user; });
    return out;
}

void World::settle(SimObject& object) const {
    object.onGround = object.altFt - scenario_.terrainElevationFt <= scenario_.staticCgFt + kGroundSlackFt;
}

Value World::valueOf(const SimObject& o, const VarRef& ref, double epochS) const {
    ZuluTime z = zuluFromEpoch(epochS);
    switch (ref.var) {
    case Var::Latitude: return o.lat;
    case Var::Longitude: return o.lon;
    case Var::Pitch: return o.pitchRad;
    case Var::Bank: return o.bankRad;
    case Var::Heading: return o.headingRad;
    case Var::Altitude: return o.altFt;
    case Var::AltAboveGround: return o.altFt - scenario_.terrainElevationFt;
    case Var::GroundAltitude: return scenario_.terrainElevationFt;
    case Var::GroundVelocity: return o.groundSpeedKt;
    case Var::VerticalSpeed: return o.verticalSpeedFps;
    case Var::AirspeedTrue: return o.airspeedKt;
    case Var::ZuluTime: return std::floor(z.secondsOfDay);
    case Var::ZuluDayOfYear: return static_cast<double>(z.dayOfYear);
    case Var::ZuluYear: return static_cast<double>(z.year);
    case Var::LightStates:
    case Var::LightOnStates: return static_cast<double>(o.lightStates);
    case Var::SimOnGround: return o.onGround ? 1.0 : 0.0;
    case Var::AtcId: return o.atcId;
    case Var::Title: return o.title;
    case Var::AtcModel: return o.model;
    case Var::StaticCgToGround: return scenario_.staticCgFt;
    case Var::StaticPitch: return scenario_.staticPitchRad;
    case Var::SpoilersHandle: return o.spoilersPct;
    case Var::ThrottleLever: return o.throttlePct[std::clamp(ref.index, 1, 4) - 1];
    }
    return 0.0;
}

void World::setValue(SimObject& o, const VarRef& ref, double v) {
    switch (ref.var) {
    case Var::Latitude: o.lat = v; break;
    case Var::Longitude: o.lon = v; break;
    case Var::Pitch: o.pitchRad = v; break;
    case Var::Bank: o.bankRad = v; break;
    case Var::Heading: o.headingRad = v; break;
    case Var::Altitude: o.altFt = v; break;
    case Var::GroundVelocity: o.groundSpeedKt = v; break;
    case Var::VerticalSpeed: o.verticalSpeedFps = v; break;
    case Var::AirspeedTrue: o.airspeedKt = v; break;
    case Var::LightStates:
    case Var::LightOnStates: o.lightStates = toInt64(v); break;
    case Var::SpoilersHandle: o.spoilersPct = v; break;
    case Var::ThrottleLever: o.throttlePct[std::clamp(ref.index, 1, 4) - 1] = v; break;
    default: break;   // derived or read-only in the simulator as well
    }
}

nlohmann::json World::objectJson(const SimObject& o) const {
    nlohmann::json j;
    j["object_id"] = o.id;
    j["type"] = o.type;
    j["title"] = o.title;
    j["atc_id"] = o.atcId;
    j["lat"] = o.lat;
    j["lon"] = o.lon;
    j["alt_ft"] = o.altFt;
    j["pitch_rad"] = o.pitchRad;
    j["bank_rad"] = o.bankRad;
    j["heading_rad"] = o.headingRad;
    j["on_ground"] = o.onGround;
    if (!o.user) {
        j["vertical_speed_fps"] = o.verticalSpeedFps;
        j["airspeed_kt"] = o.airspeedKt;
        j["spoilers_pct"] = o.spoilersPct;
        j["throttle_pct"] = {o.throttlePct[0], o.throttlePct[1]};
        j["session"] = o.creatorSession;
        j["released"] = o.released;
        j["flight_plan"] = o.flightPlan;
        j["position_updates"] = o.positionUpdates;
        j["events"] = o.events;
    } else {
        j["model"] = o.model;
    }
    return j;
}

}  // namespace simstub
