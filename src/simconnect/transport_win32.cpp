// The Windows transport: the simulator's named pipe or a Winsock TCP socket,
// both with overlapped I/O completed on the system's I/O completion threads
// (BindIoCompletionCallback); and the Windows members of the platform seam.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "simconnect/config.h"
#include "simconnect/platform.h"
#include "simconnect/transport.h"

namespace {

// One OVERLAPPED per direction, with the way back to its transport.
struct SimOverlapped : OVERLAPPED {
    bool isWrite = false;
    SimConnectTransport* owner = nullptr;
};

std::wstring lf_wide(const std::string& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string lf_utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

// The status a request that failed to post stands for.
std::uint32_t lf_statusOfError(DWORD error) {
    switch (error) {
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED:
        return kSimStatusPipeBroken;
    case WSAECONNRESET:
        return kSimStatusConnectionReset;
    case WSAECONNABORTED:
    case WSAENOTCONN:
    case WSAESHUTDOWN:
    case ERROR_NETNAME_DELETED:
        return kSimStatusRemoteDisconnect;
    case ERROR_OPERATION_ABORTED:
        return kSimStatusCancelled;
    default:
        return 0x80070000u | (error & 0xFFFFu);
    }
}

VOID CALLBACK lf_onIoCompletion(DWORD errorCode, DWORD bytes, LPOVERLAPPED overlapped) {
    auto* request = static_cast<SimOverlapped*>(overlapped);
    // The NT status of the request, which tells a broken pipe from a reset.
    const auto status = static_cast<std::uint32_t>(overlapped->Internal);
    if (request->isWrite)
        request->owner->completeWrite(status, errorCode, bytes);
    else
        request->owner->completeRead(status, errorCode, bytes);
}

class Win32Io final : public SimConnectIo {
public:
    Win32Io(HANDLE pipe, SOCKET socket, SimConnectTransport& owner) : m_pipe(pipe), m_socket(socket) {
        m_read.owner = m_write.owner = &owner;
        m_write.isWrite = true;
        if (isPipe()) {
            for (HANDLE& event : m_events) {
                event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
                if (!event) std::printf("CreateEvent failed with %d.\n", static_cast<int>(GetLastError()));
            }
        }
    }

    // The events go only with the object, after the last completion: the
    // system signals a request's event when it completes, even after the
    // pipe was closed.
    ~Win32Io() override {
        cancelAndClose();
        for (HANDLE event : m_events)
            if (event) CloseHandle(event);
    }

    // Posts and the close are serialised: a completion thread may post the
    // next read or write while the owner closes, and a request issued on a
    // handle value closed a moment before could land on whatever object the
    // system has given that value to since.
    std::uint32_t postRead(std::uint8_t* buffer, std::uint32_t size) override {
        std::lock_guard lock(m_ioLock);
        if (m_closed) return kSimStatusCancelled;
        prepare(m_read, m_events[0]);
        if (isPipe()) {
            if (!ReadFile(m_pipe, buffer, size, nullptr, &m_read)) return pending(GetLastError());
            return kSimStatusSuccess;
        }
        WSABUF wsaBuffer{size, reinterpret_cast<char*>(buffer)};
        DWORD flags = 0;
        if (WSARecv(m_socket, &wsaBuffer, 1, nullptr, &flags, &m_read, nullptr) == SOCKET_ERROR)
            return pending(static_cast<DWORD>(WSAGetLastError()));
        return kSimStatusSuccess;
    }

    std::uint32_t postWrite(const std::uint8_t* buffer, std::uint32_t size) override {
        std::lock_guard lock(m_ioLock);
        if (m_closed) return kSimStatusCancelled;
        prepare(m_write, m_events[1]);
        if (isPipe()) {
            if (!WriteFile(m_pipe, buffer, size, nullptr, &m_write)) return pending(GetLastError());
            return kSimStatusSuccess;
        }
        WSABUF wsaBuffer{size, reinterpret_cast<char*>(const_cast<std::uint8_t*>(buffer))};
        if (WSASend(m_socket, &wsaBuffer, 1, nullptr, 0, &m_write, nullptr) == SOCKET_ERROR)
            return pending(static_cast<DWORD>(WSAGetLastError()));
        return kSimStatusSuccess;
    }

    void setNoDelay() override {
        BOOL on = TRUE;
        setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    }

    void cancelAndClose() override {
        std::lock_guard lock(m_ioLock);
        if (m_closed) return;
        m_closed = true;
        if (isPipe()) {
            CloseHandle(m_pipe);
        } else {
            shutdown(m_socket, SD_BOTH);
            CancelIoEx(reinterpret_cast<HANDLE>(m_socket), nullptr);
            closesocket(m_socket);
        }
    }

private:
    bool isPipe() const { return m_pipe != INVALID_HANDLE_VALUE; }

    static void prepare(SimOverlapped& request, HANDLE event) {
        static_cast<OVERLAPPED&>(request) = OVERLAPPED{};
        request.hEvent = event;
    }
    static std::uint32_t pending(DWORD error) {
        return error == ERROR_IO_PENDING ? kSimStatusSuccess : lf_statusOfError(error);
    }

    HANDLE m_pipe;
    SOCKET m_socket;
    HANDLE m_events[2] = {nullptr, nullptr};
    SimOverlapped m_read;
    SimOverlapped m_write;
    std::mutex m_ioLock;
    bool m_closed = false;
};

std::unique_ptr<SimConnectIo> lf_openPipe(const SimConnectEndpoint& endpoint, SimConnectTransport& owner) {
    const std::wstring path = lf_wide(endpoint.pipePath);
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (;;) {
        // Identification level only: a process that created the pipe before
        // the simulator learns who we are but cannot act as us.
        pipe = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) break;
        if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeW(path.c_str(), 5000)) return nullptr;
    }
    if (!BindIoCompletionCallback(pipe, lf_onIoCompletion, 0)) {
        CloseHandle(pipe);
        return nullptr;
    }
    return std::make_unique<Win32Io>(pipe, INVALID_SOCKET, owner);
}

