// libFuzzer target: bytes of any shape as a zip archive (the program's update
// and the learned-file archive), through the reader: the entry list, every
// entry read into memory and streamed to disk under a cap. Nothing may be
// read past the cap, and a refused entry must leave no file behind.
#include "core/files.h"
#include "core/zip_archive.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kCap_bytes = 1u << 20;

struct FuzzFolder {
    fs::path dir;
    FuzzFolder() {
        dir = fs::temp_directory_path() / ("glim_zip_reader_fuzz_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    ~FuzzFolder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const FuzzFolder folder;
    const fs::path zipFile = folder.dir / "in.zip";
    const fs::path target = folder.dir / "entry.out";
    {
        std::ofstream out(zipFile, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    {
        ZipArchive zip;
        if (zip.openReadOnly(zipFile)) {
            int read = 0;
            for (const ZipEntry& entry : zip.entries()) {
                if (++read > 16) break;
                const auto content = zip.readContent(entry, kCap_bytes);
                if (content && content->size() > kCap_bytes) std::abort();
                std::error_code ec;
                if (zip.extractTo(entry, target, kCap_bytes)) {
                    if (fs::file_size(target, ec) > kCap_bytes) std::abort();
                } else if (fs::exists(target, ec) || fs::exists(gf_tempPathFor(target), ec)) {
                    std::abort();
                }
                fs::remove(target, ec);
            }
        }
    }
    std::error_code ec;
    fs::remove(zipFile, ec);
    return 0;
}
