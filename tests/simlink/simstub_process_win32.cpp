// Under Wine the tests run the Windows build's simstub.exe and reach it the
// way the program reaches Prepar3D: over a named pipe, here one of its own so
// that parallel tests never meet.
#include "simstub_process.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using UnixToDos = LPWSTR(CDECL*)(LPCSTR);

fs::path lf_simstubExe() {
    std::string path;
    if (const char* fromEnv = std::getenv("GLIM_SIMSTUB"); fromEnv && *fromEnv) {
        path = fromEnv;
    } else {
#ifdef GLIM_SIMSTUB_PATH
        path = GLIM_SIMSTUB_PATH;
#endif
    }
    if (path.empty()) return {};
    // The build tree gives a Linux path; Wine translates it to its drive.
    if (path.front() == '/') {
        if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
            auto toDos = reinterpret_cast<UnixToDos>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_dos_file_name")));
            if (toDos) {
                if (LPWSTR text = toDos(path.c_str())) {
                    fs::path result(text);
                    HeapFree(GetProcessHeap(), 0, text);
                    return result;
                }
            }
        }
    }
    return fs::path(path);
}

std::wstring lf_quoted(const fs::path& p) { return L"\"" + p.wstring() + L"\""; }

class WinSimStub final : public SimStubProcess {
public:
    WinSimStub(const fs::path& folder, HANDLE process, const std::string& pipeName) : m_process(process) {
        m_folder = folder;
        m_cfg = "[SimConnect]\nProtocol=Pipe\nAddress=.\nPort=" + pipeName + "\n";
    }
    ~WinSimStub() override {
        // The tests have read what they need: a stub that does not take its
        // stop command at once is not waited for long.
        command("stop");
        if (WaitForSingleObject(m_process, 1500) != WAIT_OBJECT_0) TerminateProcess(m_process, 1);
        CloseHandle(m_process);
    }

private:
    HANDLE m_process;
};

std::atomic<int> g_stubCount{0};

}  // namespace

std::unique_ptr<SimStubProcess> SimStubProcess::start(const fs::path& folder, const nlohmann::json& scenario,
                                                      std::string& whyNot) {
    const fs::path exe = lf_simstubExe();
    std::error_code ec;
    if (exe.empty() || !fs::exists(exe, ec)) {
        whyNot = "simstub.exe not found: " + exe.string();
        return nullptr;
    }
    gf_prepareStubFolder(folder, scenario);
    const std::string pipeName =
        "GLIM_simlink_test_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++g_stubCount);
    std::wstring command = lf_quoted(exe) + L" --scenario " + lf_quoted(gf_stubScenarioFile(folder)) +
                           L" --no-tcp --pipe " + std::wstring(pipeName.begin(), pipeName.end()) +
                           L" --port-file " + lf_quoted(gf_stubPortFile(folder)) + L" --record " +
                           lf_quoted(gf_stubRecordFile(folder)) + L" --state " + lf_quoted(gf_stubStateFile(folder)) +
                           L" --control " + lf_quoted(gf_stubControlFile(folder));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info)) {
        whyNot = "cannot start simstub.exe: error " + std::to_string(GetLastError());
        return nullptr;
    }
    CloseHandle(info.hThread);
    // Readiness, not timing: the port file ("0" without TCP) appears once the
    // pipe is served.
    for (int i = 0; i < 2000; ++i) {
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0) {
            CloseHandle(info.hProcess);
            whyNot = "simstub.exe exited at start";
            return nullptr;
        }
        std::ifstream in(gf_stubPortFile(folder));
        int port = -1;
        if (in >> port && port >= 0) return std::make_unique<WinSimStub>(folder, info.hProcess, pipeName);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    whyNot = "simstub.exe did not start serving";
    return nullptr;
}
