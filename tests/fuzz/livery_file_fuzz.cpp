// libFuzzer target: a whole aircraft.cfg of any bytes in any encoding through
// both parse tasks. First byte: the encoding the rest is stored in (as given,
// UTF-8 with mark, UTF-16LE with mark, UTF-16BE with mark) and which task
// reads it. No exception may leave a task except through its future, which
// here is the catch of std::exception; the running-task count must come back.
#include "catalogue/livery_parse.h"
#include "core/files.h"
#include "livery_fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace {

std::string lf_encoded(std::uint8_t how, const std::string& text) {
    switch (how % 4) {
        case 1:
            return "\xEF\xBB\xBF" + text;
        case 2:
        case 3: {
            const bool little = how % 4 == 2;
            std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
            for (char c : text) {
                out += little ? c : '\0';
                out += little ? '\0' : c;
            }
            return out;
        }
        default:
            return text;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::filesystem::path file = livery_fuzz::aircraftFolder() / "aircraft.cfg";
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << lf_encoded(data[0], text);
    const int before = g_scanTaskCount.count.load();
    try {
        g_scanTaskCount.count.fetch_add(1);
        if (data[0] & 4) {
            lf_searchLiveriesinIVAOFile(1, file);
        } else {
            lf_searchLiveriesinFile(1, file);
        }
    } catch (const std::exception&) {
    }
    if (g_scanTaskCount.count.load() != before) __builtin_trap();
    std::filesystem::remove(file);
    livery_fuzz::resetScanState();
    return 0;
}
