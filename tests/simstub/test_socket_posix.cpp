#include "simstub/test_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace simstub_test {

std::intptr_t socketConnect(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool socketSend(std::intptr_t s, const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(static_cast<int>(s), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int socketRecv(std::intptr_t s, std::uint8_t* buf, int size, int timeoutMs) {
    pollfd p{static_cast<int>(s), POLLIN, 0};
    int r = ::poll(&p, 1, timeoutMs);
    if (r == 0) return -1;
    if (r < 0) return -2;
    ssize_t n = ::recv(static_cast<int>(s), buf, static_cast<std::size_t>(size), 0);
    return n < 0 ? -2 : static_cast<int>(n);
}

void socketClose(std::intptr_t s) { ::close(static_cast<int>(s)); }

}  // namespace simstub_test
