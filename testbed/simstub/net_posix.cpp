// BSD-socket links of the native build.
#include "simstub/link.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace simstub {

namespace {

bool lf_setNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

class TcpLink : public Link {
public:
    explicit TcpLink(int fd) : fd_(fd) {}
    ~TcpLink() override {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
    }

    bool readAvailable(Bytes& out) override {
        std::uint8_t buf[65536];
        for (;;) {
            ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n > 0) {
                out.insert(out.end(), buf, buf + n);
                continue;
            }
            if (n == 0) return false;
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
    }

    bool write(const Bytes& bytes) override {
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        return flush();
    }

    bool flush() override {
        while (!pending_.empty()) {
            // MSG_NOSIGNAL: a client gone away must fail the write, not kill the stand-in.
            ssize_t n = ::send(fd_, pending_.data(), pending_.size(), MSG_NOSIGNAL);
            if (n > 0) {
                pending_.erase(pending_.begin(), pending_.begin() + n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
        return true;
    }

    bool idle() const override { return pending_.empty(); }
    std::string transport() const override { return "tcp"; }
    bool addWaitables(std::vector<Waitable>& out) override {
        out.push_back({fd_, !pending_.empty()});
        return false;
    }

private:
    int fd_;
    Bytes pending_;
};

class TcpListener : public Listener {
public:
    explicit TcpListener(int fd) : fd_(fd) {}
    ~TcpListener() override { ::close(fd_); }

    std::unique_ptr<Link> accept() override {
        int fd = ::accept(fd_, nullptr, nullptr);
        if (fd < 0) return nullptr;
        if (!lf_setNonBlocking(fd)) {
            ::close(fd);
            return nullptr;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return std::make_unique<TcpLink>(fd);
    }

    bool addWaitables(std::vector<Waitable>& out) override {
        out.push_back({fd_, false});
        return false;
    }

private:
    int fd_;
};

}  // namespace

bool netStartup() { return true; }
void netCleanup() {}

void waitForAny(const std::vector<Waitable>& waitables, int limitMs) {
    std::vector<pollfd> fds;
    fds.reserve(waitables.size());
    for (const auto& w : waitables) {
        fds.push_back({static_cast<int>(w.handle), static_cast<short>(POLLIN | (w.write ? POLLOUT : 0)), 0});
    }
    // EINTR (the stop signal) simply ends the wait early.
    ::poll(fds.data(), fds.size(), limitMs);
}

std::unique_ptr<Listener> openTcpListener(std::uint16_t port, std::uint16_t& boundPort, std::string& error) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return nullptr;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0 ||
        !lf_setNonBlocking(fd) || ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        error = std::string("listen on 127.0.0.1: ") + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    boundPort = ntohs(addr.sin_port);
    return std::make_unique<TcpListener>(fd);
}

std::unique_ptr<Listener> openPipeListener(const std::string&, std::string& error) {
    error = "named pipes exist only in the Windows build";
    return nullptr;
}

bool replaceFile(const std::filesystem::path& temp, const std::filesystem::path& target) {
    return std::rename(temp.c_str(), target.c_str()) == 0;
}

}  // namespace simstub
