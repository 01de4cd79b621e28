#include "catalogue/dont_use_titles.h"

#include "catalogue/livery.h"
#include "catalogue/regcode_sources.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/text.h"
#include "core/text_encoding.h"

#include <fmt/format.h>

namespace {

// Appends the titles of the entries without registrations; the count of
// titles taken (repeats included, as the sources list them).
std::int64_t lf_takeDontUseTitles(const std::vector<Regcode>& entries) {
    std::int64_t count = 0;
    for (const Regcode& entry : entries) {
        if (!entry.regs.empty()) continue;
        g_dontUseTitles.insert(entry.title);
        ++count;
    }
    return count;
}

}  // namespace

void lf_readAigDontUseTitles() {
    std::vector<Regcode> entries;
    lf_readAigRegcodes(entries);
    const std::int64_t count = lf_takeDontUseTitles(entries);
    gf_logLine(fmt::format("{} don't use title{} read", count, gf_pluralInt64(count)));
}

void lf_readMyDontUseTitles() {
    std::vector<Regcode> entries;
    const auto& folder = gf_workPaths().myRegcodes;
    lf_readRegcodeFiles(folder, entries);
    const std::int64_t count = lf_takeDontUseTitles(entries);
    gf_logLine(fmt::format("{} don't use title{} read from files in {}", count, gf_pluralInt64(count),
                           gf_pathToUtf8(folder)));
}
