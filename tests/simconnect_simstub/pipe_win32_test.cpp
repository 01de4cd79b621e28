// The Windows transport against simstub.exe, which serves the simulator's
// named pipe besides TCP.
#include <windows.h>
#include <tlhelp32.h>

#include "link_fixture.h"

namespace {

// A pipe name of this process alone: tests running side by side under the
// same Wine server must not answer each other's clients.
std::string lf_pipeName() {
    static int counter = 0;
    return "glim_scs_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
}

SimStubOptions lf_windowsStub(const std::string& scenario, const std::string& pipeName, bool tcp) {
    SimStubOptions options;
    options.build = SimStubBuild::Windows;
    options.scenario = scenario;
    options.pipeName = pipeName;
    options.tcp = tcp;
    return options;
}

int lf_threadsOfThisProcess() {
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

TEST_F(SimStubLink, ExchangeOverPipe) {
    const std::string pipe = lf_pipeName();
    startStub(lf_windowsStub(kExchangeScenario, pipe, false));
    if (IsSkipped() || HasFatalFailure()) return;
    writeConfig("Protocol=Pipe\nAddress=.\nPort=" + pipe + "\n");
    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
    EXPECT_EQ(handle->kind(), SimTransportKind::Pipe);
    ExchangeSent sent;
    exchange(sent);
    checkRecord(sent, "pipe");
    closeAndSeeDisconnect();
}

// With the pipe there, Auto takes it and tries no socket.
TEST_F(SimStubLink, AutoTakesThePipeWhenItIsThere) {
    const std::string pipe = lf_pipeName();
    startStub(lf_windowsStub(kExchangeScenario, pipe, true));
    if (IsSkipped() || HasFatalFailure()) return;
    const std::string port = std::to_string(stub->port());
    g_simConnectPlatform.registryPort = [port](bool) { return port; };
    recordAttempts();
    writeConfig("Protocol=Auto\nAddress=.\nPort=" + pipe + "\n");
    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
    EXPECT_EQ(attempts, std::vector<std::string>{"pipe \\\\.\\pipe\\" + pipe});
    ExchangeSent sent;
    exchange(sent);
    checkRecord(sent, "pipe");
    closeAndSeeDisconnect();
}

// Connections over the pipe and over TCP, closed while frames stream in and
// a read is always outstanding, leave no transport and no thread behind.
TEST_F(SimStubLink, ClosingLeavesNoThreadBehind) {
    const std::string pipe = lf_pipeName();
    startStub(lf_windowsStub(R"({"frame_rate": 200})", pipe, true));
    if (IsSkipped() || HasFatalFailure()) return;
    int cycles = 0;
    auto cycle = [&](bool overPipe) {
        SCOPED_TRACE(overPipe ? "pipe" : "tcp");
        writeConfig(overPipe ? "Protocol=Pipe\nAddress=.\nPort=" + pipe + "\n"
                             : "Protocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(stub->port()) + "\n");
        messages.clear();
        ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
        ASSERT_EQ(SimConnect_SubscribeToSystemEvent(handle, 1, "Frame"), SIMCONNECT_OK);
        ASSERT_TRUE(pump([&] { return messagesWithId(SimRecvEventFrame).size() >= 5; }))
            << "dispatch gave " << lastDispatch;
        ASSERT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
        handle = nullptr;
        // Close waits for the cancelled completions before it returns.
        EXPECT_EQ(SimConnectTransport::liveCount(), 0);
        ++cycles;
        ASSERT_TRUE(gf_eventually([&] { return countLinks(stub->record(), "disconnect") == cycles; }));
    };
    // The first connections may start the system's completion threads.
    cycle(true);
    cycle(false);
    if (HasFatalFailure()) return;
    const int before = lf_threadsOfThisProcess();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 3 && !HasFatalFailure(); ++i) {
        cycle(true);
        cycle(false);
    }
    EXPECT_LE(lf_threadsOfThisProcess(), before);
}
