#include "simstub_process.h"

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

void gf_prepareStubFolder(const fs::path& folder, const nlohmann::json& scenario) {
    fs::create_directories(folder);
    // A port file left by an earlier stub in this folder would be taken as
    // the new one's.
    fs::remove(gf_stubPortFile(folder));
    std::ofstream(gf_stubScenarioFile(folder)) << scenario.dump(2);
    std::ofstream(gf_stubControlFile(folder), std::ios::trunc).flush();
}

void SimStubProcess::command(const std::string& line) const {
    std::ofstream out(gf_stubControlFile(m_folder), std::ios::app | std::ios::binary);
    out << line << "\n";
    out.flush();
}

std::vector<nlohmann::json> SimStubProcess::records() const {
    std::vector<nlohmann::json> out;
    std::ifstream in(gf_stubRecordFile(m_folder), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    std::size_t start = 0;
    // Only complete lines: the stub may be writing the last one right now.
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        auto parsed = nlohmann::json::parse(line, nullptr, false);
        if (!parsed.is_discarded()) out.push_back(std::move(parsed));
    }
    return out;
}

std::vector<nlohmann::json> SimStubProcess::packets() const {
    std::vector<nlohmann::json> out;
    for (auto& r : records())
        if (r.contains("function")) out.push_back(std::move(r));
    return out;
}

nlohmann::json SimStubProcess::state() const {
    std::ifstream in(gf_stubStateFile(m_folder), std::ios::binary);
    if (!in) return nullptr;
    auto parsed = nlohmann::json::parse(in, nullptr, false);
    return parsed.is_discarded() ? nlohmann::json(nullptr) : parsed;
}
