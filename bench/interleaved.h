// Timing a program's loop against its reference loop on a machine that other
// work shares: run one after the other, a change of load between the two
// shows as a change of the ratio. The two run in alternation instead (program
// then reference, then reference then program, ...), each round gives its own
// ratio, and the median of the rounds' ratios is the figure, with the lowest
// and highest beside it to show the spread.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

struct InterleavedTimes {
    std::vector<double> program_s;      // one time per round
    std::vector<double> reference_s;
};

inline double gf_median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// program() and reference() each do one round's work; they return false on a
// failure, which ends the timing (the result then has fewer rounds).
template <typename Program, typename Reference>
InterleavedTimes gf_timeInterleaved(int rounds, Program&& program, Reference&& reference) {
    using Clock = std::chrono::steady_clock;
    auto time = [](auto&& work, double& seconds) {
        const auto start = Clock::now();
        const bool ok = work();
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return ok;
    };
    InterleavedTimes t;
    for (int r = 0; r < rounds; ++r) {
        double p = 0, q = 0;
        const bool ok = r % 2 ? time(reference, q) && time(program, p) : time(program, p) && time(reference, q);
        if (!ok) break;
        t.program_s.push_back(p);
        t.reference_s.push_back(q);
    }
    return t;
}

struct RatioSpread {
    double median = 0, low = 0, high = 0;
};

// Time ratios program / reference, round by round.
inline RatioSpread gf_ratioSpread(const InterleavedTimes& t) {
    std::vector<double> ratios;
    for (std::size_t r = 0; r < t.program_s.size(); ++r) ratios.push_back(t.program_s[r] / t.reference_s[r]);
    if (ratios.empty()) return {};
    return {gf_median(ratios), *std::min_element(ratios.begin(), ratios.end()),
            *std::max_element(ratios.begin(), ratios.end())};
}

// The line scripts/bench takes a row's ratio from (see its header).
inline void gf_printRatioLine(const char* key, const char* referenceKey, const InterleavedTimes& t) {
    const RatioSpread s = gf_ratioSpread(t);
    std::printf("RATIO %s %s %.3f %.3f %.3f %zu\n", key, referenceKey, s.median, s.low, s.high, t.program_s.size());
}
