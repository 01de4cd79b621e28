#include "rtstub_process.h"

#include <curl/curl.h>

RtStubProcess::RtStubProcess(int port) : m_base("http://127.0.0.1:" + std::to_string(port)) {}

std::vector<std::string> RtStubProcess::arguments(const Options& options, const std::string& scenarioPath,
                                                  const std::string& portFile) {
    // The time limit only ends a stub whose test died before it could.
    std::vector<std::string> args = {"--scenario", scenarioPath, "--port-file", portFile, "--max-seconds", "600"};
    if (options.rrl_ms >= 0) {
        args.push_back("--rrl");
        args.push_back(std::to_string(options.rrl_ms));
    }
    if (options.wrrl_ms >= 0) {
        args.push_back("--wrrl");
        args.push_back(std::to_string(options.wrrl_ms));
    }
    return args;
}

std::string RtStubProcess::scenarioPath(const Options& options) {
    return std::string(RTSTUB_SCENARIOS) + "/" + options.scenario;
}

void RtStubProcess::quit() {
    const std::string none;
    request("/control/quit", &none);
}

void RtStubProcess::reset() {
    const std::string none;
    request("/control/reset", &none);
}

void RtStubProcess::script(const std::string& kind, const nlohmann::json& answers) {
    const std::string body = nlohmann::json{{"kind", kind}, {"answers", answers}}.dump();
    request("/control/script", &body);
}

nlohmann::json RtStubProcess::records() {
    return nlohmann::json::parse(request("/control/records", nullptr), nullptr, false);
}

std::vector<nlohmann::json> RtStubProcess::records(const std::string& kind) {
    std::vector<nlohmann::json> out;
    const nlohmann::json all = records();
    if (!all.is_array()) return out;
    for (const auto& r : all)
        if (r.value("kind", "") == kind) out.push_back(r);
    return out;
}

std::string RtStubProcess::request(const std::string& path, const std::string* body) {
    std::string out;
    CURL* h = curl_easy_init();
    if (!h) return out;
    const std::string url = m_base + path;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    // Control bodies are JSON: a form body is cut at 8 KiB by the server,
    // and scripts carry hostile answers of megabytes.
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    if (body) {
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body->c_str());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
    }
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, 10000L);
    // The stub is on this computer, whatever proxy a test sets for the clients.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, +[](char* d, size_t s, size_t n, std::string* o) {
        o->append(d, s * n);
        return s * n;
    });
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &out);
    curl_easy_perform(h);
    curl_easy_cleanup(h);
    curl_slist_free_all(headers);
    return out;
}
