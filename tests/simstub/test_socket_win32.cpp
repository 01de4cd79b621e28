#include "simstub/test_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace simstub_test {

std::intptr_t socketConnect(std::uint16_t port) {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) return -1;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::closesocket(s);
        return -1;
    }
    return static_cast<std::intptr_t>(s);
}

bool socketSend(std::intptr_t s, const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        int n = ::send(static_cast<SOCKET>(s), reinterpret_cast<const char*>(bytes.data() + done),
                       static_cast<int>(bytes.size() - done), 0);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int socketRecv(std::intptr_t s, std::uint8_t* buf, int size, int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<SOCKET>(s), &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    int r = ::select(0, &set, nullptr, nullptr, &tv);
    if (r == 0) return -1;
    if (r < 0) return -2;
    int n = ::recv(static_cast<SOCKET>(s), reinterpret_cast<char*>(buf), size, 0);
    return n < 0 ? -2 : n;
}

void socketClose(std::intptr_t s) { ::closesocket(static_cast<SOCKET>(s)); }

}  // namespace simstub_test
