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

// The second of two folder windows opens beside the first, never on it.
TEST(ShellTest, ASecondFolderWindowOpensBesideTheFirst) {
    const ShellRect work{0, 0, 1280, 984};
    struct Row {
        const char* name;
        ShellRect first;
        int width, height;
        int x, y;
    };
    const Row rows[] = {
        {"room on the right", {100, 80, 700, 580}, 500, 500, 700, 80},
        {"no room on the right: on the left", {700, 80, 1200, 580}, 500, 500, 200, 80},
        {"no room on either side: cascaded", {300, 80, 1000, 580}, 700, 500, 332, 112},
        {"first low on the screen: the second stays above the task bar", {100, 700, 600, 984}, 500, 500, 600, 484},
    };
    for (const Row& row : rows) {
        const ShellPoint at = gf_besideWindow(row.first, row.width, row.height, work);
        EXPECT_EQ(at.x, row.x) << row.name;
        EXPECT_EQ(at.y, row.y) << row.name;
    }
}
