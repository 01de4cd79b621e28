// Every packet the library sends, byte for byte, and the refusals of the call
// layer.
#include <functional>
#include <limits>

#include "sc_test_support.h"

namespace {

class Packets : public SimConnectFixture {};

std::string repeat(std::size_t n, char c = 'x') { return std::string(n, c); }

Bytes doubles(std::initializer_list<double> values) {
    ByteWriter w(values.size() * 8);
    std::size_t at = 0;
    for (double v : values) {
        w.f64(at, v);
        at += 8;
    }
    return w;
}

}  // namespace

TEST_F(Packets, OpenIsByteExact) {
    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, -1), SIMCONNECT_OK);
    ASSERT_NE(handle, nullptr);
    Bytes expected = packetBytes(296, 0x01, 1)
                         .text(16, "GLIM_P3D")
                         .u32(272, 0)
                         .u32(276, 0x50334400u)
                         .u32(280, 5)
                         .u32(284, 3)
                         .u32(288, 0)
                         .u32(292, 0);
    auto packets = sent();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], expected);
    // The product tag reads "\0D3P" on the wire.
    EXPECT_EQ(packets[0][276], 0x00);
    EXPECT_EQ(packets[0][277], 0x44);
    EXPECT_EQ(packets[0][278], 0x33);
    EXPECT_EQ(packets[0][279], 0x50);
}

TEST_F(Packets, EveryCallIsByteExact) {
    openFake();
    const SimConnectInitPosition position{47.5, -122.25, 1234.5, -2.5, 1.25, 270.0, 1, 140};
    const Bytes eight = doubles({1, 2, 3, 4, 5, 6, 7, 8});
    const Bytes nine = doubles({1, 2, 3, 4, 5, 6, 7, 8, 9});

    struct Row {
        const char* name;
        std::function<SimConnectResult(SimConnectHandle)> call;
        std::function<Bytes(std::uint32_t sendId)> expected;
    };
    const Row rows[] = {
        {"MapClientEventToSimEvent", [](auto h) { return SimConnect_MapClientEventToSimEvent(h, 207, "BEACON_LIGHTS_SET"); },
         [](auto id) { return packetBytes(276, 0x04, id).u32(16, 207).text(20, "BEACON_LIGHTS_SET"); }},
        {"TransmitClientEvent", [](auto h) { return SimConnect_TransmitClientEvent(h, 11, 214, 7, 301, 3); },
         [](auto id) { return packetBytes(36, 0x05, id).u32(16, 11).u32(20, 214).u32(24, 7).u32(28, 301).u32(32, 3); }},
        {"AddClientEventToNotificationGroup",
         [](auto h) { return SimConnect_AddClientEventToNotificationGroup(h, 301, 208, true); },
         [](auto id) { return packetBytes(28, 0x07, id).u32(16, 301).u32(20, 208).u32(24, 1); }},
        {"SetNotificationGroupPriority", [](auto h) { return SimConnect_SetNotificationGroupPriority(h, 301, 1); },
         [](auto id) { return packetBytes(24, 0x09, id).u32(16, 301).u32(20, 1); }},
        {"AddToDataDefinition",
         [](auto h) { return SimConnect_AddToDataDefinition(h, 402, "Plane Latitude", "degree", 4, 0.5f, 0xFFFFFFFFu); },
         [](auto id) {
             return packetBytes(544, 0x0C, id)
                 .u32(16, 402)
                 .text(20, "Plane Latitude")
                 .text(276, "degree")
                 .u32(532, 4)
                 .f32(536, 0.5f)
                 .u32(540, 0xFFFFFFFFu);
         }},
        {"AddToDataDefinition without units",
         [](auto h) { return SimConnect_AddToDataDefinition(h, 407, "TITLE", nullptr, 11, 0.0f, 0xFFFFFFFFu); },
         [](auto id) {
             return packetBytes(544, 0x0C, id).u32(16, 407).text(20, "TITLE").u32(532, 11).u32(540, 0xFFFFFFFFu);
         }},
        {"RequestDataOnSimObject", [](auto h) { return SimConnect_RequestDataOnSimObject(h, 109, 403, 6, 4, 1, 2, 3, 5); },
         [](auto id) {
             return packetBytes(48, 0x0E, id).u32(16, 109).u32(20, 403).u32(24, 6).u32(28, 4).u32(32, 1).u32(36, 2)
                 .u32(40, 3).u32(44, 5);
         }},
        {"RequestDataOnSimObjectType", [](auto h) { return SimConnect_RequestDataOnSimObjectType(h, 101, 404, 50000, 2); },
         [](auto id) { return packetBytes(32, 0x0F, id).u32(16, 101).u32(20, 404).u32(24, 50000).u32(28, 2); }},
        {"SetDataOnSimObject one element",
         [&](auto h) { return SimConnect_SetDataOnSimObject(h, 402, 9, 0, 1, 64, eight.data()); },
         [&](auto id) { return packetBytes(100, 0x10, id).u32(16, 402).u32(20, 9).u32(28, 1).u32(32, 64).raw(36, eight); }},
        {"SetDataOnSimObject count 0 sends one",
         [&](auto h) { return SimConnect_SetDataOnSimObject(h, 402, 9, 2, 0, 64, eight.data()); },
         [&](auto id) {
             return packetBytes(100, 0x10, id).u32(16, 402).u32(20, 9).u32(24, 2).u32(28, 1).u32(32, 64).raw(36, eight);
         }},
        {"SetDataOnSimObject three elements",
         [&](auto h) { return SimConnect_SetDataOnSimObject(h, 401, 12, 0, 3, 24, nine.data()); },
         [&](auto id) { return packetBytes(108, 0x10, id).u32(16, 401).u32(20, 12).u32(28, 3).u32(32, 24).raw(36, nine); }},
        {"SubscribeToSystemEvent", [](auto h) { return SimConnect_SubscribeToSystemEvent(h, 201, "Sim"); },
         [](auto id) { return packetBytes(276, 0x17, id).u32(16, 201).text(20, "Sim"); }},
        {"AICreateNonATCAircraft",
         [&](auto h) { return SimConnect_AICreateNonATCAircraft(h, "Boeing 737-800 Paint1", "DLH4AB", position, 104); },
         [](auto id) {
             return packetBytes(344, 0x29, id)
                 .text(16, "Boeing 737-800 Paint1")
                 .text(272, "DLH4AB")
                 .f64(284, 47.5)
                 .f64(292, -122.25)
                 .f64(300, 1234.5)
                 .f64(308, -2.5)
                 .f64(316, 1.25)
                 .f64(324, 270.0)
                 .u32(332, 1)
                 .u32(336, 140)
                 .u32(340, 104);
         }},
        {"AIReleaseControl", [](auto h) { return SimConnect_AIReleaseControl(h, 10, 103); },
         [](auto id) { return packetBytes(24, 0x2B, id).u32(16, 10).u32(20, 103); }},
        {"AIRemoveObject", [](auto h) { return SimConnect_AIRemoveObject(h, 10, 105); },
         [](auto id) { return packetBytes(24, 0x2C, id).u32(16, 10).u32(20, 105); }},
        {"AISetAircraftFlightPlan",
         [](auto h) { return SimConnect_AISetAircraftFlightPlan(h, 10, "C:\\plans\\orig_dest\\10.pln", 110); },
         [](auto id) {
             return packetBytes(284, 0x2D, id).u32(16, 10).text(20, "C:\\plans\\orig_dest\\10.pln").u32(280, 110);
         }},
    };

    std::uint32_t sendId = 1;  // the Open packet took 1
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ++sendId;
        ASSERT_EQ(row.call(handle), SIMCONNECT_OK);
        std::uint32_t last = 0;
        ASSERT_EQ(SimConnect_GetLastSentPacketID(handle, &last), SIMCONNECT_OK);
        EXPECT_EQ(last, sendId);
        auto packets = sent();
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0], row.expected(sendId));
        // The size field is what went out.
        EXPECT_EQ(readU32(packets[0], 0), packets[0].size());
    }
}

