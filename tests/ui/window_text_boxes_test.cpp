// The window test's text-box file: a hook the release program reads from the
// environment, so only a bare .txt name in the working folder is taken.
#include "ui/window_text_boxes.h"

#include "core/log.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
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
        // The program's own files: the log and its generations (the one a
        // user attaches to a report), reports, lists, an airport's link file.
        {"Log.txt", false},
        {"Log0.txt", false},
        {"LOG00.TXT", false},
        {"log000.txt", false},
        {"AirportsScanLog.txt", false},
        {"my_park_airports.txt", false},
        {"Fixes.txt", false},
        {"OfflineRegcodes.txt", false},
        {"README.txt", false},
        {"EHAM.txt", false},
        {"Logbook.txt", true},
        {"Log0a.txt", true},
        {"EHAM-boxes.txt", true},
    };
    for (const auto& row : rows) EXPECT_EQ(gf_isTextBoxesFileName(row.name), row.taken) << row.name;
}

// Names of the program's own files in any folder and any case, other
// extensions included; names that only look alike are not.
TEST(WindowTextBoxes, ProgramFileNamesAreKnownInAnyCase) {
    const struct {
        const char* name;
        bool own;
    } rows[] = {
        {"parameters.xml", true},      {"PARAMETERS.XML", true},       {"LiveriesScanned.xml", true},
        {"liveriesscanned0.xml", true}, {"versions.json", true},       {"dbase.enc", true},
        {"AIG-regcodes.enc", true},     {"tblo.zip", true},            {"EDDF.xml", true},
        {"EDDF0.xml", true},            {"LOWW.txt", true},            {"install_new_version.exe", true},
        {"parameters", false},          {"parameters.xml.bak", false}, {"EDDFX.xml", false},
        {"boxes.txt", false},           {"0.txt", false},              {"", false},
    };
    for (const auto& row : rows) EXPECT_EQ(gf_isProgramFileName(row.name), row.own) << row.name;
}

TEST(WindowTextBoxes, AnUnsafeValueIsIgnoredWithALogLine) {
    const auto logPath = std::filesystem::temp_directory_path() /
                         ("window_text_boxes_log_" +
                          std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".txt");
    gf_logOpen(logPath);
    setTestEnv("GLIM_TEXT_BOXES", "text_boxes.txt");
    EXPECT_EQ(gf_textBoxesFileFromEnv(), std::optional<std::string>("text_boxes.txt"));
    setTestEnv("GLIM_TEXT_BOXES", "..\\..\\Windows\\boxes.txt");
    EXPECT_EQ(gf_textBoxesFileFromEnv(), std::nullopt);
    setTestEnv("GLIM_TEXT_BOXES", "Log0.txt");
    EXPECT_EQ(gf_textBoxesFileFromEnv(), std::nullopt);
    setTestEnv("GLIM_TEXT_BOXES", "");
    EXPECT_EQ(gf_textBoxesFileFromEnv(), std::nullopt);
    gf_logClose();
    std::ifstream in(logPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("GLIM_TEXT_BOXES ignored: only a .txt file name in the working folder"), std::string::npos);
    EXPECT_NE(text.str().find("GLIM_TEXT_BOXES ignored: Log0.txt is one of the program's own files"), std::string::npos);
    std::error_code ec;
    std::filesystem::remove(logPath, ec);
}
