// Winsock links of the Windows build.
#include "simstub/link.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string>

namespace simstub {

namespace {

std::string lf_wsaError(const char* what) { return std::string(what) + " failed: " + std::to_string(WSAGetLastError()); }

// A socket's readiness as an event the host can wait on beside the pipes'.
// Winsock records a network event until it is enumerated, so the record is
// taken before every wait: whatever came since the last pass wakes the host
// at once, and nothing older keeps waking it.
class SocketEvent {
public:
    SocketEvent(SOCKET s, long events) : s_(s), event_(WSACreateEvent()) {
        if (event_ != WSA_INVALID_EVENT && WSAEventSelect(s_, event_, events) != 0) {
            WSACloseEvent(event_);
            event_ = WSA_INVALID_EVENT;
        }
    }
    ~SocketEvent() {
        if (event_ != WSA_INVALID_EVENT) WSACloseEvent(event_);
    }
    SocketEvent(const SocketEvent&) = delete;
    SocketEvent& operator=(const SocketEvent&) = delete;

    // False when the socket has news already (or no event could be made).
    bool add(std::vector<Waitable>& out) {
        if (event_ == WSA_INVALID_EVENT) return true;
        WSANETWORKEVENTS happened{};
        if (WSAEnumNetworkEvents(s_, event_, &happened) != 0) return true;
        out.push_back({reinterpret_cast<std::intptr_t>(event_), false});
        return happened.lNetworkEvents == 0;
    }

private:
    SOCKET s_;
    WSAEVENT event_;
};

class TcpLink : public Link {
public:
    explicit TcpLink(SOCKET s) : s_(s), event_(s, FD_READ | FD_WRITE | FD_CLOSE) {}
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
    bool addWaitables(std::vector<Waitable>& out) override { return !event_.add(out); }

private:
    SOCKET s_;
    SocketEvent event_;
    Bytes pending_;
};

class TcpListener : public Listener {
public:
    explicit TcpListener(SOCKET s) : s_(s), event_(s, FD_ACCEPT) {}
    ~TcpListener() override { ::closesocket(s_); }

    std::unique_ptr<Link> accept() override {
        SOCKET c = ::accept(s_, nullptr, nullptr);
        if (c == INVALID_SOCKET) return nullptr;
        // The new socket inherits the listener's event selection, which
        // would refuse the mode change below; the link selects its own.
        WSAEventSelect(c, nullptr, 0);
        u_long nonBlocking = 1;
        if (::ioctlsocket(c, FIONBIO, &nonBlocking) != 0) {
            ::closesocket(c);
            return nullptr;
        }
        BOOL one = TRUE;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
        return std::make_unique<TcpLink>(c);
    }

    bool addWaitables(std::vector<Waitable>& out) override { return !event_.add(out); }

private:
    SOCKET s_;
    SocketEvent event_;
};

}  // namespace

bool netStartup() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void netCleanup() { WSACleanup(); }

void waitForAny(const std::vector<Waitable>& waitables, int limitMs) {
    std::vector<HANDLE> handles;
    for (const auto& w : waitables) {
        if (handles.size() < MAXIMUM_WAIT_OBJECTS) handles.push_back(reinterpret_cast<HANDLE>(w.handle));
    }
    if (handles.empty()) {
        Sleep(static_cast<DWORD>(limitMs));
        return;
    }
    WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, static_cast<DWORD>(limitMs));
}

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
