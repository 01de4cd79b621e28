#include "core/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

// A registry in memory that answers like RegOpenKeyExW and RegQueryValueExW,
// including their less convenient answers: data without a terminating zero,
// values that grow between the size query and the read.
class FakeRegistry final : public RegistryReader {
public:
    struct Value {
        std::uint32_t type = kRegTypeSz;
        std::vector<unsigned char> bytes;
        int growthsLeft = 0;  // the value grows by one character after each size query
    };

    static std::vector<unsigned char> utf16(const std::wstring& text, bool terminated) {
        std::vector<unsigned char> bytes;
        for (const wchar_t c : text) {
            bytes.push_back(static_cast<unsigned char>(c & 0xFF));
            bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
        }
        if (terminated) bytes.insert(bytes.end(), {0, 0});
        return bytes;
    }

    void setString(const std::wstring& key, const std::wstring& name, const std::wstring& text,
                   std::uint32_t type = kRegTypeSz, bool terminated = true) {
        keys[key][name] = Value{type, utf16(text, terminated), 0};
    }

    long openMachineKey(std::wstring_view subKey, RegHandle& key) override {
        ++opens;
        const auto found = keys.find(std::wstring(subKey));
        if (found == keys.end()) return kRegFileNotFound;
        key = nextHandle++;
        openHandles[key] = found->first;
        return kRegSuccess;
    }

    void closeKey(RegHandle key) override {
        ++closes;
        EXPECT_EQ(openHandles.erase(key), 1u) << "closed a handle that was not open: " << key;
    }

    long queryValue(RegHandle key, std::wstring_view valueName, std::uint32_t& type, unsigned char* data,
                    std::uint32_t& size) override {
        ++queries;
        const auto handle = openHandles.find(key);
        if (handle == openHandles.end()) return 6;  // ERROR_INVALID_HANDLE
        auto& values = keys[handle->second];
        const auto found = values.find(std::wstring(valueName));
        if (found == values.end()) return kRegFileNotFound;
        Value& value = found->second;
        type = value.type;
        const auto needed = static_cast<std::uint32_t>(value.bytes.size());
        if (!data) {
            size = needed;
            if (value.growthsLeft > 0) {
                --value.growthsLeft;
                value.bytes.insert(value.bytes.begin(), {'x', 0});
            }
            return kRegSuccess;
        }
        if (size < needed) {
            size = needed;
            return kRegMoreData;
        }
        std::copy(value.bytes.begin(), value.bytes.end(), data);
        size = needed;
        return kRegSuccess;
    }

    std::map<std::wstring, std::map<std::wstring, Value>> keys;
    std::map<RegHandle, std::wstring> openHandles;
    RegHandle nextHandle = 0x1000;
    int opens = 0;
    int closes = 0;
    int queries = 0;
};

const std::wstring kV5 = L"SOFTWARE\\Lockheed Martin\\Prepar3D v5";
const std::wstring kV6 = L"SOFTWARE\\Lockheed Martin\\Prepar3D v6";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { gf_setRegistryReader(&fake); }
    void TearDown() override {
        gf_setRegistryReader(nullptr);
        EXPECT_TRUE(fake.openHandles.empty()) << "a key was left open";
    }
    FakeRegistry fake;
};

}  // namespace

TEST_F(RegistryTest, OnlyVersionSixInstalled) {
    fake.setString(kV6, L"SetupPath", L"D:\\Lockheed Martin\\Prepar3D v6\\");
    EXPECT_FALSE(gf_p3dInstalled(5));
    EXPECT_TRUE(gf_p3dInstalled(6));
    EXPECT_EQ(gf_p3dSetupPath(5), L"");
    EXPECT_EQ(gf_p3dSetupPath(6), L"D:\\Lockheed Martin\\Prepar3D v6\\");

    // Other versions are never looked up, even where a key exists.
    fake.setString(L"SOFTWARE\\Lockheed Martin\\Prepar3D v4", L"SetupPath", L"C:\\P3D4");
    const int opensBefore = fake.opens;
    EXPECT_FALSE(gf_p3dInstalled(4));
    EXPECT_EQ(gf_p3dSetupPath(4), L"");
    EXPECT_EQ(fake.opens, opensBefore);
}

