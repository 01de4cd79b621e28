// Decryption of the program's encrypted data files (dbase.enc, airports.enc,
// AIG-regcodes.enc) into their plain XML forms.
//
// The stored layout: a 24-byte secretstream header (XChaCha20-Poly1305), then
// chunks of 4096 plain bytes stored as 4113, the last one shorter and tagged
// final. Chunks carry no additional data.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

inline constexpr std::size_t kDataFilePlainChunkBytes = 4096;
inline constexpr std::size_t kDataFileStoredChunkBytes = 4096 + 17;
inline constexpr std::size_t kDataFileHeaderBytes = 24;

// Decrypts input into output with the program's data-file key. True when the
// whole stream, up to its final chunk, was decrypted and written. On any
// failure logs "gf_streamDecrypt exception: <reason>", removes the output
// file and gives false; never throws.
bool gf_streamDecrypt(const std::filesystem::path& input, const std::filesystem::path& output);

// Whether input decrypts whole, up to its final chunk, with the program's
// data-file key; nothing is written. When it does not, whyNot (when given)
// says why. Never throws, logs nothing.
bool gf_streamCheck(const std::filesystem::path& input, std::string* whyNot);
