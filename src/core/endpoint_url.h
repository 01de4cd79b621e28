// The service and site addresses that tests and the demo set in the
// environment. The release program honours them too, so they must not open a
// way to send the licence in clear text: plain http is taken for this
// machine's loopback address only, https for any host.
#pragma once

#include <curl/curl.h>

#include <optional>
#include <string>
#include <string_view>

// True for an https address, and for an http address whose host is a
// loopback one (127.x.x.x, localhost, [::1]); false for anything else,
// including a user part before the host ("http://127.0.0.1@host/").
bool gf_isSafeEndpointUrl(std::string_view url);

// True for an http or https address whose host is a loopback one, as above.
bool gf_isLoopbackUrl(std::string_view url);

// Sets the proxy of the next transfer to url on handle. libcurl takes a proxy
// from http_proxy, HTTPS_PROXY or ALL_PROXY by itself: a transfer to this
// machine (the stand-ins, and with them a licence in clear text) must never
// leave it through one, so a loopback address goes without any proxy; any
// other address gets libcurl's default back (a handle is reused for other
// addresses, and the environment's proxy serves the public ones).
CURLcode gf_setProxyFor(CURL* handle, std::string_view url);

// The address in the environment variable name, when set and safe; an unsafe
// one is logged (once per variable and value) and ignored.
std::optional<std::string> gf_endpointFromEnv(const char* name);
