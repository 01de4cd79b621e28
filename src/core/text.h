// Small byte-wise helpers on UTF-8 text shared by the file readers and the log
// messages. No locale and no Unicode case rules are involved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The characters that trimming and list normalising remove.
inline constexpr std::string_view kTrimSet = " \t\n\r";

// Trimming, splitting, joining.
std::string gf_trim(std::string_view text);
// The parts between delimiters, each trimmed; empty parts are kept, a
// delimiter at the end gives an empty last part, an empty text no parts.
std::vector<std::string> gf_split(std::string_view text, char delimiter);
std::vector<std::string> gf_splitComma(std::string_view text);
// The same parts as gf_splitComma, built without reserving room first.
std::vector<std::string> gf_splitAt(std::string_view text);
// The trimmed comma parts, sorted byte-wise, each item once.
std::vector<std::string> gf_splitCommaSortedUnique(std::string_view text);
// Rewrites a comma list holding any trim character as its trimmed parts
// joined with ','; any other text stays as it is.
void gf_normalizeCommaList(std::string& text);
std::string gf_joinComma(const std::vector<std::string>& items);

// Comparisons and case.
bool gf_contains(std::string_view text, const char* part);
// True when a followed by "*" equals b.
bool gf_equalsWithStar(std::string_view a, std::string_view b);
// ASCII letters only; every other byte, including 0x80..0xFF, is returned
// unchanged.
char gf_toUpper(char c);
// True when a equals b upper-cased byte by byte; a is compared as given, so
// callers pass it in upper case (".XML").
bool gf_equalsNoCase(std::string_view a, std::string b);

// Number texts and small numbers.
std::string gf_uintToText(std::uint32_t value);
// No decimals for a whole number, else one.
std::string gf_numberText(float x);
// round(part * 100 / whole), halves away from zero; 0 when whole < 1.
// Throws gsl::narrowing_error when the result does not fit an int.
std::int32_t gf_percentage(std::int64_t part, std::int64_t whole);
// "s" for 0 and above 1, else "" (also for a negative count).
const std::string& gf_pluralInt(std::int32_t count);
const std::string& gf_pluralInt64(std::int64_t count);
// "" for 1, else "s".
const std::string& gf_pluralSize(std::uint64_t count);

// Outside text quoted into a Log.txt line (a service's answer or message, a
// parser's reason that quotes the offending token, a downloaded body): a
// hostile answer of megabytes would otherwise go into the log whole at every
// poll, and a control character in it could break or hide a line. Control
// characters (and DEL) are written as \xNN; the text is cut after about
// maxBytes of that form, never inside a UTF-8 sequence, and the cut says how
// long the whole text was.
inline constexpr std::size_t kLogExcerpt_bytes = 300;
std::string gf_logExcerpt(std::string_view text, std::size_t maxBytes = kLogExcerpt_bytes);
