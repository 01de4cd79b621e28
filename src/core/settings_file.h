// parameters.xml: the settings kept between runs.
//
// The file is parsed anew by every operation and written back through a
// temporary file that replaces it only when complete, so neither a crash nor
// a failed write ever leaves it half-written or empty. One lock serialises
// every operation on it, whichever thread starts it.
//
// Each operation comes in two forms: one that takes the file's path (tests
// use it) and one that works on the application folder's parameters.xml.
#pragma once

#include "core/settings.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

// Reads the file into every registered setting, appending missing keys with
// their defaults. True when the file had to be written anew with defaults.
bool gf_loadParameters();
bool gf_loadParameters(const std::filesystem::path& file);

// Writes the whole file from the registries, with each setting's default
// (useDefaults) or its current value. The values in memory do not change.
void gf_saveAllParameters(bool useDefaults);
void gf_saveAllParameters(bool useDefaults, const std::filesystem::path& file);

// Store one setting's current value; callers set the value first. Every other
// element of the file stays as it is.
void gf_saveBoolParameter(const BoolParameter& setting);
void gf_saveBoolParameter(const BoolParameter& setting, const std::filesystem::path& file);
void gf_saveNumberParameter(const NumberParameter& setting);
void gf_saveNumberParameter(const NumberParameter& setting, const std::filesystem::path& file);
void gf_saveStringParameter(const StringParameter& setting);
void gf_saveStringParameter(const StringParameter& setting, const std::filesystem::path& file);

// Writes a parameters.xml document. The file it replaces, when good (read
// whole, with "parameters"), is kept first as the last good copy, so a file
// damaged later can be restored. A failure is logged; true when written.
bool gf_saveParametersDocument(pugi::xml_document& document, const std::filesystem::path& file);
// The last good copy of a parameters file: parameters_good.xml beside it.
std::filesystem::path gf_lastGoodParametersPath(const std::filesystem::path& file);
// A damaged file (one that exists but is not good) is kept as parameters0.xml
// and replaced by the last good copy, when there is one; the log and the
// settings notice say which file, where it was kept and what was restored.
// True when restored.
bool gf_restoreDamagedParameters(const std::filesystem::path& file);
// Where a parameters file that had to be replaced is kept: parameters0.xml.
std::filesystem::path gf_keptParametersPath(const std::filesystem::path& file);
// Tells the user, above the status line for the rest of the process, what
// became of the file ("was damaged"), where it is kept and which settings
// are used instead: an error that follows must not hide that the user's own
// edit is no longer in parameters.xml.
void gf_noticeSettingsKept(const std::filesystem::path& file, std::string_view what, std::string_view settingsUsed);

// Holds the lock that serialises every operation on parameters.xml. The lock
// is recursive, so an operation may call others while it holds it. Never
// touch the window while holding it: the window's thread may be waiting for
// it.
[[nodiscard]] std::unique_lock<std::recursive_mutex> gf_lockParametersFile();

// The declaration every XML file of the program carries: version 1.0,
// UTF-8. False when the document cannot take one.
bool gf_setXmlDeclaration(pugi::xml_document& document);

// The program's XML save: ensures the declaration version="1.0"
// encoding="UTF-8" and writes UTF-8 without byte-order mark, indented by two
// blanks, through a temporary file. True when the file was written.
bool gf_saveXmlDocument(pugi::xml_document& document, const std::filesystem::path& path);

// Parses the file with the library's default options and automatic encoding
// detection. False when the file is missing, unreadable or malformed.
bool gf_loadXmlDocument(pugi::xml_document& document, const std::filesystem::path& path);

// gf_logLine unless the run is stopping or the user is closing.
void gf_logUnlessClosing(std::string_view text);

// The value of the first root/parameters/parameter element whose "name" is the
// key (case-sensitive); nothing when there is none. An element without a
// "value" attribute gives false, 0 or the empty text. A flag is true when its
// text begins with 1, t, T, y or Y and false otherwise; a number is the
// leading decimal integer (0 when there is none), beyond the 32-bit range
// taken as the nearest limit. A flag or number not written as a plain value
// ("true", "no", "12") is read all the same, with one log line naming it.
std::optional<bool> gf_readBoolParameter(const pugi::xml_document& document, std::string_view key);
std::optional<std::int32_t> gf_readIntParameter(const pugi::xml_document& document, std::string_view key);
std::optional<std::string> gf_readStringParameter(const pugi::xml_document& document, std::string_view key);

// Append one <parameter name=".." value=".."/> element; false when a node
// could not be made.
bool gf_appendBoolParameterElement(pugi::xml_node parameters, std::string_view key, bool value);
bool gf_appendIntParameterElement(pugi::xml_node parameters, std::string_view key, std::int32_t value);
bool gf_appendTextParameterElement(pugi::xml_node parameters, std::string_view key, std::string_view value);
