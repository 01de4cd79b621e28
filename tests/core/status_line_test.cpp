#include "core/status_line.h"

#include "core/log.h"
#include "core/run_flags.h"
#include "core/ui_sink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class RecordingSink final : public UiSink {
public:
    void enableControl(int, bool) override {}
    void setCheck(int, bool) override {}
    void fillCombo(int, const std::vector<std::string>&, int) override {}
    void selectCombo(int, int) override {}
    void setText(int, const std::string&) override {}
    void invalidateBand(UiBand band) override {
        if (band == UiBand::status) ++statusInvalidations;
    }
    bool controlEnabled(int) override { return true; }
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }
    std::atomic<int> statusInvalidations{0};
};

class StatusLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        gf_resetRunFlags();
        gf_resetStatusLine();
        gf_setUiSink(&sink);
        dir = fs::temp_directory_path() /
              ("glim_status_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::create_directories(dir);
        ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
    }
    void TearDown() override {
        gf_logClose();
        gf_setUiSink(nullptr);
        gf_resetStatusLine();
        gf_resetRunFlags();
        fs::remove_all(dir);
    }
    std::string logText() {
        gf_logFlush();
        std::ifstream in(dir / "Log.txt", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // One simulator second of the run: the counter, then the timed clearing.
    void tick() {
        ++g_tickCount;
        gf_clearStatusLineWhenDue();
    }
    static std::string status() { return gf_statusLineSnapshot().statusText; }

    RecordingSink sink;
    fs::path dir;
};

}  // namespace

TEST_F(StatusLineTest, StampsAndLogging) {
    struct Row {
        int tick;
        const char* text;
        bool log;
        int stamp;
        const char* logged;
    };
    const Row rows[] = {
        {0, "before the first second", true, 1, "before the first second\n"},
        {7, "seven", true, 7, "seven\n"},
        {7, "quiet", false, 7, ""},
        {9, "", true, 0, ""},  // an empty text shows a plain band
    };
    for (const auto& r : rows) {
        const std::string before = logText();
        const int invalidations = sink.statusInvalidations;
        g_tickCount = r.tick;
        gf_setStatusLine(r.text, r.log);
        const auto s = gf_statusLineSnapshot();
        EXPECT_EQ(s.statusText, r.text);
        EXPECT_EQ(s.stamp, r.stamp) << r.text;
        EXPECT_EQ(logText().substr(before.size()), r.logged) << r.text;
        EXPECT_EQ(sink.statusInvalidations, invalidations + 1) << r.text;
    }
}

TEST_F(StatusLineTest, TextClearsItself25TicksAfterItWasSet) {
    gf_setStatusLine("early", true);  // stamp 1
    while (g_tickCount < 25) tick();
    EXPECT_EQ(status(), "early");
    tick();  // 26
    EXPECT_EQ(status(), "");
    EXPECT_EQ(gf_statusLineSnapshot().stamp, 0);

    gf_setStatusLine("first", false);  // stamp 26
    for (int i = 0; i < 10; ++i) tick();
    gf_setStatusLine("second", false);  // stamp 36 restarts the count
    for (int i = 0; i < 24; ++i) tick();
    EXPECT_EQ(status(), "second");
    tick();
    EXPECT_EQ(status(), "");
    EXPECT_EQ(logText(), "early\n");  // the clearing logs nothing
}

// A message its owner renews more slowly than every 25 ticks lives as long
// as it was given; the texts after it live 25 ticks again. Clearing a
// message that is no longer shown leaves the text shown alone.
TEST_F(StatusLineTest, LastingTextLivesItsOwnTimeAndClearsOnlyItself) {
    struct Row {
        const char* what;
        bool lasting;        // set with a life of 33 ticks, else a plain text
        int shownTicks;      // ticks after which it is still shown
        const char* clearIf; // cleared this way right after it was set
        bool clearedByIf;
    };
    const Row rows[] = {
        {"lasting", true, 32, nullptr, false},
        {"plain after lasting", false, 24, nullptr, false},
        {"lasting, cleared as itself", true, 0, "lasting, cleared as itself", true},
        {"plain, another text cleared", false, 24, "lasting", false},
    };
    g_tickCount = 10;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        if (r.lasting) {
            gf_setLastingStatusLine(r.what, false, 33);
        } else {
            gf_setStatusLine(r.what, false);
        }
        if (r.clearIf) gf_clearStatusLineIf(r.clearIf);
        if (r.clearedByIf) {
            EXPECT_EQ(status(), "");
            continue;
        }
        for (int i = 0; i < r.shownTicks; ++i) tick();
        EXPECT_EQ(status(), r.what);
        tick();
        EXPECT_EQ(status(), "");
    }
}

