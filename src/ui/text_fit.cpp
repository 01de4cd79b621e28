#include "ui/text_fit.h"

#include <cctype>

namespace {

constexpr std::string_view kEllipsis = "...";

bool lf_continuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The nearest character start at or before i.
std::size_t lf_charStartBefore(std::string_view text, std::size_t i) {
    while (i > 0 && i < text.size() && lf_continuationByte(text[i])) --i;
    return i;
}

// The nearest character start at or after i.
std::size_t lf_charStartAfter(std::string_view text, std::size_t i) {
    while (i < text.size() && lf_continuationByte(text[i])) ++i;
    return i;
}

bool lf_separator(char c) { return c == '\\' || c == '/'; }

// Where a path's shortenable middle begins and ends: after its first
// separator up to its last one; begin == end when the text has no path.
struct Middle {
    std::size_t begin = 0, end = 0;
};

Middle lf_pathMiddle(std::string_view text) {
    std::size_t first = std::string_view::npos;
    // A drive path first: its slashes are a path's whichever way they lean.
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        if (std::isalpha(static_cast<unsigned char>(text[i])) && text[i + 1] == ':' && lf_separator(text[i + 2]) &&
            (i == 0 || !std::isalnum(static_cast<unsigned char>(text[i - 1])))) {
            first = i + 2;
            break;
        }
    }
    // Else a relative Windows path, or an absolute path of the native build;
    // a lone slash inside a sentence is no path.
    if (first == std::string_view::npos) first = text.find('\\');
    if (first == std::string_view::npos) {
        for (std::size_t i = 0; i < text.size() && first == std::string_view::npos; ++i) {
            if (text[i] == '/' && (i == 0 || text[i - 1] == ' ')) first = i;
        }
    }
    if (first == std::string_view::npos) return {};
    std::size_t last = first;
    for (std::size_t i = first + 1; i < text.size(); ++i) {
        if (lf_separator(text[i])) last = i;
    }
    return {first + 1, last};
}

}  // namespace

std::string gf_cutTextEnd(std::string_view text, int max_px, const TextWidth& width) {
    if (width(text) <= max_px) return std::string(text);
    std::size_t keep = text.size();
    while (keep > 0) {
        keep = lf_charStartBefore(text, keep - 1);
        std::string cut = std::string(text.substr(0, keep)) + std::string(kEllipsis);
        if (width(cut) <= max_px) return cut;
    }
    return std::string(kEllipsis);
}

std::string gf_fitTextWithPath(std::string_view text, int max_px, const TextWidth& width) {
    if (width(text) <= max_px) return std::string(text);
    const Middle middle = lf_pathMiddle(text);
    std::string best(text);
    if (middle.end > middle.begin) {
        const std::size_t length = middle.end - middle.begin;
        const std::size_t centre = middle.begin + length / 2;
        // Drop ever more of the middle, evenly from both sides of its centre.
        for (std::size_t drop = 1; drop <= length; ++drop) {
            const std::size_t from = lf_charStartBefore(text, centre - std::min(drop / 2, centre - middle.begin));
            const std::size_t to = lf_charStartAfter(text, std::min(from + drop, middle.end));
            best = std::string(text.substr(0, from)) + std::string(kEllipsis) + std::string(text.substr(to));
            if (width(best) <= max_px) return best;
        }
    }
    return gf_cutTextEnd(best, max_px, width);
}
