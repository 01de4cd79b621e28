// Run start: load parameters.xml and bring a file that an older program
// version wrote up to date (or back to the defaults when it is too old to
// convert).
#pragma once

#include <filesystem>
#include <string_view>

// Loads the application folder's parameters.xml and upgrades it; the
// working folder is the process's current folder.
void lf_checkParametersFile();
// The same for the given settings file and working folder.
void lf_checkParametersFile(const std::filesystem::path& parametersFile, const std::filesystem::path& workFolder);

// Compares the stored PROGRAM_VERSION with the program's version, stores the
// program's version and, on an update, removes what older versions left
// behind. True when the stored version is too old to convert.
bool lf_updateVersion(const std::filesystem::path& parametersFile, const std::filesystem::path& workFolder);

// Removes the first "parameter" element of that key and saves the file; true
// when one was removed.
bool lf_removeParameter(std::string_view key, const std::filesystem::path& parametersFile);
