#include "core/settings_file.h"

#include "core/file_meta.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/text_encoding.h"
#include "core/version.h"
#include "core/status_line.h"
#include "core/ui_sink.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Banner sizes of the settings' log section: 70 plus a margin of 10 make a
// closing line of 80 '*'.
constexpr int kLogBannerMargin = 10;
constexpr int kLogBannerWidth = 80 - kLogBannerMargin;

// A parameters.xml is a few kilobytes; anything beyond this is not ours and
// is not read into memory.
constexpr std::uintmax_t kMaxParametersFileBytes = 16u * 1024u * 1024u;
// Unreadable values are quoted in the log only this far.
constexpr std::size_t kLoggedValueBytes = 60;

std::recursive_mutex g_parametersFileMutex;

// ---------------------------------------------------------------------------
// Window updates. They are collected while the file lock is held and made
// after it is released: the window's thread may itself be waiting for the
// lock (a check box being saved), and a request to its controls from here
// would then wait for it in turn.

struct UiUpdate {
    const ControlBinding* binding;
    bool isCheck;
    bool checked;
    std::string text;
};
using UiUpdates = std::vector<UiUpdate>;

void lf_queueCheck(const BoolParameter& setting, UiUpdates& ui) {
    if (const ControlBinding* binding = gf_bindingOf(setting)) ui.push_back({binding, true, setting.value(), {}});
}

void lf_queueNumberShown(const NumberParameter& setting, UiUpdates& ui) {
    if (const ControlBinding* binding = gf_bindingOf(setting)) {
        ui.push_back({binding, false, false, fmt::format("{}", setting.value())});
    }
}

void lf_queueTextShown(const StringParameter& setting, UiUpdates& ui) {
    if (const ControlBinding* binding = gf_bindingOf(setting)) ui.push_back({binding, false, false, setting.get()});
}

void lf_applyUi(const UiUpdates& ui) {
    UiSink& sink = gf_uiSink();
    for (const UiUpdate& u : ui) {
        if (u.isCheck) {
            // A check box that the window has not created yet has nothing to set.
            if (u.binding->window() != nullptr) sink.setCheck(u.binding->controlId(), u.checked);
        } else {
            sink.setText(u.binding->controlId(), u.text);
            sink.invalidateBand(UiBand::controls);
        }
    }
}

// ---------------------------------------------------------------------------
// Log lines

void lf_logBoolParameter(const BoolParameter& s) { gf_logUnlessClosing(fmt::format("{}={}", s.name(), s.value())); }
void lf_logNumberParameter(const NumberParameter& s) { gf_logUnlessClosing(fmt::format("{}={}", s.name(), s.value())); }
void lf_logTextParameter(const StringParameter& s) {
    gf_logUnlessClosing(fmt::format("{}=\"{}\"", s.name(), s.get()));
}

void lf_logClosingBanner() {
    // The trailing break of the banner and the line's own end make the one
    // empty line after it.
    gf_logLine(gf_logBanner(kLogBannerWidth, kLogBannerMargin, false, true, ""));
}

// A stored text quoted in a log line: cut short, and without control
// characters, so that one bad value makes exactly one readable line.
std::string lf_loggedValue(std::string_view text) {
    std::string shown;
    std::size_t n = std::min(text.size(), kLoggedValueBytes);
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    for (char c : text.substr(0, n)) shown += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    if (n < text.size()) shown += "...";
    return shown;
}

// A value that is not written the way this program writes it is still read
// the way every earlier version read it (stored files rely on that); the one
// line tells the user what the text was taken for.
void lf_logUnclean(std::string_view key, std::string_view text, std::string_view takenAs) {
    gf_logHighlight(fmt::format("{}: value '{}' read as {}", key, lf_loggedValue(text), takenAs));
}

// ---------------------------------------------------------------------------
// Reading values

template <typename T>
struct Converted {
    T value{};
    bool clean = true;  // the text was a plain value of its kind
};

