// The fixture of the tests that run the real transport of this build
// against a server thread of the test.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "loopback_server.h"
#include "simconnect/messages.h"

using namespace std::chrono_literals;

class Loopback : public ::testing::Test {
protected:
    void SetUp() override {
        gf_resetSimConnectPlatform();
        current = folder.sub("current");
        g_simConnectPlatform.publicDocumentsFolder = [] { return std::filesystem::path(); };
        g_simConnectPlatform.documentsFolder = [] { return std::filesystem::path(); };
        g_simConnectPlatform.currentFolder = [this] { return current; };
        g_simConnectPlatform.registryPort = [this](bool ipv6) { return ipv6 ? port6 : port4; };
        g_simConnectPlatform.sleep = [](std::chrono::milliseconds) { std::this_thread::sleep_for(1ms); };
        auto open = g_simConnectPlatform.openIo;
        g_simConnectPlatform.openIo = [this, open](const SimConnectEndpoint& e, SimConnectTransport& owner) {
            attempts.push_back(e.kind == SimTransportKind::Pipe ? "pipe " + e.pipePath
                                                                 : "ipv" + std::to_string(e.family) + " " + e.address);
            auto io = open(e, owner);
            lastIo = io.get();
            return io;
        };
    }
    void TearDown() override {
        if (handle) SimConnect_Close(handle);
        EXPECT_TRUE(eventually([] { return SimConnectTransport::liveCount() == 0; }));
        gf_resetSimConnectPlatform();
    }

    // Polls until done holds, dispatching what arrives; a generous bound
    // only keeps a broken build from hanging.
    bool eventually(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            if (handle) lastDispatch = SimConnect_CallDispatch(handle, collect, this);
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
    static void collect(const std::uint8_t* data, std::uint32_t size, void* context) {
        static_cast<Loopback*>(context)->messages.emplace_back(data, data + size);
    }
    bool received(std::uint32_t id) {
        for (const Bytes& m : messages)
            if (readU32(m, 8) == id) return true;
        return false;
    }
    const Bytes& message(std::uint32_t id) {
        for (const Bytes& m : messages)
            if (readU32(m, 8) == id) return m;
        static const Bytes none;
        return none;
    }
    void useServer(const std::string& port, const char* protocol, const char* address) {
        writeFile(current / "SimConnect.cfg", std::string("[SimConnect]\nProtocol=") + protocol +
                                                  "\nAddress=" + address + "\nPort=" + port + "\n");
    }

    // Open, OPEN, the user aircraft request and its SIMOBJECT_DATA.
    void exchange(const std::function<std::vector<Bytes>()>& serverPackets) {
        ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
        ASSERT_TRUE(eventually([&] { return received(2); }));
        SimRecvOpenMsg open;
        const Bytes& o = message(2);
        ASSERT_TRUE(gf_readSimRecvOpen(o.data(), static_cast<std::uint32_t>(o.size()), open));
        EXPECT_EQ(open.name, "Lockheed Martin\xC2\xAE Prepar3D\xC2\xAE v5");
        EXPECT_EQ(open.versionMajor, 5u);
        EXPECT_EQ(open.versionMinor, 4u);
        EXPECT_EQ(open.buildMinor, 24u);

        ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 109, 403, kSimObjectIdUser, SimPeriodOnce, 0, 0, 0, 0),
                  SIMCONNECT_OK);
        ASSERT_TRUE(eventually([&] { return received(8); }));
        const Bytes& d = message(8);
        SimRecvObjectDataMsg data;
        ASSERT_TRUE(gf_readSimRecvObjectData(d.data(), static_cast<std::uint32_t>(d.size()), data));
        EXPECT_EQ(data.requestId, 109u);
        EXPECT_EQ(data.objectId, kLoopbackUserObjectId);
        EXPECT_EQ(data.defineId, 403u);
        SimDataCursor cursor(data.data);
        for (double expected : kLoopbackUserDoubles) {
            double v = 0;
            ASSERT_TRUE(cursor.f64(v));
            EXPECT_EQ(v, expected);
        }
        for (std::int64_t expected : kLoopbackUserInts) {
            std::int64_t v = 0;
            ASSERT_TRUE(cursor.i64(v));
            EXPECT_EQ(v, expected);
        }
        double beyond = 0;
        EXPECT_FALSE(cursor.f64(beyond));

        auto packets = serverPackets();
        ASSERT_EQ(packets.size(), 2u);
        EXPECT_EQ(packets[0], Bytes(packetBytes(296, 0x01, 1)
                                        .text(16, "GLIM_P3D")
                                        .u32(276, 0x50334400u)
                                        .u32(280, 5)
                                        .u32(284, 3)));
        EXPECT_EQ(packets[1], Bytes(packetBytes(48, 0x0E, 2).u32(16, 109).u32(20, 403).u32(28, 1)));
    }

    // Closes the open connection's transport, as a failing completion does,
    // and posts on its pipe or socket afterwards, as a completion thread may
    // still do: both posts must be refused without touching the closed handle.
    void expectPostsRefusedAfterClose() {
        ASSERT_TRUE(handle && lastIo);
        SimConnectIo* io = lastIo;
        handle->close(SimFailureNone, 0);
        std::uint8_t byte = 0;
        EXPECT_EQ(io->postRead(&byte, 1), kSimStatusCancelled);
        EXPECT_EQ(io->postWrite(&byte, 1), kSimStatusCancelled);
    }

    TempFolder folder;
    std::filesystem::path current;
    SimConnectIo* lastIo = nullptr;
    std::string port4, port6;
    std::vector<std::string> attempts;
    std::vector<Bytes> messages;
    SimConnectResult lastDispatch = SIMCONNECT_OK;
    SimConnectHandle handle = nullptr;
};
