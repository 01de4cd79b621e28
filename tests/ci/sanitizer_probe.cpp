// A program with one fault of the kind the build's sanitizer reports: a data
// race under ThreadSanitizer, a signed overflow under UBSan. The faults are
// real on purpose; tests/ci/sanitizer_report_fails.sh expects the probe to
// fail with a report.
#include <climits>
#include <cstdio>
#include <thread>

#if defined(__SANITIZE_THREAD__)
#define GLIM_PROBE_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define GLIM_PROBE_TSAN 1
#endif
#endif

int main(int argc, char**) {
#ifdef GLIM_PROBE_TSAN
    static int shared = 0;
    std::thread other([] { shared = 1; });
    shared = 2;
    other.join();
    std::printf("%d\n", shared);
#else
    // argc keeps the compiler from folding the overflow away.
    volatile int big = INT_MAX - 1 + argc;
    const int sum = big + 1;
    std::printf("%d\n", sum);
#endif
    return 0;
}
