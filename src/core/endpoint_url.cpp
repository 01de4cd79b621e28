#include "core/endpoint_url.h"

#include "core/log.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <set>

namespace {

std::string lf_lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool lf_isLoopbackHost(const std::string& host) {
    if (host == "localhost" || host == "[::1]") return true;
    // 127.0.0.0/8: four decimal parts, the first 127.
    if (host.rfind("127.", 0) != 0) return false;
    int parts = 2;  // "127" and the one being read
    int digits = 0;
    for (std::size_t i = 4; i < host.size(); ++i) {
        const char c = host[i];
        if (c == '.') {
            if (digits == 0) return false;
            ++parts;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            ++digits;
        } else {
            return false;
        }
    }
    return parts == 4 && digits > 0;
}

// The address (lower case) after its scheme, with no user part, names a
// loopback host.
bool lf_isLoopbackAuthority(std::string_view rest) {
    const std::string authority(rest.substr(0, rest.find_first_of("/?#")));
    if (authority.find('@') != std::string::npos) return false;
    std::string host = authority;
    if (!host.empty() && host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string::npos) return false;
        host = host.substr(0, close + 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    return lf_isLoopbackHost(host);
}

}  // namespace

bool gf_isSafeEndpointUrl(std::string_view url) {
    const std::string text = lf_lower(url);
    if (text.rfind("https://", 0) == 0) return text.size() > 8;
    if (text.rfind("http://", 0) != 0) return false;
    return lf_isLoopbackAuthority(std::string_view(text).substr(7));
}

bool gf_isLoopbackUrl(std::string_view url) {
    const std::string text = lf_lower(url);
    if (text.rfind("https://", 0) == 0) return lf_isLoopbackAuthority(std::string_view(text).substr(8));
    if (text.rfind("http://", 0) == 0) return lf_isLoopbackAuthority(std::string_view(text).substr(7));
    return false;
}

CURLcode gf_setProxyFor(CURL* handle, std::string_view url) {
    // An empty proxy disables every proxy, the environment's too; null
    // restores libcurl's default.
    return curl_easy_setopt(handle, CURLOPT_PROXY, gf_isLoopbackUrl(url) ? "" : nullptr);
}

std::optional<std::string> gf_endpointFromEnv(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    if (gf_isSafeEndpointUrl(value)) return std::string(value);
    static std::mutex mutex;
    static std::set<std::string> logged;
    std::lock_guard lock(mutex);
    if (logged.insert(std::string(name) + '=' + value).second) {
        gf_logHighlight(fmt::format("{} ignored: plain http only to this computer (127.0.0.1), else https", name));
    }
    return std::nullopt;
}
