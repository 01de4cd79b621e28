#include "stream_sealer.h"

#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace encryptor {

StreamSealer::StreamSealer(const Key& key) {
    if (sodium_init() < 0) throw std::runtime_error("sodium_init failed");
    crypto_secretstream_xchacha20poly1305_init_push(&m_state, m_header.data(), key.data());
}

std::string StreamSealer::header() const {
    return std::string(reinterpret_cast<const char*>(m_header.data()), m_header.size());
}

std::string StreamSealer::seal(std::string_view plain, unsigned char tag) {
    std::string sealed(plain.size() + crypto_secretstream_xchacha20poly1305_ABYTES, '\0');
    unsigned long long sealedBytes = 0;
    crypto_secretstream_xchacha20poly1305_push(&m_state, reinterpret_cast<unsigned char*>(sealed.data()), &sealedBytes,
                                               reinterpret_cast<const unsigned char*>(plain.data()), plain.size(),
                                               nullptr, 0, tag);
    sealed.resize(static_cast<std::size_t>(sealedBytes));
    return sealed;
}

std::string encryptBytes(const Key& key, std::string_view plain) {
    StreamSealer sealer(key);
    std::string result = sealer.header();
    std::size_t offset = 0;
    do {
        const std::string_view chunk = plain.substr(offset, kPlainChunkBytes);
        offset += chunk.size();
        const bool last = offset >= plain.size();
        result += sealer.seal(chunk, last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                          : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
    } while (offset < plain.size());
    return result;
}

namespace {

std::string lf_readChunk(std::ifstream& in) {
    std::string chunk(kPlainChunkBytes, '\0');
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    chunk.resize(static_cast<std::size_t>(in.gcount()));
    return chunk;
}

bool lf_fail(const fs::path& output, std::string& error, std::string reason) {
    error = std::move(reason);
    std::error_code ec;
    fs::remove(output, ec);
    return false;
}

}  // namespace

bool encryptFile(const Key& key, const fs::path& input, const fs::path& output, std::string& error) {
    std::ifstream in(input, std::ios::binary);
    if (!in) {
        error = "cannot open input " + input.string();
        return false;
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot open output " + output.string();
        return false;
    }
    StreamSealer sealer(key);
    const std::string header = sealer.header();
    out.write(header.data(), static_cast<std::streamsize>(header.size()));

    // One chunk of look-ahead: the final tag goes on the last chunk that has
    // data, and only an empty input gets an empty final chunk.
    std::string current = lf_readChunk(in);
    for (;;) {
        std::string next = current.size() == kPlainChunkBytes ? lf_readChunk(in) : std::string();
        const bool last = next.empty();
        const std::string sealed = sealer.seal(current, last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                                             : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        out.write(sealed.data(), static_cast<std::streamsize>(sealed.size()));
        if (!out) {
            out.close();
            return lf_fail(output, error, "cannot write output " + output.string());
        }
        if (last) break;
        current = std::move(next);
    }
    if (in.bad()) {
        out.close();
        return lf_fail(output, error, "cannot read input " + input.string());
    }
    out.close();
    if (out.fail()) return lf_fail(output, error, "cannot write output " + output.string());
    return true;
}

}  // namespace encryptor