pugi::xml_node lf_findParameter(const pugi::xml_document& document, std::string_view key) {
    const pugi::xml_node parameters = gf_rootChild(document, "parameters");
    for (pugi::xml_node p : parameters.children("parameter")) {
        if (std::string_view(p.attribute("name").as_string("")) == key) return p;
    }
    return {};
}

// True when the text begins with 1, t, T, y or Y; anything else is false.
Converted<bool> lf_convertFlag(std::string_view text) {
    if (text.empty()) return {false, false};
    switch (text.front()) {
        case '1': case 't': case 'T': case 'y': case 'Y': return {true, true};
        case '0': case 'f': case 'F': case 'n': case 'N': return {false, true};
        default: return {false, false};
    }
}

// The leading decimal integer after optional blanks and sign, 0 when there
// is none; whatever follows it is ignored. A number beyond the 32-bit range
// gives the nearest limit (the setting's bounds then apply). Clean when
// nothing but blanks surrounds the digits.
Converted<std::int32_t> lf_convertNumber(std::string_view text) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::int64_t magnitude = 0;
    std::size_t digits = 0;
    for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
        // Past the 32-bit range the value no longer matters, only its sign.
        if (magnitude <= 4'000'000'000LL) magnitude = magnitude * 10 + (text[digits] - '0');
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    return {static_cast<std::int32_t>(value < kMin ? kMin : (value > kMax ? kMax : value)),
            digits > 0 && digits == text.size()};
}

// Nothing when the key is absent; an element without a "value" attribute is
// present and gives false or 0.
template <typename T, typename Convert>
std::optional<T> lf_readValue(const pugi::xml_document& document, std::string_view key, Convert convert) {
    const pugi::xml_node node = lf_findParameter(document, key);
    if (!node) return std::nullopt;
    const pugi::xml_attribute attribute = node.attribute("value");
    if (!attribute) return T{};
    const Converted<T> converted = convert(std::string_view(attribute.value()));
    if (!converted.clean) lf_logUnclean(key, attribute.value(), fmt::format("{}", converted.value));
    return converted.value;
}

std::optional<bool> lf_readFlag(const pugi::xml_document& document, std::string_view key) {
    return lf_readValue<bool>(document, key, lf_convertFlag);
}

std::optional<std::int32_t> lf_readNumber(const pugi::xml_document& document, std::string_view key) {
    return lf_readValue<std::int32_t>(document, key, lf_convertNumber);
}

std::optional<std::string> lf_readText(const pugi::xml_document& document, std::string_view key) {
    const pugi::xml_node node = lf_findParameter(document, key);
    if (!node) return std::nullopt;
    return std::string(node.attribute("value").as_string(""));
}

// ---------------------------------------------------------------------------
// The file

enum class FileState { ok, missing, unreadable, malformed };

FileState lf_parseFile(pugi::xml_document& document, const fs::path& file, std::string* bytes = nullptr) {
    std::error_code ec;
    const bool exists = fs::exists(file, ec);
    if (ec) return FileState::unreadable;
    if (!exists) return FileState::missing;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec || size > kMaxParametersFileBytes) return FileState::unreadable;
    std::ifstream in(file, std::ios::in | std::ios::binary);
    if (!in.is_open()) return FileState::unreadable;
    const std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return FileState::unreadable;
    const pugi::xml_parse_result result =
        document.load_buffer(data.data(), data.size(), pugi::parse_default, pugi::encoding_auto);
    if (bytes) *bytes = data;
    return result ? FileState::ok : FileState::malformed;
}

// Good: a file the load takes as it is. A file that exists but is not good
// is damaged.
bool lf_isGoodParametersFile(const fs::path& file, std::string* bytes = nullptr) {
    pugi::xml_document document;
    return lf_parseFile(document, file, bytes) == FileState::ok && gf_rootChild(document, "parameters");
}

