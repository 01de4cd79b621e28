#include "core/zip_archive.h"

#include "core/files.h"
#include "core/text_encoding.h"

#include <zip.h>

#include <ostream>
#include <vector>

namespace {

// Reading grows the content by chunks instead of trusting the stored size, so
// a damaged directory that claims terabytes cannot make us allocate them.
constexpr std::size_t kReadChunkBytes = 64 * 1024;

std::string lf_pathText(const std::filesystem::path& path) {
    // libzip takes UTF-8 file names on Windows as well.
    try {
        return gf_pathToUtf8(path);
    } catch (const std::exception&) {
        return path.string();
    }
}

std::string lf_openErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

}  // namespace

ZipArchive::~ZipArchive() { discard(); }

void ZipArchive::setError(const char* what) {
    error_ = what;
    if (archive_ != nullptr) {
        error_ += ": ";
        error_ += zip_strerror(archive_);
    }
}

void ZipArchive::releaseBuffers() {
    buffers_.clear();
    writable_ = false;
}

bool ZipArchive::openReadOnly(const std::filesystem::path& path) {
    discard();
    int code = 0;
    archive_ = zip_open(lf_pathText(path).c_str(), ZIP_RDONLY, &code);
    if (archive_ == nullptr) {
        error_ = "open " + lf_pathText(path) + ": " + lf_openErrorText(code);
        return false;
    }
    writable_ = false;
    error_.clear();
    return true;
}

bool ZipArchive::openNew(const std::filesystem::path& path) {
    discard();
    int code = 0;
    archive_ = zip_open(lf_pathText(path).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (archive_ == nullptr) {
        error_ = "open " + lf_pathText(path) + ": " + lf_openErrorText(code);
        return false;
    }
    writable_ = true;
    error_.clear();
    return true;
}

std::vector<ZipEntry> ZipArchive::entries() const {
    std::vector<ZipEntry> result;
    if (archive_ == nullptr) return result;
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    if (count <= 0) return result;
    result.reserve(static_cast<std::size_t>(count));
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive_, static_cast<zip_uint64_t>(i), 0, &stat) != 0) continue;
        if ((stat.valid & ZIP_STAT_NAME) == 0 || stat.name == nullptr) continue;
        ZipEntry entry;
        entry.index = static_cast<std::uint64_t>(i);
        entry.name = stat.name;
        entry.size = (stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0;
        entry.folder = !entry.name.empty() && entry.name.back() == '/';
        result.push_back(std::move(entry));
    }
    return result;
}

template <typename Sink>
bool ZipArchive::readChunks(const ZipEntry& entry, std::uint64_t maxBytes, Sink&& sink) {
    if (archive_ == nullptr) {
        error_ = "readContent: no archive open";
        return false;
    }
    const std::string tooLarge = "readContent: " + entry.name + " unpacks to more than " + std::to_string(maxBytes) + " bytes";
    if (entry.size > maxBytes) {
        error_ = tooLarge;
        return false;
    }
    zip_file_t* file = zip_fopen_index(archive_, entry.index, 0);
    if (file == nullptr) {
        setError("readContent");
        return false;
    }
    std::vector<char> chunk(kReadChunkBytes);
    std::uint64_t total = 0;
    bool ok = true;
    for (;;) {
        const zip_int64_t got = zip_fread(file, chunk.data(), chunk.size());
        if (got < 0) {
            error_ = std::string("readContent: ") + zip_file_strerror(file);
            ok = false;
            break;
        }
        if (got == 0) break;
        // The stored size may lie: the bytes themselves are counted.
        total += static_cast<std::uint64_t>(got);
        if (total > maxBytes) {
            error_ = tooLarge;
            ok = false;
            break;
        }
        if (!sink(chunk.data(), static_cast<std::size_t>(got))) {
            error_ = "readContent: " + entry.name + ": write failed";
            ok = false;
            break;
        }
    }
    zip_fclose(file);
    return ok;
}

std::optional<std::string> ZipArchive::readContent(const ZipEntry& entry, std::uint64_t maxBytes) {
    std::string content;
    const bool ok = readChunks(entry, maxBytes, [&](const char* data, std::size_t size) {
        content.append(data, size);
        return true;
    });
    if (!ok) return std::nullopt;
    return content;
}

bool ZipArchive::extractTo(const ZipEntry& entry, const std::filesystem::path& target, std::uint64_t maxBytes) {
    bool read = false;
    const bool written = gf_writeFileReplacing(target, [&](std::ostream& out) {
        read = readChunks(entry, maxBytes, [&](const char* data, std::size_t size) {
            out.write(data, static_cast<std::streamsize>(size));
            return out.good();
        });
        // A refused entry must not become a file.
        if (!read) out.setstate(std::ios::failbit);
    });
    if (read && !written) error_ = "extractTo " + lf_pathText(target) + ": write failed";
    return read && written;
}

std::optional<std::string> ZipArchive::readContent(const std::string& name, std::uint64_t maxBytes) {
    if (archive_ == nullptr) {
        error_ = "readContent: no archive open";
        return std::nullopt;
    }
    const zip_int64_t index = zip_name_locate(archive_, name.c_str(), 0);
    if (index < 0) {
        error_ = "readContent: no entry " + name;
        return std::nullopt;
    }
    ZipEntry entry;
    entry.index = static_cast<std::uint64_t>(index);
    entry.name = name;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_, entry.index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) != 0) entry.size = stat.size;
    return readContent(entry, maxBytes);
}

bool ZipArchive::addData(const std::string& name, std::string bytes) {
    if (archive_ == nullptr || !writable_) {
        error_ = "addData: no archive open for writing";
        return false;
    }
    buffers_.push_back(std::move(bytes));
    const std::string& kept = buffers_.back();
    zip_source_t* source = zip_source_buffer(archive_, kept.data(), kept.size(), 0);
    if (source == nullptr) {
        setError("addData");
        buffers_.pop_back();
        return false;
    }
    if (zip_file_add(archive_, name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
        // The source was not taken over by the archive.
        zip_source_free(source);
        setError("addData");
        return false;
    }
    return true;
}

bool ZipArchive::close() {
    if (archive_ == nullptr) return false;
    const bool ok = zip_close(archive_) == 0;
    if (!ok) {
        setError("close");
        // The archive stays allocated after a failed close; nothing is
        // written then.
        zip_discard(archive_);
    }
    archive_ = nullptr;
    releaseBuffers();
    return ok;
}

void ZipArchive::discard() {
    if (archive_ != nullptr) zip_discard(archive_);
    archive_ = nullptr;
    releaseBuffers();
}
