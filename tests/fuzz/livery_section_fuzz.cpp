// libFuzzer target: one [fltsim.N] section of any bytes through the general
// and the IVAO section rules. The input's lines follow a header line; a
// file-system error of a named file may leave the rules (the parse task hands
// it to its future), anything else must not.
#include "catalogue/livery_sections.h"
#include "livery_fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path& folder = livery_fuzz::aircraftFolder();
    const std::filesystem::path file = folder / "aircraft.cfg";
    std::vector<std::string> lines{"[fltsim.0]"};
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    std::vector<std::string> ivaoLines = lines;
    try {
        std::list<Livery> result;
        lf_procesFltSimSection(result, 1, lines, "B738", file, folder);
        if (result.size() > 1 || (result.size() == 1 && result.front().title.empty())) __builtin_trap();
    } catch (const std::filesystem::filesystem_error&) {
    }
    try {
        Livery livery;
        lf_procesIvaoFltSimSection(livery, 1, ivaoLines, "B738", file, folder);
        if (!livery.airl.empty() && livery.airl.size() != 3) __builtin_trap();
    } catch (const std::filesystem::filesystem_error&) {
    }
    livery_fuzz::resetScanState();
    return 0;
}
