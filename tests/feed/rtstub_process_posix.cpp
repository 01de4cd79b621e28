#include "rtstub_process.h"

#include "support/native_process_posix.h"

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

fs::path lf_rtstubBinary() {
    if (const char* fromEnv = std::getenv("GLIM_RTSTUB"); fromEnv && *fromEnv) return fromEnv;
    return RTSTUB_BINARY;
}

class PosixRtStub final : public RtStubProcess {
public:
    PosixRtStub(pid_t pid, int port) : RtStubProcess(port), m_pid(pid) {}
    ~PosixRtStub() override { native_process::stop(m_pid); }

private:
    pid_t m_pid;
};

}  // namespace

std::unique_ptr<RtStubProcess> RtStubProcess::start(const Options& options, std::string& whyNot) {
    static int s_count = 0;
    const fs::path binary = lf_rtstubBinary();
    if (!fs::exists(binary)) {
        whyNot = "rtstub binary not found: " + binary.string();
        return nullptr;
    }
    const fs::path portFile =
        fs::temp_directory_path() / ("rtstub_port_" + std::to_string(getpid()) + "_" + std::to_string(++s_count));
    fs::remove(portFile);

    const pid_t pid =
        native_process::startQuiet(binary, arguments(options, scenarioPath(options), portFile.string()), whyNot);
    if (pid == 0) return nullptr;
    const int port = native_process::waitForPort(pid, portFile, "rtstub", whyNot);
    if (port == 0) return nullptr;
    fs::remove(portFile);
    return std::unique_ptr<RtStubProcess>(new PosixRtStub(pid, port));
}
