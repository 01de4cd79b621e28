// The Traffic engine's aircraft records: LiveAc (one aircraft of the live
// feed) and StaticAc (one static parked aircraft), their states with the
// names the log prints, the per-category motion tables, the builder of the
// shared head from a feed record and the small texts and tests the engine's
// log lines and searches use. Worker thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/matcher.h"
#include "core/geometry.h"
#include "feed/feed_records.h"
#include "simlink/ac_category.h"
#include "traffic/motion_state.h"

struct StandOption;

// Presence in the simulator.
enum class SimState : std::uint32_t {
    buffer = 0,           // received, waiting for its due time; no object
    adding2sim = 1,       // creation requested, object not yet reported
    active = 2,           // object exists and is moved every tick
    liveryrespawn = 3,    // object being removed to be created again
    removingfromsim = 4,  // removal queued; erased on the removed event
};

enum class FlightState : std::uint32_t {
    pushing_back = 0,
    pushed_back = 1,
    taxi = 2,
    take_off = 3,
    flying = 4,
    parking = 5,
    parked = 6,
    birth = 7,
};

// Names for log lines (the category's name is the catalogue's
// gf_categoryName); a value outside its table throws std::out_of_range
// "invalid unordered_map<K, T> key".
std::string_view gf_flightStateName(FlightState state);
std::string_view gf_simStateName(SimState state);

// Weekday (1..7) and half-hour of the UTC day (0..47).
struct WeekSlot {
    std::int32_t weekday = 0;
    std::int32_t halfHour = 0;
};
// weekday x 48 + half-hour - 48: 0..335.
inline std::int32_t gf_weekSlotIndex(WeekSlot s) { return s.weekday * 48 + s.halfHour - 48; }
// Half-hours from a to b, wrapping through the week's end.
inline std::int32_t gf_halfHoursBetween(WeekSlot a, WeekSlot b) {
    const std::int32_t d = gf_weekSlotIndex(b) - gf_weekSlotIndex(a);
    return d < 0 ? d + 336 : d;
}

// The head that live and static aircraft share.
struct AcBase {
    std::string airline;
    std::string type;
    std::string origin;
    std::string destination;
    std::string callsign;         // ends in "_" for a ghost
    std::string callsignCopy;     // the callsign under which it was first matched
    std::string coupledCallsign;  // a second callsign of the same aircraft
    std::string registration;
    std::uint64_t tag = 0;        // the feed's 8-byte identity value
    std::uint8_t coupledSearched = 0;
    double size = 0.0;            // half wing span, nautical miles
    double cgHeight = 0.0;        // feet, from the simulator
    double restPitch = 0.0;       // radians, from the simulator
    double rotationPitch = 0.0;   // radians
    double climbPitch = 0.0;      // radians
    double turnRate = 0.0;        // radians per tick
    double currentTurnRate = 0.0; // radians per tick
    double maxClimb = 0.0;        // feet per tick
    double slowGroundSpeed = 0.0; // knots
    std::uint32_t hexid = 0;      // > 10000: live ICAO address; <= 10000: static number
    AcCategory category = AcCategory::Large;
    // The chosen title (a copy of the catalogue's text, so it can never
    // dangle); empty until a livery is chosen.
    std::string liveryTitle;
    std::int32_t flareTicks = 0;
    std::int32_t onGroundTicks = 0;
    std::int32_t rotationTicks = 0;
    std::int32_t climbPitchTicks = 0;
    std::uint8_t cargo = 0;
};

// Live and static aircraft tell each other apart by this test alone.
inline constexpr std::uint32_t kLastStaticHexidNumber = 10000;
inline bool gf_isLiveHexid(std::uint32_t hexid) { return hexid > kLastStaticHexidNumber; }

// The simulator side that live and static aircraft share.
struct AcSimFields {
    std::uint32_t objectId = 0;
    double standLat = 0.0;
    double standLon = 0.0;
    double standHeading = 0.0;  // radians
    WeekSlot weekSlot;
    std::uint32_t parkedHexid = 0;
    std::uint32_t standId = 0;
    SimState simState = SimState::buffer;
    std::int32_t lastThrottle = 5;  // 5: no step sent yet
    std::int32_t lastFlaps = 4;     // 4: no index sent yet
    std::uint8_t standCargo = 0;
    std::int32_t source = 1;
    std::uint8_t removeWhenCreated = 0;
    std::uint8_t removeFromBuffer = 0;
    std::uint8_t creationCancelled = 0;
};

// What goes to the simulator every tick (definition 402's order).
struct PositionBlock {
    double lat = 0.0;            // degrees
    double lon = 0.0;            // degrees
    double pitch = 0.0;          // radians, negative nose up
    double bank = 0.0;           // radians
    double heading = 0.0;        // radians 0..2 pi
    double alt = 0.0;            // feet
    double verticalSpeed = 0.0;  // feet per second
    double tas = 0.0;            // knots
};

