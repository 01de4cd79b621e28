// Under Wine the download tests can still use the native sitestub: Wine
// starts a Linux program from CreateProcessW, though without a process
// handle, so the stub is ended through its /__stop request (and its own time
// limit as a safety net). On Windows proper there is no stub: the tests skip.
#include "sitestub_process.h"

#include <curl/curl.h>
#include <windows.h>

#include "support/wine_native_win32.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using wine_native::WinePaths;



class WineSiteStub final : public SiteStubProcess {
public:
    explicit WineSiteStub(int port) { m_port = port; }
    ~WineSiteStub() override {
        CURL* handle = curl_easy_init();
        if (!handle) return;
        const std::string url = baseUrl() + "__stop";
        curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void*) {
            return size * count;
        });
        curl_easy_setopt(handle, CURLOPT_TIMEOUT, 10L);
        // The stub is on this computer, whatever proxy a test sets.
        curl_easy_setopt(handle, CURLOPT_PROXY, "");
        curl_easy_perform(handle);
        curl_easy_cleanup(handle);
    }
};

}  // namespace

std::unique_ptr<SiteStubProcess> SiteStubProcess::start(const fs::path& root, const std::vector<std::string>& extraArgs,
                                                        std::string& whyNot) {
    const WinePaths wine;
    if (!wine.available()) {
        whyNot = "sitestub runs only natively or under Wine";
        return nullptr;
    }
    const std::string stubUnix = wine_native::nativeStandInPath("GLIM_SITESTUB", "testbed/sitestub/sitestub");
    const fs::path stubDos = stubUnix.empty() ? fs::path() : wine.toDosPath(stubUnix);
    std::error_code ec;
    if (stubDos.empty() || !fs::exists(stubDos, ec)) {
        whyNot = "native sitestub not found (set GLIM_SITESTUB): " + stubUnix;
        return nullptr;
    }
    const fs::path portFile = root.parent_path() / ("sitestub_port_" + std::to_string(GetCurrentProcessId()));
    fs::remove(portFile, ec);
    const std::string rootUnix = wine.toUnixPath(root);
    const std::string portFileUnix = wine.toUnixPath(portFile);

    std::vector<std::string> args = {"--root", rootUnix, "--port-file", portFileUnix, "--max-seconds", "120"};
    for (const auto& arg : extraArgs) args.push_back(arg);
    const std::string outputUnix = wine.toUnixPath(root.parent_path() / ("sitestub_out_" + std::to_string(GetCurrentProcessId())));
    if (!wine_native::startNativeProgram(wine, stubUnix, args, outputUnix, 150, whyNot)) return nullptr;

    // Readiness, not timing: the port file appears once the server listens.
    for (int i = 0; i < 1000; ++i) {
        std::ifstream in(portFile);
        int port = 0;
        if (in >> port && port > 0) {
            in.close();
            fs::remove(portFile, ec);
            return std::make_unique<WineSiteStub>(port);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    whyNot = "sitestub did not start listening";
    return nullptr;
}
