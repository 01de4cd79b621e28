#include "core/download.h"
#include "support/test_files.h"

#include "core/log.h"
#include "core/run_flags.h"
#include "sitestub_process.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <thread>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

using test_files::readAll;
using test_files::writeFile;

// Every byte value, CR and LF among them, so a text-mode slip would show.
std::string randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes(count, '\0');
    for (auto& b : bytes) b = static_cast<char>(rng() & 0xFF);
    return bytes;
}

void setSiteBase(const char* value) {
#ifdef _WIN32
    _putenv_s("GLIM_SITE_BASE_URL", value ? value : "");
#else
    if (value) {
        setenv("GLIM_SITE_BASE_URL", value, 1);
    } else {
        unsetenv("GLIM_SITE_BASE_URL");
    }
#endif
}

// Temporary files a download left beside its targets.
std::string partFiles(const fs::path& dir) {
    std::string names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == ".part") names += entry.path().filename().string() + " ";
    }
    return names;
}

using CurlHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
CurlHandle newHandle() { return CurlHandle(curl_easy_init(), &curl_easy_cleanup); }

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // Test binaries of several build trees may run at once: each run gets
        // folders of its own.
        dir = fs::temp_directory_path() / (std::string("glim_download_") + info->test_suite_name() + "_" +
                                           info->name() + "_" + std::to_string(std::random_device{}()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
        gf_resetRunFlags();
        gf_resetDownloadLimits();
        setSiteBase(nullptr);
    }
    void TearDown() override {
        gf_logClose();
        gf_resetRunFlags();
        gf_resetDownloadLimits();
        setSiteBase(nullptr);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string log() {
        gf_logFlush();
        return readAll(dir / "Log.txt");
    }
    fs::path dir;
};

// Tests that need the stand-in download site. It serves dir/site; a few files
// misbehave on purpose.
class SiteDownloadTest : public DownloadTest {
protected:
    void SetUp() override {
        DownloadTest::SetUp();
        site = dir / "site";
        payload = randomBytes(200 * 1024, 7);
        writeFile(site / "files" / "whole.bin", payload);
        writeFile(site / "files" / "stall.bin", payload);
        writeFile(site / "files" / "cut.bin", payload);
        writeFile(site / "files" / "moved.bin", "<html>moved</html>");
        for (const char* name : {"trickle.bin", "claimed.bin", "unsized.bin", "slow-unsized.bin"}) {
            writeFile(site / "files" / name, std::string(3000, 'x'));
        }
        std::string whyNot;
        stub = SiteStubProcess::start(
            site,
            {"--stall", "files/stall.bin", "--cut", "files/cut.bin", "--redirect", "files/moved.bin", "--trickle",
             "files/trickle.bin", "--trickle", "files/slow-unsized.bin", "--trickle-rate", "2000", "--claim",
             "files/claimed.bin", "--unsized", "files/unsized.bin", "--unsized", "files/slow-unsized.bin", "--claim-bytes",
             "2097152"},
            whyNot);
        if (!stub) GTEST_SKIP() << whyNot;
    }
    void TearDown() override {
        stub.reset();
        DownloadTest::TearDown();
    }
    std::string url(const std::string& name) const { return stub->baseUrl() + name; }

    fs::path site;
    std::string payload;
    std::unique_ptr<SiteStubProcess> stub;
};

}  // namespace

TEST_F(DownloadTest, WithoutAHandleNothingHappens) {
    EXPECT_FALSE(gf_downloadFile(nullptr, "http://127.0.0.1:1/x", dir / "out.bin", true));
    EXPECT_FALSE(fs::exists(dir / "out.bin"));
    EXPECT_EQ(partFiles(dir), "");
    EXPECT_EQ(log(), "");
}

TEST_F(DownloadTest, OutputInAMissingFolderIsReportedBeforeAnyRequest) {
    const auto handle = newHandle();
    const fs::path target = dir / "no such folder" / "out.bin";
    EXPECT_FALSE(gf_downloadFile(handle.get(), "http://127.0.0.1:1/x", target, true));
    EXPECT_EQ(log(), "Could not open output file: " + target.string() + "\n");
}

