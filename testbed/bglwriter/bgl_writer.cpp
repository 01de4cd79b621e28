#include "bgl_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace bglw {

namespace {

constexpr std::uint32_t kHeaderBytes = 56;
constexpr std::uint32_t kSectionEntryBytes = 20;
constexpr std::uint32_t kSubsectionEntryBytes = 16;
constexpr std::uint16_t kAirportId = 0x003C;
constexpr std::uint16_t kAirportExtendedId = 0x00AB;
constexpr std::uint16_t kNameId = 0x0019;
constexpr std::uint16_t kHelipadId = 0x0026;
constexpr std::uint16_t kParkingId = 0x003D;
constexpr std::uint16_t kParkingExtendedId = 0x00AD;
constexpr std::uint16_t kUnknownId = 0x0033;
constexpr std::uint32_t kHelipadBytes = 36;
constexpr std::uint32_t kParkingEntryBytes = 36;

class Bytes {
public:
    std::size_t size() const { return data_.size(); }
    void u8(std::uint8_t v) { data_.push_back(static_cast<char>(v)); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void f32(float v) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        u32(bits);
    }
    void zeros(std::size_t n) { data_.append(n, '\0'); }
    void text(const std::string& t) { data_ += t; }
    void append(const Bytes& other) { data_ += other.data_; }
    void patch32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) data_[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    const std::string& str() const { return data_; }

private:
    std::string data_;
};

std::uint32_t lf_roundUp4(std::size_t n) { return static_cast<std::uint32_t>((n + 3) / 4 * 4); }

void lf_helipad(Bytes& out, const Helipad& h) {
    out.u16(kHelipadId);
    out.u32(kHelipadBytes);
    out.zeros(6);  // surface, flags, colour
    out.u32(packLon(h.lon_deg));
    out.u32(packLat(h.lat_deg));
    out.i32(0);  // altitude
    out.f32(h.size_m);
    out.f32(h.size_m);
    out.f32(h.hdg_deg);
}

void lf_parkings(Bytes& out, const std::vector<Parking>& parkings, bool extended) {
    Bytes entries;
    for (const Parking& p : parkings) {
        entries.u32((p.nameCode & 0x3F) | ((p.type & 0xF) << 8) | ((p.number & 0xFFF) << 12) |
                    ((p.airlineCodes & 0xFF) << 24));
        entries.f32(p.radius_m);
        entries.f32(p.hdg_deg);
        entries.zeros(16);  // tee offsets
        entries.u32(packLon(p.lon_deg));
        entries.u32(packLat(p.lat_deg));
        if (extended) entries.zeros(4);
        for (std::uint32_t i = 0; i < p.airlineCodes; ++i) entries.text(std::string("BAW\0", 4));
    }
    out.u16(extended ? kParkingExtendedId : kParkingId);
    out.u32(static_cast<std::uint32_t>(8 + entries.size()));
    out.u16(static_cast<std::uint16_t>(parkings.size()));
    out.append(entries);
}

Bytes lf_airportRecord(const Airport& a) {
    Bytes out;
    out.u16(a.extended ? kAirportExtendedId : kAirportId);
    out.u32(0);  // size, patched below
    out.zeros(6);  // subrecord counts
    const Helipad* anchor = a.helipads.empty() ? nullptr : &a.helipads.front();
    out.u32(packLon(anchor ? anchor->lon_deg : 0.0));
    out.u32(packLat(anchor ? anchor->lat_deg : 0.0));
    out.i32(a.alt_mm);
    out.zeros(16);  // tower position, magnetic variation
    out.u32(a.rawIdent ? *a.rawIdent : packIdent(a.ident));
    out.zeros(a.extended ? 16 : 12);  // region, fuel, flags
    if (a.unknownSubrecordBytes > 0) {
        const std::uint32_t bytes = std::max<std::uint32_t>(8, lf_roundUp4(a.unknownSubrecordBytes));
        out.u16(kUnknownId);
        out.u32(bytes);
        out.zeros(bytes - 6);
    }
    for (const Name& n : a.names) {
        const std::uint32_t padded = lf_roundUp4(6 + n.text.size());
        out.u16(kNameId);
        out.u32(n.rawSize ? *n.rawSize : padded);
        out.text(n.text);
        out.zeros(padded - 6 - n.text.size());
    }
    for (const Helipad& h : a.helipads) lf_helipad(out, h);
    if (!a.parkings.empty()) lf_parkings(out, a.parkings, a.extended);
    for (const Helipad& h : a.lateHelipads) lf_helipad(out, h);
    out.patch32(2, static_cast<std::uint32_t>(out.size()));
    return out;
}

}  // namespace

std::uint32_t packLat(double lat_deg) {
    return static_cast<std::uint32_t>(std::llround((90.0 - lat_deg) * 536870912.0 / 180.0));
}

std::uint32_t packLon(double lon_deg) {
    return static_cast<std::uint32_t>(std::llround((lon_deg + 180.0) * 805306368.0 / 360.0));
}

std::uint32_t packIdent(const std::string& ident) {
    std::uint32_t value = 0;
    for (char c : ident) {
        std::uint32_t digit = 0;
        if (c == ' ') digit = 0;
        else if (c == '?') digit = 1;
        else if (c >= '0' && c <= '9') digit = 2 + static_cast<std::uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'Z') digit = 12 + static_cast<std::uint32_t>(c - 'A');
        else if (c >= 'a' && c <= 'z') digit = 12 + static_cast<std::uint32_t>(c - 'a');
        else throw std::invalid_argument("packIdent: bad character in " + ident);
        value = value * 38 + digit;
    }
    if (value >= (1u << 27)) throw std::invalid_argument("packIdent: too long: " + ident);
    return value << 5;
}

std::string encode(const File& file) {
    const std::uint32_t n = static_cast<std::uint32_t>(file.sections.size());
    std::uint32_t offset = kHeaderBytes + kSectionEntryBytes * n;
    Bytes table;
    Bytes body;
    for (const Section& s : file.sections) {
        std::vector<Bytes> chunks;
        if (s.type == 3) {
            for (const Airport& a : s.airports) chunks.push_back(lf_airportRecord(a));
        } else {
            Bytes filler;
            for (std::uint32_t i = 0; i < s.fillerBytes / 4; ++i) filler.u32(0x00030003u + i);
            chunks.push_back(filler);
        }
        const std::uint32_t subCount = static_cast<std::uint32_t>(chunks.size());
        const std::uint32_t subTable = offset;
        table.u32(s.type);
        table.u32(s.flags);
        table.u32(subCount);
        table.u32(subTable);
        table.u32(subCount * kSubsectionEntryBytes);
        std::uint32_t data = subTable + subCount * kSubsectionEntryBytes;
        for (const Bytes& c : chunks) {
            body.u32(0x00010000);  // subsection id
            body.u32(1);           // records
            body.u32(data);
            body.u32(static_cast<std::uint32_t>(c.size()));
            data += static_cast<std::uint32_t>(c.size());
        }
        for (const Bytes& c : chunks) body.append(c);
        offset = data;
    }
    Bytes out;
    out.u32(0x19920201);
    out.u32(file.rawHeaderSize ? *file.rawHeaderSize : kHeaderBytes);
    out.zeros(12);
    out.u32(file.rawSectionCount ? *file.rawSectionCount : n);
    out.zeros(32);
    out.append(table);
    out.append(body);
    return out.str();
}

std::string encodeAirports(const std::vector<Airport>& airports) {
    File file;
    Section section;
    section.airports = airports;
    file.sections.push_back(section);
    return encode(file);
}

bool writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace bglw
