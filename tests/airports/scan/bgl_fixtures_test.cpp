// The decoder against a .bgl file assembled by hand from the format's
// tables, not by our own encoder: one listing line per field, its byte
// offset at the end of the line. Two airport sections' records are not back
// to back (bytes of no record lie between the subsections), a name is not
// padded to a whole word, so everything after it starts between words, and
// the file's length is no multiple of 4.
#include "airports/bgl_decoder.h"
#include "airports/scan_log.h"

#include "../work_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using airports_test::WorkFolder;

struct Field {
    const char* hex;  // bytes in file order; "00*n" is n zero bytes
    const char* meaning;
};

// clang-format off
const std::vector<Field> kTwoAirports = {
        {"01 02 92 19", "file header: (not read)"},  // 0
        {"38 00 00 00", "  header size 56"},  // 4
        {"00*12", "  (not read)"},  // 8
        {"02 00 00 00", "  2 sections"},  // 20
        {"00*32", "  (not read)"},  // 24
        {"65 00 00 00", "section 1: type 0x65 (not airports)"},  // 56
        {"00 00 04 00", "  subsection flags"},  // 60
        {"00 00 00 00", "  0 subsections"},  // 64
        {"00 00 00 00", "  table offset"},  // 68
        {"00 00 00 00", "  (not read)"},  // 72
        {"03 00 00 00", "section 2: type 3 (airports)"},  // 76
        {"00 00 04 00", "  subsection flags: 16-byte entries"},  // 80
        {"02 00 00 00", "  2 subsections"},  // 84
        {"60 00 00 00", "  subsection table at byte 96"},  // 88
        {"20 00 00 00", "  (not read)"},  // 92
        {"00 00 00 00", "subsection 1: (not read)"},  // 96
        {"01 00 00 00", "  1 record"},  // 100
        {"80 00 00 00", "  records at byte 128"},  // 104
        {"93 00 00 00", "  147 bytes"},  // 108
        {"00 00 00 00", "subsection 2: (not read)"},  // 112
        {"01 00 00 00", "  1 record"},  // 116
        {"1B 01 00 00", "  records at byte 283"},  // 120
        {"A6 00 00 00", "  166 bytes"},  // 124
        {"3C 00", "airport: id 0x003C"},  // 128
        {"93 00 00 00", "  size 147"},  // 130
        {"00*14", "  (not read)"},  // 134
        {"D4 62 00 00", "  altitude 25300 mm (83 ft)"},  // 148
        {"00*16", "  (not read)"},  // 152
        {"20 D1 B9 01", "  packed ident EGLL"},  // 168
        {"00*12", "  (not read)"},  // 172
        {"19 00", "name: id 0x0019"},  // 184
        {"0B 00 00 00", "  size 11: the name is not padded to a word"},  // 186
        {"41 6C 70 68 61", "  'Alpha'"},  // 190
        {"26 00", "helipad: id 0x0026"},  // 195
        {"24 00 00 00", "  size 36"},  // 197
        {"00 00 00 00 00 00", "  (not read)"},  // 201
        {"D7 A3 F0 17", "  packed longitude (-0.45)"},  // 207
        {"09 8B D9 06", "  packed latitude (51.47)"},  // 211
        {"00 00 00 00", "  altitude (not read)"},  // 215
        {"00 00 48 42", "  length 50.0 m (not read)"},  // 219
        {"00 00 F0 41", "  width 30.0 m: the helipad's size"},  // 223
        {"00 00 B4 42", "  heading 90.0 degrees"},  // 227
        {"3D 00", "parkings: id 0x003D"},  // 231
        {"2C 00 00 00", "  size 44"},  // 233
        {"01 00", "  1 entry"},  // 237
        {"0A 71 00 00", "  entry 1 flags: name code 10 (g), type 1 (ramp), number 7, no airline codes"},  // 239
        {"00 00 A0 41", "  radius 20.0 m"},  // 243
        {"00 00 34 43", "  heading 180.0 degrees"},  // 247
        {"00*16", "  (not read)"},  // 251
        {"75 4C F0 17", "  packed longitude (-0.46)"},  // 267
        {"63 7F D9 06", "  packed latitude (51.471)"},  // 271
        {"FF FF FF FF FF FF FF FF", "bytes between the subsections: no record"},  // 275
        {"AB 00", "airport: id 0x00AB (extended)"},  // 283
        {"A6 00 00 00", "  size 166"},  // 285
        {"00*14", "  (not read)"},  // 289
        {"48 F4 FF FF", "  altitude -3000 mm (-10 ft)"},  // 303
        {"00*16", "  (not read)"},  // 307
        {"80 51 BA 01", "  packed ident EHAM"},  // 323
        {"00*16", "  (not read; the extended record is 4 bytes longer)"},  // 327
        {"19 00", "name: id 0x0019"},  // 343
        {"0E 00 00 00", "  size 14: not a whole number of words"},  // 345
        {"53 63 68 69 70 68 6F 6C", "  'Schiphol'"},  // 349
        {"AD 00", "parkings: id 0x00AD"},  // 357
        {"5C 00 00 00", "  size 92"},  // 359
        {"02 00", "  2 entries"},  // 363
        {"0C 35 00 01", "  entry 1 flags: name code 12 (A), type 5 (cargo), number 3, 1 airline code"},  // 365
        {"00 00 F0 41", "  radius 30.0 m"},  // 369
        {"00 00 87 43", "  heading 270.0 degrees"},  // 373
        {"00*16", "  (not read)"},  // 377
        {"84 79 A2 18", "  packed longitude (4.76)"},  // 393
        {"D6 C4 B3 06", "  packed latitude (52.30)"},  // 397
        {"00 00 00 00", "  extended entry word (not read)"},  // 401
        {"4B 4C 4D 00", "  airline code (not read)"},  // 405
        {"00 CE 00 00", "  entry 2 flags: name code 0 (no prefix), type 14 (ramp), number 12"},  // 409
        {"00 00 78 41", "  radius 15.5 m"},  // 413
        {"00 00 00 00", "  heading 0.0 degrees"},  // 417
        {"00*16", "  (not read)"},  // 421
        {"E5 D0 A2 18", "  packed longitude (4.77)"},  // 437
        {"54 50 B3 06", "  packed latitude (52.31)"},  // 441
        {"00 00 00 00", "  extended entry word (not read)"},  // 445
};
// clang-format on

