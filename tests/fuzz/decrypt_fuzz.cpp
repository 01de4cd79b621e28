// libFuzzer target for the decryption of data files.
//
// The first input byte picks what the rest is:
//   0: a stored file as it is (headers, chunk lengths and tags of any shape);
//   1: plain text, encrypted with the program's key, must decrypt to itself;
//   2: plain text, encrypted, then cut short: must fail and leave no output;
//   3: plain text, encrypted, then one bit flipped: must fail, no output.
// Every failure must also leave no output file behind.
#include "core/data_key.h"
#include "core/decrypt.h"
#include "stream_sealer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const fs::path& lf_workDir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("glim_decrypt_fuzz_" + std::to_string(std::random_device{}()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

void lf_write(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string lf_read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::size_t lf_position(const std::string& text, std::size_t bound) {
    // The last two bytes of the plain text choose the position.
    std::size_t value = 0;
    if (text.size() >= 2) value = static_cast<unsigned char>(text[text.size() - 1]) << 8 |
                                  static_cast<unsigned char>(text[text.size() - 2]);
    return bound == 0 ? 0 : value % bound;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const fs::path input = lf_workDir() / "data.enc";
    const fs::path output = lf_workDir() / "data.xml";
    const int mode = data[0] & 3;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);

    std::string stored = rest;
    if (mode != 0) {
        stored = encryptor::encryptBytes(g_dataFileKey, rest);
        if (mode == 2) stored.resize(lf_position(rest, stored.size()));
        if (mode == 3) {
            const std::size_t at = lf_position(rest, stored.size() * 8);
            stored[at / 8] = static_cast<char>(stored[at / 8] ^ (1 << (at % 8)));
        }
    }
    lf_write(input, stored);
    const bool ok = gf_streamDecrypt(input, output);

    if (!ok && fs::exists(output)) std::abort();
    if (mode == 1 && (!ok || lf_read(output) != rest)) std::abort();
    if ((mode == 2 || mode == 3) && ok) std::abort();
    if (ok) {
        // Every stored chunk costs 17 bytes beyond its plain bytes.
        if (stored.size() < kDataFileHeaderBytes + 17) std::abort();
        if (fs::file_size(output) > stored.size() - kDataFileHeaderBytes - 17) std::abort();
    }
    std::error_code ec;
    fs::remove(output, ec);
    return 0;
}
