// The bytes the process holds on its heap, and the peak of them over a span
// of a test, sampled by a thread of its own: a hostile answer that unfolds
// into gigabytes of values holds them for seconds, far longer than a sample.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <thread>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GLIM_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define GLIM_SANITIZER_HEAP 1
#endif
#endif

#if defined(GLIM_SANITIZER_HEAP)
// The sanitizers' allocator (its header is not installed everywhere).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#elif defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <malloc.h>
#endif

inline std::size_t gf_heapInUse_bytes() {
#if defined(GLIM_SANITIZER_HEAP)
    return __sanitizer_get_current_allocated_bytes();
#elif defined(_WIN32)
    // The committed private memory (Wine reports it here, not as
    // PrivateUsage).
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
    return counters.PagefileUsage;
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// The highest heap use above the use at construction, until peak_bytes().
class HeapPeak {
public:
    HeapPeak() : m_base(gf_heapInUse_bytes()), m_thread([this] { sample(); }) {}
    ~HeapPeak() { finish(); }
    HeapPeak(const HeapPeak&) = delete;
    HeapPeak& operator=(const HeapPeak&) = delete;

    std::size_t peak_bytes() {
        finish();
        return m_peak > m_base ? m_peak - m_base : 0;
    }

private:
    void sample() {
        while (!m_done.load()) {
            m_peak = std::max(m_peak, gf_heapInUse_bytes());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        m_peak = std::max(m_peak, gf_heapInUse_bytes());
    }
    void finish() {
        m_done = true;
        if (m_thread.joinable()) m_thread.join();
    }

    std::size_t m_base;
    std::size_t m_peak = 0;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};