// Connected within the endpoint's time-out, and really so: the connect runs
// non-blocking and counts only when the socket reports no error and has a
// peer. A host that never answers fails the attempt like one that refuses;
// a blocking connect to it held the attempt, and under Wine passed for
// connected and failed at the first read, which ended the run as if the
// simulator had closed.
bool lf_connectInTime(SOCKET s, const ADDRINFOW& to, std::chrono::milliseconds timeout) {
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return false;
    if (connect(s, to.ai_addr, static_cast<int>(to.ai_addrlen)) == SOCKET_ERROR) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        const auto ms = timeout.count();
        timeval wait{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
        if (select(0, nullptr, &writable, &failed, &wait) <= 0 || FD_ISSET(s, &failed) || !FD_ISSET(s, &writable))
            return false;
    }
    int error = 0;
    int size = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 || error != 0) return false;
    sockaddr_storage peer{};
    int peerSize = sizeof peer;
    if (getpeername(s, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) return false;
    u_long blocking = 0;
    return ioctlsocket(s, FIONBIO, &blocking) == 0;
}

std::unique_ptr<SimConnectIo> lf_openSocket(const SimConnectEndpoint& endpoint, SimConnectTransport& owner) {
    ADDRINFOW hints{};
    hints.ai_family = endpoint.family == 6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    const std::wstring address = lf_wide(endpoint.address);
    const std::wstring port = lf_wide(endpoint.port);
    ADDRINFOW* found = nullptr;
    // No host means the local machine (the loopback address).
    if (GetAddrInfoW(address.empty() ? nullptr : address.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        return nullptr;
    SOCKET s = WSASocketW(found->ai_family, found->ai_socktype, found->ai_protocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s != INVALID_SOCKET && !lf_connectInTime(s, *found, endpoint.connectTimeout)) {
        closesocket(s);
        s = INVALID_SOCKET;
    }
    FreeAddrInfoW(found);
    if (s == INVALID_SOCKET) return nullptr;
    if (!BindIoCompletionCallback(reinterpret_cast<HANDLE>(s), lf_onIoCompletion, 0)) {
        closesocket(s);
        return nullptr;
    }
    return std::make_unique<Win32Io>(INVALID_HANDLE_VALUE, s, owner);
}

std::unique_ptr<SimConnectIo> lf_openIo(const SimConnectEndpoint& endpoint, SimConnectTransport& owner) {
    return endpoint.kind == SimTransportKind::Pipe ? lf_openPipe(endpoint, owner) : lf_openSocket(endpoint, owner);
}

std::filesystem::path lf_knownFolder(const KNOWNFOLDERID& id) {
    PWSTR raw = nullptr;
    std::filesystem::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &raw)) && raw) folder = raw;
    CoTaskMemFree(raw);
    return folder;
}

// SimConnect_Port_IPv4 / SimConnect_Port_IPv6 of the key of the simulator
// version looked for, read into a 20-byte buffer; anything longer or missing
// gives no port.
std::string lf_registryPort(bool ipv6) {
    const std::string keyName = gf_simConnectRegistryKey();
    const std::wstring wideKey(keyName.begin(), keyName.end());
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, wideKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    wchar_t value[11] = {};
    DWORD size = 20;
    DWORD type = 0;
    LONG result = RegQueryValueExW(key, ipv6 ? L"SimConnect_Port_IPv6" : L"SimConnect_Port_IPv4", nullptr, &type,
                                   reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    return lf_utf8(value);
}

}  // namespace

SimConnectPlatform gf_systemSimConnectPlatform() {
    SimConnectPlatform platform;
    platform.publicDocumentsFolder = [] { return lf_knownFolder(FOLDERID_PublicDocuments); };
    platform.documentsFolder = [] { return lf_knownFolder(FOLDERID_Documents); };
    platform.currentFolder = [] {
        std::error_code error;
        std::filesystem::path folder = std::filesystem::current_path(error);
        return error ? std::filesystem::path() : folder;
    };
    platform.registryPort = lf_registryPort;
    platform.startNetwork = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 0), &data) == 0;
    };
    platform.stopNetwork = [] { WSACleanup(); };
    platform.openIo = lf_openIo;
    platform.notify = [](void* window, std::uint32_t message, void* event) {
        if (window) PostMessageW(static_cast<HWND>(window), message, 0, 0);
        if (event) SetEvent(static_cast<HANDLE>(event));
    };
    platform.sleep = [](std::chrono::milliseconds duration) { Sleep(static_cast<DWORD>(duration.count())); };
    return platform;
}
