#include "airports/learned_path.h"

#include "core/log.h"
#include "core/paths.h"
#include "core/text.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace {

void lf_replaceAll(std::string& text, std::string_view from, std::string_view to) {
    std::size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
}

bool lf_refusedInName(unsigned char c) {
    return c < 0x20 || c == '/' || c == '\\' || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' ||
           c == '?' || c == '*';
}

}  // namespace

std::string lf_trimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string gf_publisherFolderName(std::string_view publisher) {
    std::string name(publisher);
    lf_replaceAll(name, "%20", " ");
    for (char& c : name) {
        if (lf_refusedInName(static_cast<unsigned char>(c))) c = ' ';
    }
    // Windows drops trailing dots and blanks from a name; dropping them here
    // keeps "abc." and "abc" one folder on every platform.
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    name = lf_trimBlanks(name);
    if (std::all_of(name.begin(), name.end(), [](char c) { return c == '.'; })) return {};
    return name;
}

fs::path gf_learnedFolderOf(std::string_view publisher) {
    const WorkPaths& paths = gf_workPaths();
    if (publisher == "stock") return paths.learnedStock;
    if (publisher == "simaddon") return paths.learnedSimaddon;
    const std::string folder = gf_publisherFolderName(publisher);
    if (folder.empty()) return paths.learnedThirdparty;
    return paths.learnedThirdparty / fs::u8path(folder);
}

fs::path gf_learnedPathOf(std::string_view publisher, std::string_view code) {
    return gf_learnedFolderOf(publisher) / fs::u8path(std::string(code) + ".xml");
}

fs::path lf_learnedPathOf(std::string_view reference, std::string_view publisher) {
    if (reference.empty()) return {};
    std::string r(reference);
    std::replace(r.begin(), r.end(), '/', '\\');
    gf_logLine(r);
    const std::size_t slash = r.rfind('\\');
    const std::string fileName = slash == std::string::npos ? r : r.substr(slash + 1);
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    std::string extension = fileName.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    if (extension != ".xml") return {};
    const std::string code = fileName.substr(0, dot);

    std::string effectivePublisher(publisher);
    constexpr std::string_view kArchiveThirdparty = "archive\\thirdparty\\";
    const std::size_t vendorAt = r.find(kArchiveThirdparty);
    if (lf_trimBlanks(effectivePublisher).empty() && vendorAt != std::string::npos) {
        const std::size_t start = vendorAt + kArchiveThirdparty.size();
        const std::size_t end = r.find('\\', start);
        if (end != std::string::npos) effectivePublisher = r.substr(start, end - start);
    }
    return gf_learnedPathOf(effectivePublisher, code);
}
