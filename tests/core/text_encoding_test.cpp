#include "core/files.h"
#include "core/log.h"
#include "core/run_flags.h"
#include "core/text_encoding.h"
#include "core/status_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// These tests run on both conversion backends (natively and under Wine) and
// must give the same results on both.

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

std::u16string toU16(const std::wstring& wide) {
    std::u16string units;
    for (const wchar_t w : wide) {
        EXPECT_LE(static_cast<unsigned long>(w), 0xFFFFul) << "wide text must hold UTF-16 code units";
        units += static_cast<char16_t>(w);
    }
    return units;
}

std::wstring toWide(const std::u16string& units) { return std::wstring(units.begin(), units.end()); }

std::string utf16Bytes(const std::u16string& units, bool bigEndian) {
    std::string bytes;
    for (const char16_t u : units) {
        const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

template <typename Convert>
void expectRejected(Convert convert, const char* message, const char* name) {
    try {
        convert();
        ADD_FAILURE() << name << " was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), message) << name;
    }
}

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("glim_textenc_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        gf_resetRunFlags();
        gf_resetStatusLine();
        ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
    }
    void TearDown() override {
        gf_logClose();
        gf_resetStatusLine();
        fs::remove_all(dir);
    }
    std::string takeLog() {
        gf_logClose();
        const std::string log = readBytes(dir / "Log.txt");
        EXPECT_TRUE(gf_logOpen(dir / "Log.txt"));
        return log;
    }
    fs::path file(const std::string& bytes) {
        writeBytes(dir / "file.cfg", bytes);
        return dir / "file.cfg";
    }
    fs::path dir;
};

}  // namespace

