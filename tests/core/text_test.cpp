#include "core/text.h"

#include <gsl/narrow>
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

using Parts = std::vector<std::string>;

TEST(Text, SplitKeepsEmptyTrimmedParts) {
    struct Row {
        const char* text;
        Parts parts;
    };
    const std::vector<Row> rows = {
        {" a , \t , b ,", {"a", "", "b", ""}}, {"", {}},           {",", {"", ""}},
        {" \r\n", {""}},                       {",,a", {"", "", "a"}}, {"EGLL, EHAM", {"EGLL", "EHAM"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(gf_splitComma(row.text), row.parts) << '"' << row.text << '"';
        EXPECT_EQ(gf_splitAt(row.text), row.parts) << '"' << row.text << '"';
    }
    EXPECT_EQ(gf_split("x; y;", ';'), (Parts{"x", "y", ""}));
    EXPECT_EQ(gf_splitCommaSortedUnique("b, a ,b,B,,a"), (Parts{"", "B", "a", "b"}));
    EXPECT_EQ(gf_trim(" \t \t"), "");
    EXPECT_EQ(gf_trim("\va\v"), "\va\v");  // a vertical tab is not in the trim set
}

TEST(Text, NormaliseAndJoinCommaLists) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"EGLL, EHAM", "EGLL,EHAM"}, {"EGLL,EHAM", "EGLL,EHAM"}, {"EGLL, ,EHAM", "EGLL,,EHAM"}, {" A,B,", "A,B,"},
    };
    for (auto [text, normal] : rows) {
        gf_normalizeCommaList(text);
        EXPECT_EQ(text, normal);
    }
    EXPECT_EQ(gf_joinComma({"a", "", "b"}), "a,,b");
    EXPECT_EQ(gf_joinComma({"", ""}), ",");
    EXPECT_EQ(gf_joinComma({}), "");
}

TEST(Text, ComparisonsWorkOnBytes) {
    EXPECT_TRUE(gf_contains("abc", ""));
    EXPECT_FALSE(gf_contains("abc", "abcd"));
    EXPECT_TRUE(gf_equalsWithStar("B738", "B738*"));
    EXPECT_FALSE(gf_equalsWithStar("B738", "B738"));
    EXPECT_FALSE(gf_equalsWithStar("B738", "B739*"));
    // Every byte of UTF-8 text passes through unchanged; only a-z change.
    for (int value = 0; value < 256; ++value) {
        const char c = static_cast<char>(value);
        EXPECT_EQ(gf_toUpper(c), value >= 'a' && value <= 'z' ? static_cast<char>(value - 32) : c) << value;
    }
    EXPECT_TRUE(gf_equalsNoCase(".XML", ".xMl"));
    EXPECT_FALSE(gf_equalsNoCase(".xml", ".XML"));
    EXPECT_TRUE(gf_equalsNoCase("CAF\xC3\xA9", "caf\xC3\xA9"));
    EXPECT_FALSE(gf_equalsNoCase("CAF\xC3\x89", "caf\xC3\xA9"));
}

TEST(Text, NumberTextsAndPercentages) {
    EXPECT_EQ(gf_uintToText(4294967295u), "4294967295");
    EXPECT_EQ(gf_numberText(2.0f), "2");
    EXPECT_EQ(gf_numberText(2.5f), "2.5");
    EXPECT_EQ(gf_numberText(-0.5f), "-0.5");
    struct Row {
        std::int64_t part, whole;
        std::int32_t percent;
    };
    for (const Row& row : std::vector<Row>{{1, 3, 33}, {2, 3, 67}, {5, 0, 0}, {5, -4, 0}, {1, 8, 13}, {-1, 8, -13},
                                           {7, 2, 350}, {21474836, 1, 2147483600}}) {
        EXPECT_EQ(gf_percentage(row.part, row.whole), row.percent) << row.part << "/" << row.whole;
    }
    // Beyond the int range the checked narrowing must throw, never wrap.
    EXPECT_THROW(gf_percentage(21474837, 1), gsl::narrowing_error);
    EXPECT_THROW(gf_percentage(std::numeric_limits<std::int64_t>::max(), 1), gsl::narrowing_error);
    EXPECT_THROW(gf_percentage(std::numeric_limits<std::int64_t>::min(), 1), gsl::narrowing_error);
}

TEST(Text, PluralEndings) {
    EXPECT_EQ(gf_pluralInt(0) + gf_pluralInt(1) + gf_pluralInt(2) + gf_pluralInt(-2), "ss");
    EXPECT_EQ(gf_pluralInt64(0) + gf_pluralInt64(1) + gf_pluralInt64(5000000000LL), "ss");
    EXPECT_EQ(gf_pluralSize(0) + gf_pluralSize(1) + gf_pluralSize(2), "ss");
}

// Outside text quoted into a log line: control characters shown, cut after
// the bound (never inside a UTF-8 sequence), the cut saying the whole size.
TEST(Text, LogExcerptShowsControlsAndCutsLongTexts) {
    const std::string huge(std::size_t{15} << 20, '1');
    const std::string euro = "\xE2\x82\xAC";  // three bytes
    struct Row {
        const char* name;
        std::string text;
        std::size_t max;
        std::string excerpt;
    };
    const std::vector<Row> rows = {
        {"short text as it is", "status 406: busy", 300, "status 406: busy"},
        {"empty", "", 300, ""},
        {"controls shown", std::string("a\x01") + "b\nc\r\t\x7f" + std::string(1, '\0'), 300,
         "a\\x01b\\x0Ac\\x0D\\x09\\x7F\\x00"},
        {"exactly the bound", std::string(10, 'x'), 10, std::string(10, 'x')},
        {"one byte more", std::string(11, 'x'), 10, std::string(10, 'x') + "... (11 bytes in all)"},
        {"an escape never split", "abcdefgh\x01z", 10, "abcdefgh... (10 bytes in all)"},
        {"a character never split", "abcdefgh" + euro + "z", 10, "abcdefgh... (12 bytes in all)"},
        {"a character that fits whole", "abcdefg" + euro + "z", 10, "abcdefg" + euro + "... (11 bytes in all)"},
        {"invalid bytes stay", std::string(12, '\x80'), 10, std::string(7, '\x80') + "... (12 bytes in all)"},
        {"15 MiB of digits", huge, 300, std::string(300, '1') + "... (15728640 bytes in all)"},
    };
    for (const Row& row : rows) EXPECT_EQ(gf_logExcerpt(row.text, row.max), row.excerpt) << row.name;
    EXPECT_EQ(gf_logExcerpt(huge).size(), kLogExcerpt_bytes + std::string("... (15728640 bytes in all)").size());
}