std::string lf_assemble(const std::vector<Field>& fields) {
    std::string bytes;
    for (const Field& f : fields) {
        const std::string hex = f.hex;
        if (hex.rfind("00*", 0) == 0) {
            bytes.append(static_cast<std::size_t>(std::stoul(hex.substr(3))), '\0');
            continue;
        }
        for (std::size_t i = 0; i < hex.size(); i += 3) {
            bytes += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
        }
    }
    return bytes;
}

struct FixtureStand {
    const char* id;
    double lat, lon, heading_deg, radius_m;
    bool cargo, ramp, heli;
};

class BglFixture : public WorkFolder {};

TEST_F(BglFixture, AHandAssembledFileDecodesAsItsTablesSay) {
    const std::string bytes = lf_assemble(kTwoAirports);
    ASSERT_EQ(bytes.size(), 449u);
    writeFile("hand.bgl", bytes);
    gf_startScanLog();
    ASSERT_TRUE(lf_bglHasAirportSection("hand.bgl"));
    const auto decoded = gf_decodeBglAirports("hand.bgl", [](const std::string& code) {
        return code == "EGLL" || code == "EHAM";
    });
    ASSERT_EQ(decoded.size(), 2u);
    struct AirportRow {
        const char* code;
        const char* name;
        int alt_ft;
        std::vector<FixtureStand> stands;
    };
    const AirportRow rows[] = {
        {"EGLL", "Alpha", 83,
         {{"helipad1", 51.47, -0.45, 90.0, 15.0, false, false, true},
          {"g7", 51.471, -0.46, 180.0, 20.0, false, true, false}}},
        {"EHAM", "Schiphol", -10,
         {{"A3", 52.30, 4.76, 270.0, 30.0, true, true, false},
          {"12", 52.31, 4.77, 360.0, 15.5, false, true, false}}},
    };
    for (std::size_t i = 0; i < 2; ++i) {
        const AirportFile& a = decoded[i].airport;
        const AirportRow& row = rows[i];
        SCOPED_TRACE(row.code);
        EXPECT_EQ(a.code, row.code);
        EXPECT_EQ(a.airport_name, row.name);
        EXPECT_EQ(a.altitude, row.alt_ft);
        ASSERT_EQ(a.stands.size(), row.stands.size());
        for (std::size_t k = 0; k < row.stands.size(); ++k) {
            const Stand& s = a.stands[k];
            const FixtureStand& want = row.stands[k];
            EXPECT_EQ(s.id, want.id);
            EXPECT_NEAR(s.latitude, want.lat, 1e-6) << want.id;
            EXPECT_NEAR(s.longitude, want.lon, 1e-6) << want.id;
            EXPECT_NEAR(s.heading, want.heading_deg * 0.017453292519943295, 1e-9) << want.id;
            EXPECT_NEAR(s.radius * 1852.0, want.radius_m, 1e-6) << want.id;
            EXPECT_EQ(s.cargo, want.cargo) << want.id;
            EXPECT_EQ(s.ramp, want.ramp) << want.id;
            EXPECT_EQ(s.heli, want.heli) << want.id;
        }
    }
    EXPECT_TRUE(gf_scanLogLines().empty());
}

}  // namespace
