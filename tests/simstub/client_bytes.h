// The client's side of the wire, built byte by byte in the tests from the
// packet layouts, so that the stand-in's own decoder is checked rather than
// trusted.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace simstub_test {

using Bytes = std::vector<std::uint8_t>;

inline void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void put64(Bytes& b, std::size_t at, double d) {
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void putText(Bytes& b, std::size_t at, const std::string& s) { std::memcpy(b.data() + at, s.data(), s.size()); }

inline std::uint32_t get32(const Bytes& b, std::size_t at) {
    if (at + 4 > b.size()) return 0xDEADBEEF;
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

inline std::int64_t get64(const Bytes& b, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b.at(at + i);
    return static_cast<std::int64_t>(v);
}

inline double getF64(const Bytes& b, std::size_t at) {
    std::int64_t v = get64(b, at);
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}

inline float getF32(const Bytes& b, std::size_t at) {
    std::uint32_t v = get32(b, at);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

inline std::string getText(const Bytes& b, std::size_t at, std::size_t width) {
    std::string s;
    for (std::size_t i = at; i < at + width && i < b.size() && b[i] != 0; ++i) s.push_back(static_cast<char>(b[i]));
    return s;
}

// A zeroed packet with its header: size, protocol, 0xF0000000 + function, send id.
inline Bytes packet(std::uint32_t function, std::uint32_t sendId, std::size_t size, std::uint32_t protocol = 35) {
    Bytes b(size, 0);
    put32(b, 0, static_cast<std::uint32_t>(size));
    put32(b, 4, protocol);
    put32(b, 8, 0xF0000000u + function);
    put32(b, 12, sendId);
    return b;
}

constexpr std::uint32_t kTagP3D = 0x50334400u;   // bytes 00 44 33 50
constexpr std::uint32_t kTagFSX = 0x46535800u;   // bytes 00 58 53 46

inline Bytes openPacket(std::uint32_t sendId, std::uint32_t protocol = 35, std::uint32_t tag = kTagP3D,
                        std::uint32_t major = 5, std::uint32_t minor = 3, std::uint32_t buildMajor = 0,
                        std::uint32_t buildMinor = 0) {
    Bytes b = packet(0x01, sendId, 296, protocol);
    putText(b, 16, "GLIM_P3D");
    put32(b, 276, tag);
    put32(b, 280, major);
    put32(b, 284, minor);
    put32(b, 288, buildMajor);
    put32(b, 292, buildMinor);
    return b;
}

inline Bytes fsxOpenPacket(std::uint32_t sendId) { return openPacket(sendId, 4, kTagFSX, 10, 0, 61259, 0); }

inline Bytes subscribePacket(std::uint32_t sendId, std::uint32_t eventId, const std::string& name,
                             std::uint32_t protocol = 35) {
    Bytes b = packet(0x17, sendId, 276, protocol);
    put32(b, 16, eventId);
    putText(b, 20, name);
    return b;
}

inline Bytes mapEventPacket(std::uint32_t sendId, std::uint32_t eventId, const std::string& name) {
    Bytes b = packet(0x04, sendId, 276);
    put32(b, 16, eventId);
    putText(b, 20, name);
    return b;
}

inline Bytes transmitPacket(std::uint32_t sendId, std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data) {
    Bytes b = packet(0x05, sendId, 36);
    put32(b, 16, objectId);
    put32(b, 20, eventId);
    put32(b, 24, data);
    put32(b, 28, 301);
    return b;
}

constexpr std::uint32_t kInt64 = 2;
constexpr std::uint32_t kFloat64 = 4;
constexpr std::uint32_t kString32 = 6;
constexpr std::uint32_t kStringV = 11;

inline Bytes addDatumPacket(std::uint32_t sendId, std::uint32_t defineId, const std::string& name,
                            const std::string& units, std::uint32_t type) {
    Bytes b = packet(0x0C, sendId, 544);
    put32(b, 16, defineId);
    putText(b, 20, name);
    putText(b, 276, units);
    put32(b, 532, type);
    put32(b, 540, 0xFFFFFFFFu);
    return b;
}

inline Bytes requestDataPacket(std::uint32_t sendId, std::uint32_t requestId, std::uint32_t defineId,
                               std::uint32_t objectId, std::uint32_t period) {
    Bytes b = packet(0x0E, sendId, 48);
    put32(b, 16, requestId);
    put32(b, 20, defineId);
    put32(b, 24, objectId);
    put32(b, 28, period);
    return b;
}

inline Bytes requestByTypePacket(std::uint32_t sendId, std::uint32_t requestId, std::uint32_t defineId,
                                 std::uint32_t radiusM, std::uint32_t objectType) {
    Bytes b = packet(0x0F, sendId, 32);
    put32(b, 16, requestId);
    put32(b, 20, defineId);
    put32(b, 24, radiusM);
    put32(b, 28, objectType);
    return b;
}

inline Bytes setDataPacket(std::uint32_t sendId, std::uint32_t defineId, std::uint32_t objectId,
                           const std::vector<double>& values) {
    Bytes b = packet(0x10, sendId, 36 + 8 * values.size());
    put32(b, 16, defineId);
    put32(b, 20, objectId);
    put32(b, 28, 1);
    put32(b, 32, static_cast<std::uint32_t>(8 * values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) put64(b, 36 + 8 * i, values[i]);
    return b;
}

struct InitPosition {
    double lat = 47.01;
    double lon = 8.01;
    double altFt = 3000.0;
    double pitchDeg = 0.0;
    double bankDeg = 0.0;
    double headingDeg = 90.0;
    std::uint32_t onGround = 0;
    std::uint32_t airspeedKt = 180;
};

inline Bytes createPacket(std::uint32_t sendId, const std::string& title, const std::string& tail,
                          const InitPosition& pos = {}, std::uint32_t requestId = 104) {
    Bytes b = packet(0x29, sendId, 344);
    putText(b, 16, title);
    putText(b, 272, tail);
    put64(b, 284, pos.lat);
    put64(b, 292, pos.lon);
    put64(b, 300, pos.altFt);
    put64(b, 308, pos.pitchDeg);
    put64(b, 316, pos.bankDeg);
    put64(b, 324, pos.headingDeg);
    put32(b, 332, pos.onGround);
    put32(b, 336, pos.airspeedKt);
    put32(b, 340, requestId);
    return b;
}

inline Bytes objectCallPacket(std::uint32_t function, std::uint32_t sendId, std::uint32_t objectId,
                              std::uint32_t requestId) {
    Bytes b = packet(function, sendId, 24);
    put32(b, 16, objectId);
    put32(b, 20, requestId);
    return b;
}
inline Bytes removePacket(std::uint32_t sendId, std::uint32_t objectId) {
    return objectCallPacket(0x2C, sendId, objectId, 105);
}

inline Bytes flightPlanPacket(std::uint32_t sendId, std::uint32_t objectId, const std::string& path) {
    Bytes b = packet(0x2D, sendId, 284);
    put32(b, 16, objectId);
    putText(b, 20, path);
    put32(b, 280, 110);
    return b;
}

// One message from the server.
struct Message {
    Bytes bytes;
    std::uint32_t size() const { return get32(bytes, 0); }
    std::uint32_t version() const { return get32(bytes, 4); }
    std::uint32_t id() const { return get32(bytes, 8); }
    std::uint32_t u32(std::size_t at) const { return get32(bytes, at); }
    double f64(std::size_t at) const { return getF64(bytes, at); }
    std::int64_t i64(std::size_t at) const { return get64(bytes, at); }
    float f32(std::size_t at) const { return getF32(bytes, at); }
    std::string text(std::size_t at, std::size_t width) const { return getText(bytes, at, width); }
};

// Cuts a byte stream into messages. A zero or impossible size is kept as a
// one-word message of size 0, so a test sees padding instead of skipping it.
inline std::vector<Message> splitMessages(const Bytes& stream) {
    std::vector<Message> out;
    std::size_t at = 0;
    while (at + 4 <= stream.size()) {
        std::uint32_t size = get32(stream, at);
        if (size < 12 || at + size > stream.size()) {
            out.push_back(Message{Bytes(stream.begin() + at, stream.begin() + at + 4)});
            at += 4;
            continue;
        }
        out.push_back(Message{Bytes(stream.begin() + at, stream.begin() + at + size)});
        at += size;
    }
    return out;
}

}  // namespace simstub_test
