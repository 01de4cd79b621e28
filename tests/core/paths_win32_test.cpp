#include "core/paths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

std::optional<std::wstring> lf_getEnv(const wchar_t* name) {
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
    if (n == 0 || n >= 32768) return std::nullopt;
    return std::wstring(buffer, n);
}

class AppPathsTest : public ::testing::Test {
protected:
    void SetUp() override { m_old = lf_getEnv(L"GLIM_APPDATA"); }
    void TearDown() override {
        SetEnvironmentVariableW(L"GLIM_APPDATA", m_old ? m_old->c_str() : nullptr);
        gf_rebuildAppPaths();
    }

private:
    std::optional<std::wstring> m_old;
};

}  // namespace

TEST_F(AppPathsTest, OverrideWithCharactersOutsideTheCodePage) {
    const fs::path dir = fs::temp_directory_path() / L"glim_\u03c0_\u00dc";
    ASSERT_TRUE(SetEnvironmentVariableW(L"GLIM_APPDATA", dir.c_str()));
    gf_rebuildAppPaths();
    EXPECT_EQ(gf_appFolderPath(), dir / L"GLIM_P3D");
    EXPECT_EQ(gf_parametersPath(), dir / L"GLIM_P3D" / L"parameters.xml");
    const std::string utf8 = gf_parametersPathUtf8();
    EXPECT_NE(utf8.find("glim_\xcf\x80_\xc3\x9c\\GLIM_P3D\\parameters.xml"), std::string::npos) << utf8;
}

TEST_F(AppPathsTest, KnownFoldersOfTheSystem) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"GLIM_APPDATA", nullptr));
    for (const auto folder : {KnownFolder::roamingAppData, KnownFolder::documents, KnownFolder::publicDocuments,
                              KnownFolder::programFiles}) {
        const auto path = gf_knownFolder(folder);
        ASSERT_TRUE(path.has_value()) << static_cast<int>(folder);
        EXPECT_TRUE(path->is_absolute()) << path->string();
    }
    gf_rebuildAppPaths();
    EXPECT_EQ(gf_appFolderPath(), *gf_knownFolderAppData() / L"GLIM_P3D");
}
