#include "airports/stand_file_rewrite.h"

#include "airports/hours_text.h"
#include "core/file_meta.h"
#include "core/files.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/text.h"
#include "core/text_encoding.h"

#include <algorithm>
#include <fmt/format.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace fs = std::filesystem;

namespace {

// ---- The file's text as elements with byte ranges ----
//
// The file was read by the XML parser before, so it is well formed; this
// scan only finds where its elements and attributes are, so that a value
// can be replaced and an element added without touching anything else.

struct TextAttribute {
    std::string_view name;
    std::size_t valueBegin = 0, valueEnd = 0;  // the raw value between the quotes
    char quote = '"';
};

struct TextElement {
    std::string_view name;
    std::size_t begin = 0;     // '<' of the start tag
    std::size_t nameEnd = 0;   // after the name
    std::size_t tagEnd = 0;    // after the start tag's '>'
    bool selfClosing = false;
    std::size_t closeBegin = 0, closeEnd = 0;  // the end tag, when there is one
    std::vector<TextAttribute> attributes;
    std::vector<std::size_t> children;  // element children, in order
    std::size_t end() const { return selfClosing ? tagEnd : closeEnd; }
};

bool lf_isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Element 0 is the document. False when the text does not scan.
bool lf_scan(std::string_view t, std::vector<TextElement>& elements) {
    elements.assign(1, TextElement{});
    std::vector<std::size_t> open{0};
    const auto skipPast = [&](std::size_t from, std::string_view end, std::size_t& i) {
        const std::size_t at = t.find(end, from);
        if (at == std::string_view::npos) return false;
        i = at + end.size();
        return true;
    };
    std::size_t i = 0;
    while (i < t.size()) {
        if (t[i] != '<') {
            i = t.find('<', i);
            if (i == std::string_view::npos) break;
            continue;
        }
        const std::string_view rest = t.substr(i);
        if (rest.starts_with("<!--")) {
            if (!skipPast(i + 4, "-->", i)) return false;
        } else if (rest.starts_with("<![CDATA[")) {
            if (!skipPast(i + 9, "]]>", i)) return false;
        } else if (rest.starts_with("<?")) {
            if (!skipPast(i + 2, "?>", i)) return false;
        } else if (rest.starts_with("<!")) {
            // A document type, perhaps with entity declarations in brackets.
            int depth = 0;
            char quote = 0;
            std::size_t j = i + 2;
            for (; j < t.size(); ++j) {
                const char c = t[j];
                if (!quote && t.substr(j).starts_with("<!--")) {
                    const std::size_t end = t.find("-->", j + 4);
                    if (end == std::string_view::npos) return false;
                    j = end + 2;
                    continue;
                }
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '[') {
                    ++depth;
                } else if (c == ']') {
                    --depth;
                } else if (c == '>' && depth <= 0) {
                    break;
                }
            }
            if (j >= t.size()) return false;
            i = j + 1;
        } else if (rest.starts_with("</")) {
            const std::size_t close = t.find('>', i);
            if (close == std::string_view::npos || open.size() < 2) return false;
            TextElement& e = elements[open.back()];
            e.closeBegin = i;
            e.closeEnd = close + 1;
            open.pop_back();
            i = close + 1;
        } else {
            TextElement e;
            e.begin = i;
            std::size_t j = i + 1;
            while (j < t.size() && !lf_isBlank(t[j]) && t[j] != '/' && t[j] != '>') ++j;
            e.name = t.substr(i + 1, j - i - 1);
            e.nameEnd = j;
            for (;;) {
                while (j < t.size() && lf_isBlank(t[j])) ++j;
                if (j >= t.size()) return false;
                if (t[j] == '>') {
                    e.tagEnd = j + 1;
                    break;
                }
                if (t[j] == '/') {
                    if (j + 1 >= t.size() || t[j + 1] != '>') return false;
                    e.selfClosing = true;
                    e.tagEnd = j + 2;
                    break;
                }
                TextAttribute a;
                const std::size_t nameBegin = j;
                while (j < t.size() && !lf_isBlank(t[j]) && t[j] != '=') ++j;
                a.name = t.substr(nameBegin, j - nameBegin);
                while (j < t.size() && lf_isBlank(t[j])) ++j;
                if (j >= t.size() || t[j] != '=') return false;
                ++j;
                while (j < t.size() && lf_isBlank(t[j])) ++j;
                if (j >= t.size() || (t[j] != '"' && t[j] != '\'')) return false;
                a.quote = t[j];
                a.valueBegin = j + 1;
                const std::size_t close = t.find(a.quote, a.valueBegin);
                if (close == std::string_view::npos) return false;
                a.valueEnd = close;
                e.attributes.push_back(a);
                j = close + 1;
            }
            const std::size_t index = elements.size();
            const bool selfClosing = e.selfClosing;
            i = e.tagEnd;
            elements.push_back(std::move(e));
            elements[open.back()].children.push_back(index);
            if (!selfClosing) open.push_back(index);
        }
    }
    return open.size() == 1;
}

