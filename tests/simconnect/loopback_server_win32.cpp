#include <winsock2.h>
#include <ws2tcpip.h>

#include "loopback_server.h"

namespace loopback {

namespace {
// The test's own hold on Winsock, so that the library's cleanup after its
// last connection never pulls the network from under the server.
void lf_startOnce() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}
}  // namespace

Socket listenOn(bool ipv6, std::uint16_t& port, int backlog) {
    lf_startOnce();
    SOCKET s = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return kNoSocket;
    sockaddr_storage address{};
    int length = 0;
    if (ipv6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&address);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_loopback;
        length = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&address);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof *a;
    }
    if (bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(s, backlog) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(s);
        return kNoSocket;
    }
    port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                      : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    return static_cast<Socket>(s);
}

Socket acceptOne(Socket listener) {
    SOCKET s = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    return s == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(s);
}

bool receiveAll(Socket s, std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        int n = recv(static_cast<SOCKET>(s), reinterpret_cast<char*>(data), static_cast<int>(size), 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool sendAll(Socket s, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        int n = send(static_cast<SOCKET>(s), reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void shutdownBoth(Socket s) { shutdown(static_cast<SOCKET>(s), SD_BOTH); }
void closeSocket(Socket s) { closesocket(static_cast<SOCKET>(s)); }

}  // namespace loopback
