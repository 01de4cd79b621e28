// The Windows build serves the simulator's named pipe besides TCP.
#include "simstub/host.h"
#include "simstub/client_bytes.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

namespace t = simstub_test;

class PipeClient {
public:
    // Like any pipe client: a busy pipe (every instance taken until the
    // server makes the next one) is waited for.
    explicit PipeClient(const std::wstring& path) {
        for (int attempt = 0; attempt < 10; ++attempt) {
            h_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (h_ != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PIPE_BUSY) return;
            WaitNamedPipeW(path.c_str(), 1000);
        }
    }
    ~PipeClient() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    bool connected() const { return h_ != INVALID_HANDLE_VALUE; }

    bool send(const t::Bytes& b) {
        DWORD n = 0;
        return WriteFile(h_, b.data(), static_cast<DWORD>(b.size()), &n, nullptr) && n == b.size();
    }

    // Reads only what PeekNamedPipe shows is there, so a silent server
    // cannot hang the test past its deadline.
    std::vector<t::Message> receive(std::size_t count) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            auto got = t::splitMessages(buffer_);
            if (got.size() >= count) return got;
            DWORD avail = 0;
            if (!PeekNamedPipe(h_, nullptr, 0, nullptr, &avail, nullptr)) break;
            if (avail == 0) {
                Sleep(10);
                continue;
            }
            std::uint8_t buf[4096];
            DWORD n = 0;
            if (!ReadFile(h_, buf, std::min<DWORD>(avail, sizeof buf), &n, nullptr)) break;
            buffer_.insert(buffer_.end(), buf, buf + n);
        }
        return t::splitMessages(buffer_);
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
    t::Bytes buffer_;
};

TEST(SimstubPipe, ServesOpenAndDataOverTheNamedPipe) {
    std::string name = "simstub-test-" + std::to_string(GetCurrentProcessId());
    simstub::HostOptions o;
    o.pipe = true;
    o.pipePath = "\\\\.\\pipe\\" + name;
    simstub::Host host(o, simstub::parseScenario(nlohmann::json::object()));
    std::string error;
    ASSERT_TRUE(host.start(error)) << error;
    std::atomic<bool> stop{false};
    std::thread runner([&] { host.run(stop); });
    struct Joiner {
        std::atomic<bool>& stop;
        std::thread& runner;
        ~Joiner() {
            stop = true;
            runner.join();
        }
    } joiner{stop, runner};

    std::wstring path = L"\\\\.\\pipe\\" + std::wstring(name.begin(), name.end());
    {
        PipeClient first(path);
        PipeClient second(path);    // a new instance waits for every client
        ASSERT_TRUE(first.connected());
        ASSERT_TRUE(second.connected());
        t::Bytes setup = t::openPacket(1);
        for (const auto& p : {t::addDatumPacket(2, 408, "ATC MODEL", "", t::kString32),
                              t::requestDataPacket(3, 107, 408, 0, 1)}) {
            setup.insert(setup.end(), p.begin(), p.end());
        }
        ASSERT_TRUE(first.send(setup));
        auto got = first.receive(2);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].id(), 2u);
        EXPECT_EQ(got[0].size(), 308u);
        EXPECT_EQ(got[1].id(), 8u);
        EXPECT_EQ(got[1].text(40, 32), "A320");

        ASSERT_TRUE(second.send(t::fsxOpenPacket(1)));
        got = second.receive(1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].version(), 4u);
    }
}

}  // namespace
