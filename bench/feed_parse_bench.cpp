// feed_parse_bench [rounds] [answers per round]: one live traffic answer of 1,000 entries, made
// from the stand-in's Amsterdam scenario (its aircraft copied under new
// hexids and callsigns, spread over the area), parsed the way the Traffic
// Reader parses an answer: the JSON text, then every entry through the live
// entry parser. Prints the time per answer against the JSON parse alone, the
// two timed in alternation (see interleaved.h); the service answers every
// two seconds, so a whole answer should take a small fraction of that.
#include "support/window_stand_in.h"
#include "feed/feed_env.h"
#include "feed/traffic_reader.h"
#include "interleaved.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr int kEntries = 1000;
constexpr std::int64_t kNow_s = 1767700000;

class BenchEnv : public FeedEnv {
public:
    FeedSettings settings() override { return {}; }
    void stopWithError(std::string_view, bool) override {}
    void setStatusLine(const std::string&, bool) override {}
    void pushBlockedEvent(std::uint32_t) override {}
    void clearStatusLine() override {}
    void repaint() override {}
    void takeTrafficBatch(std::vector<FlightRecord>& batch, int) override { batch.clear(); }
    void publishEngineQnh(int) override {}
    FeedUserPosition userPosition() override { return {}; }
    std::optional<FeedAirport> parkAirport() override { return std::nullopt; }
    void sleepMs(int) override {}
    bool isKnownAcType(std::string_view type) override { return !type.empty(); }
    FeedCategory acCategory(std::string_view) override { return FeedCategory::large; }
    std::optional<FeedDbaseRecord> lookupRegistration(std::string_view) override { return std::nullopt; }
    std::vector<std::string> registrationKeys(std::string_view registration) override {
        return {std::string(registration)};
    }
    std::optional<FeedDbaseRecord> findRegistrationKey(std::string_view) override { return std::nullopt; }
    std::int64_t systemTime() override { return kNow_s; }
};

std::string lf_answerText() {
    std::ifstream in(std::string(GLIM_SOURCE_DIR) + "/testbed/rtstub/scenarios/amsterdam.json");
    const nlohmann::json scenario = nlohmann::json::parse(in);
    std::vector<nlohmann::json> models;
    for (const auto& item : scenario.at("traffic")) models.push_back(item.at("entry"));
    nlohmann::json data = nlohmann::json::object();
    for (int i = 0; i < kEntries; ++i) {
        nlohmann::json entry = models[static_cast<std::size_t>(i) % models.size()];
        const std::string hexid = fmt::format("{:06x}", 0x400000 + i);
        entry[0] = hexid;
        entry[1] = 52.0 + (i % 40) * 0.02;
        entry[2] = 4.3 + (i / 40) * 0.04;
        entry[10] = static_cast<double>(kNow_s - i % 20);
        const std::string callsign = fmt::format("KLM{}", 1000 + i);
        entry[13] = callsign;
        entry[16] = callsign;
        data[hexid] = entry;
    }
    return nlohmann::json{{"status", 200}, {"rrl", 2000}, {"wrrl", 2000}, {"data", data}}.dump();
}

}  // namespace

int main(int argc, char** argv) {
    WindowStandIn::installed();
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 21;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 15;
    static BenchEnv env;
    gf_setFeedEnv(&env);
    TrafficReader reader;
    reader.filterLat = 52.31;
    reader.filterLon = 4.76;
    reader.blockReport = false;
    reader.answerSettings.range_nm = 1e6;
    const std::string text = lf_answerText();

    std::size_t members = 0, records = 0;
    auto jsonAlone = [&] {
        for (int r = 0; r < repeats; ++r) members += nlohmann::json::parse(text).at("data").size();
        return true;
    };
    auto wholeAnswer = [&] {
        for (int r = 0; r < repeats; ++r) {
            const auto answer = nlohmann::json::parse(text);
            for (const auto& item : answer.at("data").items()) {
                if (!item.value().is_array() || item.value().size() != 48) continue;
                reader.entry = item.value();
                reader.processLine();
            }
            records += reader.flightRecords.size();
            reader.flightRecords.clear();
        }
        return true;
    };
    // A first round of each, untimed, so neither pays for cold caches.
    jsonAlone();
    wholeAnswer();
    records = 0;
    const InterleavedTimes t = gf_timeInterleaved(rounds, wholeAnswer, jsonAlone);
    const double json_ms = gf_median(t.reference_s) * 1000.0 / repeats;
    const double answer_ms = gf_median(t.program_s) * 1000.0 / repeats;
    const RatioSpread ratio = gf_ratioSpread(t);

    std::printf("feed answer: %d entries, %zu bytes, %zu flight records per answer; %d rounds of %d answers, "
                "whole answer and JSON parse alone in alternation\n",
                kEntries, text.size(), records / static_cast<std::size_t>(rounds * repeats), rounds, repeats);
    std::printf("JSON parse alone: %8.3f ms per answer (median of the rounds)\n", json_ms);
    std::printf("whole answer:     %8.3f ms per answer (%.0f entries/s), %.2fx the JSON parse (rounds %.2f..%.2f)\n",
                answer_ms, kEntries / (answer_ms / 1000.0), ratio.median, ratio.low, ratio.high);
    std::printf("RESULT feed_json_ms %.3f ms\n", json_ms);
    std::printf("RESULT feed_answer_ms %.3f ms\n", answer_ms);
    gf_printRatioLine("feed_answer_ms", "feed_json_ms", t);
    (void)members;
    return 0;
}
