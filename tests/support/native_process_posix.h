// For native tests that need a stand-in (sitestub, rtstub, simstub) as a
// child process: start it quietly and wait until it announces its port.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace native_process {

// Starts binary with args (without the program name), its standard output
// and error sent to /dev/null. 0 with the reason in whyNot on failure.
inline pid_t startQuiet(const std::filesystem::path& binary, const std::vector<std::string>& args, std::string& whyNot) {
    std::vector<std::string> all = {binary.string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        whyNot = "cannot start " + binary.string();
        return 0;
    }
    return pid;
}

// Waits until the child writes its port into portFile; 0 with the reason in
// whyNot when it ends first or never gets there (then it is ended). Readiness,
// not timing: the bound only keeps a broken stand-in from hanging the run.
inline int waitForPort(pid_t pid, const std::filesystem::path& portFile, const std::string& name, std::string& whyNot) {
    for (int i = 0; i < 2000; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            whyNot = name + " exited at start";
            return 0;
        }
        std::ifstream in(portFile);
        int port = 0;
        if (in >> port && port > 0) return port;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    whyNot = name + " did not start listening";
    return 0;
}

// Ends a child started by startQuiet and collects it.
inline void stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
}

}  // namespace native_process
