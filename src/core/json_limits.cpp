#include "core/json_limits.h"

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
    bool string(std::string& v) { return take(kTextCost) && DomParser::string(v); }
    bool binary(nlohmann::json::binary_t& v) { return take(kTextCost) && DomParser::binary(v); }
    bool key(std::string& v) { return take(kMemberCost) && DomParser::key(v); }
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
        m_why = ex.what();
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

}  // namespace

nlohmann::json gf_parseJsonCapped(std::string_view text, bool allowExceptions, std::string_view what,
                                  std::size_t maxValues, std::string* whyRefused) {
    nlohmann::json result;
    CappedSax sax(result, what, maxValues);
    if (nlohmann::json::sax_parse(text, &sax)) return result;
    // The part built before the parse stopped goes at once, not with the caller.
    result = nlohmann::json();
    const std::string why = sax.why().empty() ? fmt::format("{} is not JSON", what) : sax.why();
    if (allowExceptions) throw std::runtime_error(why);
    if (whyRefused) *whyRefused = why;
    return nlohmann::json(nlohmann::json::value_t::discarded);
}
