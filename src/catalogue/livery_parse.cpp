#include "catalogue/livery_parse.h"

#include "catalogue/livery_keys.h"
#include "catalogue/livery_paths.h"
#include "catalogue/livery_reports.h"
#include "catalogue/livery_scan_dbase.h"
#include "catalogue/livery_sections.h"

#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_encoding.h"

#include <fmt/format.h>

#include <charconv>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <cstdint>
#include <limits>
#include <map>
#include <regex>
#include <string_view>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFileLinesReserve = 4096;
constexpr std::size_t kSectionLinesReserve = 48;
constexpr std::int64_t kMaxFltsimNumber = 10000;
// A header among the first characters of a line opens another section
// ("[General]"); further in, a '[' is part of a value.
constexpr std::size_t kOtherHeaderReach = 6;

// Lowers the running-task count on every way out of a task, exceptions
// included, so the walk never waits for a slot no task will free.
struct TaskCountGuard {
    TaskCountGuard() = default;
    TaskCountGuard(const TaskCountGuard&) = delete;
    TaskCountGuard& operator=(const TaskCountGuard&) = delete;
    ~TaskCountGuard() { g_scanTaskCount.count.fetch_sub(1); }
};

// The model folder of an IVAO set, with the separators of this system.
const std::regex& lf_ivaoFolderPattern() {
#ifdef _WIN32
    static const std::regex pattern(R"(.+[\\/]IVAO_MTL[\\/]IVAO_(\w+)[\\/]aircraft.cfg$)",
                                    std::regex::ECMAScript | std::regex::icase);
#else
    static const std::regex pattern(R"(.+/IVAO_MTL/IVAO_(\w+)/aircraft.cfg$)",
                                    std::regex::ECMAScript | std::regex::icase);
#endif
    return pattern;
}

// The IVAO folder names carry variants the Dbase does not know as models.
std::string lf_shortenIvaoModel(std::string m) {
    if (!m.empty() && m.back() == 'w') {
        m.pop_back();
    } else if (m == "B744F" || m == "T154M") {
        m.pop_back();
    } else if (m == "T154B2") {
        m = "T154";
    } else if (m == "GLID_SH" || m == "GLID_A13" || m == "GLID_A25" || m == "GLID_KA6" || m == "GLID_KA8" ||
               m == "GLID_L13") {
        m = "GLID";
    }
    return m;
}

// Steps 2 to 4 of the atc_model rule, shared by both task bodies.
std::string lf_checkedModel(const std::string& value, const fs::path& file) {
    const LiveryScanDbase& dbase = gf_liveryScanDbase();
    if (dbase.isKnownType(value)) return value;
    if (auto fixed = dbase.fixedType(value)) {
        lf_addCodeFix(fmt::format("Model fix: {} found in {} changed into {}", value, lf_narrowPathText(file), *fixed));
        return *fixed;
    }
    lf_addInvalidModelCode(value, file);
    return {};
}

template <typename Handover>
void lf_splitSections(const std::vector<std::string>& lines, bool ivao, Handover handover) {
    std::vector<std::string> section;
    section.reserve(kSectionLinesReserve);
    bool inSection = false;
    for (const std::string& line : lines) {
        if (!lf_readFltsimNumber(line).empty()) {
            if (!section.empty()) {
                handover(section);
                section.clear();
            }
            inSection = true;
            section.push_back(line);
        } else if (ivao ? line.find('[') != std::string::npos
                        : line.find('[') < kOtherHeaderReach) {
            if (inSection && !section.empty()) {
                handover(section);
                section.clear();
            }
            inSection = false;
        } else if (inSection) {
            section.push_back(line);
        }
    }
    if (inSection && !section.empty()) handover(section);
}

// A line that opens a section, as the splitter sees it.
bool lf_isHeaderLine(const std::string& line) {
    return !lf_readFltsimNumber(line).empty() || line.find('[') < kOtherHeaderReach;
}

// "[General]" in any letter case, blanks and a "//" comment around it.
bool lf_isGeneralHeader(std::string_view line) {
    const std::string header = gf_trim(line.substr(0, line.find("//")));
    constexpr std::string_view kGeneral = "[GENERAL]";
    if (header.size() != kGeneral.size()) return false;
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (gf_toUpper(header[i]) != kGeneral[i]) return false;
    }
    return true;
}

// The first atc_model value of a section's lines, empty when it has none.
std::string lf_ownAtcModel(const std::vector<std::string>& section) {
    for (const std::string& line : section) {
        std::string value = lf_readAtcModel(line);
        if (!value.empty()) return value;
    }
    return {};
}

// The first atc_model value of the file, in any section, empty when none.
std::string lf_firstAtcModel(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        std::string value = lf_readAtcModel(line);
        if (!value.empty()) return value;
    }
    return {};
}

