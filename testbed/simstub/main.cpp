// simstub: a stand-in Prepar3D SimConnect server for the tests. See README.md.
#include "simstub/host.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

std::atomic<bool> g_stopRequested{false};

extern "C" void lf_onSignal(int) { g_stopRequested = true; }

const char* const kUsage =
    "usage: simstub [--scenario FILE] [--port N] [--port-file FILE] [--record FILE]\n"
    "               [--state FILE] [--control FILE] [--pipe NAME] [--no-pipe] [--no-tcp]\n";

bool lf_parsePort(const std::string& text, std::uint16_t& port) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < 0 || v > 65535) return false;
    port = static_cast<std::uint16_t>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    simstub::HostOptions options;
#ifndef _WIN32
    options.pipe = false;
#endif
    std::string scenarioPath;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                std::cerr << "simstub: " << arg << " needs a value\n" << kUsage;
                std::exit(2);
            }
            out = argv[++i];
        };
        std::string v;
        if (arg == "--scenario") {
            value(scenarioPath);
        } else if (arg == "--port") {
            value(v);
            if (!lf_parsePort(v, options.port)) {
                std::cerr << "simstub: bad port '" << v << "'\n";
                return 2;
            }
        } else if (arg == "--port-file") {
            value(v);
            options.portFile = v;
        } else if (arg == "--record") {
            value(v);
            options.recordFile = v;
        } else if (arg == "--state") {
            value(v);
            options.stateFile = v;
        } else if (arg == "--control") {
            value(v);
            options.controlFile = v;
        } else if (arg == "--pipe") {
            value(v);
            // A bare name is the part after "\\.\pipe\", as SimConnect.cfg's Port names it.
            options.pipePath = v.rfind("\\\\", 0) == 0 ? v : "\\\\.\\pipe\\" + v;
            options.pipe = true;
        } else if (arg == "--no-pipe") {
            options.pipe = false;
        } else if (arg == "--no-tcp") {
            options.tcp = false;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else {
            std::cerr << "simstub: unknown argument '" << arg << "'\n" << kUsage;
            return 2;
        }
    }
#ifndef _WIN32
    if (options.pipe) {
        std::cerr << "simstub: named pipes exist only in the Windows build\n";
        return 2;
    }
#endif

    simstub::Scenario scenario;
    try {
        if (!scenarioPath.empty()) {
            scenario = simstub::loadScenario(scenarioPath);
        } else {
            simstub::completeScenario(scenario);
        }
    } catch (const std::exception& e) {
        std::cerr << "simstub: " << e.what() << "\n";
        return 2;
    }

    simstub::Host host(options, scenario);
    std::string error;
    if (!host.start(error)) {
        std::cerr << "simstub: " << error << "\n";
        return 1;
    }
    if (options.tcp) std::cerr << "simstub: listening on 127.0.0.1:" << host.port() << "\n";
    if (options.pipe) std::cerr << "simstub: serving pipe " << options.pipePath << "\n";
    std::signal(SIGINT, lf_onSignal);
    std::signal(SIGTERM, lf_onSignal);
    host.run(g_stopRequested);
    std::cerr << "simstub: stopped\n";
    return 0;
}
