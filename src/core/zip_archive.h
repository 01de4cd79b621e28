// A zip archive through libzip's C API, owned by one object: read the entries
// of an existing archive, or build a new one from data in memory.
//
// libzip takes added data without copying it and reads it only when the
// archive is closed, so the archive keeps every added buffer itself until
// close() or destruction; a caller can never free bytes that libzip still
// needs.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct zip;

struct ZipEntry {
    std::uint64_t index = 0;
    std::string name;       // as stored, folder part included ("docs/a.txt")
    std::uint64_t size = 0;  // uncompressed bytes
    bool folder = false;     // a name ending in "/"
};

class ZipArchive {
public:
    ZipArchive() = default;
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Opens an existing archive for reading; false (with lastError) when it
    // does not exist or is not a zip archive.
    bool openReadOnly(const std::filesystem::path& path);
    // Starts a new archive at path; an existing file there is replaced when
    // the archive is closed, never appended to.
    bool openNew(const std::filesystem::path& path);
    bool isOpen() const { return archive_ != nullptr; }

    // Every entry in archive order; empty when nothing is open.
    std::vector<ZipEntry> entries() const;
    // The whole uncompressed content of one entry; nothing when it cannot be
    // read or unpacks to more than maxBytes (lastError tells why). A few
    // hundred bytes of deflate can claim gigabytes, so memory is bounded by
    // the cap, never by what the archive says.
    std::optional<std::string> readContent(const ZipEntry& entry, std::uint64_t maxBytes = kMaxInMemoryEntryBytes);
    std::optional<std::string> readContent(const std::string& name, std::uint64_t maxBytes = kMaxInMemoryEntryBytes);
    // Streams one entry into target through a temporary file beside it; the
    // target is replaced only by a complete entry of at most maxBytes. False
    // (lastError tells why) leaves the target as it was.
    bool extractTo(const ZipEntry& entry, const std::filesystem::path& target, std::uint64_t maxBytes);

    static constexpr std::uint64_t kMaxInMemoryEntryBytes = std::uint64_t{64} << 20;

    // Adds (or replaces) an entry from the bytes; the archive keeps them
    // until it is closed. Only for an archive opened with openNew.
    bool addData(const std::string& name, std::string bytes);

    // Writes a new archive (or releases a read-only one). Returns whether
    // libzip reported success; the archive is closed either way. When the
    // write fails no partial archive is left at the path.
    bool close();
    // Closes without writing anything.
    void discard();

    const std::string& lastError() const { return error_; }

private:
    void setError(const char* what);
    // Feeds the entry's bytes to sink chunk by chunk; false on a read error,
    // a refusing sink or more than maxBytes.
    template <typename Sink>
    bool readChunks(const ZipEntry& entry, std::uint64_t maxBytes, Sink&& sink);
    void releaseBuffers();

    zip* archive_ = nullptr;
    bool writable_ = false;
    std::deque<std::string> buffers_;  // stable addresses while more are added
    std::string error_;
};
