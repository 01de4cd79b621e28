#include "core/decrypt.h"

#include "core/data_key.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text_encoding.h"

#include <fmt/format.h>
#include <sodium.h>

#include <array>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

using DataKey = std::array<unsigned char, kDataFileKeyBytes>;

static_assert(kDataFileKeyBytes == crypto_secretstream_xchacha20poly1305_KEYBYTES);
static_assert(kDataFileHeaderBytes == crypto_secretstream_xchacha20poly1305_HEADERBYTES);
static_assert(kDataFileStoredChunkBytes ==
              kDataFilePlainChunkBytes + crypto_secretstream_xchacha20poly1305_ABYTES);

// libsodium must be initialised before its first use; a failed
// initialisation (no usable random source) must not go unnoticed, and the
// call is made once however many threads decrypt.
void lf_requireSodium() {
    static const bool ready = sodium_init() >= 0;
    if (!ready) throw std::runtime_error("sodium_init failed");
}

std::size_t lf_readUpTo(std::ifstream& in, unsigned char* buffer, std::size_t count) {
    in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(in.gcount());
}

// Decrypts input into out; without out the plain bytes are only checked.
// output names out in error texts.
void lf_decryptStream(const DataKey& key, const fs::path& input, std::ostream* out, const fs::path& output) {
    lf_requireSodium();

    std::ifstream in(input, std::ios::binary);
    if (!in) throw std::runtime_error("Could not open input file: " + gf_pathToUtf8(input));

    // A file shorter than the header is not a data file: treating it as an
    // empty success would hand the reader an empty plain file.
    std::array<unsigned char, crypto_secretstream_xchacha20poly1305_HEADERBYTES> header{};
    if (lf_readUpTo(in, header.data(), header.size()) != header.size()) {
        throw std::runtime_error("Input file is shorter than the stream header");
    }
    crypto_secretstream_xchacha20poly1305_state state;
    if (crypto_secretstream_xchacha20poly1305_init_pull(&state, header.data(), key.data()) != 0) {
        throw std::runtime_error("Invalid header or key");
    }

    std::vector<unsigned char> stored(kDataFileStoredChunkBytes);
    std::vector<unsigned char> plain(kDataFilePlainChunkBytes);
    bool finalSeen = false;
    std::size_t n = lf_readUpTo(in, stored.data(), stored.size());
    while (n > 0) {
        unsigned long long plainBytes = 0;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&state, plain.data(), &plainBytes, &tag, stored.data(), n,
                                                        nullptr, 0) != 0) {
            throw std::runtime_error("Decryption failed");
        }
        if (out) out->write(reinterpret_cast<const char*>(plain.data()), static_cast<std::streamsize>(plainBytes));
        if (out && !*out) throw std::runtime_error("Could not write output file: " + gf_pathToUtf8(output));
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
            finalSeen = true;
            break;
        }
        n = lf_readUpTo(in, stored.data(), stored.size());
    }
    // Chunks that authenticate are not enough: a file cut at a chunk boundary
    // authenticates up to the cut, and only the final tag proves it whole.
    if (!finalSeen) throw std::runtime_error("Stream ends before its final chunk");
}

void lf_decryptFile(const DataKey& key, const fs::path& input, const fs::path& output) {
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("Could not open output file: " + gf_pathToUtf8(output));
    lf_decryptStream(key, input, &out, output);
    out.close();
    if (out.fail()) throw std::runtime_error("Could not write output file: " + gf_pathToUtf8(output));
}

}  // namespace

bool gf_streamDecrypt(const fs::path& input, const fs::path& output) {
    try {
        const DataKey key = g_dataFileKey;
        lf_decryptFile(key, input, output);
        return true;
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("{} exception: {}", "gf_streamDecrypt", e.what()));
    }
    try {
        gf_removeFileWarn(output);
    } catch (const std::exception&) {
        // Only the warning's text could fail here; the result stands.
    }
    return false;
}

bool gf_streamCheck(const fs::path& input, std::string* whyNot) {
    try {
        const DataKey key = g_dataFileKey;
        lf_decryptStream(key, input, nullptr, {});
        return true;
    } catch (const std::exception& e) {
        if (whyNot) *whyNot = e.what();
    }
    return false;
}
