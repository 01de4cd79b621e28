// Downloads over HTTP(S) with libcurl's easy interface: one routine that
// writes a URL's body into a file, and the download of a file from the
// maker's site in the folder of the program's major version.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Used when GLIM_SITE_BASE_URL is not set.
inline constexpr std::string_view kDefaultSiteBaseUrl = "https://www.varndolin.com/downloads/";

// The base address of the download site: GLIM_SITE_BASE_URL when set and not
// empty (tests and the demo point it at a stand-in), else the maker's site.
// Always ends in "/".
std::string gf_siteBaseUrl();

// Limits every transfer keeps, so that a dead or stalled server cannot hold
// the start-up reading for ever.
struct DownloadLimits {
    long connectTimeout_s = 20;
    long lowSpeedLimit_bytesPerS = 100;  // slower than this ...
    long lowSpeedTime_s = 30;            // ... for this long aborts the transfer
    // No file of the maker's site comes near this: a larger body is a server
    // gone wrong and must not fill the disk.
    std::uint64_t maxBody_bytes = std::uint64_t{512} * 1024 * 1024;
    // No file may take longer than this, whatever its own limit allows.
    long maxTime_s = 3600;
};
DownloadLimits gf_downloadLimits();
// Tests lower the limits so that a stalled transfer fails quickly.
void gf_setDownloadLimits(const DownloadLimits& limits);
void gf_resetDownloadLimits();

// What one file may cost. Its size cap holds while it comes, whatever length
// the server announces. Its time: baseTime_s, plus one second for every
// timeRate_bytesPerS bytes that arrived (0: baseTime_s alone), and never
// more than its whole cap would take at that pace. So a large file on a slow
// but working line still arrives, while a site that trickles or stalls
// cannot hold the start-up: it gets little more than baseTime_s.
struct DownloadCaps {
    std::uint64_t maxBody_bytes;
    long baseTime_s;
    std::uint64_t timeRate_bytesPerS;
};
// Files of no stricter kind: stand files, the installer, the release notes.
inline constexpr DownloadCaps kDefaultDownloadCaps{std::uint64_t{512} * 1024 * 1024, 60, 32 * 1024};

// Why a download failed, for the caller's message to the user and its next
// step: a site that ran out of time for one file is slow for the next too.
struct DownloadFailure {
    std::string reason;
    bool outOfTime = false;
    // The server's answer when the failure was its status (404: it has no
    // such file), else 0.
    long httpStatus = 0;
};

// Downloads url into output through the caller's handle; the options it sets
// stay set on the handle. The body goes to a temporary file of its own beside
// output ("<output>.<token>.<n>.part"), which replaces output only when the
// whole body of a 200 answer arrived, so a failed download leaves an existing
// output untouched. binary opens the file in binary mode, else in text mode
// (line ends converted where the platform does that). Any other status (a
// redirect too), a time-out, a cut-off body, a body over the size limit, a
// raised stop flag or a newer download of the same output fail: a download
// into an output ends the one still running into it and waits for it first.
// Never throws; every failure is logged and gives false. The form with caps
// limits the file's size and time as DownloadCaps says (the other form uses
// kDefaultDownloadCaps) and, when failure is given, fills it on a failure.
bool gf_downloadFile(CURL* handle, const std::string& url, const std::filesystem::path& output, bool binary);
bool gf_downloadFile(CURL* handle, const std::string& url, const std::filesystem::path& output, bool binary,
                     const DownloadCaps& caps, DownloadFailure* failure);
// Ends a download still running into output and waits until it has left (at
// most a minute), so that nothing writes output afterwards.
void gf_endDownloadsInto(const std::filesystem::path& output);

// Downloads "<site base><major version>/<fileName>" into output in binary
// mode with a handle of its own; fileName may begin with a subfolder. Logs
// "Downloaded '<url>' to '<output>'" or, highlighted,
// "Downloading '<url>' failed !".
bool gf_downloadFromSite(std::string_view fileName, const std::filesystem::path& output);
bool gf_downloadFromSite(std::string_view fileName, const std::filesystem::path& output, const DownloadCaps& caps,
                         DownloadFailure* failure);
