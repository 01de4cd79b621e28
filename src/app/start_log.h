// Rotates Log.txt into its older generations, opens it new and writes the
// header line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// The header line for a start at utcSeconds.
std::string gf_logHeaderLine(std::int64_t utcSeconds);

// False when the log could not be created: the program must not start then.
bool lf_openLog(const std::filesystem::path& logPath = "Log.txt");
