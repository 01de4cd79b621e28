#include "link_fixture.h"

#include <algorithm>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kDefineId = 1;
constexpr std::uint32_t kRequestUser = 11;
constexpr std::uint32_t kRequestByType = 12;
constexpr std::uint32_t kRadius_m = 20000;

std::uint32_t lf_u32(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b.at(at)) | static_cast<std::uint32_t>(b.at(at + 1)) << 8 |
           static_cast<std::uint32_t>(b.at(at + 2)) << 16 | static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}

std::uint32_t lf_lastSent(SimConnectHandle handle) {
    std::uint32_t id = 0;
    EXPECT_EQ(SimConnect_GetLastSentPacketID(handle, &id), SIMCONNECT_OK);
    return id;
}

// The untagged data of the exchange's definition.
struct AircraftData {
    double lat = 0;
    double lon = 0;
    std::string atcId;
    std::string title;
};

AircraftData lf_readData(const Bytes& message, SimRecvObjectDataMsg& header) {
    AircraftData data;
    EXPECT_TRUE(gf_readSimRecvObjectData(message.data(), static_cast<std::uint32_t>(message.size()), header));
    SimDataCursor cursor(header.data);
    EXPECT_TRUE(cursor.f64(data.lat) && cursor.f64(data.lon) && cursor.string32(data.atcId) &&
                cursor.stringV(data.title));
    // Nothing of the message is left over past the definition's data.
    EXPECT_EQ(cursor.offset(), header.data.size());
    return data;
}

// The record lines of one session that are packets of the client.
std::vector<Json> lf_packets(const std::vector<Json>& record, int session) {
    std::vector<Json> out;
    for (const auto& line : record)
        if (line.contains("function") && line.value("session", -1) == session) out.push_back(line);
    return out;
}

}  // namespace

void SimStubLink::SetUp() {
    gf_resetSimConnectPlatform();
    // SimConnect.cfg comes from the working folder, as the program reads it.
    clientFolder = scratch.path() / "client";
    fs::create_directories(clientFolder);
    previousFolder = fs::current_path();
    fs::current_path(clientFolder);
}

void SimStubLink::TearDown() {
    if (handle) SimConnect_Close(handle);
    handle = nullptr;
    EXPECT_EQ(SimConnectTransport::liveCount(), 0);
    gf_resetSimConnectPlatform();
    if (stub) {
        EXPECT_TRUE(stub->stop()) << stub->output();
    }
    fs::current_path(previousFolder);
}

void SimStubLink::startStub(const SimStubOptions& options) {
    const std::string missing = SimStubProcess::missing(options.build);
    if (!missing.empty()) {
        GTEST_SKIP() << missing;
    }
    const fs::path folder = scratch.path() / "stub";
    fs::create_directories(folder);
    std::string whyNot;
    stub = SimStubProcess::start(options, folder, whyNot);
    ASSERT_TRUE(stub) << whyNot;
}

void SimStubLink::writeConfig(const std::string& lines) {
    std::ofstream(clientFolder / "SimConnect.cfg", std::ios::binary) << "[SimConnect]\n" << lines;
}

void SimStubLink::recordAttempts() {
    auto open = g_simConnectPlatform.openIo;
    g_simConnectPlatform.openIo = [this, open](const SimConnectEndpoint& e, SimConnectTransport& owner) {
        attempts.push_back(e.kind == SimTransportKind::Pipe
                               ? "pipe " + e.pipePath
                               : "ipv" + std::to_string(e.family) + " " + e.address + " " + e.port);
        return open(e, owner);
    };
}

void SimStubLink::collect(const std::uint8_t* data, std::uint32_t size, void* context) {
    static_cast<SimStubLink*>(context)->messages.emplace_back(data, data + size);
}

bool SimStubLink::pump(const std::function<bool()>& done) {
    return gf_eventually([&] {
        lastDispatch = SimConnect_CallDispatch(handle, collect, this);
        return lastDispatch != SIMCONNECT_OK || done();
    }) && lastDispatch == SIMCONNECT_OK;
}

std::vector<Bytes> SimStubLink::messagesWithId(std::uint32_t id) const {
    std::vector<Bytes> out;
    for (const Bytes& m : messages)
        if (lf_u32(m, 8) == id) out.push_back(m);
    return out;
}

