// A blocking TCP client for the end-to-end tests, with the OS calls in
// test_socket_posix.cpp and test_socket_win32.cpp.
#pragma once

#include "simstub/client_bytes.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace simstub_test {

// Platform calls: a connected socket or -1; recv waits at most timeoutMs and
// returns the bytes read, 0 when the peer closed, -1 on a time-out, -2 on error.
std::intptr_t socketConnect(std::uint16_t port);
bool socketSend(std::intptr_t s, const Bytes& bytes);
int socketRecv(std::intptr_t s, std::uint8_t* buf, int size, int timeoutMs);
void socketClose(std::intptr_t s);

class TestSocket {
public:
    explicit TestSocket(std::uint16_t port) : s_(socketConnect(port)) {}
    ~TestSocket() {
        if (s_ >= 0) socketClose(s_);
    }
    TestSocket(const TestSocket&) = delete;
    TestSocket& operator=(const TestSocket&) = delete;

    bool connected() const { return s_ >= 0; }
    bool send(const Bytes& bytes) { return socketSend(s_, bytes); }
    bool closedByPeer() const { return closed_; }

    // Whole messages, waiting until count have come or a generous deadline
    // passes (the deadline only keeps a broken server from hanging the test).
    std::vector<Message> receive(std::size_t count) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::vector<Message> out;
        while (out.size() < count && std::chrono::steady_clock::now() < deadline && !closed_) {
            takeWhole(out);
            if (out.size() >= count) break;
            std::uint8_t buf[65536];
            int n = socketRecv(s_, buf, sizeof buf, 100);
            if (n > 0) buffer_.insert(buffer_.end(), buf, buf + n);
            if (n == 0 || n == -2) closed_ = true;
        }
        takeWhole(out);
        return out;
    }

private:
    void takeWhole(std::vector<Message>& out) {
        while (buffer_.size() >= 4) {
            std::uint32_t size = get32(buffer_, 0);
            if (size < 4) size = 4;   // padding shows as a message of size 0
            if (buffer_.size() < size) break;
            out.push_back(Message{Bytes(buffer_.begin(), buffer_.begin() + size)});
            buffer_.erase(buffer_.begin(), buffer_.begin() + size);
        }
    }

    std::intptr_t s_;
    Bytes buffer_;
    bool closed_ = false;
};

}  // namespace simstub_test
