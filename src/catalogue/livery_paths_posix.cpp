#include "catalogue/livery_paths.h"

#include "core/text_encoding.h"

#include <array>
#include <cstdint>
#include <unordered_map>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One code point at i, moving i past it; kReplacement for one invalid byte.
char32_t lf_decodeLenient(const std::string& text, std::size_t& i) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (text.size() - i < length) {
        ++i;
        return kReplacement;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<std::uint8_t>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += length;
    return value;
}

// The reverse of the build's code page table, so that a path and the text
// read back from a report agree byte for byte.
const std::unordered_map<char32_t, char>& lf_ansiBytes() {
    static const std::unordered_map<char32_t, char> table = [] {
        std::unordered_map<char32_t, char> bytes;
        for (int b = 0x80; b <= 0xFF; ++b) {
            const std::string utf8 = gf_ansiToUtf8(std::string(1, static_cast<char>(b)));
            std::size_t i = 0;
            if (utf8.empty()) continue;
            const char32_t cp = lf_decodeLenient(utf8, i);
            if (cp != kReplacement && i == utf8.size()) bytes.emplace(cp, static_cast<char>(b));
        }
        return bytes;
    }();
    return table;
}

}  // namespace

std::string lf_narrowPathText(const std::filesystem::path& path) {
    const std::string& text = path.native();
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = lf_decodeLenient(text, i);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            continue;
        }
        const auto& table = lf_ansiBytes();
        const auto found = table.find(cp);
        out += found == table.end() ? '?' : found->second;
    }
    return out;
}

std::string lf_logPathText(const std::filesystem::path& path) {
    const std::string& text = path.native();
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) gf_appendUtf8(out, lf_decodeLenient(text, i));
    return out;
}

std::filesystem::path lf_pathFromUtf8(const std::string& text) { return std::filesystem::path(text); }
