#include "sitestub_process.h"

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
    ~PosixSiteStub() override {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }

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

    std::vector<std::string> args = {binary.string(), "--root", root.string(), "--port-file", portFile.string()};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    // The stub prints its port; the port file is what the test reads.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        whyNot = "cannot start " + binary.string();
        return nullptr;
    }
    // Readiness, not timing: the port file appears once the server listens.
    // The bound only keeps a broken stub from hanging the test run.
    for (int i = 0; i < 1000; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            whyNot = "sitestub exited at start";
            return nullptr;
        }
        std::ifstream in(portFile);
        int port = 0;
        if (in >> port && port > 0) {
            fs::remove(portFile);
            return std::make_unique<PosixSiteStub>(pid, port);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    whyNot = "sitestub did not start listening";
    return nullptr;
}
