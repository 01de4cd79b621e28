// Bytes of any shape as the park airport's stand file and as its learned
// file: the reader must neither crash nor leave a setting outside its bounds
// or a learned use on a day outside the week, and the learned writer must
// save whatever was read.
#include "airports/airport_database.h"
#include "airports/airport_ports.h"
#include "airports/learned_writer.h"
#include "airports/park_airport_state.h"
#include "airports/park_stand_file.h"
#include "core/settings.h"
#include "core/user_error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kStandFile = R"(<root><meta><info name="copyright" value="c"/><info name="sim" value="3"/>
<info name="version" value="11.10.5"/></meta><parameters><parameter name="publisher" value="stock"/>
<parameter name="altitude" value="0"/></parameters><parkpositions>
<parkpos id="A1" latitude="52.3" longitude="4.7" radius="30"><opt reg="X" day="1" hh="3"/></parkpos>
<parkpos id="A2" latitude="52.3002" longitude="4.7" radius="30"/></parkpositions></root>)";

struct FuzzFolder {
    fs::path dir;
    FuzzFolder() {
        dir = fs::temp_directory_path() / ("glim_stand_file_fuzz_" + std::to_string(::getpid()));
        fs::create_directories(dir / "airports" / "my_thirdparty");
    }
    ~FuzzFolder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

// No user aircraft and no window: the reader's rules are what is fuzzed.
class QuietAirportPorts final : public AirportUserLink, public AirportWindow {
public:
    bool userStateKnown() override { return false; }
    LatLon userPosition() override { return LatLon{0.0, 0.0}; }
    bool userOnGround() override { return false; }
    std::string userStand() override { return {}; }
    bool parkingControlsBusy() override { return false; }
    void applyAutoRange() override {}
    void applyParkTrafficOnly() override {}
    void updateNowButton() override {}
    void repaint() override {}
};
QuietAirportPorts g_quietPorts;

void lf_write(const fs::path& file, const char* data, std::size_t size) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const FuzzFolder folder;
    // The program works in its working folder; the fuzzer's own paths
    // (corpus, artefacts) are relative to the caller's, so the folder is
    // entered for each input only.
    const fs::path callerFolder = fs::current_path();
    fs::current_path(folder.dir);
    gf_setAirportPorts(&g_quietPorts, &g_quietPorts);
    gf_resetSettings();
    gf_resetParkAirportState();
    Airport eham;
    eham.code = "EHAM";
    g_currentAirport.set(eham);

    // The first byte chooses which file the rest is.
    const bool asLearned = size > 0 && (data[0] & 1) != 0;
    const char* text = reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0);
    const std::size_t length = size > 0 ? size - 1 : 0;
    std::error_code ec;
    fs::remove_all("airports/learned", ec);
    if (asLearned) {
        lf_write("airports/my_thirdparty/EHAM.xml", kStandFile, std::char_traits<char>::length(kStandFile));
        lf_write("airports/learned/stock/EHAM.xml", text, length);
    } else {
        lf_write("airports/my_thirdparty/EHAM.xml", text, length);
    }
    try {
        gf_readApf("airports\\my_thirdparty\\EHAM.xml");
    } catch (const ozr::UserErrorException&) {
    }
    if (parking_percentage.value() < parking_percentage.minValue() ||
        parking_percentage.value() > parking_percentage.maxValue() || MAX_FIT.value() < MAX_FIT.minValue() ||
        MAX_FIT.value() > MAX_FIT.maxValue() || MAX_LIVE_SEL.value() < MAX_LIVE_SEL.minValue() ||
        MAX_LIVE_SEL.value() > MAX_LIVE_SEL.maxValue()) {
        std::abort();
    }
    for (const Stand& s : g_standList) {
        for (const StandOption& o : s.options) {
            if (o.origin == 0 && (o.day < 1 || o.day > 7)) std::abort();
        }
    }
    if (g_standsLoaded.load()) gf_leaveParkAirport();
    gf_resetParkAirportState();
    fs::current_path(callerFolder);
    return 0;
}
