// Receive framing: the byte stream from the simulator, cut into messages by
// their leading 32-bit size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr std::uint32_t kSimMaxReceiveSizeDefault = 41088;
inline constexpr std::size_t kSimReceiveBufferStep = 2048;
inline constexpr std::size_t kSimReceiveBufferLimit = 1024 * 1024;

enum class SimExtract {
    Ready = 0,     // a message was taken out
    NeedMore = 1,  // the next message is not complete yet
    TooLarge = 2,  // its size exceeds the maximum receive size
    BadSize = 3,   // a size of 1 to 3 bytes
    NoMemory = 4,
};

class SimReceiveBuffer {
public:
    explicit SimReceiveBuffer(std::uint32_t maxReceiveSize = kSimMaxReceiveSizeDefault);

    // A new empty buffer of the first size (a new connection).
    void reset(std::uint32_t maxReceiveSize);
    // Room at the end for the next read. When the buffer is full to its end
    // the unread bytes move to the start or, when they already are there, the
    // buffer grows by one step. Empty only when a message cannot fit at all
    // (the buffer is at its limit and full) or memory ran out.
    std::span<std::uint8_t> freeRoom();
    // bytes were read into freeRoom().
    void commit(std::size_t bytes);
    // Takes the next complete message, its bytes exactly its size.
    SimExtract extractMessage(std::vector<std::uint8_t>& message);

    std::size_t capacity() const { return m_buffer.size(); }
    std::size_t unread() const { return m_write - m_read; }
    std::uint32_t maxReceiveSize() const { return m_maxReceiveSize; }

private:
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_read = 0;
    std::size_t m_write = 0;
    std::uint32_t m_maxReceiveSize;
};
