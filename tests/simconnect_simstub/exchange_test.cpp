// The client library of this build against the Linux simstub over TCP:
// natively the POSIX transport, under Wine the Winsock transport.
#include "link_fixture.h"

namespace {

SimStubOptions lf_nativeStub(const std::string& scenario) {
    SimStubOptions options;
    options.build = SimStubBuild::Native;
    options.scenario = scenario;
    return options;
}

}  // namespace

TEST_F(SimStubLink, ExchangeOverTcp) {
    startStub(lf_nativeStub(kExchangeScenario));
    if (IsSkipped() || HasFatalFailure()) return;
    writeConfig("Protocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(stub->port()) + "\n");
    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
    EXPECT_EQ(handle->kind(), SimTransportKind::Socket);
    ExchangeSent sent;
    exchange(sent);
    checkRecord(sent, "tcp");
    closeAndSeeDisconnect();
}

// With no pipe to open, Auto goes on to IPv6 on ::1 (where nothing listens)
// and then to IPv4 on 127.0.0.1, each at the simulator's registered port.
TEST_F(SimStubLink, AutoFallsBackToTcpWithoutThePipe) {
    startStub(lf_nativeStub(kExchangeScenario));
    if (IsSkipped() || HasFatalFailure()) return;
    const std::string port = std::to_string(stub->port());
    const std::string absentPipe = "glim_scs_absent_" + scratch.path().filename().string();
    writeConfig("Protocol=Auto\nAddress=.\nPort=" + absentPipe + "\n");
    // The registered ports are the simulator's: the test names the stand-in's
    // instead of writing the registry every Wine test shares.
    g_simConnectPlatform.registryPort = [port](bool) { return port; };
    recordAttempts();

    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
    EXPECT_EQ(attempts, (std::vector<std::string>{"pipe \\\\.\\pipe\\" + absentPipe, "ipv6 ::1 " + port,
                                                  "ipv4 127.0.0.1 " + port}));
    EXPECT_EQ(handle->kind(), SimTransportKind::Socket);
    ExchangeSent sent;
    exchange(sent);
    checkRecord(sent, "tcp");
    closeAndSeeDisconnect();
}

// Connections closed while the stand-in streams frames at them and while
// packets are still queued: Close returns with every completion in and no
// transport left (natively the sanitizers watch the same).
TEST_F(SimStubLink, ClosingWhileMessagesStream) {
    startStub(lf_nativeStub(R"({"frame_rate": 500})"));
    if (IsSkipped() || HasFatalFailure()) return;
    writeConfig("Protocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(stub->port()) + "\n");
    constexpr int kCycles = 3;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        messages.clear();
        ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
        ASSERT_EQ(SimConnect_SubscribeToSystemEvent(handle, 1, "Frame"), SIMCONNECT_OK);
        ASSERT_EQ(SimConnect_AddToDataDefinition(handle, 1, "PLANE LATITUDE", "degrees", SimDatumFloat64, 0,
                                                 kSimUnusedDatumId),
                  SIMCONNECT_OK);
        ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 1, 1, kSimObjectIdUser, SimPeriodSimFrame, 0, 0, 0, 0),
                  SIMCONNECT_OK);
        ASSERT_TRUE(pump([&] { return messagesWithId(SimRecvEventFrame).size() >= 10; }))
            << "dispatch gave " << lastDispatch;
        for (int i = 0; i < 200; ++i)
            ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 100 + i, 1, kSimObjectIdUser, SimPeriodOnce, 0, 0, 0,
                                                        0),
                      SIMCONNECT_OK);
        ASSERT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
        handle = nullptr;
        EXPECT_EQ(SimConnectTransport::liveCount(), 0);
        ASSERT_TRUE(gf_eventually([&] { return countLinks(stub->record(), "disconnect") == cycle + 1; }));
    }
    EXPECT_EQ(countLinks(stub->record(), "connect"), kCycles);
}
