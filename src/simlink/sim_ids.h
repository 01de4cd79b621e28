// The program's fixed SimConnect ids: system and client events, the one
// notification group, data definitions and requests. Plain enums so they
// pass straight into the library's 32-bit id arguments.
#pragma once

#include <cstdint>

enum SimEventId : std::uint32_t {
    // System events.
    SimEventSim = 201,
    SimEventObjectAdded = 202,
    SimEventObjectRemoved = 203,
    SimEventFrame = 204,
    SimEventPositionChanged = 205,
    SimEventFlightLoaded = 206,
    // Client events of the AI aircraft.
    SimEventBeaconLightsSet = 207,
    SimEventNavLightsSet = 208,
    SimEventTaxiLightsSet = 209,
    SimEventStrobesSet = 210,
    SimEventLandingLightsSet = 211,
    SimEventCabinLightsSet = 212,
    SimEventLogoLightsSet = 213,
    SimEventAllLightsToggle = 214,
    SimEventFreezeLatitudeLongitudeSet = 215,
    SimEventFreezeAltitudeSet = 216,
    SimEventFreezeAttitudeSet = 217,
    SimEventFlapsSet = 218,
    SimEventSpoilersSet = 219,
    SimEventGearSet = 220,
    SimEventEngineAutoStart = 221,
    SimEventEngineAutoShutdown = 222,
    SimEventThrottleSet = 223,
};

// The one notification group of the client events.
enum SimGroupId : std::uint32_t {
    SimGroupAiEvents = 301,
};

enum SimDefinitionId : std::uint32_t {
    SimDefSpoilersThrottles = 401,  // 24 bytes
    SimDefAiPosition = 402,         // 64 bytes
    SimDefUserAircraft = 403,       // 96 bytes
    SimDefAircraftByType = 404,
    SimDefStaticCg = 405,
    SimDefLightStates = 406,
    SimDefTitle = 407,
    SimDefAtcModel = 408,
    SimDefOnGround = 409,
};

enum SimRequestId : std::uint32_t {
    SimReqAircraftByType = 101,
    SimReqStaticCg = 102,
    SimReqReleaseControl = 103,
    SimReqCreateAi = 104,
    SimReqRemoveAi = 105,
    SimReqUserTitle = 106,
    SimReqUserModel = 107,
    SimReqUserOnGround = 108,
    SimReqUserPosition = 109,
    SimReqFlightPlan = 110,
};

// Size of one AI position element of definition 402.
inline constexpr std::uint32_t kAiPositionSize = 64;
