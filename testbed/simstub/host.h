// The running stand-in: listeners, client links, the control file, the state
// file and the record, around one Stub, all on one polling thread.
#pragma once

#include "simstub/link.h"
#include "simstub/recorder.h"
#include "simstub/scenario.h"
#include "simstub/stub.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace simstub {

// The simulator's default pipe path; the client's own default when its
// configuration names no pipe.
inline constexpr const char* kDefaultPipePath = "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect";

struct HostOptions {
    bool tcp = true;
    std::uint16_t port = 0;             // 0: a free port
    bool pipe = true;                   // Windows build only
    std::string pipePath = kDefaultPipePath;
    std::filesystem::path portFile;     // the bound TCP port, written once listening
    std::filesystem::path recordFile;   // JSON lines, appended
    std::filesystem::path stateFile;    // JSON, rewritten on change
    std::filesystem::path controlFile;  // commands, one a line, polled
};

class Host {
public:
    Host(HostOptions options, const Scenario& scenario);
    ~Host();

    // Opens the listeners and writes the port file; false with error set.
    bool start(std::string& error);
    std::uint16_t port() const { return port_; }

    // Runs until stop is set or a "stop" command arrives.
    void run(const std::atomic<bool>& stop);
    // One pass of the loop; false once a "stop" command has arrived.
    bool pollOnce();

private:
    struct Client {
        SessionId session;
        std::unique_ptr<Link> link;
    };

    double elapsedS() const;
    void acceptClients();
    // Until a link or listener has something to do, at most a millisecond.
    void waitForWork();
    void serviceClients();
    bool pollControl();
    void writeState(bool force);

    HostOptions options_;
    Recorder recorder_;
    Stub stub_;
    std::chrono::steady_clock::time_point start_;
    std::vector<std::unique_ptr<Listener>> listeners_;
    std::vector<Client> clients_;
    std::uint16_t port_ = 0;
    bool netStarted_ = false;
    std::uintmax_t controlOffset_ = 0;
    double nextControlPollS_ = 0.0;
    double nextStateWriteS_ = 0.0;
    bool stateDirty_ = true;
};

// Writes text to a temporary file beside path and renames it over path, so a
// reader never sees a half-written file.
bool writeFileAtomically(const std::filesystem::path& path, const std::string& text);

}  // namespace simstub
