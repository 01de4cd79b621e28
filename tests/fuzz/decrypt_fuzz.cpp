// libFuzzer target for the decryption of data files.
//
// The first input byte picks what the rest is (byte % 8):
//   0: a stored file as it is (headers, chunk lengths and tags of any shape);
//   1: plain text, encrypted with the program's key, must decrypt to itself;
//   2: plain text, encrypted, then cut short: must fail and leave no output;
//   3: plain text, encrypted, then one bit flipped: must fail, no output;
//   4: plain text sealed in up to four chunks whose tags the second byte
//      picks: only a stream with a final tag may decrypt;
//   5: a stored file that is not there: must fail;
//   6: a stored file whose output cannot be written (a folder holds the
//      output's name): must fail and leave the folder as it was;
//   7: as 0.
// Every failure must also leave no output file behind. The work folder lives
// as long as the process and is removed at its normal end.
#include "core/data_key.h"
#include "core/decrypt.h"
#include "stream_sealer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct WorkDir {
    fs::path dir;
    WorkDir() {
        dir = fs::temp_directory_path() / ("glim_decrypt_fuzz_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    ~WorkDir() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

const fs::path& lf_workDir() {
    static const WorkDir work;
    return work.dir;
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

// Mode 4: the plain text sealed as up to four chunks, every one but the
// last a full chunk (the layout the reader expects). Each 2-bit field of
// `shape` is one chunk's tag (message, push, rekey, final). The tags decide
// whether the stream is whole: the decryptor must accept it exactly when a
// chunk carries the final tag; chunks after that one are never read.
std::string lf_sealChunks(const std::string& plain, std::uint8_t shape, bool& whole) {
    static const unsigned char kTags[] = {crypto_secretstream_xchacha20poly1305_TAG_MESSAGE,
                                          crypto_secretstream_xchacha20poly1305_TAG_PUSH,
                                          crypto_secretstream_xchacha20poly1305_TAG_REKEY,
                                          crypto_secretstream_xchacha20poly1305_TAG_FINAL};
    encryptor::StreamSealer sealer(g_dataFileKey);
    std::string stored = sealer.header();
    const std::size_t chunks = std::min<std::size_t>(1 + (shape >> 6), 1 + plain.size() / encryptor::kPlainChunkBytes);
    whole = false;
    std::size_t at = 0;
    for (std::size_t i = 0; i < chunks; ++i) {
        const std::size_t n = std::min(plain.size() - at, encryptor::kPlainChunkBytes);
        const unsigned char tag = kTags[(shape >> (2 * i)) & 3];
        stored += sealer.seal(std::string_view(plain).substr(at, n), tag);
        at += n;
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
            whole = true;
            break;
        }
    }
    return stored;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const fs::path input = lf_workDir() / "data.enc";
    const fs::path output = lf_workDir() / "data.xml";
    const int mode = data[0] & 7;
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);

    std::string stored = rest;
    bool whole = false;
    if (mode >= 1 && mode <= 3) {
        stored = encryptor::encryptBytes(g_dataFileKey, rest);
        if (mode == 2) stored.resize(lf_position(rest, stored.size()));
        if (mode == 3) {
            const std::size_t at = lf_position(rest, stored.size() * 8);
            stored[at / 8] = static_cast<char>(stored[at / 8] ^ (1 << (at % 8)));
        }
    } else if (mode == 4) {
        if (rest.empty()) return 0;
        const auto shape = static_cast<std::uint8_t>(rest[0]);
        stored = lf_sealChunks(rest.substr(1), shape, whole);
    }
    std::error_code ec;
    if (mode == 5) {
        fs::remove(input, ec);
    } else {
        lf_write(input, stored);
    }
    if (mode == 6) {
        fs::create_directories(output / "kept", ec);
    }
    const bool ok = gf_streamDecrypt(input, output);

    if (mode == 6) {
        if (ok || !fs::is_directory(output / "kept")) std::abort();
        fs::remove_all(output, ec);
        return 0;
    }
    if (!ok && fs::exists(output)) std::abort();
    if (mode == 1 && (!ok || lf_read(output) != rest)) std::abort();
    if ((mode == 2 || mode == 3 || mode == 5) && ok) std::abort();
    if (mode == 4 && ok != whole) std::abort();
    if (ok) {
        // Every stored chunk costs 17 bytes beyond its plain bytes.
        if (stored.size() < kDataFileHeaderBytes + 17) std::abort();
        if (fs::file_size(output) > stored.size() - kDataFileHeaderBytes - 17) std::abort();
    }
    fs::remove(output, ec);
    return 0;
}
