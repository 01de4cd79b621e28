#include "app/command_line.h"

#include <algorithm>

namespace {

// Switches are plain ASCII, so folding ASCII letters is the whole
// case-insensitive comparison; other characters must match exactly.
bool lf_equalsNoCase(const std::u16string& a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

std::optional<bool> gf_parseProductionSwitches(const std::vector<std::u16string>& args) {
    std::optional<bool> result;
    for (const auto& arg : args) {
        if (lf_equalsNoCase(arg, u"--production") || lf_equalsNoCase(arg, u"/production")) {
            result = true;
        } else if (lf_equalsNoCase(arg, u"--no-production") || lf_equalsNoCase(arg, u"/no-production")) {
            result = false;
        }
    }
    return result;
}
