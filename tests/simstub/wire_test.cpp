// The stand-in's encoding of server messages, its packing of data
// definitions, and its decoding and framing of client packets.
#include "simstub/datums.h"
#include "simstub/packets.h"
#include "simstub/wire.h"
#include "simstub/world.h"
#include "simstub/client_bytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using namespace simstub;
namespace t = simstub_test;

t::Message lf_msg(const Bytes& b) { return t::Message{b}; }

TEST(SimstubMessages, FixedLayoutsCarrySizeEchoedVersionAndFields) {
    AppVersion app{5, 3, 17, 28160};
    auto open = lf_msg(encodeOpen(4, "Lockheed Martin\xAE Prepar3D\xAE v5", app, AppVersion{1, 2, 3, 4}));
    EXPECT_EQ(open.bytes.size(), 308u);
    EXPECT_EQ(open.size(), 308u);
    EXPECT_EQ(open.version(), 4u);
    EXPECT_EQ(open.id(), 2u);
    EXPECT_EQ(open.text(12, 256), "Lockheed Martin\xAE Prepar3D\xAE v5");
    EXPECT_EQ(open.u32(268), 5u);
    EXPECT_EQ(open.u32(272), 3u);
    EXPECT_EQ(open.u32(276), 17u);
    EXPECT_EQ(open.u32(280), 28160u);
    EXPECT_EQ(open.u32(284), 1u);
    EXPECT_EQ(open.u32(296), 4u);
    EXPECT_EQ(open.u32(300), 0u);
    EXPECT_EQ(open.u32(304), 0u);

    struct Row {
        const char* what;
        Bytes bytes;
        std::uint32_t size;
        std::uint32_t id;
    };
    const Row rows[] = {
        {"exception", encodeException(35, 22, 77, 3), 24, 1},
        {"quit", encodeQuit(35), 12, 3},
        {"event 24", encodeEvent(35, kSystemEventGroup, 201, 1, 24), 24, 4},
        {"event 28", encodeEvent(35, kSystemEventGroup, 201, 1, 28), 28, 4},
        {"add/remove", encodeObjectAddRemove(35, 202, 101, 3), 28, 5},
        {"filename", encodeFilename(35, 206, "a.fxml", 0), 288, 6},
        {"frame", encodeFrame(35, 204, 30.0f, 1.0f), 32, 7},
        {"assigned id", encodeAssignedObjectId(35, 104, 101), 20, 12},
    };
    for (const auto& r : rows) {
        auto m = lf_msg(r.bytes);
        EXPECT_EQ(m.bytes.size(), r.size) << r.what;
        EXPECT_EQ(m.size(), r.size) << r.what;
        EXPECT_EQ(m.version(), 35u) << r.what;
        EXPECT_EQ(m.id(), r.id) << r.what;
    }
    auto ex = lf_msg(rows[0].bytes);
    EXPECT_EQ(ex.u32(12), 22u);
    EXPECT_EQ(ex.u32(16), 77u);
    EXPECT_EQ(ex.u32(20), 3u);
    auto ev = lf_msg(rows[3].bytes);
    EXPECT_EQ(ev.u32(12), 0xFFFFFFFFu);
    EXPECT_EQ(ev.u32(16), 201u);
    EXPECT_EQ(ev.u32(20), 1u);
    EXPECT_EQ(ev.u32(24), 0u);
    auto ar = lf_msg(rows[4].bytes);
    EXPECT_EQ(ar.u32(20), 101u);
    EXPECT_EQ(ar.u32(24), 3u);
    auto fn = lf_msg(rows[5].bytes);
    EXPECT_EQ(fn.text(24, 260), "a.fxml");
    EXPECT_EQ(fn.u32(284), 0u);
    auto fr = lf_msg(rows[6].bytes);
    EXPECT_FLOAT_EQ(fr.f32(24), 30.0f);
    EXPECT_FLOAT_EQ(fr.f32(28), 1.0f);
    auto as = lf_msg(rows[7].bytes);
    EXPECT_EQ(as.u32(12), 104u);
    EXPECT_EQ(as.u32(16), 101u);
}

DatumDef lf_datum(const char* name, const char* units, std::uint32_t type) {
    DatumDef d;
    d.name = name;
    d.units = units;
    d.type = type;
    d.ref = *findVariable(name);
    return d;
}

