#include "catalogue/livery_folder_list.h"

namespace fs = std::filesystem;

// The directory entry keeps the type the listing gave; only an entry of an
// unknown type is asked for it.
std::error_code lf_listFolder(const fs::path& folder, const std::function<bool(const FolderEntry&)>& visit) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code typeError;
        FolderEntry::Kind kind = FolderEntry::Kind::other;
        if (entry.is_symlink(typeError)) {
            kind = FolderEntry::Kind::link;
        } else if (entry.is_directory(typeError)) {
            kind = FolderEntry::Kind::directory;
        } else if (entry.is_regular_file(typeError)) {
            kind = FolderEntry::Kind::file;
        }
        if (!visit(FolderEntry{entry.path(), kind})) return {};
    }
    return ec;
}

fs::file_type lf_pathType(const fs::path& path) { return fs::status(path).type(); }
