// The connection objects behind a SimConnect handle: the transport (packets
// out, the framed byte stream in, failures) and the connection on top of it
// (send buffer and send ids, the received list and the dispatch).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "simconnect/api.h"
#include "simconnect/framing.h"
#include "simconnect/messages.h"
#include "simconnect/platform.h"

// Why a transport failed (0: it has not).
enum SimFailureReason : std::uint32_t {
    SimFailureNone = 0,
    SimFailureTooLarge = 1,     // a message above the maximum receive size
    SimFailureBadSize = 2,      // a message size of 1 to 3
    SimFailureNoMemory = 3,
    SimFailureClosedByPeer = 4, // a read of zero bytes
    SimFailureDisconnected = 5,
    SimFailureCancelled = 8,
    SimFailureIo = 9,           // any other failed read or write
};

struct SimFailure {
    std::uint32_t reason = SimFailureNone;
    std::uint32_t status = 0;
};

// Turns a read completion into a failure: reason 0 when the read is good.
SimFailure gf_simReadFailure(std::uint32_t ioStatus, std::uint32_t bytes, SimTransportKind kind);

// Packets sent and messages received.
struct SimConnectRecord {
    std::vector<std::uint8_t> bytes;
    std::uint32_t connectionId = 0;
};

// The pair a failed transport keeps: the system's error code and the status
// every later call returns (always negative).
struct SimLastError {
    std::uint32_t systemError = 0;
    SimConnectResult status = 0;
};

// Reference counted: one reference for the owner and one for every read or
// write under way, so the object outlives the completions of a close.
class SimConnectTransport {
public:
    enum State : int { NotConnected = 0, Connected = 2 };

    SimConnectTransport();
    virtual ~SimConnectTransport();
    SimConnectTransport(const SimConnectTransport&) = delete;
    SimConnectTransport& operator=(const SimConnectTransport&) = delete;

    // Opens the pipe or socket, then attach, start and the first read.
    bool open(const SimConnectEndpoint& endpoint, std::uint32_t maxReceiveSize, bool disableNagle);
    // Appends a packet and starts a write when none is under way. False when
    // the transport is not connected (the record is dropped) or a write
    // could not be posted (the connection has failed with it).
    bool queueSend(std::unique_ptr<SimConnectRecord> record);
    // Stores the first failure (reason not 0), marks the transport not
    // connected and shuts the link down.
    virtual void close(std::uint32_t reason, std::uint32_t status, std::uint32_t systemError = 0);

    // Completion routines: the platform calls each exactly once per request.
    void completeRead(std::uint32_t ioStatus, std::uint32_t systemError, std::uint32_t bytes);
    void completeWrite(std::uint32_t ioStatus, std::uint32_t systemError, std::uint32_t bytes);

    bool failed() const { return m_failureReason.load(std::memory_order_acquire) != SimFailureNone; }
    std::uint32_t failureReason() const { return m_failureReason.load(std::memory_order_acquire); }
    SimLastError lastError() const;
    bool connected() const { return m_state.load(std::memory_order_acquire) == Connected; }
    SimTransportKind kind() const { return m_kind; }
    std::uint32_t connectionId() const { return m_connectionId; }
    bool writeInFlight() const;
    std::size_t receiveCapacity() const { return m_receive.capacity(); }

    void addRef() { m_refs.fetch_add(1, std::memory_order_relaxed); }
    void release();
    int references() const { return m_refs.load(std::memory_order_acquire); }

    // Transport objects alive in the process.
    static int liveCount();

    // The owner's close: shuts down, then waits where the platform's
    // completions run on a thread of its own.
    void shutdownAndWait();

protected:
    // A message framed from the stream (nothing in the base).
    virtual void onMessage(std::vector<std::uint8_t>&& message) {}

private:
    void attach(std::unique_ptr<SimConnectIo> io, std::uint32_t maxReceiveSize, bool disableNagle);
    void start();
    void postRead();
    // False when a write could not be posted.
    bool sendNext();
    void writeFailed(std::uint32_t reason, std::uint32_t status, std::uint32_t systemError);

    SimTransportKind m_kind = SimTransportKind::Pipe;
    std::unique_ptr<SimConnectIo> m_io;
    std::atomic<int> m_state{NotConnected};
    std::atomic<int> m_refs{1};
    std::uint32_t m_connectionId = 0;
    bool m_disableNagle = false;

    // Touched by the one read under way only.
    SimReceiveBuffer m_receive;

    mutable std::mutex m_sendLock;
    std::deque<std::unique_ptr<SimConnectRecord>> m_sendQueue;
    std::unique_ptr<SimConnectRecord> m_writeBuffer;
    bool m_writeInFlight = false;

    mutable std::mutex m_failureLock;
    std::atomic<std::uint32_t> m_failureReason{SimFailureNone};
    SimLastError m_lastError;
};

inline constexpr std::size_t kSimSendBufferSize = 41088;
// Messages received and not yet dispatched, in bytes: a server that sends
// faster than the caller dispatches (or a caller that has stopped) must not
// fill the memory. Beyond it the connection fails as out of memory.
inline constexpr std::size_t kSimReceivedLimit_bytes = std::size_t{64} << 20;
inline constexpr std::uint32_t kSimProtocolVersion = 35;
inline constexpr std::uint32_t kSimPacketIdBase = 0xF0000000u;
inline constexpr std::uint32_t kSimPacketHeaderSize = 16;

class SimConnectConnection : public SimConnectTransport {
public:
    SimConnectConnection();
    ~SimConnectConnection() override;

    // Closes the transport and, for a failure, signals the caller's window
    // message and event.
    void close(std::uint32_t reason, std::uint32_t status, std::uint32_t systemError = 0) override;

    // The packet slot of one call, under g_simLibraryLock from allocPacket to
    // commitPacket or releasePacket. allocPacket gives the transport's
    // failure status, E_FAIL when the slot does not fit, else 0 with a zeroed
    // slot whose header (size, version, packet id, next send id) is written.
    SimConnectResult allocPacket(std::uint32_t size, std::uint32_t function, std::uint8_t*& slot);
    void releasePacket(std::uint8_t* slot);
    // Sends the filled slot as one packet.
    SimConnectResult commitPacket();
    // The packet left in the send buffer, if any (SimConnect_Close).
    void flushSendBuffer();

    std::uint32_t lastSentId() const { return m_sendId; }
    void setLastSentIdForTest(std::uint32_t id) { m_sendId = id; }

    // Hands every received message to procedure: 0, 2 (the transport has
    // failed) or 1 (no procedure).
    int dispatch(SimConnectDispatchProc procedure, void* context);
    void dropReceived();
    std::size_t receivedCount() const;

    void setNotification(void* window, std::uint32_t message, void* event);
    SimConnectResult failureStatus() const { return lastError().status; }

protected:
    void onMessage(std::vector<std::uint8_t>&& message) override;

private:
    void notifyCaller() const;

    std::vector<std::uint8_t> m_sendBuffer;
    std::size_t m_sendFill = 0;
    std::uint32_t m_sendId = 0;

    mutable std::mutex m_receivedLock;
    std::deque<std::unique_ptr<SimConnectRecord>> m_received;
    std::size_t m_receivedBytes = 0;

    void* m_window = nullptr;
    std::uint32_t m_message = 0;
    void* m_event = nullptr;
};

// One lock for the packet slots of every connection.
extern std::mutex g_simLibraryLock;
// The open connections (under g_simLibraryLock).
extern std::vector<SimConnectConnection*> g_simConnections;
