#include "ui/self_update_zip.h"

#include "core/text_encoding.h"

#include <zip.h>

#include <vector>

ZipReader::ZipReader(const std::filesystem::path& path) {
    // libzip takes UTF-8 names on every platform.
    const std::string name = gf_pathToUtf8(path);
    int error = 0;
    m_archive = zip_open(name.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    m_openError = m_archive ? 0 : error;
}

ZipReader::~ZipReader() {
    if (m_archive) zip_discard(m_archive);
}

std::size_t ZipReader::entryCount() const {
    if (!m_archive) return 0;
    const zip_int64_t count = zip_get_num_entries(m_archive, 0);
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

std::string ZipReader::entryName(std::size_t index) const {
    if (!m_archive) return {};
    const char* name = zip_get_name(m_archive, static_cast<zip_uint64_t>(index), ZIP_FL_ENC_GUESS);
    return name ? std::string(name) : std::string();
}

int ZipReader::readEntry(std::size_t index, const Sink& sink) const {
    if (!m_archive) return ZIP_ER_INVAL;
    zip_file_t* file = zip_fopen_index(m_archive, static_cast<zip_uint64_t>(index), 0);
    if (!file) return zip_error_code_zip(zip_get_error(m_archive));
    std::vector<char> buffer(64 * 1024);
    int result = 0;
    for (;;) {
        const zip_int64_t got = zip_fread(file, buffer.data(), buffer.size());
        if (got < 0) {
            // A damaged entry (bad CRC, cut-off data) shows here.
            result = zip_error_code_zip(zip_file_get_error(file));
            if (result == 0) result = ZIP_ER_READ;
            break;
        }
        if (got == 0) break;
        if (!sink(buffer.data(), static_cast<std::size_t>(got))) {
            result = -1;
            break;
        }
    }
    const int closed = zip_fclose(file);
    return result != 0 ? result : closed;
}
