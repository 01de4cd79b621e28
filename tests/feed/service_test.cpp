// The clients and readers against the service stand-in: every status of
// every request kind, transfer faults, the exact form bodies, stops and one
// whole session. Natively the stand-in is a child process; under Wine the
// native stand-in is started through Wine, so the Windows build's libcurl is
// the one that talks to it.
#include "core/clock.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "core/user_error.h"
#include "feed/feed_entry_read.h"
#include "feed/feed_window_values.h"
#include "feed/login.h"
#include "feed/reader_services.h"
#include "feed/traffic_reader.h"
#include "feed/weather_reader.h"
#include "feed_test_env.h"
#include "heap_in_use.h"
#include "rtstub_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <numeric>
#include <thread>
#include <vector>

using nlohmann::json;

namespace {

constexpr const char* kGuid = "9f1c&e=2+x%41";
constexpr const char* kGuidForm = "9f1c%26e%3D2%2Bx%2541";
// The stand-in announces and enforces this pace; the clients accept it.
constexpr int kFastPace_ms = 10;

bool waitFor(const std::function<bool()>& done, int limit_ms = 15000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

// A thread of a test that is stopped (its flags raised) and joined however
// the test leaves, so a failed wait fails the test instead of the process.
class ReaderThread {
public:
    ReaderThread(std::initializer_list<std::atomic<bool>*> stops, std::function<void()> body)
        : m_stops(stops), m_thread(std::move(body)) {}
    ~ReaderThread() {
        for (auto* stop : m_stops) *stop = true;
        join();
    }
    void join() {
        if (m_thread.joinable()) m_thread.join();
    }

private:
    std::vector<std::atomic<bool>*> m_stops;
    std::thread m_thread;
};

class Service : public ::testing::Test {
protected:
    // A stub per test: its scenario clock starts with the test.
    void SetUp() override {
        setTestEnv("GLIM_RT_LICENSE", "lic&=+%x");
        gf_resetRtCredential();
        gf_rtPaceLimits().min_ms = 1;
        gf_rtTransferLimits() = RtTransferLimits{5000, 5000};
        std::string whyNot;
        stub = RtStubProcess::start({"amsterdam.json", kFastPace_ms, kFastPace_ms}, whyNot);
        if (!stub) {
#ifdef _WIN32
            GTEST_SKIP() << whyNot;
#else
            FAIL() << whyNot;
#endif
        }
        setTestEnv("GLIM_RT_BASE_URL", stub->baseUrl());
        login();
        env.stops.clear();
        env.sleeps.clear();
    }
    void TearDown() override {
        stub.reset();
        setTestEnv("GLIM_RT_BASE_URL", "");
        setTestEnv("GLIM_RT_LICENSE", "");
        gf_resetRtCredential();
        gf_rtPaceLimits() = RtPaceLimits{};
        gf_rtTransferLimits() = RtTransferLimits{};
    }

    // A session the stub knows, for the requests after the login; the
    // records and the pace start afresh. The login keeps the ordinary
    // limits: a row's short time-out is for the request under test, and a
    // loaded machine can take longer than that for a whole login.
    void login() {
        const RtTransferLimits rowLimits = gf_rtTransferLimits();
        gf_rtTransferLimits() = RtTransferLimits{};
        WeatherReader weather;
        int status = 0;
        const bool loggedIn = authenticate(weather, status);
        gf_rtTransferLimits() = rowLimits;
        ASSERT_TRUE(loggedIn);
        stub->reset();
    }

    // How one request kind ends when the stub answers it with `step`.
    std::string outcome(const std::string& kind, const json& step);

    std::unique_ptr<RtStubProcess> stub;
    RecordingFeedEnv env;
    // How long a reader loop may take to refuse an answer and ask again: a
    // flood of 15 MiB takes seconds to unpack and parse on a loaded machine.
    int settleLimit_ms = 15000;
};

std::string lf_stopText(const RecordingFeedEnv& env) {
    if (env.stops.empty()) return "no stop";
    return env.stops.back().restart ? "stop, restart" : "stop";
}

std::string Service::outcome(const std::string& kind, const json& step) {
    login();
    stub->script(kind, json::array({step}));
    env.stops.clear();
    TrafficReader traffic;
    WeatherReader weather;
    traffic.GUID = weather.GUID = kGuid;
    traffic.rrl = weather.wrrl = kFastPace_ms;

    if (kind == "auth") {
        // Left set by an earlier run whose logout failed: only this login
        // may set it again.
        g_authenticated = true;
        std::string result;
        try {
            Authenticater(weather, traffic);
            result = !env.stops.empty() ? lf_stopText(env) : (traffic.GUID.empty() ? "no GUID" : "logged in");
        } catch (const ozr::UserErrorException& e) {
            result = std::string("user error: ") + e.what();
        } catch (const std::runtime_error& e) {
            result = std::string("error: ") + e.what();
        }
        EXPECT_EQ(g_authenticated.load(), result == "logged in") << step.dump();
        return result;
    }
    if (kind == "deauth") {
        traffic.deauthenticate();
        return traffic.GUID.empty() ? "logged out" : "still in";
    }
    if (kind == "buffer") {
        int status = 0;
        return traffic.buffer(status) ? "taken" : "skipped";
    }
    if (kind == "parked") {
        const std::uint64_t number = traffic.postParkedRequest(FeedBox{});
        traffic.parkedtraffic();
        int status = -7;
        std::vector<ParkedRecord> records;
        if (!traffic.takeParkedAnswer(number, status, records)) return "no answer";
        return "parked " + std::to_string(status);
    }
    // The reader loops: the reader either ends (and stops the run) or goes
    // on with its next request, which tells retry from going on.
    std::thread thread;
    std::atomic<bool>* finished;
    if (kind == "live") {
        thread = std::thread([&] { gf_runTrafficReader(traffic, weather); });
        finished = &traffic.finished;
    } else {
        thread = std::thread([&] { gf_runWeatherReader(weather, traffic); });
        finished = &weather.finished;
    }
    std::string next;
    const bool settled = waitFor([&] {
        if (finished->load()) return true;
        bool seen = false;
        for (const auto& r : stub->records()) {
            const std::string k = r.value("kind", "");
            if (seen && (k == "live" || k == "nearestmetar" || k == "weather")) {
                next = k;
                return true;
            }
            if (k == kind) seen = true;
        }
        return false;
    }, settleLimit_ms);
    traffic.stop = true;
    weather.stop = true;
    thread.join();
    if (!settled) return "hung";
    if (next.empty()) return "ends, " + lf_stopText(env);
    if (kind == "nearestmetar") return next == "nearestmetar" ? "retried" : "goes on";
    return "goes on";
}

json statusAnswer(const json& status) { return json{{"answer", {{"status", status}, {"message", "m"}, {"GUID", "g-2"}}}}; }

struct StatusRow {
    const char* name;
    json step;  // null: the stub's own answer
    // Null for the kinds a row does not apply to.
    const char* auth;
    const char* deauth;
    const char* buffer;
    const char* live;
    const char* parked;
    const char* nearestmetar;
    const char* weather;
    // The stall outlasts a short transfer time-out, set for this row only.
    bool shortTimeout = false;
    // A lower answer cap for this row only (0: the test's own).
    std::size_t answerCap_bytes = 0;
};

// An answer whose one entry holds an array nested depth levels deep: the
// JSON library copies such a value recursively.
std::string nestedAnswer(int depth) {
    std::string deep = std::string(static_cast<std::size_t>(depth), '[') + std::string(static_cast<std::size_t>(depth), ']');
    std::string entry = "[" + deep;
    for (int i = 1; i < 48; ++i) entry += ",0";
    entry += "]";
    return R"({"status":200,"GUID":"g-2","data":{"buffer_4":{"a":)" + entry + R"(},"a":)" + entry + R"(,"b":[{"QNH":)" +
           deep + "}]}}";
}

TEST_F(Service, EveryStatusLeadsToItsOutcomeForEveryRequest) {
    LogCapture log;
    const std::string tooMany =
        "user error: 405: More than one RealTraffic session is not possible, do not run the RealTraffic app";
    const std::vector<StatusRow> rows = {
        {"200", nullptr, "logged in", "logged out", "taken", "goes on", "parked 0", "goes on", "goes on"},
        {"406", statusAnswer(406), "logged in", "still in", "skipped", "goes on", "parked 0", "retried", "goes on"},
        {"500", statusAnswer(500), "error: No RT database connection", "still in", "skipped", "ends, stop", "parked 500",
         "retried", "goes on"},
        {"400", statusAnswer(400), "stop, restart", "still in", "skipped", "ends, stop", "parked 400", "ends, stop",
         "ends, stop"},
        {"401", statusAnswer(401), "logged in", "still in", "skipped", "ends, stop, restart", "parked 401",
         "ends, stop, restart", "ends, stop, restart"},
        {"402", statusAnswer(402), "user error: 402: RealTraffic refused the licence: m (status 402), see Manual 2.2; licence from GLIM_RT_LICENSE", "still in", "skipped", "ends, stop", "parked 402", "retried",
         "ends, stop"},
        {"404", statusAnswer(404), "user error: 404: RealTraffic refused the licence: m (status 404), see Manual 2.2; licence from GLIM_RT_LICENSE", "still in", "skipped", "ends, stop", "parked 404", "retried",
         "ends, stop"},
        {"405", statusAnswer(405), tooMany.c_str(), "still in", "skipped", "ends, stop", "parked 405", "retried",
         "ends, stop"},
        {"418", statusAnswer(418), "logged in", "still in", "skipped", "ends, stop", "parked 418", "retried",
         "ends, stop"},
        {"none", json{{"answer", {{"message", "m"}, {"GUID", "g-2"}}}}, "logged in", "still in", "skipped", "ends, stop",
         "parked 100", "retried", "ends, stop"},
        // A status the service never sends: beyond int, or not a number at
        // all (a type error, caught by each request).
        {"status beyond int", statusAnswer(1e30), "logged in", "still in", "skipped", "ends, stop", "parked 2147483647",
         "retried", "ends, stop"},
        {"status as text", statusAnswer("200"), "logged in", "still in", "skipped", "goes on", "parked 1", "retried",
         "goes on"},
        // Faults of the transfer itself: every request fails and the readers go on.
        {"empty body", json{{"empty", true}}, "stop, restart", "still in", "skipped", "goes on", "parked 1", "retried",
         "goes on"},
        {"not JSON", json{{"body", "<html>busy</html>"}}, "stop, restart", "still in", "skipped", "goes on", "parked 1",
         "retried", "goes on"},
        // Hostile answers are refused as malformed ones, before the JSON
        // library recurses into them or memory fills up.
        {"nested 300000 deep", json{{"body", nestedAnswer(300000)}}, "stop, restart", "still in", "skipped", "goes on",
         "parked 1", "retried", "goes on"},
        {"gzip beyond the cap", json{{"gzip", {{"status", 200}, {"message", "m"}, {"GUID", "g-2"}}}, {"pad_bytes", 3 << 20}},
         "stop, restart", "still in", "skipped", "goes on", "parked 1", "retried", "goes on", false, 1 << 20},
        {"dropped connection", json{{"drop", true}}, "stop, restart", "still in", "skipped", "goes on", "parked 1",
         "retried", "goes on"},
        {"stall beyond the time-out", json{{"stall_ms", 3000}, {"status", 200}}, "stop, restart", "still in", "skipped",
         "goes on", "parked 1", "retried", "goes on", true},
        // A login without a session is a failed login, never a session.
        {"login without GUID", json{{"answer", {{"status", 200}}}}, "stop, restart", nullptr, nullptr, nullptr, nullptr,
         nullptr, nullptr},
        {"login with an empty GUID", json{{"answer", {{"status", 200}, {"GUID", ""}}}}, "stop, restart", nullptr, nullptr,
         nullptr, nullptr, nullptr, nullptr},
    };
    const std::vector<std::pair<const char*, const char* StatusRow::*>> kinds = {
        {"auth", &StatusRow::auth},     {"deauth", &StatusRow::deauth},           {"buffer", &StatusRow::buffer},
        {"live", &StatusRow::live},     {"parked", &StatusRow::parked},           {"nearestmetar", &StatusRow::nearestmetar},
        {"weather", &StatusRow::weather}};
    for (const StatusRow& row : rows) {
        for (const auto& [kind, column] : kinds) {
            const char* expected = row.*column;
            if (!expected) continue;
            SCOPED_TRACE(std::string(row.name) + " / " + kind);
            const json step = row.step.is_null() ? json::object() : row.step;
            if (row.shortTimeout) gf_rtTransferLimits() = RtTransferLimits{5000, 500};
            if (row.answerCap_bytes) gf_rtTransferLimits().maxAnswer_bytes = row.answerCap_bytes;
            EXPECT_EQ(outcome(kind, step), expected);
            gf_rtTransferLimits() = RtTransferLimits{5000, 5000};
        }
    }
    // The hostile answers are refused with a line each; none of them goes
    // into Log.txt whole.
    const std::string text = log.text();
    EXPECT_NE(text.find("answer nested deeper than 64 levels"), std::string::npos);
    EXPECT_NE(text.find("answer larger than 1048576 bytes"), std::string::npos);
    EXPECT_LT(text.size(), 200000u);
}

// Hostile answers: some 60 KB on the wire that unpack to tens of megabytes of
// tiny values, each of which costs the JSON library far more built than its
// few bytes of text. Every request refuses them as malformed answers while
// the heap stays within what one real answer needs; the refusal says why.
TEST_F(Service, AnswersThatUnfoldIntoGigabytesAreRefusedWithinBoundedMemory) {
    LogCapture log;
    const std::string head = R"({"status":200,"GUID":"g-2","data":[)";
    auto flood = [&](const char* unit, std::size_t count, const char* tail) {
        return json{{"flood", {{"head", head}, {"unit", unit}, {"count", count}, {"tail", tail}}}};
    };
    const struct {
        const char* name;
        json step;
    } floods[] = {
        // 60 MiB, beyond the answer cap.
        {"60 MiB of {}", flood("{},", std::size_t{20} << 20, "{}]}")},
        // 15 MiB, within the answer cap but far beyond the values of an answer.
        {"15 MiB of {}", flood("{},", std::size_t{5} << 20, "{}]}")},
        {"15 MiB of 0", flood("0,", std::size_t{15} << 19, "0]}")},
        {"15 MiB of \"\"", flood("\"\",", std::size_t{5} << 20, "\"\"]}")},
        // Texts just beyond the string's own short buffer, each with a heap
        // block of its own: the costliest shape while texts were charged at
        // a flat rate (24 characters passed the cap then; test_answer_cost
        // sweeps the lengths).
        {"15 MiB of 16-character texts", flood("\"abcdefghijklmnop\",", (std::size_t{15} << 20) / 19, "\"\"]}")},
    };
    const std::pair<const char*, const char*> kinds[] = {
        {"auth", "stop, restart"},  {"deauth", "still in"},        {"buffer", "skipped"}, {"live", "goes on"},
        {"parked", "parked 1"},     {"nearestmetar", "retried"},   {"weather", "goes on"}};
    constexpr std::size_t kHeapLimit_bytes = std::size_t{100} << 20;
    // The stand-in takes seconds to pack 60 MiB before the first byte: the
    // answer must reach its cap, not the time-out or the low-speed limit
    // (which left the stand-in still packing when the next login came).
    gf_rtTransferLimits() = RtTransferLimits{5000, 60000, 1000, 60};
    settleLimit_ms = 60000;
    for (const auto& f : floods) {
        for (const auto& [kind, expected] : kinds) {
            SCOPED_TRACE(std::string(f.name) + " / " + kind);
            const auto start = std::chrono::steady_clock::now();
            HeapPeak heap;
            EXPECT_EQ(outcome(kind, f.step), expected);
            const std::size_t peak_bytes = heap.peak_bytes();
            EXPECT_LT(peak_bytes, kHeapLimit_bytes);
            std::printf("%s / %s: heap peak %zu MB, %lld ms\n", f.name, kind, peak_bytes >> 20,
                        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                   std::chrono::steady_clock::now() - start)
                                                   .count()));
        }
    }
    const std::string text = log.text();
    EXPECT_NE(text.find("answer larger than 16777216 bytes"), std::string::npos);
    const std::string why = "\n          answer holds more than ";
    EXPECT_NE(text.find("authenticate: answer holds more than 10000 values"), std::string::npos);
    EXPECT_NE(text.find("buffer: answer holds more than 1500000 values"), std::string::npos);
    EXPECT_NE(text.find("receive: answer holds more than 1500000 values"), std::string::npos);
    EXPECT_NE(text.find("Deauthentication: invalid JSON" + why + "10000 values"), std::string::npos);
    EXPECT_NE(text.find("parkedtraffic: invalid JSON" + why + "1500000 values"), std::string::npos);
    EXPECT_NE(text.find("nearest metar: invalid JSON" + why + "10000 values"), std::string::npos);
    // The weather answer's start, then the reason.
    const std::size_t weatherLine = text.find("Invalid JSON: " + head);
    ASSERT_NE(weatherLine, std::string::npos);
    EXPECT_EQ(text.compare(text.find('\n', weatherLine), why.size(), why), 0);
    EXPECT_LT(text.size(), 200000u);
}

