// The order in which SimConnect_Open tries the pipe and the sockets.
#include "simconnect/config.h"

#include "sc_test_support.h"

namespace {

const std::string kDefaultPipe = "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect";

std::string describe(const SimConnectEndpoint& e) {
    if (e.kind == SimTransportKind::Pipe) return "pipe " + e.pipePath;
    return "ipv" + std::to_string(e.family) + " " + e.address + " " + e.port;
}

class Connect : public SimConnectFixture {
protected:
    bool acceptAttempt(const SimConnectEndpoint& e) override { return !accept.empty() && describe(e) == accept; }

    std::vector<std::string> tried() const {
        std::vector<std::string> out;
        for (const auto& e : attempts) out.push_back(describe(e));
        return out;
    }
    std::string accept;
};

}  // namespace

TEST_F(Connect, FallbackOrder) {
    struct Row {
        const char* name;
        const char* cfg;  // [SimConnect] lines
        std::string port4, port6;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"auto: pipe, ::1, 127.0.0.1, pipe again", "Protocol=Auto\n", "4000", "6000",
         {"pipe " + kDefaultPipe, "ipv6 ::1 6000", "ipv4 127.0.0.1 4000", "pipe " + kDefaultPipe}},
        {"a named pipe falls back the same way", "Port=Custom\n", "4000", "6000",
         {"pipe \\\\.\\pipe\\Custom", "ipv6 ::1 6000", "ipv4 127.0.0.1 4000", "pipe " + kDefaultPipe}},
        {"sockets without registry ports are skipped", "", "", "", {"pipe " + kDefaultPipe, "pipe " + kDefaultPipe}},
        {"a remote pipe host never falls back", "Protocol=Pipe\nAddress=simpc\n", "4000", "6000",
         {"pipe \\\\simpc\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect"}},
        {"IPv6 to ::1 falls back to IPv4", "Protocol=IPv6\nAddress=::1\nPort=7\n", "4000", "6000",
         {"ipv6 ::1 7", "ipv4 127.0.0.1 4000", "pipe " + kDefaultPipe}},
        {"IPv6 elsewhere stops", "Protocol=IPv6\nAddress=fe80::2\nPort=7\n", "4000", "6000", {"ipv6 fe80::2 7"}},
        {"IPv4 to 127.0.0.1 ends with the pipe", "Protocol=IPv4\nAddress=127.0.0.1\nPort=8\n", "4000", "6000",
         {"ipv4 127.0.0.1 8", "pipe " + kDefaultPipe}},
        {"IPv4 elsewhere stops", "Protocol=IPv4\nAddress=simpc\n", "4000", "6000", {"ipv4 simpc 4000"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        attempts.clear();
        registryPort4 = row.port4;
        registryPort6 = row.port6;
        writeFile(current / "SimConnect.cfg", std::string("[SimConnect]\n") + row.cfg);
        SimConnectHandle h = reinterpret_cast<SimConnectHandle>(1);
        EXPECT_EQ(SimConnect_Open(&h, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_E_FAIL);
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(tried(), row.expected);
    }
    EXPECT_EQ(SimConnectTransport::liveCount(), 0);
}

// Prepar3D v5 and v6 each serve a pipe of their own: the defaults follow the
// version looked for, and a number that is no Prepar3D changes nothing.
TEST_F(Connect, DefaultPipeOfTheVersionLookedFor) {
    struct Row {
        int version;
        const char* pipe;
    };
    const Row rows[] = {
        {6, "\\\\.\\pipe\\Lockheed Martin Prepar3D v6\\SimConnect"},
        {4, "\\\\.\\pipe\\Lockheed Martin Prepar3D v6\\SimConnect"},
        {5, "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect"},
        {7, "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.version);
        attempts.clear();
        gf_setSimConnectP3dVersion(row.version);
        SimConnectHandle h = nullptr;
        EXPECT_EQ(SimConnect_Open(&h, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_E_FAIL);
        EXPECT_EQ(tried(), (std::vector<std::string>{std::string("pipe ") + row.pipe, std::string("pipe ") + row.pipe}));
    }
    gf_resetSimConnectPlatform();
    EXPECT_EQ(gf_simConnectP3dVersion(), 5);
}

// The first attempt that connects ends the search.
TEST_F(Connect, StopsAtTheFirstConnection) {
    registryPort4 = "4000";
    registryPort6 = "6000";
    accept = "ipv4 127.0.0.1 4000";
    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
    EXPECT_EQ(tried(), (std::vector<std::string>{"pipe " + kDefaultPipe, "ipv6 ::1 6000", "ipv4 127.0.0.1 4000"}));
    EXPECT_EQ(handle->kind(), SimTransportKind::Socket);
    EXPECT_EQ(networkStarts, 1);
    ASSERT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
    handle = nullptr;
    // The last connection closed stops the network again.
    EXPECT_EQ(networkStops, 1);
}

TEST_F(Connect, NetworkThatWillNotStart) {
    networkStartWorks = false;
    writeFile(current / "SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nPort=8\n");
    EXPECT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_E_FAIL);
    EXPECT_TRUE(attempts.empty());
}

TEST_F(Connect, DisableNagleOnSocketsOnly) {
    writeFile(current / "SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=8\nDisableNagle=1\n");
    accept = "ipv4 127.0.0.1 8";
    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
    EXPECT_TRUE(io->noDelay);
    ASSERT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
    handle = nullptr;

    writeFile(current / "SimConnect.cfg", "[SimConnect]\nDisableNagle=1\n");
    accept = "pipe " + kDefaultPipe;
    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
    EXPECT_FALSE(io->noDelay);
}
