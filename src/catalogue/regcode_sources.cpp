#include "catalogue/regcode_sources.h"

#include "core/file_meta.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/text.h"
#include "core/text_encoding.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Registrations outside these lengths are typing errors, never real marks.
constexpr std::size_t kMinRegistrationLength = 3;
constexpr std::size_t kMaxRegistrationLength = 12;
constexpr std::size_t kRegcodeFileLineReserve = 1024;

bool lf_badLength(const std::string& registration) {
    return registration.size() < kMinRegistrationLength || registration.size() > kMaxRegistrationLength;
}

const char* lf_liveryWord(std::size_t count) { return count == 1 ? "livery" : "liveries"; }

// One line of a regcode text file; false when the line is rejected.
bool lf_readRegcodeLine(const std::string& line, const std::string& pathText, std::vector<Regcode>& out) {
    const std::vector<std::string> fields = gf_split(line, ';');
    const std::size_t n = fields.size();
    if (n == 1) {
        if (!fields[0].empty()) out.push_back(Regcode{fields[0], {}, false});
        return true;
    }
    if (n > 3) {
        gf_logHighlight(fmt::format("{}: wrong format '{}'", pathText, line));
        return false;
    }
    std::vector<std::string> regs = gf_splitCommaSortedUnique(fields[1]);
    if (regs.empty()) return true;
    if (regs.size() == 1) {
        // A single registration always names one aircraft: that livery is
        // reserved for it, whatever the third field says.
        if (lf_badLength(regs[0])) {
            gf_logHighlight(fmt::format("wrong regcode length '{}' in {}", regs[0], pathText));
            return false;
        }
        out.push_back(Regcode{fields[0], std::move(regs), true});
        return true;
    }
    const bool special = n == 3 && fields[2] == kRegcodeSpecialMark;
    bool ok = true;
    std::vector<std::string> kept;
    kept.reserve(regs.size());
    for (std::string& reg : regs) {
        if (lf_badLength(reg)) {
            gf_logHighlight(fmt::format("wrong regcode length '{}' in {}", reg, pathText));
            ok = false;
        } else {
            kept.push_back(std::move(reg));
        }
    }
    if (kept.empty()) {
        gf_logHighlight(fmt::format("{} ; regs empty?", pathText));
        return ok;
    }
    out.push_back(Regcode{fields[0], std::move(kept), special});
    return ok;
}

std::vector<fs::path> lf_regcodeFilesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        if (gf_equalsNoCase(".TXT", gf_pathToUtf8(entry.path().extension()))) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

bool lf_readRegcodeFiles(const fs::path& folder, std::vector<Regcode>& out) {
    bool ok = true;
    try {
        WholeFileReader reader;
        for (const fs::path& file : lf_regcodeFilesIn(folder)) {
            const std::string pathText = gf_pathToUtf8(file);
            gf_logLine(fmt::format("Processing regcodes file '{}'", pathText));
            reader.path = file;
            const WholeFileResult result = gf_readWholeFile(reader, kRegcodeFileLineReserve);
            for (const std::string& line : result.lines) {
                if (line.empty()) continue;
                if (!lf_readRegcodeLine(line, pathText, out)) ok = false;
            }
        }
        gf_logLine(fmt::format("{} {}", out.size(), lf_liveryWord(out.size())));
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("Error reading regcode files in {}, what: {}", gf_pathToUtf8(folder), e.what()));
        return false;
    }
    return ok;
}

bool lf_readAigRegcodesFrom(const fs::path& path, std::vector<Regcode>& out) {
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) {
        gf_logHighlight(fmt::format("Failed to load {}", gf_pathToUtf8(path)));
        std::error_code ec;
        fs::remove(path, ec);
        return false;
    }
    if (!gf_readMeta(document, false)) return false;
    bool ok = true;
    const pugi::xml_node section = gf_rootChild(document, "AIG-regcodes");
    // The title of the last appended entry: a repeat right after it is a
    // copy-and-paste slip of the list's maker.
    std::string previous;
    bool havePrevious = false;
    for (pugi::xml_node livery : section.children("livery")) {
        std::string title = gf_xmlAttributeText(livery, "title");
        if (title.empty()) continue;
        if (havePrevious && title == previous) {
            gf_logHighlight(fmt::format("SAME AS PREVIOUS title '{}'", title));
            ok = false;
            continue;
        }
        Regcode entry;
        entry.title = title;
        entry.regs = gf_splitCommaSortedUnique(gf_xmlAttributeText(livery, "reg"));
        entry.special = livery.attribute("special").as_bool(false);
        out.push_back(std::move(entry));
        previous = std::move(title);
        havePrevious = true;
    }
    gf_logLine(fmt::format("{} {} read from AIG-regcodes", out.size(), lf_liveryWord(out.size())));
    return ok;
}

bool lf_readAigRegcodes(std::vector<Regcode>& out) { return lf_readAigRegcodesFrom(gf_workPaths().regcodesXml, out); }