void lf_appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// An attribute's value as the XML parser gives it: the five named and the
// numbered references replaced, line ends and tabs as blanks; a reference
// it does not know stays as written.
std::string lf_attributeValue(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
            out.push_back(' ');
            ++i;
        } else if (c == '\r' || c == '\n' || c == '\t') {
            out.push_back(' ');
        } else if (c == '&') {
            const std::size_t semi = raw.find(';', i);
            const std::string_view name = semi == std::string_view::npos ? std::string_view() : raw.substr(i + 1, semi - i - 1);
            static const std::pair<std::string_view, char> kNamed[] = {
                {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
            bool done = false;
            for (const auto& [n, ch] : kNamed) {
                if (name == n) {
                    out.push_back(ch);
                    done = true;
                }
            }
            if (!done && name.size() > 1 && name[0] == '#') {
                const bool hex = name[1] == 'x';
                const std::string digits(name.substr(hex ? 2 : 1));
                char* end = nullptr;
                const unsigned long code = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
                if (!digits.empty() && end && *end == '\0' && code > 0 && code <= 0x10FFFF) {
                    lf_appendUtf8(out, static_cast<std::uint32_t>(code));
                    done = true;
                }
            }
            if (done) {
                i = semi;
            } else {
                out.push_back(c);
            }
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// Every UTF-8 letter beyond ASCII as a numeric character reference; a byte
// that is not UTF-8 stays as it is.
std::string lf_asciiReferences(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t length = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 1;
        std::uint32_t c = length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        bool whole = length > 1 && i + length <= text.size();
        for (std::size_t k = 1; whole && k < length; ++k) {
            const auto n = static_cast<unsigned char>(text[i + k]);
            whole = n >= 0x80 && n <= 0xBF;
            c = (c << 6) | (n & 0x3F);
        }
        if (!whole) {
            out.push_back(text[i++]);
            continue;
        }
        out += fmt::format("&#{};", c);
        i += length;
    }
    return out;
}

std::string lf_escaped(std::string_view value, char quote) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '\t': out += "&#9;"; break;
            case '\n': out += "&#10;"; break;
            case '\r': out += "&#13;"; break;
            case '"': out += quote == '"' ? "&quot;" : "\""; break;
            case '\'': out += quote == '\'' ? "&apos;" : "'"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

// A yes/no value as the reader takes it (" true" and "on" are yes): judged
// otherwise, the close would find no entry for a use the file holds, or
// overwrite the user's spelling of a flag that was already set.
bool lf_flagValue(std::string_view value) { return gf_wholeFlag(value).value_or(false); }

// A new element in the form the program writes, its children one level in.
void lf_elementText(pugi::xml_node node, const std::string& lineBreak, const std::string& unit, std::string& out) {
    out += '<';
    out += node.name();
    for (pugi::xml_attribute a : node.attributes()) {
        out += fmt::format(" {}=\"{}\"", a.name(), lf_escaped(a.value(), '"'));
    }
    if (!node.first_child()) {
        out += "/>";
        return;
    }
    out += '>';
    const std::string inner = lineBreak.empty() ? std::string() : lineBreak + unit;
    for (pugi::xml_node child : node.children()) {
        out += inner;
        lf_elementText(child, inner, unit, out);
    }
    out += lineBreak + "</" + node.name() + ">";
}

// ---- The edits, applied at once ----

struct Edit {
    std::size_t at = 0;
    std::size_t length = 0;  // replaced bytes; 0 for an insertion
    std::string text;
};

std::string lf_applied(std::string_view text, std::vector<Edit> edits) {
    // Insertions before a replacement at the same place (an attribute added
    // where "/>" becomes ">...</parkpos>"); otherwise in the order made.
    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
        if (a.at != b.at) return a.at < b.at;
        return (a.length == 0) && (b.length != 0);
    });
    std::string out;
    out.reserve(text.size() + 256);
    std::size_t from = 0;
    for (const Edit& e : edits) {
        out.append(text.substr(from, e.at - from));
        out += e.text;
        from = e.at + e.length;
    }
    out.append(text.substr(from));
    return out;
}

// ---- What the visit learned ----

struct UseChange {
    StandOption before;
    StandOption now;
};

struct StandChange {
    const Stand* now = nullptr;
    bool radius = false;
    bool cargo = false;
    std::vector<StandOption> newUses;
    std::vector<UseChange> changedUses;
    bool any() const { return radius || cargo || !newUses.empty() || !changedUses.empty(); }
};

struct VisitLearning {
    std::vector<StandChange> stands;
    std::vector<std::pair<std::string, std::string>> settings;  // name, value as written
    bool empty() const { return stands.empty() && settings.empty(); }
};

bool lf_sameAircraft(const StandOption& a, const StandOption& b) {
    return a.reg == b.reg && a.airline == b.airline && a.type == b.type && a.day == b.day && a.real == b.real;
}

std::string lf_csText(const StandOption& o) { return o.cs2.empty() ? o.cs : o.cs + ":" + o.cs2; }

