// Decoding of the packets a SimConnect client sends: the 16-byte header, the
// fields of every function the program uses, and the framing of the client's
// byte stream.
#pragma once

#include "simstub/wire.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace simstub {

// Function numbers (the packet id is 0xF0000000 plus the number).
enum FunctionNumber : std::uint32_t {
    kFnOpen = 0x01,
    kFnMapClientEventToSimEvent = 0x04,
    kFnTransmitClientEvent = 0x05,
    kFnAddClientEventToNotificationGroup = 0x07,
    kFnSetNotificationGroupPriority = 0x09,
    kFnAddToDataDefinition = 0x0C,
    kFnRequestDataOnSimObject = 0x0E,
    kFnRequestDataOnSimObjectType = 0x0F,
    kFnSetDataOnSimObject = 0x10,
    kFnSubscribeToSystemEvent = 0x17,
    kFnAICreateNonATCAircraft = 0x29,
    kFnAIReleaseControl = 0x2B,
    kFnAIRemoveObject = 0x2C,
    kFnAISetAircraftFlightPlan = 0x2D,
};

constexpr std::uint32_t kPacketIdBase = 0xF0000000u;
constexpr std::size_t kPacketHeaderSize = 16;
// The client's send buffer; no single packet can be larger.
constexpr std::size_t kMaxPacketSize = 41088;

// The product tags of the Open packet as u32 values: bytes 00 44 33 50
// ("P3D") and, from FSX SP2 clients, bytes 00 58 53 46 ("FSX").
constexpr std::uint32_t kProductP3D = 0x50334400u;
constexpr std::uint32_t kProductFSX = 0x46535800u;

struct Packet {
    std::uint32_t size = 0;
    std::uint32_t version = 0;
    std::uint32_t packetId = 0;
    std::uint32_t function = 0;     // packetId without the 0xF0000000 base
    std::uint32_t sendId = 0;
    std::string name;               // the API name, "unknown" when not known
    bool known = false;
    bool sizeOk = true;             // the size matches the function's layout
    nlohmann::json fields = nlohmann::json::object();
    std::vector<std::string> errors;    // layout faults: texts without NUL, dirty padding, sizes
    Bytes data;                     // the element bytes of SetDataOnSimObject
};

// Name of a function number, "unknown" when it is none of ours.
std::string functionName(std::uint32_t function);

// Decodes one whole packet (size bytes, header included).
Packet decodePacket(const std::uint8_t* bytes, std::size_t size);

// Cuts the client's byte stream into packets by their leading size.
class PacketFramer {
public:
    enum class Result { Ready, NeedMore, Bad };

    void append(const std::uint8_t* bytes, std::size_t size);
    // Ready: out holds one whole packet. Bad: the size field cannot be a
    // packet's (below the header or above the send buffer); the stream is lost.
    Result next(Bytes& out);
    std::uint32_t badSize() const { return badSize_; }

private:
    Bytes buffer_;
    std::size_t readPos_ = 0;
    std::uint32_t badSize_ = 0;
};

}  // namespace simstub
