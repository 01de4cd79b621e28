// airport_scan_bench [files] [filler KiB]: writes a scenery tree of .bgl
// files (one airport of 80 stands each, and optionally a section of other
// scenery data the scan never decodes) into a scratch folder, then prints
// milliseconds per airport file: a plain read, the decoding alone and the
// writing of the stand files alone (one thread each), and the whole add-on
// airport scan (walk, decoding tasks, stand files written side by side,
// scan log, tblo.zip made from the stand files where they lie). The share
// spent writing is writing / (decoding + writing) on one thread. Last, the
// same scan with the stop raised before it starts: what a user who closes
// the program at that moment waits for.
#include "support/window_stand_in.h"
#include "airports/airport_scan.h"
#include "airports/stand_file.h"
#include "airports/tblo.h"
#include "bgl_writer.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "support/test_env.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string lf_code(int i) {
    std::string code = "K";
    for (int v = i, k = 0; k < 3; ++k, v /= 26) code += static_cast<char>('A' + v % 26);
    return code;
}

std::string lf_file(int i, std::uint32_t fillerBytes) {
    bglw::Airport a;
    a.ident = lf_code(i);
    a.names = {{a.ident + " Regional", {}}};
    a.helipads = {{30.0, 40.0, 20.0f, 90.0f}};
    for (std::uint32_t s = 0; s < 80; ++s) {
        bglw::Parking p;
        p.nameCode = 10;
        p.number = s + 1;
        p.type = 1 + s % 7;
        p.lat_deg = 30.0 + s * 0.0003;
        p.lon_deg = 40.0 + s * 0.0003;
        p.hdg_deg = static_cast<float>(s);
        p.airlineCodes = s % 3;
        a.parkings.push_back(p);
    }
    bglw::File f;
    bglw::Section other;
    other.type = 0x65;
    other.fillerBytes = fillerBytes;
    bglw::Section airports;
    airports.airports = {a};
    f.sections = {other, airports};
    return bglw::encode(f);
}

double lf_seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Codes of the K region are known; the Dbase links nothing, so every airport
// is generated, and nobody looks at the window.
class BenchScanNeighbours final : public AirportScanLookups, public AirportScanWindow {
public:
    bool isKnownAirport(const std::string& code) override { return code.size() == 4 && code[0] == 'K'; }
    std::string publisherOfPath(const std::string&) override { return {}; }
    bool hasSimAddonKey(const std::string&) override { return false; }
    std::vector<std::string> thirdPartyEntries(const std::string&) override { return {}; }
    void openManual() override {}
    void openParametersFolder() override {}
    void tbloCollected() override {}
};

}  // namespace