// The uses of a stand now against those read: the traffic appends uses and
// lengthens them, so the read ones are found in order in the common case.
void lf_compareUses(const Stand& before, const Stand& now, StandChange& change) {
    std::vector<bool> taken(now.options.size(), false);
    for (std::size_t i = 0; i < before.options.size(); ++i) {
        const StandOption& b = before.options[i];
        const auto holds = [&](std::size_t j) {
            const StandOption& n = now.options[j];
            return !taken[j] && lf_sameAircraft(b, n) && (n.halfHours & b.halfHours) == b.halfHours;
        };
        std::size_t found = now.options.size();
        if (i < now.options.size() && holds(i)) {
            found = i;
        } else {
            for (std::size_t j = 0; j < now.options.size(); ++j) {
                if (holds(j)) {
                    found = j;
                    break;
                }
            }
        }
        if (found == now.options.size()) continue;  // nothing is taken out of a user's file
        taken[found] = true;
        const StandOption& n = now.options[found];
        if (n.halfHours != b.halfHours || lf_csText(n) != lf_csText(b) || (n.cpl && !b.cpl)) {
            change.changedUses.push_back({b, n});
        }
    }
    for (std::size_t j = 0; j < now.options.size(); ++j) {
        // A use the traffic set aside for the visit is not written.
        if (!taken[j] && now.options[j].index != 0) change.newUses.push_back(now.options[j]);
    }
}

VisitLearning lf_visitLearning(const AirportFile& record, const StandFileReadRecord& read, bool handmade) {
    VisitLearning learning;
    std::unordered_map<std::string_view, const Stand*> before;
    before.reserve(read.asRead.stands.size());
    for (const Stand& s : read.asRead.stands) before.emplace(s.id, &s);
    static const Stand kNone("", {}, StandPlace{}, 0.0, false, false, false);
    for (const Stand& s : record.stands) {
        const auto it = before.find(s.id);
        const Stand* b = it == before.end() ? nullptr : it->second;
        StandChange change;
        change.now = &s;
        if (handmade) {
            change.radius = b ? s.radius != b->radius : false;
            change.cargo = b ? (!s.heli && s.cargo != b->cargo) : false;
        } else {
            change.radius = s.radius_change && !(b && b->radius_change && b->radius == s.radius);
            change.cargo = s.cargo_change && !(b && b->cargo_change && b->cargo == s.cargo);
        }
        lf_compareUses(b ? *b : kNone, s, change);
        if (change.any() || (!b && s.manual)) learning.stands.push_back(std::move(change));
    }
    const LearnedSettings now = gf_currentLearnedSettings();
    const LearnedSettings& was = read.settings;
    const auto number = [&](const auto& setting, std::int32_t a, std::int32_t b) {
        if (a != b) learning.settings.emplace_back(setting.name(), fmt::format("{}", a));
    };
    const auto flag = [&](const auto& setting, bool a, bool b) {
        if (a != b) learning.settings.emplace_back(setting.name(), a ? "true" : "false");
    };
    // With the automatic range the range follows the user's height: it was
    // not chosen at the airport.
    if (!(now.autoRange && was.autoRange)) number(RANGE, now.range, was.range);
    flag(AUTO_RANGE, now.autoRange, was.autoRange);
    flag(WEEK, now.week, was.week);
    flag(PARK_SOFT, now.parkSoft, was.parkSoft);
    number(parking_percentage, now.parkingPercentage, was.parkingPercentage);
    flag(INITIAL_LOAD_ONLY, now.initialLoadOnly, was.initialLoadOnly);
    number(MAX_FIT, now.maxFit, was.maxFit);
    flag(RT_PARKTRAFFIC_ONLY, now.rtParkTrafficOnly, was.rtParkTrafficOnly);
    number(MAX_LIVE_SEL, now.maxLiveSel, was.maxLiveSel);
    return learning;
}

// ---- Writing the learning into the file's text ----

class Splice {
public:
    // userChanged: the text is the user's, changed during the visit.
    // ansi: the text is the file's own single-byte text, whose values are
    // read in the ANSI code page.
    Splice(std::string_view text, std::vector<TextElement>& elements, bool handmade, bool userChanged, bool ansi)
        : m_text(text), m_elements(elements), m_handmade(handmade), m_userChanged(userChanged), m_ansi(ansi) {
        m_unit = text.find("\n\t") != std::string_view::npos && text.find("\n  ") == std::string_view::npos ? "\t"
                                                                                                            : "  ";
        // Where the reader takes things from: the first root element's
        // children, or the document's when there is no root.
        for (const std::size_t c : m_elements[0].children) {
            if (m_elements[c].name == "root") {
                m_root = c;
                break;
            }
        }
        m_parameters = child(m_root, "parameters");
        m_parkpositions = child(m_root, "parkpositions");
        if (m_parkpositions) {
            for (const std::size_t c : m_elements[*m_parkpositions].children) {
                if (m_elements[c].name != "parkpos") continue;
                const TextAttribute* id = attribute(c, "id");
                if (!id) continue;
                std::string key = valueOf(*id);
                if (m_handmade) key = gf_trim(key);
                m_standElements[key].push_back(c);
            }
        }
    }

