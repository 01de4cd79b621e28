// A small SimConnect server on a loopback TCP port, run on a thread of the
// test: it answers Open with OPEN and a data request with one SIMOBJECT_DATA,
// and records every packet it receives.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sc_test_support.h"

// The user aircraft's object id and values the server reports.
inline constexpr std::uint32_t kLoopbackUserObjectId = 1;
inline const double kLoopbackUserDoubles[8] = {47.4647, 8.5492, -0.05, 0.01, 1.57, 1416.0, 4.5, 0.0};
inline const std::int64_t kLoopbackUserInts[4] = {43200, 172, 2024, 0x2F};

// The answer the server gives to a packet (empty: none).
Bytes gf_loopbackAnswer(const Bytes& packet);

// The socket calls the server needs, per platform.
namespace loopback {
using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;
// A listening socket on the loopback address of the family; port gets its port.
Socket listenOn(bool ipv6, std::uint16_t& port, int backlog = 4);
Socket acceptOne(Socket listener);
bool receiveAll(Socket s, std::uint8_t* data, std::size_t size);
bool sendAll(Socket s, const std::uint8_t* data, std::size_t size);
void shutdownBoth(Socket s);
void closeSocket(Socket s);
}  // namespace loopback

class LoopbackServer {
public:
    enum class Mode {
        Answer,          // answers Open and data requests
        Silent,          // answers nothing
        CloseAfterOpen,  // answers Open, then closes the connection
    };

    explicit LoopbackServer(Mode mode = Mode::Answer, bool ipv6 = false);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool listening() const { return m_listener != loopback::kNoSocket; }
    std::string port() const { return std::to_string(m_port); }
    std::vector<Bytes> packets() const;
    // True once the client's connection has ended on the server's side.
    bool clientGone() const { return m_clientGone.load(); }

private:
    void run();

    Mode m_mode;
    loopback::Socket m_listener = loopback::kNoSocket;
    loopback::Socket m_client = loopback::kNoSocket;  // under m_lock
    std::uint16_t m_port = 0;
    bool m_stopping = false;  // under m_lock
    std::atomic<bool> m_clientGone{false};
    mutable std::mutex m_lock;
    std::vector<Bytes> m_packets;
    std::thread m_thread;
};
