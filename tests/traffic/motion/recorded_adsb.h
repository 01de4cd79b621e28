// Recorded ADS-B flights (shared/data/adsb) as the engine's tests replay
// them: the rows of a recording, the service's entry built from one row,
// and a feed environment that runs on the recording's clock.
#pragma once

#include <zlib.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/geometry.h"
#include "feed/feed_env.h"

namespace recorded_adsb {

struct Row {
    double t;  // seconds
    double lat, lon, alt, gs, track, vrate;  // NaN where the receiver had no value (null)
    int onground = -1;                       // the receiver's flag: -1 where the file has none
};

// A receiver that mixes sources: about every other report 200-500 ft off
// the run, high or low, often two or three in a row. A fixed hash of the
// report's number says whether, how far and which way.
inline double mixedSourcesOffset_ft(std::uint32_t n) {
    std::uint32_t h = n * 2654435761u;
    h ^= h >> 13;
    h *= 2246822519u;
    h ^= h >> 16;
    return h % 2 ? 0.0 : ((h >> 8) % 2 ? 1.0 : -1.0) * (200.0 + (h >> 10) % 301);
}

// The recording beside the source folder, where CI and the developers have
// shared/; nullopt when it is not there.
inline std::optional<std::filesystem::path> recording(std::string_view name) {
    const char* source = std::getenv("GLIM_SOURCE_DIR");
    const std::filesystem::path root = source ? source : ".";
    for (const char* up : {"../shared/data/adsb", "../../shared/data/adsb"}) {
        const std::filesystem::path p = root / up / std::string(name);
        if (std::filesystem::exists(p)) return p;
    }
    return std::nullopt;
}

// A value the file does not have reads 0; one the receiver did not have
// (null) stays unknown, as the service passes it on.
inline double number(const nlohmann::json* v) {
    if (!v) return 0.0;
    if (v->is_number()) return v->get<double>();
    return v->is_null() ? std::nan("") : 0.0;
}

// One value of a row: by record, the object's member; by column, the
// column's element at the row's index (a list, or an object keyed by the
// index label as pandas writes it).
struct RowSource {
    const nlohmann::json* record = nullptr;
    const nlohmann::json* columns = nullptr;
    std::size_t index = 0;
    std::string label;
    const nlohmann::json* operator()(const char* key) const {
        if (record) {
            const auto it = record->find(key);
            return it != record->end() ? &*it : nullptr;
        }
        const auto column = columns->find(key);
        if (column == columns->end()) return nullptr;
        if (column->is_array()) return index < column->size() ? &(*column)[index] : nullptr;
        if (!column->is_object()) return nullptr;
        const auto it = column->find(label);
        return it != column->end() ? &*it : nullptr;
    }
};

inline Row row(const RowSource& in) {
    Row r{number(in("timestamp")) / 1000.0, number(in("latitude")), number(in("longitude")),
          number(in("altitude")),           number(in("groundspeed")), number(in("track")),
          number(in("vertical_rate"))};
    if (const nlohmann::json* g = in("onground"); g && g->is_boolean()) r.onground = g->get<bool>() ? 1 : 0;
    return r;
}

// The rows of a recording in either layout: a list of records, or an
// object of columns (each a list, or an object keyed by the row's label).
inline std::vector<Row> parseRows(const nlohmann::json& doc) {
    std::vector<Row> rows;
    if (doc.is_array()) {
        for (const auto& o : doc)
            if (o.is_object()) rows.push_back(row(RowSource{&o, nullptr, 0, {}}));
        return rows;
    }
    if (!doc.is_object()) return rows;
    const auto times = doc.find("timestamp");
    if (times == doc.end()) return rows;
    if (times->is_array()) {
        for (std::size_t i = 0; i < times->size(); ++i) rows.push_back(row(RowSource{nullptr, &doc, i, {}}));
    } else if (times->is_object()) {
        for (const auto& [label, value] : times->items()) rows.push_back(row(RowSource{nullptr, &doc, 0, label}));
    }
    return rows;
}

// The rows in time order. A track that does not survive in the file (some
// recordings keep it in one signed byte) comes from the positions; a value
// the file does not have (vertical_rate in some) reads 0.
inline std::vector<Row> readRows(const std::filesystem::path& file) {
    gzFile gz = gzopen(file.string().c_str(), "rb");
    std::string text;
    char buffer[65536];
    for (int n; gz && (n = gzread(gz, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    if (gz) gzclose(gz);
    std::vector<Row> rows = parseRows(nlohmann::json::parse(text));
    const bool trackDamaged = std::any_of(rows.begin(), rows.end(), [](const Row& r) { return r.track < 0.0; });
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.t < b.t; });
    if (trackDamaged) {
        for (std::size_t i = 1; i < rows.size(); ++i) {
            const LatLon a{rows[i - 1].lat, rows[i - 1].lon}, b{rows[i].lat, rows[i].lon};
            rows[i].track = gf_distanceNm(a, b) > 0.005 ? gf_initialBearing(a, b) * kRadToDeg : rows[i - 1].track;
            if (rows[i].track < 0.0) rows[i].track += 360.0;
        }
        if (rows.size() > 1) rows[0].track = rows[1].track;
    }
    return rows;
}

// Who the recorded aircraft is in the service's entry.
struct Identity {
    std::string hexid, type, registration, from, to, callsign, category;
};

inline nlohmann::json value(double v) { return std::isnan(v) ? nlohmann::json(nullptr) : nlohmann::json(v); }

// The service's entry: the 48 values of one aircraft; what the receiver did
// not have goes on as null.
inline nlohmann::json entry(const Row& r, const Identity& id) {
    nlohmann::json e = nlohmann::json::array();
    for (int i = 0; i < 48; ++i) e.push_back(0);
    e[0] = id.hexid;
    e[1] = r.lat;
    e[2] = r.lon;
    e[3] = value(r.track);
    e[4] = value(r.alt);
    e[5] = value(r.gs);
    e[8] = id.type;
    e[9] = id.registration;
    e[10] = r.t;
    e[11] = id.from;
    e[12] = id.to;
    e[13] = id.callsign;
    e[15] = value(r.vrate);
    e[17] = "adsb";
    e[20] = -1;
    e[23] = 0;
    e[25] = 0;
    e[28] = id.category;
    return e;
}

// The feed alone, on the recording's clock: the settings are the program's,
// no catalogue, no park airport, no engine behind it.
class ClockedFeedEnv : public FeedEnv {
public:
    ClockedFeedEnv() { gf_setFeedEnv(this); }
    ~ClockedFeedEnv() override { gf_setFeedEnv(nullptr); }
    FeedSettings settings() override { return gf_feedSettingsFromCore(); }
    void stopWithError(std::string_view, bool) override {}
    void setStatusLine(const std::string&, bool) override {}
    void clearStatusLine() override {}
    void repaint() override {}
    void takeTrafficBatch(std::vector<FlightRecord>& batch, int) override { batch.clear(); }
    void pushBlockedEvent(std::uint32_t) override {}
    void publishEngineQnh(int) override {}
    std::optional<FeedDbaseRecord> lookupRegistration(std::string_view) override { return std::nullopt; }
    std::vector<std::string> registrationKeys(std::string_view registration) override {
        return {std::string(registration)};
    }
    std::optional<FeedDbaseRecord> findRegistrationKey(std::string_view) override { return std::nullopt; }
    bool isKnownAcType(std::string_view) override { return false; }
    FeedCategory acCategory(std::string_view) override { return FeedCategory::large; }
    FeedUserPosition userPosition() override { return {}; }
    std::optional<FeedAirport> parkAirport() override { return std::nullopt; }
    void sleepMs(int) override {}
    std::int64_t systemTime() override { return now; }
    std::int64_t now = 0;
};

}  // namespace recorded_adsb
