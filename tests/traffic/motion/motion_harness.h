// The engine harness over flat terrain: the fake simulator answers the
// static CG request and, whenever the engine asks for the aircraft in range,
// reports every object's ground data (on the ground when its wheels reach
// the terrain), as the simulator does. Also the sample EHAM stand file and
// a hand-built active aircraft for the planning tables.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "traffic/live_ac.h"
#include "../traffic_harness.h"

class MotionHarness : public TrafficHarness {
protected:
    void SetUp() override;

    // n passes over flat terrain; after each, `each` (when set) sees the pass.
    void fly(int passes, const std::function<void()>& each = {});
    // The sample stand file of EHAM as the park airport's stand list.
    static void loadEham();
    // An active aircraft of category Large with an object, its position at
    // the first point and these points in its stream.
    static LiveAc& activeAc(std::uint32_t hexid, std::initializer_list<StreamPoint> points, bool ground = false);
    static StreamPoint point(double lat, double lon, double alt_ft, double gs_kt, std::int32_t due,
                             double vrate_fpm = 0.0);

    double elevation_ft = -11.0;
    double cg_ft = 8.0;
    double restPitch_rad = 0.0122;

private:
    std::size_t m_cgAnswered = 0;
    std::size_t m_rangeAnswered = 0;
};

inline constexpr double kEhamLat = 52.3086;
inline constexpr double kEhamLon = 4.7639;
