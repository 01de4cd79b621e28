// Registry look-ups for the installed Prepar3D versions.
//
// The look-up logic is portable and works through a small reader seam: the
// Windows build reads the real registry (registry_win32.cpp), the native build
// has a reader that finds nothing (registry_posix.cpp), and tests install a
// fake.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

// An open key as the reader knows it (a Win32 HKEY in the Windows build).
using RegHandle = std::uintptr_t;

// Win32 error codes and value types the look-ups act on.
inline constexpr long kRegSuccess = 0;
inline constexpr long kRegFileNotFound = 2;
inline constexpr long kRegMoreData = 234;
inline constexpr long kRegUnsupportedType = 1630;
inline constexpr std::uint32_t kRegTypeSz = 1;
inline constexpr std::uint32_t kRegTypeExpandSz = 2;

// The predefined root keys, as the Windows headers define them (32-bit values
// sign-extended to the width of a handle).
namespace reg_detail {
inline constexpr RegHandle rootKey(std::uint32_t value) {
    return static_cast<RegHandle>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}
}  // namespace reg_detail
inline constexpr RegHandle kRegClassesRoot = reg_detail::rootKey(0x80000000u);
inline constexpr RegHandle kRegCurrentUser = reg_detail::rootKey(0x80000001u);
inline constexpr RegHandle kRegLocalMachine = reg_detail::rootKey(0x80000002u);
inline constexpr RegHandle kRegUsers = reg_detail::rootKey(0x80000003u);
inline constexpr RegHandle kRegPerformanceData = reg_detail::rootKey(0x80000004u);
inline constexpr RegHandle kRegCurrentConfig = reg_detail::rootKey(0x80000005u);
inline constexpr RegHandle kRegCurrentUserLocalSettings = reg_detail::rootKey(0x80000007u);
inline constexpr RegHandle kRegPerformanceText = reg_detail::rootKey(0x80000050u);
inline constexpr RegHandle kRegPerformanceNlsText = reg_detail::rootKey(0x80000060u);

// True for null and for every predefined root key: handles nobody may close.
bool gf_isPredefinedRegKey(RegHandle key);

// What the look-ups need of the registry.
class RegistryReader {
public:
    virtual ~RegistryReader() = default;
    // Opens subKey below the reader's machine root for reading (the 64-bit
    // view). Gives a Win32 error code; the handle only on success.
    virtual long openMachineKey(std::wstring_view subKey, RegHandle& key) = 0;
    virtual void closeKey(RegHandle key) = 0;
    // One read of a value, as RegQueryValueExW does it: with data null only
    // type and size (in bytes) are given; otherwise size holds the room of
    // data on entry and the bytes written (or needed, with kRegMoreData) on
    // return. The data need not end in a zero.
    virtual long queryValue(RegHandle key, std::wstring_view valueName, std::uint32_t& type, unsigned char* data,
                            std::uint32_t& size) = 0;
};

// The reader every look-up uses: the one installed by
// gf_setRegistryReader, else the system's.
RegistryReader& gf_registryReader();
// Installs a reader (a fake in tests); null puts the system's back.
void gf_setRegistryReader(RegistryReader* reader);
// The system's reader of this build.
RegistryReader& gf_systemRegistryReader();

namespace winreg {

// A Win32 error code (system category) with a message; what() is
// "<message>: <the system's description of the code>".
class RegException : public std::system_error {
public:
    RegException(long code, const std::string& message)
        : std::system_error(static_cast<int>(code), std::system_category(), message) {}
};

}  // namespace winreg

// Owns one open key and closes it when it goes, unless it is null or a
// predefined root key.
class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(RegistryReader& reader, RegHandle key) : m_reader(&reader), m_key(key) {}
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    ~RegistryKey() { release(); }

    RegHandle get() const noexcept { return m_key; }
    RegistryReader* reader() const noexcept { return m_reader; }
    void release() noexcept;

private:
    RegistryReader* m_reader = nullptr;
    RegHandle m_key = 0;
};

// The REG_SZ value of an open key as UTF-16 text, without a terminating zero.
// Throws winreg::RegException when the value is missing, is not REG_SZ, or
// keeps changing size while it is read.
std::wstring gf_regGetString(const RegistryKey& key, std::wstring_view valueName);

// The key of a Prepar3D version below HKEY_LOCAL_MACHINE.
std::wstring gf_p3dRegistryKey(int version);
// True when the key of version 5 or 6 opens; never throws.
bool gf_p3dInstalled(int version);
// The SetupPath of version 5 or 6, or an empty text; never throws.
std::wstring gf_p3dSetupPath(int version);
// The simulator version an install path names: "5" or "6" as named by the
// deepest folder of the path that names one ("v5"/"V5" before "v6"/"V6"
// within one folder name), else an empty text. Only the folders that name
// the installation count: "D:\tmp.av5x\Prepar3D v6" is version 6.
std::string gf_simVersionNamedInPath(std::string_view path);
