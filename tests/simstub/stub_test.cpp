// The stand-in's server logic driven in-process: bytes a client sends in,
// the messages it gets back out.
#include "simstub/stub.h"
#include "simstub/client_bytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numbers>

namespace {

using namespace simstub;
namespace t = simstub_test;
using t::Message;

constexpr double kZulu = 1717243200.0;   // 2024-06-01 12:00:00 UTC

Scenario lf_scenario() {
    nlohmann::json j = {
        {"terrain_elevation_ft", 1000.0},
        {"static_cg_ft", 8.0},
        {"static_pitch_rad", 0.02},
        {"zulu_epoch_s", kZulu},
        {"frame_rate", 10},
        {"helicopter_titles", {"Bell 206 Rotorcraft"}},
        {"refuse_titles", {"Broken Livery"}},
        {"user",
         {{"lat", 47.0},
          {"lon", 8.0},
          {"heading_deg", 90.0},
          {"title", "Stub Airliner with a rather long title for a STRINGV"},
          {"model", "B738"},
          {"atc_id", "USER1"},
          {"on_ground", true},
          {"light_states", 5}}},
    };
    return parseScenario(j);
}

class StubTest : public ::testing::Test {
protected:
    StubTest() : stub(lf_scenario()) { a = stub.connect("tcp"); }

    std::vector<Message> send(SessionId s, const t::Bytes& bytes) {
        stub.receive(s, bytes.data(), bytes.size());
        return out(s);
    }
    std::vector<Message> send(const t::Bytes& bytes) { return send(a, bytes); }
    std::vector<Message> out(SessionId s) { return t::splitMessages(stub.takeOutput(s)); }

    std::uint32_t next() { return ++sendId; }

    // The program's subscriptions and data definitions, as its setup sends them.
    void openAndSetUp(SessionId s) {
        ASSERT_EQ(send(s, t::openPacket(next())).size(), 1u);
        send(s, t::subscribePacket(next(), 201, "Sim"));
        send(s, t::subscribePacket(next(), 202, "ObjectAdded"));
        send(s, t::subscribePacket(next(), 203, "ObjectRemoved"));
        send(s, t::subscribePacket(next(), 206, "FlightLoaded"));
        send(s, t::addDatumPacket(next(), 407, "TITLE", "", t::kStringV));
        send(s, t::addDatumPacket(next(), 408, "ATC MODEL", "", t::kString32));
        send(s, t::addDatumPacket(next(), 409, "SIM ON GROUND", "Bool", t::kInt64));
        const char* d402[][2] = {{"Plane Latitude", "degree"},      {"Plane Longitude", "degree"},
                                 {"Plane Pitch degrees", "radians"}, {"Plane Bank degrees", "radians"},
                                 {"Plane Heading degrees true", "radians"}, {"Plane Altitude", "feet"},
                                 {"Vertical Speed", "feet per second"},     {"Airspeed True", "knots"}};
        for (auto& d : d402) send(s, t::addDatumPacket(next(), 402, d[0], d[1], t::kFloat64));
        const char* d403[][2] = {{"Plane Latitude", "degree"},      {"Plane Longitude", "degree"},
                                 {"Plane Pitch degrees", "radians"}, {"Plane Bank degrees", "radians"},
                                 {"Plane Heading degrees true", "radians"}, {"Plane Altitude", "feet"},
                                 {"Plane Alt Above Ground", "feet"},        {"Ground Velocity", "knots"}};
        for (auto& d : d403) send(s, t::addDatumPacket(next(), 403, d[0], d[1], t::kFloat64));
        send(s, t::addDatumPacket(next(), 403, "ZULU TIME", "Seconds", t::kInt64));
        send(s, t::addDatumPacket(next(), 403, "ZULU DAY OF YEAR", "Number", t::kInt64));
        send(s, t::addDatumPacket(next(), 403, "ZULU YEAR", "Number", t::kInt64));
        send(s, t::addDatumPacket(next(), 403, "LIGHT STATES", "Mask", t::kInt64));
        send(s, t::addDatumPacket(next(), 405, "Static CG to Ground", "feet", t::kFloat64));
        send(s, t::addDatumPacket(next(), 405, "Static Pitch", "radians", t::kFloat64));
        send(s, t::addDatumPacket(next(), 404, "Plane Alt Above Ground", "feet", t::kFloat64));
        send(s, t::addDatumPacket(next(), 404, "Ground Altitude", "feet", t::kFloat64));
        send(s, t::addDatumPacket(next(), 404, "SIM ON GROUND", "Bool", t::kInt64));
        auto last = send(s, t::addDatumPacket(next(), 404, "ATC ID", "", t::kString32));
        // Definitions are accepted silently; a Sim event came with its subscription.
        ASSERT_TRUE(last.empty());
    }

