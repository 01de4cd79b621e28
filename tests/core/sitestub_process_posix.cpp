#include "sitestub_process.h"

#include "support/native_process_posix.h"

#include <cstdlib>

namespace fs = std::filesystem;

namespace {

fs::path lf_sitestubBinary() {
    if (const char* fromEnv = std::getenv("GLIM_SITESTUB"); fromEnv && *fromEnv) return fromEnv;
#ifdef GLIM_SITESTUB_PATH
    return GLIM_SITESTUB_PATH;
#else
    return {};
#endif
}

class PosixSiteStub final : public SiteStubProcess {
public:
    PosixSiteStub(pid_t pid, int port) : m_pid(pid) { m_port = port; }
    ~PosixSiteStub() override { native_process::stop(m_pid); }

private:
    pid_t m_pid;
};

}  // namespace

std::unique_ptr<SiteStubProcess> SiteStubProcess::start(const fs::path& root, const std::vector<std::string>& extraArgs,
                                                        std::string& whyNot) {
    const fs::path binary = lf_sitestubBinary();
    if (binary.empty() || !fs::exists(binary)) {
        whyNot = "sitestub binary not found: " + binary.string();
        return nullptr;
    }
    const fs::path portFile = root.parent_path() / ("sitestub_port_" + std::to_string(getpid()));
    fs::remove(portFile);

    std::vector<std::string> args = {"--root", root.string(), "--port-file", portFile.string()};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    const pid_t pid = native_process::startQuiet(binary, args, whyNot);
    if (pid == 0) return nullptr;
    const int port = native_process::waitForPort(pid, portFile, "sitestub", whyNot);
    if (port == 0) return nullptr;
    fs::remove(portFile);
    return std::make_unique<PosixSiteStub>(pid, port);
}
