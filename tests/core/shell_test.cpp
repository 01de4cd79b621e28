#include "core/shell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

TEST(ShellTest, OnlyAnExistingPathWithAParentOpensItsFolder) {
    const fs::path dir = fs::temp_directory_path() / "glim_shell_test";
    fs::create_directories(dir);
    std::ofstream(dir / "Log.txt") << "x";

    std::vector<fs::path> opened;
    gf_setShellOpener([&](const fs::path& folder) {
        opened.push_back(folder);
        return true;
    });
    EXPECT_TRUE(gf_openContainingFolder(dir / "Log.txt"));
    EXPECT_FALSE(gf_openContainingFolder(dir / "missing.txt"));
    // A bare name has no parent folder to show.
    EXPECT_FALSE(gf_openContainingFolder(fs::path("glim_no_such_file.txt")));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], dir);

    gf_setShellOpener([](const fs::path&) { return false; });
    EXPECT_FALSE(gf_openContainingFolder(dir / "Log.txt"));

    gf_setShellOpener(nullptr);
    fs::remove_all(dir);
}