// A refused answer is logged with its reason, and the reason of the JSON
// library quotes the offending token whole: 15 MiB of digits, or a text of
// 15 MiB ending in a control character, once wrote 16 MB into Log.txt at
// every poll. Every request kind logs a few hundred bytes of it at most,
// with no raw control character; so does a service message of 1 MiB (a
// megabyte shows the rule as well as fifteen, in a fifteenth of the time).
TEST_F(Service, RefusedAnswersGrowTheLogByAFewKilobytesAtMost) {
    LogCapture log;
    const std::size_t units = (std::size_t{1} << 20) / 16;
    const std::string sixteen = "abcdefghijklmnop";
    auto flood = [&](const std::string& head, const std::string& unit, const std::string& tail) {
        return json{{"flood", {{"head", head}, {"unit", unit}, {"count", units}, {"tail", tail}}}};
    };
    const std::vector<std::string> malformed = {"stop, restart", "still in", "skipped", "goes on",
                                                "parked 1",      "retried",  "goes on"};
    const struct {
        const char* name;
        json step;
        std::vector<std::string> outcomes;  // in the order of kinds below
    } rows[] = {
        {"1 MiB of digits", flood(R"({"status":200,"GUID":"g-2","rrl":10,"data":[)", "1111111111111111", "]}"),
         malformed},
        {"1 MiB text ending in 0x01", flood(R"({"status":200,"GUID":"g-2","data":{"QNH":")", sixteen, "\x01\"}}"),
         malformed},
        // A message the traffic answers carry to the log.
        {"message of 1 MiB", flood(R"({"status":406,"GUID":"g-2","message":")", sixteen, "\"}"),
         {"", "", "skipped", "goes on", "parked 0", "", ""}},
    };
    const char* kinds[] = {"auth", "deauth", "buffer", "live", "parked", "nearestmetar", "weather"};
    constexpr std::size_t kMostPerAnswer_bytes = 2048;
    gf_rtTransferLimits() = RtTransferLimits{5000, 60000};
    settleLimit_ms = 60000;
    for (const auto& row : rows) {
        for (std::size_t k = 0; k < std::size(kinds); ++k) {
            if (row.outcomes[k].empty()) continue;
            SCOPED_TRACE(std::string(row.name) + " / " + kinds[k]);
            const std::size_t before = log.text().size();
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(outcome(kinds[k], row.step), row.outcomes[k]);
            const std::size_t grown = log.text().size() - before;
            EXPECT_LT(grown, kMostPerAnswer_bytes);
            std::printf("%s / %s: Log.txt grew by %zu bytes, %lld ms\n", row.name, kinds[k], grown,
                        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                   std::chrono::steady_clock::now() - start)
                                                   .count()));
            std::fflush(stdout);
        }
    }
    const std::string text = log.text();
    EXPECT_NE(text.find("number overflow parsing '1111"), std::string::npos);
    EXPECT_NE(text.find(" bytes in all)"), std::string::npos);
    const auto raw = std::find_if(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\n') || u == 0x7F;
    });
    EXPECT_EQ(raw, text.end()) << "raw control character at " << (raw - text.begin());
}

