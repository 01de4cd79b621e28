// Layouts of the messages the simulator sends, read field by field from the
// bytes SimConnect_CallDispatch hands over. Every reader checks that the
// fields it takes lie inside the message's true size, so a short or damaged
// message is refused instead of read past its end.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

// Message ids.
enum SimRecvId : std::uint32_t {
    SimRecvException = 1,
    SimRecvOpen = 2,
    SimRecvQuit = 3,
    SimRecvEvent = 4,
    SimRecvEventObjectAddRemove = 5,
    SimRecvEventFilename = 6,
    SimRecvEventFrame = 7,
    SimRecvSimObjectData = 8,
    SimRecvSimObjectDataByType = 9,
    SimRecvAssignedObjectId = 12,
};

// Exception codes the program reacts to.
enum SimExceptionCode : std::uint32_t {
    SimExceptionUnrecognizedId = 3,
    SimExceptionVersionMismatch = 5,
    SimExceptionTooManyObjects = 11,
    SimExceptionInvalidDataSize = 19,
    SimExceptionCreateObjectFailed = 22,
    SimExceptionLoadFlightPlanFailed = 23,
    SimExceptionOperationInvalidForObjectType = 24,
};

// Group id of system events.
inline constexpr std::uint32_t kSimGroupIdSystem = 0xFFFFFFFFu;

inline constexpr std::uint32_t kSimRecvHeaderSize = 12;
inline constexpr std::uint32_t kSimRecvNameSize = 256;
inline constexpr std::uint32_t kSimRecvString32Size = 32;

// Bounded little-endian reads at an offset of a message.
class SimRecvReader {
public:
    SimRecvReader(const std::uint8_t* data, std::uint32_t size) : m_data(data), m_size(data ? size : 0) {}

    std::uint32_t size() const { return m_size; }
    bool has(std::uint32_t offset, std::uint32_t width) const {
        return offset <= m_size && width <= m_size - offset;
    }
    bool u32(std::uint32_t offset, std::uint32_t& out) const {
        if (!has(offset, 4)) return false;
        out = static_cast<std::uint32_t>(m_data[offset]) | static_cast<std::uint32_t>(m_data[offset + 1]) << 8 |
              static_cast<std::uint32_t>(m_data[offset + 2]) << 16 |
              static_cast<std::uint32_t>(m_data[offset + 3]) << 24;
        return true;
    }
    bool u64(std::uint32_t offset, std::uint64_t& out) const {
        std::uint32_t low = 0, high = 0;
        if (!has(offset, 8) || !u32(offset, low) || !u32(offset + 4, high)) return false;
        out = static_cast<std::uint64_t>(high) << 32 | low;
        return true;
    }
    bool i64(std::uint32_t offset, std::int64_t& out) const {
        std::uint64_t raw = 0;
        if (!u64(offset, raw)) return false;
        out = static_cast<std::int64_t>(raw);
        return true;
    }
    bool f32(std::uint32_t offset, float& out) const {
        std::uint32_t raw = 0;
        if (!u32(offset, raw)) return false;
        std::memcpy(&out, &raw, sizeof out);
        return true;
    }
    bool f64(std::uint32_t offset, double& out) const {
        std::uint64_t raw = 0;
        if (!u64(offset, raw)) return false;
        std::memcpy(&out, &raw, sizeof out);
        return true;
    }
    // A NUL-terminated text in a field of width bytes; a field without a NUL
    // gives its whole width.
    bool text(std::uint32_t offset, std::uint32_t width, std::string& out) const {
        if (!has(offset, width)) return false;
        const char* start = reinterpret_cast<const char*>(m_data + offset);
        out.assign(start, strnlen(start, width));
        return true;
    }

private:
    const std::uint8_t* m_data;
    std::uint32_t m_size;
};

struct SimRecvHeader {
    std::uint32_t size = 0;
    std::uint32_t version = 0;
    std::uint32_t id = 0;
};

inline bool gf_readSimRecvHeader(const std::uint8_t* data, std::uint32_t size, SimRecvHeader& out) {
    SimRecvReader r(data, size);
    return r.u32(0, out.size) && r.u32(4, out.version) && r.u32(8, out.id);
}

// EXCEPTION (id 1), 24 bytes.
struct SimRecvExceptionMsg {
    std::uint32_t exception = 0;
    std::uint32_t sendId = 0;
    std::uint32_t index = 0;
};

inline bool gf_readSimRecvException(const std::uint8_t* data, std::uint32_t size, SimRecvExceptionMsg& out) {
    SimRecvReader r(data, size);
    return r.u32(12, out.exception) && r.u32(16, out.sendId) && r.u32(20, out.index);
}

