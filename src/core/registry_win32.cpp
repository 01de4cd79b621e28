#include "core/registry_win32.h"

#include <windows.h>

#include <string>

namespace {

HKEY lf_hkey(RegHandle key) { return reinterpret_cast<HKEY>(key); }

class Win32RegistryReader final : public RegistryReader {
public:
    explicit Win32RegistryReader(HKEY root) : m_root(root) {}

    long openMachineKey(std::wstring_view subKey, RegHandle& key) override {
        const std::wstring name(subKey);
        HKEY opened = nullptr;
        // The simulator's installer writes the 64-bit view; asking for it
        // explicitly keeps the answer the same whatever the process's width.
        const LSTATUS rc = RegOpenKeyExW(m_root, name.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &opened);
        if (rc == ERROR_SUCCESS) key = reinterpret_cast<RegHandle>(opened);
        return rc;
    }

    void closeKey(RegHandle key) override { RegCloseKey(lf_hkey(key)); }

    long queryValue(RegHandle key, std::wstring_view valueName, std::uint32_t& type, unsigned char* data,
                    std::uint32_t& size) override {
        const std::wstring name(valueName);
        DWORD valueType = 0;
        DWORD bytes = size;
        const LSTATUS rc = RegQueryValueExW(lf_hkey(key), name.c_str(), nullptr, &valueType, data, &bytes);
        type = valueType;
        size = bytes;
        return rc;
    }

private:
    HKEY m_root;
};

}  // namespace

std::unique_ptr<RegistryReader> gf_makeWin32RegistryReader(RegHandle root) {
    return std::make_unique<Win32RegistryReader>(lf_hkey(root));
}

RegistryReader& gf_systemRegistryReader() {
    static Win32RegistryReader reader(HKEY_LOCAL_MACHINE);
    return reader;
}
