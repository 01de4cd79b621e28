#include "traffic/live_ac.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <stdexcept>

#include "airports/park_airport_state.h"
#include "airports/stand_records.h"
#include "catalogue/dbase_queries.h"
#include "core/random.h"

namespace {

constexpr const char* kBadKey = "invalid unordered_map<K, T> key";

constexpr double lf_rad(double deg) { return deg * kDegToRad; }

// Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft.
// The maximum climb (feet per tick) is what a light aircraft of the category
// does right after take-off: airliners and business jets climb 5,000-6,000
// fpm, wide-bodies 4,000-4,500; an aircraft held to less lags minutes
// behind such a climb and can never catch up with its reports.
const std::array<CategoryMotion, 6> kCategoryMotion{{
    {250, 250, 100, 200, -9.0, -15.0, lf_rad(0.15), 0.5, 5.0, 90.0, lf_rad(0.01), lf_rad(40.0), lf_rad(0.035)},
    {300, 300, 200, 250, -8.0, -18.0, lf_rad(0.1), 1.0, 4.5, 110.0, lf_rad(0.0085), lf_rad(35.0), lf_rad(0.0275)},
    {400, 350, 200, 300, -6.0, -16.5, lf_rad(0.07), 1.0, 4.0, 140.0, lf_rad(0.0075), lf_rad(30.0), lf_rad(0.02)},
    {450, 450, 250, 400, -5.0, -12.5, lf_rad(0.05), 0.75, 3.0, 150.0, lf_rad(0.005), lf_rad(20.0), lf_rad(0.015)},
    {150, 150, 100, 200, -6.0, -20.0, lf_rad(0.1), 1.0, 4.5, 220.0, lf_rad(0.03), lf_rad(90.0), lf_rad(0.1)},
    {100, 100, 100, 100, -20.0, -30.0, lf_rad(0.2), 0.75, 5.0, 0.0, lf_rad(0.03), lf_rad(75.0), lf_rad(0.06)},
}};

double lf_wrapTwoPi(double a) {
    a = std::fmod(a, kFullTurnRad);
    return a < 0.0 ? a + kFullTurnRad : a;
}

}  // namespace

std::string_view gf_flightStateName(FlightState state) {
    static constexpr std::array<std::string_view, 8> kNames{"pushing_back", "pushed_back", "taxi",   "take_off",
                                                            "flying",       "parking",     "parked", "birth"};
    const auto i = static_cast<std::size_t>(state);
    if (i >= kNames.size()) throw std::out_of_range(kBadKey);
    return kNames[i];
}

std::string_view gf_simStateName(SimState state) {
    static constexpr std::array<std::string_view, 5> kNames{"buffer", "adding2sim", "active", "liveryrespawn",
                                                            "removingfromsim"};
    const auto i = static_cast<std::size_t>(state);
    if (i >= kNames.size()) throw std::out_of_range(kBadKey);
    return kNames[i];
}

const CategoryMotion& gf_categoryMotion(AcCategory category) {
    const auto i = static_cast<std::size_t>(category);
    if (i >= kCategoryMotion.size()) throw std::out_of_range(kBadKey);
    return kCategoryMotion[i];
}

LiveAc::LiveAc(const StreamPoint& first, const AcBase& base, double feedTime) : AcBase(base) {
    stream.push_back(first);
    lastFeedTime = feedTime;
}

void LiveAc::setFlightState(FlightState next) {
    if (next == flightState) return;
    previousFlightState = flightState;
    flightState = next;
}

StaticAc::StaticAc(const AcBase& base, std::uint32_t stand, double lat, double lon, double heading,
                   std::uint8_t cargoAttribute)
    : AcBase(base) {
    standId = stand;
    standLat = lat;
    standLon = lon;
    standHeading = heading;
    standCargo = cargoAttribute;
}

AcBase gf_buildAircraftBase(const FlightRecord& record) {
    AcBase base;
    base.airline = record.airline;
    base.type = record.type;
    base.origin = record.origin;
    base.destination = record.destination;
    base.callsign = record.callsign;
    base.callsignCopy = record.callsignCopy;
    base.coupledCallsign = record.spare;
    base.registration = record.registration;
    base.tag = record.tag;
    base.size = gf_halfWingspanNm(base.type);
    base.category = gf_acCategory(base.type);
    const CategoryMotion& m = gf_categoryMotion(base.category);
    base.flareTicks = m.flareTicks;
    base.onGroundTicks = m.onGroundTicks;
    base.rotationTicks = m.rotationTicks;
    base.climbPitchTicks = m.climbPitchTicks;
    base.rotationPitch = gf_randomPercentAround(m.rotationPitch_deg, 2.5) * kDegToRad;
    base.climbPitch = gf_randomPercentAround(m.climbPitch_deg, 5.0) * kDegToRad;
    base.turnRate = m.turnRate_rad;
    return base;
}

std::string gf_airlineTypeText(const AcBase& ac) { return gf_airlineTypeText(ac.airline, ac.type); }

bool gf_sameAirlineType(const AcBase& a, const AcBase& b) { return a.airline == b.airline && a.type == b.type; }

std::string gf_routeText(const AcBase& ac) {
    if (ac.origin.empty() && ac.destination.empty()) return std::string(8, ' ');
    return fmt::format("{:3}->{:3}", ac.origin, ac.destination);
}

std::string gf_callsignText(const AcBase& ac) { return fmt::format("{:8}", ac.callsign); }

