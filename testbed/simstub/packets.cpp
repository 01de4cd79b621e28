#include "simstub/packets.h"

#include <fmt/format.h>

namespace simstub {

namespace {

struct FunctionInfo {
    std::uint32_t number;
    const char* name;
    std::size_t size;   // 0: variable (SetDataOnSimObject)
};

constexpr FunctionInfo kFunctions[] = {
    {kFnOpen, "SimConnect_Open", 296},
    {kFnMapClientEventToSimEvent, "SimConnect_MapClientEventToSimEvent", 276},
    {kFnTransmitClientEvent, "SimConnect_TransmitClientEvent", 36},
    {kFnAddClientEventToNotificationGroup, "SimConnect_AddClientEventToNotificationGroup", 28},
    {kFnSetNotificationGroupPriority, "SimConnect_SetNotificationGroupPriority", 24},
    {kFnAddToDataDefinition, "SimConnect_AddToDataDefinition", 544},
    {kFnRequestDataOnSimObject, "SimConnect_RequestDataOnSimObject", 48},
    {kFnRequestDataOnSimObjectType, "SimConnect_RequestDataOnSimObjectType", 32},
    {kFnSetDataOnSimObject, "SimConnect_SetDataOnSimObject", 0},
    {kFnSubscribeToSystemEvent, "SimConnect_SubscribeToSystemEvent", 276},
    {kFnAICreateNonATCAircraft, "SimConnect_AICreateNonATCAircraft", 344},
    {kFnAIReleaseControl, "SimConnect_AIReleaseControl", 24},
    {kFnAIRemoveObject, "SimConnect_AIRemoveObject", 24},
    {kFnAISetAircraftFlightPlan, "SimConnect_AISetAircraftFlightPlan", 284},
};

const FunctionInfo* lf_findFunction(std::uint32_t number) {
    for (const auto& f : kFunctions) {
        if (f.number == number) return &f;
    }
    return nullptr;
}

// Field readers that also note layout faults on the packet.
class FieldReader {
public:
    FieldReader(const std::uint8_t* bytes, std::size_t size, Packet& packet)
        : bytes_(bytes), size_(size), packet_(packet) {}

