// The stand-in under Wine: simstub.exe as a Windows child process, or the
// Linux build started from this Windows process (Wine runs a Linux program
// from CreateProcessW, though without a process handle to wait on: it is
// ended through its control file, with the system's `timeout` around it so
// that a test that dies half-way leaves nothing running for long).
// Either way its output goes to a file of the test: a child holding the
// test's own stdout would keep the test runner waiting for as long as it
// lives.
#include "support/simstub_process.h"

#include "support/simstub_process_detail.h"

#include <windows.h>

#include "support/wine_native_win32.h"

#include <atomic>
#include <cstdlib>

namespace fs = std::filesystem;

namespace {

constexpr const char* kShell = "/bin/bash";
constexpr const char* kTimeoutProgram = "/usr/bin/timeout";
constexpr const char* kTimeoutSeconds = "300";
// Wine hands a Linux program the test's own handles, the runner's pipe among
// them, whatever the start-up information says: the shell closes them and
// points the standard ones at the output file.
constexpr const char* kRedirect = wine_native::kDetachScript;

using wine_native::WinePaths;

std::wstring lf_wide(const std::string& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string lf_utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// One argument as the receiving side's command-line parser reads it back:
// quotes escaped, and backslashes doubled where a quote follows them.
std::wstring lf_quoted(const std::wstring& arg) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L'"';
}

std::wstring lf_commandLine(const std::vector<std::string>& args) {
    std::wstring line;
    for (const auto& arg : args) {
        if (!line.empty()) line += L' ';
        line += lf_quoted(lf_wide(arg));
    }
    return line;
}


std::string lf_nativeSimstub() { return wine_native::nativeStandInPath("GLIM_SIMSTUB", "testbed/simstub/simstub"); }

std::string lf_windowsSimstub() {
    if (const char* fromEnv = std::getenv("GLIM_SIMSTUB_EXE"); fromEnv && *fromEnv) return fromEnv;
#ifdef GLIM_SIMSTUB_EXE_PATH
    return GLIM_SIMSTUB_EXE_PATH;
#else
    return {};
#endif
}

class Win32SimStub final : public SimStubProcess {
public:
    // process is null for a Linux program.
    Win32SimStub(HANDLE process, const fs::path& folder) : m_process(process) { m_folder = folder; }
    ~Win32SimStub() override {
        stop();
        if (m_process) CloseHandle(m_process);
    }

    void setPort(int port) { m_port = port; }

    bool running() const { return !m_process || WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT; }

    bool stop() override {
        if (m_stopped) return true;
        m_stopped = true;
        if (!running()) return true;
        // A test that has already removed the folder cannot ask: no wait
        // for an answer that cannot come.
        std::error_code ec;
        if (!fs::exists(m_folder / simstub_detail::kControlFile, ec)) {
            if (m_process) TerminateProcess(m_process, 1);
            return false;
        }
        command("stop");
        bool stopped = simstub_detail::waitForStopRecorded(*this);
        if (!m_process) {
            // Its last word before it exits: after it the folder may go.
            stopped = stopped && gf_eventually([&] { return output().find("simstub: stopped") != std::string::npos; });
        } else {
            stopped = stopped && WaitForSingleObject(m_process, 20000) == WAIT_OBJECT_0;
            if (!stopped) TerminateProcess(m_process, 1);
        }
        return stopped;
    }

private:
    HANDLE m_process;
    bool m_stopped = false;
};

std::atomic<int> g_clientStubCount{0};

}  // namespace

SimStubOptions simstub_detail::clientOptions(const nlohmann::json& scenario) {
    SimStubOptions options;
    options.build = SimStubBuild::Windows;
    options.scenario = scenario.dump();
    options.tcp = false;
    options.pipeName =
        "GLIM_simstub_test_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++g_clientStubCount);
    return options;
}

std::string SimStubProcess::missing(SimStubBuild build) {
    const WinePaths wine;
    if (!wine.available()) return "the stand-in runs only natively or under Wine";
    const bool linuxProgram = build == SimStubBuild::Native;
    const std::string stubUnix = linuxProgram ? lf_nativeSimstub() : lf_windowsSimstub();
    const fs::path stubDos = stubUnix.empty() ? fs::path() : wine.toDosPath(stubUnix);
    std::error_code ec;
    if (stubDos.empty() || !fs::exists(stubDos, ec))
        return std::string(linuxProgram ? "native simstub not found (set GLIM_SIMSTUB): "
                                        : "simstub.exe not found (set GLIM_SIMSTUB_EXE): ") +
               stubUnix;
    return {};
}

std::unique_ptr<SimStubProcess> SimStubProcess::start(const SimStubOptions& options, const fs::path& folder,
                                                      std::string& whyNot) {
    whyNot = missing(options.build);
    if (!whyNot.empty()) return nullptr;
    const WinePaths wine;
    const bool linuxProgram = options.build == SimStubBuild::Native;
    const std::string stubUnix = linuxProgram ? lf_nativeSimstub() : lf_windowsSimstub();
    const fs::path stubDos = wine.toDosPath(stubUnix);
    std::error_code ec;

    std::vector<std::string> args;
    std::function<std::string(const fs::path&)> pathForStub;
    if (linuxProgram) {
        // Wine finds the program by its first, Windows-form argument and hands
        // the rest over untouched, so those are Linux paths.
        const fs::path shellDos = wine.toDosPath(kShell);
        const fs::path timeoutDos = wine.toDosPath(kTimeoutProgram);
        if (shellDos.empty() || !fs::exists(shellDos, ec) || timeoutDos.empty() || !fs::exists(timeoutDos, ec)) {
            whyNot = "the native stand-in needs /bin/sh and /usr/bin/timeout";
            return nullptr;
        }
        args = {lf_utf8(shellDos.wstring()), "-c", kRedirect, "sh",
                wine.toUnixPath(folder / simstub_detail::kOutputFile), kTimeoutProgram, kTimeoutSeconds, stubUnix};
        pathForStub = [&wine](const fs::path& p) { return wine.toUnixPath(p); };
    } else {
        args = {lf_utf8(stubDos.wstring())};
        pathForStub = [](const fs::path& p) { return lf_utf8(p.wstring()); };
    }
    for (auto& arg : simstub_detail::arguments(options, folder, pathForStub)) args.push_back(std::move(arg));

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!linuxProgram)
        output = CreateFileW((folder / simstub_detail::kOutputFile).c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (output != INVALID_HANDLE_VALUE) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    PROCESS_INFORMATION info{};
    std::wstring command = lf_commandLine(args);
    const BOOL created = CreateProcessW(nullptr, command.data(), nullptr, nullptr, output != INVALID_HANDLE_VALUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
    const DWORD error = GetLastError();
    if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
    if (!created) {
        whyNot = "cannot start simstub: error " + std::to_string(error);
        return nullptr;
    }
    if (info.hThread) CloseHandle(info.hThread);
    HANDLE process = info.hProcess;
    if (linuxProgram && process) {
        CloseHandle(process);
        process = nullptr;
    }

    auto stub = std::make_unique<Win32SimStub>(process, folder);
    const int port = simstub_detail::waitForPortFile(folder, [&] { return stub->running(); });
    if (port < 0) {
        whyNot = "simstub did not start: " + stub->output();
        stub->stop();
        return nullptr;
    }
    stub->setPort(port);
    stub->m_options = options;
    return stub;
}