std::string gf_acLogText(const AcBase& ac) {
    return fmt::format("{} {:8} {}", gf_callsignText(ac), ac.registration, gf_routeText(ac));
}

std::string gf_acDescription(const AcBase& ac) { return fmt::format("{} {}", gf_acLogText(ac), gf_airlineTypeText(ac)); }

std::string gf_acDescriptionLong(const AcBase& ac) {
    return fmt::format("{} {} {}", gf_callsignText(ac), ac.registration, gf_airlineTypeText(ac));
}

std::string gf_unmatchedKey(const AcBase& ac) { return gf_airlineTypeText(ac) + " " + ac.registration; }

std::optional<std::string> gf_airlineFromCallsign(std::string_view callsign) {
    if (callsign.size() < 4) return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (!std::isalpha(static_cast<unsigned char>(callsign[i]))) return std::nullopt;
    if (!std::isdigit(static_cast<unsigned char>(callsign[3]))) return std::nullopt;
    std::string code(callsign.substr(0, 3));
    for (char& c : code) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return code;
}

bool gf_fillAirlineFromCallsign(AcBase& ac) {
    auto code = gf_airlineFromCallsign(ac.callsign);
    if (!code) return false;
    ac.airline = std::move(*code);
    return true;
}

bool gf_callsignValid(const AcBase& ac) {
    return !ac.callsign.empty() && ac.callsign != "@@@@@@@@" && ac.callsign.size() < 9;
}

std::string gf_standNameOf(std::uint32_t standId) {
    if (standId == 0) return "sid==0?";
    for (const Stand& s : g_standList)
        if (gf_standNumericId(s) == standId) return gf_standName(s);
    return "sid==?";
}

std::string gf_standHead(std::uint32_t standId) {
    return standId == 0 ? std::string(10, ' ') : fmt::format("{:8}: ", gf_standNameOf(standId));
}

bool gf_optionMatches(std::string_view callsign, const AcBase& ac, const StandOption& option) {
    if (option.index == 0 || option.real != 1) return false;
    if (option.cs == callsign || option.cs2 == callsign) return true;
    return option.airline == ac.airline && option.type == ac.type;
}

AcHead gf_acHeadOf(const AcBase& ac) {
    AcHead head;
    head.hexid = ac.hexid;
    head.airline = ac.airline;
    head.model = ac.type;
    head.registration = ac.registration;
    head.callsign = ac.callsign;
    head.origin = ac.origin;
    head.destination = ac.destination;
    head.category = ac.category;
    head.liveryTitle = ac.liveryTitle;
    head.cargo = ac.cargo != 0;
    return head;
}

std::optional<CurvePoint> gf_groundCurvePoint(const GroundCurve& c, double value) {
    if (std::isnan(c.controlEast_m) || std::isnan(c.controlNorth_m)) return std::nullopt;
    if (value < c.t0 || value > c.t1 || c.t1 == c.t0) return std::nullopt;
    const double u = (value - c.t0) / (c.t1 - c.t0);
    const double east = 2.0 * u * (1.0 - u) * c.controlEast_m + u * u * c.endEast_m;
    const double north = 2.0 * u * (1.0 - u) * c.controlNorth_m + u * u * c.endNorth_m;
    const double dEast = 2.0 * (1.0 - u) * c.controlEast_m + 2.0 * u * (c.endEast_m - c.controlEast_m);
    const double dNorth = 2.0 * (1.0 - u) * c.controlNorth_m + 2.0 * u * (c.endNorth_m - c.controlNorth_m);
    double originLat = c.originLat_deg;
    if (originLat > 180.0) originLat -= 360.0;
    constexpr double kMetresPerDegree = 111132.95;
    CurvePoint p;
    p.lat_deg = c.originLat_deg + north / kMetresPerDegree;
    p.lon_deg = c.originLon_deg + east / (kMetresPerDegree * std::cos(originLat * kDegToRad));
    p.heading_rad = lf_wrapTwoPi(std::atan2(dEast, dNorth));
    return p;
}

void gf_fillPositionBlock(LiveAc& ac) {
    const StreamPoint& front = ac.stream.front();
    PositionBlock& b = ac.pos;
    b.lat = front.lat;
    b.lon = front.lon;
    b.alt = front.alt;
    b.tas = front.tas;
    b.verticalSpeed = front.vrate / 60.0;
    if (!front.airborne) {
        b.pitch = 0.6 * kDegToRad;
    } else {
        double vs = std::clamp(front.vrate, -3000.0, 2400.0);
        if (vs < 0.0) vs /= 2.0;
        b.pitch = (-3.0 - 2.2 * vs / 600.0) * kDegToRad;
    }
    b.bank = front.bank_rad.value_or(0.0);
    double heading = 0.0;
    if (ac.hasOverrideHeading) {
        heading = ac.overrideHeading;
    } else if (ac.flightState == FlightState::parked) {
        heading = ac.standHeading;
    } else if (ac.stream.size() < 2 || ac.stream[1].stationary) {
        heading = front.track * kDegToRad;
    } else {
        heading = gf_initialBearing(LatLon{front.lat, front.lon}, LatLon{ac.stream[1].lat, ac.stream[1].lon});
    }
    b.heading = lf_wrapTwoPi(heading);
    ac.motion.groundHeading_rad = front.airborne ? 0.0 : b.heading;
    ac.userHold = 0;
}
