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

// The simulator's default pipe name, used when no Port is configured.
inline constexpr std::string_view kSimDefaultPipeName = "Lockheed Martin Prepar3D v5\\SimConnect";
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
// "\\host\pipe\name": an empty host is ".", an empty name the simulator's
// default pipe; cut to 259 characters.
std::string gf_simConnectPipePath(const std::string& address, const std::string& port);
