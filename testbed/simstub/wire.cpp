#include "simstub/wire.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace simstub {

namespace {

bool lf_fits(std::size_t size, std::size_t offset, std::size_t width) {
    return offset <= size && width <= size - offset;
}

template <typename T>
void lf_put(Bytes& out, std::size_t offset, T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (!lf_fits(out.size(), offset, sizeof(T))) {
        return;
    }
    std::uint8_t raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    // Both target platforms are little-endian, but the byte order is spelled
    // out so the wire format never depends on that.
    if constexpr (sizeof(T) == 4) {
        std::uint32_t v;
        std::memcpy(&v, raw, 4);
        for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
    } else {
        std::uint64_t v;
        std::memcpy(&v, raw, 8);
        for (int i = 0; i < 8; ++i) out[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::uint64_t lf_readU64(const std::uint8_t* data, std::size_t size, std::size_t offset) {
    if (!lf_fits(size, offset, 8)) {
        return 0;
    }
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | data[offset + i];
    return v;
}

}  // namespace

std::uint32_t readU32(const std::uint8_t* data, std::size_t size, std::size_t offset) {
    if (!lf_fits(size, offset, 4)) {
        return 0;
    }
    return static_cast<std::uint32_t>(data[offset]) | (static_cast<std::uint32_t>(data[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(data[offset + 2]) << 16) | (static_cast<std::uint32_t>(data[offset + 3]) << 24);
}

double readF64(const std::uint8_t* data, std::size_t size, std::size_t offset) {
    std::uint64_t bits = lf_readU64(data, size, offset);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

float readF32(const std::uint8_t* data, std::size_t size, std::size_t offset) {
    std::uint32_t bits = readU32(data, size, offset);
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

TextField readText(const std::uint8_t* data, std::size_t size, std::size_t offset, std::size_t width) {
    TextField field;
    if (offset > size) {
        return field;
    }
    std::size_t end = offset + std::min(width, size - offset);
    std::size_t i = offset;
    while (i < end && data[i] != 0) ++i;
    field.text.assign(reinterpret_cast<const char*>(data + offset), i - offset);
    field.terminated = i < end;
    for (std::size_t j = i; j < end; ++j) {
        if (data[j] != 0) {
            field.cleanTail = false;
            break;
        }
    }
    return field;
}

void putU32(Bytes& out, std::size_t offset, std::uint32_t value) { lf_put(out, offset, value); }
void putF32(Bytes& out, std::size_t offset, float value) { lf_put(out, offset, value); }
void putF64(Bytes& out, std::size_t offset, double value) { lf_put(out, offset, value); }
void putI64(Bytes& out, std::size_t offset, std::int64_t value) { lf_put(out, offset, value); }

void putText(Bytes& out, std::size_t offset, std::size_t width, std::string_view text) {
    if (width == 0 || !lf_fits(out.size(), offset, width)) {
        return;
    }
    std::size_t n = std::min(text.size(), width - 1);
    std::memcpy(out.data() + offset, text.data(), n);
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(offset + n),
              out.begin() + static_cast<std::ptrdiff_t>(offset + width), std::uint8_t{0});
}

Bytes makeMessage(std::size_t size, std::uint32_t version, std::uint32_t id) {
    Bytes out(size, 0);
    putU32(out, 0, static_cast<std::uint32_t>(size));
    putU32(out, 4, version);
    putU32(out, 8, id);
    return out;
}

Bytes encodeOpen(std::uint32_t version, std::string_view simName, const AppVersion& app, const AppVersion& simConnect) {
    Bytes out = makeMessage(kOpenSize, version, kMsgOpen);
    putText(out, 12, 256, simName);
    putU32(out, 268, app.major);
    putU32(out, 272, app.minor);
    putU32(out, 276, app.buildMajor);
    putU32(out, 280, app.buildMinor);
    putU32(out, 284, simConnect.major);
    putU32(out, 288, simConnect.minor);
    putU32(out, 292, simConnect.buildMajor);
    putU32(out, 296, simConnect.buildMinor);
    return out;
}

Bytes encodeException(std::uint32_t version, std::uint32_t code, std::uint32_t sendId, std::uint32_t index) {
    Bytes out = makeMessage(kExceptionSize, version, kMsgException);
    putU32(out, 12, code);
    putU32(out, 16, sendId);
    putU32(out, 20, index);
    return out;
}

Bytes encodeQuit(std::uint32_t version) { return makeMessage(kQuitSize, version, kMsgQuit); }

Bytes encodeEvent(std::uint32_t version, std::uint32_t group, std::uint32_t eventId, std::uint32_t data,
                  std::size_t eventSize) {
    Bytes out = makeMessage(eventSize == 24 ? 24 : 28, version, kMsgEvent);
    putU32(out, 12, group);
    putU32(out, 16, eventId);
    putU32(out, 20, data);
    return out;
}

Bytes encodeObjectAddRemove(std::uint32_t version, std::uint32_t eventId, std::uint32_t objectId,
                            std::uint32_t objectType) {
    Bytes out = makeMessage(kAddRemoveSize, version, kMsgEventObjectAddRemove);
    putU32(out, 12, kSystemEventGroup);
    putU32(out, 16, eventId);
    putU32(out, 20, objectId);
    putU32(out, 24, objectType);
    return out;
}

Bytes encodeFilename(std::uint32_t version, std::uint32_t eventId, std::string_view fileName, std::uint32_t flags) {
    Bytes out = makeMessage(kFilenameSize, version, kMsgEventFilename);
    putU32(out, 12, kSystemEventGroup);
    putU32(out, 16, eventId);
    putText(out, 24, 260, fileName);
    putU32(out, 284, flags);
    return out;
}

Bytes encodeFrame(std::uint32_t version, std::uint32_t eventId, float frameRate, float simSpeed) {
    Bytes out = makeMessage(kFrameSize, version, kMsgEventFrame);
    putU32(out, 12, kSystemEventGroup);
    putU32(out, 16, eventId);
    putF32(out, 24, frameRate);
    putF32(out, 28, simSpeed);
    return out;
}

Bytes encodeAssignedObjectId(std::uint32_t version, std::uint32_t requestId, std::uint32_t objectId) {
    Bytes out = makeMessage(kAssignedIdSize, version, kMsgAssignedObjectId);
    putU32(out, 12, requestId);
    putU32(out, 16, objectId);
    return out;
}

Bytes encodeObjectData(std::uint32_t version, bool byType, const DataHeader& header, const Bytes& data) {
    Bytes out = makeMessage(kDataHeaderSize + data.size(), version, byType ? kMsgSimObjectDataByType : kMsgSimObjectData);
    putU32(out, 12, header.requestId);
    putU32(out, 16, header.objectId);
    putU32(out, 20, header.defineId);
    putU32(out, 24, header.flags);
    putU32(out, 28, header.entry);
    putU32(out, 32, header.outOf);
    putU32(out, 36, header.defineCount);
    std::copy(data.begin(), data.end(), out.begin() + kDataHeaderSize);
    return out;
}

}  // namespace simstub
