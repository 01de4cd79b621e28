#include "core/text.h"

#include <fmt/format.h>
#include <gsl/narrow>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

const std::string kPluralEnding = "s";
const std::string kNoEnding;

// Both split helpers walk the text the same way; only the reserve differs.
void lf_splitInto(std::string_view text, char delimiter, std::vector<std::string>& parts) {
    if (text.empty()) return;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(delimiter, start);
        if (end == std::string_view::npos) {
            parts.push_back(gf_trim(text.substr(start)));
            return;
        }
        parts.push_back(gf_trim(text.substr(start, end - start)));
        start = end + 1;
    }
}

}  // namespace

std::string gf_trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kTrimSet);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kTrimSet);
    return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> gf_split(std::string_view text, char delimiter) {
    std::vector<std::string> parts;
    if (text.empty()) return parts;
    parts.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), delimiter)) + 1);
    lf_splitInto(text, delimiter, parts);
    return parts;
}

std::vector<std::string> gf_splitComma(std::string_view text) { return gf_split(text, ','); }

std::vector<std::string> gf_splitAt(std::string_view text) {
    std::vector<std::string> parts;
    lf_splitInto(text, ',', parts);
    return parts;
}

std::vector<std::string> gf_splitCommaSortedUnique(std::string_view text) {
    std::vector<std::string> parts = gf_splitAt(text);
    std::stable_sort(parts.begin(), parts.end());
    parts.erase(std::unique(parts.begin(), parts.end()), parts.end());
    return parts;
}

void gf_normalizeCommaList(std::string& text) {
    if (text.find_first_of(kTrimSet) == std::string::npos) return;
    text = gf_joinComma(gf_splitComma(text));
}

std::string gf_joinComma(const std::vector<std::string>& items) {
    std::string result;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) result += ',';
        result += items[i];
    }
    return result;
}

bool gf_contains(std::string_view text, const char* part) {
    if (part == nullptr) return true;
    return text.find(std::string_view(part)) != std::string_view::npos;
}

bool gf_equalsWithStar(std::string_view a, std::string_view b) {
    return b.size() == a.size() + 1 && b.substr(0, a.size()) == a && b.back() == '*';
}

char gf_toUpper(char c) {
    // Plain char is signed here, so bytes of UTF-8 sequences are negative;
    // passing them to std::toupper is undefined, and a single-byte locale set
    // by anyone in the process would rewrite them. Only ASCII letters change.
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 'a' && byte <= 'z') return static_cast<char>(byte - ('a' - 'A'));
    return c;
}

bool gf_equalsNoCase(std::string_view a, std::string b) {
    std::transform(b.begin(), b.end(), b.begin(), gf_toUpper);
    return a == b;
}

std::string gf_uintToText(std::uint32_t value) { return fmt::format("{}", value); }

std::string gf_numberText(float x) {
    if (std::fmod(x, 1.0f) == 0.0f) return fmt::format("{:.0f}", x);
    return fmt::format("{:.1f}", x);
}

std::int32_t gf_percentage(std::int64_t part, std::int64_t whole) {
    if (whole < 1) return 0;
    const double rounded = std::round(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
    // Converting an out-of-range double to int is undefined, so the range is
    // checked before the narrowing rather than after it.
    constexpr double kMin = static_cast<double>(std::numeric_limits<std::int32_t>::min());
    constexpr double kMax = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    if (!(rounded >= kMin && rounded <= kMax)) throw gsl::narrowing_error{};
    return gsl::narrow<std::int32_t>(rounded);
}

const std::string& gf_pluralInt(std::int32_t count) { return count == 0 || count > 1 ? kPluralEnding : kNoEnding; }

const std::string& gf_pluralInt64(std::int64_t count) { return count == 0 || count > 1 ? kPluralEnding : kNoEnding; }

const std::string& gf_pluralSize(std::uint64_t count) { return count == 1 ? kNoEnding : kPluralEnding; }

namespace {

bool lf_isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool lf_isUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::string gf_logExcerpt(std::string_view text, std::size_t maxBytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(std::min(text.size(), maxBytes) + 48);
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t width = lf_isControl(c) ? 4 : 1;
        if (out.size() + width > maxBytes) break;
        if (width == 4) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (i == text.size()) return out;
    // A sequence cut in two would leave a broken character in the line: its
    // lead byte and continuation bytes (three at most) go too.
    if (lf_isUtf8Continuation(static_cast<unsigned char>(text[i]))) {
        for (int n = 0; n < 3 && !out.empty() && lf_isUtf8Continuation(static_cast<unsigned char>(out.back())); ++n) {
            out.pop_back();
        }
        if (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0xC0) out.pop_back();
    }
    out += fmt::format("... ({} bytes in all)", text.size());
    return out;
}
