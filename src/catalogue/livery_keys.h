// Readers of single aircraft.cfg / sim.cfg lines: a [fltsim.N] header or one
// key=value line. They hold no state, so any number of parse tasks may call
// them at once.
//
// A key line is "<blanks>key<blanks>=<blanks>value<blanks>": the key in any
// letter case opens the line, and the value runs from the first to the last
// non-blank character after '=' and before a "//" comment (which the
// simulator ignores), and is never empty. Without a comment this is the
// language of the full-match, case-insensitive ECMAScript pattern
// \s*(key)\s*=\s*(.*\S)\s* ; the readers are written out by hand because a
// scan runs them on every line of tens of thousands of files.
#pragma once

#include <string>
#include <string_view>

// On a match they replace value and return true; otherwise value stays.
bool lf_readTitle(std::string_view line, std::string& value);
bool lf_readSim(std::string_view line, std::string& value);
bool lf_readModel(std::string_view line, std::string& value);
bool lf_readTexture(std::string_view line, std::string& value);
bool lf_readAtcId(std::string_view line, std::string& value);
bool lf_readAtcParkingTypes(std::string_view line, std::string& value);
// The first item of the comma list (trimmed; empty when the list opens with
// a comma).
bool lf_readAtcParkingCodes(std::string_view line, std::string& value);
// The value, or the empty text.
std::string lf_readAtcModel(std::string_view line);

// The number of a [fltsim.N] header line as text (a "//" comment after it
// ignored); "10000" for a line that only contains "[fltsim." in any letter
// case (a malformed header still opens a section); the empty text for a line
// that is no header, a header commented out with "//" included.
std::string lf_readFltsimNumber(std::string_view line);
inline constexpr std::string_view kMalformedFltsimNumber = "10000";

// Plain substring tests: a key inside a comment counts too.
bool lf_lineHasAtcId(std::string_view line);
bool lf_lineHasAtcParkingTypes(std::string_view line);
