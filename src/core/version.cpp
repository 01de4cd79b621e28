#include "core/version.h"

#include "core/json_limits.h"
#include "core/log.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

// The program's own version is read from its text at compile time, so it is
// ready before any other global that might ask for it.
consteval VersionData lf_programVersion() {
    std::int32_t fields[3] = {0, 0, 0};
    int field = 0;
    for (const char c : kProgramVersionText) {
        if (c == '.') {
            ++field;
        } else {
            fields[field] = fields[field] * 10 + (c - '0');
        }
    }
    return VersionData(fields[0], fields[1], fields[2]);
}

struct DottedGroups {
    std::array<std::string_view, 3> numbers;
};

// Matches the whole text against (\d+).(\d+).(\d+) as an ECMAScript regex
// would: each "." is any one character but CR or LF, and the greedy groups
// give back digits from the right, first group last. Written out by hand
// because the library's backtracking matcher recurses once per character and
// a long text from a downloaded index could exhaust the stack.
std::optional<DottedGroups> lf_matchDotted(std::string_view text) {
    const std::size_t n = text.size();
    auto isDigit = [&](std::size_t i) { return text[i] >= '0' && text[i] <= '9'; };
    auto isAny = [&](std::size_t i) { return text[i] != '\n' && text[i] != '\r'; };
    // run[i]: the number of digits from i on, so every try costs O(1).
    std::vector<std::size_t> run(n + 1, 0);
    for (std::size_t i = n; i-- > 0;) run[i] = isDigit(i) ? run[i + 1] + 1 : 0;
    auto digitRun = [&](std::size_t from) { return run[from]; };
    // The third group runs to the end, so it starts at or after the final run
    // of digits.
    std::size_t tailStart = n;
    while (tailStart > 0 && isDigit(tailStart - 1)) --tailStart;
    if (tailStart == n) return std::nullopt;

    for (std::size_t len1 = digitRun(0); len1 >= 1; --len1) {
        const std::size_t sep1 = len1;
        if (sep1 >= n || !isAny(sep1)) continue;
        const std::size_t start2 = sep1 + 1;
        if (start2 >= n) continue;
        for (std::size_t len2 = digitRun(start2); len2 >= 1; --len2) {
            const std::size_t sep2 = start2 + len2;
            const std::size_t start3 = sep2 + 1;
            if (start3 >= n) continue;
            if (start3 < tailStart) break;  // shorter second groups only move further left
            if (!isAny(sep2)) continue;
            return DottedGroups{{text.substr(0, len1), text.substr(start2, len2), text.substr(start3)}};
        }
    }
    return std::nullopt;
}

std::int32_t lf_toInt(std::string_view digits) {
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc{} || end != digits.data() + digits.size()) {
        throw std::runtime_error("parse error in version string");
    }
    return value;
}

std::int32_t lf_jsonInt(const nlohmann::json& value) {
    // The library's own conversion cuts a number beyond the int range
    // silently; such a number is as unreadable as an eleven-digit text.
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(kMax)) throw std::runtime_error("parse error in version string");
        return static_cast<std::int32_t>(number);
    }
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if (number < kMin || number > kMax) throw std::runtime_error("parse error in version string");
        return static_cast<std::int32_t>(number);
    }
    if (value.is_number_float()) {
        const auto number = value.get<double>();
        if (!(number > kMin - 1.0 && number < kMax + 1.0)) throw std::runtime_error("parse error in version string");
        return static_cast<std::int32_t>(number);
    }
    return value.get<std::int32_t>();  // raises the library's type error for a non-number
}

}  // namespace

constinit const VersionData g_programVersion = lf_programVersion();

VersionData::VersionData(std::string_view text) {
    if (text.empty()) return;
    try {
        if (const auto groups = lf_matchDotted(text)) {
            major = lf_toInt(groups->numbers[0]);
            minor = lf_toInt(groups->numbers[1]);
            patch = lf_toInt(groups->numbers[2]);
            return;
        }
        const auto json = gf_parseJsonCapped(text, true, "version", kMaxVersionValues);
        if (!json.is_object()) return;
        if (json.contains("major")) major = lf_jsonInt(json["major"]);
        if (json.contains("minor")) minor = lf_jsonInt(json["minor"]);
        if (json.contains("patch")) patch = lf_jsonInt(json["patch"]);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("{} exception: {}", "VersionData", e.what()));
    }
}

std::string VersionData::text() const { return fmt::format("{}.{}.{}", major, minor, patch); }

bool gf_isNewerVersion(const VersionData& a, const VersionData& b) {
    if (a.major != b.major) return a.major > b.major;
    if (a.minor != b.minor) return a.minor > b.minor;
    return a.patch > b.patch;
}
