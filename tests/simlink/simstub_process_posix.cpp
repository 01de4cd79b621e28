#include "simstub_process.h"

#include "support/native_process_posix.h"

#include <cstdlib>

namespace fs = std::filesystem;

namespace {

fs::path lf_simstubBinary() {
    if (const char* fromEnv = std::getenv("GLIM_SIMSTUB"); fromEnv && *fromEnv) return fromEnv;
#ifdef GLIM_SIMSTUB_PATH
    return GLIM_SIMSTUB_PATH;
#else
    return {};
#endif
}

class PosixSimStub final : public SimStubProcess {
public:
    PosixSimStub(const fs::path& folder, pid_t pid, int port) : m_pid(pid) {
        m_folder = folder;
        m_cfg = "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(port) + "\n";
    }
    ~PosixSimStub() override { native_process::stop(m_pid); }

private:
    pid_t m_pid;
};

}  // namespace

std::unique_ptr<SimStubProcess> SimStubProcess::start(const fs::path& folder, const nlohmann::json& scenario,
                                                      std::string& whyNot) {
    const fs::path binary = lf_simstubBinary();
    if (binary.empty() || !fs::exists(binary)) {
        whyNot = "simstub binary not found: " + binary.string();
        return nullptr;
    }
    gf_prepareStubFolder(folder, scenario);
    std::vector<std::string> args = {binary.string(),
                                     "--scenario", gf_stubScenarioFile(folder).string(),
                                     "--port", "0",
                                     "--port-file", gf_stubPortFile(folder).string(),
                                     "--record", gf_stubRecordFile(folder).string(),
                                     "--state", gf_stubStateFile(folder).string(),
                                     "--control", gf_stubControlFile(folder).string()};
    args.erase(args.begin());  // the program's own name
    const pid_t pid = native_process::startQuiet(binary, args, whyNot);
    if (pid == 0) return nullptr;
    const int port = native_process::waitForPort(pid, gf_stubPortFile(folder), "simstub", whyNot);
    if (port == 0) return nullptr;
    return std::make_unique<PosixSimStub>(folder, pid, port);
}
