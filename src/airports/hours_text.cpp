#include "airports/hours_text.h"

#include "core/log.h"
#include "core/text.h"

#include <bit>
#include <charconv>
#include <fmt/format.h>
#include <vector>

namespace {

// One half-hour number; trailing characters after the digits are ignored
// ("12h" is 12), as hand-made files are written that way.
std::optional<int> lf_readHalfHour(std::string_view token, std::string_view whole) {
    const std::string trimmed = gf_trim(token);
    long long value = -1;
    const char* first = trimmed.data();
    const char* last = trimmed.data() + trimmed.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end == first || value < 0 || value >= kHalfHoursPerDay) {
        gf_logHighlight(fmt::format("{} invalid hour '{}' in {}", "operator ()", trimmed, whole));
        return std::nullopt;
    }
    return static_cast<int>(value);
}

std::vector<std::string_view> lf_cut(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) break;
        start = at + 1;
    }
    return parts;
}

std::uint64_t lf_rangeToSet(std::string_view text) {
    int numbers[2] = {0, 0};
    int kept = 0;
    bool invalid = false;
    for (std::string_view part : lf_cut(text, ':')) {
        if (kept == 2) {
            gf_logHighlight(fmt::format("{} more than one colon char in: {}", "gf_hours2bitset", text));
            return 0;
        }
        const auto number = lf_readHalfHour(part, text);
        if (!number) {
            invalid = true;
            continue;
        }
        numbers[kept++] = *number;
    }
    if (invalid) return 0;
    if (kept == 1) return std::uint64_t{1} << numbers[0];
    if (kept == 0) {
        gf_logHighlight(fmt::format("{} invalid range format in {}", "gf_hours2bitset", text));
        return 0;
    }
    const int a = numbers[0], b = numbers[1];
    if (a > b) {
        gf_logHighlight(
            fmt::format("{} descending range not allowed ({}:{} in {})", "gf_hours2bitset", a, b, text));
        return 0;
    }
    std::uint64_t set = 0;
    for (int n = a; n <= b; ++n) set |= std::uint64_t{1} << n;
    return set;
}

}  // namespace

std::uint64_t gf_hours2bitset(std::string_view text) {
    if (!text.empty() && text.find(':') != std::string_view::npos) return lf_rangeToSet(text);
    std::uint64_t set = 0;
    for (std::string_view part : lf_cut(text, ',')) {
        if (const auto number = lf_readHalfHour(part, text)) set |= std::uint64_t{1} << *number;
    }
    return set;
}

std::optional<std::string> gf_bitset2hours(std::uint64_t set) {
    set &= kAllHalfHours;
    if (set == 0) return std::nullopt;
    const int first = std::countr_zero(set);
    const int last = 63 - std::countl_zero(set);
    const int count = std::popcount(set);
    if (count != last - first + 1) return std::nullopt;
    if (first == last) return fmt::format("{}", first);
    return fmt::format("{}:{}", first, last);
}
