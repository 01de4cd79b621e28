// Under Wine the service tests still use the native rtstub: Wine starts a
// Linux program from CreateProcessW, though without a process handle, so the
// stub is ended through its quit request (and its own time limit as a safety
// net). On Windows proper there is no stub: the tests skip.
#include "rtstub_process.h"

#include <windows.h>

#include "support/wine_native_win32.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using wine_native::WinePaths;



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
    const std::string stubUnix = wine_native::nativeStandInPath("GLIM_RTSTUB", "testbed/rtstub/rtstub");
    const fs::path stubDos = stubUnix.empty() ? fs::path() : wine.toDosPath(stubUnix);
    std::error_code ec;
    if (stubDos.empty() || !fs::exists(stubDos, ec)) {
        whyNot = "native rtstub not found (set GLIM_RTSTUB): " + stubUnix;
        return nullptr;
    }
    const fs::path portFile = fs::temp_directory_path() / ("rtstub_port_" + std::to_string(GetCurrentProcessId()) +
                                                           "_" + std::to_string(++s_count));
    fs::remove(portFile, ec);

    const std::string outputUnix = wine.toUnixPath(fs::path(portFile).concat("_out"));
    if (!wine_native::startNativeProgram(wine, stubUnix, arguments(options, scenarioPath(options), wine.toUnixPath(portFile)),
                                         outputUnix, 150, whyNot)) {
        return nullptr;
    }

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
