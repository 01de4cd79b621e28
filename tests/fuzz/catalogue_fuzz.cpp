// libFuzzer target: bytes of any shape through the catalogue's file readers.
// First byte: 0 LiveriesScanned.xml, 1 the AIG regcode XML, 2 a my_regcodes
// text file, 3 the Dbase XML; the rest is the file. Every file lives in a
// scratch folder of the process, made for each input and removed after it, so
// nothing is left behind however the run ends between inputs.
#include "catalogue/dbase.h"
#include "catalogue/liveries_xml.h"
#include "catalogue/livery.h"
#include "catalogue/regcode_sources.h"
#include "core/user_error.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

const fs::path& lf_scratch() {
    static const fs::path folder =
        fs::temp_directory_path() / ("glim_catalogue_fuzz_" + std::to_string(std::random_device{}()));
    return folder;
}

void lf_write(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const fs::path& folder = lf_scratch();
    fs::create_directories(folder / "regcodes");
    const int which = data[0] % 4;
    const fs::path file = which == 2 ? folder / "regcodes" / "fuzz.TXT" : folder / "fuzz.xml";
    lf_write(file, data + 1, size - 1);
    try {
        std::vector<Regcode> entries;
        switch (which) {
            case 0: lf_readLiveriesXmlFrom(file); break;
            case 1: lf_readAigRegcodesFrom(file, entries); break;
            case 2: lf_readRegcodeFiles(folder / "regcodes", entries); break;
            default: gf_readDbaseXml(file); break;
        }
    } catch (const ozr::UserErrorException&) {
        // The readers' own answer to a broken file.
    }
    g_liveryScanList.clear();
    gf_resetDbase();
    std::error_code ec;
    fs::remove_all(folder, ec);
    return 0;
}
