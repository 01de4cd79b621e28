// Runs testbed/rtstub as a child process for the service tests: natively as
// a child of the test, under Wine the native stub started through Wine. The
// control requests (scripts, records, reset) go over HTTP in both builds.
#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

class RtStubProcess {
public:
    struct Options {
        std::string scenario = "amsterdam.json";  // in testbed/rtstub/scenarios
        int rrl_ms = -1;                          // -1: the scenario's
        int wrrl_ms = -1;
    };

    // Starts the stub and waits until it listens. Null, with the reason in
    // whyNot, when it cannot run here.
    static std::unique_ptr<RtStubProcess> start(const Options& options, std::string& whyNot);
    virtual ~RtStubProcess() = default;

    // "http://127.0.0.1:<port>"
    const std::string& baseUrl() const { return m_base; }

    void reset();
    void script(const std::string& kind, const nlohmann::json& answers);
    nlohmann::json records();
    // The records of one kind ("auth", "deauth", "buffer", "live", "parked",
    // "nearestmetar", "weather").
    std::vector<nlohmann::json> records(const std::string& kind);

protected:
    explicit RtStubProcess(int port);
    // Asks the stub to end; the platform's destructor waits where it can.
    void quit();

    // Arguments after the binary, scenario path and port file given.
    static std::vector<std::string> arguments(const Options& options, const std::string& scenarioPath,
                                              const std::string& portFile);
    static std::string scenarioPath(const Options& options);

private:
    // A POST of body, or a GET when body is null.
    std::string request(const std::string& path, const std::string* body);

    std::string m_base;
};
