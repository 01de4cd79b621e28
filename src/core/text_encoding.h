// Text is UTF-8 in memory and UTF-16 only at the Windows API. This file holds
// the conversions between the two, the ANSI code page conversion, and the
// reading of text files written in any of the five charsets the program knows
// into UTF-8 lines.
//
// Wide text holds UTF-16 code units in both builds: on Windows that is what
// wchar_t is; in the native build (32-bit wchar_t) each element still holds
// one UTF-16 code unit, surrogate pairs included, so the same bytes give the
// same wide text everywhere.
#pragma once

#include <cstddef>
#include <filesystem>
#include <istream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class Charset : int {
    ANSI = 0,                // single-byte text in the system's ANSI code page
    Unicode = 1,             // UTF-16 little-endian
    Unicode_big_endian = 2,  // UTF-16 big-endian
    UTF8_with_BOM = 3,
    UTF8_without_BOM = 4,    // also pure ASCII and an empty file
    none_found = 5,          // the file could not be opened
};

// The charset's name as used in messages; throws std::out_of_range for a
// value outside 0..5.
const std::string& gf_charsetName(Charset charset);

// Throws std::runtime_error("utf8_to_wide: invalid UTF-8") for invalid input.
std::wstring utf8_to_wide(std::string_view text);
// Throws std::runtime_error("wide_to_utf8: invalid UTF-16") for invalid input
// (an unpaired surrogate).
std::string wide_to_utf8(std::wstring_view text);
std::string gf_pathToUtf8(const std::filesystem::path& path);
// Appends one code point (at most 0x10FFFF) as UTF-8.
void gf_appendUtf8(std::string& out, char32_t cp);
// Bytes in the system's ANSI code page (code page 1252 in the native build);
// bytes the code page leaves undefined still convert as the system maps them.
std::string gf_ansiToUtf8(std::string_view text);

// The charset of a file's whole content (never a sample of it): a byte-order
// mark, the zero bytes of UTF-16 Latin text, else the UTF-8 test of every
// byte.
Charset gf_detectCharset(const std::filesystem::path& path);
Charset gf_detectCharsetOfText(std::string_view bytes);

// Replaces lines with the file's UTF-8 lines; false when the file did not
// open or could not be read (the reason is shown and logged). Never throws.
bool gf_readTextFileUtf8(Charset charset, const std::filesystem::path& path, std::vector<std::string>& lines);

// Appends the UTF-8 lines of a UTF-16 stream. A byte-order mark decides the
// byte order; a text without one is read in the order the caller detected
// (Charset::Unicode or Charset::Unicode_big_endian). An odd last byte is not
// part of any code unit and is dropped. Throws like wide_to_utf8.
void gf_readUtf16File(std::istream& in, std::vector<std::string>& lines,
                      Charset orderWithoutMark = Charset::Unicode);
// Reads the whole stream and appends its lines.
void gf_readStreamLines(std::istream& in, std::vector<std::string>& lines);
// Appends the lines of a text: cut at LF, one trailing CR removed, a leading
// UTF-8 mark skipped, no empty last line after a final LF.
void gf_splitLines(std::string_view text, std::vector<std::string>& lines);

// A file and its own line buffer, reused from call to call.
struct WholeFileReader {
    std::filesystem::path path;
    std::vector<std::string> lines;
};

struct WholeFileResult {
    std::span<const std::string> lines;  // valid until the next read on the same reader
    std::string error;                   // "open_failed", or empty on success

    explicit operator bool() const { return error.empty(); }
};

WholeFileResult gf_readWholeFile(WholeFileReader& reader, std::size_t expectedLineCount);

// Write through a temporary file beside the target that replaces it only when
// complete; false when the file cannot be created, written or put in place
// (the target then keeps its old content). "\n" is always the single byte 0A.
bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path, bool addNewline);
bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path);
