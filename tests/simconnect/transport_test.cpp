// The transport with a scripted pipe: completions, failures, the write queue,
// the received list and the dispatch.
#include <stdexcept>

#include "sc_test_support.h"

namespace {

class Transport : public SimConnectFixture {};

struct Received {
    std::vector<Bytes> messages;
    std::vector<std::uint32_t> sizes;
    int throwAt = -1;
};

void collect(const std::uint8_t* data, std::uint32_t size, void* context) {
    auto* r = static_cast<Received*>(context);
    if (static_cast<int>(r->messages.size()) == r->throwAt) {
        r->throwAt = -1;
        throw std::runtime_error("handler failed");
    }
    r->sizes.push_back(size);
    r->messages.emplace_back(data, data + size);
}

SimConnectResult dispatch(SimConnectHandle h, Received& r) { return SimConnect_CallDispatch(h, collect, &r); }

SimConnectResult status(std::uint32_t s) { return static_cast<SimConnectResult>(s); }

}  // namespace

TEST(ReadFailure, StatusTable) {
    struct Row {
        std::uint32_t ioStatus;
        std::uint32_t bytes;
        SimTransportKind kind;
        std::uint32_t reason;
        std::uint32_t status;
    };
    const Row rows[] = {
        {kSimStatusSuccess, 100, SimTransportKind::Socket, SimFailureNone, 0},
        {kSimStatusBufferOverflow, 2048, SimTransportKind::Pipe, SimFailureNone, 0},
        {kSimStatusBufferOverflow, 2048, SimTransportKind::Socket, SimFailureIo, kSimStatusBufferOverflow},
        {kSimStatusCancelled, 0, SimTransportKind::Pipe, SimFailureCancelled, kSimStatusCancelled},
        {kSimStatusRemoteDisconnect, 0, SimTransportKind::Socket, SimFailureDisconnected, kSimStatusRemoteDisconnect},
        {kSimStatusPipeBroken, 0, SimTransportKind::Pipe, SimFailureDisconnected, kSimStatusPipeBroken},
        {kSimStatusConnectionReset, 0, SimTransportKind::Socket, SimFailureDisconnected, kSimStatusConnectionReset},
        {0xC0000185u, 0, SimTransportKind::Socket, SimFailureIo, 0xC0000185u},
        {kSimStatusSuccess, 0, SimTransportKind::Socket, SimFailureClosedByPeer, kSimStatusLinkFailed},
    };
    for (const Row& row : rows) {
        SimFailure f = gf_simReadFailure(row.ioStatus, row.bytes, row.kind);
        EXPECT_EQ(f.reason, row.reason) << std::hex << row.ioStatus;
        EXPECT_EQ(f.status, row.status) << std::hex << row.ioStatus;
    }
}

// Every message reaches the handler with its own size, whatever the reads
// looked like; padding is skipped and messages shorter than a header dropped.
TEST_F(Transport, DispatchHandsOnTrueSizes) {
    openFake();
    const Bytes a = messageBytes(24, 1);
    const Bytes b = openMessage("Lockheed Martin\xC2\xAE Prepar3D\xC2\xAE v5");
    const Bytes shortOne = messageBytes(8, 4);
    const Bytes c = messageBytes(768, 8);
    Bytes stream = a;
    stream.insert(stream.end(), 4, 0);
    for (const Bytes* m : {&b, &shortOne, &c}) stream.insert(stream.end(), m->begin(), m->end());
    io->deliver(stream, 1);

    Received r;
    EXPECT_EQ(dispatch(handle, r), SIMCONNECT_OK);
    EXPECT_EQ(r.messages, (std::vector<Bytes>{a, b, c}));
    EXPECT_EQ(r.sizes, (std::vector<std::uint32_t>{24, 308, 768}));
    EXPECT_EQ(handle->receivedCount(), 0u);
}

// A handler that throws leaves the dispatch; what it did not see stays queued.
TEST_F(Transport, ThrowingHandlerKeepsTheRest) {
    openFake();
    Bytes stream;
    for (std::uint8_t i = 1; i <= 3; ++i) {
        Bytes m = messageBytes(16, 4, i);
        stream.insert(stream.end(), m.begin(), m.end());
    }
    io->deliver(stream);
    Received r;
    r.throwAt = 1;
    EXPECT_THROW(dispatch(handle, r), std::runtime_error);
    EXPECT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(handle->receivedCount(), 1u);
    EXPECT_EQ(dispatch(handle, r), SIMCONNECT_OK);
    ASSERT_EQ(r.messages.size(), 2u);
    EXPECT_EQ(r.messages[1][12], 3);
}

