#include "core/log.h"
#include "core/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// Keeps one environment variable for the test and restores it afterwards.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : m_name(name) {
        if (const char* v = std::getenv(name)) m_old = v;
    }
    ~EnvGuard() {
        if (m_old) setenv(m_name, m_old->c_str(), 1);
        else unsetenv(m_name);
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class AppPathsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("glim_paths_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        gf_logClose();
        fs::remove_all(dir);
        gf_rebuildAppPaths();
    }
    fs::path dir;
    EnvGuard appdata{"GLIM_APPDATA"}, xdg{"XDG_CONFIG_HOME"}, home{"HOME"};
};

}  // namespace

TEST_F(AppPathsTest, OverrideNamesTheAppDataFolder) {
    setenv("GLIM_APPDATA", dir.c_str(), 1);
    gf_rebuildAppPaths();
    EXPECT_EQ(gf_appFolderPath(), dir / "GLIM_P3D");
    EXPECT_EQ(gf_parametersPath(), dir / "GLIM_P3D" / "parameters.xml");
    EXPECT_EQ(gf_parametersPathUtf8(), (dir / "GLIM_P3D" / "parameters.xml").string());

    // An empty override counts as none.
    setenv("GLIM_APPDATA", "", 1);
    setenv("XDG_CONFIG_HOME", (dir / "cfg").c_str(), 1);
    EXPECT_EQ(gf_knownFolderAppData(), dir / "cfg");
}

TEST_F(AppPathsTest, NoAppDataFolderIsReportedAndFallsBackToTheWorkingFolder) {
    unsetenv("GLIM_APPDATA");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
    gf_rebuildAppPaths();
    EXPECT_EQ(gf_appFolderPath(), fs::path("GLIM_P3D"));
    EXPECT_EQ(gf_parametersPathUtf8(), "GLIM_P3D/parameters.xml");
    gf_logClose();
    std::ifstream in(dir / "Log.txt");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "==> Could not find the AppData path\n");
}
