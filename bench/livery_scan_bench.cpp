// Files per second of the livery scan against its reference, the walk of the
// same tree plus a plain read of the same files (all hardware threads, a warm
// file cache): a scan must walk the tree and read every file, so nothing can
// beat that. The goals: the scan within twice the time of walk + read, and
// within twice the time of the same parse on one thread.
//   livery_scan_bench [file count] [folder] [keep]
// With "keep" the generated files stay for the next run, which then skips
// the generation.
#include "support/window_stand_in.h"
#include "catalogue/livery.h"
#include "catalogue/livery_parse.h"
#include "catalogue/livery_scan.h"
#include "catalogue/livery_scan_dbase.h"
#include "catalogue/livery_walk.h"

#include "core/files.h"
#include "core/log.h"
#include "core/settings.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Nobody looks at the window while the bench times the scan.
class BenchScanWindow final : public LiveryScanWindow {
public:
    bool openManual() override { return false; }
    bool openParametersFolder() override { return false; }
    void showLiveryCount(std::int32_t) override {}
};

constexpr int kDefaultFiles = 20000;
constexpr int kSectionsPerFile = 4;

class BenchDbase final : public LiveryScanDbase {
public:
    bool isKnownType(const std::string& type) const override { return type == "B738"; }
    std::optional<std::string> fixedType(const std::string&) const override { return std::nullopt; }
    bool isIcaoAirline(const std::string& code) const override { return code == "BAW" || code == "KLM"; }
    AcCategory category(const std::string&) const override { return AcCategory::Large; }
    std::optional<LiveryRegistrationRecord> lookupRegistration(const std::string&) const override {
        return std::nullopt;
    }
    std::optional<std::string> registrationInTitle(const std::string&) const override { return std::nullopt; }
};

std::string lf_aircraftCfg(int file) {
    std::ostringstream text;
    text << "[General]\natc_model=B738\n\n";
    for (int s = 0; s < kSectionsPerFile; ++s) {
        text << "[fltsim." << s << "]\n"
             << "title=Boeing 737-800 livery " << file << "-" << s << "\n"
             << "sim=b738\nmodel=\npanel=\nsound=\ntexture=\n"
             << "atc_id=G-" << file << "\n"
             << "atc_parking_codes=" << (s % 2 ? "BAW" : "KLM") << "\n"
             << "atc_parking_types=GATE,RAMP\n"
             << "ui_manufacturer=Boeing\nui_type=737-800\nui_variation=Livery " << s << "\n"
             << "description=A generated livery for the bench // with a comment\n\n";
    }
    return text.str();
}

void lf_generate(const fs::path& root, int count) {
    for (int i = 0; i < count; ++i) {
        const fs::path dir = root / ("aircraft_" + std::to_string(i));
        fs::create_directories(dir / "model");
        fs::create_directories(dir / "texture");
        std::ofstream(dir / "b738.air") << "";
        std::ofstream(dir / "aircraft.cfg", std::ios::binary) << lf_aircraftCfg(i);
    }
}