TEST_F(Transport, ReadFailuresFailTheConnection) {
    struct Row {
        const char* name;
        Bytes stream;
        std::uint32_t reason;
        SimConnectResult status;
    };
    Bytes badSize = messageBytes(16, 4);
    badSize[0] = 2;
    const Row rows[] = {
        {"size field 2", badSize, SimFailureBadSize, SIMCONNECT_E_ABORT},
        {"50000 bytes with the default maximum", messageBytes(50000, 8), SimFailureTooLarge, SIMCONNECT_E_ABORT},
        {"zero bytes read", {}, SimFailureClosedByPeer, status(kSimStatusLinkFailed)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        openFake();
        // A good message before the failure is still handed over.
        io->deliver(messageBytes(12, 3));
        if (row.stream.empty())
            io->completeRead(kSimStatusSuccess, 0);
        else
            io->deliver(Bytes(row.stream.begin(), row.stream.begin() + 4));
        EXPECT_EQ(handle->failureReason(), row.reason);
        EXPECT_FALSE(io->readPending);
        EXPECT_TRUE(io->closed);
        // Only the owner's reference is left.
        EXPECT_EQ(handle->references(), 1);
        Received r;
        EXPECT_EQ(dispatch(handle, r), row.status);
        EXPECT_EQ(r.messages.size(), 1u);
        EXPECT_EQ(SimConnect_AIRemoveObject(handle, 9, 105), row.status);
        ASSERT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
        handle = nullptr;
    }
}

// A caller that stops dispatching while the server goes on sending: the
// backlog stays bounded, the connection fails as out of memory, and what
// came before the bound is still handed over.
TEST_F(Transport, UndispatchedMessagesAreBounded) {
    openFake();
    const Bytes m = messageBytes(40000, 8);
    std::size_t delivered = 0;
    while (!handle->failed() && delivered * m.size() <= 2 * kSimReceivedLimit_bytes) {
        io->deliver(m);
        ++delivered;
    }
    EXPECT_EQ(handle->failureReason(), SimFailureNoMemory);
    const std::size_t queued = delivered - 1;
    EXPECT_LE(queued * m.size(), kSimReceivedLimit_bytes);
    EXPECT_GT((queued + 1) * m.size(), kSimReceivedLimit_bytes);
    Received r;
    EXPECT_EQ(dispatch(handle, r), SIMCONNECT_E_OUTOFMEMORY);
    EXPECT_EQ(r.messages.size(), queued);
}

TEST_F(Transport, LargeMessageWithMaxReceiveSize) {
    writeFile(current / "SimConnect.cfg", "[SimConnect]\nMaxReceiveSize=65536\n");
    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_OK);
    const Bytes big = messageBytes(50000, 8);
    io->deliver(big);
    Received r;
    EXPECT_EQ(dispatch(handle, r), SIMCONNECT_OK);
    ASSERT_EQ(r.sizes, std::vector<std::uint32_t>{50000});
    EXPECT_EQ(r.messages[0], big);
    EXPECT_EQ(handle->receiveCapacity() % 2048, 0u);
}

// A read that cannot even be posted would leave the connection silently
// deaf: it fails the connection and gives its reference back.
TEST_F(Transport, ReadThatFailsToPost) {
    openFake();
    io->failReadPost = kSimStatusPipeBroken;
    io->deliver(messageBytes(16, 4));
    EXPECT_EQ(handle->failureReason(), SimFailureDisconnected);
    EXPECT_TRUE(io->closed);
    EXPECT_EQ(handle->references(), 1);
    Received r;
    EXPECT_EQ(dispatch(handle, r), status(kSimStatusPipeBroken));
    EXPECT_EQ(r.messages.size(), 1u);
}

// A write that cannot be posted reports the failure to the caller, clears the
// write-in-flight flag and gives its reference back.
TEST_F(Transport, WriteThatFailsToPost) {
    openFake();
    io->failWritePost = 0xC0000001u;
    EXPECT_EQ(SimConnect_AIRemoveObject(handle, 9, 105), status(0xC0000001u));
    EXPECT_FALSE(handle->writeInFlight());
    EXPECT_EQ(handle->failureReason(), SimFailureIo);
    EXPECT_TRUE(io->closed);
    // The pending read is still out and holds the second reference.
    EXPECT_EQ(handle->references(), 2);
    EXPECT_EQ(SimConnect_AIRemoveObject(handle, 9, 105), status(0xC0000001u));
    EXPECT_TRUE(sent().empty());
}

