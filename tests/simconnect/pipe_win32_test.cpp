// The Windows transport over a named pipe served by a thread of the test, and
// what closing leaves behind.
#include <windows.h>
#include <tlhelp32.h>

#include <atomic>

#include "loopback_fixture.h"

namespace {

// A pipe server for one client, with overlapped I/O so that it can always be
// stopped.
class PipeServer {
public:
    PipeServer(const std::string& name, bool answer) : m_answer(answer) {
        const std::wstring path = L"\\\\.\\pipe\\" + std::wstring(name.begin(), name.end());
        m_pipe = CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
        m_io = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (m_pipe != INVALID_HANDLE_VALUE) m_thread = std::thread([this] { run(); });
    }
    ~PipeServer() {
        SetEvent(m_stop);
        if (m_thread.joinable()) m_thread.join();
        if (m_pipe != INVALID_HANDLE_VALUE) CloseHandle(m_pipe);
        CloseHandle(m_io);
        CloseHandle(m_stop);
    }
    bool listening() const { return m_pipe != INVALID_HANDLE_VALUE; }
    std::vector<Bytes> packets() const {
        std::lock_guard lock(m_lock);
        return m_packets;
    }
    bool clientGone() const { return m_clientGone; }

private:
    // Waits for the request or the stop; false when it failed or was stopped.
    bool finish(OVERLAPPED& ov, BOOL started, DWORD& bytes) {
        if (!started && GetLastError() != ERROR_IO_PENDING) return false;
        HANDLE handles[2] = {m_io, m_stop};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelIo(m_pipe);
            GetOverlappedResult(m_pipe, &ov, &bytes, TRUE);
            return false;
        }
        return GetOverlappedResult(m_pipe, &ov, &bytes, FALSE) != FALSE;
    }
    bool transfer(std::uint8_t* data, std::size_t size, bool write) {
        while (size > 0) {
            OVERLAPPED ov{};
            ov.hEvent = m_io;
            ResetEvent(m_io);
            DWORD bytes = 0;
            BOOL started = write ? WriteFile(m_pipe, data, static_cast<DWORD>(size), nullptr, &ov)
                                 : ReadFile(m_pipe, data, static_cast<DWORD>(size), nullptr, &ov);
            if (!finish(ov, started, bytes) || bytes == 0) return false;
            data += bytes;
            size -= bytes;
        }
        return true;
    }
    void run() {
        OVERLAPPED ov{};
        ov.hEvent = m_io;
        DWORD bytes = 0;
        BOOL connected = ConnectNamedPipe(m_pipe, &ov);
        if (!connected && GetLastError() != ERROR_PIPE_CONNECTED && !finish(ov, connected, bytes)) return;
        for (;;) {
            Bytes header(4);
            if (!transfer(header.data(), 4, false)) break;
            const std::uint32_t size = readU32(header, 0);
            if (size < 16 || size > 65536) break;
            Bytes packet(size);
            std::copy(header.begin(), header.end(), packet.begin());
            if (!transfer(packet.data() + 4, size - 4, false)) break;
            {
                std::lock_guard lock(m_lock);
                m_packets.push_back(packet);
            }
            if (!m_answer) continue;
            Bytes answer = gf_loopbackAnswer(packet);
            if (!answer.empty() && !transfer(answer.data(), answer.size(), true)) break;
        }
        m_clientGone = true;
    }

    bool m_answer;
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
    HANDLE m_io = nullptr;
    HANDLE m_stop = nullptr;
    mutable std::mutex m_lock;
    std::vector<Bytes> m_packets;
    std::atomic<bool> m_clientGone{false};
    std::thread m_thread;
};

std::string uniquePipeName() {
    static int counter = 0;
    return "glim_sc_test_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
}

int threadsOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

}  // namespace

TEST_F(Loopback, ExchangeOverPipe) {
    const std::string name = uniquePipeName();
    PipeServer server(name, true);
    ASSERT_TRUE(server.listening());
    useServer(name, "Pipe", "");
    exchange([&] { return server.packets(); });
    EXPECT_EQ(handle->kind(), SimTransportKind::Pipe);
    ASSERT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
    handle = nullptr;
    EXPECT_TRUE(eventually([&] { return server.clientGone(); }));
}

// The same for the pipe, whose handle is closed with CloseHandle.
TEST_F(Loopback, PipePostsAfterCloseAreRefused) {
    const std::string name = uniquePipeName();
    PipeServer server(name, false);
    ASSERT_TRUE(server.listening());
    useServer(name, "Pipe", "");
    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
    ASSERT_TRUE(eventually([&] { return server.packets().size() == 1; }));
    expectPostsRefusedAfterClose();
}

// With the pipe there, Auto takes it and tries nothing else.
TEST_F(Loopback, AutoTakesThePipe) {
    const std::string name = uniquePipeName();
    PipeServer server(name, true);
    ASSERT_TRUE(server.listening());
    port4 = port6 = "1";
    useServer(name, "Auto", ".");
    exchange([&] { return server.packets(); });
    EXPECT_EQ(attempts, std::vector<std::string>{"pipe \\\\.\\pipe\\" + name});
    ASSERT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
    handle = nullptr;
}

// Connections closed while their reads are outstanding, over the pipe and
// over TCP, leave no transport object and no thread behind.
TEST_F(Loopback, ClosingLeavesNoThreadBehind) {
    g_simConnectPlatform.sleep = [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); };
    auto cycle = [&](bool pipe) {
        const std::string name = uniquePipeName();
        PipeServer pipeServer(name, false);
        LoopbackServer tcpServer(LoopbackServer::Mode::Silent);
        ASSERT_TRUE(pipe ? pipeServer.listening() : tcpServer.listening());
        if (pipe)
            useServer(name, "Pipe", "");
        else
            useServer(tcpServer.port(), "IPv4", "127.0.0.1");
        ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
        ASSERT_TRUE(eventually([&] { return (pipe ? pipeServer.packets() : tcpServer.packets()).size() == 1; }));
        ASSERT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
        handle = nullptr;
        // Close waits for the cancelled completions before it returns.
        EXPECT_EQ(SimConnectTransport::liveCount(), 0);
        ASSERT_TRUE(eventually([&] { return pipe ? pipeServer.clientGone() : tcpServer.clientGone(); }));
    };
    // The first connections may start the system's completion threads.
    cycle(true);
    cycle(false);
    const int before = threadsOfThisProcess();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 3; ++i) {
        cycle(true);
        cycle(false);
    }
    EXPECT_LE(threadsOfThisProcess(), before);
}