// Each atc_model value of one file checked against the Dbase once, so a value
// that [General] and several sections repeat gives one report line.
class FileModelCodes {
public:
    explicit FileModelCodes(const fs::path& file) : m_file(file) {}
    std::string checked(const std::string& value) {
        auto it = m_checked.find(value);
        if (it == m_checked.end()) it = m_checked.emplace(value, lf_checkedModel(value, m_file)).first;
        return it->second;
    }

private:
    const fs::path& m_file;
    std::map<std::string, std::string> m_checked;
};

// The model of the sections that name no usable one of their own: [General]'s
// when the Dbase knows it, else the file's first atc_model anywhere (many
// packages name it only in their first section). Empty when neither is known;
// a file without any atc_model is reported.
std::string lf_fallbackModel(const std::vector<std::string>& lines, const fs::path& file, FileModelCodes& codes) {
    const std::string general = lf_generalAtcModel(lines);
    if (!general.empty()) {
        std::string model = codes.checked(general);
        if (!model.empty()) return model;
    }
    const std::string first = lf_firstAtcModel(lines);
    if (first.empty()) {
        lf_addInvalidCfgFile("Line atc_model= is missing in [General] section of " + lf_narrowPathText(file));
        return {};
    }
    return codes.checked(first);
}

// A section's own model when the Dbase knows it, else the file's: a repaint
// that names a marketing type in its section keeps the package's model
// rather than being dropped.
std::list<Livery> lf_splitWithModels(std::uint32_t folderIndex, const std::vector<std::string>& lines,
                                     const std::string& fallback, const fs::path& file, const fs::path& folder,
                                     FileModelCodes& codes) {
    std::list<Livery> result;
    PathTypes types;
    lf_splitSections(lines, false, [&](std::vector<std::string>& section) {
        const std::string own = lf_ownAtcModel(section);
        std::string sectionModel = own.empty() ? std::string() : codes.checked(own);
        if (sectionModel.empty()) sectionModel = fallback;
        if (sectionModel.empty()) return;
        lf_procesFltSimSection(result, folderIndex, section, sectionModel, file, folder, types);
    });
    return result;
}

}  // namespace

std::string lf_generalAtcModel(const std::vector<std::string>& lines) {
    bool inGeneral = false;
    for (const std::string& line : lines) {
        if (lf_isHeaderLine(line)) {
            inGeneral = lf_isGeneralHeader(line);
        } else if (inGeneral) {
            std::string value = lf_readAtcModel(line);
            if (!value.empty()) return value;
        }
    }
    return {};
}

bool lf_checkFltsimNumbers(const std::vector<std::string>& lines, const fs::path& file) {
    bool anyHeader = false;
    bool outOfRange = false;
    for (const std::string& line : lines) {
        const std::string number = lf_readFltsimNumber(line);
        if (number.empty()) continue;
        std::int32_t value = 0;
        const char* first = number.data();
        const char* last = number.data() + number.size();
        const auto [end, error] = std::from_chars(first, last, value);
        if (error != std::errc() || end == first) {
            gf_logHighlight(fmt::format("fltsim num {} incorrect", line));
            return false;
        }
        anyHeader = true;
        if (value < 0 || value > kMaxFltsimNumber) outOfRange = true;
    }
    if (!anyHeader) {
        lf_addFileWithoutFltsim(lf_narrowPathText(file));
        return true;
    }
    if (outOfRange) {
        lf_addInvalidCfgFile(lf_narrowPathText(file) + " contains a [fltsim.x] section with a number < 0 or > 10000");
        return false;
    }
    return true;
}