    // Creates an AI aircraft and returns its object id from ASSIGNED_OBJECT_ID.
    std::uint32_t create(const std::string& title, const std::string& tail, t::InitPosition pos = {}) {
        auto got = send(t::createPacket(next(), title, tail, pos));
        for (const auto& m : got) {
            if (m.id() == 12) return m.u32(16);
        }
        ADD_FAILURE() << "no ASSIGNED_OBJECT_ID for " << title;
        return 0;
    }

    Stub stub;
    SessionId a = 0;
    std::uint32_t sendId = 0;
};

TEST_F(StubTest, OpenIsAnsweredWithOpenAndNothingGoesOutBeforeIt) {
    EXPECT_TRUE(send(t::subscribePacket(1, 201, "Sim")).empty());
    EXPECT_TRUE(send(t::requestDataPacket(2, 109, 403, 0, 1)).empty());
    auto got = send(t::openPacket(3));
    ASSERT_EQ(got.size(), 1u);
    const Message& open = got[0];
    EXPECT_EQ(open.bytes.size(), 308u);
    EXPECT_EQ(open.size(), 308u);
    EXPECT_EQ(open.version(), 35u);
    EXPECT_EQ(open.id(), 2u);
    EXPECT_NE(open.text(12, 256).find("v5"), std::string::npos);
    EXPECT_EQ(open.u32(268), 5u);
    EXPECT_EQ(open.u32(272), 3u);
    EXPECT_EQ(open.u32(300), 0u);
    EXPECT_EQ(open.u32(304), 0u);
    // A second Open changes nothing and is not answered again.
    EXPECT_TRUE(send(t::openPacket(4)).empty());
}

// The Open of an independent FSX SP2 client as it comes off the wire: send id
// 0, product tag bytes 00 58 53 46, version 10.0.61259.0.
namespace {
t::Bytes lf_independentFsxOpen() {
    t::Bytes b{0x28, 0x01, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0xF0, 0x00, 0x00, 0x00, 0x00};
    const std::string name = "Independent client";
    b.insert(b.end(), name.begin(), name.end());
    b.resize(16 + 256 + 4, 0x00);
    const std::uint8_t tail[] = {0x00, 0x58, 0x53, 0x46, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0x4B, 0xEF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    b.insert(b.end(), std::begin(tail), std::end(tail));
    return b;
}
}  // namespace

TEST_F(StubTest, FsxProtocolOpenIsAnsweredAlikeAndEchoedInEveryMessage) {
    const struct {
        const char* what;
        t::Bytes open;
    } rows[] = {
        {"independent client, send id 0, replayed byte for byte", lf_independentFsxOpen()},
        {"built from the layout, send id 1", t::fsxOpenPacket(1)},
    };
    for (const auto& r : rows) {
        SessionId s = stub.connect("tcp");
        ASSERT_EQ(r.open.size(), 296u) << r.what;
        auto got = send(s, r.open);
        ASSERT_EQ(got.size(), 1u) << r.what;
        EXPECT_EQ(got[0].id(), 2u) << r.what;
        EXPECT_EQ(got[0].size(), 308u) << r.what;
        EXPECT_EQ(got[0].version(), 4u) << r.what;
        auto sim = send(s, t::subscribePacket(2, 201, "Sim", 4));
        ASSERT_EQ(sim.size(), 1u) << r.what;
        EXPECT_EQ(sim[0].version(), 4u) << r.what;
    }
}

TEST_F(StubTest, AnOpenItCannotAcceptGetsVersionMismatchWithItsSendId) {
    struct Row {
        const char* what;
        t::Bytes open;
    };
    t::Bytes truncated = t::openPacket(50);
    truncated.resize(292);
    t::put32(truncated, 0, 292);
    const Row rows[] = {
        {"protocol 36", t::openPacket(41, 36)},
        {"protocol 4 with the P3D tag", t::openPacket(42, 4, t::kTagP3D, 10, 0, 61259, 0)},
        {"protocol 35 with the FSX tag", t::openPacket(43, 35, t::kTagFSX, 5, 3)},
        {"version 5.2", t::openPacket(44, 35, t::kTagP3D, 5, 2)},
        {"version 4.5", t::openPacket(45, 35, t::kTagP3D, 4, 5)},
        {"FSX build 60905", t::openPacket(46, 4, t::kTagFSX, 10, 0, 60905, 0)},
        {"no product tag", t::openPacket(47, 35, 0)},
        {"292 bytes", truncated},
    };
    for (const auto& r : rows) {
        SessionId s = stub.connect("tcp");
        auto got = send(s, r.open);
        ASSERT_EQ(got.size(), 1u) << r.what;
        EXPECT_EQ(got[0].id(), 1u) << r.what;
        EXPECT_EQ(got[0].size(), 24u) << r.what;
        EXPECT_EQ(got[0].u32(12), 5u) << r.what;
        EXPECT_EQ(got[0].u32(16), t::get32(r.open, 12)) << r.what;
        EXPECT_EQ(got[0].version(), t::get32(r.open, 4)) << r.what;
        // Still not open: the client's next packets are not served.
        EXPECT_TRUE(send(s, t::subscribePacket(99, 201, "Sim")).empty()) << r.what;
    }
}

TEST_F(StubTest, SimEventAnswersTheSubscriptionAndEveryChange) {
    send(t::openPacket(1));
    auto got = send(t::subscribePacket(2, 201, "Sim"));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id(), 4u);
    EXPECT_EQ(got[0].size(), 28u);
    EXPECT_EQ(got[0].u32(12), 0xFFFFFFFFu);
    EXPECT_EQ(got[0].u32(16), 201u);
    EXPECT_EQ(got[0].u32(20), 1u);
    EXPECT_EQ(got[0].u32(24), 0u);

