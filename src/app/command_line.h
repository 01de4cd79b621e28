// The production switches of the command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Every argument after the program's own name is looked at; the last
// production switch wins. Empty when no switch was given.
std::optional<bool> gf_parseProductionSwitches(const std::vector<std::u16string>& argsAfterProgram);
