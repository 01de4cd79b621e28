#include "simconnect/config.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <fstream>
#include <iterator>
#include <system_error>

#include "simconnect/platform.h"

namespace {

std::atomic<int> g_simConnectP3dVersion{kSimDefaultP3dVersion};

bool lf_equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view lf_trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// A UTF-8 byte-order mark is not part of the first line.
std::string_view lf_withoutBom(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    return text;
}

// Leading decimal digits after blanks; anything else is 0, a value beyond
// 32 bits stays at the largest.
std::uint32_t lf_decimalU32(std::string_view s) {
    s = lf_trim(s);
    std::uint64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(value);
}

bool lf_decimalNonZero(std::string_view s) {
    s = lf_trim(s);
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) s.remove_prefix(1);
    return lf_decimalU32(s) != 0;
}

std::filesystem::path lf_cfgFile(const std::function<std::filesystem::path()>& folder) {
    if (!folder) return {};
    std::filesystem::path dir = folder();
    if (dir.empty()) return {};
    return dir / "SimConnect.cfg";
}

std::vector<std::filesystem::path> lf_cfgFiles() {
    return {lf_cfgFile(g_simConnectPlatform.publicDocumentsFolder), lf_cfgFile(g_simConnectPlatform.documentsFolder),
            lf_cfgFile(g_simConnectPlatform.currentFolder)};
}

bool lf_hasSimConnectCfgSection(const std::filesystem::path& path, int configIndex) {
    if (path.empty()) return false;
    auto ini = SimIniFile::load(path);
    if (!ini) return false;
    const SimIniFile::Section* section = ini->section(gf_simConnectSectionName(configIndex));
    return section && section->lines > 0;
}

void lf_readSimConnectCfg(const std::filesystem::path& path, int configIndex, SimConnectConfig& config) {
    if (path.empty()) return;
    auto ini = SimIniFile::load(path);
    if (!ini) return;
    const std::string name = gf_simConnectSectionName(configIndex);
    if (auto protocol = ini->value(name, "Protocol")) {
        if (lf_equalNoCase(*protocol, "Auto") || lf_equalNoCase(*protocol, "Pipe")) {
            config.protocol = SimConnectProtocol::Pipe;
        } else if (lf_equalNoCase(*protocol, "IPv4") || lf_equalNoCase(*protocol, "IPv6")) {
            bool ipv6 = lf_equalNoCase(*protocol, "IPv6");
            config.protocol = ipv6 ? SimConnectProtocol::IPv6 : SimConnectProtocol::IPv4;
            if (config.port.empty()) config.port = gf_readSimConnectPort(ipv6);
        }
    }
    if (auto address = ini->value(name, "Address")) config.address = *address;
    if (auto port = ini->value(name, "Port")) config.port = *port;
    if (auto size = ini->value(name, "MaxReceiveSize")) {
        std::uint32_t value = lf_decimalU32(*size);
        if (value > config.maxReceiveSize) config.maxReceiveSize = value;
    }
    if (auto nagle = ini->value(name, "DisableNagle")) config.disableNagle = lf_decimalNonZero(*nagle);
}

}  // namespace

SimIniFile SimIniFile::parse(std::string_view text) {
    SimIniFile ini;
    Section* current = nullptr;
    bool currentIsRepeat = false;
    Section ignored;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = lf_trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::size_t nameLength = close == std::string_view::npos ? line.size() - 1 : close - 1;
            std::string_view name = lf_trim(line.substr(1, nameLength));
            auto known = std::find_if(ini.m_sections.begin(), ini.m_sections.end(),
                                      [&](const Section& s) { return lf_equalNoCase(s.name, name); });
            if (known == ini.m_sections.end()) {
                ini.m_sections.push_back(Section{std::string(name), {}, 0});
                current = &ini.m_sections.back();
                currentIsRepeat = false;
            } else {
                // Only the first section of a name is read; later ones are parsed
                // into a scratch section so their lines go nowhere.
                ignored = Section{};
                current = &ignored;
                currentIsRepeat = true;
            }
            continue;
        }
        if (!current) continue;
        ++current->lines;
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        std::string_view key = lf_trim(line.substr(0, equals));
        std::string_view value = lf_trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        if (value.size() > kSimCfgValueMax) value = value.substr(0, kSimCfgValueMax);
        bool seen = std::any_of(current->entries.begin(), current->entries.end(),
                                [&](const auto& e) { return lf_equalNoCase(e.first, key); });
        if (!seen && !currentIsRepeat) current->entries.emplace_back(std::string(key), std::string(value));
    }
    return ini;
}

std::optional<SimIniFile> SimIniFile::load(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) return std::nullopt;
    return parse(lf_withoutBom(bytes));
}

const SimIniFile::Section* SimIniFile::section(std::string_view name) const {
    for (const Section& s : m_sections)
        if (lf_equalNoCase(s.name, name)) return &s;
    return nullptr;
}

std::optional<std::string> SimIniFile::value(std::string_view sectionName, std::string_view key) const {
    const Section* s = section(sectionName);
    if (!s) return std::nullopt;
    for (const auto& [k, v] : s->entries)
        if (lf_equalNoCase(k, key)) return v;
    return std::nullopt;
}

std::string gf_simConnectSectionName(int configIndex) {
    return configIndex == 0 ? std::string("SimConnect") : "SimConnect." + std::to_string(configIndex);
}

std::string gf_readSimConnectPort(bool ipv6) {
    if (!g_simConnectPlatform.registryPort) return {};
    return g_simConnectPlatform.registryPort(ipv6);
}

int gf_readSimConnectConfig(int configIndex, SimConnectConfig& config) {
    config = SimConnectConfig{};
    if (configIndex == -1) return 0;
    const auto files = lf_cfgFiles();
    auto hasSection = [&](const std::filesystem::path& file) { return lf_hasSimConnectCfgSection(file, configIndex); };
    if (configIndex != 0 && std::none_of(files.begin(), files.end(), hasSection)) return 3;
    for (const auto& file : files) lf_readSimConnectCfg(file, configIndex, config);
    return 0;
}

void gf_setSimConnectP3dVersion(int version) {
    if (version == 5 || version == 6) g_simConnectP3dVersion.store(version);
}

int gf_simConnectP3dVersion() { return g_simConnectP3dVersion.load(); }

std::string gf_simDefaultPipeName() {
    return "Lockheed Martin Prepar3D v" + std::to_string(gf_simConnectP3dVersion()) + "\\SimConnect";
}

std::string gf_simConnectRegistryKey() {
    return "SOFTWARE\\Lockheed Martin\\Prepar3D v" + std::to_string(gf_simConnectP3dVersion());
}

std::string gf_simConnectPipePath(const std::string& address, const std::string& port) {
    std::string host = address.empty() ? std::string(".") : address;
    std::string path = "\\\\" + host + "\\pipe\\" + (port.empty() ? gf_simDefaultPipeName() : port);
    if (path.size() > kSimPipePathMax) path.resize(kSimPipePathMax);
    return path;
}

std::string gf_simConnectTargetText() {
    SimConnectConfig config;
    if (gf_readSimConnectConfig(0, config) != 0 || (config.address.empty() && config.port.empty())) return {};
    if (config.protocol == SimConnectProtocol::Pipe)
        return "SimConnect.cfg: pipe " + gf_simConnectPipePath(config.address, config.port);
    const std::string address = config.address.empty() ? std::string("this PC") : config.address;
    const std::string port = config.port.empty() ? std::string("from the registry") : config.port;
    return "SimConnect.cfg: " + address + ", port " + port;
}
