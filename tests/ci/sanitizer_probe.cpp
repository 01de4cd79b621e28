// A program with one fault of the kind the build's sanitizer reports, chosen
// by its argument: a data race under ThreadSanitizer; under ASan + UBSan a
// signed overflow ("overflow"), a NaN or a huge double turned into an int
// ("float-cast"), or a curl easy handle and header list of ours that are
// never freed ("curl-leak": the leak suppressions must not hide them). The
// faults are real on purpose; tests/ci/sanitizer_report_fails.sh expects the
// probe to fail with a report.
#include <curl/curl.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <thread>

#if defined(__SANITIZE_THREAD__)
#define GLIM_PROBE_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define GLIM_PROBE_TSAN 1
#endif
#endif

namespace {

// volatile keeps the compiler from folding the faults away.
int lf_overflow(int argc) {
    volatile int big = INT_MAX - 2 + argc;
    return big + 1;
}

int lf_floatCast(const char* text) {
    volatile double value = 0.0;
    std::sscanf(text, "%lf", const_cast<double*>(&value));
    return static_cast<int>(value);
}

// The handle and the list are lost the way a forgotten cleanup loses them:
// no pointer of ours to them is left when the process ends.
void lf_leakCurl() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURL* volatile handle = curl_easy_init();
    curl_slist* volatile headers = curl_slist_append(nullptr, "Content-Type: application/json");
    headers = curl_slist_append(headers, "Accept: application/json");
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(headers));
    handle = nullptr;
    headers = nullptr;
    curl_global_cleanup();
}

}  // namespace

int main(int argc, char** argv) {
#ifdef GLIM_PROBE_TSAN
    (void)argv;
    // Both threads write for a while: one write each could fall where the
    // detector's history of the other thread had no room left, and the race
    // once went unreported on a loaded machine.
    static int shared = 0;
    std::thread other([] {
        for (int i = 0; i < 100000; ++i) shared = 1;
    });
    for (int i = 0; i < 100000; ++i) shared = 2;
    other.join();
    std::printf("%d\n", shared);
#else
    const char* fault = argc > 1 ? argv[1] : "overflow";
    if (std::strcmp(fault, "float-cast") == 0) {
        std::printf("%d %d\n", lf_floatCast("nan"), lf_floatCast("1e300"));
    } else if (std::strcmp(fault, "curl-leak") == 0) {
        lf_leakCurl();
    } else {
        std::printf("%d\n", lf_overflow(argc));
    }
#endif
    return 0;
}
