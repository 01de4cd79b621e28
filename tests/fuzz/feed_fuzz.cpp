// libFuzzer target: feed entries of any shape through the live and parked
// entry parsers.
//
// Byte 0 sets the reader (bit 0: parked parser; bits 1-6: block report,
// collect, range, airborne only, blocked callsign, current airport), byte 1
// the rest of the answer's settings (bits 0-2: light, fast, rotorcraft
// wanted; bit 3: stand-file altitude; bit 4: reserved stand and user spot;
// bit 5: time offset; bit 6: QNH 1030; bit 7: the other blocked callsign). Bit 7 of byte 0 picks the
// input's shape:
//   clear: up to the first newline the member key (the hexid text of a
//          parked entry), then the JSON value, fed whole and member by member;
//          for the live parser, which has no key, a key of "!" and a letter
//          makes one call of the environment throw (t/T: the system time,
//          s/S: the status line, b/B: the blocked event; lower case a
//          runtime_error, upper case another exception), which the parser
//          must catch, whatever it was doing;
//   set:   a structured entry: a valid template entry edited by byte pairs
//          (field, value from a table of the values the parsers decide on),
//          so that deep branches need no well-formed 48-value array from the
//          mutator. Field bytes from 0xF0 resize the array; the first byte
//          after byte 1 picks the parked key.
#include "feed/feed_env.h"
#include "feed/traffic_reader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

constexpr std::int64_t kNow_s = 1767700000;  // 2026-01-06 11:46:40 UTC

class FuzzEnv : public FeedEnv {
public:
    // The call that throws ('t', 's', 'b'; upper case: not a runtime_error),
    // 0 for none.
    char throwing = 0;

    FeedSettings settings() override { return {}; }
    void stopWithError(std::string_view, bool) override {}
    void setStatusLine(const std::string&, bool) override { maybeThrow('s'); }
    void pushBlockedEvent(std::uint32_t) override { maybeThrow('b'); }
    void clearStatusLine() override {}
    void repaint() override {}
    void takeTrafficBatch(std::vector<FlightRecord>& batch, int) override { batch.clear(); }
    void publishEngineQnh(int) override {}
    FeedUserPosition userPosition() override { return {}; }
    std::optional<FeedAirport> parkAirport() override { return std::nullopt; }
    void sleepMs(int) override {}
    bool isKnownAcType(std::string_view type) override { return !type.empty() && type != "XXXX"; }
    FeedCategory acCategory(std::string_view type) override {
        return type.empty() ? FeedCategory::large : static_cast<FeedCategory>(type.back() % 6);
    }
    std::optional<FeedDbaseRecord> lookupRegistration(std::string_view text) override {
        if (text.size() == 5) return FeedDbaseRecord{"KLM", "B738", ""};
        if (text.size() == 6) return FeedDbaseRecord{"KLM", "E190", "KLC"};
        return std::nullopt;
    }
    std::vector<std::string> registrationKeys(std::string_view registration) override {
        return {std::string(registration), std::string(registration) + "-"};
    }
    // "P..." is found under its first key, "D..." only under its second.
    std::optional<FeedDbaseRecord> findRegistrationKey(std::string_view key) override {
        if (key.empty()) return std::nullopt;
        if (key.back() == '-' && key.front() == 'D') return FeedDbaseRecord{"DLH", "A359", "CLH"};
        if (key.front() == 'P') return FeedDbaseRecord{"TRA", "B738", ""};
        return std::nullopt;
    }
    std::int64_t systemTime() override {
        maybeThrow('t');
        return kNow_s;
    }

private:
    void maybeThrow(char call) const {
        if (throwing == call) throw std::runtime_error("fuzz: environment fault");
        if (throwing == call - 'a' + 'A') throw std::length_error("fuzz: environment fault");
    }
};

// Values the parsers compare against, as the service's JSON text would give them.
constexpr std::string_view kValues[] = {
    "null", "true", "\"\"", "\"null\"", "\"0\"", "\"ZZZZ\"", "\"B738\"", "\"A380\"", "\"B767\"", "\"B747\"",
    "\"B757\"", "\"GLID\"", "\"XXXX\"", "\"adsb_icao\"", "\"mlat\"", "\"A1\"", "\"A3\"", "\"B1\"", "\"B2\"", "\"B4\"",
    "\"C1\"", "\"C2\"", "\"ERARMTR0\"", "\"AIRPORT1\"", "\"00000000\"", "\"KLM1234\"", "\"EIN612\"", "\"KL@M\"", "\".KLM12\"",
    "\"KLM00000\"", "\"ABCDEFGHI\"", "\"PH-BXA\"", "\"D-AIXA\"", "\"ABCDEFGHIJKLM\"", "\"PHBXA\"", "\"KLM12\"", "\"B2\"",
    "\"C3\"", "\"4845d1\"", "\"2710\"", "\"fffffffff\"", "\"zz\"", "0", "-1", "1", "0.00005", "35", "36", "42",
    "43", "80", "84", "108", "120", "121", "250", "300", "360", "361", "1000", "3000", "13999", "14000",
    "35000", "-500", "52.31", "4.76", "52.3086", "4.7639", "52.33", "4.8", "50.03", "8.57", "90", "90.5",
    "-90", "180", "180.5", "-180.5", "1767700000", "1767692799", "1767692800", "1767707200", "1767707201",
    "1767700000.5", "1767698970", "1767698969", "1e300", "-1e300", "9.3e18", "-9.3e18", "1e17", "-5",
    "253402300800", "[]", "{}", "[1]", "-0.5"};

