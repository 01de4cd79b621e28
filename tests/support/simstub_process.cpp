#include "support/simstub_process.h"

#include "support/simstub_process_detail.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string lf_readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

bool gf_eventually(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

ScratchFolder::ScratchFolder() {
    std::random_device random;
    m_path = fs::temp_directory_path() / ("glim_scs_" + std::to_string(random()) + "_" + std::to_string(random()));
    fs::create_directories(m_path);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

void SimStubProcess::command(const std::string& line) const {
    std::ofstream out(m_folder / simstub_detail::kControlFile, std::ios::binary | std::ios::app);
    out << line << '\n';
}

std::vector<nlohmann::json> SimStubProcess::record() const {
    const std::string text = lf_readAll(m_folder / simstub_detail::kRecordFile);
    std::vector<nlohmann::json> lines;
    std::size_t at = 0;
    // The stand-in may be writing the last line right now: only lines with
    // their newline count.
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        nlohmann::json line = nlohmann::json::parse(text.substr(at, end - at), nullptr, false);
        if (!line.is_discarded()) lines.push_back(std::move(line));
    }
    return lines;
}

nlohmann::json SimStubProcess::waitForRecord(const std::function<bool(const nlohmann::json&)>& match) const {
    nlohmann::json found;
    gf_eventually([&] {
        for (const auto& line : record()) {
            if (match(line)) {
                found = line;
                return true;
            }
        }
        return false;
    });
    return found;
}

std::vector<nlohmann::json> SimStubProcess::packets() const {
    std::vector<nlohmann::json> out;
    for (auto& line : record())
        if (line.contains("function")) out.push_back(std::move(line));
    return out;
}

nlohmann::json SimStubProcess::state() const {
    std::ifstream in(m_folder / simstub_detail::kStateFile, std::ios::binary);
    if (!in) return nullptr;
    auto parsed = nlohmann::json::parse(in, nullptr, false);
    return parsed.is_discarded() ? nlohmann::json(nullptr) : parsed;
}

std::string SimStubProcess::simConnectCfg() const {
    if (!m_options.tcp && !m_options.pipeName.empty()) {
        return "[SimConnect]\nProtocol=Pipe\nAddress=.\nPort=" + m_options.pipeName + "\n";
    }
    return "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(m_port) + "\n";
}

std::unique_ptr<SimStubProcess> SimStubProcess::startForClient(const fs::path& folder, const nlohmann::json& scenario,
                                                               std::string& whyNot) {
    return start(simstub_detail::clientOptions(scenario), folder, whyNot);
}

std::string SimStubProcess::output() const { return lf_readAll(m_folder / simstub_detail::kOutputFile); }

namespace simstub_detail {

std::vector<std::string> arguments(const SimStubOptions& options, const fs::path& folder,
                                   const std::function<std::string(const fs::path&)>& pathForStub) {
    std::vector<std::string> args;
    fs::create_directories(folder);
    // A port file left by an earlier stand-in in this folder would be taken
    // as the new one's.
    std::error_code ignored;
    fs::remove(folder / kPortFile, ignored);
    if (!options.scenario.empty()) {
        std::ofstream(folder / kScenarioFile, std::ios::binary) << options.scenario;
        args.insert(args.end(), {"--scenario", pathForStub(folder / kScenarioFile)});
    }
    // The control file exists before the start, so every line the test
    // appends later is new to the stand-in.
    std::ofstream(folder / kControlFile, std::ios::binary).close();
    args.insert(args.end(), {"--port", "0", "--port-file", pathForStub(folder / kPortFile), "--record",
                             pathForStub(folder / kRecordFile), "--state", pathForStub(folder / kStateFile),
                             "--control", pathForStub(folder / kControlFile)});
    if (!options.tcp) args.push_back("--no-tcp");
    if (options.build == SimStubBuild::Windows) {
        if (options.pipeName.empty())
            args.push_back("--no-pipe");
        else
            args.insert(args.end(), {"--pipe", options.pipeName});
    }
    return args;
}

int waitForPortFile(const fs::path& folder, const std::function<bool()>& running) {
    int port = -1;
    gf_eventually([&] {
        std::ifstream in(folder / kPortFile);
        int value = -1;
        if (in >> value && value >= 0) {
            port = value;
            return true;
        }
        // A stand-in that ended at its start never writes the file.
        return !running();
    });
    return port;
}

bool waitForStopRecorded(const SimStubProcess& stub) {
    return !stub.waitForRecord([](const nlohmann::json& line) {
                    return line.value("control", std::string()) == "stop";
                }).is_null();
}

}  // namespace simstub_detail