// libcurl takes a proxy from http_proxy and ALL_PROXY by itself: a service on
// this computer (where plain http is allowed) must never be reached through
// one, or the licence would leave the computer in clear text. A proxy that
// answers, and one that does not exist.
TEST_F(Service, AServiceOnThisComputerIsNeverReachedThroughAProxy) {
    std::string whyNot;
    auto proxy = RtStubProcess::start({"amsterdam.json", kFastPace_ms, kFastPace_ms}, whyNot);
    ASSERT_TRUE(proxy) << whyNot;
    for (const std::string& address : {proxy->baseUrl(), std::string("http://10.255.255.1:3128")}) {
        SCOPED_TRACE(address);
        setTestEnv("http_proxy", address);
        setTestEnv("ALL_PROXY", address);
        stub->reset();
        TrafficReader traffic;
        WeatherReader weather;
        Authenticater(weather, traffic);
        EXPECT_EQ(traffic.GUID, kGuid);
        EXPECT_EQ(stub->records("auth").size(), 1u);
        int status = 0;
        EXPECT_TRUE(weather.nearestmetar(status));
        traffic.deauthenticate();
        EXPECT_EQ(stub->records("deauth").size(), 1u);
        EXPECT_TRUE(proxy->records().empty());
        setTestEnv("http_proxy", "");
        setTestEnv("ALL_PROXY", "");
    }
    EXPECT_TRUE(env.stops.empty());
}