// Every write of parameters.xml goes through here, so the last good copy is
// always the file as it stood before the latest write, and no failed write
// passes unreported.
bool lf_saveParametersLocked(pugi::xml_document& document, const fs::path& file) {
    std::string good;
    if (lf_isGoodParametersFile(file, &good)) {
        const fs::path copy = gf_lastGoodParametersPath(file);
        if (!gf_writeFileReplacing(copy, [&good](std::ostream& out) { out.write(good.data(), good.size()); })) {
            gf_logHighlight(fmt::format("keeping the last good copy {} failed", gf_pathToUtf8(copy)));
        }
    }
    if (gf_saveXmlDocument(document, file)) return true;
    gf_logHighlight(fmt::format("saving: {} failed", gf_pathToUtf8(file)));
    return false;
}

// A file about to be replaced although it exists keeps one copy, so the
// user's settings are never lost to a damaged or foreign file.
void lf_keepCopyOf(const fs::path& file, std::string_view settingsUsed) {
    if (gf_save1GenerationOf(file)) {
        gf_logHighlight(fmt::format("{} could not be read, the old file is kept as {}0{}",
                                    gf_pathToUtf8(file), gf_pathToUtf8(file.stem()), gf_pathToUtf8(file.extension())));
        gf_noticeSettingsKept(file, "could not be read", settingsUsed);
    }
}

// ---------------------------------------------------------------------------
// Full save

void lf_appendFailed(std::string_view key, const std::string& currentValue) {
    gf_logLine(fmt::format("{}adding xml parameter {} with {} failed!", "===> ", key, currentValue));
}

void lf_appendBoolParameter(const BoolParameter& s, pugi::xml_node parameters, bool useDefaults) {
    if (!gf_appendBoolParameterElement(parameters, s.name(), useDefaults ? s.defaultValue() : s.value())) {
        lf_appendFailed(s.name(), fmt::format("{}", s.value()));
    }
    lf_logBoolParameter(s);
}

void lf_appendNumberParameter(const NumberParameter& s, pugi::xml_node parameters, bool useDefaults) {
    if (!gf_appendIntParameterElement(parameters, s.name(), useDefaults ? s.defaultValue() : s.value())) {
        lf_appendFailed(s.name(), fmt::format("{}", s.value()));
    }
    lf_logNumberParameter(s);
}

void lf_appendStringParameter(const StringParameter& s, pugi::xml_node parameters, bool useDefaults) {
    if (!gf_appendTextParameterElement(parameters, s.name(), useDefaults ? s.defaultValue() : s.get())) {
        lf_appendFailed(s.name(), s.get());
    }
    lf_logTextParameter(s);
}

// Called with the file lock held.
void lf_saveAllLocked(bool useDefaults, const fs::path& file, UiUpdates& ui) {
    pugi::xml_document document;
    pugi::xml_node root = document.append_child("root");
    if (useDefaults) PROGRAM_VERSION.setDefault(g_programVersion.text());
    pugi::xml_node parameters = root ? root.append_child("parameters") : pugi::xml_node();
    if (parameters) {
        for (const BoolParameter* s : g_flagParameters) {
            lf_appendBoolParameter(*s, parameters, useDefaults);
            lf_queueCheck(*s, ui);
        }
        for (const NumberParameter* s : g_numberParameters) lf_appendNumberParameter(*s, parameters, useDefaults);
        for (const ComboParameter* s : g_comboParameters) {
            lf_appendNumberParameter(*s, parameters, useDefaults);
            lf_queueNumberShown(*s, ui);
        }
        for (const StringParameter* s : g_textParameters) lf_appendStringParameter(*s, parameters, useDefaults);
        for (const EditParameter* s : g_editParameters) {
            lf_appendStringParameter(*s, parameters, useDefaults);
            lf_queueTextShown(*s, ui);
        }
        lf_saveParametersLocked(document, file);
    }
    lf_logClosingBanner();
}

