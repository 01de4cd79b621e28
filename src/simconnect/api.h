// The program's own SimConnect client library: the calls the simulator link
// makes. Every call takes the connection handle first, returns a 32-bit
// HRESULT-style result and never throws; a dispatch procedure that throws is
// the only exception that can leave SimConnect_CallDispatch.
#pragma once

#include <cstdint>

class SimConnectConnection;

// The handle of one connection; null until SimConnect_Open succeeds.
using SimConnectHandle = SimConnectConnection*;
// HRESULT: 0 success, negative failure.
using SimConnectResult = std::int32_t;

inline constexpr SimConnectResult SIMCONNECT_OK = 0;
inline constexpr SimConnectResult SIMCONNECT_E_FAIL = static_cast<SimConnectResult>(0x80004005u);
inline constexpr SimConnectResult SIMCONNECT_E_INVALIDARG = static_cast<SimConnectResult>(0x80070057u);
// A text does not fit its field together with its terminating NUL.
inline constexpr SimConnectResult SIMCONNECT_E_TEXT_TOO_LONG = static_cast<SimConnectResult>(0x8007007Au);
inline constexpr SimConnectResult SIMCONNECT_E_ABORT = static_cast<SimConnectResult>(0x80004004u);
inline constexpr SimConnectResult SIMCONNECT_E_OUTOFMEMORY = static_cast<SimConnectResult>(0x8007000Eu);

inline constexpr bool gf_simConnectFailed(SimConnectResult result) { return result < 0; }

// Datum types of SimConnect_AddToDataDefinition.
enum SimConnectDatumType : std::uint32_t {
    SimDatumInt64 = 2,
    SimDatumFloat64 = 4,
    SimDatumString32 = 6,
    SimDatumStringV = 11,
};

// Periods of SimConnect_RequestDataOnSimObject.
enum SimConnectPeriod : std::uint32_t {
    SimPeriodNever = 0,
    SimPeriodOnce = 1,
    SimPeriodVisualFrame = 2,
    SimPeriodSimFrame = 3,
    SimPeriodSecond = 4,
};

// Object types of SimConnect_RequestDataOnSimObjectType and of the object
// add/remove events.
enum SimConnectObjectType : std::uint32_t {
    SimObjectTypeUser = 0,
    SimObjectTypeAll = 1,
    SimObjectTypeAircraft = 2,
    SimObjectTypeHelicopter = 3,
    SimObjectTypeBoat = 4,
    SimObjectTypeGround = 5,
};

// Object id 0 names the user's aircraft in requests.
inline constexpr std::uint32_t kSimObjectIdUser = 0;
// Datum id of a variable added without a tag.
inline constexpr std::uint32_t kSimUnusedDatumId = 0xFFFFFFFFu;

// The initial position of an AI aircraft, 56 bytes on the wire.
struct SimConnectInitPosition {
    double latitude_deg = 0;
    double longitude_deg = 0;
    double altitude_ft = 0;
    double pitch_deg = 0;
    double bank_deg = 0;
    double heading_deg = 0;
    std::uint32_t onGround = 0;
    std::uint32_t airspeed_kt = 0;
};

// Receives one message from the simulator: its bytes and its true size (at
// least 12: size, version, id). Called on the thread that calls
// SimConnect_CallDispatch, with no lock held, so it may make further calls on
// the connection; the bytes are valid during the call only.
using SimConnectDispatchProc = void (*)(const std::uint8_t* message, std::uint32_t size, void* context);

// Connects (SimConnect.cfg section [SimConnect] for index 0, [SimConnect.N]
// for N, defaults for -1) and sends the Open packet. window, message and event
// are signalled whenever a message arrives or the connection fails (each
// optional: a Win32 HWND, a message number, a Win32 event HANDLE).
// E_INVALIDARG for a null out pointer or name or a missing section, E_FAIL
// when no connection can be made, E_TEXT_TOO_LONG for a name of 256 bytes or
// more. *handle is null on every failure.
SimConnectResult SimConnect_Open(SimConnectHandle* handle, const char* applicationName, void* window,
                                 std::uint32_t message, void* event, std::int32_t configIndex);
// Closes the connection and frees the handle (do not use it afterwards).
SimConnectResult SimConnect_Close(SimConnectHandle handle);
// Hands every message received so far to procedure, in arrival order. Gives
// the transport's failure status once the connection has failed.
SimConnectResult SimConnect_CallDispatch(SimConnectHandle handle, SimConnectDispatchProc procedure, void* context);
// The send id of the last packet reserved on the connection.
SimConnectResult SimConnect_GetLastSentPacketID(SimConnectHandle handle, std::uint32_t* sendId);

SimConnectResult SimConnect_MapClientEventToSimEvent(SimConnectHandle handle, std::uint32_t eventId,
                                                     const char* eventName);
SimConnectResult SimConnect_TransmitClientEvent(SimConnectHandle handle, std::uint32_t objectId,
                                                std::uint32_t eventId, std::uint32_t data, std::uint32_t groupId,
                                                std::uint32_t flags);
SimConnectResult SimConnect_AddClientEventToNotificationGroup(SimConnectHandle handle, std::uint32_t groupId,
                                                              std::uint32_t eventId, bool maskable);
SimConnectResult SimConnect_SetNotificationGroupPriority(SimConnectHandle handle, std::uint32_t groupId,
                                                         std::uint32_t priority);
SimConnectResult SimConnect_AddToDataDefinition(SimConnectHandle handle, std::uint32_t defineId,
                                                const char* datumName, const char* unitsName,
                                                std::uint32_t datumType, float epsilon, std::uint32_t datumId);
SimConnectResult SimConnect_RequestDataOnSimObject(SimConnectHandle handle, std::uint32_t requestId,
                                                   std::uint32_t defineId, std::uint32_t objectId,
                                                   std::uint32_t period, std::uint32_t flags, std::uint32_t origin,
                                                   std::uint32_t interval, std::uint32_t limit);
SimConnectResult SimConnect_RequestDataOnSimObjectType(SimConnectHandle handle, std::uint32_t requestId,
                                                       std::uint32_t defineId, std::uint32_t radius_m,
                                                       std::uint32_t objectType);
// Sends max(count, 1) elements of unitSize bytes each from data.
SimConnectResult SimConnect_SetDataOnSimObject(SimConnectHandle handle, std::uint32_t defineId,
                                               std::uint32_t objectId, std::uint32_t flags, std::uint32_t count,
                                               std::uint32_t unitSize, const void* data);
SimConnectResult SimConnect_SubscribeToSystemEvent(SimConnectHandle handle, std::uint32_t eventId,
                                                   const char* systemEventName);
SimConnectResult SimConnect_AICreateNonATCAircraft(SimConnectHandle handle, const char* containerTitle,
                                                   const char* tailNumber, const SimConnectInitPosition& position,
                                                   std::uint32_t requestId);
SimConnectResult SimConnect_AIReleaseControl(SimConnectHandle handle, std::uint32_t objectId,
                                             std::uint32_t requestId);
SimConnectResult SimConnect_AIRemoveObject(SimConnectHandle handle, std::uint32_t objectId, std::uint32_t requestId);
SimConnectResult SimConnect_AISetAircraftFlightPlan(SimConnectHandle handle, std::uint32_t objectId,
                                                    const char* flightPlanPath, std::uint32_t requestId);
