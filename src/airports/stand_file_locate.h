// Where an airport's stand file is: generated or linked in airports/my_thirdparty
// or airports/my_ORBX, else archived on the maker's site below
// "<downloads>/P3D/archive/...". A reference is either a local path beginning
// with "airports" or an archive path to download.
#pragma once

#include "core/geometry.h"

#include <filesystem>
#include <string>
#include <string_view>

// The reference of the airport's stand file; empty when there is none.
// Throws std::filesystem::filesystem_error ("exists") when a folder cannot
// be examined.
std::string gf_resolveAirportFile(std::string_view code);
// True when the link file exists and its first line (trailing white space
// removed) is a reference to an .xml file, which goes to reference.
bool lf_readLinkFile(const std::filesystem::path& path, std::string& reference);
// Any stand file or link file in my_thirdparty or my_ORBX, or an archived
// one for a database airport with stands.
bool gf_airportFileExists(std::string_view code);
// A reference read in place (below "airports") rather than downloaded.
bool gf_isLocalReference(std::string_view reference);
// The file of a local reference on this platform (its backslashes as folder
// separators).
std::filesystem::path gf_referencePath(std::string_view reference);
// The address of an archive reference on the download site.
std::string gf_standFileUrl(std::string_view reference);
// Downloads an archive reference into localPath; empty on success, else
// "failed to download: '<url>'" (no partial file is left).
std::string lf_downloadAirportFile(std::string_view reference, const std::filesystem::path& localPath);
// The same; notOnSite tells whether the site answered that it has no such
// file (HTTP 404), as against a transfer that failed.
std::string lf_downloadAirportFile(std::string_view reference, const std::filesystem::path& localPath,
                                   bool& notOnSite);
// The distance in NM from position to the nearest stand of the airport's
// stand file, with that stand's id; 100.0 (and standId untouched) when there
// is none. An archived file is fetched (through the temporary file
// airport.xml, removed again) once per process.
double gf_readDestApfForClosestStand(std::string_view code, LatLon position, std::string& standId);
// Forgets the archived files fetched for the closest-stand search.
void gf_forgetFetchedStandFiles();