TEST_F(Service, FormBodiesCarryTheFieldsInOrderAndEncoded) {
    TrafficReader traffic;
    WeatherReader weather;
    Authenticater(weather, traffic);
    ASSERT_EQ(traffic.GUID, kGuid);
    EXPECT_EQ(weather.rrl, kFastPace_ms);
    EXPECT_EQ(weather.wrrl, kFastPace_ms);
    EXPECT_EQ(env.sleeps, std::vector<int>{kFastPace_ms});

    int status = 0;
    traffic.toffset = 90;
    ASSERT_TRUE(traffic.buffer(status));
    ReaderThread worker({}, [&] {
        env.park = FeedAirport{true, 52.3086, 4.7639, -11};
        gf_requestParkedTraffic(traffic, 5000);
    });
    ASSERT_TRUE(waitFor([&] { return traffic.parkedRequest.load(); }));
    traffic.parkedRequest = false;
    traffic.parkedtraffic();
    worker.join();
    ASSERT_TRUE(weather.nearestmetar(status));
    weather.toffset = 5;

    const auto auth = stub->records("auth");
    ASSERT_EQ(auth.size(), 1u);
    EXPECT_EQ(auth[0]["body"], "license=lic%26%3D%2B%25x&software=GLIM_P3D_11.10.5");
    EXPECT_EQ(auth[0]["form"]["license"], "lic&=+%x");
    const auto buffer = stub->records("buffer");
    ASSERT_EQ(buffer.size(), 1u);
    EXPECT_EQ(buffer[0]["body"], std::string("GUID=") + kGuidForm +
                                     "&top=52.44&bottom=52.17&left=4.54&right=4.98&querytype=locationtraffic&toffset=90"
                                     "&buffercount=5&buffertime=6");
    EXPECT_EQ(buffer[0]["form"]["GUID"], kGuid);
    const auto parked = stub->records("parked");
    ASSERT_EQ(parked.size(), 1u);
    EXPECT_EQ(parked[0]["body"], std::string("GUID=") + kGuidForm +
                                     "&top=52.36&bottom=52.26&left=4.68&right=4.85&querytype=parkedtraffic&toffset=90");
    const auto metar = stub->records("nearestmetar");
    ASSERT_EQ(metar.size(), 1u);
    EXPECT_EQ(metar[0]["body"], std::string("GUID=") + kGuidForm + "&toffset=0&lat=52.3100&lon=4.7600");
    EXPECT_EQ(weather.airports, "EHAM");

    // The weather request goes with the loop; one cycle is enough.
    env.user.alt_ft = -20.7;
    ReaderThread reader({&weather.stop}, [&] { gf_runWeatherReader(weather, traffic); });
    ASSERT_TRUE(waitFor([&] { return stub->records("weather").size() >= 1; }));
    weather.stop = true;
    reader.join();
    EXPECT_EQ(stub->records("weather")[0]["body"],
              std::string("GUID=") + kGuidForm + "&querytype=locwx&toffset=5&lat=52.3100&lon=4.7600&alt=0&airports=EHAM");

    // A live poll: the snapshots come first, then the poll with the box.
    ReaderThread poller({&traffic.stop}, [&] { gf_runTrafficReader(traffic, weather); });
    ASSERT_TRUE(waitFor([&] { return stub->records("live").size() >= 1; }));
    traffic.stop = true;
    poller.join();
    EXPECT_EQ(stub->records("live")[0]["body"],
              std::string("GUID=") + kGuidForm +
                  "&top=52.44&bottom=52.17&left=4.54&right=4.98&querytype=locationtraffic&toffset=90");

    traffic.deauthenticate();
    const auto deauth = stub->records("deauth");
    ASSERT_EQ(deauth.size(), 1u);
    EXPECT_EQ(deauth[0]["body"], std::string("GUID=") + kGuidForm);
    EXPECT_EQ(deauth[0]["answered"], 200);
}

