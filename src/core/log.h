// Log.txt: one file for every thread, written line by line under one mutex.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// The most one call writes of its text: a longer text is cut, with the cut
// said. Control characters but "\t" and the line breaks that lead or end
// the text are written as \xNN: one call writes one line. Texts
// quoted from outside are cut much shorter by their callers (gf_logExcerpt).
inline constexpr std::size_t kMaxLogLine_bytes = 4096;

// Writes text and "\n".
void gf_logLine(std::string_view text);
// Writes "==> ", text and "\n" and flushes at once (problems and milestones).
void gf_logHighlight(std::string_view text);
// Writes ten blanks, text and "\n".
void gf_logContinuation(std::string_view text);
// gf_logLine, then a flush outside the line's lock.
void gf_logAndFlushConsole(std::string_view text);
// Flushes the log when it is open.
void gf_logFlush();

// Opens (truncates) the log file at path; false when it cannot be created.
bool gf_logOpen(const std::filesystem::path& path);
bool gf_logIsOpen();
// Closes the log; for tests and the very end of the process.
void gf_logClose();

// Text of a banner line for the scan reports; writes nothing itself.
std::string gf_logBanner(int a, int b, bool leadingBreak, bool trailingBreak, std::string_view title);

// File generations: "0", "00", "000" inserted before the extension of the
// file name (never into a dotted folder name); a name without one has none.
bool gf_save1GenerationOf(const std::filesystem::path& path);
bool gf_saveUpto3GenerationsOf(const std::filesystem::path& path);
void gf_copyIfExists(const std::filesystem::path& source, const std::filesystem::path& target, bool& ok);
