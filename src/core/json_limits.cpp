#include "core/json_limits.h"

#include "core/text.h"

#include <fmt/format.h>

#include <stdexcept>

namespace {

using DomParser = nlohmann::detail::json_sax_dom_parser<nlohmann::json>;

// What one value costs against the cap, roughly in proportion to what it
// costs built: a number or literal lives in its 16-byte slot; a text has a
// block of its own; an object or array has its own block and bookkeeping, a
// member its map node and key. Weighing them lets a real answer (mostly
// numbers in arrays) use the cap, while "[{},{},...]" or '["","",...]', a
// few bytes of text for a hundred bytes built, reach it soonest.
constexpr std::size_t kScalarCost = 1;
constexpr std::size_t kTextCost = 2;
constexpr std::size_t kMemberCost = 4;
constexpr std::size_t kContainerCost = 4;
// A text (or member name) longer than the short buffer inside the string
// itself (15 bytes, in libstdc++ as built for Linux and for Windows) has a
// heap block of its own for its characters: one more value per 16 bytes of
// that block. Charged at a flat rate, 15 MiB of 16-character texts built
// into some 107 MB while holding below the cap; charged for their size,
// every length weighs about what it costs.
constexpr std::size_t kShortText_bytes = 15;
constexpr std::size_t kValueSlot_bytes = 16;

constexpr std::size_t lf_textCost(std::size_t base, std::size_t size_bytes) {
    if (size_bytes <= kShortText_bytes) return base;
    // The block holds the characters and the closing zero.
    return base + size_bytes / kValueSlot_bytes + 1;
}
static_assert(lf_textCost(kTextCost, 15) == 2 && lf_textCost(kTextCost, 16) == 4 && lf_textCost(kTextCost, 32) == 5);

// The library's own tree builder, stopped at the first event beyond a cap:
// returning false from an event ends the parse there, so nothing beyond the
// cap is read or built.
class CappedSax : public DomParser {
public:
    CappedSax(nlohmann::json& root, std::string_view what, std::size_t maxValues)
        : DomParser(root, false), m_what(what), m_maxValues(maxValues) {}

    bool null() { return take(kScalarCost) && DomParser::null(); }
    bool boolean(bool v) { return take(kScalarCost) && DomParser::boolean(v); }
    bool number_integer(nlohmann::json::number_integer_t v) {
        return take(kScalarCost) && DomParser::number_integer(v);
    }
    bool number_unsigned(nlohmann::json::number_unsigned_t v) {
        return take(kScalarCost) && DomParser::number_unsigned(v);
    }
    bool number_float(nlohmann::json::number_float_t v, const std::string& s) {
        return take(kScalarCost) && DomParser::number_float(v, s);
    }
    bool string(std::string& v) { return take(lf_textCost(kTextCost, v.size())) && DomParser::string(v); }
    bool binary(nlohmann::json::binary_t& v) { return take(lf_textCost(kTextCost, v.size())) && DomParser::binary(v); }
    bool key(std::string& v) { return take(lf_textCost(kMemberCost, v.size())) && DomParser::key(v); }
    bool start_object(std::size_t n) { return take(kContainerCost) && open() && DomParser::start_object(n); }
    bool start_array(std::size_t n) { return take(kContainerCost) && open() && DomParser::start_array(n); }
    bool end_object() {
        --m_depth;
        return DomParser::end_object();
    }
    bool end_array() {
        --m_depth;
        return DomParser::end_array();
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& ex) {
        // The library's text quotes the offending token whole: 15 MB of
        // digits made a reason of 15 MB, logged at every poll.
        m_why = gf_logExcerpt(ex.what());
        return false;
    }

    const std::string& why() const { return m_why; }

private:
    bool take(std::size_t cost) {
        m_values += cost;
        if (m_values <= m_maxValues) return true;
        m_why = fmt::format("{} holds more than {} values", m_what, m_maxValues);
        return false;
    }
    bool open() {
        if (++m_depth <= kMaxJsonDepth) return true;
        m_why = fmt::format("{} nested deeper than {} levels", m_what, kMaxJsonDepth);
        return false;
    }

    std::string_view m_what;
    std::size_t m_maxValues;
    std::size_t m_values = 0;
    int m_depth = 0;
    std::string m_why;
};

// The library's destructor moves a tree's values onto a vector of its own
// before it frees them: for one array of a million values that vector grows
// to twice the array again, so throwing a refused answer away cost more than
// building it (15 MiB of "0," peaked near 110 MB). Emptied from the leaves
// up instead (no deeper than the nesting cap), each container frees its
// values in place.
void lf_release(nlohmann::json& value) {
    if (value.is_array()) {
        auto& array = value.get_ref<nlohmann::json::array_t&>();
        for (auto& element : array) {
            if (element.is_structured()) lf_release(element);
        }
        nlohmann::json::array_t().swap(array);
    } else if (value.is_object()) {
        auto& object = value.get_ref<nlohmann::json::object_t&>();
        for (auto& member : object) {
            if (member.second.is_structured()) lf_release(member.second);
        }
        object.clear();
    }
    value = nullptr;
}

}  // namespace

nlohmann::json gf_parseJsonCapped(std::string_view text, bool allowExceptions, std::string_view what,
                                  std::size_t maxValues, std::string* whyRefused) {
    nlohmann::json result;
    CappedSax sax(result, what, maxValues);
    if (nlohmann::json::sax_parse(text, &sax)) return result;
    // The part built before the parse stopped goes at once, not with the caller.
    lf_release(result);
    const std::string why = sax.why().empty() ? fmt::format("{} is not JSON", what) : sax.why();
    if (allowExceptions) throw std::runtime_error(why);
    if (whyRefused) *whyRefused = why;
    return nlohmann::json(nlohmann::json::value_t::discarded);
}
