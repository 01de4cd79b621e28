// decrypt_bench [MiB] [rounds] [files per round]: a data file of a few MiB in the program's
// encrypted layout, decrypted by the program (file to file, as at start-up)
// and by a bare libsodium secretstream loop over the same file with the same
// buffer sizes, the two in alternation (see interleaved.h). Prints MB/s of
// both; the program should be close to the bare loop, its extra work being
// the checks and the log.
#include "support/window_stand_in.h"
#include "core/data_key.h"
#include "core/decrypt.h"
#include "interleaved.h"
#include "stream_sealer.h"

#include <sodium.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The minimal decryption: header, then pull chunk by chunk until the final
// tag, writing each plain chunk.
bool lf_bareDecrypt(const fs::path& input, const fs::path& output) {
    std::FILE* in = std::fopen(input.string().c_str(), "rb");
    std::FILE* out = std::fopen(output.string().c_str(), "wb");
    bool ok = in && out;
    crypto_secretstream_xchacha20poly1305_state state;
    unsigned char header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
    ok = ok && std::fread(header, 1, sizeof header, in) == sizeof header &&
         crypto_secretstream_xchacha20poly1305_init_pull(&state, header, g_dataFileKey.data()) == 0;
    std::vector<unsigned char> stored(kDataFileStoredChunkBytes), plain(kDataFilePlainChunkBytes);
    unsigned char tag = 0;
    while (ok && tag != crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
        const std::size_t n = std::fread(stored.data(), 1, stored.size(), in);
        unsigned long long plainSize = 0;
        ok = n > 0 && crypto_secretstream_xchacha20poly1305_pull(&state, plain.data(), &plainSize, &tag, stored.data(),
                                                                  n, nullptr, 0) == 0;
        ok = ok && std::fwrite(plain.data(), 1, plainSize, out) == plainSize;
    }
    if (in) std::fclose(in);
    if (out) ok = std::fclose(out) == 0 && ok;
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    WindowStandIn::installed();
    const int mib = argc > 1 ? std::atoi(argv[1]) : 8;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 21;
    const int repeats = argc > 3 ? std::atoi(argv[3]) : 3;
    if (sodium_init() < 0) return 1;
    const fs::path folder = fs::temp_directory_path() / "glim_decrypt_bench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    // XML-like text: the data files are XML, and their size is what counts.
    std::string plain;
    std::mt19937 random(7);
    while (plain.size() < static_cast<std::size_t>(mib) << 20) {
        plain += "<reg id=\"D-A" + std::to_string(random() % 100000) + "\" airl=\"DLH\" type=\"A320\"/>\n";
    }
    std::ofstream(folder / "plain.xml", std::ios::binary) << plain;
    std::string error;
    encryptor::Key key;
    std::copy(g_dataFileKey.begin(), g_dataFileKey.end(), key.begin());
    if (!encryptor::encryptFile(key, folder / "plain.xml", folder / "data.enc", error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double mb = static_cast<double>(plain.size()) / (1024.0 * 1024.0);
    // Once each first, so both read a file in the page cache.
    lf_bareDecrypt(folder / "data.enc", folder / "bare.xml");
    gf_streamDecrypt(folder / "data.enc", folder / "program.xml");
    auto times = [&](auto&& decrypt) {
        return [&, decrypt] {
            bool ok = true;
            for (int r = 0; r < repeats && ok; ++r) ok = decrypt();
            return ok;
        };
    };
    const InterleavedTimes t = gf_timeInterleaved(
        rounds, times([&] { return gf_streamDecrypt(folder / "data.enc", folder / "program.xml"); }),
        times([&] { return lf_bareDecrypt(folder / "data.enc", folder / "bare.xml"); }));
    if (t.program_s.size() != static_cast<std::size_t>(rounds)) {
        std::fprintf(stderr, "decryption failed\n");
        return 1;
    }
    const double bare_s = gf_median(t.reference_s) / repeats, program_s = gf_median(t.program_s) / repeats;
    const RatioSpread ratio = gf_ratioSpread(t);
    const bool same = fs::file_size(folder / "bare.xml") == plain.size() &&
                      fs::file_size(folder / "program.xml") == plain.size();
    std::printf("decryption: %.1f MB, %d rounds of %d files (program and bare loop in alternation), outputs %s\n",
                mb, rounds, repeats, same ? "complete" : "WRONG SIZE");
    std::printf("bare libsodium loop: %8.1f MB/s (median of the rounds)\n", mb / bare_s);
    std::printf("gf_streamDecrypt:    %8.1f MB/s (%.2fx the bare loop's time, rounds %.2f..%.2f)\n", mb / program_s,
                ratio.median, ratio.low, ratio.high);
    std::printf("RESULT decrypt_sodium_MBps %.1f MB/s\n", mb / bare_s);
    std::printf("RESULT decrypt_program_MBps %.1f MB/s\n", mb / program_s);
    gf_printRatioLine("decrypt_program_MBps", "decrypt_sodium_MBps", t);
    fs::remove_all(folder);
    return same ? 0 : 1;
}