    // False when the stand has no place in the file (a file without root).
    // A lengthened use whose entry the user took out of the file during the
    // visit is not put back: it goes to left.
    bool addStand(const StandChange& change, StandChange& left) {
        const Stand& s = *change.now;
        const auto it = m_standElements.find(s.id);
        if (it == m_standElements.end()) return addNewStand(change);
        const std::vector<std::size_t>& elements = it->second;
        if (change.radius) {
            const std::size_t target = lastWith(elements, "radius_change");
            if (!m_handmade) setFlag(target, "radius_change");
            setAttribute(target, "radius", fmt::format("{:.1f}", s.radius * kMetresPerNm));
        }
        if (change.cargo) {
            const std::size_t target = lastWith(elements, "cargo_change");
            if (!m_handmade) setFlag(target, "cargo_change");
            setAttribute(target, "cargo", s.cargo ? "true" : "false");
        }
        std::vector<StandOption> appended = change.newUses;
        for (const UseChange& use : change.changedUses) {
            const std::optional<std::size_t> opt = optOf(elements, use.before);
            if (!opt && m_userChanged) {
                left.now = change.now;
                left.changedUses.push_back(use);
                continue;
            }
            if (!opt) {
                appended.push_back(use.now);
                continue;
            }
            const StandOption& n = use.now;
            if (n.halfHours != use.before.halfHours) {
                if (const auto hours = gf_bitset2hours(n.halfHours)) {
                    setAttribute(*opt, "hh", *hours);
                } else {
                    gf_logHighlight(fmt::format("bit set problem: {} {} {}", n.reg, n.cs,
                                                fmt::format("{:3} {:4}", n.airline, n.type)));
                }
            }
            if (lf_csText(n) != lf_csText(use.before)) setAttribute(*opt, "cs", lf_csText(n));
            if (n.cpl && !use.before.cpl) setAttribute(*opt, "cpl", "true");
        }
        if (appended.empty()) return true;
        pugi::xml_node holder = m_scratch.append_child("parkpos");
        for (const StandOption& o : appended) gf_appendStandOption(holder, o);
        for (pugi::xml_node opt : holder.children()) m_pending[elements.front()].push_back(opt);
        return true;
    }

    // False when the file has no root to hold the setting.
    bool addSetting(const std::string& name, const std::string& value) {
        if (m_parameters) {
            for (const std::size_t c : m_elements[*m_parameters].children) {
                const TextAttribute* n = attribute(c, "name");
                if (m_elements[c].name == "parameter" && n && valueOf(*n) == name) {
                    setAttribute(c, "value", value);
                    return true;
                }
            }
        }
        pugi::xml_node parameters;
        if (m_parameters) {
            parameters = m_scratch.append_child("parameters");
        } else {
            if (m_root == 0) return false;
            if (!m_newParameters) {
                m_newParameters = m_scratch.append_child("parameters");
                m_pending[m_root].push_back(m_newParameters);
            }
            parameters = m_newParameters;
        }
        gf_appendTextParameterElement(parameters, name, value);
        if (m_parameters) m_pending[*m_parameters].push_back(parameters.last_child());
        return true;
    }

    std::string result() {
        for (const auto& [element, nodes] : m_pending) appendChildren(element, nodes);
        m_pending.clear();
        // A single-byte file takes a new letter as a reference: its own
        // bytes stay as they are, and every editor and reader reads it.
        if (m_ansi) {
            for (Edit& e : m_edits) e.text = lf_asciiReferences(e.text);
        }
        return lf_applied(m_text, m_edits);
    }