    ASSERT_TRUE(stub.command("sim 0").ok);
    got = out(a);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].u32(20), 0u);
    ASSERT_TRUE(stub.command("sim 0").ok);
    EXPECT_TRUE(out(a).empty()) << "no change, no event";
    stub.command("sim 1");
    got = out(a);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].u32(20), 1u);

    // The published 24-byte layout when the scenario asks for it.
    Scenario sc = lf_scenario();
    sc.eventSize = 24;
    Stub small(sc);
    SessionId s = small.connect("tcp");
    auto open = t::openPacket(1);
    small.receive(s, open.data(), open.size());
    auto sub = t::subscribePacket(2, 201, "Sim");
    small.receive(s, sub.data(), sub.size());
    auto msgs = t::splitMessages(small.takeOutput(s));
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(msgs[1].size(), 24u);
}

TEST_F(StubTest, FramesFollowTheConfiguredRateOnlyWhileTheSimRuns) {
    send(t::openPacket(1));
    send(t::subscribePacket(2, 204, "Frame"));
    int frames = 0;
    for (int ms = 0; ms <= 1000; ms += 5) {
        stub.setTime(ms / 1000.0);
        stub.tick();
        for (const auto& m : out(a)) {
            ASSERT_EQ(m.id(), 7u);
            ASSERT_EQ(m.size(), 32u);
            EXPECT_EQ(m.u32(16), 204u);
            EXPECT_FLOAT_EQ(m.f32(24), 10.0f);
            EXPECT_FLOAT_EQ(m.f32(28), 1.0f);
            ++frames;
        }
    }
    EXPECT_EQ(frames, 11);   // at 0.0, 0.1, ... 1.0 s
    stub.command("sim 0");
    out(a);
    stub.setTime(2.0);
    stub.tick();
    EXPECT_TRUE(out(a).empty());
}