int main(int argc, char** argv) {
    WindowStandIn::installed();
    const int files = argc > 1 ? std::atoi(argv[1]) : 500;
    const std::uint32_t fillerBytes = static_cast<std::uint32_t>(argc > 2 ? std::atoi(argv[2]) : 0) * 1024;
    const fs::path root = fs::temp_directory_path() / "glim_airport_scan_bench";
    fs::remove_all(root);
    fs::create_directories(root / "work");
    fs::current_path(root / "work");
    setTestEnv("GLIM_APPDATA", (root / "appdata").string());
    gf_rebuildAppPaths();
    gf_logOpen(root / "Log.txt");

    std::uintmax_t bytes = 0;
    std::vector<fs::path> paths;
    for (int i = 0; i < files; ++i) {
        const fs::path dir = root / "scenery" / (i % 2 == 0 ? "orbx" : "Vendor") / std::to_string(i % 10);
        fs::create_directories(dir);
        paths.push_back(dir / (lf_code(i) + ".bgl"));
        const std::string content = lf_file(i, fillerBytes);
        bglw::writeFile(paths.back().string(), content);
        bytes += content.size();
    }
    const double mb = static_cast<double>(bytes) / (1024.0 * 1024.0);

    auto start = std::chrono::steady_clock::now();
    std::uintmax_t read = 0;
    std::vector<char> buffer;
    for (const fs::path& path : paths) {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        buffer.resize(static_cast<std::size_t>(in.tellg()));
        in.seekg(0);
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        read += static_cast<std::uintmax_t>(in.gcount());
    }
    const double readSeconds = lf_seconds(start);

    start = std::chrono::steady_clock::now();
    std::size_t stands = 0;
    const auto neighbours = std::make_shared<BenchScanNeighbours>();
    const KnownAirportCheck known = [&](const std::string& code) { return neighbours->isKnownAirport(code); };
    std::vector<AirportFile> airports;
    for (const fs::path& path : paths) {
        if (!lf_bglHasAirportSection(path)) continue;
        for (auto& decoded : gf_decodeBglAirports(path, known)) {
            stands += decoded.airport.stands.size();
            airports.push_back(std::move(decoded.airport));
        }
    }
    const double decodeSeconds = lf_seconds(start);

    fs::create_directories(root / "written");
    start = std::chrono::steady_clock::now();
    for (const AirportFile& airport : airports) {
        gf_writeAirportFile(airport, root / "written" / gf_xmlNameOf(airport.code), StandFileForm::generated, 3, false);
    }
    const double writeSeconds = lf_seconds(start);

    const WorkPaths& work = gf_workPaths();
    for (const fs::path& f : {work.myOrbx, work.myThirdparty, work.info}) fs::create_directories(f);
    gf_resetScanSlots();
    afolder[0].setValue((root / "scenery").string());
    start = std::chrono::steady_clock::now();
    gf_scanAddonAirports(neighbours, *neighbours);
    const double scanSeconds = lf_seconds(start);

    g_runStopping = true;
    start = std::chrono::steady_clock::now();
    gf_scanAddonAirports(neighbours, *neighbours);
    const double stoppedSeconds = lf_seconds(start);
    gf_resetRunFlags();

    std::size_t generated = 0;
    for (const fs::path& f : {work.myOrbx, work.myThirdparty}) {
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(f)) ++generated;
    }
    const double perFile = 1000.0 / files;
    std::printf("files: %d, %.1f MB (read %ju bytes), task slots: %d\n", files, mb, read, g_scanTaskCount.limit);
    std::printf("plain read:            %8.3f ms per airport file\n", readSeconds * perFile);
    std::printf("decode, one thread:    %8.3f ms per airport file (%zu stands)\n", decodeSeconds * perFile, stands);
    std::printf("write, one thread:     %8.3f ms per airport file\n", writeSeconds * perFile);
    std::printf("scan, whole:           %8.3f ms per airport file (%zu stand files, tblo %lld)\n",
                scanSeconds * perFile, generated, static_cast<long long>(g_tbloFileCount.load()));
    std::printf("scan, stopped at once: %8.3f ms in all\n", stoppedSeconds * 1000.0);
    std::printf("share spent writing:   %8.1f %%\n", 100.0 * writeSeconds / (decodeSeconds + writeSeconds));
    // For scripts/bench.
    std::printf("RESULT bgl_scan_ms_per_file %.3f ms\n", scanSeconds * perFile);
    std::printf("RESULT bgl_scan_stopped_ms %.3f ms\n", stoppedSeconds * 1000.0);
    std::printf("RESULT bgl_decode_ms_per_file %.3f ms\n", decodeSeconds * perFile);
    std::printf("RESULT bgl_write_ms_per_file %.3f ms\n", writeSeconds * perFile);
    std::printf("RESULT bgl_write_share_pct %.1f %%\n", 100.0 * writeSeconds / (decodeSeconds + writeSeconds));
    std::printf("RESULT bgl_read_MBps %.1f MB/s\n", mb / readSeconds);
    std::printf("RESULT bgl_decode_MBps %.1f MB/s\n", mb / decodeSeconds);
    std::printf("RESULT bgl_scan_MBps %.1f MB/s\n", mb / scanSeconds);
    gf_logClose();
    fs::current_path(root.parent_path());
    fs::remove_all(root);
    return 0;
}
