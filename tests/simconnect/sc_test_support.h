// Helpers shared by the SimConnect library tests: a scripted pipe/socket that
// completes I/O only when the test says so, byte builders for packets and
// messages, and a fixture that installs the fake and a temporary folder for
// SimConnect.cfg.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "simconnect/api.h"
#include "simconnect/platform.h"
#include "simconnect/transport.h"

using Bytes = std::vector<std::uint8_t>;

// Little-endian writer over a zeroed buffer.
class ByteWriter {
public:
    explicit ByteWriter(std::size_t size) : m_bytes(size, 0) {}
    ByteWriter& u32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) m_bytes.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
        return *this;
    }
    ByteWriter& f32(std::size_t at, float v) {
        std::uint32_t raw;
        std::memcpy(&raw, &v, 4);
        return u32(at, raw);
    }
    ByteWriter& f64(std::size_t at, double v) {
        std::uint64_t raw;
        std::memcpy(&raw, &v, 8);
        u32(at, static_cast<std::uint32_t>(raw));
        return u32(at + 4, static_cast<std::uint32_t>(raw >> 32));
    }
    ByteWriter& text(std::size_t at, const std::string& s) {
        std::copy(s.begin(), s.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(at));
        return *this;
    }
    ByteWriter& raw(std::size_t at, const Bytes& b) {
        std::copy(b.begin(), b.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(at));
        return *this;
    }
    const Bytes& bytes() const { return m_bytes; }
    operator Bytes() const { return m_bytes; }

private:
    Bytes m_bytes;
};

inline std::uint32_t readU32(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b.at(at)) | static_cast<std::uint32_t>(b.at(at + 1)) << 8 |
           static_cast<std::uint32_t>(b.at(at + 2)) << 16 | static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}

// A packet as the client must send it: size, version 35, packet id, send id.
inline ByteWriter packetBytes(std::uint32_t size, std::uint32_t function, std::uint32_t sendId) {
    ByteWriter w(size);
    w.u32(0, size).u32(4, 35).u32(8, 0xF0000000u + function).u32(12, sendId);
    return w;
}

// A message as the simulator sends it: size, version, id, then fill bytes
// (cut to size when that is shorter than a header).
inline Bytes messageBytes(std::uint32_t size, std::uint32_t id, std::uint8_t fill = 0x5A) {
    Bytes b(std::max<std::uint32_t>(size, 12), fill);
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<std::uint8_t>(size >> (8 * i));
        b[4 + i] = static_cast<std::uint8_t>(35u >> (8 * i));
        b[8 + i] = static_cast<std::uint8_t>(id >> (8 * i));
    }
    b.resize(size);
    return b;
}

// The OPEN answer: 308 bytes, name at 12, application version at 268..280.
inline Bytes openMessage(const std::string& name, std::uint32_t version = 35) {
    ByteWriter w(308);
    w.u32(0, 308).u32(4, version).u32(8, 2).text(12, name);
    w.u32(268, 5).u32(272, 4).u32(276, 0).u32(280, 24);
    w.u32(284, 5).u32(288, 4).u32(292, 0).u32(296, 24);
    return w;
}

// The state a FakeIo shares with its test; it outlives the transport.
struct FakeIoState {
    SimConnectTransport* owner = nullptr;
    std::uint8_t* readBuffer = nullptr;
    std::uint32_t readSize = 0;
    bool readPending = false;
    const std::uint8_t* writeData = nullptr;
    std::uint32_t writeSize = 0;
    bool writePending = false;
    std::vector<Bytes> written;  // every completed write
    std::uint32_t failReadPost = 0;
    std::uint32_t failWritePost = 0;
    bool closed = false;
    bool noDelay = false;
    // Completes what is outstanding as cancelled when the owner waits after
    // its close, as the native reader thread does; off: the test completes
    // it later, as the system's completion threads may.
    bool cancelOnWait = true;
    bool destroyed = false;
    // Runs once right after the next write is posted, as a completion thread
    // may run before the posting call has returned.
    std::function<void()> onWritePosted;

    // Completes every posted write, one after the other.
    void completeWrites() {
        while (writePending) {
            writePending = false;
            written.emplace_back(writeData, writeData + writeSize);
            owner->completeWrite(kSimStatusSuccess, 0, writeSize);
        }
    }
    // Hands bytes to the posted reads, as many reads as they need.
    void deliver(const Bytes& bytes, std::size_t chunk = SIZE_MAX) {
        std::size_t at = 0;
        while (at < bytes.size()) {
            ASSERT_TRUE(readPending) << "no read posted at byte " << at;
            std::size_t n = std::min({chunk, bytes.size() - at, static_cast<std::size_t>(readSize)});
            std::memcpy(readBuffer, bytes.data() + at, n);
            at += n;
            readPending = false;
            owner->completeRead(kSimStatusSuccess, 0, static_cast<std::uint32_t>(n));
        }
    }
    void completeRead(std::uint32_t status, std::uint32_t bytes) {
        ASSERT_TRUE(readPending);
        readPending = false;
        owner->completeRead(status, 0, bytes);
    }
    void cancelOutstanding() {
        if (readPending) {
            readPending = false;
            owner->completeRead(kSimStatusCancelled, 0, 0);
        }
        if (writePending) {
            writePending = false;
            owner->completeWrite(kSimStatusCancelled, 0, 0);
        }
    }
};

