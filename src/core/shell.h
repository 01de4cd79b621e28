// Showing the user a file's folder in the system's file browser.
#pragma once

#include <filesystem>
#include <functional>

// Opens the folder that holds path; true when the shell took the request.
// False when path does not exist or has no parent folder.
bool gf_openContainingFolder(const std::filesystem::path& path);

// The shell's "open" verb on a folder; true when it succeeded. Replaceable
// for tests (nullptr restores the system's).
using ShellOpener = std::function<bool(const std::filesystem::path& folder)>;
void gf_setShellOpener(ShellOpener opener);
