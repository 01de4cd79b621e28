#include "catalogue/livery_folder_list.h"

#include <windows.h>

namespace fs = std::filesystem;

namespace {

bool lf_isDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

struct FindHandle {
    explicit FindHandle(HANDLE h) : handle(h) {}
    HANDLE handle;
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    ~FindHandle() { FindClose(handle); }
};

}  // namespace

// The attributes come with each entry of the listing; the file system is not
// asked again for any of them.
std::error_code lf_listFolder(const fs::path& folder, const std::function<bool(const FolderEntry&)>& visit) {
    WIN32_FIND_DATAW data;
    const fs::path pattern = folder / L"*";
    const HANDLE handle = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return {};
        return std::error_code(static_cast<int>(error), std::system_category());
    }
    const FindHandle find(handle);
    do {
        if (lf_isDotEntry(data.cFileName)) continue;
        const fs::path path = folder / data.cFileName;
        const DWORD attributes = data.dwFileAttributes;
        FolderEntry::Kind kind = FolderEntry::Kind::file;
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            kind = FolderEntry::Kind::link;
        } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            kind = FolderEntry::Kind::directory;
        } else if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
            kind = FolderEntry::Kind::other;
        }
        if (!visit(FolderEntry{path, kind})) return {};
    } while (FindNextFileW(find.handle, &data));
    const DWORD error = GetLastError();
    if (error == ERROR_NO_MORE_FILES) return {};
    return std::error_code(static_cast<int>(error), std::system_category());
}

// One attribute query; the full status (which follows a link) only for a
// link.
fs::file_type lf_pathType(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
            error == ERROR_BAD_NETPATH) {
            return fs::file_type::not_found;
        }
        return fs::status(path).type();
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return fs::status(path).type();
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? fs::file_type::directory : fs::file_type::regular;
}
