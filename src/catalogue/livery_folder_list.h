// The entries of one folder for the livery walk, with the type the listing
// itself gives, and the type of one path for the section rules: asking the
// file system costs more than the whole parse on some systems, so each asks
// it in the cheapest way the system has.
#pragma once

#include <filesystem>
#include <functional>
#include <system_error>

struct FolderEntry {
    enum class Kind { directory, file, link, other };
    const std::filesystem::path& path;
    Kind kind;  // a link is not followed: it may point at a file or a folder
};

// Calls visit for each entry of folder (never "." or "..") in the listing's
// order until visit returns false. The error that ended the listing early,
// or none; an exception from visit passes on.
std::error_code lf_listFolder(const std::filesystem::path& folder,
                              const std::function<bool(const FolderEntry&)>& visit);

// The type of the path, links followed; not_found when it does not exist.
// Another error throws the file-system error of the operation "status".
std::filesystem::file_type lf_pathType(const std::filesystem::path& path);