namespace {

// Larger files are no aircraft.cfg; the cap keeps a stray file from taking
// the memory of every worker at once.
constexpr std::uintmax_t kMaxCfgBytes = 64u * 1024u * 1024u;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

enum class FileRead { read, notOpened, failed };

// The whole file in one read.
FileRead lf_readFileBytes(const fs::path& file, std::string& bytes) {
    std::ifstream in(file, std::ios::in | std::ios::binary);
    if (!in.is_open()) return FileRead::notOpened;
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    in.seekg(0, std::ios::beg);
    if (length < 0 || static_cast<std::uintmax_t>(length) > kMaxCfgBytes) return FileRead::failed;
    bytes.resize(static_cast<std::size_t>(length));
    in.read(bytes.data(), length);
    if (in.gcount() != length) return FileRead::failed;
    return FileRead::read;
}

// The simulator ends a line at CR, LF or CRLF; files saved on old systems
// carry lone CRs.
void lf_splitAtAnyLineEnd(std::string_view text, std::vector<std::string>& lines) {
    std::size_t start = 0;
    // A plain loop: a search for a set of characters tests each byte against
    // the set with a call of its own.
    for (std::size_t end = 0; end < text.size(); ++end) {
        const char c = text[end];
        if (c != '\r' && c != '\n') continue;
        lines.emplace_back(text.substr(start, end - start));
        if (c == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
}

void lf_utf8Lines(Charset charset, std::string_view bytes, std::vector<std::string>& lines) {
    switch (charset) {
        case Charset::Unicode:
        case Charset::Unicode_big_endian: {
            std::istringstream in{std::string(bytes)};
            std::vector<std::string> utf16Lines;
            gf_readUtf16File(in, utf16Lines, charset);
            std::string text;
            for (const std::string& line : utf16Lines) (text += line) += '\n';
            lf_splitAtAnyLineEnd(text, lines);
            return;
        }
        case Charset::ANSI:
            lf_splitAtAnyLineEnd(gf_ansiToUtf8(bytes), lines);
            return;
        default:
            while (bytes.starts_with(kUtf8Mark)) bytes.remove_prefix(kUtf8Mark.size());
            lf_splitAtAnyLineEnd(bytes, lines);
            return;
    }
}

// The lines of an aircraft.cfg in UTF-8 with its fltsim numbers checked; false
// when it has no text encoding (logged through logNoEncoding), cannot be read
// (logged) or its numbers are off. The file is read once; its whole content
// decides the charset.
bool lf_readCfgLines(const fs::path& file, void (*logNoEncoding)(std::string_view), std::vector<std::string>& lines) {
    std::string bytes;
    const FileRead read = lf_readFileBytes(file, bytes);
    if (read == FileRead::notOpened) {
        // A file removed since the walk found it yields nothing, silently.
        std::error_code ec;
        if (fs::status(file, ec).type() == fs::file_type::not_found) return false;
        logNoEncoding(fmt::format("! No text encoding detected for {}", lf_logPathText(file)));
        return false;
    }
    lines.reserve(kFileLinesReserve);
    try {
        if (read == FileRead::failed) throw std::runtime_error("read failed");
        lf_utf8Lines(gf_detectCharsetOfText(bytes), bytes, lines);
    } catch (const std::exception&) {
        gf_logLine(fmt::format("! Failed reading {}", lf_logPathText(file)));
        return false;
    }
    return lf_checkFltsimNumbers(lines, file);
}

}  // namespace

std::string lf_modelFromAtcModel(const fs::path& file, const std::vector<std::string>& lines) {
    FileModelCodes codes(file);
    return lf_fallbackModel(lines, file, codes);
}

std::string lf_modelFromIvaoFolder(const fs::path& file) {
    const std::string text = lf_narrowPathText(file);
    std::smatch match;
    if (!std::regex_match(text, match, lf_ivaoFolderPattern())) {
        lf_addInvalidModelCode("  ", file);
        return {};
    }
    return lf_checkedModel(lf_shortenIvaoModel(match[1].str()), file);
}

std::list<Livery> lf_splitFltsimSections(std::uint32_t folderIndex, const std::vector<std::string>& lines,
                                         const std::string& model, const fs::path& file, const fs::path& folder) {
    FileModelCodes codes(file);
    return lf_splitWithModels(folderIndex, lines, model, file, folder, codes);
}

std::list<Livery> lf_splitIvaoFltsimSections(std::uint32_t folderIndex, const std::vector<std::string>& lines,
                                             const std::string& model, const fs::path& file,
                                             const fs::path& folder) {
    std::list<Livery> result;
    PathTypes types;
    lf_splitSections(lines, true, [&](std::vector<std::string>& section) {
        Livery livery;
        lf_procesIvaoFltSimSection(livery, folderIndex, section, model, file, folder, types);
        if (!livery.airl.empty()) result.push_back(std::move(livery));
    });
    return result;
}

std::list<Livery> lf_searchLiveriesinFile(std::uint32_t folderIndex, const fs::path& file) {
    const TaskCountGuard guard;
    try {
        const fs::path folder = file.parent_path();
        std::vector<std::string> lines;
        if (!lf_readCfgLines(file, gf_logLine, lines)) return {};
        // Empty when the file names no usable model: sections with a model
        // of their own still give liveries.
        FileModelCodes codes(file);
        const std::string model = lf_fallbackModel(lines, file, codes);
        return lf_splitWithModels(folderIndex, lines, model, file, folder, codes);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("! Exception in lf_searchLiveriesinFile {}: {}", lf_logPathText(file), e.what()));
        throw;
    }
}

std::list<Livery> lf_searchLiveriesinIVAOFile(std::uint32_t folderIndex, const fs::path& file) {
    const TaskCountGuard guard;
    try {
        const std::string model = lf_modelFromIvaoFolder(file);
        if (model.empty()) return {};
        const fs::path folder = file.parent_path();
        std::vector<std::string> lines;
        if (!lf_readCfgLines(file, gf_logHighlight, lines)) return {};
        return lf_splitIvaoFltsimSections(folderIndex, lines, model, file, folder);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("! Exception in lf_searchLiveriesinIVAOFile {}: {}", lf_logPathText(file), e.what()));
        throw;
    } catch (...) {
        gf_logLine(fmt::format("! Unknown exception in lf_searchLiveriesinIVAOFile {}", lf_logPathText(file)));
        throw;
    }
}
