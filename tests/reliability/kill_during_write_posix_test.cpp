// A writer child saves one of two contents over and over and is killed with
// SIGKILL at a random moment; the parent then reads the file with the
// program's own reader. Every file the program writes for the user goes through
// a temporary file and a rename, so whatever the moment of the kill, the file
// must hold one of the two contents whole: never a truncated, empty or mixed
// one.
//
// GLIM_KILL_TRIALS sets the number of kills per writer (default 334, so the
// three writers make 1,000 kills in all).

#include "airports/stand_file.h"
#include "catalogue/liveries_xml.h"
#include "catalogue/livery.h"
#include "core/settings.h"
#include "core/settings_file.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// One writer under test: put(k, path) writes content k (0 or 1) to path;
// which(path) reads path with the program's reader and says which content it
// holds whole, nothing when it holds neither (corrupt, empty, missing).
// prepare (optional) sets up what put needs and runs before the saves of a
// child and before each save of the parent (whose reads may change it).
struct WriterCase {
    const char* name;
    std::function<void(int, const fs::path&)> put;
    std::function<std::optional<int>(const fs::path&)> which;
    std::function<void()> prepare = {};
};

int trialsPerWriter() {
    if (const char* text = std::getenv("GLIM_KILL_TRIALS")) {
        const int n = std::atoi(text);
        if (n > 0) return n;
    }
    return 334;
}

// ---- parameters.xml: every setting, one text setting long and different ----

std::string settingText(int k) { return std::string(k == 0 ? 20000 : 45000, k == 0 ? 'a' : 'b'); }

WriterCase parametersCase() {
    return {"parameters.xml",
            [](int k, const fs::path& path) {
                SIM_INSTALL_PATH.setValue(settingText(k));
                gf_saveAllParameters(false, path);
            },
            [](const fs::path& path) -> std::optional<int> {
                pugi::xml_document document;
                if (!gf_loadXmlDocument(document, path)) return std::nullopt;
                const auto value = gf_readStringParameter(document, SIM_INSTALL_PATH.name());
                // The last setting written: its presence shows the list whole.
                const auto version = gf_readStringParameter(document, PROGRAM_VERSION.name());
                if (!value || !version) return std::nullopt;
                for (int k : {0, 1}) {
                    if (*value == settingText(k)) return k;
                }
                return std::nullopt;
            }};
}

// ---- a learned stand file ----

AirportFile airportRecord(int k) {
    AirportFile record;
    record.code = "EDDK";
    record.airport_name = "Koeln";
    record.publisher = "learned";
    const int count = k == 0 ? 300 : 700;
    for (int i = 0; i < count; ++i) {
        StandOption option;
        option.airline = k == 0 ? "DLH" : "EWG";
        option.type = "A320";
        option.reg = fmt::format("D-A{:03}", i % 1000);
        option.index = 1;
        option.day = 1 + static_cast<std::uint32_t>(i % 7);
        option.halfHours = 0xFFull << (i % 40);
        Stand stand(fmt::format("{}{}", k == 0 ? "A" : "B", i), {option},
                    StandPlace{50.86 + i * 1e-5, 7.14 + i * 1e-5, 1.0}, 30.0, false, false, false);
        stand.manual = true;
        record.stands.push_back(std::move(stand));
    }
    return record;
}

WriterCase standFileCase() {
    static const AirportFile records[2] = {airportRecord(0), airportRecord(1)};
    return {"learned stand file",
            [](int k, const fs::path& path) {
                gf_writeAirportFile(records[k], path, StandFileForm::learned, 0, false);
            },
            [](const fs::path& path) -> std::optional<int> {
                pugi::xml_document document;
                if (!gf_loadXmlDocument(document, path)) return std::nullopt;
                std::vector<Stand> stands;
                try {
                    lf_readParkpositions(document, stands);
                } catch (const std::exception&) {
                    return std::nullopt;
                }
                for (int k : {0, 1}) {
                    const auto& expected = records[k].stands;
                    if (stands.size() != expected.size()) continue;
                    bool same = true;
                    for (std::size_t i = 0; same && i < stands.size(); ++i) {
                        same = stands[i].id == expected[i].id && stands[i].options.size() == 1 &&
                               stands[i].options[0].reg == expected[i].options[0].reg;
                    }
                    if (same) return k;
                }
                return std::nullopt;
            }};
}

// ---- LiveriesScanned.xml ----

std::list<Livery> liveryList(int k) {
    std::list<Livery> list;
    const int count = k == 0 ? 1500 : 3500;
    for (int i = 0; i < count; ++i) {
        list.emplace_back(k == 0 ? "DLH" : "BAW", "A320", fmt::format("Airbus A320 livery {} {:05}", k, i),
                          fmt::format("G-{:04}", i), 0, i % 5 == 0);
    }
    return list;
}

