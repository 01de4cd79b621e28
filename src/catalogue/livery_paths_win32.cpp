#include "catalogue/livery_paths.h"

#include <windows.h>

namespace {

std::string lf_wideTo(UINT codePage, const std::wstring& wide) {
    if (wide.empty()) return {};
    const int length = static_cast<int>(wide.size());
    // Flags 0: characters without a mapping become the code page's default
    // character ('?'), unpaired surrogates become U+FFFD in UTF-8.
    const int bytes = WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string(wide.size(), '?');
    std::string out(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(codePage, 0, wide.data(), length, out.data(), bytes, nullptr, nullptr) != bytes) {
        return std::string(wide.size(), '?');
    }
    return out;
}

}  // namespace

std::string lf_narrowPathText(const std::filesystem::path& path) { return lf_wideTo(CP_ACP, path.native()); }

std::string lf_logPathText(const std::filesystem::path& path) { return lf_wideTo(CP_UTF8, path.native()); }

std::filesystem::path lf_pathFromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (units <= 0) return std::filesystem::path(std::wstring(text.size(), L'?'));
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), units);
    return std::filesystem::path(wide);
}
