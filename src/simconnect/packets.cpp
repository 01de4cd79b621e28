#include "simconnect/packets.h"

#include "simconnect/value_guard.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kNameField = 256;
constexpr std::uint32_t kTailNumberField = 12;
constexpr std::uint32_t kFlightPlanPathField = 260;
// The product tag "P3D" and the client version 5.3 sent with Open.
constexpr std::uint32_t kOpenProductTag = 0x50334400u;
constexpr std::uint32_t kOpenVersionMajor = 5;
constexpr std::uint32_t kOpenVersionMinor = 3;

}  // namespace

SimConnectResult gf_simSendOpen(SimConnectHandle handle, const char* applicationName) {
    return gf_simSendPacket(handle, SimFnOpen, 296, [&](SimPacketFill& p) {
        if (!p.text(16, kNameField, applicationName)) return false;
        p.u32(272, 0);
        p.u32(276, kOpenProductTag);
        p.u32(280, kOpenVersionMajor);
        p.u32(284, kOpenVersionMinor);
        p.u32(288, 0);
        p.u32(292, 0);
        return true;
    });
}

SimConnectResult SimConnect_GetLastSentPacketID(SimConnectHandle handle, std::uint32_t* sendId) {
    if (!handle || !sendId) return SIMCONNECT_E_FAIL;
    std::lock_guard lock(g_simLibraryLock);
    *sendId = handle->lastSentId();
    return SIMCONNECT_OK;
}

SimConnectResult SimConnect_MapClientEventToSimEvent(SimConnectHandle handle, std::uint32_t eventId,
                                                     const char* eventName) {
    return gf_simSendPacket(handle, SimFnMapClientEventToSimEvent, 276, [&](SimPacketFill& p) {
        p.u32(16, eventId);
        return p.text(20, kNameField, eventName);
    });
}

SimConnectResult SimConnect_TransmitClientEvent(SimConnectHandle handle, std::uint32_t objectId,
                                                std::uint32_t eventId, std::uint32_t data, std::uint32_t groupId,
                                                std::uint32_t flags) {
    return gf_simSendPacket(handle, SimFnTransmitClientEvent, 36, [&](SimPacketFill& p) {
        p.u32(16, objectId);
        p.u32(20, eventId);
        p.u32(24, data);
        p.u32(28, groupId);
        p.u32(32, flags);
        return true;
    });
}

SimConnectResult SimConnect_AddClientEventToNotificationGroup(SimConnectHandle handle, std::uint32_t groupId,
                                                              std::uint32_t eventId, bool maskable) {
    return gf_simSendPacket(handle, SimFnAddClientEventToNotificationGroup, 28, [&](SimPacketFill& p) {
        p.u32(16, groupId);
        p.u32(20, eventId);
        p.u32(24, maskable ? 1 : 0);
        return true;
    });
}

SimConnectResult SimConnect_SetNotificationGroupPriority(SimConnectHandle handle, std::uint32_t groupId,
                                                         std::uint32_t priority) {
    return gf_simSendPacket(handle, SimFnSetNotificationGroupPriority, 24, [&](SimPacketFill& p) {
        p.u32(16, groupId);
        p.u32(20, priority);
        return true;
    });
}

SimConnectResult SimConnect_AddToDataDefinition(SimConnectHandle handle, std::uint32_t defineId,
                                                const char* datumName, const char* unitsName,
                                                std::uint32_t datumType, float epsilon, std::uint32_t datumId) {
    const SimConnectResult result = gf_simSendPacket(handle, SimFnAddToDataDefinition, 544, [&](SimPacketFill& p) {
        p.u32(16, defineId);
        if (!p.text(20, kNameField, datumName) || !p.text(276, kNameField, unitsName)) return false;
        p.u32(532, datumType);
        p.f32(536, epsilon);
        p.u32(540, datumId);
        return true;
    });
    if (result == SIMCONNECT_OK) gf_simGuardAddDatum(handle, defineId, datumName, unitsName, datumType);
    return result;
}

SimConnectResult SimConnect_RequestDataOnSimObject(SimConnectHandle handle, std::uint32_t requestId,
                                                   std::uint32_t defineId, std::uint32_t objectId,
                                                   std::uint32_t period, std::uint32_t flags, std::uint32_t origin,
                                                   std::uint32_t interval, std::uint32_t limit) {
    return gf_simSendPacket(handle, SimFnRequestDataOnSimObject, 48, [&](SimPacketFill& p) {
        p.u32(16, requestId);
        p.u32(20, defineId);
        p.u32(24, objectId);
        p.u32(28, period);
        p.u32(32, flags);
        p.u32(36, origin);
        p.u32(40, interval);
        p.u32(44, limit);
        return true;
    });
}

