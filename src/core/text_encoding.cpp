#include "core/text_encoding.h"

#include "core/files.h"
#include "core/status_line.h"

#include <fmt/format.h>

#include <array>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kAnsiLinesReserve = 2048;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

const std::array<std::string, 6> kCharsetNames = {
    "ANSI", "Unicode", "Unicode_big_endian", "UTF8_with_BOM", "UTF8_without_BOM", "none_found",
};

// Reads up to count bytes from the stream's current position.
std::string lf_readBytes(std::istream& in, std::size_t count) {
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// The stream's length from its start, or -1 when it cannot be told.
std::streamoff lf_streamLength(std::istream& in) {
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    in.seekg(0, std::ios::beg);
    return length;
}

std::uint8_t lf_byte(std::string_view bytes, std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); }

// UTF-8 test of the first bytes of a file. A sequence cut by the end of the
// sample is only held against the file when the file ends there too.
bool lf_isUtf8Sample(std::string_view sample, bool fileGoesOn) {
    std::size_t i = 0;
    while (i < sample.size()) {
        const std::uint8_t lead = lf_byte(sample, i);
        std::size_t length = 0;
        std::uint8_t secondMin = 0x80;
        std::uint8_t secondMax = 0xBF;
        if (lead <= 0x7F) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) secondMin = 0xA0;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) secondMin = 0x90;
            if (lead == 0xF4) secondMax = 0x8F;
        } else {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k >= sample.size()) return fileGoesOn;
            const std::uint8_t next = lf_byte(sample, i + k);
            const std::uint8_t low = k == 1 ? secondMin : 0x80;
            const std::uint8_t high = k == 1 ? secondMax : 0xBF;
            if (next < low || next > high) return false;
        }
        i += length;
    }
    return true;
}

Charset lf_charsetFromMarks(std::string_view head) {
    const std::size_t n = head.size();
    if (n >= 3 && head.substr(0, 3) == kUtf8Mark) return Charset::UTF8_with_BOM;
    if (n >= 2) {
        const std::uint8_t b0 = lf_byte(head, 0);
        const std::uint8_t b1 = lf_byte(head, 1);
        if (b0 == 0xFF && b1 == 0xFE) return Charset::Unicode;
        if (b0 == 0xFE && b1 == 0xFF) return Charset::Unicode_big_endian;
        // Without a mark, UTF-16 text of Latin letters shows as zero high bytes.
        if (b1 == 0x00 && (n < 4 || lf_byte(head, 3) == 0x00)) return Charset::Unicode;
        if (b0 == 0x00 && (n < 4 || lf_byte(head, 2) == 0x00)) return Charset::Unicode_big_endian;
    }
    return Charset::none_found;  // no mark: decided by the UTF-8 test
}

bool lf_openBinary(std::ifstream& in, const fs::path& path) {
    in.open(path, std::ios::in | std::ios::binary);
    return in.is_open();
}

}  // namespace

const std::string& gf_charsetName(Charset charset) {
    return kCharsetNames.at(static_cast<std::size_t>(static_cast<int>(charset)));
}

Charset gf_detectCharsetOfText(std::string_view bytes) {
    const Charset marked = lf_charsetFromMarks(bytes.substr(0, 4));
    if (marked != Charset::none_found) return marked;
    // Every byte takes part: an 8-bit character deep in a long file would
    // otherwise stay in its code page while the same text near the start
    // became UTF-8.
    return lf_isUtf8Sample(bytes, false) ? Charset::UTF8_without_BOM : Charset::ANSI;
}

Charset gf_detectCharset(const fs::path& path) {
    std::ifstream in;
    if (!lf_openBinary(in, path)) return Charset::none_found;
    const std::streamoff length = lf_streamLength(in);
    if (length <= 0) return Charset::UTF8_without_BOM;
    return gf_detectCharsetOfText(lf_readBytes(in, static_cast<std::size_t>(length)));
}

void gf_splitLines(std::string_view text, std::vector<std::string>& lines) {
    if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark) text.remove_prefix(kUtf8Mark.size());
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        start = next;
    }
}

void gf_readStreamLines(std::istream& in, std::vector<std::string>& lines) {
    if (!in) return;
    const std::streamoff length = lf_streamLength(in);
    if (length <= 0) {
        in.clear();
        in.seekg(0, std::ios::beg);
        return;
    }
    const std::string text = lf_readBytes(in, static_cast<std::size_t>(length));
    gf_splitLines(text, lines);
}

