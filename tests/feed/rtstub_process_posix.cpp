#include "rtstub_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace {

fs::path lf_rtstubBinary() {
    if (const char* fromEnv = std::getenv("GLIM_RTSTUB"); fromEnv && *fromEnv) return fromEnv;
    return RTSTUB_BINARY;
}

class PosixRtStub final : public RtStubProcess {
public:
    PosixRtStub(pid_t pid, int port) : RtStubProcess(port), m_pid(pid) {}
    ~PosixRtStub() override {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }

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

    std::vector<std::string> args = {binary.string()};
    for (auto& arg : arguments(options, scenarioPath(options), portFile.string())) args.push_back(arg);
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
            whyNot = "rtstub exited at start";
            return nullptr;
        }
        std::ifstream in(portFile);
        int port = 0;
        if (in >> port && port > 0) {
            in.close();
            fs::remove(portFile);
            return std::unique_ptr<RtStubProcess>(new PosixRtStub(pid, port));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    whyNot = "rtstub did not start listening";
    return nullptr;
}
