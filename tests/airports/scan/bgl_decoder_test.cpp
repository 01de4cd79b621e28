#include "airports/bgl_decoder.h"
#include "airports/scan_log.h"

#include "../work_folder.h"
#include "bgl_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

namespace {

using airports_test::WorkFolder;
namespace fs = std::filesystem;

const KnownAirportCheck kKnown = [](const std::string& code) {
    static const std::set<std::string> known = {"EGLL", "EHAM", "SLLP", "LFPG", "KJFK"};
    return known.count(code) > 0;
};

constexpr double kTwoPi = 6.283185307179586;
constexpr double kDeg = 0.017453292519943295;

bglw::Parking park(std::uint32_t code, std::uint32_t number, std::uint32_t type, double lat, double lon,
                   float radius_m = 20.0f, float hdg_deg = 90.0f, std::uint32_t airlines = 0) {
    bglw::Parking p;
    p.nameCode = code;
    p.number = number;
    p.type = type;
    p.lat_deg = lat;
    p.lon_deg = lon;
    p.radius_m = radius_m;
    p.hdg_deg = hdg_deg;
    p.airlineCodes = airlines;
    return p;
}

class BglDecoderTest : public WorkFolder {
protected:
    void SetUp() override {
        WorkFolder::SetUp();
        gf_startScanLog();
    }
    std::vector<DecodedAirport> decode(const std::string& bytes) {
        writeFile("t.bgl", bytes);
        return gf_decodeBglAirports("t.bgl", kKnown);
    }
    std::vector<DecodedAirport> decodeOne(const bglw::Airport& airport) { return decode(bglw::encodeAirports({airport})); }
    static std::string scanLog() {
        std::string all;
        for (const auto& line : gf_scanLogLines()) all += line + "\n";
        return all;
    }
};

struct StandRow {
    bglw::Parking parking;
    const char* id;  // nullptr: no stand
    bool cargo;
    bool ramp;
};

// Every field the encoder writes comes back, in both record layouts; entries
// with airline codes do not shift the ones after them.
TEST_F(BglDecoderTest, DecodesWhatTheEncoderWrote) {
    const std::vector<StandRow> rows = {
        {park(10, 12, 4, 51.470001, -0.454001, 30.0f, 181.5f), "g12", false, true},
        {park(12, 3, 5, 51.471002, -0.455002, 45.5f, 0.0f, 3), "A3", true, true},
        {park(0, 7, 9, 51.472003, -0.456003), "7", false, false},
        {park(11, 8, 14, -33.946, 151.177), "8", false, true},
        {park(37, 4095, 15, 51.4731, -0.4571), "Z4095", false, false},
        {park(50, 1, 11, 51.4741, -0.4581), "1", false, false},
        {park(2, 9, 0, 51.47, -0.45), nullptr, false, false},
        {park(2, 9, 12, 51.47, -0.45), nullptr, false, false},
        {park(2, 9, 13, 51.47, -0.45), nullptr, false, false},
        {park(2, 9, 6, 51.4751, -0.4591, 1.01f), "p9", false, true},
        {park(2, 9, 7, 51.4761, -0.4601, 199.9f), "p9a", false, true},
        {park(2, 10, 1, 51.47, -0.45, 1.0f), nullptr, false, false},
        {park(2, 10, 1, 51.47, -0.45, 200.0f), nullptr, false, false},
        {park(2, 11, 1, 0.00005, 0.00005), nullptr, false, false},
        {park(2, 11, 1, 0.00005, 10.0), "p11", false, true},
    };
    for (const bool extended : {false, true}) {
        SCOPED_TRACE(extended ? "0x00AB" : "0x003C");
        bglw::Airport a;
        a.ident = "EGLL";
        a.extended = extended;
        a.alt_mm = 25000;
        a.names = {{"London Heathrow", {}}};
        a.unknownSubrecordBytes = 24;
        a.helipads = {{51.4701, -0.4601, 30.0f, 0.0f}, {51.4701, -0.4601, 10.0f, 5.0f}, {51.4702, -0.4602, 12.0f, 45.0f}};
        for (const auto& row : rows) a.parkings.push_back(row.parking);
        a.lateHelipads = {{51.48, -0.47, 20.0f, 0.0f}};
        gf_startScanLog();
        const auto decoded = decodeOne(a);
        ASSERT_EQ(decoded.size(), 1u);
        const AirportFile& f = decoded[0].airport;
        EXPECT_EQ(f.code, "EGLL");
        EXPECT_EQ(f.airport_name, "London Heathrow");
        EXPECT_EQ(f.altitude, 82);
        EXPECT_EQ(decoded[0].helipadCounter, 3);

        std::vector<const Stand*> parkings;
        ASSERT_GE(f.stands.size(), 2u);
        EXPECT_EQ(f.stands[0].id, "helipad1");
        EXPECT_TRUE(f.stands[0].heli);
        EXPECT_DOUBLE_EQ(f.stands[0].heading, kTwoPi);
        EXPECT_NEAR(f.stands[0].radius, 0.008099352051835854, 1e-12);
        EXPECT_EQ(f.stands[1].id, "helipad2");
        EXPECT_NEAR(f.stands[1].heading, 45.0 * kDeg, 1e-9);
        for (std::size_t i = 2; i < f.stands.size(); ++i) parkings.push_back(&f.stands[i]);
        std::size_t next = 0;
        for (const auto& row : rows) {
            if (row.id == nullptr) continue;
            SCOPED_TRACE(row.id);
            ASSERT_LT(next, parkings.size());
            const Stand& s = *parkings[next++];
            EXPECT_EQ(s.id, row.id);
            EXPECT_NEAR(s.latitude, row.parking.lat_deg, 1e-6);
            EXPECT_NEAR(s.longitude, row.parking.lon_deg, 1e-6);
            EXPECT_NEAR(s.heading, row.parking.hdg_deg == 0.0f ? kTwoPi : row.parking.hdg_deg * kDeg, 1e-6);
            EXPECT_NEAR(s.radius * 1852.0, row.parking.radius_m, 1e-4);
            EXPECT_EQ(s.cargo, row.cargo);
            EXPECT_EQ(s.ramp, row.ramp);
            EXPECT_FALSE(s.heli);
            EXPECT_TRUE(s.options.empty());
        }
        EXPECT_EQ(next, parkings.size());
        const std::string log = scanLog();
        EXPECT_NE(log.find("double helipad London Heathrow (skipped) 51.470100,-0.460100"), std::string::npos) << log;
        EXPECT_NE(log.find("Skipped position with radius 1.0 m in"), std::string::npos) << log;
        EXPECT_NE(log.find("Skipped position with radius 200.0 m in"), std::string::npos) << log;
        EXPECT_NE(log.find("LatLon 0.000050,0.000050 invalid (skipped)"), std::string::npos) << log;
    }
}

struct AirportRow {
    const char* what;
    std::function<void(bglw::Airport&)> change;
    const char* name;
    std::int32_t alt_ft;
    std::vector<std::string> ids;
    const char* scanLogPart;  // "" when nothing is expected
};

TEST_F(BglDecoderTest, AirportEdgeCases) {
    std::vector<bglw::Parking> twelveG1(12, park(10, 1, 1, 40.0, 10.0));
    for (std::size_t i = 0; i < twelveG1.size(); ++i) twelveG1[i].lat_deg += 0.001 * static_cast<double>(i);
    const std::vector<AirportRow> rows = {
        {"-3000 mm", [](auto& a) { a.alt_mm = -3000; }, "N", -10, {}, ""},
        {"-10000 mm kept", [](auto& a) { a.alt_mm = -10000; }, "N", -33, {}, ""},
        {"La Paz 4061 m", [](auto& a) { a.alt_mm = 4061000; }, "N", 13323, {}, ""},
        {"above 15000 ft", [](auto& a) { a.alt_mm = 4600000; }, "N", 0, {}, ""},
        {"below -1500 ft", [](auto& a) { a.alt_mm = -500000; }, "N", 0, {}, ""},
        {"two equal names", [](auto& a) { a.names = {{"Same", {}}, {"Same", {}}}; }, "Same", 0, {}, ""},
        {"two names differ", [](auto& a) { a.names = {{"One", {}}, {"Two", {}}}; }, "", 0, {}, ""},
        {"name of 50 bytes", [](auto& a) { a.names = {{std::string(50, 'x'), {}}}; }, "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", 0, {}, ""},
        {"name size 6", [](auto& a) { a.names = {{"", 6}}; }, "", 0, {}, ""},
        {"UTF-8 name", [](auto& a) { a.names = {{"Z\xc3\xbcrich", {}}}; }, "Z\xc3\xbcrich", 0, {}, ""},
        {"code page 1252 name", [](auto& a) { a.names = {{"Z\xfcrich \x96 Kloten", {}}}; }, "Z\xc3\xbcrich \xe2\x80\x93 Kloten", 0, {}, ""},
        {"twelve g1", [&](auto& a) { a.parkings = twelveG1; }, "N", 0,
         {"g1", "g1a", "g1b", "g1c", "g1d", "g1e", "g1f", "g1g", "g1h", "g1i", "g1j"},
         "===> Warning: more than 10 duplicate IDs g1 in"},
        {"helipad at 0/0", [](auto& a) { a.helipads = {{0.0, 0.0, 20.0f, 0.0f}}; }, "N", 0, {},
         "lat/lon helipad incorrect (skipped): 0.000000,0.000000"},
        {"helipads after parkings", [](auto& a) {
             a.parkings = {park(10, 1, 1, 40.0, 10.0)};
             a.lateHelipads = {{40.1, 10.1, 20.0f, 0.0f}};
         }, "N", 0, {"g1"}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        bglw::Airport a;
        a.ident = "LFPG";
        a.names = {{"N", {}}};
        row.change(a);
        gf_startScanLog();
        const auto decoded = decodeOne(a);
        ASSERT_EQ(decoded.size(), 1u);
        EXPECT_EQ(decoded[0].airport.airport_name, row.name);
        EXPECT_EQ(decoded[0].airport.altitude, row.alt_ft);
        std::vector<std::string> ids;
        for (const auto& s : decoded[0].airport.stands) ids.push_back(s.id);
        EXPECT_EQ(ids, row.ids);
        EXPECT_NE(scanLog().find(row.scanLogPart), std::string::npos) << scanLog();
    }
}

struct FileRow {
    const char* what;
    std::function<std::string()> bytes;
    std::vector<std::string> codes;
    const char* scanLogPart;
};

TEST_F(BglDecoderTest, FilesAndSectionsThatCarryNoAirport) {
    auto airport = [](const char* ident) {
        bglw::Airport a;
        a.ident = ident;
        a.parkings = {park(10, 1, 1, 40.0, 10.0)};
        return a;
    };
    auto file = [&](std::function<void(bglw::File&)> change) {
        return [=] {
            bglw::File f;
            bglw::Section other;
            other.type = 0x65;
            f.sections = {other, bglw::Section{}};
            f.sections[1].airports = {airport("EHAM"), airport("KJFK")};
            change(f);
            return bglw::encode(f);
        };
    };
    // A name subrecord appended after the last record of the file: a walk
    // that is not bounded by its record or its section would take it.
    auto trailingName = [&] {
        bglw::Airport a = airport("EHAM");
        std::string bytes = bglw::encodeAirports({a});
        bytes += std::string("\x19\x00\x10\x00\x00\x00Trailing\x00\x00", 16);
        return bytes;
    };
    const std::vector<FileRow> rows = {
        {"two sections", file([](auto&) {}), {"EHAM", "KJFK"}, ""},
        {"header size 60", file([](auto& f) { f.rawHeaderSize = 60; }), {}, ""},
        {"no sections", file([](auto& f) { f.rawSectionCount = 0; }), {}, ""},
        {"section table past the end", file([](auto& f) { f.rawSectionCount = 100000; }), {}, ""},
        {"subsection flag bit 16", file([](auto& f) { f.sections[1].flags = 0x10000; }), {}, ""},
        {"unknown code", file([&](auto& f) { f.sections[1].airports = {airport("ZZZZ")}; }), {},
         "ZZZZ is not an airport supported by RealTraffic "},
        {"three letters", file([&](auto& f) { f.sections[1].airports = {airport("LHR")}; }), {}, ""},
        {"ident with blank", file([&](auto& f) {
             auto a = airport("EHAM");
             a.rawIdent = bglw::packIdent("E AM");
             f.sections[1].airports = {a};
         }), {}, ""},
        {"name beyond the record", trailingName, {"EHAM"}, ""},
        {"one parking too many in the first airport", file([](auto&) {}), {"KJFK"},
         "===> EHAM skipped, its airport record at byte"},
        {"empty file", [] { return std::string(); }, {}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        gf_startScanLog();
        std::string bytes = row.bytes();
        if (std::string(row.what).starts_with("one parking too many")) {
            // The parking subrecord (id 0x3D, 44 bytes) of the first airport
            // counts one entry more than it holds.
            const std::size_t at = bytes.find(std::string("\x3D\x00\x2C\x00\x00\x00\x01\x00", 8));
            ASSERT_NE(at, std::string::npos);
            bytes[at + 6] = 2;
        }
        const auto decoded = decode(bytes);
        std::vector<std::string> codes;
        for (const auto& d : decoded) {
            codes.push_back(d.airport.code);
            EXPECT_EQ(d.airport.airport_name, "");
        }
        EXPECT_EQ(codes, row.codes);
        EXPECT_NE(scanLog().find(row.scanLogPart), std::string::npos);
        EXPECT_EQ(lf_bglHasAirportSection("t.bgl"), !std::string(row.what).starts_with("empty") &&
                                                        std::string(row.what) != "no sections" &&
                                                        std::string(row.what) != "section table past the end");
    }
}

// Damaged copies of a good file: every one is decoded or refused without a
// read outside the file (the sanitizers watch), and without an exception
// other than the out-of-range error of a structure cut short.
TEST_F(BglDecoderTest, DamagedFilesNeverReadOutsideThem) {
    bglw::Airport a;
    a.ident = "EHAM";
    a.extended = true;
    a.names = {{"Schiphol", {}}};
    a.helipads = {{52.3, 4.76, 20.0f, 10.0f}};
    for (std::uint32_t i = 0; i < 20; ++i) a.parkings.push_back(park(10, i, 1, 52.3 + i * 0.001, 4.76, 20.0f, 0.0f, i % 3));
    const std::string good = bglw::encodeAirports({a, a});
    std::mt19937 random(20261207);
    for (int round = 0; round < 400; ++round) {
        std::string bytes = good;
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) bytes[random() % bytes.size()] = static_cast<char>(random());
        if (round % 5 == 0) bytes.resize(random() % bytes.size());
        try {
            decode(bytes);
        } catch (const std::out_of_range&) {
        }
    }
}

}  // namespace
