// rtstub: the live-traffic web service (API v4) on 127.0.0.1, replaying a
// scenario, with scripted faults and a record of every form body received.
// See README.md for the command line, the scenario and the scripting format.
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

using nlohmann::json;

namespace {

struct Stub {
    std::mutex mutex;
    json scenario = json::object();
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    // The scenario's clock and the epoch its times are re-based to; a
    // scenario loaded through the control starts both anew.
    std::chrono::steady_clock::time_point scenarioStarted = started;
    std::int64_t startEpoch = 0;
    int rrlOverride = -1;   // --rrl / --wrrl, kept over a loaded scenario
    int wrrlOverride = -1;
    std::set<std::string> sessions;
    std::map<std::string, std::chrono::steady_clock::time_point> lastRequest;  // rate class -> time
    std::map<std::string, std::deque<json>> scripts;                           // kind -> answers
    json records = json::array();
    std::string recordPath;
    // Stalls wait on this; a reset or a quit ends them early, so a stalled
    // answer never holds the next test or the stub's own end.
    std::condition_variable wake;
    std::uint64_t generation = 0;
};

Stub g_stub;
httplib::Server* g_server = nullptr;
std::atomic<bool> g_quitting{false};

// Ends the server from any thread: the server waits for its handlers.
void lf_quit() {
    {
        std::lock_guard lock(g_stub.mutex);
        ++g_stub.generation;
    }
    g_stub.wake.notify_all();
    if (!g_quitting.exchange(true)) std::thread([] { g_server->stop(); }).detach();
}

int lf_hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string lf_decode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && lf_hexValue(text[i + 1]) >= 0 && lf_hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(lf_hexValue(text[i + 1]) * 16 + lf_hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The form body as the service reads it: fields split at '&', names and
// values percent-decoded.
json lf_parseForm(const std::string& body) {
    json form = json::object();
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string::npos) end = body.size();
        const std::string field = body.substr(start, end - start);
        if (!field.empty()) {
            const std::size_t eq = field.find('=');
            if (eq == std::string::npos) {
                form[lf_decode(field)] = "";
            } else {
                form[lf_decode(field.substr(0, eq))] = lf_decode(field.substr(eq + 1));
            }
        }
        start = end + 1;
    }
    return form;
}

int lf_int(const json& j, const char* key, int def) {
    auto it = j.find(key);
    return (it != j.end() && it->is_number()) ? it->get<int>() : def;
}

double lf_formNumber(const json& form, const char* key, double def) {
    auto it = form.find(key);
    if (it == form.end()) return def;
    try {
        return std::stod(it->get<std::string>());
    } catch (...) {
        return def;
    }
}

json lf_answer(int status, const std::string& message) {
    return json{{"status", status}, {"message", message}};
}

void lf_send(httplib::Response& res, const json& answer) { res.set_content(answer.dump(), "application/json"); }

// text compressed with gzip.
std::string lf_gzip(const std::string& text) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// text sent gzip-compressed: a body of a few kilobytes on the wire can
// unpack to as much as a test asks for.
void lf_sendCompressed(httplib::Response& res, const std::string& compressed) {
    res.set_header("Content-Encoding", "gzip");
    res.set_content(compressed, "application/json");
}

// A flood step's text, compressed once: tests send the same one to every
// request kind, and packing tens of megabytes takes seconds.
const std::string& lf_floodGzip(const json& flood) {
    static std::string key;
    static std::string compressed;
    if (flood.dump() == key) return compressed;
    const std::string unit = flood.value("unit", "");
    const std::size_t count = flood.value("count", std::size_t{0});
    std::string text = flood.value("head", "");
    text.reserve(text.size() + unit.size() * count + 64);
    for (std::size_t i = 0; i < count; ++i) text += unit;
    text += flood.value("tail", "");
    compressed = lf_gzip(text);
    key = flood.dump();
    return compressed;
}

// The scenario's clock: seconds since the scenario started, plus "start_at".
double lf_scenarioNow() {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - g_stub.scenarioStarted).count();
    return elapsed + g_stub.scenario.value("start_at", 0.0);
}

