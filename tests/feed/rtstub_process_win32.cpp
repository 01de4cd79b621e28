// Under Wine the service tests still use the native rtstub: Wine starts a
// Linux program from CreateProcessW, though without a process handle, so the
// stub is ended through its quit request (and its own time limit as a safety
// net). On Windows proper there is no stub: the tests skip.
#include "rtstub_process.h"

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using UnixToDos = LPWSTR(CDECL*)(LPCSTR);
using DosToUnix = LPSTR(CDECL*)(LPCWSTR);

// Wine's own conversions between its drive paths and Linux paths; absent on
// Windows proper.
struct WinePaths {
    UnixToDos toDos = nullptr;
    DosToUnix toUnix = nullptr;

    WinePaths() {
        if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
            toDos = reinterpret_cast<UnixToDos>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_dos_file_name")));
            toUnix =
                reinterpret_cast<DosToUnix>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
        }
    }
    bool available() const { return toDos && toUnix; }
    fs::path toDosPath(const std::string& unixPath) const {
        LPWSTR text = toDos(unixPath.c_str());
        if (!text) return {};
        fs::path result(text);
        HeapFree(GetProcessHeap(), 0, text);
        return result;
    }
    std::string toUnixPath(const fs::path& dosPath) const {
        LPSTR text = toUnix(dosPath.c_str());
        if (!text) return {};
        std::string result(text);
        HeapFree(GetProcessHeap(), 0, text);
        return result;
    }
};

std::string lf_rtstubUnixPath() {
    if (const char* fromEnv = std::getenv("GLIM_RTSTUB"); fromEnv && *fromEnv) return fromEnv;
    // The project's test script builds the native tree in build/native.
    if (const char* source = std::getenv("GLIM_SOURCE_DIR"); source && *source) {
        return std::string(source) + "/build/native/testbed/rtstub/rtstub";
    }
    return {};
}

std::wstring lf_quoted(const std::wstring& text) { return L"\"" + text + L"\""; }
std::wstring lf_wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class WineRtStub final : public RtStubProcess {
public:
    explicit WineRtStub(int port) : RtStubProcess(port) {}
    ~WineRtStub() override { quit(); }
};

}  // namespace

std::unique_ptr<RtStubProcess> RtStubProcess::start(const Options& options, std::string& whyNot) {
    static int s_count = 0;
    const WinePaths wine;
    if (!wine.available()) {
        whyNot = "rtstub runs only natively or under Wine";
        return nullptr;
    }
    const std::string stubUnix = lf_rtstubUnixPath();
    const fs::path stubDos = stubUnix.empty() ? fs::path() : wine.toDosPath(stubUnix);
    std::error_code ec;
    if (stubDos.empty() || !fs::exists(stubDos, ec)) {
        whyNot = "native rtstub not found (set GLIM_RTSTUB): " + stubUnix;
        return nullptr;
    }
    const fs::path portFile = fs::temp_directory_path() / ("rtstub_port_" + std::to_string(GetCurrentProcessId()) +
                                                           "_" + std::to_string(++s_count));
    fs::remove(portFile, ec);

    std::wstring command = lf_quoted(stubDos.wstring());
    for (const auto& arg : arguments(options, scenarioPath(options), wine.toUnixPath(portFile))) {
        command += L" " + lf_quoted(lf_wide(arg));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        whyNot = "cannot start rtstub: error " + std::to_string(GetLastError());
        return nullptr;
    }
    if (info.hProcess) CloseHandle(info.hProcess);
    if (info.hThread) CloseHandle(info.hThread);

    // Readiness, not timing: the port file appears once the server listens.
    for (int i = 0; i < 1000; ++i) {
        std::ifstream in(portFile);
        int port = 0;
        if (in >> port && port > 0) {
            in.close();
            fs::remove(portFile, ec);
            return std::unique_ptr<RtStubProcess>(new WineRtStub(port));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    whyNot = "rtstub did not start listening";
    return nullptr;
}
