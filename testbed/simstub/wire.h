// The server's side of the SimConnect wire format: little-endian field access
// and the messages the stand-in simulator sends to its clients.
//
// Written independently of the program's own client library on purpose: the
// stand-in is there to check that library, so it must not share its mistakes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace simstub {

using Bytes = std::vector<std::uint8_t>;

// Message ids the server sends.
enum MessageId : std::uint32_t {
    kMsgException = 1,
    kMsgOpen = 2,
    kMsgQuit = 3,
    kMsgEvent = 4,
    kMsgEventObjectAddRemove = 5,
    kMsgEventFilename = 6,
    kMsgEventFrame = 7,
    kMsgSimObjectData = 8,
    kMsgSimObjectDataByType = 9,
    kMsgAssignedObjectId = 12,
};

// Exception codes the stand-in raises.
enum ExceptionCode : std::uint32_t {
    kExSizeMismatch = 2,
    kExUnrecognizedId = 3,
    kExVersionMismatch = 5,
    kExNameUnrecognized = 7,
    kExTooManyObjects = 11,
    kExInvalidDataType = 18,
    kExInvalidDataSize = 19,
    kExCreateObjectFailed = 22,
    kExLoadFlightPlanFailed = 23,
    kExInvalidForObjectType = 24,
};

// Object types of the add/remove event and of by-type requests.
enum ObjectType : std::uint32_t {
    kTypeUser = 0,
    kTypeAll = 1,
    kTypeAircraft = 2,
    kTypeHelicopter = 3,
};

constexpr std::uint32_t kSystemEventGroup = 0xFFFFFFFFu;
constexpr std::size_t kOpenSize = 308;
constexpr std::size_t kExceptionSize = 24;
constexpr std::size_t kQuitSize = 12;
constexpr std::size_t kAddRemoveSize = 28;
constexpr std::size_t kFilenameSize = 288;
constexpr std::size_t kFrameSize = 32;
constexpr std::size_t kAssignedIdSize = 20;
constexpr std::size_t kDataHeaderSize = 40;

// Bounds-checked little-endian reads; a read past the end yields 0 so that a
// short packet can never make the server read outside its buffer.
std::uint32_t readU32(const std::uint8_t* data, std::size_t size, std::size_t offset);
double readF64(const std::uint8_t* data, std::size_t size, std::size_t offset);
float readF32(const std::uint8_t* data, std::size_t size, std::size_t offset);

// A fixed text field: the bytes up to the first NUL or the field's end.
struct TextField {
    std::string text;
    bool terminated = false;    // a NUL lies inside the field
    bool cleanTail = true;      // every byte after the NUL is 0
};
TextField readText(const std::uint8_t* data, std::size_t size, std::size_t offset, std::size_t width);

void putU32(Bytes& out, std::size_t offset, std::uint32_t value);
void putF32(Bytes& out, std::size_t offset, float value);
void putF64(Bytes& out, std::size_t offset, double value);
void putI64(Bytes& out, std::size_t offset, std::int64_t value);
// Copies at most width - 1 bytes so the field always ends in NUL.
void putText(Bytes& out, std::size_t offset, std::size_t width, std::string_view text);

// A message of the given size with its three header words filled in.
Bytes makeMessage(std::size_t size, std::uint32_t version, std::uint32_t id);

struct AppVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t buildMajor = 0;
    std::uint32_t buildMinor = 0;
};

Bytes encodeOpen(std::uint32_t version, std::string_view simName, const AppVersion& app, const AppVersion& simConnect);
Bytes encodeException(std::uint32_t version, std::uint32_t code, std::uint32_t sendId, std::uint32_t index);
Bytes encodeQuit(std::uint32_t version);
// eventSize is 24 (the published layout) or 28 (what Prepar3D sends).
Bytes encodeEvent(std::uint32_t version, std::uint32_t group, std::uint32_t eventId, std::uint32_t data,
                  std::size_t eventSize);
Bytes encodeObjectAddRemove(std::uint32_t version, std::uint32_t eventId, std::uint32_t objectId,
                            std::uint32_t objectType);
Bytes encodeFilename(std::uint32_t version, std::uint32_t eventId, std::string_view fileName, std::uint32_t flags);
Bytes encodeFrame(std::uint32_t version, std::uint32_t eventId, float frameRate, float simSpeed);
Bytes encodeAssignedObjectId(std::uint32_t version, std::uint32_t requestId, std::uint32_t objectId);

struct DataHeader {
    std::uint32_t requestId = 0;
    std::uint32_t objectId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t flags = 0;
    std::uint32_t entry = 1;
    std::uint32_t outOf = 1;
    std::uint32_t defineCount = 0;
};
// SIMOBJECT_DATA (byType false) or SIMOBJECT_DATA_BYTYPE with the packed data.
Bytes encodeObjectData(std::uint32_t version, bool byType, const DataHeader& header, const Bytes& data);

}  // namespace simstub