class FakeIo final : public SimConnectIo {
public:
    explicit FakeIo(std::shared_ptr<FakeIoState> state) : m_state(std::move(state)) {}
    ~FakeIo() override { m_state->destroyed = true; }
    std::uint32_t postRead(std::uint8_t* buffer, std::uint32_t size) override {
        if (std::uint32_t fail = std::exchange(m_state->failReadPost, 0)) return fail;
        EXPECT_FALSE(m_state->readPending);
        m_state->readBuffer = buffer;
        m_state->readSize = size;
        m_state->readPending = true;
        return 0;
    }
    std::uint32_t postWrite(const std::uint8_t* buffer, std::uint32_t size) override {
        if (std::uint32_t fail = std::exchange(m_state->failWritePost, 0)) return fail;
        EXPECT_FALSE(m_state->writePending) << "two writes in flight";
        m_state->writeData = buffer;
        m_state->writeSize = size;
        m_state->writePending = true;
        if (auto hook = std::exchange(m_state->onWritePosted, nullptr)) hook();
        return 0;
    }
    void setNoDelay() override { m_state->noDelay = true; }
    void cancelAndClose() override { m_state->closed = true; }
    void waitForCompletions() override {
        if (m_state->cancelOnWait) m_state->cancelOutstanding();
    }

private:
    std::shared_ptr<FakeIoState> m_state;
};

class TempFolder {
public:
    TempFolder() {
        std::random_device rd;
        m_path = std::filesystem::temp_directory_path() /
                 ("glim_sc_" + std::to_string(rd()) + "_" + std::to_string(rd()));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path sub(const std::string& name) const {
        auto p = m_path / name;
        std::filesystem::create_directories(p);
        return p;
    }

private:
    std::filesystem::path m_path;
};

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// Installs the fake transport: every open attempt is recorded, and the kinds
// in `accept` get a FakeIo. The three SimConnect.cfg folders are empty
// temporary folders; close does not sleep.
class SimConnectFixture : public ::testing::Test {
protected:
    void SetUp() override {
        gf_resetSimConnectPlatform();
        publicDocs = folder.sub("public");
        documents = folder.sub("documents");
        current = folder.sub("current");
        g_simConnectPlatform.publicDocumentsFolder = [this] { return publicDocs; };
        g_simConnectPlatform.documentsFolder = [this] { return documents; };
        g_simConnectPlatform.currentFolder = [this] { return current; };
        g_simConnectPlatform.registryPort = [this](bool ipv6) { return ipv6 ? registryPort6 : registryPort4; };
        g_simConnectPlatform.startNetwork = [this] {
            ++networkStarts;
            return networkStartWorks;
        };
        g_simConnectPlatform.stopNetwork = [this] { ++networkStops; };
        g_simConnectPlatform.sleep = [](std::chrono::milliseconds) {};
        g_simConnectPlatform.notify = [this](void*, std::uint32_t, void*) { ++notifications; };
        g_simConnectPlatform.openIo = [this](const SimConnectEndpoint& endpoint,
                                             SimConnectTransport& owner) -> std::unique_ptr<SimConnectIo> {
            attempts.push_back(endpoint);
            if (!acceptAttempt(endpoint)) return nullptr;
            io = std::make_shared<FakeIoState>();
            io->owner = &owner;
            return std::make_unique<FakeIo>(io);
        };
    }
    void TearDown() override {
        if (handle) {
            io->cancelOnWait = true;
            SimConnect_Close(handle);
        }
        EXPECT_EQ(SimConnectTransport::liveCount(), 0);
        gf_resetSimConnectPlatform();
    }

    virtual bool acceptAttempt(const SimConnectEndpoint& endpoint) { return acceptAll; }

    // Opens with the defaults (index -1: the pipe) and takes the Open packet.
    void openFake() {
        ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, -1), SIMCONNECT_OK);
        ASSERT_TRUE(io);
        io->completeWrites();
        io->written.clear();
    }
    // The packets written since the last call.
    std::vector<Bytes> sent() {
        io->completeWrites();
        return std::exchange(io->written, {});
    }

    TempFolder folder;
    std::filesystem::path publicDocs, documents, current;
    std::string registryPort4, registryPort6;
    bool networkStartWorks = true;
    bool acceptAll = true;
    int networkStarts = 0;
    int networkStops = 0;
    int notifications = 0;
    std::vector<SimConnectEndpoint> attempts;
    std::shared_ptr<FakeIoState> io;
    SimConnectHandle handle = nullptr;
};
