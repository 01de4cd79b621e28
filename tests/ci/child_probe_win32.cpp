// A Windows program that starts a copy of itself and ends at once, the way a
// test's first process starts Wine's background services: the copy gets the
// same standard handles and lives on for the seconds given. The program
// writes "started" to its output and "probe error" to its error output and
// ends with the exit code given. tests/ci/wine_run_ends_with_program.sh
// expects the Wine runner to end with the program, not with its copy.
//   child_probe SECONDS EXIT_CODE     child_probe --child SECONDS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: child_probe SECONDS EXIT_CODE\n");
        return 64;
    }
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::string seconds = argv[1];
    std::wstring command = L"\"" + std::wstring(self) + L"\" --child " + std::wstring(seconds.begin(), seconds.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        std::fprintf(stderr, "cannot start the copy: error %lu\n", GetLastError());
        return 65;
    }
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    std::printf("started\n");
    std::fprintf(stderr, "probe error\n");
    std::fflush(stdout);
    std::fflush(stderr);
    return std::atoi(argv[2]);
}
