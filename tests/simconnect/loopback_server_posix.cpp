#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "loopback_server.h"

namespace loopback {

Socket listenOn(bool ipv6, std::uint16_t& port, int backlog) {
    int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return kNoSocket;
    sockaddr_storage address{};
    socklen_t length = 0;
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
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return kNoSocket;
    }
    port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                      : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    return fd;
}

Socket acceptOne(Socket listener) {
    int fd = ::accept(static_cast<int>(listener), nullptr, nullptr);
    return fd < 0 ? kNoSocket : fd;
}

bool receiveAll(Socket s, std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::recv(static_cast<int>(s), data, size, 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool sendAll(Socket s, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::send(static_cast<int>(s), data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void shutdownBoth(Socket s) { ::shutdown(static_cast<int>(s), SHUT_RDWR); }
void closeSocket(Socket s) { ::close(static_cast<int>(s)); }

}  // namespace loopback
