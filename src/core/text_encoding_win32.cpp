// The conversions of the Windows build: the system's own code-page functions.
#include "core/text_encoding.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace {

// The system functions count in int; a longer text cannot be passed at all.
int lf_length(std::size_t size, const char* what) {
    if (size > static_cast<std::size_t>(INT_MAX)) throw std::length_error(what);
    return static_cast<int>(size);
}

// Asks the length first and converts second; 0 from either call is a failure.
std::wstring lf_toWide(UINT codePage, DWORD flags, std::string_view text, bool& ok) {
    const int length = lf_length(text.size(), "text too long to convert");
    const int units = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    ok = units > 0;
    if (!ok) return {};
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ok = MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), units) == units;
    if (!ok) return {};
    return wide;
}

}  // namespace

std::wstring utf8_to_wide(std::string_view text) {
    if (text.empty()) return {};
    bool ok = false;
    std::wstring wide = lf_toWide(CP_UTF8, MB_ERR_INVALID_CHARS, text, ok);
    if (!ok) throw std::runtime_error("utf8_to_wide: invalid UTF-8");
    return wide;
}

std::string wide_to_utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = lf_length(text.size(), "text too long to convert");
    const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) throw std::runtime_error("wide_to_utf8: invalid UTF-16");
    std::string out(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, out.data(), bytes, nullptr, nullptr) !=
        bytes) {
        throw std::runtime_error("wide_to_utf8: invalid UTF-16");
    }
    return out;
}

std::string gf_pathToUtf8(const std::filesystem::path& path) { return wide_to_utf8(path.native()); }

std::string gf_ansiToUtf8(std::string_view text) {
    if (text.empty()) return {};
    // The checked length is asked first only to learn whether the text is
    // clean; bytes the code page leaves undefined still convert unchecked.
    const int length = lf_length(text.size(), "text too long to convert");
    int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (units <= 0) units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    const int done = MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), units);
    if (done <= 0) return {};
    wide.resize(static_cast<std::size_t>(done));
    return wide_to_utf8(wide);
}