struct LiveAc : AcBase, AcSimFields {
    PositionBlock pos;
    std::deque<StreamPoint> stream;  // oldest first; the front is flown to or stood on
    double lastFeedTime = 0.0;       // epoch seconds
    LatLon positionAtLastCheck{0.0, 0.0};
    std::int64_t parkedSince = 0;    // steady clock, 100 ns units
    std::int32_t extensionCount = 0;
    std::uint32_t motionCounter = 0;
    FlightState flightState = FlightState::birth;
    FlightState previousFlightState = FlightState::birth;
    std::uint8_t stillReported = 0;
    std::uint8_t groundMode = 0;
    std::uint8_t hasFlightPlan = 0;
    std::uint8_t userHold = 0;
    std::uint8_t jumpChecked = 0;
    MotionState motion;
    double targetHeading = 0.0;          // radians
    double heightAboveGround = 2500.0;   // feet
    LatLon lastParkTry{0.0, 0.0};
    double overrideHeading = 0.0;        // radians
    std::uint8_t hasOverrideHeading = 0;
    std::uint8_t towed = 0;

    LiveAc() = default;
    LiveAc(const StreamPoint& first, const AcBase& base, double feedTime);

    // Every change of the flight state keeps the one before; a change to the
    // same state is no change.
    void setFlightState(FlightState next);
    // removeFromBuffer or creationCancelled: erased after the pass.
    bool countsAsRemoved() const { return removeFromBuffer != 0 || creationCancelled != 0; }
};

struct StaticAc : AcBase, AcSimFields {
    StaticAc() = default;
    // A static aircraft on a stand, waiting in buffer for its creation.
    StaticAc(const AcBase& base, std::uint32_t standId, double standLat, double standLon, double standHeading,
             std::uint8_t standCargo);
};

// ---- Per-category tables ----
// A category outside 0..5 throws std::out_of_range.
struct CategoryMotion {
    std::int32_t flareTicks;
    std::int32_t onGroundTicks;
    std::int32_t rotationTicks;
    std::int32_t climbPitchTicks;
    double rotationPitch_deg;
    double climbPitch_deg;
    double turnRate_rad;     // per tick
    double maxClimb_ft;      // per tick
    double slowGroundSpeed_kt;
    double liftOffSpeed_kt;
    double pitchRate_rad;    // per tick
    double maxBank_rad;
    double bankRate_rad;     // per tick
};
const CategoryMotion& gf_categoryMotion(AcCategory category);

// The head of an aircraft from a feed record: the texts, size, category and
// the category's values (pitches randomised by 2.5 % and 5 %).
AcBase gf_buildAircraftBase(const FlightRecord& record);

// ---- Texts ----
std::string gf_airlineTypeText(const AcBase& ac);                  // "{:3} {:4}"
bool gf_sameAirlineType(const AcBase& a, const AcBase& b);
std::string gf_routeText(const AcBase& ac);                        // "{:3}->{:3}", 8 blanks without both
std::string gf_callsignText(const AcBase& ac);                     // "{:8}"
std::string gf_acLogText(const AcBase& ac);
std::string gf_acDescription(const AcBase& ac);
std::string gf_acDescriptionLong(const AcBase& ac);
std::string gf_unmatchedKey(const AcBase& ac);
std::optional<std::string> gf_airlineFromCallsign(std::string_view callsign);
bool gf_fillAirlineFromCallsign(AcBase& ac);
bool gf_callsignValid(const AcBase& ac);
// The stand's name for log lines: "sid==0?" for 0, "sid==?" when unknown.
std::string gf_standNameOf(std::uint32_t standId);
// The head of a log line about one aircraft: its stand's name, eight wide,
// and ": "; ten blanks for one on no stand (one that waited short of an
// occupied stand), where a placeholder name would read as a fault.
std::string gf_standHead(std::uint32_t standId);
// A real, numbered option that names this callsign or this airline and type.
bool gf_optionMatches(std::string_view callsign, const AcBase& ac, const StandOption& option);

// The catalogue's view of an aircraft, and the title it chose copied back.
AcHead gf_acHeadOf(const AcBase& ac);

// ---- Ground curve ----
struct CurvePoint {
    double lat_deg;
    double lon_deg;
    double heading_rad;
};
std::optional<CurvePoint> gf_groundCurvePoint(const GroundCurve& curve, double value);

// ---- Position block ----
// From the front point, once, when the aircraft is handed to the simulator.
void gf_fillPositionBlock(LiveAc& ac);