// Each thread reads its share of the files whole.
double lf_plainRead(const std::vector<fs::path>& files) {
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> bytes{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            std::string buffer;
            for (std::size_t i = next++; i < files.size(); i = next++) {
                std::ifstream in(files[i], std::ios::binary);
                std::ostringstream text;
                text << in.rdbuf();
                bytes += text.str().size();
            }
        });
    }
    for (std::thread& t : pool) t.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    WindowStandIn::installed();
    const int count = argc > 1 ? std::atoi(argv[1]) : kDefaultFiles;
    const fs::path work = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "glim_livery_scan_bench";
    const bool keep = argc > 3 && std::string(argv[3]) == "keep";
    const fs::path liveries = work / "liveries";
    if (!keep || !fs::exists(liveries)) {
        fs::remove_all(work);
        std::printf("generating %d aircraft.cfg files with %d sections in %s ...\n", count, kSectionsPerFile,
                    liveries.string().c_str());
        lf_generate(liveries, count);
    }
    fs::remove_all(work / "output");
    fs::create_directories(work / "output" / "info");
    fs::create_directories(work / "output" / "errors");
    fs::create_directories(work / "input");
    fs::current_path(work);
    gf_logOpen(work / "Log.txt");

    // The walk alone: every entry visited, the livery files picked by name
    // and type, as the scan's walk does.
    std::vector<fs::path> files;
    const auto walkOnlyStart = std::chrono::steady_clock::now();
    for (const auto& entry : fs::recursive_directory_iterator(liveries)) {
        std::error_code ec;
        if (entry.path().filename() == "aircraft.cfg" && entry.is_regular_file(ec)) files.push_back(entry.path());
    }
    const double walkOnly_s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - walkOnlyStart).count();
    lf_plainRead(files);  // warms the cache
    const double plain_s = lf_plainRead(files);
    const double reference_s = walkOnly_s + plain_s;

    BenchDbase dbase;
    gf_setLiveryScanDbase(&dbase);
    gf_resetScanSlots();
    // The folder walk with its parse tasks alone, without the cache and the
    // reports.
    const auto walkStart = std::chrono::steady_clock::now();
    lf_walkLiveryFolder(1, liveries);
    const double walk_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - walkStart).count();
    const std::size_t walked = g_liveryScanList.size();
    g_liveryScanList.clear();
    lf_resetScanState();

    // The parse tasks' bodies one after another on this thread: what the
    // scan costs without its threads.
    const auto parseStart = std::chrono::steady_clock::now();
    for (const fs::path& file : files) {
        g_scanTaskCount.count.fetch_add(1);
        lf_searchLiveriesinFile(1, file);
    }
    const double parse_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - parseStart).count();
    lf_resetScanState();

    // The same bodies on one long-lived thread per hardware thread: the
    // parse's own cost in parallel, without a thread per file.
    const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
    std::atomic<std::size_t> nextFile{0};
    const auto poolStart = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < workers; ++t) {
        pool.emplace_back([&] {
            for (std::size_t i = nextFile++; i < files.size(); i = nextFile++) {
                g_scanTaskCount.count.fetch_add(1);
                lf_searchLiveriesinFile(1, files[i]);
            }
        });
    }
    for (std::thread& t : pool) t.join();
    const double pool_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - poolStart).count();
    lf_resetScanState();

    BenchScanWindow window;
    const auto start = std::chrono::steady_clock::now();
    const LiveryScanEnd end = lf_scanFolders({liveries}, window);
    const double scan_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    gf_setLiveryScanDbase(nullptr);
    gf_logClose();

    const double files_n = static_cast<double>(files.size());
    std::printf("hardware threads: %u\n", std::thread::hardware_concurrency());
    std::printf("walk alone: %.3f s, read alone: %.3f s = %.0f files/s\n", walkOnly_s, plain_s, files_n / plain_s);
    std::printf("plain read: %zu files in %.3f s = %.0f files/s (walk + read, the reference)\n", files.size(),
                reference_s, files_n / reference_s);
    std::printf("livery scan: %zu files in %.3f s = %.0f files/s (%s)\n", files.size(), scan_s, files_n / scan_s,
                end == LiveryScanEnd::written ? "cache written" : "no cache written");
    std::printf("folder walk with its tasks: %.3f s = %.0f files/s, %zu liveries\n", walk_s, files_n / walk_s,
                walked);
    std::printf("parse tasks on one thread: %.3f s = %.0f files/s\n", parse_s, files_n / parse_s);
    std::printf("parse tasks on %u reused threads: %.3f s = %.0f files/s\n", workers, pool_s, files_n / pool_s);
    std::printf("scan / (walk + read) time: %.2f (goal: 2.00 or less)\n", scan_s / reference_s);
    std::printf("scan / one-thread parse time: %.2f (goal: 2.00 or less)\n", scan_s / parse_s);
    std::printf("RESULT livery_read_fps %.0f files/s\n", files_n / reference_s);
    std::printf("RESULT livery_scan_fps %.0f files/s\n", files_n / scan_s);
    fs::current_path(fs::temp_directory_path());
    if (!keep) fs::remove_all(work);
    return 0;
}