std::optional<int> whichLiveries(const fs::path& path) {
    static const std::list<Livery> lists[2] = {liveryList(0), liveryList(1)};
    try {
        lf_readLiveriesXmlFrom(path);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    for (int k : {0, 1}) {
        const auto& expected = lists[k];
        if (g_liveryScanList.size() != expected.size()) continue;
        bool same = true;
        for (auto a = g_liveryScanList.cbegin(), b = expected.cbegin(); same && a != g_liveryScanList.cend(); ++a, ++b) {
            same = a->title == b->title && a->airl == b->airl && a->atcid == b->atcid && a->cargo == b->cargo;
        }
        if (same) return k;
    }
    return std::nullopt;
}

WriterCase liveriesCase() {
    static const std::list<Livery> lists[2] = {liveryList(0), liveryList(1)};
    // The two lists are swapped in and out rather than copied, so that a
    // save's time is the writer's own.
    static std::list<Livery> other;
    static int loaded = 0;
    return {"LiveriesScanned.xml",
            [](int k, const fs::path& path) {
                if (loaded != k) {
                    std::swap(g_liveryScanList, other);
                    loaded = k;
                }
                lf_writeLiveriesXmlTo(path);
            },
            whichLiveries,
            [] {
                g_liveryScanList = lists[0];
                other = lists[1];
                loaded = 0;
            }};
}

// The harness's own check: a plain write straight over the target, as the
// program must never do, is caught.
WriterCase plainWriteCase() {
    static std::string texts[2];
    return {"plain write (harness check)",
            [](int k, const fs::path& path) {
                if (texts[k].empty()) {
                    const fs::path scratch = path.parent_path() / "plain-scratch.xml";
                    const WriterCase liveries = liveriesCase();
                    liveries.prepare();
                    liveries.put(k, scratch);
                    std::ifstream in(scratch, std::ios::binary);
                    std::stringstream ss;
                    ss << in.rdbuf();
                    texts[k] = ss.str();
                }
                std::ofstream out(path, std::ios::binary | std::ios::trunc);
                for (std::size_t at = 0; at < texts[k].size(); at += 512) {
                    out.write(texts[k].data() + at, static_cast<std::streamsize>(std::min<std::size_t>(512, texts[k].size() - at)));
                    out.flush();
                }
            },
            whichLiveries};
}

struct Outcome {
    int kills = 0;
    int corrupt = 0;
    int midWrite = 0;  // kills that left the temporary file: the kill came during a save
    std::string firstFault;
};

Outcome runKills(const WriterCase& writer, const fs::path& folder, int trials) {
    fs::create_directories(folder);
    const fs::path target = folder / "target.xml";
    const fs::path temp = folder / "target.xml.tmp";
    const auto save = [&](int k) {
        if (writer.prepare) writer.prepare();
        writer.put(k, target);
    };
    save(0);
    save(1);
    // One save's time sets the range of the kill moments: up to three saves
    // after the child starts, so kills fall before, during and between saves.
    const auto start = Clock::now();
    writer.put(0, target);
    const auto save_us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    std::mt19937 random(20261207u);
    std::uniform_int_distribution<long> moment_us(0, 3 * save_us + 200);

    Outcome outcome;
    for (int trial = 0; trial < trials; ++trial) {
        const int first = trial % 2;  // the content the child writes first
        // The child says when it starts saving: a fork takes longer than a
        // save, so a clock started at the fork would mostly kill a child that
        // has not begun.
        int ready[2];
        if (pipe(ready) != 0) {
            outcome.firstFault = "pipe failed";
            break;
        }
        const pid_t child = fork();
        if (child == 0) {
            close(ready[0]);
            if (writer.prepare) writer.prepare();
            const char byte = 1;
            if (write(ready[1], &byte, 1) != 1) _exit(1);
            for (int k = first;; k = 1 - k) writer.put(k, target);
        }
        close(ready[1]);
        if (child < 0) {
            close(ready[0]);
            outcome.firstFault = "fork failed";
            break;
        }
        char byte = 0;
        const bool started = read(ready[0], &byte, 1) == 1;
        close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(moment_us(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (!started) {
            outcome.firstFault = "the writer did not start";
            break;
        }
        ++outcome.kills;
        const bool leftover = fs::exists(temp);
        if (!writer.which(target)) {
            if (outcome.corrupt++ == 0) {
                outcome.firstFault = fmt::format("trial {}: {} bytes unreadable or mixed", trial,
                                                 fs::exists(target) ? fs::file_size(target) : 0);
            }
            save(first);  // a whole file again for the next trial
        }
        // A kill inside the file write leaves the temporary file, as a crash
        // of the program would: the next save must not trip over it.
        if (leftover) {
            ++outcome.midWrite;
            save(1 - first);
            if (writer.which(target) != 1 - first || fs::exists(temp)) {
                if (outcome.corrupt++ == 0) outcome.firstFault = fmt::format("trial {}: no save over a leftover", trial);
            }
        }
    }
    return outcome;
}

class KillDuringWrite : public ::testing::Test {
protected:
    void SetUp() override {
        gf_resetSettings();
        gf_setStandRegistrationLookup({});
        folder_ = fs::temp_directory_path() / fmt::format("glim-kill-{}", getpid());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        fs::remove_all(folder_);
        g_liveryScanList.clear();
        gf_resetSettings();
    }
    fs::path folder_;
};

TEST_F(KillDuringWrite, EverySavedFileIsTheOldOrTheNewOneWhole) {
    const int trials = trialsPerWriter();
    for (const WriterCase& writer : {parametersCase(), standFileCase(), liveriesCase()}) {
        SCOPED_TRACE(writer.name);
        const Outcome outcome = runKills(writer, folder_ / "safe", trials);
        EXPECT_EQ(outcome.kills, trials) << outcome.firstFault;
        EXPECT_EQ(outcome.corrupt, 0) << outcome.firstFault;
        // Without kills inside the file write the test would prove nothing.
        // Most of a save builds the document in memory (and parameters.xml
        // first keeps its last good copy), so only a few kills land while
        // the file is open: 1 to 20 here, fewer on a loaded machine.
        EXPECT_GE(outcome.midWrite, 1) << "kills during a save";
        std::printf("%-20s %d kills, %d during a save, %d corrupt\n", writer.name, outcome.kills, outcome.midWrite,
                    outcome.corrupt);
    }
}

TEST_F(KillDuringWrite, APlainWriteOverTheTargetIsCaught) {
    const Outcome outcome = runKills(plainWriteCase(), folder_ / "plain", 60);
    EXPECT_GT(outcome.corrupt, 0);
}

}  // namespace