TEST(TextConversion, Utf8AndUtf16) {
    struct Row {
        const char* name;
        std::string utf8;
        std::u16string utf16;
    };
    const std::vector<Row> valid = {
        {"ascii", "EGLL B738", u"EGLL B738"},
        {"two-byte", "caf\xC3\xA9", u"caf\u00E9"},
        {"three-byte", "\xE2\x82\xAC", u"\u20AC"},
        {"surrogate pair", "a\xF0\x9F\x9B\xA9z", u"a\xD83D\xDEE9z"},
        {"highest code point", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
        {"embedded NUL", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"around the surrogates", "\xED\x9F\xBF\xEE\x80\x80", u"\uD7FF\uE000"},
        {"mark kept as text", "\xEF\xBB\xBFx", u"\uFEFFx"},
    };
    for (const auto& row : valid) {
        EXPECT_EQ(toU16(utf8_to_wide(row.utf8)), row.utf16) << row.name;
        EXPECT_EQ(wide_to_utf8(toWide(row.utf16)), row.utf8) << row.name;
    }
    EXPECT_EQ(utf8_to_wide(""), L"");
    EXPECT_EQ(wide_to_utf8(L""), "");

    const std::vector<Row> badUtf8 = {
        {"stray continuation", "a\x80", u""},      {"overlong NUL", "\xC0\x80", u""},
        {"overlong 3-byte", "\xE0\x9F\xBF", u""},   {"overlong 4-byte", "\xF0\x8F\xBF\xBF", u""},
        {"encoded surrogate", "\xED\xA0\x80", u""}, {"beyond U+10FFFF", "\xF4\x90\x80\x80", u""},
        {"byte FF", "\xFF", u""},                   {"cut at the end", "ok\xE2\x82", u""},
        {"lead before ascii", "\xC3x", u""},        {"cp1252 text", "caf\xE9", u""},
    };
    for (const auto& row : badUtf8) {
        expectRejected([&] { utf8_to_wide(row.utf8); }, "utf8_to_wide: invalid UTF-8", row.name);
    }
    const std::vector<Row> badUtf16 = {
        {"lone high", "", u"a\xD83Dz"}, {"high at the end", "", u"a\xD83D"},     {"lone low", "", u"\xDEE9"},
        {"reversed", "", u"\xDEE9\xD83D"}, {"two highs", "", u"\xD83D\xD83D\xDEE9"},
    };
    for (const auto& row : badUtf16) {
        expectRejected([&] { wide_to_utf8(toWide(row.utf16)); }, "wide_to_utf8: invalid UTF-16", row.name);
    }
}

TEST(TextConversion, AnsiPathsAndNames) {
    // 0x80..0x9F of code page 1252; the five bytes it leaves undefined pass
    // through as the C1 controls of the same value, as the system maps them.
    std::string bytes;
    std::u16string units = u"\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u008D"
                           u"\u017D\u008F\u0090\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A"
                           u"\u0153\u009D\u017E\u0178";
    for (int b = 0x80; b <= 0xFF; ++b) bytes += static_cast<char>(b);
    for (char16_t u = 0xA0; u <= 0xFF; ++u) units += u;
    EXPECT_EQ(gf_ansiToUtf8(bytes), wide_to_utf8(toWide(units)));
    EXPECT_EQ(gf_ansiToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(gf_ansiToUtf8(""), "");

    EXPECT_EQ(gf_pathToUtf8(fs::path(u8"caf\u00E9 \u20AC.txt")), "caf\xC3\xA9 \xE2\x82\xAC.txt");
    EXPECT_EQ(gf_charsetName(Charset::Unicode_big_endian), "Unicode_big_endian");
    EXPECT_EQ(gf_charsetName(Charset::none_found), "none_found");
    EXPECT_THROW(gf_charsetName(static_cast<Charset>(6)), std::out_of_range);
    EXPECT_THROW(gf_charsetName(static_cast<Charset>(-1)), std::out_of_range);
}

TEST(TextLines, SplitAtLfDropOneCrSkipMark) {
    const std::vector<std::pair<std::string, Lines>> rows = {
        {"a\r\nb\r\n", {"a", "b"}}, {"a\n\nb", {"a", "", "b"}},   {"", {}},           {"\xEF\xBB\xBF", {}},
        {"\n", {""}},               {"a\r\r\n", {"a\r"}},        {"a\rb", {"a\rb"}}, {"x\xEF\xBB\xBF", {"x\xEF\xBB\xBF"}},
    };
    for (const auto& [text, expected] : rows) {
        Lines lines{"kept"};
        gf_splitLines(text, lines);
        lines.erase(lines.begin());
        EXPECT_EQ(lines, expected) << '"' << text << '"';
    }
}

TEST_F(TextFileTest, DetectsTheCharsetFromTheWholeFile) {
    const std::string cutAtEnd = std::string(2998, 'a') + "\xE2\x82";
    const std::string acrossOldSample = std::string(4095, 'a') + "\xC3\xA9" + std::string(903, 'b');
    const struct {
        const char* name;
        std::string bytes;
        Charset charset;
    } rows[] = {
        {"empty", "", Charset::UTF8_without_BOM},
        {"one zero byte", std::string(1, '\0'), Charset::UTF8_without_BOM},
        {"one high byte", "\xE9", Charset::ANSI},
        {"utf-8 mark only", "\xEF\xBB\xBF", Charset::UTF8_with_BOM},
        {"utf-16 le mark", std::string("\xFF\xFE" "a\0", 4), Charset::Unicode},
        {"utf-16 be mark", std::string("\xFE\xFF\0a", 4), Charset::Unicode_big_endian},
        {"41 00", std::string("A\0", 2), Charset::Unicode},
        {"00 41", std::string("\0A", 2), Charset::Unicode_big_endian},
        {"00 41 00 42", std::string("\0A\0B", 4), Charset::Unicode_big_endian},
        {"41 00 42 43", std::string("A\0BC", 4), Charset::UTF8_without_BOM},
        {"utf-8 without mark", "title=Caf\xC3\xA9 \xE2\x82\xAC", Charset::UTF8_without_BOM},
        {"cp1252", "title=Caf\xE9", Charset::ANSI},
        {"overlong NUL", "ab\xC0\x80", Charset::ANSI},
        {"encoded surrogate passes", "ab\xED\xA0\x80", Charset::UTF8_without_BOM},
        {"E0 below A0", "ab\xE0\x9F\x80", Charset::ANSI},
        {"F0 below 90", "ab\xF0\x8F\x80\x80", Charset::ANSI},
        {"F4 above 8F", "ab\xF4\x90\x80\x80", Charset::ANSI},
        {"cut by the end of the file", cutAtEnd, Charset::ANSI},
        {"utf-8 across byte 4096", acrossOldSample, Charset::UTF8_without_BOM},
        // cp1252 deep in a long file decides as early cp1252 does.
        {"cp1252 past 4 KB", std::string(5000, 'a') + "Caf\xE9", Charset::ANSI},
    };
    for (const auto& row : rows) EXPECT_EQ(gf_detectCharset(file(row.bytes)), row.charset) << row.name;
    EXPECT_EQ(gf_detectCharset(dir / "missing.cfg"), Charset::none_found);
}

// Detection and reading together, as the readers of aircraft.cfg use them.
TEST_F(TextFileTest, ReadsEveryCharsetIntoUtf8Lines) {
    const std::u16string text16 = u"[fltsim.0]\r\ntitle=Caf\u00E9 \u20AC \xD83D\xDEE9\r\n\r\nend";
    const Lines all = {"[fltsim.0]", "title=Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9B\xA9", "", "end"};
    const std::string utf8 = wide_to_utf8(toWide(text16));
    const struct {
        const char* name;
        std::string bytes;
        Charset charset;
        Lines lines;
    } rows[] = {
        {"utf-8 without mark", utf8, Charset::UTF8_without_BOM, all},
        {"utf-8 with mark", "\xEF\xBB\xBF" + utf8, Charset::UTF8_with_BOM, all},
        {"two utf-8 marks", "\xEF\xBB\xBF\xEF\xBB\xBF" "a", Charset::UTF8_with_BOM, {"a"}},
        {"utf-16 le", "\xFF\xFE" + utf16Bytes(text16, false), Charset::Unicode, all},
        {"utf-16 be", "\xFE\xFF" + utf16Bytes(text16, true), Charset::Unicode_big_endian, all},
        // The detector sees UTF-16 without a mark; the reader must use the
        // byte order it saw instead of giving no lines.
        {"utf-16 le without mark", utf16Bytes(text16, false), Charset::Unicode, all},
        {"utf-16 be without mark", utf16Bytes(text16, true), Charset::Unicode_big_endian, all},
        {"41 00 42", std::string("A\0B", 3), Charset::Unicode, {"A"}},
        // An odd last byte is no code unit: it is dropped, the text kept.
        {"utf-16 odd length", "\xFE\xFF" + utf16Bytes(text16, true) + "A", Charset::Unicode_big_endian, all},
        {"utf-16 mark and odd byte", "\xFF\xFE" "A", Charset::Unicode, {}},
        {"cp1252", "Caf\xE9\r\n\x80 1\x81\r\n", Charset::ANSI, {"Caf\xC3\xA9", "\xE2\x82\xAC 1\xC2\x81"}},
        {"empty", "", Charset::UTF8_without_BOM, {}},
        {"utf-8 mark only", "\xEF\xBB\xBF", Charset::UTF8_with_BOM, {}},
    };
    for (const auto& row : rows) {
        const fs::path path = file(row.bytes);
        const Charset charset = gf_detectCharset(path);
        EXPECT_EQ(charset, row.charset) << row.name;
        Lines lines{"stale"};
        EXPECT_TRUE(gf_readTextFileUtf8(charset, path, lines)) << row.name;
        EXPECT_EQ(lines, row.lines) << row.name;
    }
    for (const Charset charset : {Charset::ANSI, Charset::Unicode, Charset::UTF8_with_BOM}) {
        Lines lines{"stale"};
        EXPECT_FALSE(gf_readTextFileUtf8(charset, dir / "missing.cfg", lines));
        EXPECT_TRUE(lines.empty());
    }
    EXPECT_EQ(gf_statusLineSnapshot().statusText, "");
    EXPECT_EQ(takeLog(), "");
}

TEST_F(TextFileTest, ReadFailuresGoToTheStatusLineAndTheLog) {
    const fs::path path = file("x");
    const std::string name = gf_pathToUtf8(path);
    Lines lines{"stale"};
    EXPECT_FALSE(gf_readTextFileUtf8(Charset::none_found, path, lines));
    EXPECT_TRUE(lines.empty());
    const std::string unknown = "Read failed for '" + name + "': file " + name + " has unknown charset: none_found";
    EXPECT_EQ(gf_statusLineSnapshot().statusText, unknown);

    file("\xFF\xFE" + utf16Bytes(u"a\xD83D", false));
    EXPECT_FALSE(gf_readTextFileUtf8(Charset::Unicode, path, lines));
    const std::string surrogate = "Read failed for '" + name + "': wide_to_utf8: invalid UTF-16";
    EXPECT_EQ(gf_statusLineSnapshot().statusText, surrogate);
    EXPECT_EQ(takeLog(), unknown + "\n" + surrogate + "\n");
}

TEST_F(TextFileTest, StreamsAndTheWholeFileReader) {
    std::istringstream tiny("\xFF");
    Lines lines;
    gf_readUtf16File(tiny, lines);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(tiny.good());

    std::istringstream failed("c");
    failed.setstate(std::ios::failbit);
    gf_readStreamLines(failed, lines);
    EXPECT_TRUE(lines.empty());

    WholeFileReader reader{dir / "list.txt", {}};
    const auto missing = gf_readWholeFile(reader, 10);
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.error, "open_failed");
    writeBytes(reader.path, "EGLL\r\nEHAM\n");
    const auto first = gf_readWholeFile(reader, 500);
    ASSERT_TRUE(first);
    EXPECT_EQ(Lines(first.lines.begin(), first.lines.end()), (Lines{"EGLL", "EHAM"}));
    EXPECT_GE(reader.lines.capacity(), 500u);
    writeBytes(reader.path, "LFPG");
    const auto second = gf_readWholeFile(reader, 1);
    EXPECT_EQ(Lines(second.lines.begin(), second.lines.end()), (Lines{"LFPG"}));
}

TEST_F(TextFileTest, WritersReplaceTheTargetOnlyWhenComplete) {
    const fs::path path = dir / "my_park_airports.txt";
    writeBytes(path, "old content that is longer than the new one");
    ASSERT_TRUE(gf_writeTextFile("EGLL\nEHAM", path, true));
    EXPECT_EQ(readBytes(path), "EGLL\nEHAM\n");  // LF stays one byte on Windows too
    ASSERT_TRUE(gf_writeLines({"a", "", "Caf\xC3\xA9"}, path));
    EXPECT_EQ(readBytes(path), "a\n\nCaf\xC3\xA9\n");
    EXPECT_FALSE(fs::exists(gf_tempPathFor(path)));

    // A write that fails on the way (as on a full disk) is reported and
    // leaves the old file whole.
    EXPECT_FALSE(gf_writeFileReplacing(path, [](std::ostream& out) {
        out << "half of the new";
        out.setstate(std::ios::badbit);
    }));
    EXPECT_EQ(readBytes(path), "a\n\nCaf\xC3\xA9\n");
    EXPECT_FALSE(fs::exists(gf_tempPathFor(path)));

    EXPECT_FALSE(gf_writeTextFile("x", dir / "no_such_folder" / "a.txt", true));
    // A target that cannot be replaced (a folder) is a failure too.
    fs::create_directories(dir / "taken" / "inside");
    EXPECT_FALSE(gf_writeLines({"x"}, dir / "taken"));
    EXPECT_TRUE(fs::is_directory(dir / "taken" / "inside"));
    EXPECT_FALSE(fs::exists(gf_tempPathFor(dir / "taken")));
}
