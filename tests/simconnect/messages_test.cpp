// Reading received messages: every field inside the message's true size.
#include "simconnect/messages.h"

#include <functional>

#include "sc_test_support.h"

// Each reader takes a message of exactly the bytes its fields need and
// refuses one a byte shorter, so a truncated message is never read past its end.
TEST(Messages, ReadersCheckTheSize) {
    struct Row {
        const char* name;
        std::uint32_t needed;
        std::function<bool(const Bytes&)> read;
    };
    auto size = [](const Bytes& b) { return static_cast<std::uint32_t>(b.size()); };
    const Row rows[] = {
        {"header", 12, [&](const Bytes& b) { SimRecvHeader h; return gf_readSimRecvHeader(b.data(), size(b), h); }},
        {"exception", 24, [&](const Bytes& b) { SimRecvExceptionMsg m; return gf_readSimRecvException(b.data(), size(b), m); }},
        {"open", 284, [&](const Bytes& b) { SimRecvOpenMsg m; return gf_readSimRecvOpen(b.data(), size(b), m); }},
        {"event", 24, [&](const Bytes& b) { SimRecvEventMsg m; return gf_readSimRecvEvent(b.data(), size(b), m); }},
        {"add/remove", 28,
         [&](const Bytes& b) { SimRecvObjectAddRemoveMsg m; return gf_readSimRecvObjectAddRemove(b.data(), size(b), m); }},
        {"frame", 28, [&](const Bytes& b) { SimRecvFrameMsg m; return gf_readSimRecvFrame(b.data(), size(b), m); }},
        {"object data", 40,
         [&](const Bytes& b) { SimRecvObjectDataMsg m; return gf_readSimRecvObjectData(b.data(), size(b), m); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(row.read(messageBytes(row.needed, 1)));
        EXPECT_FALSE(row.read(messageBytes(row.needed - 1, 1)));
    }
}

// The by-type answer of definition 404 and the title of definition 407:
// FLOAT64, FLOAT64, INT64, STRING32; then a STRINGV padded to four bytes.
TEST(Messages, DataCursor) {
    ByteWriter w(40 + 56 + 8);
    w.u32(0, 104).u32(8, 9).u32(12, 101).u32(16, 42).u32(20, 404).u32(28, 1).u32(32, 1).u32(36, 4);
    w.f64(40, 120.5).f64(48, 1400.0).u32(56, 1).text(64, "DLH4AB").text(96, "B737");
    Bytes message = w;
    SimRecvObjectDataMsg data;
    ASSERT_TRUE(gf_readSimRecvObjectData(message.data(), 104, data));
    EXPECT_EQ(data.requestId, 101u);
    EXPECT_EQ(data.objectId, 42u);
    EXPECT_EQ(data.data.size(), 64u);
    SimDataCursor cursor(data.data);
    double aboveGround = 0, ground = 0;
    std::int64_t onGround = 0;
    std::string atcId, title;
    ASSERT_TRUE(cursor.f64(aboveGround) && cursor.f64(ground) && cursor.i64(onGround) && cursor.string32(atcId));
    EXPECT_EQ(aboveGround, 120.5);
    EXPECT_EQ(onGround, 1);
    EXPECT_EQ(atcId, "DLH4AB");
    ASSERT_TRUE(cursor.stringV(title));
    EXPECT_EQ(title, "B737");
    EXPECT_EQ(cursor.offset(), 64u);
    EXPECT_FALSE(cursor.stringV(title));  // nothing left

    // A STRINGV without its NUL inside the message is refused.
    const Bytes unterminated = {'A', 'B', 'C', 'D'};
    SimDataCursor open(SimRecvReader(unterminated.data(), 4));
    EXPECT_FALSE(open.stringV(title));
    // A STRING32 cut short is refused.
    SimDataCursor shortString(SimRecvReader(unterminated.data(), 4));
    EXPECT_FALSE(shortString.string32(title));
}
