// The real registry reader against keys this test writes through the Win32
// API. The simulator's own keys are never touched: the look-ups run through
// a reader rooted at a private key of this test, and the HKEY_LOCAL_MACHINE
// read uses a private key there.
#include "core/registry.h"
#include "core/registry_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

namespace {

RegHandle lf_handle(HKEY key) { return reinterpret_cast<RegHandle>(key); }

void setValue(HKEY key, const std::wstring& subKey, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(key, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &created,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(created, name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
    RegCloseKey(created);
}

void setText(HKEY key, const std::wstring& subKey, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ,
             bool terminated = true) {
    const DWORD bytes = static_cast<DWORD>((text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
    setValue(key, subKey, name, type, text.c_str(), bytes);
}

class RegistryWin32Test : public ::testing::Test {
protected:
    void SetUp() override {
        testKeyName = L"Software\\GLIM_P3D tests\\registry " + std::to_wstring(GetCurrentProcessId());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, testKeyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &testRoot, nullptr),
                  ERROR_SUCCESS);
        reader = gf_makeWin32RegistryReader(lf_handle(testRoot));
        gf_setRegistryReader(reader.get());
    }
    void TearDown() override {
        gf_setRegistryReader(nullptr);
        RegCloseKey(testRoot);
        RegDeleteTreeW(HKEY_CURRENT_USER, testKeyName.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\GLIM_P3D tests");
    }
    std::wstring testKeyName;
    HKEY testRoot = nullptr;
    std::unique_ptr<RegistryReader> reader;
};

}  // namespace

TEST_F(RegistryWin32Test, SimulatorLookUpsReadTheRealRegistry) {
    setText(testRoot, gf_p3dRegistryKey(6), L"SetupPath", L"D:\\Lockheed Martin\\Prepar3D v6\\");
    EXPECT_FALSE(gf_p3dInstalled(5));
    EXPECT_TRUE(gf_p3dInstalled(6));
    EXPECT_EQ(gf_p3dSetupPath(5), L"");
    EXPECT_EQ(gf_p3dSetupPath(6), L"D:\\Lockheed Martin\\Prepar3D v6\\");
}

TEST_F(RegistryWin32Test, SetupPathValueForms) {
    struct Row {
        const char* what;
        std::wstring text;
        DWORD type;
        bool terminated;
        std::wstring expected;
    };
    const std::wstring longPath = L"E:\\" + std::wstring(300, L'p') + L"\\Prepar3D v5";
    const Row rows[] = {
        {"plain", L"C:\\P3D v5", REG_SZ, true, L"C:\\P3D v5"},
        {"stored without its zero", L"C:\\P3D v5", REG_SZ, false, L"C:\\P3D v5"},
        {"empty", L"", REG_SZ, true, L""},
        {"empty without a zero", L"", REG_SZ, false, L""},
        {"longer than a path", longPath, REG_SZ, true, longPath},
        {"expandable text", L"%ProgramFiles%\\P3D", REG_EXPAND_SZ, true, L""},
        {"non-ASCII", L"C:\\Flugsimulator\\Pr\u00e9par3D", REG_SZ, true, L"C:\\Flugsimulator\\Pr\u00e9par3D"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        setText(testRoot, gf_p3dRegistryKey(5), L"SetupPath", row.text, row.type, row.terminated);
        EXPECT_EQ(gf_p3dSetupPath(5), row.expected);
    }
    const DWORD number = 5;
    setValue(testRoot, gf_p3dRegistryKey(5), L"SetupPath", REG_DWORD, &number, sizeof number);
    EXPECT_EQ(gf_p3dSetupPath(5), L"");
}

TEST(RegistryWin32RootTest, PredefinedKeysMatchTheSystemHandles) {
    EXPECT_EQ(kRegClassesRoot, lf_handle(HKEY_CLASSES_ROOT));
    EXPECT_EQ(kRegCurrentUser, lf_handle(HKEY_CURRENT_USER));
    EXPECT_EQ(kRegLocalMachine, lf_handle(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(kRegUsers, lf_handle(HKEY_USERS));
    EXPECT_EQ(kRegPerformanceData, lf_handle(HKEY_PERFORMANCE_DATA));
    EXPECT_EQ(kRegCurrentConfig, lf_handle(HKEY_CURRENT_CONFIG));
    EXPECT_EQ(kRegCurrentUserLocalSettings, lf_handle(HKEY_CURRENT_USER_LOCAL_SETTINGS));
    EXPECT_EQ(kRegPerformanceText, lf_handle(HKEY_PERFORMANCE_TEXT));
    EXPECT_EQ(kRegPerformanceNlsText, lf_handle(HKEY_PERFORMANCE_NLSTEXT));

    // Releasing the machine root must leave it usable.
    {
        RegistryKey root(gf_systemRegistryReader(), kRegLocalMachine);
    }
    HKEY software = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_READ, &software), ERROR_SUCCESS);
    if (software) RegCloseKey(software);
}

TEST(RegistryWin32RootTest, SystemReaderReadsTheMachineKeys) {
    const std::wstring subKey = L"SOFTWARE\\GLIM_P3D tests " + std::to_wstring(GetCurrentProcessId());
    HKEY created = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                        &created, nullptr) != ERROR_SUCCESS) {
        GTEST_SKIP() << "no right to write HKEY_LOCAL_MACHINE here";
    }
    const std::wstring text = L"C:\\Program Files\\Lockheed Martin\\Prepar3D v5\\";
    RegSetValueExW(created, L"SetupPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(created);

    RegistryReader& reader = gf_systemRegistryReader();
    RegHandle handle = 0;
    ASSERT_EQ(reader.openMachineKey(subKey, handle), kRegSuccess);
    {
        const RegistryKey key(reader, handle);
        EXPECT_EQ(gf_regGetString(key, L"SetupPath"), text);
        EXPECT_THROW(gf_regGetString(key, L"Missing"), winreg::RegException);
    }
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), KEY_WOW64_64KEY, 0);
}
