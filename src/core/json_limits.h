// Bounds on JSON read from outside: the service's answers, the update index.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <string_view>

// The JSON library builds and copies values recursively, so a deeply nested
// text could overflow a reader thread's stack; nothing this program reads
// nests deeper than a handful of levels.
inline constexpr int kMaxJsonDepth = 64;

// The update index (at most 1 MiB of text): a version and a few names per
// release.
inline constexpr std::size_t kMaxIndexValues = 100000;
// A version text: three numbers in an object.
inline constexpr std::size_t kMaxVersionValues = 1000;

// text parsed with the nesting cap and a cap on the values built (a number
// or literal counts one, a text two, an object, array or member four, and a
// text or member name of 16 bytes or more one more per 16 bytes of it: about
// what each costs built). A few
// bytes of text can stand for one value that costs a hundred bytes built
// ("[{},{},...]"), so a cap on the text alone still lets a small answer take
// gigabytes; parsing stops at the first value beyond maxValues, before it is
// built. A refused text (malformed, too deep, too many values): with
// exceptions a std::runtime_error whose text says why ("<what> nested deeper
// than 64 levels", "<what> holds more than N values", or the library's parse
// error); without them a discarded value, the reason in *whyRefused when
// given.
nlohmann::json gf_parseJsonCapped(std::string_view text, bool allowExceptions, std::string_view what,
                                  std::size_t maxValues, std::string* whyRefused = nullptr);
