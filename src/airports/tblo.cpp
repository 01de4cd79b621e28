#include "airports/tblo.h"

#include "airports/scan_log.h"

#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/text_encoding.h"
#include "core/zip_archive.h"

#include <fmt/format.h>

#include <fstream>
#include <limits>

namespace fs = std::filesystem;

std::atomic<std::int64_t> g_tbloFileCount{0};

namespace {

// Step 1 for one stem: copy the stand file into tblo; the original goes when
// a link file says the archive has the airport too.
void lf_collectOne(const std::string& stem) {
    const WorkPaths& paths = gf_workPaths();
    const fs::path source = paths.myThirdparty / (stem + ".xml");
    const fs::path target = paths.tblo / (stem + ".xml");
    std::error_code ec;
    fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        gf_logHighlight(fmt::format("'{}' failed to copy '{}': {}", gf_scanPathUtf8(source), gf_scanPathUtf8(target), ec.message()));
        return;
    }
    gf_logLineFlushed(fmt::format("{} copied to {}", stem, gf_scanPathUtf8(target)));
    const fs::path link = paths.myThirdparty / (stem + ".txt");
    const bool linked = fs::exists(link, ec);
    if (ec) {
        gf_logHighlight(fmt::format("exists({}) failed: {}", gf_scanPathUtf8(link), ec.message()));
        return;
    }
    if (linked && !fs::remove(source, ec) && ec) {
        gf_logHighlight(fmt::format("remove({}) failed: {}", gf_scanPathUtf8(source), ec.message()));
    }
}

// Only regular files go into the zip, so only they count: a stray folder in
// tblo must not announce a collection that the zip does not hold.
std::int64_t lf_countRegularFiles(const fs::path& folder) {
    if (!fs::exists(folder)) return 0;
    std::int64_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) ++count;
    }
    return count;
}

bool lf_closeZip(ZipArchive& archive, const fs::path& target, std::size_t added) {
    const bool closed = archive.close();
    std::error_code ec;
    const bool exists = fs::exists(target, ec);
    std::uintmax_t size = 0;
    if (exists) {
        size = fs::file_size(target, ec);
        if (ec) size = std::numeric_limits<std::uintmax_t>::max();
    }
    gf_logLineFlushed(fmt::format("[zip] Added {} files, ok_close={}, exists={}, size={} bytes", added, closed, exists,
                              size));
    return closed && added > 0 && exists && size != 0 && size != std::numeric_limits<std::uintmax_t>::max();
}

}  // namespace

std::optional<std::string> lf_readFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size < 0) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), size)) return std::nullopt;
    return bytes;
}

bool lf_zipFolder(const fs::path& target) {
    const fs::path source = gf_workPaths().tblo;
    if (!fs::is_directory(fs::status(source))) {
        gf_logLineFlushed(fmt::format("[zip] Not a directory: {}", gf_scanPathUtf8(source)));
        return false;
    }
    std::error_code ec;
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    const fs::path absoluteTarget = fs::absolute(target);
    const fs::path absoluteSource = fs::absolute(source);
    gf_logLineFlushed(fmt::format("[zip] Target file: {}", gf_scanPathUtf8(absoluteTarget)));
    gf_logLineFlushed(fmt::format("[zip] Source dir : {}", gf_scanPathUtf8(absoluteSource)));
    if (fs::exists(absoluteTarget)) {
        gf_logLineFlushed(fmt::format("[zip] Removing old zip {}", gf_scanPathUtf8(absoluteTarget)));
        fs::remove(absoluteTarget);
    }
    ZipArchive archive;
    if (!archive.openNew(absoluteTarget)) {
        gf_logLineFlushed("[zip] Could not open archive for writing");
        return false;
    }
    std::size_t added = 0;
    for (const auto& entry : fs::directory_iterator(absoluteSource)) {
        std::error_code statusError;
        const fs::file_status status = entry.status(statusError);
        if (statusError) throw fs::filesystem_error("directory_entry::status", entry.path(), statusError);
        if (!fs::is_regular_file(status)) continue;
        auto bytes = lf_readFileBytes(entry.path());
        if (!bytes) {
            gf_logLineFlushed(fmt::format("[zip] READ FAIL: {}", gf_scanPathUtf8(entry.path())));
            continue;
        }
        const std::string name = gf_scanPathUtf8(entry.path().filename());
        gf_logLineFlushed(fmt::format("[zip] Adding (data) {} -> {} ({} bytes)", gf_scanPathUtf8(entry.path()), name, bytes->size()));
        // The archive keeps the bytes until it is closed.
        if (!archive.addData(name, std::move(*bytes))) {
            gf_logLineFlushed(fmt::format("[zip] ERROR addData({})", name));
            continue;
        }
        ++added;
    }
    return lf_closeZip(archive, absoluteTarget, added);
}

void lf_collectTblo(const std::vector<std::string>& stems, const KnownAirportCheck& isKnown,
                    const std::function<void()>& zipped) {
    const WorkPaths& paths = gf_workPaths();
    for (const std::string& stem : stems) {
        if (isKnown && isKnown(stem)) lf_collectOne(stem);
    }
    const std::int64_t n = lf_countRegularFiles(paths.tblo);
    if (n == 0) {
        g_tbloFileCount = 0;
        gf_logLineFlushed("All your third party airports are recognised, no off line learning needed.");
        return;
    }
    const fs::path zip = paths.tblo / paths.tbloZip;
    if (lf_zipFolder(zip)) {
        gf_removeXMLFilesFromDirectory();
    } else {
        // The copies stay: they are all the user has to send when the zip
        // could not be made.
        gf_logHighlight("Zippen TBLO folder failed");
    }
    g_tbloFileCount = n;
    if (zipped) zipped();
    gf_logLineFlushed(fmt::format("\n! Mail {} to {}\n", gf_scanPathUtf8(zip), kTbloMailAddress));
}