// Replaces a file without "root" by a full save of the current values. The
// old file is not removed first: the save replaces it in one step, so a save
// that fails leaves the old file rather than none.
void lf_addRootLevel(const fs::path& file, UiUpdates& ui) {
    gf_logLine("\nPlacing a root level around a new parameters.xml to make it 100% xml compliance\n");
    lf_saveAllLocked(false, file, ui);
}

// ---------------------------------------------------------------------------
// Load

void lf_loadFlags(const pugi::xml_document& document, pugi::xml_node parameters, UiUpdates& ui) {
    for (BoolParameter* s : g_flagParameters) {
        if (const std::optional<bool> read = lf_readFlag(document, s->name())) {
            s->setValue(*read);
        } else {
            s->setValue(s->defaultValue());
            if (!gf_appendBoolParameterElement(parameters, s->name(), s->defaultValue())) {
                lf_appendFailed(s->name(), fmt::format("{}", s->defaultValue()));
            }
        }
        lf_logBoolParameter(*s);
        lf_queueCheck(*s, ui);
    }
}

void lf_loadNumber(NumberParameter& s, const pugi::xml_document& document, pugi::xml_node parameters) {
    if (const std::optional<std::int32_t> read = lf_readNumber(document, s.name())) {
        // Clamped in memory only: the file keeps the text it holds.
        s.setValue(s.clamp(*read));
    } else {
        s.setValue(s.defaultValue());
        if (!gf_appendIntParameterElement(parameters, s.name(), s.defaultValue())) {
            lf_appendFailed(s.name(), fmt::format("{}", s.defaultValue()));
        }
    }
    lf_logNumberParameter(s);
}

void lf_readStringParameterInto(StringParameter& s, const pugi::xml_document& document, pugi::xml_node parameters) {
    if (std::optional<std::string> read = lf_readText(document, s.name())) {
        s.setValue(std::move(*read));
    } else {
        s.setValue(s.defaultValue());
        if (!gf_appendTextParameterElement(parameters, s.name(), s.get())) lf_appendFailed(s.name(), s.get());
    }
    lf_logTextParameter(s);
}

}  // namespace

// ---------------------------------------------------------------------------

std::unique_lock<std::recursive_mutex> gf_lockParametersFile() {
    return std::unique_lock<std::recursive_mutex>(g_parametersFileMutex);
}

void gf_logUnlessClosing(std::string_view text) {
    if (g_runStopping.load() || g_userClosing.load()) return;
    gf_logLine(text);
}

bool gf_loadXmlDocument(pugi::xml_document& document, const fs::path& path) {
    return lf_parseFile(document, path) == FileState::ok;
}

bool gf_setXmlDeclaration(pugi::xml_document& document) {
    pugi::xml_node declaration;
    for (pugi::xml_node node : document.children()) {
        if (node.type() == pugi::node_declaration) {
            declaration = node;
            break;
        }
    }
    if (!declaration) declaration = document.prepend_child(pugi::node_declaration);
    if (!declaration) return false;
    if (!declaration.attribute("version")) declaration.append_attribute("version");
    if (!declaration.attribute("encoding")) declaration.append_attribute("encoding");
    declaration.attribute("version").set_value("1.0");
    declaration.attribute("encoding").set_value("UTF-8");
    return true;
}

bool gf_saveXmlDocument(pugi::xml_document& document, const fs::path& path) {
    if (!gf_setXmlDeclaration(document)) return false;
    return gf_writeFileReplacing(path, [&document](std::ostream& out) {
        document.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    });
}

std::optional<bool> gf_readBoolParameter(const pugi::xml_document& document, std::string_view key) {
    return lf_readFlag(document, key);
}

std::optional<std::int32_t> gf_readIntParameter(const pugi::xml_document& document, std::string_view key) {
    return lf_readNumber(document, key);
}

std::optional<std::string> gf_readStringParameter(const pugi::xml_document& document, std::string_view key) {
    return lf_readText(document, key);
}

