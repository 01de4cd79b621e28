// Runs testbed/sitestub as a child process for the download tests.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class SiteStubProcess {
public:
    // Starts sitestub serving root with the extra switches and waits until
    // it listens. Null, with the reason in whyNot, when it cannot run here.
    static std::unique_ptr<SiteStubProcess> start(const std::filesystem::path& root,
                                                  const std::vector<std::string>& extraArgs, std::string& whyNot);
    virtual ~SiteStubProcess() = default;

    int port() const { return m_port; }
    // "http://127.0.0.1:<port>/"
    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

protected:
    int m_port = 0;
};
