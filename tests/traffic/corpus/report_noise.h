// Receiver noise of the kinds real feeds deliver every day (measured on the
// noisy recordings at Zurich and Porto and on TRA051), laid over a clean
// recording. A seed makes every run the same: a noisy replay that fails
// fails again, on every machine.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/geometry.h"
#include "traffic/motion/recorded_adsb.h"

namespace report_noise {

using recorded_adsb::Row;

enum Kind : unsigned {
    kSpikes = 1u << 0,      // heights 200-800 ft off, alone or two or three in a row (a receiver mixing sources)
    kGateHeights = 1u << 1, // a single report at 36,000-38,000 ft
    kNullValues = 1u << 2,  // runs of reports without altitude, or without speed
    kPlaceJumps = 1u << 3,  // one report 5-50 km off its path, back on it the next
    kPlaceAhead = 1u << 4,  // a place several seconds ahead, held for 6 s (the receiver's clock)
    kCoasting = 1u << 5,    // a receiver repeating its last place for a few reports
    kGaps = 1u << 6,        // silences of 10-60 s
    kStale = 1u << 7,       // a report 10 s old delivered with a fresh time
    kAll = (1u << 8) - 1,
};

constexpr const char* kKindNames[] = {"spikes", "gate", "nulls", "jumps", "ahead", "coasting", "gaps", "stale"};

// A small deterministic generator: the same numbers with every compiler and
// standard library.
class Dice {
public:
    explicit Dice(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    double uniform(double lo, double hi) { return lo + (hi - lo) * double(next() >> 11) / double(1ull << 53); }
    int between(int lo, int hi) { return lo + int(next() % std::uint64_t(hi - lo + 1)); }
    bool chance(double p) { return uniform(0.0, 1.0) < p; }
    // Whether something that happens every `mean_s` seconds on average
    // happens within dt.
    bool every(double mean_s, double dt) { return chance(1.0 - std::exp(-std::max(dt, 0.0) / mean_s)); }

private:
    std::uint64_t state_;
};

// The clean place at time t, interpolated between the rows around it.
inline LatLon placeAt(const std::vector<Row>& rows, double t) {
    auto b = std::lower_bound(rows.begin(), rows.end(), t, [](const Row& r, double v) { return r.t < v; });
    if (b == rows.end()) return {rows.back().lat, rows.back().lon};
    if (b == rows.begin() || b->t == t) return {b->lat, b->lon};
    const Row& a = *(b - 1);
    const double f = (t - a.t) / (b->t - a.t);
    return {a.lat + f * (b->lat - a.lat), a.lon + f * (b->lon - a.lon)};
}

// What a noisy receiver delivers of a clean recording: its rows in time
// order, and the clean rows it still had (a silence hides the aircraft: no
// truth holds there). The first and the last row stay as they are, so the
// noisy replay covers the same times as the clean one. Rates are of the
// real noisy recordings: a height run off in one report of eight (alone
// mostly, some lasting two to five seconds), a null run in one of forty, a
// repeated place in one of twenty-five; the rare kinds go by time.
struct Noisy {
    std::vector<Row> kept;  // the clean rows outside the silences
    std::vector<Row> fed;   // what the receiver delivers
};

inline Noisy addNoise(const std::vector<Row>& clean, unsigned kinds, std::uint64_t seed) {
    Dice dice(seed);
    Noisy n;
    std::vector<Row>& out = n.fed;
    double spikeBy = 0.0, spikeUntil = -1e9, nullAltUntil = -1e9, nullGsUntil = -1e9, coastUntil = -1e9;
    double aheadUntil = -1e9, gapUntil = -1e9;
    LatLon held{};
    for (std::size_t i = 0; i < clean.size(); ++i) {
        Row r = clean[i];
        const double dt = i ? r.t - clean[i - 1].t : 0.0;
        if (i == 0 || i + 1 == clean.size()) {
            n.kept.push_back(r);
            out.push_back(r);
            continue;
        }
        if ((kinds & kGaps) && r.t >= gapUntil && dice.every(300.0, dt)) gapUntil = r.t + dice.uniform(10.0, 60.0);
        if (r.t < gapUntil) continue;
        n.kept.push_back(r);
        if ((kinds & kStale) && dice.every(150.0, dt)) {
            // An old report's content; its own time.
            const LatLon old = placeAt(clean, r.t - 10.0);
            const auto prior = std::lower_bound(clean.begin(), clean.end(), r.t - 10.0,
                                                [](const Row& x, double v) { return x.t < v; });
            const double t = r.t;
            r = *prior;
            r.t = t;
            r.lat = old.lat;
            r.lon = old.lon;
        }
        if (kinds & kPlaceAhead) {
            if (r.t >= aheadUntil && dice.every(300.0, dt)) {
                held = placeAt(clean, r.t + dice.uniform(6.0, 9.0));
                aheadUntil = r.t + 6.0;
            }
            if (r.t < aheadUntil) {
                r.lat = held.lat;
                r.lon = held.lon;
            }
        }
        if (kinds & kCoasting) {
            if (r.t >= coastUntil && dice.chance(1.0 / 25.0)) coastUntil = r.t + dice.between(1, 5);
            if (r.t < coastUntil) {
                r.lat = out.back().lat;
                r.lon = out.back().lon;
            }
        }
        if ((kinds & kPlaceJumps) && dice.every(250.0, dt)) {
            const double bearing = dice.uniform(0.0, 360.0 * kDegToRad), km = dice.uniform(5.0, 50.0);
            r.lat += km / 111.2 * std::cos(bearing);
            r.lon += km / (111.2 * std::cos(r.lat * kDegToRad)) * std::sin(bearing);
        }
        if ((kinds & kSpikes) && !std::isnan(r.alt)) {
            if (r.t >= spikeUntil && dice.chance(1.0 / 8.0)) {
                const int d = dice.between(1, 100);
                spikeUntil = r.t + (d <= 60 ? 0.5 : d <= 80 ? 1.5 : d <= 92 ? 2.5 : 4.5);
                spikeBy = (dice.chance(0.7) ? -1.0 : 1.0) * 25.0 * dice.between(8, 32);
            }
            if (r.t < spikeUntil) r.alt = std::max(0.0, r.alt + spikeBy);
        }
        if ((kinds & kGateHeights) && dice.every(200.0, dt)) r.alt = 25.0 * dice.between(1440, 1520);
        if (kinds & kNullValues) {
            if (r.t >= nullAltUntil && dice.chance(1.0 / 40.0)) nullAltUntil = r.t + dice.between(1, 15);
            if (r.t >= nullGsUntil && dice.chance(1.0 / 60.0)) nullGsUntil = r.t + dice.between(1, 20);
            if (r.t < nullAltUntil) r.alt = std::nan("");
            if (r.t < nullGsUntil) r.gs = std::nan("");
        }
        out.push_back(r);
    }
    return n;
}

}  // namespace report_noise
