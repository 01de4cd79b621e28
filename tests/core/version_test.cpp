#include "core/log.h"
#include "core/version.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

TEST(Version, TextsGiveTheirVersionAndUnreadableOnesOneLogLine) {
    const fs::path log = fs::temp_directory_path() / "glim_version_log.txt";
    struct Row {
        std::string text;
        VersionData version;
        const char* logged;  // nullptr: nothing is logged
    };
    const char* jsonSyntax = "VersionData exception: [json.exception.parse_error";
    const char* overflow = "VersionData exception: parse error in version string";
    const std::vector<Row> rows = {
        {"11.10.5", {11, 10, 5}, nullptr},
        {"11-10-5", {11, 10, 5}, nullptr},
        {"007x0 10", {7, 0, 10}, nullptr},
        {"v11.10.5", {}, jsonSyntax},
        {"11.10.5 beta", {}, jsonSyntax},
        {"11.10\n5", {}, jsonSyntax},  // "." is not a line end
        {"11.10", {}, nullptr},
        {"", {}, nullptr},
        {R"({"major": 2, "minor": 3})", {2, 3, 0}, nullptr},
        {"[1, 2, 3]", {}, nullptr},
        {"11.12345678901.5", {11, 0, 0}, overflow},
        {"2147483647.0.2147483648", {2147483647, 0, 0}, overflow},
        {R"({"major": 1, "minor": "2", "patch": 3})", {1, 0, 0}, "VersionData exception: [json.exception.type_error"},
        // JSON numbers beyond the int range must not be cut to a wrong version.
        {R"({"major": 3, "minor": 4294967296})", {3, 0, 0}, overflow},
        {R"({"major": 18446744073709551615})", {}, overflow},
        // Nesting beyond the cap is refused before the JSON library builds it.
        {R"({"major": 2, "x": )" + std::string(100, '[') + std::string(100, ']') + "}", {},
         "VersionData exception: version nested deeper than 64 levels"},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(gf_logOpen(log));
        const VersionData version(row.text);
        gf_logClose();
        EXPECT_EQ(version, row.version) << row.text;
        std::ifstream in(log, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        const std::string logged = ss.str();
        if (row.logged == nullptr) {
            EXPECT_EQ(logged, "") << row.text;
        } else {
            EXPECT_EQ(logged.rfind(row.logged, 0), 0u) << row.text << " logged: " << logged;
            EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1) << row.text;
        }
    }
    fs::remove(log);
}

// The dotted form splits every short text over digits, separators and line
// ends exactly as the regular expression "(\d+).(\d+).(\d+)" matched against
// the whole text splits it.
TEST(Version, DottedTextsSplitLikeTheRegex) {
    const std::regex dotted("(\\d+).(\\d+).(\\d+)");
    std::vector<std::string> texts = {""};
    for (int length = 1; length <= 6; ++length) {
        std::vector<std::string> longer;
        for (const auto& text : texts) {
            for (const char c : std::string("10.\rx")) longer.push_back(text + c);
        }
        texts = std::move(longer);
        for (const auto& text : texts) {
            VersionData expected;
            std::smatch match;
            if (std::regex_match(text, match, dotted)) {
                expected = VersionData(std::stoi(match[1]), std::stoi(match[2]), std::stoi(match[3]));
            }
            ASSERT_EQ(VersionData(text), expected) << '"' << text << '"';
        }
    }
    // Long texts from a downloaded index must not exhaust the stack.
    const std::string digits(200000, '7');
    EXPECT_EQ(VersionData(digits), VersionData());  // the greedy first group overflows
    EXPECT_EQ(VersionData("1.2." + digits), VersionData(1, 2, 0));
}

TEST(Version, OrderTextAndProgramVersion) {
    const VersionData current("11.10.5");
    EXPECT_TRUE(gf_isNewerVersion(current, VersionData("11.9.20")));
    EXPECT_TRUE(gf_isNewerVersion(current, VersionData("10.99.99")));
    EXPECT_TRUE(gf_isNewerVersion(VersionData("11.10.6"), current));
    EXPECT_FALSE(gf_isNewerVersion(current, current));
    EXPECT_FALSE(gf_isNewerVersion(VersionData("11.9.20"), current));
    EXPECT_TRUE(gf_isNewerVersion(VersionData(), VersionData(-1, 5, 5)));
    EXPECT_EQ(VersionData(-1, 0, 2).text(), "-1.0.2");
    EXPECT_EQ(g_programVersion, current);
    EXPECT_EQ(g_programVersion.text(), "11.10.5");
}