// The worker side runs while the readers work: it takes the collected ids,
// moves the box and changes BLOCK_CALLSIGN through the real settings, which
// the reader copies once per answer (a data race here shows under the thread
// sanitizer).
TEST_F(Service, OneSessionFromLoginToLogout) {
    TrafficReader traffic;
    WeatherReader weather;
    env.useCoreSettings = true;
    g_qnhShown = 0;
    g_authenticated = false;
    Authenticater(weather, traffic);
    ASSERT_TRUE(g_authenticated.load());
    traffic.filterLat = 52.31;
    traffic.filterLon = 4.76;
    env.feedSettings.currentAirport = FeedAirport{true, 52.3086, 4.7639, -11};
    gf_updateTrafficBox(traffic, 52.31, 4.76, 40.0);

    ReaderThread weatherThread({&weather.stop}, [&] { gf_runWeatherReader(weather, traffic); });
    ASSERT_TRUE(waitFor([] { return g_qnhShown.load() != 0; }));
    EXPECT_EQ(g_qnhShown.load(), 1020);
    EXPECT_EQ(traffic.qnh.load(), 1020);

    ReaderThread trafficThread({&traffic.stop}, [&] { gf_runTrafficReader(traffic, weather); });
    auto liveBatches = [&] {
        std::lock_guard lock(env.mutex);
        int n = 0;
        for (const auto& b : env.batches) n += b.delay_s == 30;
        return n;
    };
    std::set<std::uint32_t> collected;
    int turn = 0;
    ASSERT_TRUE(waitFor([&] {
        ++turn;
        BLOCK_CALLSIGN.setValue(turn % 2 ? "XYZ999" : "");
        gf_updateTrafficBox(traffic, 52.31 + (turn % 2) * 0.0002, 4.76, 40.0);
        for (std::uint32_t id : traffic.takeCollectedIds().hexids) collected.insert(id);
        traffic.collect = true;
        // Read as the lamps and the clock read them.
        (void)traffic.trafficCount.load();
        (void)gf_dataTime();
        return liveBatches() >= 3;
    }));
    BLOCK_CALLSIGN.setValue("");

    // Parked traffic on request, between two polls.
    env.park = FeedAirport{true, 52.3086, 4.7639, -11};
    EXPECT_TRUE(gf_requestParkedTraffic(traffic, 5000));
    std::set<std::string> stands;
    for (const auto& r : traffic.parkedRecords) stands.insert(r.standName);
    EXPECT_EQ(stands, (std::set<std::string>{"EHAM_D4", "EHAM_D6", "EHAM_E18"}));

    traffic.stop = true;
    weather.stop = true;
    trafficThread.join();
    weatherThread.join();
    EXPECT_TRUE(traffic.finished.load());
    EXPECT_TRUE(weather.finished.load());
    EXPECT_TRUE(env.stops.empty());
    traffic.deauthenticate();
    EXPECT_TRUE(traffic.GUID.empty());
    EXPECT_FALSE(g_authenticated.load());

    // Five snapshots with their delays, the oldest first, then live batches.
    std::lock_guard lock(env.mutex);
    ASSERT_GE(env.batches.size(), 8u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(env.batches[i].delay_s, i * 6);
    // The ground aircraft near the airport, the departure and the arrival; the
    // aircraft far away never.
    const std::set<std::uint32_t> amsterdam{0x484f6d, 0x4ca7b1, 0x4845c2};
    std::set<std::uint32_t> live;
    for (const auto& b : env.batches)
        for (const auto& r : b.records) live.insert(r.hexid);
    EXPECT_EQ(live, amsterdam);
    EXPECT_FALSE(collected.empty());
    for (std::uint32_t id : collected) EXPECT_TRUE(amsterdam.count(id)) << id;
    // The snapshots are older than the live polls.
    ASSERT_FALSE(env.batches[0].records.empty());
    ASSERT_FALSE(env.batches[4].records.empty());
    EXPECT_LT(env.batches[0].records[0].feedTime, env.batches[4].records[0].feedTime);
    // Never refused for the pace, never an unknown session.
    for (const auto& r : stub->records()) {
        EXPECT_NE(r.value("answered", 0), 406) << r.dump();
        EXPECT_NE(r.value("answered", 0), 401) << r.dump();
    }
    EXPECT_EQ(stub->records("deauth").size(), 1u);
}

// Closing down is never held by the service: a stop ends the long pause the
// service asked for (above 30 s, taken as asked), and a transfer the service
// holds open. A stop after the snapshots arrived is the run ending, not a
// reader fault.
TEST_F(Service, StopEndsTheReaderWithoutAnError) {
    gf_rtPaceLimits().min_ms = 10;
    gf_rtTransferLimits() = RtTransferLimits{5000, 30000};
    LogCapture log;
    {
        TrafficReader traffic;
        WeatherReader weather;
        traffic.GUID = kGuid;
        const json snapshots{{"buffer_0", json::object()}, {"buffer_4", json::object()}};
        stub->script("buffer", json::array({json{{"answer", {{"status", 200}, {"rrl", 45000}, {"data", snapshots}}}}}));
        ReaderThread thread({&traffic.stop}, [&] { gf_runTrafficReader(traffic, weather); });
        ASSERT_TRUE(waitFor([&] {
            std::lock_guard lock(env.mutex);
            return env.batches.size() == 5;
        }));
        traffic.stop = true;
        EXPECT_TRUE(waitFor([&] { return traffic.finished.load(); }, 10000));
        thread.join();
        EXPECT_TRUE(env.stops.empty());
        EXPECT_FALSE(weather.stop.load());
        EXPECT_EQ(traffic.rrl, 45000);
    }
    {
        TrafficReader traffic;
        WeatherReader weather;
        traffic.GUID = weather.GUID = kGuid;
        stub->reset();
        stub->script("nearestmetar", json::array({json{{"stall_ms", 60000}}}));
        ReaderThread thread({&weather.stop}, [&] { gf_runWeatherReader(weather, traffic); });
        ASSERT_TRUE(waitFor([&] { return stub->records("nearestmetar").size() == 1; }));
        weather.stop = true;
        EXPECT_TRUE(waitFor([&] { return weather.finished.load(); }, 10000));
        thread.join();
        EXPECT_TRUE(env.stops.empty());
        EXPECT_FALSE(traffic.stop.load());
    }
    const std::string text = log.text();
    EXPECT_EQ(text.find("buffer failed"), std::string::npos) << text;
    EXPECT_EQ(text.find("RT API error"), std::string::npos) << text;
}

TEST_F(Service, ParkedAnswerOfAnEarlierRequestIsNotTaken) {
    TrafficReader traffic;
    traffic.GUID = kGuid;
    const std::uint64_t first = traffic.postParkedRequest(FeedBox{});
    traffic.parkedtraffic();
    const std::uint64_t second = traffic.postParkedRequest(FeedBox{});
    int status = 0;
    std::vector<ParkedRecord> records;
    EXPECT_FALSE(traffic.takeParkedAnswer(second, status, records));
    EXPECT_TRUE(traffic.takeParkedAnswer(first, status, records));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(records.size(), 3u);
}

// What the login keeps of its answer: pauses only from integers, the
// server's name ("?" without one), and the plain sleep of wrrl before it
// returns.
TEST_F(Service, LoginKeepsPausesAndServerOfItsAnswer) {
    struct Row {
        const char* name;
        json answer;
        int rrl;
        int wrrl;
        const char* logged;
    };
    const Row rows[] = {
        {"pauses and server",
         {{"status", 200}, {"GUID", "g-1"}, {"rrl", 300}, {"wrrl", 5000}, {"server", "rt-7"}}, 300, 5000,
         "\nAuthenticated at RT server 'rt-7'\n"},
        {"pauses that are no integers", {{"status", 200}, {"GUID", "g-1"}, {"rrl", 300.0}, {"wrrl", 5000.0}}, 2000, 2000,
         "\nAuthenticated at RT server '?'\n"},
        {"status 406 is a login", {{"status", 406}, {"GUID", "g-1"}}, 2000, 2000, "Authenticated at RT server '?'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture log;
        stub->script("auth", json::array({json{{"answer", row.answer}}}));
        env.sleeps.clear();
        WeatherReader weather;
        int status = 0;
        ASSERT_TRUE(authenticate(weather, status));
        EXPECT_EQ(weather.GUID, "g-1");
        EXPECT_EQ(weather.rrl, row.rrl);
        EXPECT_EQ(weather.wrrl, row.wrrl);
        EXPECT_EQ(std::accumulate(env.sleeps.begin(), env.sleeps.end(), 0), row.wrrl);
        const std::string text = log.text();
        EXPECT_NE(text.find(row.logged), std::string::npos) << text;
        // The window shows the server the log names.
        EXPECT_NE(text.find("'" + gf_serviceText() + "'"), std::string::npos) << gf_serviceText();
    }
    // A close during the login ends its pause at once, however long the
    // service asked for.
    g_runStopping = true;
    stub->script("auth", json::array({json{{"answer", rows[0].answer}}}));
    env.sleeps.clear();
    {
        WeatherReader weather;
        int status = 0;
        EXPECT_TRUE(authenticate(weather, status));
    }
    g_runStopping = false;
    EXPECT_TRUE(env.sleeps.empty());
}

// A licence the user must mend stops the run with the reason and where the
// licence was looked for; an empty licence is never sent.
TEST_F(Service, LicenceProblemsStopTheRunWithTheReason) {
    const char* appData = std::getenv("GLIM_APPDATA");
    const std::string savedAppData = appData ? appData : "";
    const auto folder = std::filesystem::temp_directory_path() /
                        ("feed_licence_rows_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    const auto file = folder / "InsideSystems" / "RealTraffic.lic";
    const std::string where = file.string();
    struct Row {
        const char* name;
        const char* content;  // nullptr: no licence file
        json step;            // the service's answer, null: its own
        const char* outcome;
        const char* sent;     // the licence sent, nullptr: no login request
    };
    const std::string missing = "user error: 440: No RealTraffic licence: " + where + " not found, see Manual 2.2";
    const std::string noValue =
        "user error: 440: No RealTraffic licence: " + where + " holds no \"License\" value, see Manual 2.2";
    const std::string refused =
        "user error: 404: RealTraffic refused the licence: licence not found (status 404), see Manual 2.2; licence from " +
        where;
    // A licence file is a few dozen bytes: one beyond 64 KB is not read whole.
    const std::string licence = R"({"License": "lic-file"})";
    const std::string atCap = std::string(64 * 1024 - licence.size(), ' ') + licence;
    const std::string beyondCap = " " + atCap;
    const std::string tooLarge =
        "user error: 440: No RealTraffic licence: " + where + " is larger than 64 KB, no licence file, see Manual 2.2";
    const Row rows[] = {
        {"no licence file", nullptr, nullptr, missing.c_str(), nullptr},
        {"no License member", R"({"Licence": "x"})", nullptr, noValue.c_str(), nullptr},
        {"empty License", R"({"License": ""})", nullptr, noValue.c_str(), nullptr},
        {"junk", "\x01\x02 not json", nullptr, noValue.c_str(), nullptr},
        {"refused", R"({"License": "lic-file"})", json{{"status", 404}, {"message", "licence not found"}},
         refused.c_str(), "lic-file"},
        {"accepted", R"({"License": "lic-file"})", nullptr, "logged in", "lic-file"},
        {"64 KB", atCap.c_str(), nullptr, "logged in", "lic-file"},
        {"beyond 64 KB", beyondCap.c_str(), nullptr, tooLarge.c_str(), nullptr},
    };
    setTestEnv("GLIM_APPDATA", folder.string());
    setTestEnv("GLIM_RT_LICENSE", "");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(file.parent_path());
        if (row.content) std::ofstream(file, std::ios::binary) << row.content;
        gf_resetRtCredential();
        stub->reset();
        if (!row.step.is_null()) stub->script("auth", json::array({row.step}));
        WeatherReader weather;
        TrafficReader traffic;
        std::string outcome = "logged in";
        LogCapture log;
        try {
            Authenticater(weather, traffic);
        } catch (const ozr::UserErrorException& e) {
            outcome = std::string("user error: ") + e.what();
        }
        EXPECT_EQ(outcome, row.outcome);
        EXPECT_TRUE(env.stops.empty()) << "a licence problem is no fault to restart after";
        const auto auth = stub->records("auth");
        if (!row.sent) {
            EXPECT_TRUE(auth.empty());
        } else {
            ASSERT_EQ(auth.size(), 1u);
            EXPECT_EQ(auth[0]["form"]["license"], row.sent);
        }
        if (!row.step.is_null()) {
            EXPECT_NE(log.text().find("==> Authentication failed, status 404: licence not found\n"), std::string::npos)
                << log.text();
        }
    }
    setTestEnv("GLIM_APPDATA", savedAppData);
    std::filesystem::remove_all(folder);
}

// The snapshots go over oldest first with their delays, a missing snapshot
// as an empty batch in its place; a live answer without data is an empty
// batch too, which tells the clock that no traffic time is known.
TEST_F(Service, SnapshotsAndLiveBatchesKeepTheirDelays) {
    auto flight = [](const char* hexid) {
        json e = json::array();
        for (int i = 0; i < 48; ++i) e.push_back(0);
        e[0] = hexid;
        e[1] = 52.35;
        e[2] = 4.70;
        e[4] = 3000;
        e[5] = 220;
        e[8] = "B738";
        e[9] = "PH-BXA";
        e[10] = static_cast<double>(gf_systemTime() - 5);
        e[13] = "KLM1234";
        e[28] = "A3";
        return json{{hexid, e}};
    };
    const json snapshots{{"buffer_0", flight("484000")}, {"buffer_1", flight("484001")},
                         {"buffer_3", flight("484003")}, {"buffer_4", flight("484004")}};
    stub->script("buffer", json::array({json{{"answer", {{"status", 200}, {"rrl", kFastPace_ms}, {"data", snapshots}}}}}));
    stub->script("live", json::array({json{{"answer", {{"status", 200}, {"rrl", kFastPace_ms}}}}}));
    TrafficReader traffic;
    WeatherReader weather;
    traffic.GUID = kGuid;
    traffic.filterLat = 52.31;
    traffic.filterLon = 4.76;
    ReaderThread reader({&traffic.stop}, [&] { gf_runTrafficReader(traffic, weather); });
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(env.mutex);
        return env.batches.size() >= 6;
    }));
    traffic.stop = true;
    reader.join();
    EXPECT_TRUE(traffic.collect.load());

    const std::pair<int, const char*> expected[] = {{0, "484004"}, {6, "484003"}, {12, nullptr},
                                                    {18, "484001"}, {24, "484000"}, {30, nullptr}};
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const RecordedBatch& batch = env.batches[i];
        EXPECT_EQ(batch.delay_s, expected[i].first);
        if (!expected[i].second) {
            EXPECT_TRUE(batch.records.empty());
            continue;
        }
        ASSERT_EQ(batch.records.size(), 1u);
        EXPECT_EQ(batch.records[0].hexid, gf_parseHexid(expected[i].second));
    }
}

