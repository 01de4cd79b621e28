// Runs testbed/simstub as a child process for the SimClient tests: its own
// folder with scenario, record, state and control files, and the
// SimConnect.cfg text that makes the client find it (TCP natively, a named
// pipe of its own under Wine).
#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class SimStubProcess {
public:
    // Starts simstub with the scenario in folder and waits until it serves.
    // Null, with the reason in whyNot, when it cannot run here.
    static std::unique_ptr<SimStubProcess> start(const std::filesystem::path& folder, const nlohmann::json& scenario,
                                                 std::string& whyNot);
    virtual ~SimStubProcess() = default;

    // The [SimConnect] section that leads the client to this stub.
    const std::string& simConnectCfg() const { return m_cfg; }
    // Appends one command line to the control file (simstub polls it).
    void command(const std::string& line) const;
    // Every complete line of the record file.
    std::vector<nlohmann::json> records() const;
    // The packets the client sent (record lines with a "function").
    std::vector<nlohmann::json> packets() const;
    // The state file, or null while it does not exist yet.
    nlohmann::json state() const;

protected:
    std::filesystem::path m_folder;
    std::string m_cfg;
};

// Paths of the files in a stub's folder.
inline std::filesystem::path gf_stubScenarioFile(const std::filesystem::path& folder) { return folder / "scenario.json"; }
inline std::filesystem::path gf_stubRecordFile(const std::filesystem::path& folder) { return folder / "record.jsonl"; }
inline std::filesystem::path gf_stubStateFile(const std::filesystem::path& folder) { return folder / "state.json"; }
inline std::filesystem::path gf_stubControlFile(const std::filesystem::path& folder) { return folder / "control.txt"; }
inline std::filesystem::path gf_stubPortFile(const std::filesystem::path& folder) { return folder / "port.txt"; }

// Writes the scenario and an empty control file into folder.
void gf_prepareStubFolder(const std::filesystem::path& folder, const nlohmann::json& scenario);
