// stand_file_bench stacked [stands]: only the stacked file below (default
// 41,000 stands), so that the peak memory is its own.
// stand_file_bench [stands] [uses]: the reading of a park airport's stand
// file with its learned file, as a visit of the airport does it, on one
// thread. The stand file holds `stands` stands (default 100,000) on a grid
// 35 m apart with radii of 15 to 40 m and a 199 m one every thousandth, one
// use each; the learned file holds as many entries, one learned use per
// stand and a radius correction on every tenth. Printed: the whole read, its
// neighbour pass alone, the close that writes the learned file back (with one
// use learned), and a
// second read of one stand with `uses` learned uses (default 20,000).
// First of all: a file of 41,000 stands stacked on one spot (a file's
// duplicates), read and closed, with the process's peak memory after it.
#include "airports/airport_ports.h"
#include "airports/learned_writer.h"
#include "airports/park_airport_state.h"
#include "airports/park_stand_file.h"
#include "core/log.h"
#include "core/paths.h"
#include "support/test_env.h"
#include "support/window_stand_in.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <fmt/format.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kReference = "airports\\my_thirdparty\\BNCH.xml";

class BenchPorts final : public AirportUserLink, public AirportWindow {
public:
    bool userStateKnown() override { return false; }
    LatLon userPosition() override { return {0.0, 0.0}; }
    bool userOnGround() override { return false; }
    std::string userStand() override { return {}; }
    bool parkingControlsBusy() override { return false; }
    void applyAutoRange() override {}
    void applyParkTrafficOnly() override {}
    void updateNowButton() override {}
    void repaint() override {}
};

const char* kMeta = R"(<meta><info name="version" value="11.10.5"/><info name="copyright" value="c"/>)"
                    R"(<info name="sim" value="3"/></meta>)";

double lf_seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void lf_writeStandFile(int stands) {
    constexpr int kPerRow = 316;
    // 35 m apart both ways (a degree of longitude is 0.62 of one of
    // latitude here): a crowded apron, where every stand has neighbours.
    constexpr double kSpacing_deg = 35.0 / 1852.0 / 60.0;
    std::string text = std::string("<root>") + kMeta + R"(<parameters>
  <parameter name="airport_name" value="Bench"/><parameter name="publisher" value="stock"/>
  <parameter name="altitude" value="83"/></parameters><parkpositions>
)";
    for (int i = 0; i < stands; ++i) {
        const double lat = 51.40 + (i / kPerRow) * kSpacing_deg;
        const double lon = -0.50 + (i % kPerRow) * kSpacing_deg / 0.62;
        const double radius_m = i % 1000 == 0 ? 199.0 : 15.0 + i % 26;
        text += fmt::format(R"(<parkpos id="S{}" latitude="{:.6f}" longitude="{:.6f}" heading="90" radius="{:.1f}">)"
                            R"(<opt reg="G-{:05}" airl="BAW" type="A320" day="{}" hh="14:17"/></parkpos>)"
                            "\n",
                            i, lat, lon, radius_m, i, 1 + i % 7);
    }
    text += "</parkpositions></root>\n";
    std::ofstream("airports/my_thirdparty/BNCH.xml", std::ios::binary) << text;
}

void lf_writeLearnedFile(int stands) {
    std::string text = std::string("<root>") + kMeta +
                       R"(<parameters><parameter name="airport_name" value="Bench"/></parameters><parkpositions>
)";
    for (int i = 0; i < stands; ++i) {
        const std::string change = i % 10 == 0 ? R"( radius_change="true" radius="25.0")" : "";
        text += fmt::format(R"(<parkpos id="S{}"{}><opt reg="N{:05}" airl="AAL" type="B738" day="{}" hh="20:21"/>)"
                            "</parkpos>\n",
                            i, change, i, 1 + i % 7);
    }
    text += "</parkpositions></root>\n";
    std::ofstream("airports/learned/stock/BNCH.xml", std::ios::binary) << text;
}