TEST_F(RegistryTest, SetupPathValueForms) {
    struct Row {
        const char* what;
        FakeRegistry::Value value;
        std::wstring expected;
    };
    auto sz = [](const std::wstring& text, bool terminated = true) {
        return FakeRegistry::Value{kRegTypeSz, FakeRegistry::utf16(text, terminated), 0};
    };
    auto withExtra = [](FakeRegistry::Value v, std::initializer_list<unsigned char> extra) {
        v.bytes.insert(v.bytes.end(), extra);
        return v;
    };
    auto growing = [](FakeRegistry::Value v, int times) {
        v.growthsLeft = times;
        return v;
    };
    const Row rows[] = {
        {"terminated text", sz(L"C:\\P3D"), L"C:\\P3D"},
        {"text without its terminating zero keeps its last character", sz(L"C:\\P3D", false), L"C:\\P3D"},
        {"no data at all", sz(L"", false), L""},
        {"only the terminating zero", sz(L""), L""},
        {"an odd last byte is no character", withExtra(sz(L"C:\\P3D", false), {'Z'}), L"C:\\P3D"},
        {"text ends at its first zero", withExtra(sz(L"C:\\P3D"), {'Z', 0, 0, 0}), L"C:\\P3D"},
        {"REG_EXPAND_SZ is not taken", FakeRegistry::Value{kRegTypeExpandSz, FakeRegistry::utf16(L"%P3D%", true), 0},
         L""},
        {"a value that grew once while read", growing(sz(L"C:\\P3D"), 1), L"xC:\\P3D"},
        {"a value that grows on every read", growing(sz(L"C:\\P3D"), 1000), L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fake.keys[kV5][L"SetupPath"] = row.value;
        fake.queries = 0;
        EXPECT_EQ(gf_p3dSetupPath(5), row.expected);
        EXPECT_LE(fake.queries, 16) << "reads of a changing value must be bounded";
    }
    fake.keys[kV5].clear();
    EXPECT_EQ(gf_p3dSetupPath(5), L"") << "missing value";
    EXPECT_TRUE(gf_p3dInstalled(5));
}

TEST_F(RegistryTest, RegGetStringRaisesWithTheStepAndCode) {
    fake.setString(kV5, L"SetupPath", L"%P3D%", kRegTypeExpandSz);
    fake.keys[kV5][L"Busy"] = FakeRegistry::Value{kRegTypeSz, FakeRegistry::utf16(L"x", true), 1000};
    RegHandle handle = 0;
    ASSERT_EQ(fake.openMachineKey(kV5, handle), kRegSuccess);
    const RegistryKey key(fake, handle);

    struct Row {
        const wchar_t* name;
        long code;
        const char* message;
    };
    const Row rows[] = {
        {L"Missing", kRegFileNotFound, "Cannot get the size of the string value: RegGetValueW failed."},
        {L"SetupPath", kRegUnsupportedType, "Cannot get the size of the string value: RegGetValueW failed."},
        {L"Busy", kRegMoreData, "Cannot get the string value: RegGetValueW failed."},
    };
    for (const Row& row : rows) {
        try {
            gf_regGetString(key, row.name);
            ADD_FAILURE() << "no exception";
        } catch (const winreg::RegException& e) {
            EXPECT_EQ(e.code().value(), row.code);
            EXPECT_EQ(std::string(e.what()).rfind(std::string(row.message) + ": ", 0), 0u) << e.what();
        }
    }
}

TEST_F(RegistryTest, KeyOwnershipClosesEachOpenedKeyOnce) {
    fake.setString(kV5, L"SetupPath", L"C:\\P3D");
    RegHandle handle = 0;
    ASSERT_EQ(fake.openMachineKey(kV5, handle), kRegSuccess);
    {
        RegistryKey first(fake, handle);
        RegistryKey second(std::move(first));
        RegistryKey third;
        third = std::move(second);
        EXPECT_EQ(third.get(), handle);
        EXPECT_EQ(first.get(), 0u);
    }
    EXPECT_EQ(fake.closes, 1);

    // The predefined roots belong to the system: releasing them closes nothing.
    for (const RegHandle root : {kRegLocalMachine, kRegCurrentUser, kRegClassesRoot, kRegUsers, kRegPerformanceData,
                                 kRegCurrentConfig, kRegCurrentUserLocalSettings, kRegPerformanceText,
                                 kRegPerformanceNlsText}) {
        RegistryKey rootKey(fake, root);
        rootKey.release();
        EXPECT_EQ(rootKey.get(), 0u);
    }
    EXPECT_EQ(fake.closes, 1);
}

TEST(RegistryDefaultTest, NativeBuildFindsNoSimulator) {
    gf_setRegistryReader(nullptr);
#ifndef _WIN32
    EXPECT_FALSE(gf_p3dInstalled(5));
    EXPECT_FALSE(gf_p3dInstalled(6));
    EXPECT_EQ(gf_p3dSetupPath(6), L"");
#endif
    EXPECT_EQ(&gf_registryReader(), &gf_systemRegistryReader());
}
