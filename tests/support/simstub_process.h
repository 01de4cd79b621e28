// Runs testbed/simstub as a separate process for the tests that talk to it
// (the SimConnect client library, the SimClient session): its files live in a
// folder of the test, the record and state are read back as JSON and commands
// go through its control file.
#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Which build of the stand-in runs.
enum class SimStubBuild {
    // The Linux program: TCP only. Under Wine it is started from the Windows
    // test process, which Wine allows for Linux programs.
    Native,
    // simstub.exe: TCP and the named pipe (Windows build only).
    Windows,
};

struct SimStubOptions {
    SimStubBuild build = SimStubBuild::Native;
    // The scenario file's JSON text; empty for every default.
    std::string scenario;
    bool tcp = true;
    // The pipe served by simstub.exe (the part after \\.\pipe\); empty: none.
    std::string pipeName;
};

class SimStubProcess {
public:
    // Starts the stand-in with its files in folder (made when missing) and
    // waits until its port file says every listener is up. Null, with the
    // reason in whyNot, when that build cannot run here.
    static std::unique_ptr<SimStubProcess> start(const SimStubOptions& options, const std::filesystem::path& folder,
                                                 std::string& whyNot);
    // The stand-in as the program reaches Prepar3D: natively the Linux build
    // over TCP, under Wine simstub.exe over a named pipe of its own (so that
    // parallel tests never meet).
    static std::unique_ptr<SimStubProcess> startForClient(const std::filesystem::path& folder,
                                                          const nlohmann::json& scenario, std::string& whyNot);
    // Why that build of the stand-in cannot be found here; empty when it can.
    static std::string missing(SimStubBuild build);
    virtual ~SimStubProcess() = default;

    int port() const { return m_port; }
    const std::filesystem::path& folder() const { return m_folder; }

    // Appends one command line to the control file.
    void command(const std::string& line) const;
    // The complete lines of the record so far.
    std::vector<nlohmann::json> record() const;
    // The packets the client sent (record lines with a "function").
    std::vector<nlohmann::json> packets() const;
    // The state file, or null while it does not exist yet.
    nlohmann::json state() const;
    // The [SimConnect] section of SimConnect.cfg that leads a client here:
    // the pipe when the stand-in serves one without TCP, else the TCP port.
    std::string simConnectCfg() const;
    // Waits (bounded) until a record line satisfies match; that line, or null.
    nlohmann::json waitForRecord(const std::function<bool(const nlohmann::json&)>& match) const;
    // What the stand-in wrote to stdout and stderr.
    std::string output() const;

    // Sends "stop" and waits until the stand-in has ended; false when it
    // did not (it is then ended by force where the platform can).
    virtual bool stop() = 0;

protected:
    std::filesystem::path m_folder;
    int m_port = 0;
    SimStubOptions m_options;
};

// Polls done every few milliseconds; false when it still fails after a bound
// that only keeps a broken build from hanging the run.
bool gf_eventually(const std::function<bool()>& done);

// A folder of its own below the system's temporary folder, removed with
// everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};
