// The two sources of regcodes (registrations tied to one livery title): the
// AIG regcode list shipped as input/AIG-regcodes.enc and the user's own text
// files in input/my_regcodes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct Regcode {
    std::string title;
    std::vector<std::string> regs;  // ascending, each once; empty: a don't-use title
    bool special = false;           // reserved for its registrations
};

// The special marker of the text format (third field).
inline constexpr std::string_view kRegcodeSpecialMark = "#";

// Appends the entries of every *.TXT file of the folder (any case of the
// extension), files in name order so that the later-wins merge is the same on
// every machine. False when a line was rejected or the folder could not be
// read.
bool lf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<Regcode>& out);

// Appends the entries of the decrypted AIG list (input/AIG-regcodes.xml).
// False when it does not load (the file is removed then), its meta header is
// not valid, or a title repeats its predecessor.
bool lf_readAigRegcodes(std::vector<Regcode>& out);
// The same for any path (the fuzz target and tests).
bool lf_readAigRegcodesFrom(const std::filesystem::path& path, std::vector<Regcode>& out);