void lf_writeOneStandWithUses(int uses) {
    std::ofstream("airports/my_thirdparty/BNCH.xml", std::ios::binary)
        << std::string("<root>") + kMeta +
               R"(<parameters><parameter name="airport_name" value="Bench"/><parameter name="publisher" value="stock"/>
  <parameter name="altitude" value="83"/></parameters><parkpositions>
  <parkpos id="S0" latitude="51.4" longitude="-0.5" heading="90" radius="30"/></parkpositions></root>)";
    std::string text = std::string("<root>") + kMeta +
                       R"(<parameters><parameter name="airport_name" value="Bench"/></parameters><parkpositions>
<parkpos id="S0">)";
    for (int i = 0; i < uses; ++i) {
        text += fmt::format(R"(<opt reg="N{:05}" airl="AAL" type="B738" day="{}" hh="{}"/>)"
                            "\n",
                            i, 1 + i % 7, i % 48);
    }
    text += "</parkpos></parkpositions></root>\n";
    std::ofstream("airports/learned/stock/BNCH.xml", std::ios::binary) << text;
}

void lf_writeStackedStandFile(int stands) {
    std::string text = std::string("<root>") + kMeta + R"(<parameters>
  <parameter name="airport_name" value="Bench"/><parameter name="publisher" value="stock"/>
  <parameter name="altitude" value="83"/></parameters><parkpositions>
)";
    for (int i = 0; i < stands; ++i) {
        text += fmt::format(R"(<parkpos id="S{}" latitude="51.400000" longitude="-0.500000" heading="90" radius="30.0">)"
                            R"(<opt reg="G-{:05}" airl="BAW" type="A320" day="{}" hh="14:17"/></parkpos>)"
                            "\n",
                            i, i, 1 + i % 7);
    }
    text += "</parkpositions></root>\n";
    std::ofstream("airports/my_thirdparty/BNCH.xml", std::ios::binary) << text;
}

// The process's peak resident memory in MB; -1 where it cannot be read.
double lf_peakMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    }
    return -1.0;
}

bool lf_read(double& seconds);

// The stacked file read and closed; false when the read failed.
bool lf_stacked(int stands, const Airport& airport) {
    lf_writeStackedStandFile(stands);
    std::error_code ignored;
    fs::remove("airports/learned/stock/BNCH.xml", ignored);
    g_currentAirport.set(airport);
    double readSeconds = 0.0;
    if (!lf_read(readSeconds) || g_standList.size() != static_cast<std::size_t>(stands)) return false;
    std::size_t pairs = 0, most = 0;
    for (const Stand& s : g_standList) {
        pairs += s.adjacent.size();
        most = std::max(most, s.adjacent.size());
    }
    const auto start = std::chrono::steady_clock::now();
    gf_leaveParkAirport();
    const double closeSeconds = lf_seconds(start);
    const double peak = lf_peakMb();
    std::printf("stacked: %d stands on one spot (%.1f MB file), neighbour pairs: %zu, most neighbours of one: %zu\n",
                stands, static_cast<double>(fs::file_size("airports/my_thirdparty/BNCH.xml")) / (1 << 20), pairs, most);
    std::printf("stacked read, whole:    %8.3f s\n", readSeconds);
    std::printf("stacked close:          %8.3f s\n", closeSeconds);
    std::printf("peak memory after it:   %8.1f MB\n", peak);
    std::printf("RESULT stand_file_stacked_read_s %.3f s\n", readSeconds);
    std::printf("RESULT stand_file_stacked_close_s %.3f s\n", closeSeconds);
    std::printf("RESULT stand_file_stacked_peak_mb %.1f MB\n", peak);
    std::fflush(stdout);
    return true;
}

bool lf_read(double& seconds) {
    gf_clearStands();
    const auto start = std::chrono::steady_clock::now();
    const std::string error = gf_readApf(kReference);
    seconds = lf_seconds(start);
    if (!error.empty()) std::fprintf(stderr, "read failed: %s\n", error.c_str());
    return error.empty();
}

}  // namespace