// Both reader bodies end at once without a session; the login has already
// stopped the run, and the other reader is stopped too.
TEST(ReaderBodies, WithoutASessionEndAtOnceAndStopTheRun) {
    RecordingFeedEnv env;
    {
        LogCapture log;
        TrafficReader traffic;
        WeatherReader weather;
        gf_runTrafficReader(traffic, weather);
        EXPECT_TRUE(traffic.finished.load());
        EXPECT_TRUE(weather.stop.load());
        EXPECT_EQ(g_trafficLamp.load(), 3);
        EXPECT_EQ(log.text(), "          Traffic Reader connected\n==> Traffic RT API error: 0\n");
    }
    {
        LogCapture log;
        TrafficReader traffic;
        WeatherReader weather;
        gf_runWeatherReader(weather, traffic);
        EXPECT_TRUE(weather.finished.load());
        EXPECT_TRUE(traffic.stop.load());
        EXPECT_EQ(g_weatherLamp.load(), 3);
        EXPECT_EQ(log.text(), "          Weather Reader connected\n==> Weather RT API error: 0\n");
    }
    ASSERT_EQ(env.stops.size(), 2u);
    EXPECT_EQ(env.stops[0].name, "Traffic Reader");
    EXPECT_FALSE(env.stops[0].restart);
    EXPECT_EQ(env.stops[1].name, "Weather Reader");
    EXPECT_FALSE(env.stops[1].restart);
}

