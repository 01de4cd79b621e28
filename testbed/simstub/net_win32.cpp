// Winsock links of the Windows build.
#include "simstub/link.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string>

namespace simstub {

namespace {

std::string lf_wsaError(const char* what) { return std::string(what) + " failed: " + std::to_string(WSAGetLastError()); }

class TcpLink : public Link {
public:
    explicit TcpLink(SOCKET s) : s_(s) {}
    ~TcpLink() override {
        ::shutdown(s_, SD_BOTH);
        ::closesocket(s_);
    }

    bool readAvailable(Bytes& out) override {
        char buf[65536];
        for (;;) {
            int n = ::recv(s_, buf, sizeof buf, 0);
            if (n > 0) {
                out.insert(out.end(), reinterpret_cast<std::uint8_t*>(buf), reinterpret_cast<std::uint8_t*>(buf) + n);
                continue;
            }
            if (n == 0) return false;
            return WSAGetLastError() == WSAEWOULDBLOCK;
        }
    }

    bool write(const Bytes& bytes) override {
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        return flush();
    }

    bool flush() override {
        while (!pending_.empty()) {
            int n = ::send(s_, reinterpret_cast<const char*>(pending_.data()), static_cast<int>(pending_.size()), 0);
            if (n > 0) {
                pending_.erase(pending_.begin(), pending_.begin() + n);
                continue;
            }
            return n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK;
        }
        return true;
    }

    bool idle() const override { return pending_.empty(); }
    std::string transport() const override { return "tcp"; }

private:
    SOCKET s_;
    Bytes pending_;
};

class TcpListener : public Listener {
public:
    explicit TcpListener(SOCKET s) : s_(s) {}
    ~TcpListener() override { ::closesocket(s_); }

    std::unique_ptr<Link> accept() override {
        SOCKET c = ::accept(s_, nullptr, nullptr);
        if (c == INVALID_SOCKET) return nullptr;
        u_long nonBlocking = 1;
        if (::ioctlsocket(c, FIONBIO, &nonBlocking) != 0) {
            ::closesocket(c);
            return nullptr;
        }
        BOOL one = TRUE;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
        return std::make_unique<TcpLink>(c);
    }

private:
    SOCKET s_;
};

}  // namespace

bool netStartup() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void netCleanup() { WSACleanup(); }

std::unique_ptr<Listener> openTcpListener(std::uint16_t port, std::uint16_t& boundPort, std::string& error) {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = lf_wsaError("socket");
        return nullptr;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof addr;
    u_long nonBlocking = 1;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 16) != 0 ||
        ::ioctlsocket(s, FIONBIO, &nonBlocking) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        error = lf_wsaError("listen on 127.0.0.1");
        ::closesocket(s);
        return nullptr;
    }
    boundPort = ntohs(addr.sin_port);
    return std::make_unique<TcpListener>(s);
}

bool replaceFile(const std::filesystem::path& temp, const std::filesystem::path& target) {
    return MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace simstub