TEST_F(StubTest, UserAircraftRequestsAnswerWithTheRealObjectIdAndPackedValues) {
    openAndSetUp(a);
    stub.setTime(30.0);
    auto got = send(t::requestDataPacket(next(), 109, 403, 0, 1));
    ASSERT_EQ(got.size(), 1u);
    const Message& m = got[0];
    EXPECT_EQ(m.id(), 8u);
    EXPECT_EQ(m.size(), 40u + 96u);
    EXPECT_EQ(m.u32(12), 109u);
    EXPECT_EQ(m.u32(16), 1u) << "object 0 is answered with the user's real id";
    EXPECT_EQ(m.u32(20), 403u);
    EXPECT_EQ(m.u32(28), 1u);
    EXPECT_EQ(m.u32(32), 1u);
    EXPECT_EQ(m.u32(36), 12u);
    EXPECT_DOUBLE_EQ(m.f64(40), 47.0);
    EXPECT_DOUBLE_EQ(m.f64(48), 8.0);
    EXPECT_NEAR(m.f64(72), std::numbers::pi / 2, 1e-12);
    EXPECT_DOUBLE_EQ(m.f64(80), 1008.0);
    EXPECT_DOUBLE_EQ(m.f64(88), 8.0);
    EXPECT_EQ(m.i64(104), 12 * 3600 + 30);
    EXPECT_EQ(m.i64(112), 153);     // 1 June of a leap year
    EXPECT_EQ(m.i64(120), 2024);
    EXPECT_EQ(m.i64(128), 5);

    got = send(t::requestDataPacket(next(), 106, 407, 0, 1));
    ASSERT_EQ(got.size(), 1u);
    const std::string title = "Stub Airliner with a rather long title for a STRINGV";
    EXPECT_EQ(got[0].size(), 40u + (title.size() + 1 + 3) / 4 * 4);
    EXPECT_EQ(got[0].text(40, 256), title);

    got = send(t::requestDataPacket(next(), 107, 408, 0, 1));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].size(), 72u);
    EXPECT_EQ(got[0].text(40, 32), "B738");
}

TEST_F(StubTest, PerSecondRequestsRepeatEverySecondUntilCancelled) {
    openAndSetUp(a);
    auto got = send(t::requestDataPacket(next(), 108, 409, 0, 4));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].i64(40), 1);
    stub.setTime(0.9);
    stub.tick();
    EXPECT_TRUE(out(a).empty());
    stub.setTime(1.0);
    stub.tick();
    EXPECT_EQ(out(a).size(), 1u);
    stub.setTime(2.0);
    stub.tick();
    EXPECT_EQ(out(a).size(), 1u);
    send(t::requestDataPacket(next(), 108, 409, 0, 0));
    stub.setTime(5.0);
    stub.tick();
    EXPECT_TRUE(out(a).empty());
}

TEST_F(StubTest, CreationAssignsAnIdTellsEverySubscriberAndJoinsByTypeAnswers) {
    openAndSetUp(a);
    SessionId b = stub.connect("pipe");
    openAndSetUp(b);
    out(a);

    std::uint32_t createId = next();
    auto got = send(t::createPacket(createId, "Airbus A320 Lufthansa", "DLH4AB"));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].id(), 12u);
    EXPECT_EQ(got[0].size(), 20u);
    EXPECT_EQ(got[0].u32(12), 104u);
    std::uint32_t oid = got[0].u32(16);
    EXPECT_GT(oid, 2u);
    EXPECT_EQ(got[1].id(), 5u);
    EXPECT_EQ(got[1].size(), 28u);
    EXPECT_EQ(got[1].u32(16), 202u);
    EXPECT_EQ(got[1].u32(20), oid);
    EXPECT_EQ(got[1].u32(24), 2u);
    auto other = out(b);
    ASSERT_EQ(other.size(), 1u) << "the other client hears ObjectAdded only";
    EXPECT_EQ(other[0].id(), 5u);
    EXPECT_EQ(other[0].u32(20), oid);

    std::uint32_t farAway = create("Boeing 737 Far", "FAR1", {48.0, 8.0, 3000});
    std::uint32_t heli = create("Bell 206 Rotorcraft", "HELI1", {47.001, 8.0, 500});
    out(b);

    got = send(t::requestByTypePacket(next(), 101, 404, 20000, 2));
    ASSERT_EQ(got.size(), 2u) << "the user and the one aircraft within 20 km";
    EXPECT_EQ(got[0].id(), 9u);
    EXPECT_EQ(got[0].u32(16), 1u);
    EXPECT_EQ(got[0].u32(28), 1u);
    EXPECT_EQ(got[0].u32(32), 2u);
    EXPECT_EQ(got[0].text(64, 32), "USER1");
    EXPECT_EQ(got[1].u32(16), oid);
    EXPECT_EQ(got[1].u32(28), 2u);
    EXPECT_EQ(got[1].u32(32), 2u);
    EXPECT_EQ(got[1].u32(36), 4u);
    EXPECT_EQ(got[1].size(), 40u + 8 + 8 + 8 + 32);
    EXPECT_DOUBLE_EQ(got[1].f64(40), 2000.0);   // 3000 ft over terrain at 1000 ft
    EXPECT_DOUBLE_EQ(got[1].f64(48), 1000.0);
    EXPECT_EQ(got[1].i64(56), 0);
    EXPECT_EQ(got[1].text(64, 32), "DLH4AB");

    got = send(t::requestByTypePacket(next(), 101, 404, 200000, 2));
    EXPECT_EQ(got.size(), 3u) << "the farAway aircraft within 200 km, the helicopter never";
    EXPECT_EQ(got.back().u32(16), farAway);
    got = send(t::requestByTypePacket(next(), 101, 404, 20000, 3));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].u32(16), heli);
}

