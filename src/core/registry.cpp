#include "core/registry.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <vector>

namespace {

std::atomic<RegistryReader*> g_installedReader{nullptr};

// A value that changes size between the size query and the read is asked
// again, but not for ever: a value rewritten without pause must not hang the
// start-up reading.
constexpr int kMaxStringReadAttempts = 8;

// The registry stores REG_SZ as little-endian UTF-16 whose terminating zero
// is a convention, not a guarantee: the text ends at the first zero unit or
// at the end of the data, and an odd last byte is no code unit.
std::wstring lf_textOfData(const std::vector<unsigned char>& data, std::uint32_t bytes) {
    std::wstring text;
    const std::uint32_t units = bytes / 2;
    text.reserve(units);
    for (std::uint32_t i = 0; i < units; ++i) {
        const auto unit = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (unit == 0) break;
        text.push_back(unit);
    }
    return text;
}

}  // namespace

bool gf_isPredefinedRegKey(RegHandle key) {
    switch (key) {
        case 0:
        case kRegClassesRoot:
        case kRegCurrentUser:
        case kRegLocalMachine:
        case kRegUsers:
        case kRegPerformanceData:
        case kRegCurrentConfig:
        case kRegCurrentUserLocalSettings:
        case kRegPerformanceText:
        case kRegPerformanceNlsText:
            return true;
        default:
            return false;
    }
}

RegistryReader& gf_registryReader() {
    RegistryReader* reader = g_installedReader.load();
    return reader ? *reader : gf_systemRegistryReader();
}

void gf_setRegistryReader(RegistryReader* reader) { g_installedReader.store(reader); }

RegistryKey::RegistryKey(RegistryKey&& other) noexcept : m_reader(other.m_reader), m_key(other.m_key) {
    other.m_key = 0;
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        release();
        m_reader = other.m_reader;
        m_key = other.m_key;
        other.m_key = 0;
    }
    return *this;
}

void RegistryKey::release() noexcept {
    if (m_reader && !gf_isPredefinedRegKey(m_key)) m_reader->closeKey(m_key);
    m_key = 0;
}

std::wstring gf_regGetString(const RegistryKey& key, std::wstring_view valueName) {
    RegistryReader& reader = key.reader() ? *key.reader() : gf_registryReader();
    for (int attempt = 0; attempt < kMaxStringReadAttempts; ++attempt) {
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        long rc = reader.queryValue(key.get(), valueName, type, nullptr, size);
        // Only REG_SZ is a path: REG_EXPAND_SZ would need expanding first.
        if (rc == kRegSuccess && type != kRegTypeSz) rc = kRegUnsupportedType;
        if (rc != kRegSuccess) {
            throw winreg::RegException(rc, "Cannot get the size of the string value: RegGetValueW failed.");
        }
        if (size == 0) return {};

        std::vector<unsigned char> data(size);
        std::uint32_t written = size;
        rc = reader.queryValue(key.get(), valueName, type, data.data(), written);
        if (rc == kRegMoreData) continue;
        if (rc == kRegSuccess && type != kRegTypeSz) rc = kRegUnsupportedType;
        if (rc != kRegSuccess) throw winreg::RegException(rc, "Cannot get the string value: RegGetValueW failed.");
        return lf_textOfData(data, std::min(written, size));
    }
    throw winreg::RegException(kRegMoreData, "Cannot get the string value: RegGetValueW failed.");
}

std::wstring gf_p3dRegistryKey(int version) {
    return L"SOFTWARE\\Lockheed Martin\\Prepar3D v" + std::to_wstring(version);
}

namespace {

// Opens the key of a Prepar3D version; an empty key when it does not open.
RegistryKey lf_openP3dKey(RegistryReader& reader, int version) {
    if (version != 5 && version != 6) return {};
    RegHandle handle = 0;
    if (reader.openMachineKey(gf_p3dRegistryKey(version), handle) != kRegSuccess) return {};
    return RegistryKey(reader, handle);
}

}  // namespace

bool gf_p3dInstalled(int version) {
    try {
        return lf_openP3dKey(gf_registryReader(), version).get() != 0;
    } catch (const std::exception&) {
        return false;
    }
}

std::wstring gf_p3dSetupPath(int version) {
    try {
        RegistryReader& reader = gf_registryReader();
        const RegistryKey key = lf_openP3dKey(reader, version);
        if (key.get() == 0) return {};
        return gf_regGetString(key, L"SetupPath");
    } catch (const std::exception&) {
        // An absent simulator, value or wrong type is an empty path; the
        // callers report it in their own words.
        return {};
    }
}

std::string gf_simVersionNamedInPath(std::string_view path) {
    std::size_t end = path.size();
    while (end > 0) {
        const std::size_t slash = path.find_last_of("\\/", end - 1);
        const std::size_t begin = slash == std::string_view::npos ? 0 : slash + 1;
        const std::string_view folder = path.substr(begin, end - begin);
        if (folder.find("v5") != std::string_view::npos || folder.find("V5") != std::string_view::npos) return "5";
        if (folder.find("v6") != std::string_view::npos || folder.find("V6") != std::string_view::npos) return "6";
        if (slash == std::string_view::npos) break;
        end = slash;
    }
    return {};
}
