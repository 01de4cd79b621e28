// Keeping the program and its data files up to date from the maker's download
// site. At the start of the first run of a process the update index
// (versions.json) is fetched; newer, missing and unreadable data files are
// downloaded into input/ (an unreadable one is kept aside), a newer
// scan-rule version turns its scan on, and a newer program version is fetched
// as a zipped installer, unpacked into new_version/ and shown to the user in
// the file browser, which ends the run with NEW VERSION.
#pragma once

#include "core/version.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The whole check. False only when a new program version was placed in
// new_version (the exit reason is NEW VERSION then); true in every other case,
// also when the site cannot be reached or its index cannot be read: the run
// goes on with the data files it has.
bool gf_checkForUpdates();

// A data file the run cannot start without is missing after the check (the
// site could not be reached, or did not deliver): says so on the status line
// with what to check, logs the site's address and the reason once (first),
// and waits kSiteRetry_s, counted down; the caller then checks again. False
// when the user closes the window meanwhile.
bool gf_waitForDownloadSite(const std::filesystem::path& missing, bool first);
inline constexpr int kSiteRetry_s = 30;

// Downloads and unpacks the installer of version into
// new_version/install_new_version.exe; true when it is in place.
bool lf_downloadNewVersion(const VersionData& version);
// Downloads the release notes into output (binary).
bool lf_downloadReleaseNotes(const std::filesystem::path& output);
// Opens the file browser at new_version; on failure tells the user in a
// message box and gives false.
bool lf_openExplorerAtNewVersion();

// "{major}.{minor}.{patch}"
std::string gf_versionToString(const VersionData& version);

inline constexpr const char* kInstallerAdminText = "A new version is available. Run the installer as Administrator";
inline constexpr const char* kInstallerNormalText =
    "A new version is available.\nThe installer can be executed normally (no Administrator rights required).";

// What the answer about administrator rights depends on. The system's facts
// come from gf_systemInstallerRightsProbe; tests give their own.
struct InstallerRightsProbe {
    // Folders under which installing needs administrator rights unless the
    // user can write there anyway (Program Files and Program Files (x86)).
    std::vector<std::filesystem::path> protectedRoots;
    std::function<bool(const std::filesystem::path& folder)> canWriteIn;
    std::function<bool()> processElevated;
};
InstallerRightsProbe gf_systemInstallerRightsProbe();

// The text that tells the user whether the installer must run as
// administrator when it installs into folder.
std::string gf_checkInstallerRights(const std::filesystem::path& folder);
std::string gf_checkInstallerRights(const std::filesystem::path& folder, const InstallerRightsProbe& probe);
