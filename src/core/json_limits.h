// Bounds on JSON read from outside: the service's answers, the update index.
#pragma once

#include <nlohmann/json.hpp>

#include <string_view>

// The JSON library builds and copies values recursively, so a deeply nested
// text could overflow a reader thread's stack; nothing this program reads
// nests deeper than a handful of levels.
inline constexpr int kMaxJsonDepth = 64;
// True when text opens more than maxDepth arrays or objects at once (brackets
// inside strings do not count). Cheap enough to run before every parse.
bool gf_jsonDeeperThan(std::string_view text, int maxDepth);
// text parsed with the nesting cap: a deeper text is refused as a malformed
// one, before anything is built for it. With exceptions it throws (the
// library's parse error, or "<what> nested deeper than 64 levels"), without
// them it gives a discarded value.
nlohmann::json gf_parseJsonCapped(std::string_view text, bool allowExceptions, std::string_view what);
