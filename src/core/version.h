// Version triples: the program's own version, the versions kept in the
// settings and the entries of the update index.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct VersionData {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t patch = 0;

    constexpr VersionData() = default;
    constexpr VersionData(std::int32_t majorNumber, std::int32_t minorNumber, std::int32_t patchNumber)
        : major(majorNumber), minor(minorNumber), patch(patchNumber) {}
    // Reads "11.10.5" (any single character between the numbers) or a JSON
    // object with "major", "minor" and "patch". Never throws: a text it cannot
    // read leaves zeros from the failing field on and logs one line.
    explicit VersionData(std::string_view text);

    // "{major}.{minor}.{patch}"
    std::string text() const;

    bool operator==(const VersionData&) const = default;
};

// True when a is newer than b: compared field by field, major first.
bool gf_isNewerVersion(const VersionData& a, const VersionData& b);

inline constexpr std::string_view kProgramVersionText = "11.10.5";
// The program's own version; its major number names the download folder of
// this version.
extern const VersionData g_programVersion;