// The QNH is kept within 900..1100 hPa; 1013 is published with every answer,
// any other unchanged value only once. A station list that is no list is a
// fault of the answer, logged, and the station is asked for again.
TEST_F(Service, WeatherPublishesTheQnhWithinItsRange) {
    auto weatherAnswer = [](const json& qnh) {
        return json{{"answer", {{"status", 200}, {"wrrl", kFastPace_ms}, {"data", {{"QNH", qnh}}}}}};
    };
    stub->script("weather", json::array({weatherAnswer(850), weatherAnswer(850), weatherAnswer(3307),
                                         weatherAnswer(1013), weatherAnswer(1013), weatherAnswer(1020)}));
    stub->script("nearestmetar", json::array({json{{"answer", {{"status", 200}, {"data", {{"ICAO", "EHAM"}}}}}}}));
    LogCapture log;
    TrafficReader traffic;
    WeatherReader weather;
    traffic.GUID = weather.GUID = kGuid;
    weather.wrrl = kFastPace_ms;
    g_weatherLamp = 2;
    ReaderThread reader({&weather.stop}, [&] {
        int status = 0;
        weather.receive(status, traffic);
    });
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(env.mutex);
        return env.engineQnh.size() >= 5;
    }));
    weather.stop = true;
    reader.join();
    EXPECT_EQ(env.engineQnh, (std::vector<int>{900, 1100, 1013, 1013, 1020}));
    EXPECT_EQ(traffic.qnh.load(), 1020);
    EXPECT_EQ(g_qnhShown.load(), 1020);
    EXPECT_EQ(g_weatherLamp.load(), 1);
    EXPECT_TRUE(weather.weatherOk.load());
    const std::string text = log.text();
    EXPECT_NE(text.find("==> nearestmetar: [json.exception.type_error"), std::string::npos) << text;
    const auto metar = stub->records("nearestmetar");
    ASSERT_GE(metar.size(), 2u);
    // The user's altitude is sent in whole feet.
    EXPECT_EQ(stub->records("weather")[0]["form"]["alt"], "3500");
}

// Serves one parked request the way the reader loop does, with the worker's
// side on a thread of its own.
bool lf_serveParkedRequest(TrafficReader& traffic, RecordingFeedEnv& env) {
    env.park = FeedAirport{true, 52.3086, 4.7639, -11};
    bool result = false;
    std::exception_ptr error;
    std::thread worker([&] {
        try {
            result = gf_requestParkedTraffic(traffic, 5000);
        } catch (...) {
            error = std::current_exception();
        }
    });
    const bool raised = waitFor([&] { return traffic.parkedRequest.exchange(false); });
    if (raised) traffic.parkedtraffic();
    worker.join();
    if (error) std::rethrow_exception(error);
    return result;
}

struct FixedNow {
    explicit FixedNow(SystemTimeSource source) { gf_setSystemTimeSource(source); }
    ~FixedNow() { gf_setSystemTimeSource(nullptr); }
};

// 2026-01-06 00:00:00 UTC.
constexpr std::int64_t kMidnight = 1767657600;

// The worker's side: half-hour slots become ages (across midnight), records
// older than MAX_FIT go unless only the service's parked traffic is wanted,
// the youngest come first, and each stand and each callsign is taken once.
TEST_F(Service, ParkedRecordsAreAgedSortedAndUnique) {
    const FixedNow now(+[]() -> std::int64_t { return kMidnight + 40 * 60; });  // slot 1
    auto parked = [](const char* stand, std::int64_t minutes, const char* callsign) {
        return json::array({52.3091, 4.7622, stand, "B738", "PH-BXB", kMidnight + minutes * 60, callsign});
    };
    const json data{
        {"484001", parked("S1", -20, "AAA1")},   // 23:40, age 2
        {"484002", parked("S1", 10, "BBB1")},    // 00:10, age 1
        {"484003", parked("", -50, "CCC1")},     // 23:10, age 3
        {"484004", parked("", -110, "")},        // 22:10, age 5
        {"484005", parked("S2", -80, "BBB1")},   // 22:40, age 4
        {"484006", parked("S3", -140, "")},      // 21:40, age 6
        {"484007", parked("S4", 280, "GGG1")},   // 04:40, age 40
    };
    env.feedSettings.reservedStand = "R1";
    env.feedSettings.userParkingSpot = "U1";
    env.feedSettings.maxFit = 10;
    TrafficReader traffic;
    traffic.GUID = kGuid;
    auto kept = [&] {
        std::vector<std::pair<std::uint32_t, int>> out;
        for (const auto& r : traffic.parkedRecords) out.emplace_back(r.hexid, r.slot);
        return out;
    };

    stub->script("parked", json::array({json{{"answer", {{"status", 200}, {"data", data}}}}}));
    ASSERT_TRUE(lf_serveParkedRequest(traffic, env));
    EXPECT_EQ(kept(), (std::vector<std::pair<std::uint32_t, int>>{{0x484002, 1}, {0x484003, 3}, {0x484006, 6}}));

    env.feedSettings.rtParkTrafficOnly = true;
    stub->script("parked", json::array({json{{"answer", {{"status", 200}, {"data", data}}}}}));
    ASSERT_TRUE(lf_serveParkedRequest(traffic, env));
    EXPECT_EQ(kept(), (std::vector<std::pair<std::uint32_t, int>>{
                          {0x484002, 1}, {0x484003, 3}, {0x484006, 6}, {0x484007, 40}}));
}