TEST_F(StubTest, RefusedTitlesAndTooManyObjectsFailWithTheCreationsSendId) {
    openAndSetUp(a);
    std::uint32_t refusedId = next();
    auto got = send(t::createPacket(refusedId, "Broken Livery", "BAD1"));
    ASSERT_EQ(got.size(), 1u) << "no ObjectAdded";
    EXPECT_EQ(got[0].id(), 1u);
    EXPECT_EQ(got[0].u32(12), 22u);
    EXPECT_EQ(got[0].u32(16), refusedId);

    ASSERT_TRUE(stub.command("refuse Airbus A380 Emirates").ok);
    std::uint32_t second = next();
    got = send(t::createPacket(second, "AIRBUS A380 EMIRATES", "UAE1"));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].u32(12), 22u);
    EXPECT_EQ(got[0].u32(16), second);
    EXPECT_TRUE(stub.state()["objects"].empty());

    Scenario sc = lf_scenario();
    sc.maxObjects = 1;
    Stub full(sc);
    SessionId s = full.connect("tcp");
    for (const auto& p : {t::openPacket(1), t::createPacket(2, "A", "A1"), t::createPacket(3, "B", "B1")}) {
        full.receive(s, p.data(), p.size());
    }
    auto msgs = t::splitMessages(full.takeOutput(s));
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs.back().id(), 1u);
    EXPECT_EQ(msgs.back().u32(12), 11u);
    EXPECT_EQ(msgs.back().u32(16), 3u);
}

TEST_F(StubTest, PositionsStaticCgAndRemovalOfAnAiObject) {
    openAndSetUp(a);
    std::uint32_t oid = create("Airbus A320 Lufthansa", "DLH4AB");
    out(a);

    auto got = send(t::setDataPacket(next(), 402, oid, {47.2, 8.3, 0.01, -0.02, 1.5, 1008.0, -3.0, 12.0}));
    EXPECT_TRUE(got.empty());
    auto objects = stub.state()["objects"];
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_DOUBLE_EQ(objects[0]["lat"].get<double>(), 47.2);
    EXPECT_DOUBLE_EQ(objects[0]["lon"].get<double>(), 8.3);
    EXPECT_DOUBLE_EQ(objects[0]["alt_ft"].get<double>(), 1008.0);
    EXPECT_DOUBLE_EQ(objects[0]["heading_rad"].get<double>(), 1.5);
    EXPECT_TRUE(objects[0]["on_ground"].get<bool>()) << "at the static CG height over the terrain";
    EXPECT_EQ(objects[0]["title"], "Airbus A320 Lufthansa");
    EXPECT_EQ(objects[0]["atc_id"], "DLH4AB");

    got = send(t::requestDataPacket(next(), 102, 405, oid, 1));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].u32(16), oid);
    EXPECT_DOUBLE_EQ(got[0].f64(40), 8.0);
    EXPECT_DOUBLE_EQ(got[0].f64(48), 0.02);

    send(t::mapEventPacket(next(), 220, "GEAR_SET"));
    EXPECT_TRUE(send(t::transmitPacket(next(), oid, 220, 1)).empty());
    send(t::objectCallPacket(0x2B, next(), oid, 103));
    send(t::flightPlanPacket(next(), oid, "C:\\orig_dest\\101.pln"));
    objects = stub.state()["objects"];
    EXPECT_EQ(objects[0]["events"]["GEAR_SET"], 1);
    EXPECT_TRUE(objects[0]["released"].get<bool>());
    EXPECT_EQ(objects[0]["flight_plan"], "C:\\orig_dest\\101.pln");

    got = send(t::removePacket(next(), oid));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id(), 5u);
    EXPECT_EQ(got[0].u32(16), 203u);
    EXPECT_EQ(got[0].u32(20), oid);
    EXPECT_EQ(got[0].u32(24), 2u);
    EXPECT_TRUE(stub.state()["objects"].empty());
    got = send(t::requestByTypePacket(next(), 101, 404, 20000, 2));
    EXPECT_EQ(got.size(), 1u) << "only the user is left";
}

