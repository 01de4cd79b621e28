// For Windows test programs under Wine that need a native Linux stand-in
// (sitestub, rtstub, simstub): Wine's path conversions, and a start that
// never lets the stand-in hold the test's own output.
//
// Wine hands a Linux program the test's standard handles whatever the
// start-up information says. A stand-in that outlives its test would then
// keep the test runner's pipe open, and the runner waits for it until its
// time-out. So the stand-in is started through the shell with its output
// sent to a file, and under the system's `timeout` as a last safety net.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace wine_native {

using UnixToDos = LPWSTR(CDECL*)(LPCSTR);
using DosToUnix = LPSTR(CDECL*)(LPCWSTR);

// Wine's own conversions between its drive paths and Linux paths; absent on
// Windows proper.
struct WinePaths {
    UnixToDos toDos = nullptr;
    DosToUnix toUnix = nullptr;

    WinePaths() {
        if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
            toDos = reinterpret_cast<UnixToDos>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_dos_file_name")));
            toUnix = reinterpret_cast<DosToUnix>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
        }
    }
    bool available() const { return toDos && toUnix; }
    std::filesystem::path toDosPath(const std::string& unixPath) const {
        LPWSTR text = toDos(unixPath.c_str());
        if (!text) return {};
        std::filesystem::path result(text);
        HeapFree(GetProcessHeap(), 0, text);
        return result;
    }
    std::string toUnixPath(const std::filesystem::path& dosPath) const {
        LPSTR text = toUnix(dosPath.c_str());
        if (!text) return {};
        std::string result(text);
        HeapFree(GetProcessHeap(), 0, text);
        return result;
    }
};

// The Linux path of a native stand-in: the environment variable envName
// when set, else its place in the native build that the project's test script
// makes (build/native), else empty.
inline std::string nativeStandInPath(const char* envName, const std::string& pathInNativeBuild) {
    if (const char* fromEnv = std::getenv(envName); fromEnv && *fromEnv) return fromEnv;
    if (const char* source = std::getenv("GLIM_SOURCE_DIR"); source && *source) {
        return std::string(source) + "/build/native/" + pathInNativeBuild;
    }
    return {};
}

// Run by bash before the stand-in: Wine also hands a Linux child descriptors
// beyond the standard three (the test runner's pipe among them), so every
// descriptor above 2 is closed, then the standard ones are pointed at the
// output file. Arguments: the output file, then the command.
inline constexpr const char* kDetachScript =
    "out=$1; shift; "
    "for fd in /proc/$$/fd/*; do n=${fd##*/}; "
    "if [ \"$n\" -gt 2 ] 2>/dev/null; then eval \"exec $n>&-\" 2>/dev/null; fi; done; "
    "exec \"$@\" </dev/null >\"$out\" 2>&1";

// One argument of a Windows command line: quoted, inner quotes escaped.
inline std::wstring quoted(const std::string& text) {
    std::wstring result = L"\"";
    for (char c : text) {
        if (c == '"') result += L'\\';
        result += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return result + L"\"";
}

// Starts the Linux program with its arguments (Linux paths), its output in
// outputUnixPath, ended by `timeout` after timeoutSeconds at the latest.
// False with the reason in whyNot when it cannot be started.
inline bool startNativeProgram(const WinePaths& wine, const std::string& programUnix,
                               const std::vector<std::string>& args, const std::string& outputUnixPath,
                               int timeoutSeconds, std::string& whyNot) {
    const std::filesystem::path shellDos = wine.toDosPath("/bin/bash");
    std::error_code ec;
    if (shellDos.empty() || !std::filesystem::exists(shellDos, ec)) {
        whyNot = "a native stand-in needs /bin/bash";
        return false;
    }
    // Wine finds the program by its first, Windows-form argument and hands
    // the rest over untouched, so those are Linux paths.
    std::wstring command = L"\"" + shellDos.wstring() + L"\" -c " + quoted(kDetachScript) + L" sh " +
                           quoted(outputUnixPath) + L" " + quoted("/usr/bin/timeout") + L" " + quoted("-k") +
                           L" " + quoted("5") + L" " + quoted(std::to_string(timeoutSeconds)) + L" " +
                           quoted(programUnix);
    for (const auto& arg : args) command += L" " + quoted(arg);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info)) {
        whyNot = "cannot start " + programUnix + ": error " + std::to_string(GetLastError());
        return false;
    }
    if (info.hProcess) CloseHandle(info.hProcess);
    if (info.hThread) CloseHandle(info.hThread);
    return true;
}

}  // namespace wine_native
