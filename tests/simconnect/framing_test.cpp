// Cutting the simulator's byte stream into messages.
#include "simconnect/framing.h"

#include "sc_test_support.h"

namespace {

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Feeds the stream in reads of the given sizes (the last one repeats) and
// collects every message; stops at the first failure and reports it.
struct FeedResult {
    std::vector<Bytes> messages;
    SimExtract last = SimExtract::NeedMore;
};

FeedResult feed(SimReceiveBuffer& buffer, const Bytes& stream, std::vector<std::size_t> reads) {
    FeedResult result;
    std::size_t at = 0, step = 0;
    while (at < stream.size()) {
        auto room = buffer.freeRoom();
        if (room.empty()) {
            result.last = SimExtract::TooLarge;
            return result;
        }
        std::size_t want = reads[std::min(step++, reads.size() - 1)];
        std::size_t n = std::min({want, room.size(), stream.size() - at});
        std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(at), n, room.begin());
        buffer.commit(n);
        at += n;
        Bytes message;
        for (;;) {
            result.last = buffer.extractMessage(message);
            if (result.last != SimExtract::Ready) break;
            result.messages.push_back(message);
        }
        if (result.last != SimExtract::NeedMore) return result;
    }
    return result;
}

const Bytes kZeros4(4, 0);

}  // namespace

// Sizes that are multiples of 256 begin with a zero byte; after padding they
// must still frame as whole messages.
TEST(Framing, SplitAtEveryByteBoundary) {
    const Bytes a = messageBytes(20, 4, 0x11);
    const Bytes b = messageBytes(256, 8, 0x00);
    const Bytes c = messageBytes(512, 9, 0x22);
    const Bytes d = openMessage("Lockheed Martin Prepar3D v5");
    const Bytes stream = concat({a, kZeros4, b, kZeros4, kZeros4, c, d});
    const std::vector<Bytes> expected = {a, b, c, d};

    for (std::size_t split = 1; split < stream.size(); ++split) {
        SimReceiveBuffer buffer;
        FeedResult r = feed(buffer, stream, {split, stream.size()});
        ASSERT_EQ(r.last, SimExtract::NeedMore) << "split " << split;
        ASSERT_EQ(r.messages, expected) << "split " << split;
        EXPECT_EQ(buffer.unread(), 0u);
    }
    SimReceiveBuffer byteByByte;
    EXPECT_EQ(feed(byteByByte, stream, {1}).messages, expected);
    SimReceiveBuffer allAtOnce;
    EXPECT_EQ(feed(allAtOnce, stream, {stream.size()}).messages, expected);
}

TEST(Framing, SizeLimits) {
    struct Row {
        const char* name;
        std::uint32_t maxReceiveSize;
        std::uint32_t size;
        SimExtract expected;
    };
    const Row rows[] = {
        {"at the default maximum", kSimMaxReceiveSizeDefault, 41088, SimExtract::NeedMore},
        {"above the default maximum", kSimMaxReceiveSizeDefault, 41089, SimExtract::TooLarge},
        {"50000 with the default", kSimMaxReceiveSizeDefault, 50000, SimExtract::TooLarge},
        {"50000 with 65536", 65536, 50000, SimExtract::NeedMore},
        {"size 1", kSimMaxReceiveSizeDefault, 1, SimExtract::BadSize},
        {"size 2", kSimMaxReceiveSizeDefault, 2, SimExtract::BadSize},
        {"size 3", kSimMaxReceiveSizeDefault, 3, SimExtract::BadSize},
        {"size 4 frames (dispatch drops it)", kSimMaxReceiveSizeDefault, 4, SimExtract::NeedMore},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SimReceiveBuffer buffer(row.maxReceiveSize);
        Bytes stream = messageBytes(std::max<std::uint32_t>(row.size, 4), 8);
        ByteWriter header(4);
        header.u32(0, row.size);
        std::copy_n(header.bytes().begin(), 4, stream.begin());
        if (row.size < 4) stream.resize(4);
        FeedResult r = feed(buffer, stream, {4096});
        EXPECT_EQ(r.last, row.expected);
        if (row.expected == SimExtract::NeedMore) {
            ASSERT_EQ(r.messages.size(), 1u);
            EXPECT_EQ(r.messages[0].size(), std::max<std::uint32_t>(row.size, 4));
        } else {
            EXPECT_TRUE(r.messages.empty());
        }
    }
}

// The buffer grows in 2048-byte steps only when a message needs it, and
// otherwise moves unread bytes to its start.
TEST(Framing, BufferGrowthAndCompaction) {
    SimReceiveBuffer big(65536);
    const Bytes large = messageBytes(50000, 8);
    FeedResult r = feed(big, large, {700});
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0], large);
    EXPECT_EQ(big.capacity(), 51200u);

    SimReceiveBuffer small;
    const Bytes stream = concat({messageBytes(1500, 8, 1), messageBytes(1000, 8, 2), messageBytes(1800, 8, 3)});
    r = feed(small, stream, {2048});
    ASSERT_EQ(r.messages.size(), 3u);
    EXPECT_EQ(small.capacity(), kSimReceiveBufferStep);
}

// A message that could only fit a buffer beyond its 1 MiB limit is refused
// instead of waiting for ever.
TEST(Framing, BeyondTheBufferLimit) {
    SimReceiveBuffer buffer(4 * 1024 * 1024);
    FeedResult r = feed(buffer, messageBytes(1536 * 1024, 8), {65536});
    EXPECT_EQ(r.last, SimExtract::TooLarge);
    EXPECT_EQ(buffer.capacity(), kSimReceiveBufferLimit);
}
