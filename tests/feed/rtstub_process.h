// Starts testbed/rtstub as a child process on an ephemeral port and points
// the feed at it (native build only).
#pragma once

#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

class RtStubProcess {
public:
    explicit RtStubProcess(const std::string& scenario = "amsterdam.json") {
        const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                          ("rtstub-" + std::to_string(::getpid()) + "-" + std::to_string(++s_count));
        std::filesystem::create_directories(dir);
        m_portFile = dir / "port";
        const std::string binary = RTSTUB_BINARY;
        const std::string scenarioPath = std::string(RTSTUB_SCENARIOS) + "/" + scenario;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl(binary.c_str(), binary.c_str(), "--scenario", scenarioPath.c_str(), "--port-file",
                    m_portFile.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 100 && !std::filesystem::exists(m_portFile); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::ifstream in(m_portFile);
        in >> m_port;
        m_base = "http://127.0.0.1:" + std::to_string(m_port);
        ::setenv("GLIM_RT_BASE_URL", m_base.c_str(), 1);
    }

    ~RtStubProcess() {
        post("/control/quit", "");
        int status = 0;
        for (int i = 0; i < 40; ++i) {
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
    }

    bool running() const { return m_port > 0; }

    void reset() { post("/control/reset", ""); }
    void script(const std::string& kind, const nlohmann::json& answers) {
        post("/control/script", nlohmann::json{{"kind", kind}, {"answers", answers}}.dump());
    }
    nlohmann::json records() { return nlohmann::json::parse(request("/control/records", nullptr), nullptr, false); }
    // The records of one kind ("auth", "deauth", "buffer", "live", "parked", "nearestmetar", "weather").
    std::vector<nlohmann::json> records(const std::string& kind) {
        std::vector<nlohmann::json> out;
        for (const auto& r : records())
            if (r.value("kind", "") == kind) out.push_back(r);
        return out;
    }

private:
    std::string post(const std::string& path, const std::string& body) { return request(path, &body); }

    std::string request(const std::string& path, const std::string* body) {
        std::string out;
        CURL* h = curl_easy_init();
        const std::string url = m_base + path;
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        if (body) {
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, body->c_str());
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
        }
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, 5000L);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, +[](char* d, size_t s, size_t n, std::string* o) {
            o->append(d, s * n);
            return s * n;
        });
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &out);
        curl_easy_perform(h);
        curl_easy_cleanup(h);
        return out;
    }

    static inline int s_count = 0;
    pid_t m_pid = -1;
    int m_port = 0;
    std::filesystem::path m_portFile;
    std::string m_base;
};
