// SimConnect.cfg: where it is read from, which section, which keys.
#include "simconnect/config.h"

#include "sc_test_support.h"

namespace {

class Config : public SimConnectFixture {
protected:
    SimConnectConfig read(int index, int expectedResult = 0) {
        SimConnectConfig config;
        EXPECT_EQ(gf_readSimConnectConfig(index, config), expectedResult);
        return config;
    }
};

}  // namespace

TEST_F(Config, DefaultsWithoutFiles) {
    for (int index : {0, -1}) {
        SimConnectConfig c = read(index);
        EXPECT_EQ(c.protocol, SimConnectProtocol::Pipe);
        EXPECT_EQ(c.address, "");
        EXPECT_EQ(c.port, "");
        EXPECT_EQ(c.maxReceiveSize, 41088u);
        EXPECT_FALSE(c.disableNagle);
    }
}

// Public Documents, then Documents, then the current folder: each later file
// overrides only the keys it sets.
TEST_F(Config, LaterFilesOverride) {
    writeFile(publicDocs / "SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=10.0.0.1\nPort=500\nDisableNagle=1\n");
    writeFile(documents / "SimConnect.cfg", "[SimConnect]\nPort=600\nMaxReceiveSize=65536\n");
    writeFile(current / "SimConnect.cfg", "[SimConnect]\nAddress=127.0.0.1\nMaxReceiveSize=50000\nDisableNagle=0\n");
    SimConnectConfig c = read(0);
    EXPECT_EQ(c.protocol, SimConnectProtocol::IPv4);
    EXPECT_EQ(c.address, "127.0.0.1");
    EXPECT_EQ(c.port, "600");
    // Only a larger value replaces the maximum receive size.
    EXPECT_EQ(c.maxReceiveSize, 65536u);
    EXPECT_FALSE(c.disableNagle);
    // Index -1 reads no file at all.
    EXPECT_EQ(read(-1).protocol, SimConnectProtocol::Pipe);
}

TEST_F(Config, KeyValues) {
    registryPort4 = "4000";
    registryPort6 = "6000";
    struct Row {
        const char* name;
        const char* file;
        SimConnectProtocol protocol;
        const char* address;
        const char* port;
        std::uint32_t maxReceiveSize;
        bool disableNagle;
    };
    const Row rows[] = {
        {"auto is the pipe", "[SimConnect]\nProtocol=Auto\nPort=MyPipe\n", SimConnectProtocol::Pipe, "", "MyPipe",
         41088, false},
        {"names without regard to case", "[simconnect]\nPROTOCOL=ipv6\naddress = ::1 \n", SimConnectProtocol::IPv6,
         "::1", "6000", 41088, false},
        {"IPv4 takes the registry port", "[SimConnect]\nProtocol=IPv4\n", SimConnectProtocol::IPv4, "", "4000", 41088,
         false},
        {"a Port key beats the registry", "[SimConnect]\nProtocol=IPv4\nPort=5555\n", SimConnectProtocol::IPv4, "",
         "5555", 41088, false},
        {"unknown protocol leaves the pipe", "[SimConnect]\nProtocol=UDP\n", SimConnectProtocol::Pipe, "", "", 41088,
         false},
        {"MaxReceiveSize 1000 is ignored", "[SimConnect]\nMaxReceiveSize=1000\n", SimConnectProtocol::Pipe, "", "",
         41088, false},
        {"MaxReceiveSize not a number", "[SimConnect]\nMaxReceiveSize=-70000\n", SimConnectProtocol::Pipe, "", "",
         41088, false},
        {"DisableNagle non-zero", "[SimConnect]\nDisableNagle=2\n", SimConnectProtocol::Pipe, "", "", 41088, true},
        {"quoted values and comments", "; comment\n[SimConnect]\n; Port=1\nAddress=\"my host\"\n",
         SimConnectProtocol::Pipe, "my host", "", 41088, false},
        {"first of a repeated key", "[SimConnect]\nPort=1\nPort=2\n", SimConnectProtocol::Pipe, "", "1", 41088, false},
        {"other sections ignored", "[SimConnect.1]\nPort=1\n[Other]\nPort=2\n", SimConnectProtocol::Pipe, "", "",
         41088, false},
        {"byte-order mark", "\xEF\xBB\xBF[SimConnect]\nPort=7\n", SimConnectProtocol::Pipe, "", "7", 41088, false},
        {"CRLF lines", "[SimConnect]\r\nProtocol=IPv4\r\nPort=8\r\n", SimConnectProtocol::IPv4, "", "8", 41088, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        writeFile(current / "SimConnect.cfg", row.file);
        SimConnectConfig c = read(0);
        EXPECT_EQ(c.protocol, row.protocol);
        EXPECT_EQ(c.address, row.address);
        EXPECT_EQ(c.port, row.port);
        EXPECT_EQ(c.maxReceiveSize, row.maxReceiveSize);
        EXPECT_EQ(c.disableNagle, row.disableNagle);
    }
}

// An earlier file's port stands: the registry only fills a port not set yet.
TEST_F(Config, RegistryPortOnlyWhenNoneSet) {
    registryPort4 = "4000";
    writeFile(publicDocs / "SimConnect.cfg", "[SimConnect]\nPort=1234\n");
    writeFile(current / "SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\n");
    EXPECT_EQ(read(0).port, "1234");
}

TEST_F(Config, NumberedSections) {
    writeFile(documents / "SimConnect.cfg", "[SimConnect.2]\nProtocol=IPv4\nPort=2002\n[SimConnect.3]\n\n");
    writeFile(current / "SimConnect.cfg", "[SimConnect]\nPort=1\n[SimConnect.2]\nAddress=localhost\n");
    SimConnectConfig c = read(2);
    EXPECT_EQ(c.protocol, SimConnectProtocol::IPv4);
    EXPECT_EQ(c.address, "localhost");
    EXPECT_EQ(c.port, "2002");
    // A section without lines does not exist.
    read(3, 3);
    read(4, 3);
    // Open turns the missing section into E_INVALIDARG without trying to connect.
    EXPECT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 4), SIMCONNECT_E_INVALIDARG);
    EXPECT_EQ(handle, nullptr);
    EXPECT_TRUE(attempts.empty());
}

TEST(ConfigPipePath, Names) {
    EXPECT_EQ(gf_simConnectPipePath("", ""), "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect");
    EXPECT_EQ(gf_simConnectPipePath("host", "Mine"), "\\\\host\\pipe\\Mine");
    EXPECT_EQ(gf_simConnectPipePath(".", ""), "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect");
    const std::string longPath = gf_simConnectPipePath("", std::string(400, 'p'));
    EXPECT_EQ(longPath.size(), 259u);
    EXPECT_EQ(longPath.substr(0, 9), "\\\\.\\pipe\\");
}