bool gf_appendTextParameterElement(pugi::xml_node parameters, std::string_view key, std::string_view value) {
    pugi::xml_node element = parameters.append_child("parameter");
    if (!element) return false;
    return gf_appendAttributeText(element, "name", key) && gf_appendAttributeText(element, "value", value);
}

bool gf_appendBoolParameterElement(pugi::xml_node parameters, std::string_view key, bool value) {
    return gf_appendTextParameterElement(parameters, key, value ? "true" : "false");
}

bool gf_appendIntParameterElement(pugi::xml_node parameters, std::string_view key, std::int32_t value) {
    return gf_appendTextParameterElement(parameters, key, fmt::format("{}", value));
}

fs::path gf_lastGoodParametersPath(const fs::path& file) {
    return file.parent_path() / (gf_pathToUtf8(file.stem()) + "_good" + gf_pathToUtf8(file.extension()));
}

bool gf_saveParametersDocument(pugi::xml_document& document, const fs::path& file) {
    const auto lock = gf_lockParametersFile();
    return lf_saveParametersLocked(document, file);
}

bool gf_restoreDamagedParameters(const fs::path& file) {
    const auto lock = gf_lockParametersFile();
    std::error_code ec;
    if (!fs::exists(file, ec) || lf_isGoodParametersFile(file)) return false;
    const fs::path copy = gf_lastGoodParametersPath(file);
    std::string good;
    if (!lf_isGoodParametersFile(copy, &good)) return false;
    // The damaged file is evidence for the user and the only record of
    // whatever it held: it is kept before the good copy replaces it.
    const fs::path kept = gf_keptParametersPath(file);
    if (!gf_save1GenerationOf(file)) return false;
    if (!gf_writeFileReplacing(file, [&good](std::ostream& out) { out.write(good.data(), good.size()); })) {
        gf_logHighlight(fmt::format("restoring {} from {} failed", gf_pathToUtf8(file), gf_pathToUtf8(copy)));
        return false;
    }
    gf_logHighlight(fmt::format("{} was damaged: it is kept as {}, the last good settings were restored from {}",
                                gf_pathToUtf8(file), gf_pathToUtf8(kept), gf_pathToUtf8(copy)));
    gf_noticeSettingsKept(file, "was damaged", fmt::format("the last good settings ({}) are used", gf_pathToUtf8(copy.filename())));
    return true;
}

fs::path gf_keptParametersPath(const fs::path& file) {
    return file.parent_path() / (gf_pathToUtf8(file.stem()) + "0" + gf_pathToUtf8(file.extension()));
}

void gf_noticeSettingsKept(const fs::path& file, std::string_view what, std::string_view settingsUsed) {
    gf_setSettingsNotice(fmt::format("{} {}: kept as {}, {}", gf_pathToUtf8(file.filename()), what,
                                     gf_pathToUtf8(gf_keptParametersPath(file)), settingsUsed));
}

// ---------------------------------------------------------------------------

bool gf_loadParameters(const fs::path& file) {
    UiUpdates ui;
    bool created = false;
    {
        const auto lock = gf_lockParametersFile();
        gf_logLine(gf_logBanner(kLogBannerWidth, 0, true, false, "parameters"));
        gf_restoreDamagedParameters(file);
        pugi::xml_document document;
        const FileState state = lf_parseFile(document, file);
        pugi::xml_node parameters;
        if (state == FileState::ok) {
            gf_logLine(fmt::format("from '{}'", gf_pathToUtf8(file)));
            parameters = gf_rootChild(document, "parameters");
        }
        if (!parameters) {
            gf_logLine(fmt::format("{} not found,  create new with default values:", gf_pathToUtf8(file)));
            if (state != FileState::missing) lf_keepCopyOf(file, "the default settings are used");
            lf_saveAllLocked(true, file, ui);
            created = true;
        } else {
            lf_loadFlags(document, parameters, ui);
            for (NumberParameter* s : g_numberParameters) lf_loadNumber(*s, document, parameters);
            for (ComboParameter* s : g_comboParameters) {
                lf_loadNumber(*s, document, parameters);
                lf_queueNumberShown(*s, ui);
            }
            for (StringParameter* s : g_textParameters) lf_readStringParameterInto(*s, document, parameters);
            for (EditParameter* s : g_editParameters) {
                lf_readStringParameterInto(*s, document, parameters);
                lf_queueTextShown(*s, ui);
            }
            lf_saveParametersLocked(document, file);
            lf_logClosingBanner();
        }
    }
    lf_applyUi(ui);
    return created;
}

