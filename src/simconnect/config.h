// SimConnect.cfg: which transport, address and port a connection uses.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "simconnect/framing.h"

enum class SimConnectProtocol { Pipe, IPv4, IPv6 };

struct SimConnectConfig {
    SimConnectProtocol protocol = SimConnectProtocol::Pipe;
    std::string address;  // pipe host or TCP host
    std::string port;     // pipe name or TCP port
    std::uint32_t maxReceiveSize = kSimMaxReceiveSizeDefault;
    bool disableNagle = false;
};

// Which Prepar3D a connection without SimConnect.cfg looks for. Prepar3D v5
// and v6 each serve a pipe of their own ("Lockheed Martin Prepar3D v6\SimConnect")
// and write their SimConnect ports under a registry key of their own
// ("SOFTWARE\Lockheed Martin\Prepar3D v6"): a client that always looked for
// v5's would never find a v6 unless the user wrote a SimConnect.cfg.
inline constexpr int kSimDefaultP3dVersion = 5;
// 5 or 6; any other number leaves the version as it was. Process-wide, set
// before SimConnect_Open; gf_resetSimConnectPlatform puts 5 back.
void gf_setSimConnectP3dVersion(int version);
int gf_simConnectP3dVersion();
// The default pipe name of the version set: "Lockheed Martin Prepar3D vN\SimConnect".
std::string gf_simDefaultPipeName();
// The registry key of the version set, under HKEY_CURRENT_USER, whose values
// SimConnect_Port_IPv4 and SimConnect_Port_IPv6 name the simulator's ports.
std::string gf_simConnectRegistryKey();
// Longest pipe path kept (MAX_PATH less its NUL).
inline constexpr std::size_t kSimPipePathMax = 259;
// Longest value read from SimConnect.cfg (a 2048-character buffer with its NUL).
inline constexpr std::size_t kSimCfgValueMax = 2047;

// An INI file read the way the system's private-profile functions read it:
// section and key names without regard to case, blanks around names and values
// dropped, one pair of enclosing quotes removed, the first of repeated
// sections and keys counting, lines starting with ';' or '#' ignored.
class SimIniFile {
public:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
        std::size_t lines = 0;  // non-blank, non-comment lines
    };

    static SimIniFile parse(std::string_view text);
    // nullopt when the file cannot be read.
    static std::optional<SimIniFile> load(const std::filesystem::path& path);

    const Section* section(std::string_view name) const;
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

private:
    std::vector<Section> m_sections;
};

// "SimConnect" for index 0, "SimConnect.N" for N.
std::string gf_simConnectSectionName(int configIndex);
// SimConnect_Port_IPv6 or SimConnect_Port_IPv4 from the registry; empty when unset.
std::string gf_readSimConnectPort(bool ipv6);
// Resolves the configuration of index: -1 gives the defaults; N other than 0
// needs its section in one of the three SimConnect.cfg files (3 when none has
// it); the files of Public Documents, Documents and the current folder are
// read in that order, a later one overriding what an earlier one set.
// Gives 0 or 3.
int gf_readSimConnectConfig(int configIndex, SimConnectConfig& config);
// What SimConnect.cfg (section [SimConnect]) points the connection at, as
// the window and Log.txt say it: "SimConnect.cfg: <address>, port <port>"
// for TCP, "SimConnect.cfg: pipe <path>" for a named pipe; empty when no
// file sets an address or a port (the simulator on this PC is looked for).
// A user who waits for a simulator sees where the program looks for it.
std::string gf_simConnectTargetText();
// "\\host\pipe\name": an empty host is ".", an empty name the simulator's
// default pipe; cut to 259 characters.
std::string gf_simConnectPipePath(const std::string& address, const std::string& port);