// Texts that fill their field with the NUL fit; one more character is refused
// with nothing sent, and the send id stays used.
TEST_F(Packets, TextLimits) {
    openFake();
    const SimConnectInitPosition position{};
    struct Row {
        const char* name;
        std::size_t field;
        std::function<SimConnectResult(SimConnectHandle, const char*)> call;
        std::size_t offset;
    };
    const Row rows[] = {
        {"event name", 256, [](auto h, auto t) { return SimConnect_MapClientEventToSimEvent(h, 1, t); }, 20},
        {"system event", 256, [](auto h, auto t) { return SimConnect_SubscribeToSystemEvent(h, 1, t); }, 20},
        {"datum name", 256, [](auto h, auto t) { return SimConnect_AddToDataDefinition(h, 1, t, "feet", 4, 0, 0); }, 20},
        {"units", 256, [](auto h, auto t) { return SimConnect_AddToDataDefinition(h, 1, "x", t, 4, 0, 0); }, 276},
        {"title", 256, [&](auto h, auto t) { return SimConnect_AICreateNonATCAircraft(h, t, "N1", position, 104); }, 16},
        {"tail number", 12, [&](auto h, auto t) { return SimConnect_AICreateNonATCAircraft(h, "T", t, position, 104); },
         272},
        {"flight plan", 260, [](auto h, auto t) { return SimConnect_AISetAircraftFlightPlan(h, 1, t, 110); }, 20},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string fits = repeat(row.field - 1);
        ASSERT_EQ(row.call(handle, fits.c_str()), SIMCONNECT_OK);
        auto packets = sent();
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&packets[0][row.offset]), fits.size()), fits);
        EXPECT_EQ(packets[0][row.offset + fits.size()], 0);

        std::uint32_t before = 0, after = 0;
        SimConnect_GetLastSentPacketID(handle, &before);
        const std::string tooLong = repeat(row.field);
        EXPECT_EQ(row.call(handle, tooLong.c_str()), SIMCONNECT_E_TEXT_TOO_LONG);
        EXPECT_TRUE(sent().empty());
        SimConnect_GetLastSentPacketID(handle, &after);
        EXPECT_EQ(after, before + 1);
    }
    // The slot given back is clean: the next packet carries no leftovers.
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(handle, 5, nullptr), SIMCONNECT_OK);
    std::uint32_t id = 0;
    SimConnect_GetLastSentPacketID(handle, &id);
    EXPECT_EQ(sent().at(0), Bytes(packetBytes(276, 0x17, id).u32(16, 5)));
}