TEST_F(StatusLineTest, ErrorModeDropsStatusTextsForGood) {
    gf_setStatusLine("working", false);
    gf_setErrorLine("first failure");
    auto s = gf_statusLineSnapshot();
    EXPECT_EQ(s.statusText, "");
    EXPECT_EQ(s.stamp, 0);
    EXPECT_EQ(s.errorText, "first failure");

    g_tickCount = 5;
    gf_setStatusLine("while in error", true);
    gf_clearStatusLine();
    s = gf_statusLineSnapshot();
    EXPECT_EQ(s.statusText, "");
    EXPECT_EQ(s.stamp, 0);
    EXPECT_EQ(s.errorText, "first failure");

    gf_setErrorLine("second failure");
    EXPECT_EQ(gf_statusLineSnapshot().errorText, "second failure");

    gf_emptyErrorText();
    s = gf_statusLineSnapshot();
    EXPECT_EQ(s.errorText, "");
    EXPECT_EQ(s.statusText, "");  // the dropped text does not come back
    EXPECT_EQ(logText(), "Error first failure\nError second failure\n");

    gf_setStatusLine("normal again", true);
    EXPECT_EQ(status(), "normal again");
}

// The settings notice and the park airport's notice share the line above
// the status or error text, the settings one first; neither is timed, and
// an error does not hide them.
TEST_F(StatusLineTest, NoticesShareTheLineAboveTheText) {
    struct Row {
        const char* settings;
        const char* airport;
        const char* notice;
    };
    const Row rows[] = {
        {"", "", ""},
        {"parameters.xml could not be read", "", "parameters.xml could not be read"},
        {"", "EHAM.xml is damaged", "EHAM.xml is damaged"},
        {"parameters.xml could not be read", "EHAM.xml is damaged",
         "parameters.xml could not be read   EHAM.xml is damaged"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.notice);
        gf_resetStatusLine();
        g_tickCount = 1;
        gf_setSettingsNotice(row.settings);
        gf_setAirportNotice(row.airport);
        gf_setStatusLine("Parking adjustments: 0 to be removed, 2 to be added", false);
        StatusBandLook look = gf_statusBandLook(gf_statusLineSnapshot());
        EXPECT_EQ(look.notice, row.notice);
        EXPECT_EQ(look.text, "Parking adjustments: 0 to be removed, 2 to be added");
        EXPECT_EQ(look.textY, *row.notice ? kBelowNoticeTextY : kStatusTextY);
        while (g_tickCount < 40) tick();
        gf_setErrorLine("65: Parameter altitude not found in EHAM.xml");
        look = gf_statusBandLook(gf_statusLineSnapshot());
        EXPECT_EQ(look.notice, row.notice);
        EXPECT_EQ(look.text, "65: Parameter altitude not found in EHAM.xml");
    }
    // Leaving the airport takes its notice away, the settings notice stays.
    gf_setAirportNotice("");
    EXPECT_EQ(gf_statusBandLook(gf_statusLineSnapshot()).notice, "parameters.xml could not be read");
}

TEST_F(StatusLineTest, ShownButNotLoggedDuringAStop) {
    for (auto* flag : {&g_runStopping, &g_userClosing}) {
        gf_resetStatusLine();
        *flag = true;
        gf_setStatusLine("closing", true);
        EXPECT_EQ(status(), "closing");
        gf_setErrorLine("while closing");
        EXPECT_EQ(gf_statusLineSnapshot().errorText, "while closing");
        *flag = false;
    }
    EXPECT_EQ(logText(), "");
}

TEST_F(StatusLineTest, ThreadsNeverSeeAMixedState) {
    std::atomic<bool> done{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t) {
        writers.emplace_back([t] {
            const std::string text(64, static_cast<char>('a' + t));
            for (int i = 0; i < 300; ++i) {
                gf_setStatusLine(text, true);
                if (t == 0 && i % 50 == 0) gf_setErrorLine(std::string(64, 'E'));
                if (t == 1 && i % 50 == 25) gf_emptyErrorText();
            }
        });
    }
    std::thread reader([&] {
        while (!done) {
            const auto s = gf_statusLineSnapshot();
            if (!s.errorText.empty()) {
                ASSERT_EQ(s.statusText, "");
                ASSERT_EQ(s.errorText, std::string(64, 'E'));
            }
            if (!s.statusText.empty()) {
                ASSERT_EQ(s.statusText.size(), 64u);
                ASSERT_EQ(s.statusText.find_first_not_of(s.statusText[0]), std::string::npos);
            }
        }
    });
    for (auto& w : writers) w.join();
    done = true;
    reader.join();
}