// The peer may close the moment a packet is handed over, before the call
// that handed it over returns: that call succeeded, and the failure is the
// next call's, however fast the peer was.
TEST_F(Transport, FailureAfterTheHandOverIsTheNextCalls) {
    openFake();
    io->onWritePosted = [this] { io->completeRead(kSimStatusSuccess, 0); };
    EXPECT_EQ(SimConnect_AIRemoveObject(handle, 9, 105), SIMCONNECT_OK);
    EXPECT_EQ(handle->failureReason(), SimFailureClosedByPeer);
    EXPECT_EQ(SimConnect_AIRemoveObject(handle, 9, 105), status(kSimStatusLinkFailed));
}

TEST_F(Transport, WriteCompletionFailures) {
    struct Row {
        const char* name;
        std::uint32_t ioStatus;
        bool shortWrite;
        std::uint32_t reason;
    };
    const Row rows[] = {
        {"reset", kSimStatusConnectionReset, false, SimFailureDisconnected},
        {"cancelled", kSimStatusCancelled, false, SimFailureCancelled},
        {"short write", kSimStatusSuccess, true, SimFailureIo},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        openFake();
        ASSERT_EQ(SimConnect_AIRemoveObject(handle, 9, 105), SIMCONNECT_OK);
        ASSERT_EQ(SimConnect_AIRemoveObject(handle, 10, 105), SIMCONNECT_OK);
        ASSERT_TRUE(io->writePending);
        io->writePending = false;
        handle->completeWrite(row.ioStatus, 0, row.shortWrite ? io->writeSize - 1 : 0);
        EXPECT_EQ(handle->failureReason(), row.reason);
        EXPECT_FALSE(handle->writeInFlight());
        // The queued packet is not written after the failure.
        EXPECT_FALSE(io->writePending);
        ASSERT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
        handle = nullptr;
    }
}

// One write at a time, in the order the calls were made.
TEST_F(Transport, WritesInOrderOneAtATime) {
    openFake();
    for (std::uint32_t object = 10; object < 15; ++object)
        ASSERT_EQ(SimConnect_AIRemoveObject(handle, object, 105), SIMCONNECT_OK);
    EXPECT_TRUE(handle->writeInFlight());
    auto packets = sent();
    ASSERT_EQ(packets.size(), 5u);
    for (std::uint32_t i = 0; i < 5; ++i) EXPECT_EQ(readU32(packets[i], 16), 10 + i);
    EXPECT_FALSE(handle->writeInFlight());
}

// The caller's window and event hear of every message and of a failure.
TEST_F(Transport, NotifiesTheCaller) {
    int window = 0, event = 0;
    ASSERT_EQ(SimConnect_Open(&handle, "GLIM_P3D", &window, 0x8001, &event, -1), SIMCONNECT_OK);
    io->deliver(messageBytes(16, 4));
    EXPECT_EQ(notifications, 1);
    io->completeRead(kSimStatusConnectionReset, 0);
    EXPECT_EQ(notifications, 2);
}

// On Windows the completions of a closed handle may arrive after the close
// returned: the object lives until the last of them.
TEST_F(Transport, CloseWithReadOutstanding) {
    openFake();
    ASSERT_EQ(SimConnect_AIRemoveObject(handle, 9, 105), SIMCONNECT_OK);
    io->cancelOnWait = false;
    auto state = io;
    ASSERT_EQ(SimConnect_Close(handle), SIMCONNECT_OK);
    handle = nullptr;
    EXPECT_TRUE(state->closed);
    EXPECT_FALSE(state->destroyed);
    EXPECT_EQ(SimConnectTransport::liveCount(), 1);
    state->cancelOutstanding();
    EXPECT_TRUE(state->destroyed);
    EXPECT_EQ(SimConnectTransport::liveCount(), 0);
}

TEST_F(Transport, CloseTwice) {
    openFake();
    SimConnectHandle h = handle;
    ASSERT_EQ(SimConnect_Close(h), SIMCONNECT_OK);
    handle = nullptr;
    EXPECT_EQ(SimConnect_Close(h), SIMCONNECT_E_FAIL);
}