    // What result() put in: ASCII only (it fits a single-byte file as it
    // is), and UTF-8 (it fits a UTF-8 file whatever stray bytes it holds).
    bool insertsOnlyAscii() const {
        return std::all_of(m_edits.begin(), m_edits.end(), [](const Edit& e) {
            return std::all_of(e.text.begin(), e.text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        });
    }
    bool insertsOnlyUtf8() const {
        return std::all_of(m_edits.begin(), m_edits.end(), [](const Edit& e) {
            return e.text.find('\0') == std::string::npos && gf_detectCharsetOfText(e.text) == Charset::UTF8_without_BOM;
        });
    }

private:
    std::string_view raw(const TextAttribute& a) const { return m_text.substr(a.valueBegin, a.valueEnd - a.valueBegin); }

    std::string valueOf(const TextAttribute& a) const {
        std::string value = lf_attributeValue(raw(a));
        return m_ansi ? gf_ansiToUtf8(value) : value;
    }

    const TextAttribute* attribute(std::size_t element, std::string_view name) const {
        for (const TextAttribute& a : m_elements[element].attributes) {
            if (a.name == name) return &a;
        }
        return nullptr;
    }

    std::optional<std::size_t> child(std::size_t element, std::string_view name) const {
        for (const std::size_t c : m_elements[element].children) {
            if (m_elements[c].name == name) return c;
        }
        return std::nullopt;
    }

    // Of a stand's entries, the one whose flag the reader takes last.
    std::size_t lastWith(const std::vector<std::size_t>& elements, std::string_view flag) const {
        for (auto it = elements.rbegin(); it != elements.rend(); ++it) {
            const TextAttribute* a = attribute(*it, flag);
            if (a && lf_flagValue(valueOf(*a))) return *it;
        }
        return elements.front();
    }

    void setFlag(std::size_t element, std::string_view name) {
        const TextAttribute* a = attribute(element, name);
        if (a && lf_flagValue(valueOf(*a))) return;
        setAttribute(element, name, "true");
    }

    void setAttribute(std::size_t element, std::string_view name, const std::string& value) {
        if (const TextAttribute* a = attribute(element, name)) {
            if (valueOf(*a) == value) return;
            m_edits.push_back({a->valueBegin, a->valueEnd - a->valueBegin, lf_escaped(value, a->quote)});
            return;
        }
        const TextElement& e = m_elements[element];
        const std::size_t at = e.attributes.empty() ? e.nameEnd : e.attributes.back().valueEnd + 1;
        m_edits.push_back({at, 0, fmt::format(" {}=\"{}\"", name, lf_escaped(value, '"'))});
    }

    // The entry of a use read: same registration, day, hours and kind.
    std::optional<std::size_t> optOf(const std::vector<std::size_t>& elements, const StandOption& o) {
        for (const std::size_t e : elements) {
            for (const std::size_t c : m_elements[e].children) {
                if (m_elements[c].name != "opt" || m_usedOpts.count(c)) continue;
                const auto value = [&](std::string_view name) {
                    const TextAttribute* a = attribute(c, name);
                    return a ? valueOf(*a) : std::string();
                };
                if (value("reg") != o.reg || gf_hours2bitset(value("hh")) != o.halfHours ||
                    gf_wholeInteger(value("day")) != static_cast<std::int64_t>(o.day) ||
                    lf_flagValue(value("soft")) != (o.real == 0)) {
                    continue;
                }
                m_usedOpts.insert(c);
                return c;
            }
        }
        return std::nullopt;
    }

    // The line break and indent before a place, when it begins its line;
    // empty for a file written on one line.
    std::string lineBreakBefore(std::size_t at) const {
        std::size_t i = at;
        while (i > 0 && (m_text[i - 1] == ' ' || m_text[i - 1] == '\t')) --i;
        if (i == 0 || m_text[i - 1] != '\n') return {};
        const std::size_t lineStart = i >= 2 && m_text[i - 2] == '\r' ? i - 2 : i - 1;
        return std::string(m_text.substr(lineStart, at - lineStart));
    }

    // One edit per element: its new children after its last one, in the
    // file's own line breaks and indent.
    void appendChildren(std::size_t element, const std::vector<pugi::xml_node>& nodes) {
        const TextElement& e = m_elements[element];
        const std::string outer = lineBreakBefore(e.begin);
        std::string inner;
        if (!e.children.empty()) {
            inner = lineBreakBefore(m_elements[e.children.front()].begin);
        } else if (!outer.empty()) {
            inner = outer + m_unit;
        } else if (element == m_root && m_text.find('\n') != std::string_view::npos) {
            // A root at the start of the file's first line.
            inner = (m_text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n") + m_unit;
        }
        std::string text;
        for (const pugi::xml_node node : nodes) {
            text += inner;
            lf_elementText(node, inner, m_unit, text);
        }
        if (!e.children.empty()) {
            m_edits.push_back({m_elements[e.children.back()].end(), 0, text});
        } else if (e.selfClosing) {
            m_edits.push_back({e.tagEnd - 2, 2, ">" + text + outer + "</" + std::string(e.name) + ">"});
        } else if (e.closeBegin == e.tagEnd) {
            m_edits.push_back({e.tagEnd, 0, text + outer});
        } else {
            m_edits.push_back({e.tagEnd, 0, text});
        }
    }

    bool addNewStand(const StandChange& change) {
        const Stand& s = *change.now;
        pugi::xml_node into;
        if (!m_parkpositions) {
            if (m_root == 0) return false;
            if (!m_newParkpositions) {
                m_newParkpositions = m_scratch.append_child("parkpositions");
                m_pending[m_root].push_back(m_newParkpositions);
            }
            into = m_newParkpositions;
        } else {
            into = m_scratch.append_child("parkpositions");
        }
        pugi::xml_node parkpos = into.append_child("parkpos");
        gf_appendParkposAttributes(parkpos, s, m_handmade || s.manual);
        for (const StandOption& o : change.newUses) gf_appendStandOption(parkpos, o);
        for (const UseChange& u : change.changedUses) gf_appendStandOption(parkpos, u.now);
        if (m_parkpositions) m_pending[*m_parkpositions].push_back(parkpos);
        return true;
    }

    std::string_view m_text;
    std::vector<TextElement>& m_elements;
    bool m_handmade;
    bool m_userChanged;
    bool m_ansi;
    std::string m_unit;
    std::size_t m_root = 0;
    std::optional<std::size_t> m_parameters;
    std::optional<std::size_t> m_parkpositions;
    std::unordered_map<std::string, std::vector<std::size_t>> m_standElements;
    std::unordered_set<std::size_t> m_usedOpts;
    std::vector<Edit> m_edits;
    pugi::xml_document m_scratch;
    pugi::xml_node m_newParkpositions;
    pugi::xml_node m_newParameters;
    std::map<std::size_t, std::vector<pugi::xml_node>> m_pending;
};

// ---- The file's bytes as UTF-8 text ----

// The file is written back in its own encoding, so that every byte the
// visit did not change stays as it was: UTF-16 is edited as UTF-8 and
// encoded back; a single-byte (Windows-1252) file and a UTF-8 file with a
// stray byte are edited in their own bytes, as the reader reads them.
enum class TextKind { utf8, ansi, utf16le, utf16be };

struct TextForm {
    std::string mark;   // the byte-order mark the file began with, written back
    std::string text;   // the text after it: UTF-8, or the file's own bytes for ansi
    TextKind kind = TextKind::utf8;
    bool converted = false;  // a single-byte file whose new text needs more: written as UTF-8
};

std::optional<std::string> lf_fromUtf16(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size() / 2);
    const auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<std::uint32_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 3 >= bytes.size()) return std::nullopt;
            const std::uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return std::nullopt;
        }
        lf_appendUtf8(out, c);
    }
    return out;
}