bool lf_inBox(const json& entry, std::size_t latIndex, std::size_t lonIndex, const json& form) {
    if (!entry.is_array() || entry.size() <= std::max(latIndex, lonIndex)) return true;
    const json& lat = entry[latIndex];
    const json& lon = entry[lonIndex];
    if (!lat.is_number() || !lon.is_number()) return true;
    const double la = lat.get<double>();
    const double lo = lon.get<double>();
    return la <= lf_formNumber(form, "top", 90) && la >= lf_formNumber(form, "bottom", -90) &&
           lo >= lf_formNumber(form, "left", -180) && lo <= lf_formNumber(form, "right", 180);
}

// The latest entry of every aircraft at scenario time `at`, re-based to now
// and shifted back by the request's time offset.
json lf_trafficAt(double at, const json& form) {
    json data = json::object();
    const double stale = g_stub.scenario.value("stale_s", 60.0);
    const double toffset_s = lf_formNumber(form, "toffset", 0) * 60.0;
    std::map<std::string, std::pair<double, json>> latest;
    int index = 0;
    static const json kNone = json::array();
    // By reference: a scenario can be long, and a buffered answer walks it
    // once per snapshot.
    const auto listed = g_stub.scenario.find("traffic");
    const json& traffic = (listed != g_stub.scenario.end() && listed->is_array()) ? *listed : kNone;
    for (const auto& item : traffic) {
        const double t = item.value("t", 0.0);
        ++index;
        if (t > at || t < at - stale) continue;
        json entry = item.value("entry", json());
        std::string key = item.value("key", "");
        if (key.empty()) {
            key = (entry.is_array() && !entry.empty() && entry[0].is_string()) ? entry[0].get<std::string>()
                                                                               : "entry" + std::to_string(index);
        }
        auto found = latest.find(key);
        if (found == latest.end() || found->second.first <= t) latest[key] = {t, entry};
    }
    for (auto& [key, value] : latest) {
        json entry = value.second;
        if (!lf_inBox(entry, 1, 2, form)) continue;
        if (entry.is_array() && entry.size() > 10 && entry[10].is_number()) {
            const double rebased = static_cast<double>(g_stub.startEpoch) +
                                   (value.first - g_stub.scenario.value("start_at", 0.0)) - toffset_s;
            entry[10] = std::round(rebased * 100.0) / 100.0;
        }
        data[key] = entry;
    }
    return data;
}

bool lf_rateViolated(const std::string& rateClass, int interval_ms) {
    const auto now = std::chrono::steady_clock::now();
    auto it = g_stub.lastRequest.find(rateClass);
    bool violated = false;
    if (it != g_stub.lastRequest.end()) {
        const auto since_ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - it->second).count();
        // 10 % slack for the client's scheduling.
        violated = since_ms * 10 < static_cast<long long>(interval_ms) * 9;
    }
    g_stub.lastRequest[rateClass] = now;
    return violated;
}

void lf_record(const std::string& path, const std::string& kind, const std::string& body) {
    json rec{{"path", path},
             {"kind", kind},
             {"body", body},
             {"form", lf_parseForm(body)},
             {"ms", std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - g_stub.started)
                        .count()}};
    g_stub.records.push_back(rec);
    if (!g_stub.recordPath.empty()) {
        std::ofstream out(g_stub.recordPath, std::ios::app);
        out << rec.dump() << "\n";
    }
}

std::string lf_kindOf(const std::string& path, const json& form) {
    if (path == "/v4/auth") return "auth";
    if (path == "/v4/deauth") return "deauth";
    if (path == "/v4/nearestmetar") return "nearestmetar";
    if (path == "/v4/weather") return "weather";
    if (form.value("querytype", "") == "parkedtraffic") return "parked";
    if (form.contains("buffercount")) return "buffer";
    return "live";
}

// A slow answer still being sent when the stub is reset or quits ends.
bool lf_superseded(std::uint64_t generation) {
    if (g_quitting.load()) return true;
    std::lock_guard lock(g_stub.mutex);
    return g_stub.generation != generation;
}

