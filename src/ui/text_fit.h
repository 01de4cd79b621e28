// Long texts made to fit the width they are painted in, so that what the
// user must read survives: a path gives up its middle, a name its end.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// Width in pixels of a UTF-8 text.
using TextWidth = std::function<int(std::string_view)>;

// The text when it fits max_px; else with "..." in place of the end, as much
// kept as fits (at least the "...").
std::string gf_cutTextEnd(std::string_view text, int max_px, const TextWidth& width);

// The text when it fits max_px. Else a file path in it (from a drive "C:\" or
// the first backslash to its last separator) loses its middle to "..." until
// the whole text fits; its drive and its file name stay. What still does not
// fit is cut at its end.
std::string gf_fitTextWithPath(std::string_view text, int max_px, const TextWidth& width);