void SimStubLink::exchange(ExchangeSent& sent) {
    ASSERT_TRUE(handle);
    sent.openSendId = lf_lastSent(handle);

    // OPEN comes first, in the client's protocol, naming the v6 simulator.
    ASSERT_TRUE(pump([&] { return !messages.empty(); })) << "no OPEN; dispatch gave " << lastDispatch;
    const Bytes& open = messages.front();
    ASSERT_EQ(lf_u32(open, 8), SimRecvOpen);
    EXPECT_EQ(open.size(), 308u);
    EXPECT_EQ(lf_u32(open, 0), open.size());
    EXPECT_EQ(lf_u32(open, 4), kSimProtocolVersion);
    SimRecvOpenMsg opened;
    ASSERT_TRUE(gf_readSimRecvOpen(open.data(), static_cast<std::uint32_t>(open.size()), opened));
    EXPECT_NE(opened.name.find("v6"), std::string::npos) << opened.name;
    EXPECT_EQ(opened.versionMajor, 6u);

    ASSERT_EQ(SimConnect_AddToDataDefinition(handle, kDefineId, "PLANE LATITUDE", "degrees", SimDatumFloat64, 0,
                                             kSimUnusedDatumId),
              SIMCONNECT_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(handle, kDefineId, "PLANE LONGITUDE", "degrees", SimDatumFloat64, 0,
                                             kSimUnusedDatumId),
              SIMCONNECT_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(handle, kDefineId, "ATC ID", nullptr, SimDatumString32, 0,
                                             kSimUnusedDatumId),
              SIMCONNECT_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(handle, kDefineId, "TITLE", nullptr, SimDatumStringV, 0,
                                             kSimUnusedDatumId),
              SIMCONNECT_OK);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, kRequestUser, kDefineId, kSimObjectIdUser, SimPeriodOnce, 0,
                                                0, 0, 0),
              SIMCONNECT_OK);
    sent.requestSendId = lf_lastSent(handle);
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(handle, kRequestByType, kDefineId, kRadius_m,
                                                    SimObjectTypeAircraft),
              SIMCONNECT_OK);
    sent.byTypeSendId = lf_lastSent(handle);

    ASSERT_TRUE(pump([&] {
        return messagesWithId(SimRecvSimObjectData).size() == 1 &&
               messagesWithId(SimRecvSimObjectDataByType).size() == 2;
    })) << "dispatch gave " << lastDispatch << ", " << messages.size() << " messages";
    EXPECT_TRUE(messagesWithId(SimRecvException).empty());

    // The request on object 0 is answered with the user's real id; each
    // message arrives whole, at its own size.
    const Bytes data = messagesWithId(SimRecvSimObjectData).front();
    SimRecvObjectDataMsg header;
    AircraftData user = lf_readData(data, header);
    EXPECT_EQ(lf_u32(data, 0), data.size());
    EXPECT_EQ(data.size(), 40u + 8 + 8 + 32 + 16);
    EXPECT_EQ(header.requestId, kRequestUser);
    EXPECT_EQ(header.objectId, kUserObjectId);
    EXPECT_EQ(header.defineId, kDefineId);
    EXPECT_EQ(header.entryNumber, 1u);
    EXPECT_EQ(header.outOf, 1u);
    EXPECT_EQ(header.defineCount, 4u);
    EXPECT_NEAR(user.lat, kUserLat, 1e-9);
    EXPECT_NEAR(user.lon, kUserLon, 1e-9);
    EXPECT_EQ(user.atcId, "STUB1");
    EXPECT_EQ(user.title, "Stub Airliner");

    // By type: the user first, then the other aircraft, entries 1..2 of 2.
    const auto byType = messagesWithId(SimRecvSimObjectDataByType);
    SimRecvObjectDataMsg first, second;
    AircraftData a = lf_readData(byType[0], first);
    AircraftData b = lf_readData(byType[1], second);
    EXPECT_EQ(first.requestId, kRequestByType);
    EXPECT_EQ(second.requestId, kRequestByType);
    EXPECT_EQ(first.objectId, kUserObjectId);
    EXPECT_EQ(a.atcId, "STUB1");
    EXPECT_NE(second.objectId, kUserObjectId);
    EXPECT_EQ(b.atcId, "HBJNA");
    EXPECT_EQ(b.title, "Other Traffic");
    EXPECT_EQ(first.entryNumber, 1u);
    EXPECT_EQ(second.entryNumber, 2u);
    EXPECT_EQ(first.outOf, 2u);
    EXPECT_EQ(second.outOf, 2u);
}

