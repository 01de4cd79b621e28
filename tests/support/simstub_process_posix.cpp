// The native stand-in as a child process of the native test.
#include "support/simstub_process.h"

#include "support/simstub_process_detail.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

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
    PosixSimStub(pid_t pid, const fs::path& folder) : m_pid(pid) { m_folder = folder; }
    ~PosixSimStub() override { stop(); }

    void setPort(int port) { m_port = port; }

    // False once the child has ended (and has been reaped).
    bool running() {
        if (m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == m_pid) m_pid = 0;
        return m_pid > 0;
    }

    bool stop() override {
        if (!running()) return true;
        // A test that has already removed the folder cannot ask: no wait
        // for an answer that cannot come.
        std::error_code ec;
        if (!std::filesystem::exists(m_folder / simstub_detail::kControlFile, ec)) {
            killNow();
            return false;
        }
        command("stop");
        const bool stopped =
            simstub_detail::waitForStopRecorded(*this) && gf_eventually([&] { return !running(); });
        killNow();
        return stopped;
    }

    void killNow() {
        if (!running()) return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }

private:
    pid_t m_pid;
};

}  // namespace

SimStubOptions simstub_detail::clientOptions(const nlohmann::json& scenario) {
    SimStubOptions options;
    options.scenario = scenario.dump();
    return options;
}

std::string SimStubProcess::missing(SimStubBuild build) {
    if (build != SimStubBuild::Native) return "simstub.exe runs only in the Windows build";
    const fs::path binary = lf_simstubBinary();
    std::error_code ec;
    if (binary.empty() || !fs::exists(binary, ec)) return "simstub not found (set GLIM_SIMSTUB): " + binary.string();
    return {};
}

std::unique_ptr<SimStubProcess> SimStubProcess::start(const SimStubOptions& options, const fs::path& folder,
                                                      std::string& whyNot) {
    whyNot = missing(options.build);
    if (!whyNot.empty()) return nullptr;
    const fs::path binary = lf_simstubBinary();
    std::vector<std::string> args = {binary.string()};
    for (auto& arg : simstub_detail::arguments(options, folder, [](const fs::path& p) { return p.string(); }))
        args.push_back(std::move(arg));
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const std::string output = (folder / simstub_detail::kOutputFile).string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        whyNot = "cannot start " + binary.string();
        return nullptr;
    }
    auto stub = std::make_unique<PosixSimStub>(pid, folder);
    const int port = simstub_detail::waitForPortFile(folder, [&] { return stub->running(); });
    if (port < 0) {
        stub->killNow();
        whyNot = "simstub did not start: " + stub->output();
        return nullptr;
    }
    stub->setPort(port);
    stub->m_options = options;
    return stub;
}
