// Whole files for tests, read and written in binary so that no byte changes
// on the way (CR and LF among them).
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace test_files {

inline std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Creates the folders on the way.
inline void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

}  // namespace test_files
