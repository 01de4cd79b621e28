// answer_caps_bench: what one service answer costs to parse or to refuse,
// each case in a child process of its own so that its peak memory (maxrss)
// is its own. Cases: the busiest real box (2,000 aircraft, five buffered
// snapshots of the service's 48-field entries), and hostile answers of tiny
// values that unfold into far more memory than their text, parsed with the
// answer caps and, for comparison, with no cap on the values. An answer
// should cost at most about 100 MB and 1 s; the uncapped rows show what the
// caps spare.
#include "feed/rt_client.h"

#include <fmt/format.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <limits>
#include <string>

namespace {

// An entry as the stand-in writes it from the recorded flight (about 225 bytes).
std::string lf_entry(int i) {
    return fmt::format(
        R"(["{:06x}",52.128342,5.944595,57.0,8999,282,"1000","0","B738","PH-{:03d}",1527694787.0,"EHAM","LEMD","TRA{:04d}",0,64,)"
        R"("TRA{:04d}","adsb_icao",9024,0,282,0,0,0,57.0,57.0,0,0,"A3","null",0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0])",
        0x400000 + i, i % 1000, i, i);
}

std::string lf_busiestBuffered() {
    std::string text = R"({"status":200,"rrl":2000,"data":{)";
    for (int b = 0; b < 5; ++b) {
        text += fmt::format(R"({}"buffer_{}":{{)", b ? "," : "", b);
        for (int i = 0; i < 2000; ++i) text += fmt::format(R"({}"{:06x}":{})", i ? "," : "", 0x400000 + i, lf_entry(i));
        text += "}";
    }
    return text + "}}";
}

std::string lf_flood(const std::string& unit, std::size_t count, const std::string& tail) {
    std::string text = R"({"status":200,"data":[)";
    text.reserve(text.size() + unit.size() * count + tail.size());
    for (std::size_t i = 0; i < count; ++i) text += unit;
    return text + tail;
}

// Parses text in a child; prints time, peak memory and the outcome.
void lf_case(const char* name, const std::string& text, std::size_t maxValues) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        const auto start = std::chrono::steady_clock::now();
        std::string why;
        const bool taken = !gf_parseAnswer(text, false, maxValues, &why).is_discarded();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%-44s %8.1f MB text %9.0f ms %7ld MB peak  %s\n", name, text.size() / 1048576.0, ms,
                    usage.ru_maxrss / 1024, taken ? "taken" : why.c_str());
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
}

}  // namespace

int main() {
    constexpr std::size_t kUncapped = std::numeric_limits<std::size_t>::max();
    std::printf("answer cap %zu MiB of text; values: %zu (traffic), %zu (others)\n",
                gf_rtTransferLimits().maxAnswer_bytes >> 20, kMaxTrafficAnswerValues, kMaxSmallAnswerValues);
    // Each group's text goes before the next is built: a child's peak counts
    // the pages it shares with this process.
    {
        const std::string busiest = lf_busiestBuffered();
        lf_case("2,000 aircraft, 5 snapshots, traffic cap", busiest, kMaxTrafficAnswerValues);
    }
    {
        const std::string objects15 = lf_flood("{},", std::size_t{5} << 20, "{}]}");
        lf_case("15 MiB of {}, traffic cap", objects15, kMaxTrafficAnswerValues);
        lf_case("15 MiB of {}, weather cap", objects15, kMaxSmallAnswerValues);
        lf_case("15 MiB of {}, no value cap", objects15, kUncapped);
    }
    {
        const std::string zeros15 = lf_flood("0,", std::size_t{15} << 19, "0]}");
        lf_case("15 MiB of 0, traffic cap", zeros15, kMaxTrafficAnswerValues);
        lf_case("15 MiB of 0, no value cap", zeros15, kUncapped);
    }
    {
        // Texts just beyond the string's short buffer, each with a heap
        // block of its own for its characters.
        const std::string texts16 = lf_flood("\"abcdefghijklmnop\",", (std::size_t{15} << 20) / 19, "\"\"]}");
        lf_case("15 MiB of 16-character texts, traffic cap", texts16, kMaxTrafficAnswerValues);
        lf_case("15 MiB of 16-character texts, no value cap", texts16, kUncapped);
    }
    {
        const std::string texts24 = lf_flood("\"abcdefghijklmnopqrstuvwx\",", (std::size_t{15} << 20) / 27, "\"\"]}");
        lf_case("15 MiB of 24-character texts, traffic cap", texts24, kMaxTrafficAnswerValues);
    }
    {
        // Beyond the text cap the transfer ends before any parse; this is
        // what the old 64 MiB cap let through.
        const std::string objects60 = lf_flood("{},", std::size_t{20} << 20, "{}]}");
        lf_case("60 MiB of {}, traffic cap", objects60, kMaxTrafficAnswerValues);
        lf_case("60 MiB of {}, no value cap", objects60, kUncapped);
    }
    return 0;
}
