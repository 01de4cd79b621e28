#include "core/random.h"

#include <algorithm>

namespace {

std::mt19937::result_type lf_seedFromDevice() {
    std::random_device device;
    return static_cast<std::mt19937::result_type>(device());
}

}  // namespace

thread_local std::mt19937 g_rng{lf_seedFromDevice()};

double gf_randomPercentAround(double v, double p) {
    const auto draw = g_rng();
    const double sign = (draw & 1u) != 0 ? -1.0 : 1.0;
    return p > 0.0 ? v + sign * (v * p / 100.0) : v;
}

void gf_shuffle(std::vector<std::string>& list) {
    if (list.size() > 1) std::shuffle(list.begin(), list.end(), g_rng);
}
