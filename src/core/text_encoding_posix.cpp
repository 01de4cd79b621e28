// The conversions of the native build, written out because the C library's
// multibyte functions depend on the process locale. They accept and reject
// exactly what the Windows conversions accept and reject, and the wide text
// holds UTF-16 code units (see text_encoding.h).
#include "core/text_encoding.h"

#include <array>
#include <cstdint>
#include <stdexcept>

namespace {

constexpr char32_t kMaxCodePoint = 0x10FFFF;

bool lf_isHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool lf_isLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

[[noreturn]] void lf_invalidUtf8() { throw std::runtime_error("utf8_to_wide: invalid UTF-8"); }
[[noreturn]] void lf_invalidUtf16() { throw std::runtime_error("wide_to_utf8: invalid UTF-16"); }

// Decodes one code point at i and moves i past it; rejects stray continuation
// bytes, overlong forms, encoded surrogates, values above U+10FFFF and
// sequences cut by the end of the text.
char32_t lf_decodeUtf8(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        lf_invalidUtf8();
    }
    if (text.size() - i < length) lf_invalidUtf8();
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<std::uint8_t>(text[i + k]);
        if ((next & 0xC0) != 0x80) lf_invalidUtf8();
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > kMaxCodePoint || (value >= 0xD800 && value <= 0xDFFF)) lf_invalidUtf8();
    i += length;
    return value;
}

// Code page 1252 from 0x80 to 0x9F. The five bytes the code page leaves
// undefined map to the C1 control of the same value, as Windows maps them.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

std::wstring utf8_to_wide(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const char32_t cp = lf_decodeUtf8(text, i);
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            wide += static_cast<wchar_t>(0xD800 + (v >> 10));
            wide += static_cast<wchar_t>(0xDC00 + (v & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(cp);
        }
    }
    return wide;
}

std::string wide_to_utf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<char32_t>(text[i]);
        // Every element is one UTF-16 code unit; a wider value is not one.
        if (unit > 0xFFFF || lf_isLowSurrogate(unit)) lf_invalidUtf16();
        if (lf_isHighSurrogate(unit)) {
            if (i + 1 >= text.size()) lf_invalidUtf16();
            const auto low = static_cast<char32_t>(text[i + 1]);
            if (!lf_isLowSurrogate(low)) lf_invalidUtf16();
            gf_appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            ++i;
        } else {
            gf_appendUtf8(out, unit);
        }
    }
    return out;
}

std::string gf_pathToUtf8(const std::filesystem::path& path) { return path.native(); }

std::string gf_ansiToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        const char32_t cp = byte >= 0x80 && byte <= 0x9F ? kCp1252High[byte - 0x80] : byte;
        gf_appendUtf8(out, cp);
    }
    return out;
}
