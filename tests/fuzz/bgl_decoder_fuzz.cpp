// libFuzzer target: bytes of any shape as a scenery .bgl file through the
// quick section test and the whole decoder (airports, names, helipads,
// parkings). The only error a damaged file may raise is the out-of-range
// error of a structure cut short; the sanitizers watch every read.
#include "airports/bgl_decoder.h"
#include "airports/scan_log.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include <unistd.h>

namespace {

const std::filesystem::path& lf_scratch() {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("glim_bgl_decoder_fuzz_" + std::to_string(getpid()) + ".bgl");
    return path;
}

bool lf_anyFourLetters(const std::string& code) { return code.size() == 4 && code != "ZZZZ"; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(lf_scratch(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    (void)lf_bglHasAirportSection(lf_scratch());
    try {
        lf_decodeBglFile(lf_scratch(), lf_anyFourLetters, [](const BglWords& words, const BglAirportRecord& record) {
            const DecodedAirport decoded = gf_decodeAirportRecord(words, record, "fuzz.bgl");
            if (decoded.airport.code.size() != 4) __builtin_trap();
        });
    } catch (const std::out_of_range&) {
    }
    gf_clearScanLog();
    std::error_code ignored;
    std::filesystem::remove(lf_scratch(), ignored);
    return 0;
}
