// The control channel's commands: what a test makes the simulator do while a
// client is connected.
#include "simstub/stub.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <optional>
#include <sstream>

namespace simstub {

namespace {

constexpr double kDegToRad = std::numbers::pi / 180.0;
constexpr const char* kDefaultFlightFile = "Flights\\Other\\Stub Flight.fxml";

std::string lf_trim(std::string_view text) {
    auto notBlank = [](unsigned char c) { return !std::isspace(c); };
    auto first = std::find_if(text.begin(), text.end(), notBlank);
    auto last = std::find_if(text.rbegin(), text.rend(), notBlank).base();
    return first < last ? std::string(first, last) : std::string();
}

std::vector<std::string> lf_words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::optional<double> lf_number(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size()) return std::nullopt;
    return v;
}

std::optional<std::uint32_t> lf_u32(const std::string& text) {
    auto v = lf_number(text);
    if (!v || *v < 0 || *v > 4294967295.0 || *v != static_cast<double>(static_cast<std::uint64_t>(*v))) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*v);
}

// Everything after the first n words, blanks inside kept (titles, paths).
std::string lf_tail(const std::string& text, std::size_t n) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < n; ++i) {
        while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
        while (pos < text.size() && !std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    }
    return lf_trim(text.substr(pos));
}

CommandResult lf_fail(std::string message) {
    CommandResult r;
    r.ok = false;
    r.message = std::move(message);
    return r;
}

}  // namespace

CommandResult Stub::command(std::string_view line) {
    std::string text = lf_trim(line);
    if (text.empty() || text[0] == '#') {
        return {};
    }
    auto words = lf_words(text);
    std::string verb = words[0];
    std::transform(verb.begin(), verb.end(), verb.begin(), [](unsigned char c) { return std::tolower(c); });
    CommandResult r = runCommand(verb, lf_tail(text, 1));
    ++commandsDone_;
    if (!r.ok) ++commandErrors_;
    Json rec = Json::object();
    rec["time"] = std::round(now_ * 1000.0) / 1000.0;
    rec["control"] = text;
    rec["ok"] = r.ok;
    if (!r.message.empty()) rec["message"] = r.message;
    record(rec);
    changed();
    return r;
}

CommandResult Stub::runCommand(const std::string& verb, const std::string& rest) {
    auto args = lf_words(rest);
    if (verb == "quit") {
        for (auto& [id, s] : sessions_) {
            if (s.opened) send(s, encodeQuit(s.protocol));
        }
        return {};
    }
    if (verb == "drop") {
        for (auto& [id, s] : sessions_) s.closing = true;
        return {};
    }
    if (verb == "stop") {
        CommandResult r;
        r.stop = true;
        return r;
    }
    if (verb == "sim") {
        if (args.size() != 1 || (args[0] != "0" && args[0] != "1")) return lf_fail("usage: sim 0|1");
        setSimRunning(args[0] == "1");
        return {};
    }
    if (verb == "flightloaded") {
        std::string file = rest.empty() ? kDefaultFlightFile : rest;
        emitSystemEvent("FlightLoaded", [&](const Session& to, std::uint32_t eventId) {
            return encodeFilename(to.protocol, eventId, file, 0);
        });
        return {};
    }
    if (verb == "event") {
        if (args.empty() || args.size() > 2) return lf_fail("usage: event NAME [DATA]");
        std::uint32_t data = 0;
        if (args.size() == 2) {
            auto d = lf_u32(args[1]);
            if (!d) return lf_fail("event: DATA must be a u32");
            data = *d;
        }
        std::size_t size = world_.scenario().eventSize;
        emitSystemEvent(args[0], [&](const Session& to, std::uint32_t eventId) {
            return encodeEvent(to.protocol, kSystemEventGroup, eventId, data, size);
        });
        return {};
    }
    if (verb == "jump") {
        if (args.size() < 2 || args.size() > 5)
            return lf_fail("usage: jump LAT LON [ALT_FT [HEADING_DEG [GROUND_SPEED_KT]]]");
        std::vector<double> v;
        for (const auto& a : args) {
            auto n = lf_number(a);
            if (!n) return lf_fail(fmt::format("jump: '{}' is not a number", a));
            v.push_back(*n);
        }
        SimObject& u = world_.user();
        u.lat = v[0];
        u.lon = v[1];
        if (v.size() > 2) {
            u.altFt = v[2];
            world_.settle(u);
        }
        if (v.size() > 3) u.headingRad = v[3] * kDegToRad;
        // A user flown through a run of jumps moves as fast as it says.
        if (v.size() > 4) u.groundSpeedKt = v[4];
        changed();
        return {};
    }
    if (verb == "refuse") {
        if (rest.empty()) return lf_fail("usage: refuse TITLE");
        world_.refuseTitle(rest);
        return {};
    }
    if (verb == "accept") {
        if (rest.empty()) return lf_fail("usage: accept TITLE");
        world_.acceptTitle(rest);
        return {};
    }
    if (verb == "spawn") {
        if (args.size() < 4) return lf_fail("usage: spawn ATC_ID LAT LON ALT_FT [TITLE]");
        auto lat = lf_number(args[1]);
        auto lon = lf_number(args[2]);
        auto alt = lf_number(args[3]);
        if (!lat || !lon || !alt) return lf_fail("spawn: LAT, LON and ALT_FT must be numbers");
        SimObject o;
        o.atcId = args[0];
        o.title = args.size() > 4 ? lf_tail(rest, 4) : std::string("Other Traffic");
        o.type = world_.isHelicopterTitle(o.title) ? kTypeHelicopter : kTypeAircraft;
        o.lat = *lat;
        o.lon = *lon;
        o.altFt = *alt;
        world_.settle(o);
        const SimObject& added = world_.addObject(o);
        std::uint32_t id = added.id;
        std::uint32_t type = added.type;
        emitSystemEvent("ObjectAdded", [&](const Session& to, std::uint32_t eventId) {
            return encodeObjectAddRemove(to.protocol, eventId, id, type);
        });
        changed();
        CommandResult r;
        r.message = fmt::format("object {}", id);
        return r;
    }
    if (verb == "remove") {
        auto id = args.size() == 1 ? lf_u32(args[0]) : std::nullopt;
        if (!id) return lf_fail("usage: remove OBJECT_ID");
        const SimObject* o = world_.find(*id);
        if (!o || o->user || *id == 0) return lf_fail(fmt::format("remove: no AI object {}", *id));
        removeAiObject(*id);
        return {};
    }
    if (verb == "exception") {
        if (args.empty() || args.size() > 3) return lf_fail("usage: exception CODE [SEND_ID [INDEX]]");
        std::uint32_t v[3] = {0, 0, 0};
        for (std::size_t i = 0; i < args.size(); ++i) {
            auto n = lf_u32(args[i]);
            if (!n) return lf_fail(fmt::format("exception: '{}' is not a u32", args[i]));
            v[i] = *n;
        }
        for (auto& [id, s] : sessions_) {
            if (s.opened) send(s, encodeException(s.protocol, v[0], v[1], v[2]));
        }
        return {};
    }
    return lf_fail(fmt::format("unknown command '{}'", verb));
}

}  // namespace simstub
