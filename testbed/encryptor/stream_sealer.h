// Writes files in the program's encrypted data-file layout: a 24-byte
// secretstream header (XChaCha20-Poly1305), then chunks of 4096 plain bytes
// stored as 4113, the last one (shorter, or empty for an empty input) tagged
// final. No additional data.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

#include <sodium.h>

namespace encryptor {

using Key = std::array<unsigned char, crypto_secretstream_xchacha20poly1305_KEYBYTES>;

inline constexpr std::size_t kPlainChunkBytes = 4096;

// One push stream: its header, then each chunk sealed in order. Tests use it
// directly to build layouts the encryptor itself never writes.
class StreamSealer {
public:
    // Throws std::runtime_error when libsodium cannot be initialised.
    explicit StreamSealer(const Key& key);

    std::string header() const;
    // plain.size() + 17 bytes.
    std::string seal(std::string_view plain, unsigned char tag);

private:
    crypto_secretstream_xchacha20poly1305_state m_state{};
    std::array<unsigned char, crypto_secretstream_xchacha20poly1305_HEADERBYTES> m_header{};
};

// The whole layout of plain in memory.
std::string encryptBytes(const Key& key, std::string_view plain);

// Streams input into output in the same layout. False with a reason in error;
// a failed output is removed.
bool encryptFile(const Key& key, const std::filesystem::path& input, const std::filesystem::path& output,
                 std::string& error);

}  // namespace encryptor