// The reader's outcome of a parked request as the worker sees it.
TEST_F(Service, ParkedRequestTurnsTheReadersStatusIntoItsResult) {
    TrafficReader traffic;
    traffic.GUID = kGuid;
    {
        // No reader serves it: the worker gives up, the request stays raised.
        LogCapture log;
        env.park = FeedAirport{true, 52.3086, 4.7639, -11};
        EXPECT_FALSE(gf_requestParkedTraffic(traffic, 0));
        EXPECT_TRUE(traffic.parkedRequest.exchange(false));
        EXPECT_EQ(log.text(), "ParkedTraffic receiving timed out after 10 seconds\n");
    }
    struct Row {
        json step;
        bool result;
        const char* logged;
    };
    const Row rows[] = {
        {json{{"status", 401}}, false, "==> RT Parkedtraffic: re-authentication to RT API is needed GLIM_P3D\n"},
        {json{{"status", 418}}, false, "==> RT Parkedtraffic error status: 418\n"},
        {json{{"empty", true}}, false, "==> parkedtraffic: empty content\n"},
        // Answers are never fetched from elsewhere; the line says what came.
        {json{{"redirect", "file:///etc/passwd"}}, false, "==> parkedtraffic: HTTP 302 redirect to file:///etc/passwd refused\n"},
        {json{{"redirect", "http://127.0.0.1:1/v4/traffic"}, {"http", 307}}, false,
         "==> parkedtraffic: HTTP 307 redirect to http://127.0.0.1:1/v4/traffic refused\n"},
        {json{{"status", 406}, {"message", "slow"}}, true, "==> parkedtraffic msg: slow\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.step.dump());
        LogCapture log;
        stub->script("parked", json::array({row.step}));
        EXPECT_EQ(lf_serveParkedRequest(traffic, env), row.result);
        EXPECT_EQ(log.text(), row.logged);
    }
    stub->script("parked", json::array({json{{"status", 400}}}));
    try {
        lf_serveParkedRequest(traffic, env);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "RT API parameter fault");
    }
}

}  // namespace

namespace {

// Only the watched stops end these transfers: a trickle of 10 bytes a second
// passes the low-speed limit set here, and the total is far off.
RtTransferLimits lf_patientLimits() {
    RtTransferLimits limits{5000, 60000};
    limits.lowSpeed_bytesPerS = 1;
    return limits;
}

const json kTrickle{{"trickle_bytes_per_s", 10}, {"trickle_s", 120}};

double lf_secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

// The user's close ends a login and a logout that the service trickles: the
// login at once, the logout after a short bound (it is still worth trying).
TEST_F(Service, LoginAndLogoutNeverHoldTheClose) {
    struct ClearFlags {
        ~ClearFlags() { gf_resetRunFlags(); }
    } clearFlags;
    gf_rtTransferLimits() = lf_patientLimits();
    stub->script("auth", json::array({kTrickle}));
    WeatherReader weather;
    std::atomic<bool> done{false};
    int status = 0;
    ReaderThread login({}, [&] {
        authenticate(weather, status);
        done = true;
    });
    ASSERT_TRUE(waitFor([&] { return stub->records("auth").size() == 1; }));
    g_userClosing = true;
    const auto closed = std::chrono::steady_clock::now();
    EXPECT_TRUE(waitFor([&] { return done.load(); }, 10000));
    login.join();
    EXPECT_LT(lf_secondsSince(closed), 10.0);
    EXPECT_TRUE(weather.GUID.empty());

    stub->script("deauth", json::array({kTrickle}));
    TrafficReader traffic;
    traffic.GUID = kGuid;
    const auto start = std::chrono::steady_clock::now();
    traffic.deauthenticate();
    EXPECT_LT(lf_secondsSince(start), 10.0);
    EXPECT_EQ(stub->records("deauth").size(), 1u);
}

// A live poll that trickles gives way to the parked request queued behind
// it, which the worker waits for only 10 s; and the poll's one log line
// counts the entries no aircraft can be.
TEST_F(Service, SlowPollsYieldToTheParkedRequestAndCountWhatTheyDrop) {
    gf_rtTransferLimits() = lf_patientLimits();
    auto flight = [](const char* hexid, double alt_ft, double vrate_fpm) {
        json e = json::array();
        for (int i = 0; i < 48; ++i) e.push_back(0);
        e[0] = hexid;
        e[1] = 52.35;
        e[2] = 4.70;
        e[4] = alt_ft;
        e[5] = 220;
        e[8] = "B738";
        e[9] = "PH-BXA";
        e[10] = static_cast<double>(gf_systemTime() - 5);
        e[13] = "KLM1234";
        e[15] = vrate_fpm;
        e[28] = "A3";
        return e;
    };
    const json data{{"484000", flight("484000", 3000, 0)},
                    {"484001", flight("484001", 1e308, 0)},
                    {"484002", flight("484002", 3000, 1e308)}};
    stub->script("live", json::array({json{{"answer", {{"status", 200}, {"rrl", kFastPace_ms}, {"data", data}}}},
                                      kTrickle}));
    LogCapture log;
    TrafficReader traffic;
    WeatherReader weather;
    traffic.GUID = kGuid;
    traffic.filterLat = 52.31;
    traffic.filterLon = 4.76;
    ReaderThread reader({&traffic.stop}, [&] { gf_runTrafficReader(traffic, weather); });
    ASSERT_TRUE(waitFor([&] { return stub->records("live").size() == 2; }));
    env.park = FeedAirport{true, 52.3086, 4.7639, -11};
    EXPECT_TRUE(gf_requestParkedTraffic(traffic, 10000));
    EXPECT_EQ(traffic.parkedRecords.size(), 3u);
    traffic.stop = true;
    reader.join();

    std::lock_guard lock(env.mutex);
    const auto live = std::find_if(env.batches.begin(), env.batches.end(),
                                   [](const RecordedBatch& b) { return b.delay_s == 30; });
    ASSERT_NE(live, env.batches.end());
    ASSERT_EQ(live->records.size(), 1u);
    EXPECT_EQ(live->records[0].hexid, 0x484000u);
    const std::string text = log.text();
    const std::string line =
        "Live traffic: 2 entries dropped for values no aircraft can have (1 altitude, 1 vertical rate), 0 texts cleaned\n";
    EXPECT_NE(text.find(line), std::string::npos) << text;
    EXPECT_EQ(text.find(line), text.rfind(line)) << text;
}

// An answer that trickles below the low-speed limit ends long before the
// total time-out, and the reader asks again.
TEST_F(Service, AnAnswerThatTricklesEndsAtTheLowSpeedLimit) {
    RtTransferLimits limits{5000, 60000};
    limits.lowSpeed_bytesPerS = 100;
    limits.lowSpeed_s = 2;
    gf_rtTransferLimits() = limits;
    stub->script("live", json::array({kTrickle}));
    TrafficReader traffic;
    WeatherReader weather;
    traffic.GUID = kGuid;
    ReaderThread reader({&traffic.stop}, [&] { gf_runTrafficReader(traffic, weather); });
    EXPECT_TRUE(waitFor([&] { return stub->records("live").size() >= 2; }, 20000));
    traffic.stop = true;
    reader.join();
    EXPECT_TRUE(env.stops.empty());
}