    std::uint32_t u32(const char* key, std::size_t offset) {
        std::uint32_t v = readU32(bytes_, size_, offset);
        packet_.fields[key] = v;
        return v;
    }
    double f64(const char* key, std::size_t offset) {
        double v = readF64(bytes_, size_, offset);
        packet_.fields[key] = v;
        return v;
    }
    float f32(const char* key, std::size_t offset) {
        float v = readF32(bytes_, size_, offset);
        packet_.fields[key] = v;
        return v;
    }
    std::string text(const char* key, std::size_t offset, std::size_t width) {
        TextField t = readText(bytes_, size_, offset, width);
        packet_.fields[key] = t.text;
        // The client must refuse a text that does not fit with its NUL and
        // must zero the slot before filling it; either fault shows here.
        if (!t.terminated) {
            packet_.errors.push_back(fmt::format("{}: text without NUL", key));
        } else if (!t.cleanTail) {
            packet_.errors.push_back(fmt::format("{}: bytes after the NUL are not zero", key));
        }
        return t.text;
    }

private:
    const std::uint8_t* bytes_;
    std::size_t size_;
    Packet& packet_;
};

std::string lf_productName(std::uint32_t tag) {
    if (tag == kProductP3D) return "P3D";
    if (tag == kProductFSX) return "FSX";
    return fmt::format("0x{:08X}", tag);
}

void lf_decodeFields(const std::uint8_t* b, std::size_t n, Packet& p) {
    FieldReader r(b, n, p);
    switch (p.function) {
    case kFnOpen: {
        r.text("app_name", 16, 256);
        std::uint32_t reserved = r.u32("reserved", 272);
        std::uint32_t tag = readU32(b, n, 276);
        p.fields["product"] = lf_productName(tag);
        r.u32("version_major", 280);
        r.u32("version_minor", 284);
        r.u32("build_major", 288);
        r.u32("build_minor", 292);
        if (reserved != 0) p.errors.push_back("reserved word at 272 is not 0");
        break;
    }
    case kFnMapClientEventToSimEvent:
        r.u32("event_id", 16);
        r.text("event_name", 20, 256);
        break;
    case kFnTransmitClientEvent:
        r.u32("object_id", 16);
        r.u32("event_id", 20);
        r.u32("data", 24);
        r.u32("group_id", 28);
        r.u32("flags", 32);
        break;
    case kFnAddClientEventToNotificationGroup:
        r.u32("group_id", 16);
        r.u32("event_id", 20);
        r.u32("maskable", 24);
        break;
    case kFnSetNotificationGroupPriority:
        r.u32("group_id", 16);
        r.u32("priority", 20);
        break;
    case kFnAddToDataDefinition:
        r.u32("define_id", 16);
        r.text("datum_name", 20, 256);
        r.text("units_name", 276, 256);
        r.u32("datum_type", 532);
        r.f32("epsilon", 536);
        r.u32("datum_id", 540);
        break;
    case kFnRequestDataOnSimObject:
        r.u32("request_id", 16);
        r.u32("define_id", 20);
        r.u32("object_id", 24);
        r.u32("period", 28);
        r.u32("flags", 32);
        r.u32("origin", 36);
        r.u32("interval", 40);
        r.u32("limit", 44);
        break;
    case kFnRequestDataOnSimObjectType:
        r.u32("request_id", 16);
        r.u32("define_id", 20);
        r.u32("radius_m", 24);
        r.u32("object_type", 28);
        break;
    case kFnSetDataOnSimObject: {
        r.u32("define_id", 16);
        r.u32("object_id", 20);
        r.u32("flags", 24);
        std::uint32_t count = r.u32("count", 28);
        std::uint32_t unit = r.u32("unit_size", 32);
        std::uint64_t expected = 36 + static_cast<std::uint64_t>(count) * unit;
        if (count == 0 || unit == 0 || expected != n) {
            p.sizeOk = false;
            p.errors.push_back(fmt::format("size {} does not match 36 + count {} x unit size {}", n, count, unit));
        }
        if (n > 36) p.data.assign(b + 36, b + n);
        break;
    }
    case kFnSubscribeToSystemEvent:
        r.u32("event_id", 16);
        r.text("event_name", 20, 256);
        break;
    case kFnAICreateNonATCAircraft:
        r.text("title", 16, 256);
        r.text("tail_number", 272, 12);
        r.f64("lat", 284);
        r.f64("lon", 292);
        r.f64("alt_ft", 300);
        r.f64("pitch_deg", 308);
        r.f64("bank_deg", 316);
        r.f64("heading_deg", 324);
        r.u32("on_ground", 332);
        r.u32("airspeed_kt", 336);
        r.u32("request_id", 340);
        break;
    case kFnAIReleaseControl:
    case kFnAIRemoveObject:
        r.u32("object_id", 16);
        r.u32("request_id", 20);
        break;
    case kFnAISetAircraftFlightPlan:
        r.u32("object_id", 16);
        r.text("path", 20, 260);
        r.u32("request_id", 280);
        break;
    default:
        break;
    }
}

}  // namespace

std::string functionName(std::uint32_t function) {
    const FunctionInfo* f = lf_findFunction(function);
    return f ? f->name : "unknown";
}

Packet decodePacket(const std::uint8_t* bytes, std::size_t size) {
    Packet p;
    p.size = readU32(bytes, size, 0);
    p.version = readU32(bytes, size, 4);
    p.packetId = readU32(bytes, size, 8);
    p.sendId = readU32(bytes, size, 12);
    p.function = p.packetId & ~kPacketIdBase;
    if ((p.packetId & kPacketIdBase) != kPacketIdBase) {
        p.errors.push_back(fmt::format("packet id 0x{:08X} lacks the 0xF0000000 base", p.packetId));
        p.function = p.packetId;
    }
    if (p.size != size) {
        p.errors.push_back(fmt::format("size field {} but {} bytes", p.size, size));
    }
    const FunctionInfo* f = (p.packetId & kPacketIdBase) == kPacketIdBase ? lf_findFunction(p.function) : nullptr;
    p.known = f != nullptr;
    p.name = f ? f->name : "unknown";
    if (!f) {
        return p;
    }
    if (f->size != 0 && size != f->size) {
        p.sizeOk = false;
        p.errors.push_back(fmt::format("size {}, expected {}", size, f->size));
    }
    if (p.sendId == 0) {
        p.errors.push_back("send id 0");
    }
    lf_decodeFields(bytes, size, p);
    return p;
}

void PacketFramer::append(const std::uint8_t* bytes, std::size_t size) {
    // What was framed goes before new bytes come in: only the unread tail
    // (less than one packet) moves, so the cost stays linear in the bytes
    // received however much arrives at once.
    if (readPos_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(readPos_));
        readPos_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes, bytes + size);
}

PacketFramer::Result PacketFramer::next(Bytes& out) {
    std::size_t unread = buffer_.size() - readPos_;
    if (unread < 4) {
        return Result::NeedMore;
    }
    std::uint32_t size = readU32(buffer_.data(), buffer_.size(), readPos_);
    if (size < kPacketHeaderSize || size > kMaxPacketSize) {
        badSize_ = size;
        return Result::Bad;
    }
    if (unread < size) {
        return Result::NeedMore;
    }
    auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(readPos_);
    out.assign(first, first + size);
    readPos_ += size;
    return Result::Ready;
}

}  // namespace simstub
