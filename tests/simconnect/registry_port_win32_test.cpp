// The simulator's SimConnect ports as the Windows build reads them from the
// registry: Prepar3D v5 and v6 each write them under a key of their own, and
// a client that read v5's key on a v6-only PC would find no port at all.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simconnect/config.h"
#include "simconnect/platform.h"

namespace {

const wchar_t* const kKeys[] = {L"SOFTWARE\\Lockheed Martin\\Prepar3D v5", L"SOFTWARE\\Lockheed Martin\\Prepar3D v6"};

// The test's own port values under HKEY_CURRENT_USER, taken away again at
// the end so that no other test of this Wine prefix finds a simulator port.
class RegistryPorts : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* key : kKeys) {
            HKEY h = nullptr;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &h) == ERROR_SUCCESS) {
                RegCloseKey(h);
                GTEST_SKIP() << "a simulator key of this user exists already; the test does not touch it";
            }
        }
        gf_resetSimConnectPlatform();
    }
    void TearDown() override {
        for (const wchar_t* key : m_written) RegDeleteTreeW(HKEY_CURRENT_USER, key);
        gf_resetSimConnectPlatform();
    }
    void write(int index, const wchar_t* name, const wchar_t* value) {
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKeys[index], 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr),
                  ERROR_SUCCESS);
        m_written.push_back(kKeys[index]);
        RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
        RegCloseKey(h);
    }

private:
    std::vector<const wchar_t*> m_written;
};

}  // namespace

TEST_F(RegistryPorts, ReadTheKeyOfTheVersionLookedFor) {
    write(0, L"SimConnect_Port_IPv4", L"5004");
    write(0, L"SimConnect_Port_IPv6", L"5006");
    write(1, L"SimConnect_Port_IPv4", L"6004");
    struct Row {
        int version;
        const char* ipv4;
        const char* ipv6;
    };
    const Row rows[] = {
        {5, "5004", "5006"},
        {6, "6004", ""},  // v6 wrote no IPv6 port: v5's is not taken instead
    };
    const SimConnectPlatform platform = gf_systemSimConnectPlatform();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.version);
        gf_setSimConnectP3dVersion(row.version);
        EXPECT_EQ(platform.registryPort(false), row.ipv4);
        EXPECT_EQ(platform.registryPort(true), row.ipv6);
    }
}
