#include "core/log.h"

#include "core/files.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::ofstream g_logFile;
std::mutex g_logMutex;

bool lf_isRawControl(unsigned char c) { return (c < 0x20 && c != '\n' && c != '\t') || c == 0x7F; }

// The callers' own line breaks lead or end a text (blank lines around a
// block); a line break inside it comes from a value put into the text, a
// registration or a message of the service, and would start a line of its
// own that Log.txt did not write. Those are written as \x0A.
struct Interior {
    std::size_t begin = 0;
    std::size_t end = 0;
};
Interior lf_interior(std::string_view text) {
    const std::size_t first = text.find_first_not_of('\n');
    if (first == std::string_view::npos) return {};
    return {first, text.find_last_not_of('\n') + 1};
}

bool lf_mustEscape(std::string_view text, std::size_t i, const Interior& inner) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n') return i >= inner.begin && i < inner.end;
    return lf_isRawControl(c);
}

// Every line passes here, so no caller can fill the disk with one text (an
// answer of 16 MB quoted at every poll made gigabytes an hour) or put a raw
// control character into the log: a text is cut after kMaxLogLine_bytes,
// never inside a UTF-8 sequence, with what was cut said; control characters
// but the callers' leading and trailing line breaks and tabs are written as
// \xNN.
std::string lf_safeText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const bool tooLong = text.size() > kMaxLogLine_bytes;
    const std::string_view kept = tooLong ? text.substr(0, kMaxLogLine_bytes) : text;
    const Interior inner = lf_interior(text);
    std::string out;
    out.reserve(kept.size() + 48);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const char ch = kept[i];
        const auto c = static_cast<unsigned char>(ch);
        if (lf_mustEscape(text, i, inner)) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    if (tooLong) {
        std::size_t end = out.size();
        const auto isContinuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
        if (isContinuation(text[kMaxLogLine_bytes])) {
            for (int n = 0; n < 3 && end > 0 && isContinuation(out[end - 1]); ++n) --end;
            if (end > 0 && (static_cast<unsigned char>(out[end - 1]) & 0xC0) == 0xC0) --end;
        }
        out.resize(end);
        out += fmt::format(" ... [line cut, {} bytes in all]", text.size());
    }
    return out;
}

bool lf_needsCare(std::string_view text) {
    if (text.size() > kMaxLogLine_bytes) return true;
    const Interior inner = lf_interior(text);
    for (std::size_t i = 0; i < text.size(); ++i)
        if (lf_mustEscape(text, i, inner)) return true;
    return false;
}

void lf_write(std::string_view prefix, std::string_view text, bool flush) {
    // Made safe before the lock: the other threads' lines do not wait for it.
    std::string safe;
    if (lf_needsCare(text)) {
        safe = lf_safeText(text);
        text = safe;
    }
    std::lock_guard lock(g_logMutex);
    if (!g_logFile.is_open()) return;
    g_logFile << prefix << text << '\n';
    if (flush) g_logFile.flush();
}

}  // namespace

void gf_logLine(std::string_view text) { lf_write({}, text, false); }
void gf_logHighlight(std::string_view text) { lf_write("==> ", text, true); }
void gf_logContinuation(std::string_view text) { lf_write("          ", text, false); }

void gf_logAndFlushConsole(std::string_view text) {
    gf_logLine(text);
    gf_logFlush();
}

void gf_logFlush() {
    std::lock_guard lock(g_logMutex);
    if (g_logFile.is_open()) g_logFile.flush();
}

bool gf_logOpen(const fs::path& path) {
    std::lock_guard lock(g_logMutex);
    if (g_logFile.is_open()) g_logFile.close();
    g_logFile.clear();
    g_logFile.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    return g_logFile.is_open();
}

bool gf_logIsOpen() {
    std::lock_guard lock(g_logMutex);
    return g_logFile.is_open();
}

void gf_logClose() {
    std::lock_guard lock(g_logMutex);
    if (g_logFile.is_open()) g_logFile.close();
}

std::string gf_logBanner(int a, int b, bool leadingBreak, bool trailingBreak, std::string_view title) {
    std::string result = leadingBreak ? "\n" : "";
    int w = a + b;
    if (w % 2 != 0) ++w;
    if (title.empty()) {
        result += std::string(static_cast<size_t>(std::max(w, 0)), '*');
    } else if (w > static_cast<int>(title.size()) + 2) {
        std::string stars(static_cast<size_t>(w / 2 - 1), '*');
        result += fmt::format("{} {} {}", stars, title, stars);
    } else {
        result = std::string(title);
    }
    if (trailingBreak) result += "\n";
    return result;
}

namespace {

// Copies source over target through a temporary file beside the target, so an
// existing target is replaced whole or not at all. (The cross build's
// copy_file also refuses to overwrite an existing file on Windows.)
void lf_copyOver(const fs::path& source, const fs::path& target, std::error_code& ec) {
    const fs::path temp = gf_tempPathFor(target);
    fs::remove(temp, ec);
    ec.clear();
    fs::copy_file(source, temp, ec);
    if (!ec) gf_replaceFile(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
    }
}

// The generation name of a path: k zeros before the extension of its file
// name. Only the file name is searched: the last dot of the whole path may
// belong to a folder ("my.airports/README"), and a copy named after it would
// land in a sibling folder. A name without a dot (or only a leading one) has
// no generations.
bool lf_generationName(const fs::path& path, int k, fs::path& out) {
    const std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    out = path.parent_path() / (name.substr(0, dot) + std::string(static_cast<size_t>(k), '0') + name.substr(dot));
    return true;
}

}  // namespace

void gf_copyIfExists(const fs::path& source, const fs::path& target, bool& ok) {
    std::error_code ec;
    const bool exists = fs::exists(source, ec);
    if (ec) {
        gf_logHighlight(fmt::format("exists({}): {}", source.string(), ec.message()));
        ok = false;
        return;
    }
    if (!exists) return;
    lf_copyOver(source, target, ec);
    if (ec) {
        gf_logHighlight(fmt::format("copy {} -> {} failed: {}", source.string(), target.string(), ec.message()));
        ok = false;
    }
}

bool gf_save1GenerationOf(const fs::path& path) {
    fs::path gen1;
    if (!lf_generationName(path, 1, gen1)) {
        gf_logHighlight(fmt::format("gf_save1GenerationOf: no dot in filename: {}", path.string()));
        return false;
    }
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (ec) {
        gf_logHighlight(fmt::format("exists({}): {}", path.string(), ec.message()));
        return false;
    }
    if (!exists) return true;
    lf_copyOver(path, gen1, ec);
    if (ec) {
        gf_logHighlight(fmt::format("copy {} -> {} failed: {}", path.string(), gen1.string(), ec.message()));
        return false;
    }
    return true;
}

bool gf_saveUpto3GenerationsOf(const fs::path& path) {
    fs::path gen[4];
    gen[0] = path;
    for (int k = 1; k <= 3; ++k) {
        if (!lf_generationName(path, k, gen[k])) {
            gf_logHighlight(fmt::format("gf_saveUpto3GenerationsOf: no dot in filename: {}", path.string()));
            return false;
        }
    }
    bool ok = true;
    gf_copyIfExists(gen[2], gen[3], ok);
    gf_copyIfExists(gen[1], gen[2], ok);
    gf_copyIfExists(gen[0], gen[1], ok);
    return ok;
}