// A scripted answer, when one is queued for this kind. Returns true when the
// response is complete; stalls return false after their wait so the normal
// answer follows.
bool lf_scripted(const std::string& kind, httplib::Response& res, std::unique_lock<std::mutex>& lock) {
    auto& queue = g_stub.scripts[kind];
    if (queue.empty()) return false;
    const json step = queue.front();
    queue.pop_front();
    if (step.contains("stall_ms")) {
        const int ms = step.value("stall_ms", 0);
        const std::uint64_t generation = g_stub.generation;
        g_stub.wake.wait_for(lock, std::chrono::milliseconds(ms), [&] { return g_stub.generation != generation; });
        if (!step.contains("status") && !step.contains("answer") && !step.contains("body")) return false;
    }
    if (step.contains("trickle_bytes_per_s")) {
        // The answer (scripted, or a status 200 without entries) comes after
        // trickle_s seconds of blanks at the given rate: a service that
        // answers, but slower than anyone can wait for.
        const int rate = std::max(1, step.value("trickle_bytes_per_s", 10));
        const int seconds = step.value("trickle_s", 60);
        const std::string answer = step.contains("answer") ? step["answer"].dump() : lf_answer(200, "").dump();
        const std::uint64_t generation = g_stub.generation;
        auto sent = std::make_shared<std::size_t>(0);
        const std::size_t blanks = static_cast<std::size_t>(rate) * static_cast<std::size_t>(std::max(0, seconds));
        res.set_chunked_content_provider("application/json", [=](std::size_t, httplib::DataSink& sink) {
            if (lf_superseded(generation)) return false;
            if (*sent >= blanks) {
                sink.write(answer.data(), answer.size());
                sink.done();
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1000 / rate));
            ++*sent;
            return sink.write(" ", 1);
        });
        return true;
    }
    if (step.value("continue_flood", false)) {
        // "100 Continue" after "100 Continue", never a final answer: the
        // first one is the response's own status line, the rest follow as
        // its body, which a client reads as more interim answers.
        res.status = 100;
        const std::uint64_t generation = g_stub.generation;
        res.set_content_provider(std::size_t{1} << 40, "text/plain",
                                 [generation](std::size_t, std::size_t, httplib::DataSink& sink) {
                                     if (lf_superseded(generation)) return false;
                                     static const std::string kInterim = "HTTP/1.1 100 Continue\r\n\r\n";
                                     std::this_thread::sleep_for(std::chrono::milliseconds(5));
                                     return sink.write(kInterim.data(), kInterim.size());
                                 });
        return true;
    }
    if (step.value("drop", false)) {
        // Headers promise a body that never comes: the client sees the
        // connection end in the middle of the answer.
        res.set_content_provider(
            1000, "application/json", [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
        return true;
    }
    if (step.contains("redirect")) {
        res.status = step.value("http", 302);
        res.set_header("Location", step.value("redirect", ""));
        return true;
    }
    if (step.value("empty", false)) {
        res.set_content("", "application/json");
        return true;
    }
    if (step.contains("body")) {
        res.set_content(step.value("body", ""), "text/plain");
        return true;
    }
    if (step.contains("gzip")) {
        lf_sendCompressed(res, lf_gzip(std::string(step.value("pad_bytes", std::size_t{0}), ' ') + step["gzip"].dump()));
        return true;
    }
    if (step.contains("flood")) {
        lf_sendCompressed(res, lf_floodGzip(step["flood"]));
        return true;
    }
    if (step.contains("answer")) {
        lf_send(res, step["answer"]);
        return true;
    }
    if (step.contains("status")) {
        const int status = step.value("status", 200);
        json answer = lf_answer(status, step.value("message", "scripted " + std::to_string(status)));
        lf_send(res, answer);
        return true;
    }
    return false;
}

void lf_handle(const httplib::Request& req, httplib::Response& res) {
    std::unique_lock lock(g_stub.mutex);
    const json form = lf_parseForm(req.body);
    const std::string kind = lf_kindOf(req.path, form);
    lf_record(req.path, kind, req.body);
    const std::size_t recordIndex = g_stub.records.size() - 1;
    // The status answered goes into the record too, so tests can see that
    // no request was refused for its pace.
    struct Answered {
        httplib::Response& res;
        std::size_t index;
        ~Answered() {
            // Scripted non-JSON bodies (megabytes of nesting among them) are
            // not read back.
            const json answer = res.get_header_value("Content-Type") == "application/json"
                                    ? json::parse(res.body, nullptr, false)
                                    : json();
            // Scripted answers may carry a status of any type.
            if (index < g_stub.records.size() && answer.is_object()) {
                const auto it = answer.find("status");
                g_stub.records[index]["answered"] = (it != answer.end() && it->is_number_integer()) ? it->get<long long>() : 0;
            }
        }
    } answered{res, recordIndex};
    if (lf_scripted(kind, res, lock)) return;

    const json& sc = g_stub.scenario;
    const int rrl = lf_int(sc, "rrl", 2000);
    const int wrrl = lf_int(sc, "wrrl", 2000);
    const std::string guidGiven = form.value("GUID", "");

    if (kind == "auth") {
        // As the service does: no licence, or not the one it knows, is refused.
        const std::string licence = form.value("license", "");
        if (licence.empty() || (sc.contains("license") && sc.value("license", "") != licence)) {
            lf_send(res, lf_answer(404, "licence not found"));
            return;
        }
        const std::string guid = sc.value("guid", "0b5e1ac5-57b0-4b1f-9d0e-4d8c1a2b3c4d");
        g_stub.sessions.insert(guid);
        lf_send(res, json{{"status", 200}, {"message", "Authenticated"}, {"GUID", guid}, {"rrl", rrl}, {"wrrl", wrrl},
                          {"server", sc.value("server", "rtstub")}});
        return;
    }
    if (!g_stub.sessions.count(guidGiven)) {
        lf_send(res, lf_answer(401, "session GUID unknown"));
        return;
    }
    if (kind == "deauth") {
        g_stub.sessions.erase(guidGiven);
        lf_send(res, json{{"status", 200}, {"message", "Logged out of"}, {"server", sc.value("server", "rtstub")}});
        return;
    }
    if (kind == "nearestmetar" || kind == "weather") {
        if (lf_rateViolated("weather", wrrl)) {
            lf_send(res, lf_answer(406, "request rate violation"));
            return;
        }
        json answer{{"status", 200}, {"wrrl", wrrl}, {"rrl", rrl}};
        if (kind == "nearestmetar") {
            answer["data"] = sc.value("metar", json::array({json{{"ICAO", "EHAM"}, {"Dist", 3.1}, {"BrgTo", 141.0},
                                                                 {"METAR", "EHAM 061225Z 24012KT 9999 FEW030 12/08 Q1013"}}}));
        } else {
            answer["data"] = sc.value("weather", json{{"QNH", 1013}});
        }
        lf_send(res, answer);
        return;
    }
    // /v4/traffic
    if (lf_rateViolated("traffic", rrl)) {
        lf_send(res, lf_answer(406, "request rate violation"));
        return;
    }
    json answer{{"status", 200}, {"rrl", rrl}, {"wrrl", wrrl}};
    if (kind == "parked") {
        json data = json::object();
        const json parked = sc.value("parked", json::object());
        for (const auto& item : parked.items()) {
            if (lf_inBox(item.value(), 0, 1, form)) data[item.key()] = item.value();
        }
        answer["data"] = data;
    } else if (kind == "buffer") {
        // Bounded before the conversion: the form is whatever the client sent.
        const double asked = lf_formNumber(form, "buffercount", 1);
        const int count = std::isfinite(asked) ? static_cast<int>(std::clamp(asked, 0.0, 100.0)) : 1;
        const double step = lf_formNumber(form, "buffertime", 10);
        const double now = lf_scenarioNow();
        json data = json::object();
        for (int i = 0; i < count; ++i) data["buffer_" + std::to_string(i)] = lf_trafficAt(now - i * step, form);
        answer["data"] = data;
    } else {
        answer["data"] = lf_trafficAt(lf_scenarioNow(), form);
    }
    lf_send(res, answer);
}

std::int64_t lf_epochNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void lf_useScenario(json scenario) {
    g_stub.scenario = std::move(scenario);
    if (g_stub.rrlOverride >= 0) g_stub.scenario["rrl"] = g_stub.rrlOverride;
    if (g_stub.wrrlOverride >= 0) g_stub.scenario["wrrl"] = g_stub.wrrlOverride;
    g_stub.startEpoch = lf_epochNow();
    g_stub.scenarioStarted = std::chrono::steady_clock::now();
}

void lf_control(httplib::Server& server) {
    server.Post("/control/script", [](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(g_stub.mutex);
        const json request = json::parse(req.body, nullptr, false);
        if (request.is_discarded() || !request.contains("kind")) {
            res.status = 400;
            return;
        }
        auto& queue = g_stub.scripts[request.value("kind", "")];
        for (const auto& step : request.value("answers", json::array())) queue.push_back(step);
        res.set_content("{}", "application/json");
    });
    server.Post("/control/reset", [](const httplib::Request&, httplib::Response& res) {
        std::lock_guard lock(g_stub.mutex);
        g_stub.scripts.clear();
        g_stub.records = json::array();
        g_stub.lastRequest.clear();
        ++g_stub.generation;
        g_stub.wake.notify_all();
        res.set_content("{}", "application/json");
    });
    // Replaces the scenario and starts its clock again (sessions, scripts and
    // records stay), so a long test can replay traffic of its own.
    server.Post("/control/scenario", [](const httplib::Request& req, httplib::Response& res) {
        json scenario = json::parse(req.body, nullptr, false);
        if (scenario.is_discarded() || !scenario.is_object()) {
            res.status = 400;
            return;
        }
        std::lock_guard lock(g_stub.mutex);
        lf_useScenario(std::move(scenario));
        res.set_content("{}", "application/json");
    });
    server.Get("/control/records", [](const httplib::Request&, httplib::Response& res) {
        std::lock_guard lock(g_stub.mutex);
        res.set_content(g_stub.records.dump(), "application/json");
    });
    server.Post("/control/quit", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("{}", "application/json");
        lf_quit();
    });
}