TEST(SimstubPacking, UntaggedValuesTakeTheirTypesWidthWithoutAlignment) {
    struct Row {
        const char* what;
        DatumDef datum;
        Value value;
        Bytes expected;
    };
    auto text = [](const std::string& s, std::size_t width) {
        Bytes b(s.begin(), s.end());
        b.resize(width, 0);
        return b;
    };
    const Row rows[] = {
        {"INT64", lf_datum("SIM ON GROUND", "Bool", kDatumInt64), 1.0, Bytes{1, 0, 0, 0, 0, 0, 0, 0}},
        {"INT32", lf_datum("ZULU YEAR", "Number", kDatumInt32), 2024.0, Bytes{0xE8, 0x07, 0, 0}},
        // Numbers a client set: NaN and values out of range must not reach a
        // plain integer cast.
        {"INT64 NaN", lf_datum("LIGHT STATES", "Mask", kDatumInt64), std::nan(""), Bytes(8, 0)},
        {"INT64 too large", lf_datum("LIGHT STATES", "Mask", kDatumInt64), 1e300,
         Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}},
        {"INT32 too small", lf_datum("ZULU YEAR", "Number", kDatumInt32), -1e12, Bytes{0, 0, 0, 0x80}},
        {"STRING32 short", lf_datum("ATC ID", "", kDatumString32), std::string("DLH4AB"), text("DLH4AB", 32)},
        {"STRING32 long keeps its NUL", lf_datum("ATC ID", "", kDatumString32), std::string(40, 'Q'),
         text(std::string(31, 'Q'), 32)},
        {"STRINGV empty", lf_datum("TITLE", "", kDatumStringV), std::string(), Bytes{0, 0, 0, 0}},
        {"STRINGV 3", lf_datum("TITLE", "", kDatumStringV), std::string("abc"), text("abc", 4)},
        {"STRINGV 4", lf_datum("TITLE", "", kDatumStringV), std::string("abcd"), text("abcd", 8)},
        {"STRINGV 7", lf_datum("TITLE", "", kDatumStringV), std::string("abcdefg"), text("abcdefg", 8)},
    };
    for (const auto& r : rows) {
        Bytes out;
        packDatum(out, r.datum, r.value);
        EXPECT_EQ(out, r.expected) << r.what;
    }
    // FLOAT64 directly after a 4-byte value: no padding in between.
    Bytes out;
    packDatum(out, lf_datum("ZULU YEAR", "Number", kDatumInt32), 1.0);
    packDatum(out, lf_datum("Plane Altitude", "feet", kDatumFloat64), 1234.5);
    ASSERT_EQ(out.size(), 12u);
    EXPECT_DOUBLE_EQ(t::getF64(out, 4), 1234.5);
}

TEST(SimstubPacking, ConvertsTheUnitsTheClientAskedFor) {
    struct Row {
        const char* name;
        const char* units;
        double stored;
        double expected;
    };
    const Row rows[] = {
        {"Plane Pitch degrees", "radians", 0.5, 0.5},
        {"Plane Pitch degrees", "degrees", std::numbers::pi, 180.0},
        {"Plane Latitude", "degree", 47.5, 47.5},
        {"Plane Latitude", "radians", 180.0, std::numbers::pi},
        {"Plane Altitude", "feet", 1000.0, 1000.0},
        {"Plane Altitude", "meters", 1000.0, 304.8},
        {"Vertical Speed", "feet per second", 10.0, 10.0},
        {"Vertical Speed", "feet per minute", 10.0, 600.0},
    };
    for (const auto& r : rows) {
        Bytes out;
        packDatum(out, lf_datum(r.name, r.units, kDatumFloat64), r.stored);
        EXPECT_NEAR(t::getF64(out, 0), r.expected, 1e-9) << r.name << " in " << r.units;
        auto back = readDatum(out, 0, lf_datum(r.name, r.units, kDatumFloat64));
        ASSERT_TRUE(back);
        EXPECT_NEAR(*back, r.stored, 1e-9) << r.name << " back from " << r.units;
    }
}

TEST(SimstubPacking, VariableNamesMatchWithoutCaseAndThrottlesNeedAnEngine) {
    EXPECT_TRUE(findVariable("plane latitude"));
    EXPECT_TRUE(findVariable("PLANE HEADING DEGREES TRUE"));
    EXPECT_TRUE(findVariable("ATC ID")->text);
    EXPECT_FALSE(findVariable("Plane Altitude")->text);
    auto t2 = findVariable("GENERAL ENG THROTTLE LEVER POSITION:2");
    ASSERT_TRUE(t2);
    EXPECT_EQ(t2->index, 2);
    EXPECT_FALSE(findVariable("GENERAL ENG THROTTLE LEVER POSITION"));
    EXPECT_FALSE(findVariable("GENERAL ENG THROTTLE LEVER POSITION:9"));
    EXPECT_FALSE(findVariable("GENERAL ENG THROTTLE LEVER POSITION:" + std::string(40, '9')));
    EXPECT_FALSE(findVariable("Plane Latitude:1"));
    EXPECT_FALSE(findVariable("Plane Lattitude"));
}

