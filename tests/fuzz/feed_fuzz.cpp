// libFuzzer target: feed entries of any shape through the live and parked
// entry parsers. First byte: which parser; up to the first newline: the
// member key (the hexid text of a parked entry); the rest: the JSON value.
#include "feed/feed_env.h"
#include "feed/traffic_reader.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

class FuzzEnv : public FeedEnv {
public:
    FeedSettings settings() override { return {}; }
    void stopWithError(std::string_view, bool) override {}
    void setStatusLine(const std::string&, bool) override {}
    void sleepMs(int) override {}
    bool isKnownAcType(std::string_view type) override { return !type.empty(); }
    std::optional<FeedDbaseRecord> lookupRegistration(std::string_view text) override {
        if (text.size() == 5) return FeedDbaseRecord{"KLM", "B738", ""};
        return std::nullopt;
    }
    std::int64_t systemTime() override { return 1767700000; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzEnv env;
    static TrafficReader* reader = [] {
        gf_setFeedEnv(&env);
        auto* r = new TrafficReader();
        r->filterLat = 52.31;
        r->filterLon = 4.76;
        return r;
    }();
    if (size < 1) return 0;
    const bool parked = data[0] & 1;
    reader->blockReport = (data[0] & 2) != 0;
    reader->collect = (data[0] & 4) != 0;
    reader->answerSettings = FeedSettings{};
    reader->answerSettings.range_nm = (data[0] & 8) ? 1e6 : 40.0;
    reader->answerSettings.airborneOnly = (data[0] & 16) != 0;
    reader->answerSettings.blockCallsign = (data[0] & 32) ? "KLM1234" : "";
    reader->answerSettings.currentAirport = FeedAirport{(data[0] & 64) != 0, 52.3086, 4.7639, -11.0};
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t newline = text.find('\n');
    const std::string key = newline == std::string::npos ? std::string("4845d1") : text.substr(0, newline);
    const std::string body = newline == std::string::npos ? text : text.substr(newline + 1);
    auto value = nlohmann::json::parse(body, nullptr, false);
    if (value.is_discarded()) return 0;

    // The value itself, and each member of it, as the reader would hand them.
    auto feed = [&](const nlohmann::json& entry) {
        if (parked) {
            reader->parkedEntry = entry;
            reader->processParkedTrafficLine(key);
        } else {
            reader->entry = entry;
            reader->processLine();
        }
    };
    feed(value);
    if (value.is_array() || value.is_object()) {
        for (const auto& member : value) feed(member);
    }
    reader->flightRecords.clear();
    reader->clearParkedWork();
    reader->takeCollectedIds();
    return 0;
}
