#include "catalogue/livery_keys.h"

#include "core/text.h"

namespace {

// The white space of the pattern's \s (the "C" locale's isspace).
bool lf_isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
// What the pattern's '.' cannot match.
bool lf_isLineBreak(char c) { return c == '\n' || c == '\r'; }
char lf_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool lf_isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t lf_skipSpace(std::string_view text, std::size_t i) {
    while (i < text.size() && lf_isSpace(text[i])) ++i;
    return i;
}

// key is lower case.
bool lf_startsWithNoCase(std::string_view text, std::size_t at, std::string_view key) {
    if (text.size() - at < key.size()) return false;
    for (std::size_t k = 0; k < key.size(); ++k) {
        if (lf_lower(text[at + k]) != key[k]) return false;
    }
    return true;
}

// The simulator reads what follows "//" on a line as a comment.
std::size_t lf_commentStart(std::string_view line, std::size_t from) {
    const std::size_t comment = line.find("//", from);
    return comment == std::string_view::npos ? line.size() : comment;
}

bool lf_containsNoCase(std::string_view text, std::string_view lower) {
    for (std::size_t at = 0; at + lower.size() <= text.size(); ++at) {
        if (lf_startsWithNoCase(text, at, lower)) return true;
    }
    return false;
}

bool lf_keyValue(std::string_view line, std::string_view key, std::string_view& value) {
    std::size_t i = lf_skipSpace(line, 0);
    if (!lf_startsWithNoCase(line, i, key)) return false;
    i = lf_skipSpace(line, i + key.size());
    if (i >= line.size() || line[i] != '=') return false;
    const std::size_t first = lf_skipSpace(line, i + 1);
    std::size_t end = lf_commentStart(line, first);
    while (end > first && lf_isSpace(line[end - 1])) --end;
    if (end == first) return false;
    for (std::size_t k = first; k < end; ++k) {
        if (lf_isLineBreak(line[k])) return false;
    }
    value = line.substr(first, end - first);
    return true;
}

bool lf_readInto(std::string_view line, std::string_view key, std::string& value) {
    std::string_view found;
    if (!lf_keyValue(line, key, found)) return false;
    value.assign(found);
    return true;
}

constexpr std::string_view kFltsimOpen = "[fltsim.";

}  // namespace

bool lf_readTitle(std::string_view line, std::string& value) { return lf_readInto(line, "title", value); }
bool lf_readSim(std::string_view line, std::string& value) { return lf_readInto(line, "sim", value); }
bool lf_readModel(std::string_view line, std::string& value) { return lf_readInto(line, "model", value); }
bool lf_readTexture(std::string_view line, std::string& value) { return lf_readInto(line, "texture", value); }
bool lf_readAtcId(std::string_view line, std::string& value) { return lf_readInto(line, "atc_id", value); }
bool lf_readAtcParkingTypes(std::string_view line, std::string& value) {
    return lf_readInto(line, "atc_parking_types", value);
}

bool lf_readAtcParkingCodes(std::string_view line, std::string& value) {
    std::string_view found;
    if (!lf_keyValue(line, "atc_parking_codes", found)) return false;
    // The value is never empty, so the list has a first item.
    value = gf_trim(found.substr(0, found.find(',')));
    return true;
}

std::string lf_readAtcModel(std::string_view line) {
    std::string_view found;
    if (!lf_keyValue(line, "atc_model", found)) return {};
    return std::string(found);
}

std::string lf_readFltsimNumber(std::string_view line) {
    // Most lines of a file hold no header at all.
    if (line.find('[') == std::string_view::npos) return {};
    if (line.size() >= 2 && line.starts_with("//")) return {};
    line = line.substr(0, lf_commentStart(line, 0));
    std::size_t i = lf_skipSpace(line, 0);
    if (lf_startsWithNoCase(line, i, kFltsimOpen)) {
        const std::size_t digits = i + kFltsimOpen.size();
        std::size_t k = digits;
        while (k < line.size() && lf_isDigit(line[k])) ++k;
        if (k > digits && k < line.size() && line[k] == ']' && lf_skipSpace(line, k + 1) == line.size()) {
            return std::string(line.substr(digits, k - digits));
        }
    }
    // A header the simulator may still read ('[FltSim.x]') must not drop its
    // section without a word: it opens one, and the section rules report it.
    if (lf_containsNoCase(line, kFltsimOpen)) return std::string(kMalformedFltsimNumber);
    return {};
}

bool lf_lineHasAtcId(std::string_view line) { return line.find("atc_id=") != std::string_view::npos; }
bool lf_lineHasAtcParkingTypes(std::string_view line) {
    return line.find("atc_parking_types") != std::string_view::npos;
}