TEST_F(StubTest, FaultyRequestsGetTheSimulatorsExceptions) {
    openAndSetUp(a);
    std::uint32_t oid = create("Airbus A320 Lufthansa", "DLH4AB");
    out(a);
    struct Row {
        const char* what;
        t::Bytes packet;
        std::uint32_t code;
    };
    t::Bytes wrongUnit = t::setDataPacket(0, 402, oid, {1, 2, 3});
    const Row rows[] = {
        {"unknown datum", t::addDatumPacket(0, 499, "Plane Lattitude", "degree", t::kFloat64), 7},
        {"text as a number", t::addDatumPacket(0, 499, "ATC ID", "", t::kFloat64), 18},
        {"number as a text", t::addDatumPacket(0, 499, "Plane Altitude", "feet", t::kString32), 18},
        {"unknown datum type", t::addDatumPacket(0, 499, "Plane Altitude", "feet", 99), 18},
        {"unknown system event", t::subscribePacket(0, 299, "ObjectAdd"), 7},
        {"request on an unknown definition", t::requestDataPacket(0, 109, 498, 0, 1), 3},
        {"request on an unknown object", t::requestDataPacket(0, 102, 405, 9999, 1), 3},
        {"set data of the wrong size", wrongUnit, 19},
        {"set data on an unknown object", t::setDataPacket(0, 402, 9999, {1, 2, 3, 4, 5, 6, 7, 8}), 3},
        {"unmapped client event", t::transmitPacket(0, oid, 230, 1), 3},
        {"remove the user aircraft", t::removePacket(0, 1), 24},
        {"remove object 0", t::removePacket(0, 0), 24},
        {"remove an unknown object", t::removePacket(0, 9999), 3},
        {"unknown function", t::packet(0x63, 0, 16), 3},
        {"size that does not fit the function", t::packet(0x2C, 0, 28), 2},
    };
    for (auto r : rows) {
        std::uint32_t id = next();
        t::put32(r.packet, 12, id);
        auto got = send(r.packet);
        ASSERT_EQ(got.size(), 1u) << r.what;
        EXPECT_EQ(got[0].id(), 1u) << r.what;
        EXPECT_EQ(got[0].u32(12), r.code) << r.what;
        EXPECT_EQ(got[0].u32(16), id) << r.what;
    }
}

TEST_F(StubTest, ClientsObjectsGoWithItsConnection) {
    openAndSetUp(a);
    SessionId b = stub.connect("tcp");
    openAndSetUp(b);
    std::uint32_t oid = create("Airbus A320 Lufthansa", "DLH4AB");
    out(b);
    stub.disconnect(a, "test");
    auto got = out(b);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].u32(16), 203u);
    EXPECT_EQ(got[0].u32(20), oid);
    EXPECT_TRUE(stub.state()["objects"].empty());
    EXPECT_EQ(stub.state()["sessions"].size(), 1u);
}

