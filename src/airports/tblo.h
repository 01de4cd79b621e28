// tblo: the stand files the add-on airport scan generated for third-party
// airports of the airport database, collected into the folder tblo and packed
// into tblo/tblo.zip for the user to mail to the maker, who learns those
// airports off line.
#pragma once

#include "airports/bgl_decoder.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Where the user mails tblo.zip (the log's "Mail" line and the window's
// reminder).
inline constexpr const char* kTbloMailAddress = "airports@glim-p3d.net";

// Files collected by the last scan; the window paints its reminder while
// this is above 0.
extern std::atomic<std::int64_t> g_tbloFileCount;

// Zips the stand files of airports/my_thirdparty named by stems (database
// codes only) into tblo/tblo.zip, straight from where they lie; copies go to
// tblo only when no zip could be made. zipped is called once the files were
// collected (the window enables its "tblo" button and repaints).
void lf_collectTblo(const std::vector<std::string>& stems, const KnownAirportCheck& isKnown,
                    const std::function<void()>& zipped);
// Zips files into target, each under its own file name; true when at least
// one file went in and the archive was written.
bool lf_zipFiles(const std::filesystem::path& target, const std::vector<std::filesystem::path>& files);
// Zips the regular files of tblo (but target) into target.
bool lf_zipFolder(const std::filesystem::path& target);
std::optional<std::string> lf_readFileBytes(const std::filesystem::path& path);