void lf_appendUtf16(std::string& out, std::uint32_t unit, bool bigEndian) {
    const char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
    out.push_back(bigEndian ? hi : lo);
    out.push_back(bigEndian ? lo : hi);
}

// UTF-8 (valid: decoded from UTF-16 or written by the program) as UTF-16.
std::string lf_toUtf16(std::string_view utf8, bool bigEndian) {
    std::string out;
    out.reserve(utf8.size() * 2);
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        std::uint32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k < length && i + k < utf8.size(); ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += static_cast<std::size_t>(length);
        if (c >= 0x10000) {
            c -= 0x10000;
            lf_appendUtf16(out, 0xD800 + (c >> 10), bigEndian);
            lf_appendUtf16(out, 0xDC00 + (c & 0x3FF), bigEndian);
        } else {
            lf_appendUtf16(out, c, bigEndian);
        }
    }
    return out;
}

std::optional<TextForm> lf_textForm(const std::string& bytes) {
    TextForm form;
    const std::string_view all(bytes);
    const bool le = all.starts_with("\xFF\xFE") || (all.size() >= 2 && all[0] != '\0' && all[1] == '\0');
    const bool be = all.starts_with("\xFE\xFF") || (all.size() >= 2 && all[0] == '\0' && all[1] != '\0');
    if (all.starts_with("\xEF\xBB\xBF")) {
        form.mark = all.substr(0, 3);
        form.text = all.substr(3);
    } else if (le || be) {
        const bool marked = all.starts_with("\xFF\xFE") || all.starts_with("\xFE\xFF");
        if (marked) form.mark = all.substr(0, 2);
        if (all.size() % 2 != 0) return std::nullopt;
        auto text = lf_fromUtf16(all.substr(marked ? 2 : 0), be);
        if (!text) return std::nullopt;
        form.text = std::move(*text);
        form.kind = be ? TextKind::utf16be : TextKind::utf16le;
    } else {
        form.text = bytes;
        // Read as the reader reads it: a UTF-8 file with a stray byte stays
        // UTF-8, its stray byte kept as it is.
        if (!gf_standTextIsUtf8(all)) form.kind = TextKind::ansi;
    }
    // A text with NULs is no text at all.
    if (form.text.find('\0') != std::string::npos) return std::nullopt;
    return form;
}

// A single-byte file whose new text does not fit it: all of it as UTF-8,
// and its declaration says so.
void lf_convertToUtf8(TextForm& form) {
    form.text = gf_ansiToUtf8(form.text);
    form.kind = TextKind::utf8;
    form.converted = true;
    if (form.text.starts_with("<?xml")) {
        const std::size_t end = form.text.find("?>");
        const std::size_t at = form.text.find("encoding", 0);
        if (at != std::string::npos && at < end) {
            const std::size_t open = form.text.find_first_of("\"'", at);
            const std::size_t close = open == std::string::npos ? open : form.text.find(form.text[open], open + 1);
            if (close != std::string::npos && close < end) form.text.replace(open + 1, close - open - 1, "UTF-8");
        }
    }
}

// The edited text in the file's own encoding.
std::string lf_encoded(const TextForm& form, std::string_view text) {
    if (form.kind == TextKind::utf16le || form.kind == TextKind::utf16be) {
        return form.mark + lf_toUtf16(text, form.kind == TextKind::utf16be);
    }
    return form.mark + std::string(text);
}

std::optional<std::string> lf_readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream out;
    out << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return std::move(out).str();
}

// ---- Side file ----

fs::path lf_sideFileName(const fs::path& path) {
    const std::string stem = gf_pathToUtf8(path.stem());
    const std::string extension = gf_pathToUtf8(path.extension());
    for (int n = 1;; ++n) {
        const fs::path candidate =
            path.parent_path() / fs::u8path(stem + ".visit" + (n == 1 ? std::string() : std::to_string(n)) + extension);
        std::error_code ec;
        if (!fs::exists(candidate, ec) && !ec) return candidate;
        if (n > 9999) return candidate;
    }
}

// The uses a side file holds for a stand, as its entries give them.
std::vector<StandOption> lf_sideUses(const pugi::xml_document& document, const std::string& id) {
    std::vector<StandOption> uses;
    for (pugi::xml_node parkpos : gf_rootChild(document, "parkpositions").children("parkpos")) {
        if (id != parkpos.attribute("id").value()) continue;
        for (pugi::xml_node opt : parkpos.children("opt")) {
            StandOption o;
            o.reg = opt.attribute("reg").value();
            o.airline = opt.attribute("airl").value();
            o.type = opt.attribute("type").value();
            o.cs = opt.attribute("cs").value();
            o.day = static_cast<std::uint32_t>(gf_wholeInteger(opt.attribute("day").value()).value_or(0));
            o.halfHours = gf_hours2bitset(opt.attribute("hh").value());
            o.real = lf_flagValue(opt.attribute("soft").value()) ? 0 : 1;
            o.cpl = lf_flagValue(opt.attribute("cpl").value());
            uses.push_back(std::move(o));
        }
    }
    return uses;
}

