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

// When no zip could be made, copies in tblo are all the user has to send.
void lf_copyToTblo(const fs::path& source) {
    const fs::path target = gf_workPaths().tblo / source.filename();
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        gf_logHighlight(fmt::format("'{}' failed to copy '{}': {}", gf_scanPathUtf8(source), gf_scanPathUtf8(target),
                                    ec.message()));
        return;
    }
    gf_logLineFlushed(fmt::format("{} copied to {}", gf_scanPathUtf8(source.stem()), gf_scanPathUtf8(target)));
}

// A stand file whose link file says the archive has the airport too leaves
// my_thirdparty once it was collected.
void lf_removeLinked(const fs::path& source) {
    fs::path link = source;
    link.replace_extension(".txt");
    std::error_code ec;
    const bool linked = fs::exists(link, ec);
    if (ec) {
        gf_logHighlight(fmt::format("exists({}) failed: {}", gf_scanPathUtf8(link), ec.message()));
        return;
    }
    if (linked && !fs::remove(source, ec) && ec) {
        gf_logHighlight(fmt::format("remove({}) failed: {}", gf_scanPathUtf8(source), ec.message()));
    }
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

bool lf_zipFiles(const fs::path& target, const std::vector<fs::path>& files) {
    std::error_code ec;
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    const fs::path absoluteTarget = fs::absolute(target);
    gf_logLineFlushed(fmt::format("[zip] Target file: {}", gf_scanPathUtf8(absoluteTarget)));
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
    for (const fs::path& file : files) {
        auto bytes = lf_readFileBytes(file);
        if (!bytes) {
            gf_logLineFlushed(fmt::format("[zip] READ FAIL: {}", gf_scanPathUtf8(file)));
            continue;
        }
        // Entries carry the file's own name only: the zip is mailed, and the
        // folders above are the user's.
        const std::string name = gf_scanPathUtf8(file.filename());
        gf_logLineFlushed(fmt::format("[zip] Adding (data) {} -> {} ({} bytes)", gf_scanPathUtf8(file), name,
                                      bytes->size()));
        // The archive keeps the bytes until it is closed.
        if (!archive.addData(name, std::move(*bytes))) {
            gf_logLineFlushed(fmt::format("[zip] ERROR addData({})", name));
            continue;
        }
        ++added;
    }
    return lf_closeZip(archive, absoluteTarget, added);
}

bool lf_zipFolder(const fs::path& target) {
    const fs::path source = gf_workPaths().tblo;
    if (!fs::is_directory(fs::status(source))) {
        gf_logLineFlushed(fmt::format("[zip] Not a directory: {}", gf_scanPathUtf8(source)));
        return false;
    }
    gf_logLineFlushed(fmt::format("[zip] Source dir : {}", gf_scanPathUtf8(fs::absolute(source))));
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(source)) {
        std::error_code statusError;
        const fs::file_status status = entry.status(statusError);
        if (statusError) throw fs::filesystem_error("directory_entry::status", entry.path(), statusError);
        if (fs::is_regular_file(status) && entry.path().filename() != target.filename()) files.push_back(entry.path());
    }
    return lf_zipFiles(target, files);
}

void lf_collectTblo(const std::vector<std::string>& stems, const KnownAirportCheck& isKnown,
                    const std::function<void()>& zipped) {
    const WorkPaths& paths = gf_workPaths();
    // Only the generated stand files of database airports go in; they are
    // zipped where they lie, without copies.
    std::vector<fs::path> sources;
    for (const std::string& stem : stems) {
        if (!isKnown || !isKnown(stem)) continue;
        const fs::path source = paths.myThirdparty / (stem + ".xml");
        std::error_code ec;
        if (fs::is_regular_file(source, ec)) sources.push_back(source);
    }
    if (sources.empty()) {
        g_tbloFileCount = 0;
        gf_logLineFlushed("All your third party airports are recognised, no off line learning needed.");
        return;
    }
    const fs::path zip = paths.tbloZip;
    if (!lf_zipFiles(zip, sources)) {
        gf_logHighlight("Zippen TBLO folder failed");
        for (const fs::path& source : sources) lf_copyToTblo(source);
    }
    for (const fs::path& source : sources) lf_removeLinked(source);
    g_tbloFileCount = static_cast<std::int64_t>(sources.size());
    if (zipped) zipped();
    gf_logLineFlushed(fmt::format("\n! Mail {} to {}\n", gf_scanPathUtf8(zip), kTbloMailAddress));
}