// OPEN (id 2): the simulator's name and application version.
struct SimRecvOpenMsg {
    std::string name;
    std::uint32_t versionMajor = 0;
    std::uint32_t versionMinor = 0;
    std::uint32_t buildMajor = 0;
    std::uint32_t buildMinor = 0;
};

inline bool gf_readSimRecvOpen(const std::uint8_t* data, std::uint32_t size, SimRecvOpenMsg& out) {
    SimRecvReader r(data, size);
    return r.text(12, kSimRecvNameSize, out.name) && r.u32(268, out.versionMajor) && r.u32(272, out.versionMinor) &&
           r.u32(276, out.buildMajor) && r.u32(280, out.buildMinor);
}

// EVENT (id 4) and the fields every event message shares.
struct SimRecvEventMsg {
    std::uint32_t groupId = 0;
    std::uint32_t eventId = 0;
    std::uint32_t data = 0;
};

inline bool gf_readSimRecvEvent(const std::uint8_t* data, std::uint32_t size, SimRecvEventMsg& out) {
    SimRecvReader r(data, size);
    return r.u32(12, out.groupId) && r.u32(16, out.eventId) && r.u32(20, out.data);
}

// EVENT_OBJECT_ADDREMOVE (id 5): an event whose data is the object id.
struct SimRecvObjectAddRemoveMsg {
    SimRecvEventMsg event;
    std::uint32_t objectType = 0;
};

inline bool gf_readSimRecvObjectAddRemove(const std::uint8_t* data, std::uint32_t size,
                                          SimRecvObjectAddRemoveMsg& out) {
    SimRecvReader r(data, size);
    return gf_readSimRecvEvent(data, size, out.event) && r.u32(24, out.objectType);
}

// EVENT_FRAME (id 7).
struct SimRecvFrameMsg {
    SimRecvEventMsg event;
    float frameRate = 0;
};

inline bool gf_readSimRecvFrame(const std::uint8_t* data, std::uint32_t size, SimRecvFrameMsg& out) {
    SimRecvReader r(data, size);
    return gf_readSimRecvEvent(data, size, out.event) && r.f32(24, out.frameRate);
}

// SIMOBJECT_DATA (id 8) and SIMOBJECT_DATA_BYTYPE (id 9): the definition's
// data start at byte 40 and run to the end of the message.
inline constexpr std::uint32_t kSimObjectDataOffset = 40;

struct SimRecvObjectDataMsg {
    std::uint32_t requestId = 0;
    std::uint32_t objectId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t flags = 0;
    std::uint32_t entryNumber = 0;
    std::uint32_t outOf = 0;
    std::uint32_t defineCount = 0;
    // The data part: a reader over bytes [40, size) of the message.
    SimRecvReader data{nullptr, 0};
};

inline bool gf_readSimRecvObjectData(const std::uint8_t* data, std::uint32_t size, SimRecvObjectDataMsg& out) {
    SimRecvReader r(data, size);
    if (!(r.u32(12, out.requestId) && r.u32(16, out.objectId) && r.u32(20, out.defineId) && r.u32(24, out.flags) &&
          r.u32(28, out.entryNumber) && r.u32(32, out.outOf) && r.u32(36, out.defineCount) &&
          r.has(kSimObjectDataOffset, 0)))
        return false;
    out.data = SimRecvReader(data + kSimObjectDataOffset, size - kSimObjectDataOffset);
    return true;
}

// Untagged data of a definition, read in definition order: INT64 and FLOAT64
// take 8 bytes, STRING32 32 bytes, STRINGV its text and NUL padded with zeros
// to a multiple of 4. Every read fails once the data run out.
class SimDataCursor {
public:
    explicit SimDataCursor(const SimRecvReader& data) : m_data(data) {}

    bool f64(double& out) { return step(m_data.f64(m_at, out), 8); }
    bool i64(std::int64_t& out) { return step(m_data.i64(m_at, out), 8); }
    bool string32(std::string& out) { return step(m_data.text(m_at, kSimRecvString32Size, out), 32); }
    // The text must end with its NUL inside the data.
    bool stringV(std::string& out) {
        std::uint32_t left = m_data.size() - m_at;
        std::string text;
        if (!m_data.text(m_at, left, text) || text.size() == left) return false;
        std::uint32_t used = static_cast<std::uint32_t>(text.size()) + 1;
        used = (used + 3) & ~3u;
        m_at += used < left ? used : left;
        out = std::move(text);
        return true;
    }
    std::uint32_t offset() const { return m_at; }

private:
    bool step(bool ok, std::uint32_t width) {
        if (ok) m_at += width;
        return ok;
    }
    SimRecvReader m_data;
    std::uint32_t m_at = 0;
};
