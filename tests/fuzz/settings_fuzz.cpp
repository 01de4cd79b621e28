// Feeds arbitrary bytes to the settings as parameters.xml: the load, the
// save of one key and the run-start upgrade must neither crash nor leave a
// number outside its bounds, whatever the file holds. An empty input stands
// for a missing file.
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/settings_upgrade.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct FuzzFolder {
    fs::path dir;
    fs::path file;
    fs::path work;
    FuzzFolder() {
        dir = fs::temp_directory_path() / ("glim_settings_fuzz_" + std::to_string(::getpid()));
        fs::create_directories(dir / "work");
        file = dir / "parameters.xml";
        work = dir / "work";
    }
    ~FuzzFolder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

const FuzzFolder& lf_folder() {
    static const FuzzFolder folder;
    return folder;
}

void lf_write(const fs::path& file, const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        std::error_code ec;
        fs::remove(file, ec);
        return;
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void lf_checkBounds() {
    for (const NumberParameter* p : g_numberParameters) {
        if (p->value() < p->minValue() || p->value() > p->maxValue()) std::abort();
    }
    for (const ComboParameter* p : g_comboParameters) {
        if (p->value() < p->minValue() || p->value() > p->maxValue()) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzFolder& folder = lf_folder();
    gf_resetSettings();

    lf_write(folder.file, data, size);
    gf_loadParameters(folder.file);
    lf_checkBounds();

    lf_write(folder.file, data, size);
    RANGE.setValue(25);
    gf_saveNumberParameter(RANGE, folder.file);
    pugi::xml_document document;
    if (!gf_loadXmlDocument(document, folder.file)) std::abort();  // a save always leaves a readable file
    if (gf_readIntParameter(document, "RANGE") != 25) std::abort();  // the saved key holds the value

    lf_write(folder.file, data, size);
    lf_checkParametersFile(folder.file, folder.work);
    lf_checkBounds();
    return 0;
}