void gf_readUtf16File(std::istream& in, std::vector<std::string>& lines, Charset orderWithoutMark) {
    const std::streamoff length = lf_streamLength(in);
    if (length < 2) {
        in.clear();
        in.seekg(0, std::ios::beg);
        return;
    }
    const std::string bytes = lf_readBytes(in, static_cast<std::size_t>(length));
    if (bytes.size() < 2) return;

    // A mark decides the order. Without one, the detector has already judged
    // it from the zero high bytes; reading in that order keeps such files
    // readable instead of giving no lines while reporting success.
    bool bigEndian = orderWithoutMark == Charset::Unicode_big_endian;
    std::size_t start = 0;
    const std::uint8_t b0 = lf_byte(bytes, 0);
    const std::uint8_t b1 = lf_byte(bytes, 1);
    if (b0 == 0xFF && b1 == 0xFE) {
        bigEndian = false;
        start = 2;
    } else if (b0 == 0xFE && b1 == 0xFF) {
        bigEndian = true;
        start = 2;
    }
    // An odd last byte belongs to no code unit; dropping it keeps the text
    // before it instead of losing the whole file.
    const std::size_t units = (bytes.size() - start) / 2;
    std::wstring wide(units, L'\0');
    for (std::size_t u = 0; u < units; ++u) {
        const std::uint8_t first = lf_byte(bytes, start + 2 * u);
        const std::uint8_t second = lf_byte(bytes, start + 2 * u + 1);
        const unsigned unit = bigEndian ? (first << 8) | second : (second << 8) | first;
        wide[u] = static_cast<wchar_t>(unit);
    }
    gf_splitLines(wide_to_utf8(wide), lines);
}

bool gf_readTextFileUtf8(Charset charset, const fs::path& path, std::vector<std::string>& lines) {
    try {
        lines.clear();
        std::ifstream in;
        switch (charset) {
            case Charset::Unicode:
            case Charset::Unicode_big_endian:
                if (!lf_openBinary(in, path)) return false;
                gf_readUtf16File(in, lines, charset);
                return true;
            case Charset::UTF8_with_BOM:
                if (!lf_openBinary(in, path)) return false;
                gf_readStreamLines(in, lines);
                if (!lines.empty() && lines.front().size() >= 3 && lines.front().starts_with(kUtf8Mark)) {
                    lines.front().erase(0, kUtf8Mark.size());
                }
                return true;
            case Charset::UTF8_without_BOM:
                if (!lf_openBinary(in, path)) return false;
                gf_readStreamLines(in, lines);
                return true;
            case Charset::ANSI: {
                if (!lf_openBinary(in, path)) return false;
                std::vector<std::string> ansiLines;
                ansiLines.reserve(kAnsiLinesReserve);
                gf_readStreamLines(in, ansiLines);
                lines.reserve(ansiLines.size());
                for (const auto& line : ansiLines) lines.push_back(gf_ansiToUtf8(line));
                return true;
            }
            default:
                throw std::runtime_error(
                    fmt::format("file {} has unknown charset: {}", gf_pathToUtf8(path), gf_charsetName(charset)));
        }
    } catch (const std::exception& e) {
        std::string where;
        try {
            where = gf_pathToUtf8(path);
        } catch (const std::exception&) {
            where = path.generic_string();
        }
        gf_setStatusLine(fmt::format("Read failed for '{}': {}", where, e.what()), true);
        return false;
    }
}

WholeFileResult gf_readWholeFile(WholeFileReader& reader, std::size_t expectedLineCount) {
    reader.lines.clear();
    std::ifstream in;
    if (!lf_openBinary(in, reader.path)) return WholeFileResult{{}, "open_failed"};
    if (expectedLineCount > reader.lines.capacity()) reader.lines.reserve(expectedLineCount);
    gf_readStreamLines(in, reader.lines);
    return WholeFileResult{std::span<const std::string>(reader.lines), {}};
}

bool gf_writeTextFile(std::string_view text, const fs::path& path, bool addNewline) {
    return gf_writeFileReplacing(path, [&](std::ostream& out) {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (addNewline) out.put('\n');
    });
}

bool gf_writeLines(const std::vector<std::string>& lines, const fs::path& path) {
    return gf_writeFileReplacing(path, [&](std::ostream& out) {
        for (const auto& line : lines) {
            out.write(line.data(), static_cast<std::streamsize>(line.size()));
            out.put('\n');
        }
    });
}

void gf_appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}