TEST_F(DownloadTest, SiteBaseComesFromTheEnvironmentAndEndsInASlash) {
    EXPECT_EQ(gf_siteBaseUrl(), std::string(kDefaultSiteBaseUrl));
    EXPECT_EQ(gf_siteBaseUrl().rfind("https://", 0), 0u);
    setSiteBase("http://127.0.0.1:8123/downloads/");
    EXPECT_EQ(gf_siteBaseUrl(), "http://127.0.0.1:8123/downloads/");
    setSiteBase("http://127.0.0.1:8123/downloads");
    EXPECT_EQ(gf_siteBaseUrl(), "http://127.0.0.1:8123/downloads/");
}

TEST_F(DownloadTest, SiteFileUrlUsesTheProgramMajorVersion) {
    // Nothing listens on port 1: the attempt fails at once, which is enough to
    // see the URL it was made for.
    setSiteBase("http://127.0.0.1:1/downloads/");
    writeFile(dir / "versions.json", "old");
    EXPECT_FALSE(gf_downloadFromSite("versions.json", dir / "versions.json"));
    const std::string text = log();
    EXPECT_NE(text.find("Download error: '"), std::string::npos) << text;
    EXPECT_NE(text.find("==> Downloading 'http://127.0.0.1:1/downloads/11/versions.json' failed !\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(readAll(dir / "versions.json"), "old");
    EXPECT_EQ(partFiles(dir), "");
}

TEST_F(SiteDownloadTest, AWholeFileArrivesAndReplacesTheOldOne) {
    const auto handle = newHandle();
    const fs::path target = dir / "whole.bin";
    writeFile(target, "previous content");
    ASSERT_TRUE(gf_downloadFile(handle.get(), url("files/whole.bin"), target, true)) << log();
    EXPECT_EQ(readAll(target), payload);
    EXPECT_EQ(partFiles(dir), "");
    EXPECT_EQ(log(), "");

    // The same handle serves a second download.
    ASSERT_TRUE(gf_downloadFile(handle.get(), url("files/whole.bin"), dir / "again.bin", true));
    EXPECT_EQ(readAll(dir / "again.bin"), payload);
}

// libcurl takes a proxy from http_proxy and ALL_PROXY by itself: the site on
// this computer is reached directly, past a proxy that answers with a file of
// its own and past one that does not exist.
TEST_F(SiteDownloadTest, ASiteOnThisComputerIsNeverReachedThroughAProxy) {
    writeFile(dir / "proxy" / "files" / "whole.bin", "from the proxy");
    std::string whyNot;
    const auto proxy = SiteStubProcess::start(dir / "proxy", {}, whyNot);
    ASSERT_TRUE(proxy) << whyNot;
    gf_setDownloadLimits({5, 1, 600});
    const auto handle = newHandle();
    for (const std::string& address : {proxy->baseUrl(), std::string("http://10.255.255.1:3128/")}) {
        SCOPED_TRACE(address);
        setTestEnv("http_proxy", address);
        setTestEnv("ALL_PROXY", address);
        const fs::path target = dir / "direct.bin";
        EXPECT_TRUE(gf_downloadFile(handle.get(), url("files/whole.bin"), target, true)) << log();
        EXPECT_TRUE(readAll(target) == payload) << "the site's file, not the proxy's";
        setTestEnv("http_proxy", "");
        setTestEnv("ALL_PROXY", "");
    }
}

TEST_F(SiteDownloadTest, FailedTransfersKeepTheOldFileAndLogTheReason) {
    // Short limits so the stalled transfer gives up after about a second;
    // the whole files of the other rows arrive far faster than that.
    struct Row {
        const char* name;
        const char* reason;
        std::uint64_t maxBody_bytes;
    };
    const Row rows[] = {
        {"files/missing.bin", "HTTP response code said error", 1u << 20},
        {"files/stall.bin", "Timeout was reached", 1u << 20},
        {"files/cut.bin", "Transferred a partial file", 1u << 20},
        {"files/moved.bin", "HTTP status 302", 1u << 20},
        {"files/whole.bin", "Maximum file size exceeded", 1000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        gf_setDownloadLimits({5, 1000 * 1000, 1, row.maxBody_bytes});
        gf_logClose();
        ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
        const fs::path target = dir / "target.bin";
        writeFile(target, "previous content");
        const auto handle = newHandle();
        EXPECT_FALSE(gf_downloadFile(handle.get(), url(row.name), target, true));
        EXPECT_EQ(log(), std::string("Download error: '") + row.reason + "' for " + url(row.name) + "\n");
        EXPECT_EQ(readAll(target), "previous content");
        EXPECT_EQ(partFiles(dir), "");
    }
}

TEST_F(SiteDownloadTest, TextModeConvertsLineEndsWhereThePlatformDoes) {
    writeFile(site / "files" / "lines.txt", "a\nb\n");
    const auto handle = newHandle();
    ASSERT_TRUE(gf_downloadFile(handle.get(), url("files/lines.txt"), dir / "text.txt", false));
    ASSERT_TRUE(gf_downloadFile(handle.get(), url("files/lines.txt"), dir / "binary.txt", true));
#ifdef _WIN32
    EXPECT_EQ(readAll(dir / "text.txt"), "a\r\nb\r\n");
#else
    EXPECT_EQ(readAll(dir / "text.txt"), "a\nb\n");
#endif
    EXPECT_EQ(readAll(dir / "binary.txt"), "a\nb\n");
}

TEST_F(SiteDownloadTest, AFailedFirstDownloadLeavesNoFile) {
    const auto handle = newHandle();
    EXPECT_FALSE(gf_downloadFile(handle.get(), url("files/missing.bin"), dir / "new.bin", true));
    EXPECT_FALSE(fs::exists(dir / "new.bin"));
    EXPECT_EQ(partFiles(dir), "");
}

TEST_F(SiteDownloadTest, AStoppingRunAbortsTheTransfer) {
    // The stalled file would hold the transfer for the full low-speed time;
    // the stop flag must end it first.
    gf_setDownloadLimits({5, 1, 600});
    for (std::atomic<bool>* flag : {&g_runStopping, &g_userClosing}) {
        gf_resetRunFlags();
        flag->store(true);
        gf_logClose();
        ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
        const auto handle = newHandle();
        EXPECT_FALSE(gf_downloadFile(handle.get(), url("files/stall.bin"), dir / "stopped.bin", true));
        EXPECT_EQ(log(), "Download error: 'Operation was aborted by an application callback' for " +
                             url("files/stall.bin") + "\n");
        EXPECT_FALSE(fs::exists(dir / "stopped.bin"));
    }
}

TEST_F(SiteDownloadTest, SiteDownloadsComeFromTheMajorVersionFolder) {
    writeFile(site / "downloads" / "11" / "dbase.enc", payload);
    writeFile(site / "downloads" / "11" / "docs" / "ReleaseNotes.pdf", "notes");
    setSiteBase((stub->baseUrl() + "downloads/").c_str());

    const fs::path target = dir / "dbase.enc";
    ASSERT_TRUE(gf_downloadFromSite("dbase.enc", target)) << log();
    EXPECT_EQ(readAll(target), payload);
    ASSERT_TRUE(gf_downloadFromSite("docs/ReleaseNotes.pdf", dir / "ReleaseNotes.pdf")) << log();
    EXPECT_EQ(readAll(dir / "ReleaseNotes.pdf"), "notes");

    EXPECT_EQ(log(), "Downloaded '" + stub->baseUrl() + "downloads/11/dbase.enc' to '" + target.string() + "'\n" +
                         "Downloaded '" + stub->baseUrl() + "downloads/11/docs/ReleaseNotes.pdf' to '" +
                         (dir / "ReleaseNotes.pdf").string() + "'\n");
}

// A newer fetch into the same file ends the older one, which then writes
// nothing: the file holds the newer answer whole.
TEST_F(SiteDownloadTest, ANewerDownloadOfTheSameFileEndsTheOlderOne) {
    gf_setDownloadLimits({5, 1, 600});
    const fs::path target = dir / "park_airport.xml";
    bool olderOk = true;
    std::thread older([&] {
        const auto handle = newHandle();
        olderOk = gf_downloadFile(handle.get(), url("files/stall.bin"), target, true);
    });
    // The older transfer has begun once its temporary file is there.
    for (int i = 0; i < 2000 && partFiles(dir).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto handle = newHandle();
    const bool newerOk = gf_downloadFile(handle.get(), url("files/whole.bin"), target, true);
    older.join();
    EXPECT_TRUE(newerOk) << log();
    EXPECT_FALSE(olderOk);
    EXPECT_EQ(readAll(target), payload);
    EXPECT_EQ(partFiles(dir), "");

    // Ending the downloads into a file waits for the running one.
    std::thread third([&] {
        const auto h = newHandle();
        olderOk = gf_downloadFile(h.get(), url("files/stall.bin"), target, true);
    });
    for (int i = 0; i < 2000 && partFiles(dir).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    gf_endDownloadsInto(target);
    EXPECT_EQ(partFiles(dir), "");
    third.join();
    EXPECT_FALSE(olderOk);
    EXPECT_EQ(readAll(target), payload);
}

// What one file may cost: its size cap holds while it comes, whatever the
// server announces, and its time limit grows with what arrived, so a steady
// file arrives while a trickle ends on time. The trickling files come at
// 2000 bytes a second: 3000 bytes take 1.5 s; the padded ones are 2 MiB.
TEST_F(SiteDownloadTest, EachFileKeepsItsSizeAndTimeWhileItComes) {
    struct Row {
        const char* what;
        const char* name;
        DownloadCaps caps;
        const char* reason;  // empty: the file arrives
        double atMost_s;
    };
    const Row rows[] = {
        {"a trickle past its time", "files/trickle.bin", {1u << 20, 1, 0}, "took longer than 1 s", 3},
        {"the same trickle earns its time", "files/trickle.bin", {1u << 20, 1, 1000}, "", 5},
        {"a trickle of no announced length", "files/slow-unsized.bin", {1u << 20, 1, 0}, "took longer than 1 s", 3},
        {"announced beyond the cap", "files/claimed.bin", {1u << 20, 60, 0}, "Maximum file size exceeded", 3},
        {"no length announced, counted", "files/unsized.bin", {1u << 20, 60, 0}, "larger than 1048576 bytes", 5},
        {"no length announced, within the cap", "files/unsized.bin", {3u << 20, 60, 0}, "", 10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        gf_logClose();
        ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
        const fs::path target = dir / "target.bin";
        writeFile(target, "previous content");
        const auto handle = newHandle();
        DownloadFailure failure;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = gf_downloadFile(handle.get(), url(row.name), target, true, row.caps, &failure);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took.count(), row.atMost_s);
        EXPECT_EQ(partFiles(dir), "");
        if (std::string(row.reason).empty()) {
            EXPECT_TRUE(ok) << log();
            EXPECT_NE(readAll(target), "previous content");
            continue;
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(failure.reason, row.reason);
        EXPECT_EQ(failure.outOfTime, std::string(row.reason).rfind("took longer", 0) == 0);
        EXPECT_EQ(log(), std::string("Download error: '") + row.reason + "' for " + url(row.name) + "\n");
        EXPECT_EQ(readAll(target), "previous content");
    }
    // Whatever a file's own limit, none takes longer than the overall one.
    gf_setDownloadLimits({5, 1, 600, 1u << 30, 1});
    DownloadFailure failure;
    EXPECT_FALSE(gf_downloadFile(newHandle().get(), url("files/trickle.bin"), dir / "t.bin", true,
                                 {1u << 20, 60, 1000}, &failure));
    EXPECT_EQ(failure.reason, "took longer than 1 s");
}