TEST_F(Packets, OpenRefusesLongName) {
    const std::string fits = repeat(255);
    ASSERT_EQ(SimConnect_Open(&handle, fits.c_str(), nullptr, 0, nullptr, -1), SIMCONNECT_OK);
    EXPECT_EQ(sent().at(0).size(), 296u);
    EXPECT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
    handle = nullptr;

    const std::string tooLong = repeat(256);
    SimConnectHandle refused = reinterpret_cast<SimConnectHandle>(1);
    EXPECT_EQ(SimConnect_Open(&refused, tooLong.c_str(), nullptr, 0, nullptr, -1), SIMCONNECT_E_TEXT_TOO_LONG);
    EXPECT_EQ(refused, nullptr);
    EXPECT_TRUE(io->written.empty());
    // The connection made for it is closed again.
    EXPECT_TRUE(io->closed);
    EXPECT_EQ(SimConnectTransport::liveCount(), 0);
}

TEST_F(Packets, SendIdSkipsZero) {
    openFake();
    handle->setLastSentIdForTest(0xFFFFFFFEu);
    ASSERT_EQ(SimConnect_AIRemoveObject(handle, 10, 105), SIMCONNECT_OK);
    ASSERT_EQ(SimConnect_AIRemoveObject(handle, 11, 105), SIMCONNECT_OK);
    auto packets = sent();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(readU32(packets[0], 12), 0xFFFFFFFFu);
    EXPECT_EQ(readU32(packets[1], 12), 1u);
    std::uint32_t last = 0;
    EXPECT_EQ(SimConnect_GetLastSentPacketID(handle, &last), SIMCONNECT_OK);
    EXPECT_EQ(last, 1u);
}

TEST_F(Packets, RefusedCalls) {
    std::uint32_t id = 0;
    const SimConnectInitPosition position{};
    // No handle.
    EXPECT_EQ(SimConnect_AIRemoveObject(nullptr, 1, 2), SIMCONNECT_E_FAIL);
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(nullptr, "t", "n", position, 1), SIMCONNECT_E_FAIL);
    EXPECT_EQ(SimConnect_GetLastSentPacketID(nullptr, &id), SIMCONNECT_E_FAIL);
    EXPECT_EQ(SimConnect_CallDispatch(nullptr, [](const std::uint8_t*, std::uint32_t, void*) {}, nullptr),
              SIMCONNECT_E_FAIL);
    EXPECT_EQ(SimConnect_Close(nullptr), SIMCONNECT_E_FAIL);
    EXPECT_EQ(SimConnect_Open(nullptr, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_E_INVALIDARG);
    SimConnectHandle h = nullptr;
    EXPECT_EQ(SimConnect_Open(&h, nullptr, nullptr, 0, nullptr, 0), SIMCONNECT_E_INVALIDARG);
    EXPECT_TRUE(attempts.empty());

    openFake();
    EXPECT_EQ(SimConnect_GetLastSentPacketID(handle, nullptr), SIMCONNECT_E_FAIL);
    EXPECT_EQ(SimConnect_CallDispatch(handle, nullptr, nullptr), SIMCONNECT_E_FAIL);
    // More than the send buffer holds, and a count so large that its size
    // would wrap in 32 bits.
    Bytes big(64 * 1000);
    EXPECT_EQ(SimConnect_SetDataOnSimObject(handle, 402, 9, 0, 1000, 64, big.data()), SIMCONNECT_E_FAIL);
    EXPECT_EQ(SimConnect_SetDataOnSimObject(handle, 402, 9, 0, 0x04000001u, 64, big.data()), SIMCONNECT_E_FAIL);
    EXPECT_EQ(SimConnect_SetDataOnSimObject(handle, 402, 9, 0, 1, 64, nullptr), SIMCONNECT_E_FAIL);
    EXPECT_TRUE(sent().empty());
}

