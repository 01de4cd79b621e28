#include "core/paths.h"

#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

namespace fs = std::filesystem;

namespace {

// Read as UTF-16, so a temp folder with any characters in its name works.
std::optional<fs::path> lf_envPath(const wchar_t* name) {
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed <= 1) return std::nullopt;  // unset (0) or empty (1: the terminator)
    std::wstring value(needed, L'\0');
    const DWORD written = GetEnvironmentVariableW(name, value.data(), needed);
    if (written == 0 || written >= needed) return std::nullopt;
    value.resize(written);
    return fs::path(value);
}

const KNOWNFOLDERID& lf_folderId(KnownFolder folder) {
    switch (folder) {
    case KnownFolder::roamingAppData: return FOLDERID_RoamingAppData;
    case KnownFolder::documents: return FOLDERID_Documents;
    case KnownFolder::publicDocuments: return FOLDERID_PublicDocuments;
    case KnownFolder::programFiles: return FOLDERID_ProgramFiles;
    case KnownFolder::programFilesX86: return FOLDERID_ProgramFilesX86;
    }
    return FOLDERID_RoamingAppData;
}

}  // namespace

std::optional<fs::path> gf_knownFolder(KnownFolder folder) {
    if (folder == KnownFolder::roamingAppData) {
        if (auto over = lf_envPath(L"GLIM_APPDATA")) return over;
    }
    PWSTR raw = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(lf_folderId(folder), 0, nullptr, &raw);
    std::optional<fs::path> result;
    if (SUCCEEDED(hr) && raw != nullptr) result = fs::path(std::wstring(raw));
    // The buffer is the caller's to free on failure too.
    CoTaskMemFree(raw);
    return result;
}