SimConnectResult SimConnect_RequestDataOnSimObjectType(SimConnectHandle handle, std::uint32_t requestId,
                                                       std::uint32_t defineId, std::uint32_t radius_m,
                                                       std::uint32_t objectType) {
    return gf_simSendPacket(handle, SimFnRequestDataOnSimObjectType, 32, [&](SimPacketFill& p) {
        p.u32(16, requestId);
        p.u32(20, defineId);
        p.u32(24, radius_m);
        p.u32(28, objectType);
        return true;
    });
}

SimConnectResult SimConnect_SetDataOnSimObject(SimConnectHandle handle, std::uint32_t defineId,
                                               std::uint32_t objectId, std::uint32_t flags, std::uint32_t count,
                                               std::uint32_t unitSize, const void* data) {
    const std::uint32_t elements = std::max<std::uint32_t>(count, 1);
    const std::uint64_t dataSize = static_cast<std::uint64_t>(elements) * unitSize;
    if (dataSize > 0 && !data) return SIMCONNECT_E_FAIL;
    if (!gf_simGuardDataAllowed(handle, defineId, count, unitSize, data)) return SIMCONNECT_E_INVALIDARG;
    // Sizes are worked out in 64 bits so that a huge count cannot wrap into a
    // small packet. What cannot fit the send buffer asks for a slot no buffer
    // has: the reservation refuses it, after a failed transport has had its
    // say, so every call on a failed connection reports that failure.
    const bool fits = dataSize <= kSimSendBufferSize;
    const std::uint32_t n = fits ? static_cast<std::uint32_t>(dataSize) : 0;
    const std::uint32_t packetSize = fits ? 36 + n : 0xFFFFFFFFu;
    return gf_simSendPacket(handle, SimFnSetDataOnSimObject, packetSize, [&](SimPacketFill& p) {
        p.u32(16, defineId);
        p.u32(20, objectId);
        p.u32(24, flags);
        p.u32(28, elements);
        p.u32(32, unitSize);
        p.bytes(36, data, n);
        return true;
    });
}

SimConnectResult SimConnect_SubscribeToSystemEvent(SimConnectHandle handle, std::uint32_t eventId,
                                                   const char* systemEventName) {
    return gf_simSendPacket(handle, SimFnSubscribeToSystemEvent, 276, [&](SimPacketFill& p) {
        p.u32(16, eventId);
        return p.text(20, kNameField, systemEventName);
    });
}

SimConnectResult SimConnect_AICreateNonATCAircraft(SimConnectHandle handle, const char* containerTitle,
                                                   const char* tailNumber, const SimConnectInitPosition& position,
                                                   std::uint32_t requestId) {
    if (!gf_simGuardPositionAllowed(position)) return SIMCONNECT_E_INVALIDARG;
    return gf_simSendPacket(handle, SimFnAICreateNonATCAircraft, 344, [&](SimPacketFill& p) {
        if (!p.text(16, kNameField, containerTitle) || !p.text(272, kTailNumberField, tailNumber)) return false;
        p.f64(284, position.latitude_deg);
        p.f64(292, position.longitude_deg);
        p.f64(300, position.altitude_ft);
        p.f64(308, position.pitch_deg);
        p.f64(316, position.bank_deg);
        p.f64(324, position.heading_deg);
        p.u32(332, position.onGround);
        p.u32(336, position.airspeed_kt);
        p.u32(340, requestId);
        return true;
    });
}

SimConnectResult SimConnect_AIReleaseControl(SimConnectHandle handle, std::uint32_t objectId,
                                             std::uint32_t requestId) {
    return gf_simSendPacket(handle, SimFnAIReleaseControl, 24, [&](SimPacketFill& p) {
        p.u32(16, objectId);
        p.u32(20, requestId);
        return true;
    });
}

SimConnectResult SimConnect_AIRemoveObject(SimConnectHandle handle, std::uint32_t objectId, std::uint32_t requestId) {
    return gf_simSendPacket(handle, SimFnAIRemoveObject, 24, [&](SimPacketFill& p) {
        p.u32(16, objectId);
        p.u32(20, requestId);
        return true;
    });
}

SimConnectResult SimConnect_AISetAircraftFlightPlan(SimConnectHandle handle, std::uint32_t objectId,
                                                    const char* flightPlanPath, std::uint32_t requestId) {
    return gf_simSendPacket(handle, SimFnAISetAircraftFlightPlan, 284, [&](SimPacketFill& p) {
        p.u32(16, objectId);
        if (!p.text(20, kFlightPlanPathField, flightPlanPath)) return false;
        p.u32(280, requestId);
        return true;
    });
}