void lf_usage() {
    std::cerr << "usage: rtstub [--scenario FILE] [--port N] [--port-file FILE] [--record FILE]\n"
                 "              [--rrl MS] [--wrrl MS] [--max-seconds N]\n";
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    std::string scenarioPath;
    std::string portFile;
    int rrl = -1;
    int wrrl = -1;
    int maxSeconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                lf_usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--scenario") {
            scenarioPath = next();
        } else if (arg == "--port") {
            port = std::stoi(next());
        } else if (arg == "--port-file") {
            portFile = next();
        } else if (arg == "--record") {
            g_stub.recordPath = next();
        } else if (arg == "--rrl") {
            rrl = std::stoi(next());
        } else if (arg == "--wrrl") {
            wrrl = std::stoi(next());
        } else if (arg == "--max-seconds") {
            maxSeconds = std::stoi(next());
        } else {
            lf_usage();
            return 2;
        }
    }
    json scenario = json::object();
    if (!scenarioPath.empty()) {
        std::ifstream in(scenarioPath);
        scenario = json::parse(in, nullptr, false);
        if (scenario.is_discarded() || !scenario.is_object()) {
            std::cerr << "rtstub: cannot read scenario " << scenarioPath << "\n";
            return 2;
        }
    }
    g_stub.rrlOverride = rrl;
    g_stub.wrrlOverride = wrrl;
    g_stub.started = std::chrono::steady_clock::now();
    lf_useScenario(std::move(scenario));

    httplib::Server server;
    g_server = &server;
    // Scripts carry hostile answers of a few megabytes.
    server.set_payload_max_length(std::size_t{64} << 20);
    for (const char* path : {"/v4/auth", "/v4/deauth", "/v4/traffic", "/v4/nearestmetar", "/v4/weather"}) {
        server.Post(path, lf_handle);
    }
    lf_control(server);

    if (port == 0) {
        port = server.bind_to_any_port("127.0.0.1");
    } else if (!server.bind_to_port("127.0.0.1", port)) {
        port = -1;
    }
    if (port <= 0) {
        std::cerr << "rtstub: cannot bind\n";
        return 1;
    }
    if (!portFile.empty()) {
        const std::string temp = portFile + ".tmp";
        {
            std::ofstream out(temp);
            out << port << "\n";
        }
        std::filesystem::rename(temp, portFile);
    }
    std::cout << "rtstub listening on 127.0.0.1:" << port << std::endl;
    if (maxSeconds > 0) {
        // A caller that cannot signal the stub (a test under Wine has no
        // handle of a Linux child) and dies before its quit request would
        // otherwise leave it running.
        std::thread([maxSeconds] {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(maxSeconds);
            while (!g_quitting.load() && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            lf_quit();
        }).detach();
    }
    server.listen_after_bind();
    return 0;
}