void gf_saveAllParameters(bool useDefaults, const fs::path& file) {
    UiUpdates ui;
    {
        const auto lock = gf_lockParametersFile();
        lf_saveAllLocked(useDefaults, file, ui);
    }
    lf_applyUi(ui);
}

namespace {

// The save of one key: the file as it is, with every element of that key
// set (or one appended).
void lf_saveOne(std::string_view key, const std::string& valueText, const std::string& logLine, const fs::path& file) {
    UiUpdates ui;
    {
        const auto lock = gf_lockParametersFile();
        pugi::xml_document document;
        const FileState state = lf_parseFile(document, file);
        if (state != FileState::ok) {
            // A file holding this one key would throw away every other
            // setting; the damaged file is kept aside and the full current
            // settings written instead.
            if (state != FileState::missing) lf_keepCopyOf(file, "the settings in use were written");
            lf_saveAllLocked(false, file, ui);
        } else {
            const pugi::xml_node root = document.child("root");
            pugi::xml_node holder = root ? root : static_cast<pugi::xml_node>(document);
            pugi::xml_node parameters = holder.child("parameters");
            if (!parameters) parameters = holder.append_child("parameters");
            bool found = false;
            for (pugi::xml_node p : parameters.children("parameter")) {
                if (std::string_view(p.attribute("name").as_string("")) != key) continue;
                found = true;
                // An element that lacks its value gets one: left as it was,
                // the change would be lost without a word.
                pugi::xml_attribute value = p.attribute("value");
                if (!value) value = p.append_attribute("value");
                value.set_value(valueText.c_str());
            }
            if (!found && !gf_appendTextParameterElement(parameters, key, valueText)) {
                lf_appendFailed(key, valueText);
            }
            if (root) {
                // The line says the value is stored: only once it is.
                if (lf_saveParametersLocked(document, file)) gf_logUnlessClosing(logLine);
            } else {
                gf_logUnlessClosing(logLine);
                lf_addRootLevel(file, ui);
            }
        }
    }
    lf_applyUi(ui);
}

}  // namespace

void gf_saveBoolParameter(const BoolParameter& setting, const fs::path& file) {
    const bool value = setting.value();
    lf_saveOne(setting.name(), value ? "true" : "false", fmt::format("{}={}", setting.name(), value), file);
}

void gf_saveNumberParameter(const NumberParameter& setting, const fs::path& file) {
    const std::int32_t value = setting.value();
    lf_saveOne(setting.name(), fmt::format("{}", value), fmt::format("{}={}", setting.name(), value), file);
}

void gf_saveStringParameter(const StringParameter& setting, const fs::path& file) {
    const std::string value = setting.get();
    lf_saveOne(setting.name(), value, fmt::format("{}=\"{}\"", setting.name(), value), file);
}

// ---- The application folder's parameters.xml ----

bool gf_loadParameters() { return gf_loadParameters(gf_parametersPath()); }
void gf_saveAllParameters(bool useDefaults) { gf_saveAllParameters(useDefaults, gf_parametersPath()); }
void gf_saveBoolParameter(const BoolParameter& setting) { gf_saveBoolParameter(setting, gf_parametersPath()); }
void gf_saveNumberParameter(const NumberParameter& setting) { gf_saveNumberParameter(setting, gf_parametersPath()); }
void gf_saveStringParameter(const StringParameter& setting) { gf_saveStringParameter(setting, gf_parametersPath()); }
