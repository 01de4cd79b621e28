#include "simconnect/framing.h"

#include <cstring>
#include <new>

namespace {

std::uint32_t lf_readU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

SimReceiveBuffer::SimReceiveBuffer(std::uint32_t maxReceiveSize) { reset(maxReceiveSize); }

void SimReceiveBuffer::reset(std::uint32_t maxReceiveSize) {
    m_maxReceiveSize = maxReceiveSize;
    m_read = m_write = 0;
    try {
        m_buffer.assign(kSimReceiveBufferStep, 0);
    } catch (const std::bad_alloc&) {
        m_buffer.clear();
    }
}

std::span<std::uint8_t> SimReceiveBuffer::freeRoom() {
    if (m_write == m_buffer.size()) {
        if (m_read > 0) {
            std::memmove(m_buffer.data(), m_buffer.data() + m_read, m_write - m_read);
            m_write -= m_read;
            m_read = 0;
        } else if (m_buffer.size() + kSimReceiveBufferStep <= kSimReceiveBufferLimit) {
            try {
                m_buffer.resize(m_buffer.size() + kSimReceiveBufferStep);
            } catch (const std::bad_alloc&) {
                return {};
            }
        }
    }
    return std::span<std::uint8_t>(m_buffer.data() + m_write, m_buffer.size() - m_write);
}

void SimReceiveBuffer::commit(std::size_t bytes) {
    if (bytes > m_buffer.size() - m_write) bytes = m_buffer.size() - m_write;
    m_write += bytes;
}

SimExtract SimReceiveBuffer::extractMessage(std::vector<std::uint8_t>& message) {
    for (;;) {
        if (m_write - m_read < 4) return SimExtract::NeedMore;
        std::uint32_t size = lf_readU32(m_buffer.data() + m_read);
        if (size > m_maxReceiveSize) return SimExtract::TooLarge;
        if (size == 0) {
            // Padding goes in whole 32-bit words. Skipping byte by byte up to
            // the next non-zero byte would eat the low zero byte of a size that
            // is a multiple of 256 and lose the message's framing.
            m_read += 4;
            if (m_read == m_write) m_read = m_write = 0;
            continue;
        }
        if (size < 4) return SimExtract::BadSize;
        if (m_write - m_read < size) return SimExtract::NeedMore;
        try {
            message.assign(m_buffer.begin() + static_cast<std::ptrdiff_t>(m_read),
                           m_buffer.begin() + static_cast<std::ptrdiff_t>(m_read + size));
        } catch (const std::bad_alloc&) {
            return SimExtract::NoMemory;
        }
        m_read += size;
        if (m_read == m_write) m_read = m_write = 0;
        return SimExtract::Ready;
    }
}
