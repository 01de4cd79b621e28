// The native build's transport: TCP over BSD sockets. A reader thread per
// connection stands in for the system's I/O completion threads: it performs
// the posted read and write when the socket is ready and calls the
// transport's completion routines. There are no named pipes here.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>

#include "simconnect/platform.h"
#include "simconnect/transport.h"

namespace {

std::uint32_t lf_statusOfErrno(int error) {
    switch (error) {
    case ECONNRESET:
        return kSimStatusConnectionReset;
    case EPIPE:
        return kSimStatusPipeBroken;
    case ENOTCONN:
    case ESHUTDOWN:
    case ECONNABORTED:
        return kSimStatusRemoteDisconnect;
    case ECANCELED:
        return kSimStatusCancelled;
    default:
        return kSimStatusUnsuccessful;
    }
}

class PosixSocketIo final : public SimConnectIo {
public:
    PosixSocketIo(int fd, int wakeRead, int wakeWrite, SimConnectTransport& owner)
        : m_fd(fd), m_wakeRead(wakeRead), m_wakeWrite(wakeWrite), m_owner(owner) {}

    ~PosixSocketIo() override {
        cancelAndClose();
        if (m_thread.joinable()) {
            if (m_thread.get_id() == std::this_thread::get_id())
                m_thread.detach();
            else
                m_thread.join();
        }
        ::close(m_fd);
        ::close(m_wakeRead);
        ::close(m_wakeWrite);
    }

    bool startThread() {
        try {
            m_thread = std::thread([this] { run(); });
            return true;
        } catch (const std::system_error&) {
            return false;
        }
    }

    std::uint32_t postRead(std::uint8_t* buffer, std::uint32_t size) override {
        return post(m_read, buffer, size);
    }
    std::uint32_t postWrite(const std::uint8_t* buffer, std::uint32_t size) override {
        return post(m_write, const_cast<std::uint8_t*>(buffer), size);
    }

    void setNoDelay() override {
        int on = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }

    void cancelAndClose() override {
        {
            std::lock_guard lock(m_lock);
            if (m_closing) return;
            m_closing = true;
        }
        ::shutdown(m_fd, SHUT_RDWR);
        wake();
    }

    void waitForCompletions() override {
        if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
    }

private:
    struct Request {
        std::uint8_t* data = nullptr;
        std::uint32_t size = 0;
        std::uint32_t done = 0;
        bool pending = false;
    };

    std::uint32_t post(Request& request, std::uint8_t* data, std::uint32_t size) {
        {
            std::lock_guard lock(m_lock);
            if (m_closing) return kSimStatusCancelled;
            if (request.pending) return kSimStatusUnsuccessful;
            request = Request{data, size, 0, true};
        }
        wake();
        return kSimStatusSuccess;
    }

    void wake() {
        char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wakeWrite, &byte, 1);
    }

    void drainWake() {
        char bytes[64];
        while (::read(m_wakeRead, bytes, sizeof bytes) > 0) {
        }
    }

