// The real transport of this build against a loopback server thread: Open and
// OPEN, a data request and its answer, the fallback to IPv4, and closing.
#include "loopback_fixture.h"

namespace {

// A port nothing listens on: a listener's port, closed again.
std::string closedPort(bool ipv6) {
    std::uint16_t port = 0;
    loopback::Socket s = loopback::listenOn(ipv6, port);
    if (s != loopback::kNoSocket) loopback::closeSocket(s);
    return std::to_string(port == 0 ? 1 : port);
}

}  // namespace

TEST_F(Loopback, ExchangeOverIPv4) {
    LoopbackServer server;
    ASSERT_TRUE(server.listening());
    useServer(server.port(), "IPv4", "127.0.0.1");
    exchange([&] { return server.packets(); });
    ASSERT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
    handle = nullptr;
    EXPECT_TRUE(eventually([&] { return server.clientGone(); }));
}

TEST_F(Loopback, ExchangeOverIPv6) {
    LoopbackServer server(LoopbackServer::Mode::Answer, true);
    if (!server.listening()) GTEST_SKIP() << "no IPv6 loopback here";
    useServer(server.port(), "IPv6", "::1");
    exchange([&] { return server.packets(); });
}

// With Protocol=Auto and no simulator pipe: the pipe, then ::1 on the
// registry's IPv6 port (nothing there), then 127.0.0.1 on its IPv4 port.
TEST_F(Loopback, AutoFallsBackToIPv4) {
    LoopbackServer server;
    ASSERT_TRUE(server.listening());
    port6 = closedPort(true);
    port4 = server.port();
    writeFile(current / "SimConnect.cfg", "[SimConnect]\nProtocol=Auto\n");
    exchange([&] { return server.packets(); });
    EXPECT_EQ(attempts, (std::vector<std::string>{"pipe \\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect",
                                                   "ipv6 ::1", "ipv4 127.0.0.1"}));
}

// Closing while the read is outstanding (the server never answers) ends the
// connection cleanly on both sides.
TEST_F(Loopback, CloseWithReadOutstanding) {
    LoopbackServer server(LoopbackServer::Mode::Silent);
    ASSERT_TRUE(server.listening());
    useServer(server.port(), "IPv4", "127.0.0.1");
    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
    ASSERT_TRUE(eventually([&] { return server.packets().size() == 1; }));
    ASSERT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
    handle = nullptr;
    EXPECT_TRUE(eventually([] { return SimConnectTransport::liveCount() == 0; }));
    EXPECT_TRUE(eventually([&] { return server.clientGone(); }));
}

// A post that races the close must not reach the socket once it is closed:
// the system may already have given its handle value to something else.
TEST_F(Loopback, PostsAfterCloseAreRefused) {
    LoopbackServer server(LoopbackServer::Mode::Silent);
    ASSERT_TRUE(server.listening());
    useServer(server.port(), "IPv4", "127.0.0.1");
    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
    ASSERT_TRUE(eventually([&] { return server.packets().size() == 1; }));
    expectPostsRefusedAfterClose();
}

// The simulator going away fails the connection: dispatch and every later
// call report it.
TEST_F(Loopback, ServerClosesTheConnection) {
    LoopbackServer server(LoopbackServer::Mode::CloseAfterOpen);
    ASSERT_TRUE(server.listening());
    useServer(server.port(), "IPv4", "127.0.0.1");
    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
    ASSERT_TRUE(eventually([&] { return gf_simConnectFailed(lastDispatch); }));
    EXPECT_TRUE(received(2));
    EXPECT_EQ(lastDispatch, static_cast<SimConnectResult>(kSimStatusLinkFailed));
    EXPECT_EQ(SimConnect_AIRemoveObject(handle, 9, 105), lastDispatch);
}

// A connection that cannot be made leaves nothing behind.
TEST_F(Loopback, NothingListening) {
    writeFile(current / "SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + closedPort(false) +
                                              "\n");
    EXPECT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_E_FAIL);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(SimConnectTransport::liveCount(), 0);
}

// A host that never takes the connection (a simulator PC switched off, a
// firewall that drops): a listener whose one-place queue is full drops the
// next handshake the same way. The attempt gives up after the connect
// time-out and fails like a refusal, so the caller waits and tries again.
TEST_F(Loopback, HostThatNeverAnswersFailsLikeARefusal) {
    std::uint16_t port = 0;
    const loopback::Socket listener = loopback::listenOn(false, port, 0);
    ASSERT_NE(listener, loopback::kNoSocket);
    useServer(std::to_string(port), "IPv4", "127.0.0.1");
    g_simConnectPlatform.connectTimeout = 300ms;
    SimConnectHandle filler = nullptr;
    ASSERT_EQ(SimConnect_Open(&filler, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_E_FAIL);
    // Bounded by the time-out, not by the system's minutes of retries.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ(handle, nullptr);
    SimConnect_Close(filler);
    loopback::closeSocket(listener);
}