// A transport that is not connected refuses the packet: the call must say so
// instead of reporting a packet that never left.
TEST_F(Packets, NotConnectedIsAFailure) {
    openFake();
    handle->close(SimFailureNone, 0);
    EXPECT_EQ(SimConnect_AIRemoveObject(handle, 10, 105), SIMCONNECT_E_FAIL);
    EXPECT_EQ(SimConnect_TransmitClientEvent(handle, 10, 214, 0, 301, 0), SIMCONNECT_E_FAIL);
    EXPECT_TRUE(sent().empty());
}

// Once the transport has failed, every call gives its failure status.
TEST_F(Packets, FailedTransportStatus) {
    openFake();
    io->completeRead(kSimStatusConnectionReset, 0);
    const auto status = static_cast<SimConnectResult>(kSimStatusConnectionReset);
    EXPECT_EQ(SimConnect_AIRemoveObject(handle, 10, 105), status);
    EXPECT_EQ(SimConnect_SubscribeToSystemEvent(handle, 201, "Sim"), status);
    // Also for a packet too large for any send buffer.
    Bytes big(64 * 1000);
    EXPECT_EQ(SimConnect_SetDataOnSimObject(handle, 402, 9, 0, 1000, 64, big.data()), status);
    EXPECT_EQ(SimConnect_CallDispatch(handle, [](const std::uint8_t*, std::uint32_t, void*) {}, nullptr), status);
    EXPECT_TRUE(sent().empty());
}

// The last guard before the simulator: a value that is not finite, or that
// no aircraft can have, never leaves in a position or a creation, whatever
// the engine computed from a report.
TEST_F(Packets, ImpossibleValuesAreRefusedBeforeTheSimulator) {
    openFake();
    const std::pair<const char*, const char*> datums[] = {
        {"Plane Latitude", "degree"},       {"Plane Longitude", "degree"},
        {"Plane Pitch degrees", "radians"}, {"Plane Bank degrees", "radians"},
        {"Plane Heading degrees true", "radians"}, {"Plane Altitude", "feet"},
        {"Vertical Speed", "feet per second"},     {"Airspeed True", "knots"}};
    for (const auto& [name, units] : datums)
        ASSERT_EQ(SimConnect_AddToDataDefinition(handle, 402, name, units, SimDatumFloat64, 0.0f, kSimUnusedDatumId),
                  SIMCONNECT_OK);
    sent();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    struct Row {
        const char* name;
        std::size_t index;  // of the value changed
        double value;
        bool sent;
    };
    const Row rows[] = {
        {"a sound position", 0, 52.3, true},
        {"an airport below sea level", 5, -1200.0, true},
        {"a helicopter backwards", 7, -30.0, true},
        {"latitude 91", 0, 91.0, false},
        {"longitude -181", 1, -181.0, false},
        {"pitch NaN", 2, kNaN, false},
        {"bank NaN", 3, kNaN, false},
        {"heading infinite", 4, std::numeric_limits<double>::infinity(), false},
        {"altitude 1e308", 5, 1e308, false},
        {"vertical speed 1.67e306 ft/s", 6, 1.67e306, false},
        {"airspeed 1e308", 7, 1e308, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        double values[8] = {52.3, 4.76, 0.02, -0.1, 1.2, 3000.0, 10.0, 250.0};
        values[row.index] = row.value;
        EXPECT_EQ(SimConnect_SetDataOnSimObject(handle, 402, 9, 0, 0, 64, values),
                  row.sent ? SIMCONNECT_OK : SIMCONNECT_E_INVALIDARG);
        EXPECT_EQ(sent().size(), row.sent ? 1u : 0u);
    }
    // A block of another layout is not read as positions.
    const Bytes other = doubles({1e308, kNaN, 5.0});
    EXPECT_EQ(SimConnect_SetDataOnSimObject(handle, 401, 9, 0, 1, 24, other.data()), SIMCONNECT_OK);
    EXPECT_EQ(sent().size(), 1u);

    SimConnectInitPosition position{52.3, 4.76, 3000.0, 0.0, 0.0, 90.0, 0, 250};
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(handle, "t", "n", position, 104), SIMCONNECT_OK);
    EXPECT_EQ(sent().size(), 1u);
    position.bank_deg = kNaN;
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(handle, "t", "n", position, 104), SIMCONNECT_E_INVALIDARG);
    position.bank_deg = 0.0;
    position.altitude_ft = 1e308;
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(handle, "t", "n", position, 104), SIMCONNECT_E_INVALIDARG);
    EXPECT_TRUE(sent().empty());
}