TEST(SimstubPackets, DecodesFieldsAndFlagsLayoutFaults) {
    Bytes create = t::createPacket(9, "Airbus A320 Lufthansa", "DLH4AB");
    Packet p = decodePacket(create.data(), create.size());
    EXPECT_EQ(p.name, "SimConnect_AICreateNonATCAircraft");
    EXPECT_EQ(p.sendId, 9u);
    EXPECT_TRUE(p.sizeOk);
    EXPECT_TRUE(p.errors.empty());
    EXPECT_EQ(p.fields["title"], "Airbus A320 Lufthansa");
    EXPECT_EQ(p.fields["tail_number"], "DLH4AB");
    EXPECT_DOUBLE_EQ(p.fields["heading_deg"].get<double>(), 90.0);
    EXPECT_EQ(p.fields["request_id"], 104);

    // A tail number filling all 12 bytes has no NUL; garbage after a NUL is
    // a slot that was not zeroed. Both are client faults to show.
    Bytes noNul = t::createPacket(10, "T", "ABCDEFGHIJKL");
    EXPECT_EQ(decodePacket(noNul.data(), noNul.size()).errors.size(), 1u);
    Bytes dirty = t::createPacket(11, "T", "AB");
    dirty[272 + 5] = 'Z';
    ASSERT_EQ(decodePacket(dirty.data(), dirty.size()).errors.size(), 1u);

    Bytes shortOpen = t::openPacket(1);
    shortOpen.resize(292);
    t::put32(shortOpen, 0, 292);
    EXPECT_FALSE(decodePacket(shortOpen.data(), shortOpen.size()).sizeOk);

    Bytes setData = t::setDataPacket(12, 402, 101, {1, 2, 3});
    t::put32(setData, 32, 16);   // unit size that disagrees with the bytes sent
    EXPECT_FALSE(decodePacket(setData.data(), setData.size()).sizeOk);

    Bytes unknown = t::packet(0x63, 13, 16);
    Packet u = decodePacket(unknown.data(), unknown.size());
    EXPECT_FALSE(u.known);
    EXPECT_EQ(u.name, "unknown");
}

TEST(SimstubFraming, PacketsSplitAnywhereOrSharingAReadComeOutWhole) {
    Bytes stream = t::openPacket(1);
    Bytes second = t::subscribePacket(2, 201, "Sim");
    stream.insert(stream.end(), second.begin(), second.end());
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        PacketFramer f;
        std::vector<Bytes> got;
        Bytes out;
        f.append(stream.data(), cut);
        while (f.next(out) == PacketFramer::Result::Ready) got.push_back(out);
        f.append(stream.data() + cut, stream.size() - cut);
        while (f.next(out) == PacketFramer::Result::Ready) got.push_back(out);
        ASSERT_EQ(got.size(), 2u) << "cut at " << cut;
        EXPECT_EQ(got[0], t::openPacket(1));
        EXPECT_EQ(got[1], second);
    }
}

TEST(SimstubFraming, SizesNoPacketCanHaveLoseTheStream) {
    for (std::uint32_t size : {0u, 4u, 15u, 41089u, 0xFFFFFFFFu}) {
        PacketFramer f;
        Bytes b(16, 0);
        t::put32(b, 0, size);
        f.append(b.data(), b.size());
        Bytes out;
        EXPECT_EQ(f.next(out), PacketFramer::Result::Bad) << size;
        EXPECT_EQ(f.badSize(), size);
    }
}

TEST(SimstubWorld, ZuluSplitsEpochSecondsIntoTimeDayAndYear) {
    struct Row {
        double epoch;
        double seconds;
        int day;
        int year;
    };
    const Row rows[] = {
        {0.0, 0.0, 1, 1970},
        {1709251230.0, 30.0, 61, 2024},      // 2024-03-01 00:00:30, a leap year
        {1735689599.0, 86399.0, 366, 2024},  // 2024-12-31 23:59:59
        {1735689600.0, 0.0, 1, 2025},
    };
    for (const auto& r : rows) {
        ZuluTime z = zuluFromEpoch(r.epoch);
        EXPECT_DOUBLE_EQ(z.secondsOfDay, r.seconds) << r.epoch;
        EXPECT_EQ(z.dayOfYear, r.day) << r.epoch;
        EXPECT_EQ(z.year, r.year) << r.epoch;
    }
}

}  // namespace
