// The window test's text-box file: a hook the release program reads from the
// environment, so only a bare .txt name in the working folder is taken.
#include "ui/window_text_boxes.h"

#include "core/log.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

TEST(WindowTextBoxes, OnlyABareTxtNameInTheWorkingFolderIsTaken) {
    const struct {
        const char* name;
        bool taken;
    } rows[] = {
        {"text_boxes.txt", true},
        {"Boxes-2.run.TXT", true},
        // A folder, a drive, a stream or a parent: anywhere the user can write.
        {"../text_boxes.txt", false},
        {"..\\text_boxes.txt", false},
        {"sub/text_boxes.txt", false},
        {"C:\\Windows\\win.ini", false},
        {"C:boxes.txt", false},
        {"/etc/boxes.txt", false},
        {"\\\\server\\share\\boxes.txt", false},
        {"boxes.txt:stream", false},
        // Another kind of file, or one Windows reads otherwise.
        {"parameters.xml", false},
        {"boxes.txt.", false},
        {"boxes.txt ", false},
        {".txt", false},
        {".hidden.txt", false},
        {"NUL.txt", false},
        {"com1.txt", false},
        {"", false},
        {"a123456789b123456789c123456789d123456789e123456789f1234567890.txt", false},
    };
    for (const auto& row : rows) EXPECT_EQ(gf_isTextBoxesFileName(row.name), row.taken) << row.name;
}

TEST(WindowTextBoxes, AnUnsafeValueIsIgnoredWithALogLine) {
    const auto logPath = std::filesystem::temp_directory_path() / "window_text_boxes_log.txt";
    gf_logOpen(logPath);
    setTestEnv("GLIM_TEXT_BOXES", "text_boxes.txt");
    EXPECT_EQ(gf_textBoxesFileFromEnv(), std::optional<std::string>("text_boxes.txt"));
    setTestEnv("GLIM_TEXT_BOXES", "..\\..\\Windows\\boxes.txt");
    EXPECT_EQ(gf_textBoxesFileFromEnv(), std::nullopt);
    setTestEnv("GLIM_TEXT_BOXES", "");
    EXPECT_EQ(gf_textBoxesFileFromEnv(), std::nullopt);
    gf_logClose();
    std::ifstream in(logPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("GLIM_TEXT_BOXES ignored: only a .txt file name in the working folder"), std::string::npos);
    std::error_code ec;
    std::filesystem::remove(logPath, ec);
}