void SimStubLink::checkRecord(const ExchangeSent& sent, const std::string& transport) {
    ASSERT_TRUE(stub);
    // The by-type request is the last packet: once it is recorded, so is the rest.
    ASSERT_FALSE(stub->waitForRecord([&](const Json& line) {
                         return line.value("function", std::string()) == "SimConnect_RequestDataOnSimObjectType";
                     }).is_null());
    const std::vector<Json> record = stub->record();

    std::vector<Json> connects;
    std::copy_if(record.begin(), record.end(), std::back_inserter(connects),
                 [](const Json& line) { return line.value("link", std::string()) == "connect"; });
    ASSERT_EQ(connects.size(), 1u);
    EXPECT_EQ(connects[0].value("transport", std::string()), transport);
    const int session = connects[0].value("session", -1);

    const std::vector<Json> packets = lf_packets(record, session);
    ASSERT_EQ(packets.size(), 7u);
    for (const Json& p : packets) {
        SCOPED_TRACE(p.dump());
        EXPECT_FALSE(p.contains("errors"));
        EXPECT_FALSE(p.contains("exception"));
        EXPECT_FALSE(p.contains("ignored"));
        EXPECT_EQ(p.value("version", 0u), kSimProtocolVersion);
    }

    const Json& open = packets[0];
    EXPECT_EQ(open.value("function", std::string()), "SimConnect_Open");
    EXPECT_EQ(open.value("send_id", 0u), sent.openSendId);
    EXPECT_EQ(open.value("size", 0u), 296u);
    EXPECT_EQ(open.value("app_name", std::string()), "GLIM_P3D");
    EXPECT_EQ(open.value("product", std::string()), "P3D");
    EXPECT_EQ(open.value("version_major", 0u), 5u);
    EXPECT_EQ(open.value("version_minor", 0u), 3u);
    EXPECT_EQ(open.value("answer", std::string()), "OPEN");

    const char* const datums[] = {"PLANE LATITUDE", "PLANE LONGITUDE", "ATC ID", "TITLE"};
    const std::uint32_t types[] = {SimDatumFloat64, SimDatumFloat64, SimDatumString32, SimDatumStringV};
    for (int i = 0; i < 4; ++i) {
        const Json& p = packets[1 + i];
        EXPECT_EQ(p.value("function", std::string()), "SimConnect_AddToDataDefinition");
        EXPECT_EQ(p.value("size", 0u), 544u);
        EXPECT_EQ(p.value("define_id", 0u), kDefineId);
        EXPECT_EQ(p.value("datum_name", std::string()), datums[i]);
        EXPECT_EQ(p.value("datum_type", 0u), types[i]);
    }

    const Json& request = packets[5];
    EXPECT_EQ(request.value("function", std::string()), "SimConnect_RequestDataOnSimObject");
    EXPECT_EQ(request.value("send_id", 0u), sent.requestSendId);
    EXPECT_EQ(request.value("request_id", 0u), kRequestUser);
    EXPECT_EQ(request.value("define_id", 0u), kDefineId);
    EXPECT_EQ(request.value("object_id", 99u), kSimObjectIdUser);
    EXPECT_EQ(request.value("period", 0u), static_cast<std::uint32_t>(SimPeriodOnce));
    EXPECT_EQ(request.value("answered", false), true);

    const Json& byType = packets[6];
    EXPECT_EQ(byType.value("send_id", 0u), sent.byTypeSendId);
    EXPECT_EQ(byType.value("request_id", 0u), kRequestByType);
    EXPECT_EQ(byType.value("radius_m", 0u), kRadius_m);
    EXPECT_EQ(byType.value("object_type", 0u), static_cast<std::uint32_t>(SimObjectTypeAircraft));
    ASSERT_TRUE(byType.contains("answered_objects"));
    EXPECT_EQ(byType["answered_objects"].size(), 2u);
}

void SimStubLink::closeAndSeeDisconnect() {
    ASSERT_TRUE(handle);
    ASSERT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
    handle = nullptr;
    // Close returns once the transport's completions are in.
    EXPECT_EQ(SimConnectTransport::liveCount(), 0);
    const Json gone = stub->waitForRecord([](const Json& line) {
        return line.value("link", std::string()) == "disconnect";
    });
    ASSERT_TRUE(gone.is_object()) << "the stand-in never saw the client go";
    EXPECT_EQ(gone.value("reason", std::string()), "closed by the client");
}
