// Reading the installer archive the update downloads: a read-only zip opened
// through libzip, closed when the reader goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class ZipReader {
public:
    // Opens path read-only; check isOpen() (and openError() for libzip's code).
    explicit ZipReader(const std::filesystem::path& path);
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    bool isOpen() const noexcept { return m_archive != nullptr; }
    int openError() const noexcept { return m_openError; }
    std::size_t entryCount() const;
    std::string entryName(std::size_t index) const;

    // Streams the entry's uncompressed content to sink in pieces; a false
    // from sink stops the read. 0 when the whole entry was read and taken,
    // else libzip's error code (or -1 when sink refused a piece), so that a
    // damaged archive shows as a number in the log.
    using Sink = std::function<bool(const char* data, std::size_t size)>;
    int readEntry(std::size_t index, const Sink& sink) const;

private:
    struct zip* m_archive = nullptr;
    int m_openError = 0;
};
