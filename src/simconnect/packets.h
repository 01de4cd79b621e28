// The call layer's packet slot: one packet reserved, filled in offset order
// and sent at once, all under g_simLibraryLock.
#pragma once

#include <cstdint>
#include <cstring>
#include <mutex>

#include "simconnect/transport.h"

// Function numbers of the packets (the packet id less 0xF0000000).
enum SimPacketFunction : std::uint32_t {
    SimFnOpen = 0x01,
    SimFnMapClientEventToSimEvent = 0x04,
    SimFnTransmitClientEvent = 0x05,
    SimFnAddClientEventToNotificationGroup = 0x07,
    SimFnSetNotificationGroupPriority = 0x09,
    SimFnAddToDataDefinition = 0x0C,
    SimFnRequestDataOnSimObject = 0x0E,
    SimFnRequestDataOnSimObjectType = 0x0F,
    SimFnSetDataOnSimObject = 0x10,
    SimFnSubscribeToSystemEvent = 0x17,
    SimFnAICreateNonATCAircraft = 0x29,
    SimFnAIReleaseControl = 0x2B,
    SimFnAIRemoveObject = 0x2C,
    SimFnAISetAircraftFlightPlan = 0x2D,
};

class SimPacketFill {
public:
    SimPacketFill(std::uint8_t* slot, std::uint32_t size) : m_slot(slot), m_size(size) {}

    void u32(std::uint32_t offset, std::uint32_t v) {
        std::uint8_t* p = m_slot + offset;
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
        p[2] = static_cast<std::uint8_t>(v >> 16);
        p[3] = static_cast<std::uint8_t>(v >> 24);
    }
    void f32(std::uint32_t offset, float v) {
        std::uint32_t raw;
        std::memcpy(&raw, &v, sizeof raw);
        u32(offset, raw);
    }
    void f64(std::uint32_t offset, double v) {
        std::uint64_t raw;
        std::memcpy(&raw, &v, sizeof raw);
        u32(offset, static_cast<std::uint32_t>(raw));
        u32(offset + 4, static_cast<std::uint32_t>(raw >> 32));
    }
    void bytes(std::uint32_t offset, const void* data, std::uint32_t size) {
        if (size) std::memcpy(m_slot + offset, data, size);
    }
    // A NUL-terminated text into a field of width bytes; false when it does
    // not fit with its NUL. A null text leaves the field empty.
    bool text(std::uint32_t offset, std::uint32_t width, const char* s) {
        if (!s) return true;
        std::size_t length = strnlen(s, width);
        if (length >= width) return false;
        std::memcpy(m_slot + offset, s, length);
        return true;
    }
    std::uint32_t size() const { return m_size; }

private:
    std::uint8_t* m_slot;
    std::uint32_t m_size;
};

// Reserves a slot of size bytes for function, lets fill write the fields
// (fill gives false for a text that does not fit) and sends the packet.
template <class Fill>
SimConnectResult gf_simSendPacket(SimConnectHandle handle, std::uint32_t function, std::uint32_t size, Fill&& fill) {
    if (!handle) return SIMCONNECT_E_FAIL;
    std::lock_guard lock(g_simLibraryLock);
    std::uint8_t* slot = nullptr;
    SimConnectResult result = handle->allocPacket(size, function, slot);
    if (result != SIMCONNECT_OK) return result;
    SimPacketFill packet(slot, size);
    if (!fill(packet)) {
        handle->releasePacket(slot);
        return SIMCONNECT_E_TEXT_TOO_LONG;
    }
    return handle->commitPacket();
}

// The Open packet of SimConnect_Open.
SimConnectResult gf_simSendOpen(SimConnectHandle handle, const char* applicationName);