constexpr std::string_view kKeys[] = {"4845d1", "2710", "2711", "zz", "ffffffffff", ""};

const nlohmann::json& lf_value(std::uint8_t pick) {
    static const auto table = [] {
        std::array<nlohmann::json, std::size(kValues)> t;
        for (std::size_t i = 0; i < t.size(); ++i) t[i] = nlohmann::json::parse(kValues[i]);
        return t;
    }();
    return table[pick % table.size()];
}

// An airborne departure near the filter point and a parked aircraft at a
// gate: every rule passes, so each edit tests the rule it breaks.
nlohmann::json lf_template(bool parked) {
    if (parked) return nlohmann::json::parse(R"([52.31, 4.76, "F4", "B738", "PH-BXA", 1767690000, "KLM1234"])");
    return nlohmann::json::parse(
        R"(["484f6d",52.35,4.7,45.0,3000,220,"1000","0","B738","PH-BXA",1767700000,"AMS","LHR","KLM1234",0,1500,
            "KLM1234","adsb_icao",3025,0,250,0,0,2.5,46.0,46.0,0,0,"A3","null",0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0])");
}

void lf_edit(nlohmann::json& entry, std::size_t fields, const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const std::uint8_t field = data[i];
        const std::uint8_t pick = data[i + 1];
        if (field >= 0xF0) {
            entry.get_ref<nlohmann::json::array_t&>().resize(pick % 50);
        } else if (!entry.empty()) {
            entry[field % std::min(fields, entry.size())] = lf_value(pick);
        }
    }
}

void lf_configure(TrafficReader& reader, std::uint8_t a, std::uint8_t b) {
    reader.blockReport = (a & 2) != 0;
    reader.collect = (a & 4) != 0;
    reader.qnh = (b & 64) ? 1030 : 1013;
    reader.toffset = (b & 32) ? 30 : 0;
    FeedSettings& s = reader.answerSettings;
    s = FeedSettings{};
    s.range_nm = (a & 8) ? 1e6 : 40.0;
    s.airborneOnly = (a & 16) != 0;
    // Two blocked callsigns: the report of a block is kept per callsign.
    if (a & 32) s.blockCallsign = (b & 128) ? "EIN612" : "KLM1234";
    s.currentAirport = FeedAirport{(a & 64) != 0, 52.3086, 4.7639, (b & 8) ? 400.0 : -11.0};
    s.lightAircraft = (b & 1) != 0;
    s.highPerfAircraft = (b & 2) != 0;
    s.helicopters = (b & 4) != 0;
    if (b & 8) s.airportFileAlt_ft = 40.0;
    if (b & 16) {
        s.reservedStand = "B2";
        s.userParkingSpot = "C3";
    }
}

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
    if (size < 2) return 0;
    const bool parked = data[0] & 1;
    lf_configure(*reader, data[0], data[1]);
    // The one log line of a run about unusable feed times is each input's own.
    reader->feedTimeReported = false;
    env.throwing = 0;

    auto feed = [&](const nlohmann::json& entry, const std::string& key) {
        if (parked) {
            reader->parkedEntry = entry;
            reader->processParkedTrafficLine(key);
        } else {
            reader->entry = entry;
            reader->processLine();
        }
    };
    if (data[0] & 128) {
        if (size < 3) return 0;
        nlohmann::json entry = lf_template(parked);
        lf_edit(entry, parked ? 8 : 48, data + 3, size - 3);
        feed(entry, std::string(kKeys[data[2] % std::size(kKeys)]));
    } else {
        const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
        const std::size_t newline = text.find('\n');
        const std::string key = newline == std::string::npos ? std::string("4845d1") : text.substr(0, newline);
        const std::string body = newline == std::string::npos ? text : text.substr(newline + 1);
        if (!parked && key.size() == 2 && key[0] == '!') env.throwing = key[1];
        auto value = nlohmann::json::parse(body, nullptr, false);
        if (value.is_discarded()) return 0;
        // The value itself, and each member of it, as the reader would hand them.
        feed(value, key);
        if (value.is_array() || value.is_object()) {
            for (const auto& member : value) feed(member, key);
        }
    }
    reader->flightRecords.clear();
    reader->clearParkedWork();
    reader->takeCollectedIds();
    env.throwing = 0;
    return 0;
}
