// What the platform parts of SimStubProcess share.
#pragma once

#include "support/simstub_process.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace simstub_detail {

inline constexpr const char* kScenarioFile = "scenario.json";
inline constexpr const char* kPortFile = "port";
inline constexpr const char* kRecordFile = "record.jsonl";
inline constexpr const char* kStateFile = "state.json";
inline constexpr const char* kControlFile = "control";
inline constexpr const char* kOutputFile = "output.txt";

// The command line after the program, with every file in folder named as
// the stand-in sees it (pathForStub). Makes the folder and writes the
// scenario and an empty control file.
std::vector<std::string> arguments(const SimStubOptions& options, const std::filesystem::path& folder,
                                   const std::function<std::string(const std::filesystem::path&)>& pathForStub);
// The port from the port file once it is there; -1 when the stand-in stops
// running first or never writes it.
int waitForPortFile(const std::filesystem::path& folder, const std::function<bool()>& running);
// True once the stand-in has recorded a "stop" command: it ends right after.
bool waitForStopRecorded(const SimStubProcess& stub);
// The options of SimStubProcess::startForClient on this platform.
SimStubOptions clientOptions(const nlohmann::json& scenario);

}  // namespace simstub_detail
