// libFuzzer target: a byte stream of any shape as the simulator's side of the
// connection, through the receive framing in reads of any size.
//
// Byte 0 picks the maximum receive size, byte 1 the size of the reads (0:
// whatever room the buffer offers); the rest is the stream. Every message
// handed on must be exactly as long as its own size field says and no longer
// than the maximum; a failure ends the stream as it ends the connection.
#include "simconnect/framing.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kMaxSizes[] = {kSimMaxReceiveSizeDefault, 65536, 1u << 20, 16, 4096, 0};

std::uint32_t lf_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint32_t maxSize = kMaxSizes[data[0] % (sizeof kMaxSizes / sizeof kMaxSizes[0])];
    const std::size_t readSize = data[1];
    data += 2;
    size -= 2;
    SimReceiveBuffer buffer(maxSize);
    std::vector<std::uint8_t> message;
    std::size_t at = 0;
    while (at < size) {
        const auto room = buffer.freeRoom();
        if (room.empty()) return 0;
        std::size_t n = std::min(room.size(), size - at);
        if (readSize) n = std::min(n, readSize);
        std::memcpy(room.data(), data + at, n);
        at += n;
        buffer.commit(n);
        for (;;) {
            const SimExtract result = buffer.extractMessage(message);
            if (result == SimExtract::Ready) {
                if (message.size() < 4 || lf_u32(message.data()) != message.size() ||
                    message.size() > std::max<std::uint32_t>(maxSize, kSimMaxReceiveSizeDefault)) {
                    std::abort();
                }
                continue;
            }
            if (result != SimExtract::NeedMore) return 0;
            break;
        }
    }
    return 0;
}
