// libFuzzer target: the service's answers of any shape, as the login, the
// traffic requests and the weather requests read them, the licence file,
// and the update index (versions.json) with its version entries.
//
// The whole input is the answer body. It is parsed the way every request
// parses it (the nesting cap first) and read for every key any request
// reads, each reading in the request's own try block: the library's type
// errors are the requests' malformed answers, anything else is a finding.
#include "core/json_limits.h"
#include "core/version.h"
#include "feed/rt_client.h"
#include "feed/weather_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

void lf_readAnswer(const nlohmann::json& answer) {
    try {
        (void)gf_answerStatus(answer);
    } catch (const std::exception&) {
    }
    try {
        (void)gf_answerPause(answer, "rrl", kDefaultPause_ms);
        (void)gf_answerPause(answer, "wrrl", kDefaultPause_ms);
    } catch (const std::exception&) {
    }
    (void)gf_jsonMessage(answer);
    (void)lf_jsonString(answer, "GUID", "");
    (void)lf_jsonString(answer, "server", "?");
    (void)lf_jsonString(answer, "License", "");
    if (!answer.is_object()) return;
    const auto it = answer.find("data");
    if (it == answer.end()) return;
    try {
        (void)extractQNH(*it);
    } catch (const std::exception&) {
    }
    try {
        // The nearest station: the first member's "ICAO".
        if (!it->is_null() && !it->empty()) (void)lf_jsonString((*it)[0], "ICAO", "");
    } catch (const std::exception&) {
    }
    // The traffic answers: every member, and every snapshot's members, copied
    // the way the entry parsers take them.
    for (int i = 0; i < 5; ++i) {
        if (!it->is_object()) break;
        const auto b = it->find("buffer_" + std::to_string(i));
        if (b == it->end() || !b->is_structured()) continue;
        for (const auto& member : *b) {
            nlohmann::json entry = member;
            (void)entry.size();
        }
    }
    if (it->is_structured()) {
        for (const auto& member : *it) {
            nlohmann::json entry = member;
            (void)entry.size();
        }
    }
}

// The update index: parsed with the nesting cap, every entry read as a
// version; VersionData never throws.
void lf_readIndex(std::string_view text) {
    (void)VersionData(text);
    nlohmann::json index;
    try {
        index = gf_parseJsonCapped(text, true, "versions.json", kMaxIndexValues);
    } catch (const std::exception&) {
        return;
    }
    if (!index.is_object()) return;
    for (const auto& [key, entry] : index.items()) {
        const VersionData version(entry.dump());
        (void)gf_isNewerVersion(version, g_programVersion);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const nlohmann::json quiet = gf_parseAnswer(text, false, kMaxTrafficAnswerValues);
    if (!quiet.is_discarded()) lf_readAnswer(quiet);
    try {
        const nlohmann::json thrown = gf_parseAnswer(text, true, kMaxTrafficAnswerValues);
        // Both ways of parsing agree on what is an answer.
        if (quiet.is_discarded()) std::abort();
        lf_readAnswer(thrown);
    } catch (const nlohmann::json::exception&) {
        if (!quiet.is_discarded()) std::abort();
    } catch (const std::runtime_error&) {
        // The nesting cap.
        if (!quiet.is_discarded()) std::abort();
    }
    lf_readIndex(text);
    return 0;
}
