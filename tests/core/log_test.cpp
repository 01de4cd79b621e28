#include "core/log.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using test_files::readAll;
using test_files::writeFile;

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("glim_log_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        gf_logClose();
        fs::remove_all(dir);
    }
    fs::path dir;
};

}  // namespace

TEST_F(LogTest, LineForms) {
    ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
    gf_logLine("plain");
    gf_logHighlight("x");
    gf_logContinuation("x");
    gf_logClose();
    EXPECT_EQ(readAll(dir / "Log.txt"), "plain\n==> x\n          x\n");
}

TEST_F(LogTest, NothingWrittenWhileClosed) {
    gf_logLine("lost");  // must not crash
    EXPECT_FALSE(gf_logIsOpen());
}

TEST_F(LogTest, ThreadsNeverInterleaveWithinALine) {
    ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            const std::string line(200, static_cast<char>('a' + t));
            for (int i = 0; i < 200; ++i) gf_logLine(line);
        });
    }
    for (auto& th : threads) th.join();
    gf_logClose();
    std::istringstream in(readAll(dir / "Log.txt"));
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        ASSERT_EQ(line.size(), 200u);
        EXPECT_EQ(line.find_first_not_of(line[0]), std::string::npos);
        ++count;
    }
    EXPECT_EQ(count, 800);
}

TEST(LogBanner, Widths) {
    EXPECT_EQ(gf_logBanner(10, 5, false, false, "Scan"), "******* Scan *******");
    EXPECT_EQ(gf_logBanner(10, 5, false, false, "abcdefghijklmnopqrstuvw"), "abcdefghijklmnopqrstuvw");
    EXPECT_EQ(gf_logBanner(10, 5, false, false, ""), std::string(16, '*'));
    EXPECT_EQ(gf_logBanner(10, 5, true, true, "Scan"), "\n******* Scan *******\n");
    EXPECT_EQ(gf_logBanner(10, 5, true, false, "abcdefghijklmnopqrstuvw"), "abcdefghijklmnopqrstuvw");
}

TEST_F(LogTest, ThreeGenerationsMoveDown) {
    const fs::path log = dir / "Log.txt";
    writeFile(log, "current");
    ASSERT_TRUE(gf_saveUpto3GenerationsOf(log));
    EXPECT_EQ(readAll(dir / "Log0.txt"), "current");
    EXPECT_FALSE(fs::exists(dir / "Log00.txt"));

    writeFile(log, "c");
    writeFile(dir / "Log0.txt", "g1");
    writeFile(dir / "Log00.txt", "g2");
    ASSERT_TRUE(gf_saveUpto3GenerationsOf(log));
    EXPECT_EQ(readAll(dir / "Log0.txt"), "c");
    EXPECT_EQ(readAll(dir / "Log00.txt"), "g1");
    EXPECT_EQ(readAll(dir / "Log000.txt"), "g2");
    EXPECT_EQ(readAll(log), "c");
}

TEST_F(LogTest, GenerationsOfMissingAndDotlessFiles) {
    EXPECT_TRUE(gf_saveUpto3GenerationsOf(dir / "none.txt"));
    EXPECT_TRUE(fs::is_empty(dir));
    EXPECT_TRUE(gf_save1GenerationOf(dir / "none.xml"));

    ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
    EXPECT_FALSE(gf_saveUpto3GenerationsOf(fs::path("nodot")));
    gf_logClose();
    EXPECT_NE(readAll(dir / "Log.txt").find("==> gf_saveUpto3GenerationsOf: no dot in filename: nodot"), std::string::npos);
}

TEST_F(LogTest, GenerationsGoBeforeTheFilesOwnExtension) {
    const fs::path folder = dir / "my.airports";
    fs::create_directories(folder);
    writeFile(folder / "EDDF.xml", "stands");
    ASSERT_TRUE(gf_save1GenerationOf(folder / "EDDF.xml"));
    EXPECT_EQ(readAll(folder / "EDDF0.xml"), "stands");
    ASSERT_TRUE(gf_saveUpto3GenerationsOf(folder / "EDDF.xml"));
    EXPECT_EQ(readAll(folder / "EDDF00.xml"), "stands");

    // A dotless file inside a dotted folder has no generation name: the copies
    // must never land in a sibling folder named after the folder's dot, even
    // when such a folder exists.
    for (const char* sibling : {"my0.airports", "my00.airports", "my000.airports"}) fs::create_directories(dir / sibling);
    writeFile(folder / "README", "x");
    ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
    EXPECT_FALSE(gf_save1GenerationOf(folder / "README"));
    EXPECT_FALSE(gf_saveUpto3GenerationsOf(folder / "README"));
    gf_logClose();
    for (const char* sibling : {"my0.airports", "my00.airports", "my000.airports"})
        EXPECT_TRUE(fs::is_empty(dir / sibling)) << sibling;
    const std::string log = readAll(dir / "Log.txt");
    EXPECT_NE(log.find("==> gf_save1GenerationOf: no dot in filename: "), std::string::npos) << log;
    EXPECT_NE(log.find("==> gf_saveUpto3GenerationsOf: no dot in filename: "), std::string::npos) << log;
}

// Every line passes one door: no text fills the disk, and no control
// character but the callers' own line breaks around the text and tabs
// reaches the file raw.
TEST_F(LogTest, TheDoorCutsLongTextsAndShowsControlCharacters) {
    const std::string euro = "\xE2\x82\xAC";
    const std::string cutNote = " ... [line cut, ";
    struct Row {
        const char* name;
        std::string text;
        std::string line;  // as written, without the prefix and the final "\n"
    };
    const std::string longest(kMaxLogLine_bytes, 'a');
    const std::vector<Row> rows = {
        {"plain", "ok", "ok"},
        {"line breaks and tabs are the caller's", "\nAuthenticated\tx\n", "\nAuthenticated\tx\n"},
        {"a line break inside forges no line", "ZZ-ABC\n==> forged line\nend", "ZZ-ABC\\x0A==> forged line\\x0Aend"},
        {"other controls shown", std::string("a\x01\r\x1b[2J\x7f") + std::string(1, '\0') + "z",
         "a\\x01\\x0D\\x1B[2J\\x7F\\x00z"},
        {"the longest line whole", longest, longest},
        {"one byte more is cut", longest + "b", longest + cutNote + "4097 bytes in all]"},
        {"never inside a character", std::string(kMaxLogLine_bytes - 1, 'a') + euro,
         std::string(kMaxLogLine_bytes - 1, 'a') + cutNote + "4098 bytes in all]"},
        {"15 MiB", std::string(std::size_t{15} << 20, '7'),
         std::string(kMaxLogLine_bytes, '7') + cutNote + "15728640 bytes in all]"},
    };
    for (const Row& row : rows) {
        for (const auto& [prefix, write] : std::vector<std::pair<std::string, void (*)(std::string_view)>>{
                 {"", &gf_logLine}, {"==> ", &gf_logHighlight}, {"          ", &gf_logContinuation},
                 {"", &gf_logAndFlushConsole}}) {
            SCOPED_TRACE(std::string(row.name) + " / '" + prefix + "'");
            ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
            write(row.text);
            gf_logClose();
            EXPECT_EQ(readAll(dir / "Log.txt"), prefix + row.line + "\n");
        }
    }
}
