// Encoder of scenery .bgl files in the layout the program's decoder reads:
// file header, section table, subsection tables, airport records (0x003C and
// the extended 0x00AB) with name, helipad and parking subrecords, packed
// coordinates and idents. Our own test tool: everything not needed to carry
// airports and stands is written as zeros.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bglw {

struct Helipad {
    double lat_deg = 0.0;
    double lon_deg = 0.0;
    float size_m = 20.0f;
    float hdg_deg = 0.0f;
};

struct Parking {
    std::uint32_t nameCode = 0;  // 0..63: prefix code ("g" is 10, "A" is 12)
    std::uint32_t number = 0;    // 0..4095
    std::uint32_t type = 1;      // 0..15: 5 is cargo, 1..7 and 14 ramp
    float radius_m = 20.0f;
    float hdg_deg = 0.0f;
    double lat_deg = 0.0;
    double lon_deg = 0.0;
    std::uint32_t airlineCodes = 0;  // each adds 4 bytes to the entry
};

// One name subrecord. rawSize, when set, is written as the subrecord's size
// in place of the real one (the text is still written, padded to 4 bytes).
struct Name {
    std::string text;
    std::optional<std::uint16_t> rawSize;
};

struct Airport {
    std::string ident;                      // packed base-38 ("EGLL")
    std::optional<std::uint32_t> rawIdent;  // written as is, in place of ident
    bool extended = false;                  // record 0x00AB with 0x00AD parkings
    std::int32_t alt_mm = 0;
    std::vector<Name> names;
    std::vector<Helipad> helipads;
    std::vector<Parking> parkings;
    // Written after the parking subrecord (the decoder must not read them).
    std::vector<Helipad> lateHelipads;
    // An unknown subrecord of this many bytes before the others (0: none).
    std::uint32_t unknownSubrecordBytes = 0;
};

struct Section {
    std::uint32_t type = 3;  // 3 holds airports; others carry filler bytes
    std::uint32_t flags = 0x40000;
    std::vector<Airport> airports;  // each in its own subsection
    std::uint32_t fillerBytes = 64;  // for sections of other types
};

struct File {
    std::vector<Section> sections;
    std::optional<std::uint32_t> rawHeaderSize;  // word 1, 56 unless set
    std::optional<std::uint32_t> rawSectionCount;
};

std::uint32_t packLat(double lat_deg);
std::uint32_t packLon(double lon_deg);
// Blank, "?", digits and letters; throws std::invalid_argument otherwise.
std::uint32_t packIdent(const std::string& ident);

// The file's bytes.
std::string encode(const File& file);
// A file with one airport section holding the airports.
std::string encodeAirports(const std::vector<Airport>& airports);
bool writeFile(const std::string& path, const std::string& bytes);

}  // namespace bglw