    void run() {
        for (;;) {
            bool wantRead = false, wantWrite = false, closing = false;
            {
                std::lock_guard lock(m_lock);
                wantRead = m_read.pending;
                wantWrite = m_write.pending;
                closing = m_closing;
            }
            if (closing) {
                cancelOutstanding();
                return;
            }
            pollfd fds[2] = {{m_fd, static_cast<short>((wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0)), 0},
                             {m_wakeRead, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                cancelAndClose();
                continue;
            }
            if (fds[1].revents) drainWake();
            const short ready = fds[0].revents;
            if (wantRead && (ready & (POLLIN | POLLHUP | POLLERR))) doRead();
            if (wantWrite && (ready & (POLLOUT | POLLHUP | POLLERR))) doWrite();
        }
    }

    // What is still outstanding at the close completes as cancelled, the way
    // the system completes the I/O of a closed handle.
    void cancelOutstanding() {
        bool read = false, write = false;
        std::uint32_t written = 0;
        {
            std::lock_guard lock(m_lock);
            read = m_read.pending;
            write = m_write.pending;
            written = m_write.done;
            m_read.pending = m_write.pending = false;
        }
        if (read) m_owner.completeRead(kSimStatusCancelled, ECANCELED, 0);
        if (write) m_owner.completeWrite(kSimStatusCancelled, ECANCELED, written);
    }

    void doRead() {
        std::uint8_t* data = nullptr;
        std::uint32_t size = 0;
        {
            std::lock_guard lock(m_lock);
            data = m_read.data;
            size = m_read.size;
        }
        ssize_t n = ::recv(m_fd, data, size, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        int error = n < 0 ? errno : 0;
        {
            std::lock_guard lock(m_lock);
            m_read.pending = false;
        }
        if (n < 0)
            m_owner.completeRead(lf_statusOfErrno(error), static_cast<std::uint32_t>(error), 0);
        else
            m_owner.completeRead(kSimStatusSuccess, 0, static_cast<std::uint32_t>(n));
    }

    void doWrite() {
        std::uint8_t* data = nullptr;
        std::uint32_t size = 0, done = 0;
        {
            std::lock_guard lock(m_lock);
            data = m_write.data;
            size = m_write.size;
            done = m_write.done;
        }
        ssize_t n = ::send(m_fd, data + done, size - done, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        int error = n < 0 ? errno : 0;
        bool complete = false;
        {
            std::lock_guard lock(m_lock);
            if (n >= 0) m_write.done += static_cast<std::uint32_t>(n);
            done = m_write.done;
            complete = n < 0 || done == size;
            if (complete) m_write.pending = false;
        }
        if (!complete) return;
        if (n < 0)
            m_owner.completeWrite(lf_statusOfErrno(error), static_cast<std::uint32_t>(error), done);
        else
            m_owner.completeWrite(kSimStatusSuccess, 0, done);
    }

    const int m_fd;
    const int m_wakeRead;
    const int m_wakeWrite;
    SimConnectTransport& m_owner;
    std::mutex m_lock;
    Request m_read;
    Request m_write;
    bool m_closing = false;
    std::thread m_thread;
};

// Connected within the endpoint's time-out, and really so: the connect runs
// non-blocking and counts only when the socket reports no error and has a
// peer. A host that never answers fails the attempt like one that refuses.
bool lf_connectInTime(int fd, const addrinfo& to, std::chrono::milliseconds timeout) {
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) return false;
    if (::connect(fd, to.ai_addr, to.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) return false;
        pollfd wait{fd, POLLOUT, 0};
        int ready = 0;
        do {
            ready = ::poll(&wait, 1, static_cast<int>(timeout.count()));
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0) return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return false;
    sockaddr_storage peer{};
    socklen_t peerSize = sizeof peer;
    return ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0;
}

int lf_connectSocket(const SimConnectEndpoint& endpoint) {
    addrinfo hints{};
    hints.ai_family = endpoint.family == 6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    // No host means the local machine (the loopback address).
    const char* host = endpoint.address.empty() ? nullptr : endpoint.address.c_str();
    if (::getaddrinfo(host, endpoint.port.c_str(), &hints, &found) != 0 || !found) return -1;
    int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    if (fd >= 0 && !lf_connectInTime(fd, *found, endpoint.connectTimeout)) {
        ::close(fd);
        fd = -1;
    }
    ::freeaddrinfo(found);
    return fd;
}

std::unique_ptr<SimConnectIo> lf_openIo(const SimConnectEndpoint& endpoint, SimConnectTransport& owner) {
    if (endpoint.kind != SimTransportKind::Socket) return nullptr;
    int fd = lf_connectSocket(endpoint);
    if (fd < 0) return nullptr;
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    auto io = std::make_unique<PosixSocketIo>(fd, wake[0], wake[1], owner);
    if (!io->startThread()) return nullptr;
    return io;
}

}  // namespace

SimConnectPlatform gf_systemSimConnectPlatform() {
    SimConnectPlatform platform;
    platform.publicDocumentsFolder = [] { return std::filesystem::path(); };
    platform.documentsFolder = [] { return std::filesystem::path(); };
    platform.currentFolder = [] {
        std::error_code error;
        std::filesystem::path folder = std::filesystem::current_path(error);
        return error ? std::filesystem::path() : folder;
    };
    platform.registryPort = [](bool) { return std::string(); };
    platform.startNetwork = [] { return true; };
    platform.stopNetwork = [] {};
    platform.openIo = lf_openIo;
    platform.notify = [](void*, std::uint32_t, void*) {};
    platform.sleep = [](std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); };
    return platform;
}
