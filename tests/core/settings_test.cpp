#include "core/settings.h"
#include "support/test_env.h"

#include "core/paths.h"
#include "core/settings_file.h"

#include "settings_test_support.h"

#include <thread>

using namespace settings_test;

namespace {

}  // namespace

TEST_F(SettingsTest, StringSetSavesToTheApplicationFolderEvenWhenUnchanged) {
    const char* old = std::getenv("GLIM_APPDATA");
    const std::string previous = old ? old : "";
    setTestEnv("GLIM_APPDATA", dir.string());
    gf_rebuildAppPaths();
    fs::create_directories(dir / "GLIM_P3D");
    const fs::path appFile = dir / "GLIM_P3D" / "parameters.xml";

    writeFile(appFile, parametersXml({{"DESTINATION", "EGLL"}}));
    DESTINATION.set("EDDF");
    EXPECT_EQ(readFile(appFile), parametersXml({{"DESTINATION", "EDDF"}}));

    writeFile(appFile, parametersXml({{"DESTINATION", "stale"}}));
    DESTINATION.set("EDDF");  // same value: stored all the same
    EXPECT_EQ(readFile(appFile), parametersXml({{"DESTINATION", "EDDF"}}));
    EXPECT_EQ(DESTINATION.get(), "EDDF");

    setTestEnv("GLIM_APPDATA", previous);
    gf_rebuildAppPaths();
}

TEST_F(SettingsTest, TextSettingIsCopiedWholeWhileAnotherThreadReplacesIt) {
    const std::string a(300, 'a');
    const std::string b(700, 'b');
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) BLOCK_CALLSIGN.setValue(i % 2 ? a : b);
        done = true;
    });
    std::size_t torn = 0;
    while (!done) {
        const std::string copy = BLOCK_CALLSIGN.get();
        if (!copy.empty() && copy != a && copy != b) ++torn;
    }
    writer.join();
    EXPECT_EQ(torn, 0u);
}