// A damaged file stays damaged over many visits: each close adds what it
// learned to the side file of the closes before, in that file's own text,
// instead of leaving one more file beside. False when the side file cannot
// take it (it no longer reads, the user made it something else): the caller
// then keeps the learning in a new side file and this one stays as it is.
bool lf_addToSideFile(const fs::path& sidePath, const std::vector<StandChange>& stands) {
    const std::optional<std::string> bytes = lf_readBytes(sidePath);
    if (!bytes) return false;
    std::optional<TextForm> form = lf_textForm(*bytes);
    std::vector<TextElement> elements;
    pugi::xml_document document;
    if (!form || !lf_scan(form->text, elements) ||
        !document.load_buffer(bytes->data(), bytes->size(), pugi::parse_default, pugi::encoding_auto) ||
        !gf_rootChild(document, "parkpositions")) {
        return false;
    }
    // What this visit learned, held against what the side file has: a use
    // it holds already is lengthened in place, not written twice.
    std::vector<StandChange> changes;
    for (const StandChange& change : stands) {
        StandChange add;
        add.now = change.now;
        add.radius = change.radius;
        add.cargo = change.cargo;
        std::vector<StandOption> uses = change.newUses;
        for (const UseChange& u : change.changedUses) uses.push_back(u.now);
        const std::vector<StandOption> held = lf_sideUses(document, change.now->id);
        std::map<std::size_t, StandOption> lengthened;  // by the held use's place
        for (const StandOption& use : uses) {
            const auto it = std::find_if(held.begin(), held.end(),
                                         [&](const StandOption& h) { return lf_sameAircraft(h, use); });
            if (it == held.end()) {
                add.newUses.push_back(use);
                continue;
            }
            const auto [entry, added] = lengthened.try_emplace(static_cast<std::size_t>(it - held.begin()), *it);
            StandOption& now = entry->second;
            now.halfHours |= use.halfHours;
            now.cpl = now.cpl || use.cpl;
            if (!use.cs.empty()) {
                now.cs = use.cs;
                now.cs2 = use.cs2;
            }
        }
        for (const auto& [at, now] : lengthened) {
            const StandOption& before = held[at];
            if (now.halfHours != before.halfHours || now.cpl != before.cpl || lf_csText(now) != lf_csText(before)) {
                add.changedUses.push_back({before, now});
            }
        }
        if (add.any() || change.now->manual) changes.push_back(std::move(add));
    }
    Splice into(form->text, elements, false, false, form->kind == TextKind::ansi);
    for (const StandChange& change : changes) {
        StandChange left;
        if (!into.addStand(change, left) || left.now) return false;
    }
    const std::string edited = into.result();
    if (form->kind == TextKind::ansi ? !into.insertsOnlyAscii() : !into.insertsOnlyUtf8()) return false;
    const std::string text = lf_encoded(*form, edited);
    pugi::xml_document check;
    if (!check.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_auto)) return false;
    if (text == *bytes) return true;
    std::error_code ec;
    return gf_writeFileReplacing(sidePath, [&text](std::ostream& out) { out << text; }, ec);
}

// What the visit learned, as a learned file of its own beside the user's.
fs::path lf_keepInSideFile(const AirportFile& record, const std::vector<StandChange>& stands, const fs::path& path,
                           std::uint32_t simVariant) {
    const fs::path first = path.parent_path() /
                           fs::u8path(gf_pathToUtf8(path.stem()) + ".visit" + gf_pathToUtf8(path.extension()));
    std::error_code ec;
    if (fs::is_regular_file(first, ec) && lf_addToSideFile(first, stands)) return first;
    AirportFile side;
    side.code = record.code;
    side.airport_name = record.airport_name;
    side.publisher = record.publisher;
    side.altitude = record.altitude;
    for (const StandChange& change : stands) {
        Stand s = *change.now;
        s.options = change.newUses;
        for (const UseChange& u : change.changedUses) s.options.push_back(u.now);
        s.radius_change = change.radius;
        s.cargo_change = change.cargo;
        side.stands.push_back(std::move(s));
    }
    const fs::path sidePath = lf_sideFileName(path);
    if (!gf_writeAirportFile(side, sidePath, StandFileForm::learned, simVariant, false)) return {};
    return sidePath;
}

bool lf_isHandmadeText(const std::string& utf8) {
    pugi::xml_document document;
    if (!document.load_buffer(utf8.data(), utf8.size(), pugi::parse_default, pugi::encoding_utf8)) return false;
    return gf_readStringParameter(document, "handmade").has_value();
}

}  // namespace

void gf_recordStandFileOnDisk(StandFileReadRecord& read) {
    read.diskBytes.reset();
    read.diskTime = {};
    if (!read.found || read.path.empty()) return;
    std::error_code ec;
    const auto time = fs::last_write_time(read.path, ec);
    if (ec) return;
    read.diskBytes = lf_readBytes(read.path);
    read.diskTime = time;
}

