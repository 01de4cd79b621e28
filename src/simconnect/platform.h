// What the SimConnect library needs of the operating system, behind one seam:
// the folders that may hold SimConnect.cfg, the simulator's registry ports,
// the network start and stop, the pipe or socket I/O and the notification of
// the caller. The Windows build fills it with Win32 (named pipe, Winsock,
// completion threads); the native build with BSD sockets and a reader thread;
// tests replace single members.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class SimConnectTransport;

// Transport kinds as the connection stores them.
enum class SimTransportKind : std::uint32_t { Socket = 0, Pipe = 1 };

// A simulator on the same PC or the local network answers in milliseconds.
inline constexpr std::chrono::milliseconds kSimConnectTimeout{2000};

// Where one connection attempt goes.
struct SimConnectEndpoint {
    SimTransportKind kind = SimTransportKind::Pipe;
    int family = 0;        // 4 or 6 for a socket
    std::string address;   // socket: host name or address; empty for the local machine
    std::string port;      // socket: TCP port
    std::string pipePath;  // pipe: the full pipe path
    // Socket: how long the connection may take to be made. A host that does
    // not answer at all (a simulator PC switched off, a firewall that drops)
    // would otherwise hold the attempt for the system's own time-out, or,
    // under Wine, pass for connected and fail at the first read.
    std::chrono::milliseconds connectTimeout = kSimConnectTimeout;
};


// I/O completion statuses (NT status values, as the completion threads report
// them in the Windows build; the native build maps its errors onto them).
inline constexpr std::uint32_t kSimStatusSuccess = 0;
inline constexpr std::uint32_t kSimStatusBufferOverflow = 0x80000005u;
inline constexpr std::uint32_t kSimStatusUnsuccessful = 0xC0000001u;
inline constexpr std::uint32_t kSimStatusCancelled = 0xC0000120u;
inline constexpr std::uint32_t kSimStatusRemoteDisconnect = 0xC000013Cu;
inline constexpr std::uint32_t kSimStatusLinkFailed = 0xC000013Eu;
inline constexpr std::uint32_t kSimStatusPipeBroken = 0xC000014Bu;
inline constexpr std::uint32_t kSimStatusConnectionReset = 0xC000020Du;

// One open pipe or socket. Every posted request completes exactly once, on
// some other thread (never from inside the post), through the owner's
// completeRead / completeWrite.
class SimConnectIo {
public:
    virtual ~SimConnectIo() = default;
    // Gives 0 when the request is under way, else the failure status; a
    // request that failed to post never completes. Once cancelAndClose has
    // begun every post is refused with kSimStatusCancelled and touches
    // nothing.
    virtual std::uint32_t postRead(std::uint8_t* buffer, std::uint32_t size) = 0;
    virtual std::uint32_t postWrite(const std::uint8_t* buffer, std::uint32_t size) = 0;
    virtual void setNoDelay() {}
    // Shuts the link down and cancels what is outstanding (those requests
    // still complete, as cancelled). Any thread, any number of times.
    virtual void cancelAndClose() = 0;
    // Called once by the owner's thread after cancelAndClose: where the
    // platform runs the completions on a thread of its own, waits for it.
    virtual void waitForCompletions() {}
};

struct SimConnectPlatform {
    // The folders whose SimConnect.cfg is read, in this order; an empty path
    // is skipped.
    std::function<std::filesystem::path()> publicDocumentsFolder;
    std::function<std::filesystem::path()> documentsFolder;
    std::function<std::filesystem::path()> currentFolder;
    // SimConnect_Port_IPv6 (true) or SimConnect_Port_IPv4 of the simulator's
    // registry key; empty when it cannot be read.
    std::function<std::string(bool ipv6)> registryPort;
    std::function<bool()> startNetwork;
    std::function<void()> stopNetwork;
    // Opens and binds the pipe or socket; null on failure.
    std::function<std::unique_ptr<SimConnectIo>(const SimConnectEndpoint&, SimConnectTransport&)> openIo;
    // Posts the caller's window message and sets its event (each optional).
    std::function<void(void* window, std::uint32_t message, void* event)> notify;
    std::function<void(std::chrono::milliseconds)> sleep;
    // Given to every socket attempt as its connect time-out.
    std::chrono::milliseconds connectTimeout = kSimConnectTimeout;
};

extern SimConnectPlatform g_simConnectPlatform;

// The operating system's members of this build.
SimConnectPlatform gf_systemSimConnectPlatform();
// Puts the operating system's members back and forgets that the network was
// started (tests).
void gf_resetSimConnectPlatform();