TEST_F(StubTest, ControlCommandsReachTheClient) {
    openAndSetUp(a);
    out(a);

    ASSERT_TRUE(stub.command("quit").ok);
    auto got = out(a);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id(), 3u);
    EXPECT_EQ(got[0].size(), 12u);

    ASSERT_TRUE(stub.command("flightloaded Flights\\My Flight.fxml").ok);
    got = out(a);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id(), 6u);
    EXPECT_EQ(got[0].size(), 288u);
    EXPECT_EQ(got[0].u32(16), 206u);
    EXPECT_EQ(got[0].text(24, 260), "Flights\\My Flight.fxml");

    ASSERT_TRUE(stub.command("event FlightLoaded").ok);
    got = out(a);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id(), 4u);
    EXPECT_EQ(got[0].u32(16), 206u);

    ASSERT_TRUE(stub.command("jump 47.5 8.5 5000 180 250").ok);
    got = send(t::requestDataPacket(next(), 109, 403, 0, 1));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_DOUBLE_EQ(got[0].f64(40), 47.5);
    EXPECT_DOUBLE_EQ(got[0].f64(48), 8.5);
    EXPECT_DOUBLE_EQ(got[0].f64(80), 5000.0);
    EXPECT_NEAR(got[0].f64(72), std::numbers::pi, 1e-12);
    EXPECT_DOUBLE_EQ(got[0].f64(96), 250.0);

    auto spawned = stub.command("spawn N123AB 47.5 8.51 4000 Cessna 172 Skyhawk");
    ASSERT_TRUE(spawned.ok);
    got = out(a);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id(), 5u);
    std::uint32_t oid = got[0].u32(20);
    ASSERT_TRUE(stub.command("remove " + std::to_string(oid)).ok);
    got = out(a);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].u32(16), 203u);

    ASSERT_TRUE(stub.command("exception 23 77 2").ok);
    got = out(a);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].u32(12), 23u);
    EXPECT_EQ(got[0].u32(16), 77u);
    EXPECT_EQ(got[0].u32(20), 2u);

    EXPECT_FALSE(stub.wantsClose(a));
    ASSERT_TRUE(stub.command("drop").ok);
    EXPECT_TRUE(stub.wantsClose(a));
    EXPECT_TRUE(stub.command("stop").stop);

    for (const char* bad : {"fly away", "sim 2", "jump 47", "jump north east", "jump 47 8 0 0 0 0", "remove 1", "remove 12345",
                            "spawn X 1 2", "exception", "event"}) {
        EXPECT_FALSE(stub.command(bad).ok) << bad;
    }
    EXPECT_TRUE(stub.command("# a comment").ok);
    EXPECT_EQ(stub.state()["command_errors"], 10);
}

TEST_F(StubTest, ABrokenClientStreamIsDroppedNotGuessedAt) {
    send(t::openPacket(1));
    t::Bytes garbage(16, 0);
    t::put32(garbage, 0, 8);
    send(garbage);
    EXPECT_TRUE(stub.wantsClose(a));
    EXPECT_TRUE(send(t::subscribePacket(2, 201, "Sim")).empty());
}

TEST(SimstubRecord, EveryPacketIsOneJsonLineWithItsDecodedFields) {
    auto path = std::filesystem::temp_directory_path() /
                ("simstub_record_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".jsonl");
    std::filesystem::remove(path);
    {
        Recorder recorder(path);
        ASSERT_TRUE(recorder.isOpen());
        Stub stub(lf_scenario(), &recorder);
        stub.setTime(1.25);
        SessionId s = stub.connect("tcp");
        for (const auto& p : {t::openPacket(1), t::subscribePacket(2, 201, "Sim"),
                              t::createPacket(3, "Broken Livery", "BAD1"), t::createPacket(4, "Fine Livery", "OK1")}) {
            stub.receive(s, p.data(), p.size());
        }
        stub.command("quit");
    }
    std::vector<nlohmann::json> lines;
    {
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    }
    std::filesystem::remove(path);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0]["link"], "connect");
    EXPECT_EQ(lines[1]["function"], "SimConnect_Open");
    EXPECT_EQ(lines[1]["app_name"], "GLIM_P3D");
    EXPECT_EQ(lines[1]["product"], "P3D");
    EXPECT_DOUBLE_EQ(lines[1]["time"].get<double>(), 1.25);
    EXPECT_EQ(lines[2]["function"], "SimConnect_SubscribeToSystemEvent");
    EXPECT_EQ(lines[2]["event_name"], "Sim");
    EXPECT_EQ(lines[2]["send_id"], 2);
    EXPECT_EQ(lines[3]["function"], "SimConnect_AICreateNonATCAircraft");
    EXPECT_EQ(lines[3]["title"], "Broken Livery");
    EXPECT_EQ(lines[3]["tail_number"], "BAD1");
    EXPECT_EQ(lines[3]["exception"], 22);
    EXPECT_EQ(lines[4]["object_id"], 100);
    EXPECT_FALSE(lines[4].contains("errors"));
    EXPECT_EQ(lines[5]["control"], "quit");
}

}  // namespace
