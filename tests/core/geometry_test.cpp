#include "core/geometry.h"
#include "core/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kFtPerNm = 6076.115;

}  // namespace

TEST(Geometry, Distances) {
    struct Row {
        LatLon a, b;
        double nm;
    };
    const Row rows[] = {
        {{52.3, 4.76}, {52.3, 4.76}, 0.0},
        {{0, 0}, {0, 1}, 60.0},  // a degree of the equator
        {{0, 0}, {1, 0}, 60.0},  // a degree of a meridian
        {{90, 0}, {-90, 0}, 10800.0},
        {{0, 179.5}, {0, -179.5}, 60.0},  // the short way across the date line
        {{0, 0}, {0, 180}, 10800.0},
    };
    for (const auto& r : rows)
        EXPECT_NEAR(gf_distanceNm(r.a, r.b), r.nm, 1e-9) << r.a.lat << "," << r.a.lon << " " << r.b.lat << "," << r.b.lon;
}

TEST(Geometry, AntipodesNeverGiveNaN) {
    // For these the haversine term rounds a hair above 1.
    const LatLon starts[] = {{-4.641909417910924, 170.94470722958778}, {37.1, -122.3}, {-33.9, 151.2}, {0.1, 0.1}};
    for (const auto& s : starts) {
        const LatLon antipode{-s.lat, s.lon + 180.0};
        const double d = gf_distanceNm(s, antipode);
        EXPECT_FALSE(std::isnan(d)) << s.lat << "," << s.lon;
        EXPECT_NEAR(d, 10800.0, 1e-6) << s.lat << "," << s.lon;
    }
}

TEST(Geometry, InitialBearings) {
    struct Row {
        LatLon to;
        double rad;
    };
    const Row rows[] = {
        {{1, 0}, 0.0},
        {{0, 1}, kPi / 2},
        {{-1, 0}, kPi},
        {{0, -1}, 3 * kPi / 2},
    };
    for (const auto& r : rows) EXPECT_NEAR(gf_initialBearing({0, 0}, r.to), r.rad, 1e-4) << r.to.lat << "," << r.to.lon;
    // East across the date line, never the long way round.
    EXPECT_NEAR(gf_initialBearing({0, 179.5}, {0, -179.5}), kPi / 2, 1e-12);
    EXPECT_NEAR(gf_initialBearing({0, -179.5}, {0, 179.5}), 3 * kPi / 2, 1e-12);
}

TEST(Geometry, DestinationPoints) {
    const LatLon north = gf_destinationPoint({0, 0}, 0.0, kFtPerNm);
    EXPECT_NEAR(north.lat, 1.0 / 60.0, 1e-6);
    EXPECT_NEAR(north.lon, 0.0, 1e-12);

    // 0.02 degrees of the equator, east from 179.99 and west from -179.99.
    const double step_ft = 0.02 * 60.0 * kFtPerNm;
    const LatLon east = gf_destinationPoint({0, 179.99}, kPi / 2, step_ft);
    EXPECT_NEAR(east.lon, -179.99, 1e-5);
    EXPECT_LE(east.lon, 180.0);
    const LatLon west = gf_destinationPoint({0, -179.99}, 3 * kPi / 2, step_ft);
    EXPECT_NEAR(west.lon, 179.99, 1e-5);
    EXPECT_GE(west.lon, -180.0);
}

TEST(Geometry, DestinationRoundTrips) {
    // Moving d feet along a course and measuring back gives d and the course:
    // the movement radius and the distance radius agree within a fraction of
    // a foot.
    const LatLon starts[] = {{52.31, 4.76}, {-33.95, 151.18}, {64.0, -22.6}, {0.0, 179.9}};
    const double courses[] = {0.3, 1.9, 3.5, 5.8};
    const double lengths_ft[] = {250.0, 6076.115, 200000.0};
    for (const auto& s : starts)
        for (double c : courses)
            for (double d : lengths_ft) {
                const LatLon p = gf_destinationPoint(s, c, d);
                EXPECT_NEAR(gf_distanceNm(s, p) * kFtPerNm, d, 1e-5 * d + 0.05) << s.lat << " " << c << " " << d;
                EXPECT_NEAR(gf_initialBearing(s, p), c, 1e-6) << s.lat << " " << c << " " << d;
                EXPECT_LE(std::fabs(p.lon), 180.0);
            }
}

TEST(Random, PercentAround) {
    std::set<double> seen;
    for (int i = 0; i < 200; ++i) seen.insert(gf_randomPercentAround(100.0, 10.0));
    EXPECT_EQ(seen, (std::set<double>{90.0, 110.0}));
    EXPECT_EQ(gf_randomPercentAround(100.0, -5.0), 100.0);

    // A draw on every call: later draws must not depend on whether p was 0.
    g_rng.seed(1234);
    EXPECT_EQ(gf_randomPercentAround(100.0, 0.0), 100.0);
    std::mt19937 reference(1234);
    reference.discard(1);
    EXPECT_EQ(g_rng(), reference());
}

TEST(Random, ShuffleChangesTheCallersList) {
    bool sawSwap = false, sawKeep = false;
    for (int i = 0; i < 200 && !(sawSwap && sawKeep); ++i) {
        std::vector<std::string> list{"a", "b"};
        gf_shuffle(list);
        if (list == std::vector<std::string>{"b", "a"}) sawSwap = true;
        else if (list == std::vector<std::string>{"a", "b"}) sawKeep = true;
        else FAIL() << "entries lost";
    }
    EXPECT_TRUE(sawSwap);
    EXPECT_TRUE(sawKeep);

    std::vector<std::string> many{"a", "b", "c", "d", "e", "f", "g"};
    gf_shuffle(many);
    std::sort(many.begin(), many.end());
    EXPECT_EQ(many, (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g"}));
}

TEST(Random, EachThreadHasItsOwnSeededGenerator) {
    g_rng.seed(42);
    auto firstDraws = [] {
        std::vector<std::uint32_t> v;
        for (int i = 0; i < 4; ++i) v.push_back(g_rng());
        return v;
    };
    std::vector<std::uint32_t> a, b;
    std::thread ta([&] { a = firstDraws(); });
    std::thread tb([&] { b = firstDraws(); });
    ta.join();
    tb.join();
    EXPECT_NE(a, b);  // independent seeds
    std::mt19937 mainSeeded(42), unseeded;
    for (const auto* draws : {&a, &b}) {
        EXPECT_NE((*draws)[0], mainSeeded());  // not the main thread's generator
        EXPECT_NE((*draws)[0], unseeded());    // seeded at all
        mainSeeded.seed(42);
        unseeded.seed();
    }
    // The main thread's sequence went on untouched.
    std::mt19937 reference(42);
    EXPECT_EQ(g_rng(), reference());
}
