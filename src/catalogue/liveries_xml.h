// output/LiveriesScanned.xml: the cache of the livery scan, so that the slow
// walk of the livery folders runs only when the user asks for it.
#pragma once

#include <filesystem>

// Writes the scan list (sorted, de-duplicated by the scan) with the meta
// header. An empty list writes nothing and keeps the old file (true). False
// when the file could not be written: the old file then stays as it was, and
// the caller must not treat the scan as done.
bool lf_writeLiveriesXml();
bool lf_writeLiveriesXmlTo(const std::filesystem::path& path);

// Replaces the scan list by the file's liveries, sorted. Throws
// ozr::UserErrorException: 51 the file is missing or does not load, 52 no
// <liveries> section, 999 a livery without airl, type or title, 533 no
// livery at all. The run's own cache, when it is there but does not load,
// is moved aside (output/LiveriesScanned.xml.damaged) and the livery scan
// turned on for the next start, which the error's text tells the user.
void lf_readLiveriesXml();
void lf_readLiveriesXmlFrom(const std::filesystem::path& path);
