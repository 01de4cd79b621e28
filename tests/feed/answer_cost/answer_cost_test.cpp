// What parsing one service answer holds on the heap, shape by shape, counted
// as the C library's allocator holds it (each block with an 8-byte header,
// rounded up to 16 bytes, 32 at least), whatever allocator the build runs on:
// the sanitizers' allocator counts only the bytes asked for, and so missed a
// shape that cost 107 MB in the product against a bound of 100 MB. The count
// is kept by this program's own operator new and delete.
#include "feed/rt_client.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<std::size_t> g_held_bytes{0};
std::atomic<std::size_t> g_peak_bytes{0};

// Room in front of each block for its size (kept 16-aligned).
constexpr std::size_t kHeader_bytes = 16;

constexpr std::size_t lf_mallocBlock(std::size_t size) {
    const std::size_t block = (size + 8 + 15) / 16 * 16;
    return std::max<std::size_t>(block, 32);
}

void* lf_allocate(std::size_t size) {
    auto* raw = static_cast<unsigned char*>(std::malloc(size + kHeader_bytes));
    if (!raw) return nullptr;
    *reinterpret_cast<std::size_t*>(raw) = size;
    const std::size_t held = g_held_bytes += lf_mallocBlock(size);
    std::size_t peak = g_peak_bytes.load();
    while (held > peak && !g_peak_bytes.compare_exchange_weak(peak, held)) {
    }
    return raw + kHeader_bytes;
}

void lf_release(void* p) noexcept {
    if (!p) return;
    auto* raw = static_cast<unsigned char*>(p) - kHeader_bytes;
    g_held_bytes -= lf_mallocBlock(*reinterpret_cast<std::size_t*>(raw));
    std::free(raw);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = lf_allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return lf_allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return lf_allocate(size); }
void operator delete(void* p) noexcept { lf_release(p); }
void operator delete[](void* p) noexcept { lf_release(p); }
void operator delete(void* p, std::size_t) noexcept { lf_release(p); }
void operator delete[](void* p, std::size_t) noexcept { lf_release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { lf_release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { lf_release(p); }

namespace {

// The bound the service tests hold a whole hostile answer to, the answer's
// own text included.
constexpr std::size_t kHeapBound_bytes = std::size_t{100} << 20;
constexpr std::size_t kFlood_bytes = std::size_t{15} << 20;

// An answer whose "data" is an array of unit, repeated to 15 MiB.
std::string lf_flood(const std::string& unit) {
    std::string text = R"({"status":200,"data":[)";
    text.reserve(kFlood_bytes + 64);
    const std::string piece = unit + ",";
    while (text.size() + piece.size() < kFlood_bytes) text += piece;
    return text + unit + "]}";
}

// An answer whose "data" is an object of distinct members, each named by
// keyLength characters (a counter in letters at the end of the name).
std::string lf_memberFlood(std::size_t keyLength) {
    std::string text = R"({"status":200,"data":{)";
    text.reserve(kFlood_bytes + 64);
    std::string key(keyLength, 'a');
    for (bool first = true; text.size() < kFlood_bytes; first = false) {
        if (!first) text += ',';
        text += '"';
        text += key;
        text += "\":0";
        for (std::size_t i = key.size(); i-- > 0 && ++key[i] > 'z';) key[i] = 'a';
    }
    return text + "}}";
}

struct Cost {
    std::size_t peak_bytes;
    bool taken;
};

Cost lf_parse(const std::string& text, std::size_t maxValues) {
    const std::size_t base = g_held_bytes.load();
    g_peak_bytes = base;
    std::string why;
    const bool taken = !gf_parseAnswer(text, false, maxValues, &why).is_discarded();
    return {g_peak_bytes.load() - base, taken};
}

// A sweep over the lengths of texts and member names around the string's
// short buffer and the allocator's block sizes, and the other shapes of tiny
// values: none may cost more than the bound with the traffic answers' cap.
TEST(AnswerCost, EveryShapeOf15MiBStaysWithinTheBoundUnderTheTrafficCap) {
    std::vector<std::pair<std::string, std::string>> shapes;
    for (std::size_t length : {0, 16, 24, 40, 100}) {
        shapes.emplace_back(fmt::format("texts of {} characters", length), "\"" + std::string(length, 'x') + "\"");
    }
    shapes.emplace_back("numbers", "0");
    shapes.emplace_back("objects", "{}");
    for (const auto& [name, unit] : shapes) {
        SCOPED_TRACE(name);
        const std::string text = lf_flood(unit);
        const Cost cost = lf_parse(text, kMaxTrafficAnswerValues);
        const std::size_t whole_bytes = cost.peak_bytes + text.capacity();
        EXPECT_LT(whole_bytes, kHeapBound_bytes);
        std::printf("15 MiB of %-32s %4zu MB with the text, %s\n", name.c_str(), whole_bytes >> 20,
                    cost.taken ? "taken" : "refused");
    }
    for (std::size_t keyLength : {16, 24}) {
        SCOPED_TRACE(fmt::format("members named by {} characters", keyLength));
        const std::string text = lf_memberFlood(keyLength);
        const Cost cost = lf_parse(text, kMaxTrafficAnswerValues);
        const std::size_t whole_bytes = cost.peak_bytes + text.capacity();
        EXPECT_LT(whole_bytes, kHeapBound_bytes);
        std::printf("15 MiB of members named by %2zu characters %4zu MB with the text, %s\n", keyLength,
                    whole_bytes >> 20, cost.taken ? "taken" : "refused");
    }
}

}  // namespace