int main(int argc, char** argv) {
    const bool stackedOnly = argc > 1 && std::string(argv[1]) == "stacked";
    const int stacked = stackedOnly && argc > 2 ? std::atoi(argv[2]) : 41000;
    const int stands = !stackedOnly && argc > 1 ? std::atoi(argv[1]) : 100000;
    const int uses = !stackedOnly && argc > 2 ? std::atoi(argv[2]) : 20000;
    const fs::path root = fs::temp_directory_path() / "glim_stand_file_bench";
    fs::remove_all(root);
    fs::create_directories(root / "work" / "airports" / "my_thirdparty");
    fs::create_directories(root / "work" / "airports" / "learned" / "stock");
    fs::current_path(root / "work");
    setTestEnv("GLIM_APPDATA", (root / "appdata").string());
    gf_rebuildAppPaths();
    gf_logOpen(root / "Log.txt");
    WindowStandIn::installed();
    BenchPorts ports;
    gf_setAirportPorts(&ports, &ports);
    const Airport airport{"BNCH", "", 51.4, -0.5, 83.0, 0};

    if (!lf_stacked(stacked, airport)) return 1;
    if (stackedOnly) {
        gf_logClose();
        fs::current_path(root.parent_path());
        fs::remove_all(root);
        return 0;
    }
    lf_writeStandFile(stands);
    lf_writeLearnedFile(stands);
    g_currentAirport.set(airport);
    double readSeconds = 0.0;
    if (!lf_read(readSeconds) || g_standList.size() != static_cast<std::size_t>(stands)) return 1;
    // Both files and the stands read from them.
    const double readPeak = lf_peakMb();
    const double standFileMb = static_cast<double>(fs::file_size("airports/my_thirdparty/BNCH.xml")) / (1 << 20);
    const double learnedMb = static_cast<double>(fs::file_size("airports/learned/stock/BNCH.xml")) / (1 << 20);
    std::size_t uses2 = 0;
    for (const Stand& s : g_standList) uses2 += s.options.size();
    auto start = std::chrono::steady_clock::now();
    gf_numberStandsAndNeighbours(g_standList);
    const double neighbourSeconds = lf_seconds(start);
    std::size_t pairs = 0;
    for (const Stand& s : g_standList) pairs += s.adjacent.size();
    // The engine learned one use: the close writes the file back, through
    // the check that it keeps every entry read.
    StandOption learned;
    learned.reg = "N99999";
    learned.airline = "AAL";
    learned.type = "B738";
    learned.day = 1;
    learned.halfHours = 1;
    learned.index = 3;
    g_standList[0].options.push_back(learned);
    start = std::chrono::steady_clock::now();
    gf_leaveParkAirport();
    const double closeSeconds = lf_seconds(start);

    lf_writeOneStandWithUses(uses);
    g_currentAirport.set(airport);
    double usesSeconds = 0.0;
    if (!lf_read(usesSeconds) || g_standList.size() != 1) return 1;
    const std::size_t usesTaken = g_standList[0].options.size();
    gf_leaveParkAirport();

    std::printf("stands: %d, learned entries: %d, uses in the list: %zu, neighbour pairs: %zu\n", stands, stands, uses2,
                pairs);
    std::printf("files: stand file %.1f MB, learned file %.1f MB; peak memory after the read %.1f MB\n", standFileMb,
                learnedMb, readPeak);
    std::printf("read, whole:            %8.3f s\n", readSeconds);
    std::printf("its neighbour pass:     %8.3f s\n", neighbourSeconds);
    std::printf("close (learned saved):  %8.3f s\n", closeSeconds);
    std::printf("one stand, %d learned uses (%zu taken): %8.3f s\n", uses, usesTaken, usesSeconds);
    std::printf("RESULT stand_file_read_s %.3f s\n", readSeconds);
    std::printf("RESULT stand_file_uses_read_s %.3f s\n", usesSeconds);
    gf_logClose();
    fs::current_path(root.parent_path());
    fs::remove_all(root);
    return 0;
}
