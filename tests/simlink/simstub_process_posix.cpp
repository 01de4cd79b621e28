#include "simstub_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

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
    ~PosixSimStub() override {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }

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
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        whyNot = "cannot start " + binary.string();
        return nullptr;
    }
    // Readiness, not timing: the port file appears once the stub listens.
    // The bound only keeps a broken stub from hanging the run.
    for (int i = 0; i < 2000; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            whyNot = "simstub exited at start";
            return nullptr;
        }
        std::ifstream in(gf_stubPortFile(folder));
        int port = 0;
        if (in >> port && port > 0) return std::make_unique<PosixSimStub>(folder, pid, port);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    whyNot = "simstub did not start listening";
    return nullptr;
}