LearnedSaveResult gf_saveIntoStandFile(const AirportFile& record, const fs::path& path, std::uint32_t simVariant,
                                       bool handmade, const StandFileReadRecord& read) {
    LearnedSaveResult result;
    const bool wasThere = read.found && read.diskBytes.has_value();
    std::error_code ec;
    const bool isThere = fs::exists(path, ec);
    if (read.found && !read.whole && (isThere || !wasThere)) {
        // The file is the user's to mend; what the visit learned is not
        // lost meanwhile: it is kept beside it.
        result.outcome = StandFileWrite::refused;
        result.why = read.whyNotWhole.empty() ? std::string("it did not read whole")
                                              : fmt::format("it did not read whole: {}", read.whyNotWhole);
        const VisitLearning learning = lf_visitLearning(record, read, handmade);
        if (!learning.stands.empty()) result.sideFile = lf_keepInSideFile(record, learning.stands, path, simVariant);
        return result;
    }
    if (!isThere && !wasThere) {
        // A new file: the whole record, as the program writes it.
        const StandFileWriteResult whole = gf_writeLearnedFile(record, path, simVariant, handmade, read, false);
        result.outcome = whole.outcome;
        result.why = whole.why;
        return result;
    }
    const VisitLearning learning = lf_visitLearning(record, read, handmade);
    if (!isThere) {
        // The user deleted it to forget what was learned: it stays deleted.
        result.deletedOnDisk = true;
        result.outcome = StandFileWrite::unchanged;
        if (!learning.stands.empty()) result.sideFile = lf_keepInSideFile(record, learning.stands, path, simVariant);
        return result;
    }
    std::optional<std::string> bytes = lf_readBytes(path);
    if (!bytes) {
        // Named by its cause: held open by an editor or a backup, most often.
        const std::string why = gf_whyNotReadable(path);
        result.why = why.empty() ? std::string("it could not be read again")
                                 : why.substr(0, why.find(" (it could not be opened)"));
        return result;
    }
    const auto time = fs::last_write_time(path, ec);
    result.changedOnDisk = !wasThere || ec || time != read.diskTime || *bytes != *read.diskBytes;
    if (learning.empty()) {
        result.outcome = StandFileWrite::unchanged;
        return result;
    }
    std::optional<TextForm> form = lf_textForm(*bytes);
    std::vector<TextElement> elements;
    const bool scanned = form && lf_scan(form->text, elements);
    const auto toSideFile = [&] {
        result.outcome = StandFileWrite::unchanged;
        if (!learning.stands.empty()) result.sideFile = lf_keepInSideFile(record, learning.stands, path, simVariant);
        return result;
    };
    if (!scanned) {
        if (result.changedOnDisk) return toSideFile();
        // What the reader took but this scan cannot place: the door writes
        // the whole record, and refuses what would lose an entry read.
        const StandFileWriteResult whole = gf_writeLearnedFile(record, path, simVariant, handmade, read, false);
        result.outcome = whole.outcome;
        result.why = whole.why;
        return result;
    }
    // A file the user made hand-made during the visit, or no longer: the
    // learning has no form for it.
    if (result.changedOnDisk && (lf_isHandmadeText(form->text) != handmade ||
                                 !pugi::xml_document().load_buffer(form->text.data(), form->text.size()))) {
        return toSideFile();
    }
    std::vector<StandChange> left;
    const auto splice = [&]() -> std::optional<std::string> {
        Splice into(form->text, elements, handmade, result.changedOnDisk, form->kind == TextKind::ansi);
        left.clear();
        for (const StandChange& change : learning.stands) {
            StandChange notPlaced;
            if (!into.addStand(change, notPlaced)) {
                left.push_back(change);
            } else if (notPlaced.now) {
                left.push_back(std::move(notPlaced));
            }
        }
        for (const auto& [name, value] : learning.settings) into.addSetting(name, value);
        std::string text = into.result();
        if (form->kind == TextKind::ansi ? !into.insertsOnlyAscii() : !into.insertsOnlyUtf8()) return std::nullopt;
        return text;
    };
    std::optional<std::string> edited = splice();
    if (!edited && form->kind == TextKind::ansi) {
        lf_convertToUtf8(*form);
        if (lf_scan(form->text, elements)) edited = splice();
    }
    const std::string text = edited ? lf_encoded(*form, *edited) : std::string();
    if (edited && !form->converted && text == *bytes && left.empty()) {
        result.outcome = StandFileWrite::unchanged;
        return result;
    }
    // Never a file the reader cannot read.
    pugi::xml_document check;
    if (!edited || !check.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_auto)) {
        if (result.changedOnDisk) return toSideFile();
        result.outcome = StandFileWrite::refused;
        result.why = "what would be written does not read back";
        return result;
    }
    if (handmade || form->converted) {
        if (!gf_keepOriginalOnce(path, result.why)) {
            result.outcome = StandFileWrite::refused;
            return result;
        }
    }
    std::error_code writeError;
    if (!gf_writeFileReplacing(path, [&text](std::ostream& out) { out << text; }, writeError)) {
        result.why = gf_writeFailureText(path, writeError);
        return result;
    }
    result.outcome = StandFileWrite::saved;
    if (!left.empty()) result.sideFile = lf_keepInSideFile(record, left, path, simVariant);
    return result;
}
