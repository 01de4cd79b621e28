// Paths as text for the livery scan's messages. Report files carry paths in
// the system's narrow (ANSI) code page, Log.txt carries them as UTF-8. Both
// conversions replace what they cannot represent instead of throwing: a
// livery folder may hold any name the file system allows, and one odd name
// must not cost the other files of the scan.
#pragma once

#include <filesystem>
#include <string>

// The ANSI code page (1252 in the native build); '?' for every character the
// code page lacks.
std::string lf_narrowPathText(const std::filesystem::path& path);
// UTF-8; U+FFFD for what is not valid text.
std::string lf_logPathText(const std::filesystem::path& path);

// A path from UTF-8 text read in a file (a model or texture suffix); bytes
// that are not valid UTF-8 become U+FFFD, so the named file simply does not
// exist instead of the conversion throwing.
std::filesystem::path lf_pathFromUtf8(const std::string& text);
