#include "simconnect/transport.h"

#include <algorithm>
#include <cstring>
#include <new>

std::mutex g_simLibraryLock;
std::vector<SimConnectConnection*> g_simConnections;

namespace {

std::atomic<int> g_simTransportCount{0};
std::atomic<std::uint32_t> g_simNextConnectionId{0};

bool lf_ntSuccess(std::uint32_t status) { return static_cast<std::int32_t>(status) >= 0; }

// A failure status handed back to callers must read as a failure.
SimConnectResult lf_failureResult(std::uint32_t status) {
    SimConnectResult result = static_cast<SimConnectResult>(status);
    return result < 0 ? result : SIMCONNECT_E_FAIL;
}

// A request the platform refused to post fails like a completion with that
// status would.
SimFailure lf_postFailure(std::uint32_t status, SimTransportKind kind) {
    SimFailure failure = gf_simReadFailure(status, 1, kind);
    if (failure.reason == SimFailureNone) failure = {SimFailureIo, kSimStatusUnsuccessful};
    return failure;
}

void lf_putU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace

SimFailure gf_simReadFailure(std::uint32_t ioStatus, std::uint32_t bytes, SimTransportKind kind) {
    // A message-mode pipe reports a message longer than the read as overflow;
    // the bytes read are good and the rest comes with the next read.
    if (ioStatus == kSimStatusBufferOverflow && kind == SimTransportKind::Pipe) ioStatus = kSimStatusSuccess;
    if (!lf_ntSuccess(ioStatus)) {
        switch (ioStatus) {
        case kSimStatusCancelled:
            return {SimFailureCancelled, ioStatus};
        case kSimStatusRemoteDisconnect:
        case kSimStatusPipeBroken:
        case kSimStatusConnectionReset:
            return {SimFailureDisconnected, ioStatus};
        default:
            return {SimFailureIo, ioStatus};
        }
    }
    if (bytes == 0) return {SimFailureClosedByPeer, kSimStatusLinkFailed};
    return {};
}

// ---------------------------------------------------------------- transport

SimConnectTransport::SimConnectTransport() { g_simTransportCount.fetch_add(1, std::memory_order_acq_rel); }

SimConnectTransport::~SimConnectTransport() {
    m_io.reset();
    g_simTransportCount.fetch_sub(1, std::memory_order_acq_rel);
}

int SimConnectTransport::liveCount() { return g_simTransportCount.load(std::memory_order_acquire); }

void SimConnectTransport::release() {
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

bool SimConnectTransport::open(const SimConnectEndpoint& endpoint, std::uint32_t maxReceiveSize, bool disableNagle) {
    m_kind = endpoint.kind;
    if (!g_simConnectPlatform.openIo) return false;
    std::unique_ptr<SimConnectIo> io;
    try {
        io = g_simConnectPlatform.openIo(endpoint, *this);
    } catch (...) {
        return false;
    }
    if (!io) return false;
    attach(std::move(io), maxReceiveSize, disableNagle);
    start();
    postRead();
    return connected();
}

void SimConnectTransport::attach(std::unique_ptr<SimConnectIo> io, std::uint32_t maxReceiveSize, bool disableNagle) {
    m_io = std::move(io);
    m_receive.reset(maxReceiveSize);
    m_disableNagle = disableNagle;
    m_state.store(NotConnected, std::memory_order_release);
}

void SimConnectTransport::start() {
    {
        std::lock_guard lock(m_sendLock);
        m_sendQueue.clear();
        m_writeBuffer.reset();
        m_writeInFlight = false;
    }
    std::uint32_t id = 0;
    while (id == 0) id = g_simNextConnectionId.fetch_add(1, std::memory_order_relaxed) + 1;
    m_connectionId = id;
    if (m_disableNagle && m_kind == SimTransportKind::Socket) m_io->setNoDelay();
    m_state.store(Connected, std::memory_order_release);
}

void SimConnectTransport::postRead() {
    std::span<std::uint8_t> room = m_receive.freeRoom();
    if (room.empty()) {
        // Only a message beyond the buffer's limit (or no memory) gets here;
        // waiting for more bytes would hang the connection.
        if (m_receive.capacity() + kSimReceiveBufferStep > kSimReceiveBufferLimit)
            close(SimFailureTooLarge, static_cast<std::uint32_t>(SIMCONNECT_E_ABORT));
        else
            close(SimFailureNoMemory, static_cast<std::uint32_t>(SIMCONNECT_E_OUTOFMEMORY));
        return;
    }
    std::uint32_t size = static_cast<std::uint32_t>(std::min<std::size_t>(room.size(), 0x7FFFFFFF));
    addRef();
    std::uint32_t status = m_io->postRead(room.data(), size);
    if (status != kSimStatusSuccess) {
        // A read that cannot be posted would leave the connection waiting
        // forever for messages: fail it and give the read's reference back.
        SimFailure failure = lf_postFailure(status, m_kind);
        close(failure.reason, failure.status);
        release();
    }
}

void SimConnectTransport::completeRead(std::uint32_t ioStatus, std::uint32_t systemError, std::uint32_t bytes) {
    SimFailure failure = gf_simReadFailure(ioStatus, bytes, m_kind);
    if (failure.reason != SimFailureNone) {
        close(failure.reason, failure.status, systemError);
    } else {
        m_receive.commit(bytes);
        std::vector<std::uint8_t> message;
        for (;;) {
            SimExtract result = m_receive.extractMessage(message);
            if (result == SimExtract::Ready) {
                onMessage(std::move(message));
                message = {};
                continue;
            }
            if (result == SimExtract::TooLarge)
                close(SimFailureTooLarge, static_cast<std::uint32_t>(SIMCONNECT_E_ABORT));
            else if (result == SimExtract::BadSize)
                close(SimFailureBadSize, static_cast<std::uint32_t>(SIMCONNECT_E_ABORT));
            else if (result == SimExtract::NoMemory)
                close(SimFailureNoMemory, static_cast<std::uint32_t>(SIMCONNECT_E_OUTOFMEMORY));
            break;
        }
        if (connected()) postRead();
    }
    release();
}

bool SimConnectTransport::queueSend(std::unique_ptr<SimConnectRecord> record) {
    if (!connected() || !record) return false;
    {
        std::lock_guard lock(m_sendLock);
        m_sendQueue.push_back(std::move(record));
    }
    return sendNext();
}

bool SimConnectTransport::sendNext() {
    std::unique_lock lock(m_sendLock);
    if (m_writeInFlight || m_sendQueue.empty() || !connected()) return true;
    m_writeBuffer = std::move(m_sendQueue.front());
    m_sendQueue.pop_front();
    m_writeInFlight = true;
    const std::uint8_t* data = m_writeBuffer->bytes.data();
    std::uint32_t size = static_cast<std::uint32_t>(m_writeBuffer->bytes.size());
    lock.unlock();

    // The buffer stays put until this write completes: only its completion
    // or its failure below replaces it.
    addRef();
    std::uint32_t status = m_io->postWrite(data, size);
    if (status != kSimStatusSuccess) {
        SimFailure failure = lf_postFailure(status, m_kind);
        writeFailed(failure.reason, failure.status, 0);
        release();
        return false;
    }
    return true;
}

void SimConnectTransport::completeWrite(std::uint32_t ioStatus, std::uint32_t systemError, std::uint32_t bytes) {
    std::size_t expected = 0;
    {
        std::lock_guard lock(m_sendLock);
        expected = m_writeBuffer ? m_writeBuffer->bytes.size() : 0;
    }
    SimFailure failure;
    if (!lf_ntSuccess(ioStatus)) {
        failure = lf_postFailure(ioStatus, m_kind);
    } else if (bytes != expected) {
        // A packet cut short would corrupt every packet after it.
        failure = {SimFailureIo, kSimStatusUnsuccessful};
    }
    if (failure.reason != SimFailureNone) {
        writeFailed(failure.reason, failure.status, systemError);
    } else {
        {
            std::lock_guard lock(m_sendLock);
            m_writeBuffer.reset();
            m_writeInFlight = false;
        }
        sendNext();
    }
    release();
}

void SimConnectTransport::writeFailed(std::uint32_t reason, std::uint32_t status, std::uint32_t systemError) {
    {
        std::lock_guard lock(m_sendLock);
        m_writeBuffer.reset();
        m_writeInFlight = false;
    }
    close(reason, status, systemError);
}

bool SimConnectTransport::writeInFlight() const {
    std::lock_guard lock(m_sendLock);
    return m_writeInFlight;
}

void SimConnectTransport::close(std::uint32_t reason, std::uint32_t status, std::uint32_t systemError) {
    if (reason != SimFailureNone) {
        std::lock_guard lock(m_failureLock);
        if (m_failureReason.load(std::memory_order_relaxed) == SimFailureNone) {
            m_lastError = {systemError, lf_failureResult(status)};
            m_failureReason.store(reason, std::memory_order_release);
        }
    }
    m_state.store(NotConnected, std::memory_order_release);
    if (m_io) m_io->cancelAndClose();
}

void SimConnectTransport::shutdownAndWait() {
    close(SimFailureNone, 0);
    if (m_io) m_io->waitForCompletions();
}

SimLastError SimConnectTransport::lastError() const {
    std::lock_guard lock(m_failureLock);
    return m_lastError;
}

// ---------------------------------------------------------------- connection

SimConnectConnection::SimConnectConnection() : m_sendBuffer(kSimSendBufferSize, 0) {}

SimConnectConnection::~SimConnectConnection() = default;

void SimConnectConnection::close(std::uint32_t reason, std::uint32_t status, std::uint32_t systemError) {
    SimConnectTransport::close(reason, status, systemError);
    if (reason != SimFailureNone) notifyCaller();
}

SimConnectResult SimConnectConnection::allocPacket(std::uint32_t size, std::uint32_t function, std::uint8_t*& slot) {
    slot = nullptr;
    if (failed()) return failureStatus();
    if (size < kSimPacketHeaderSize || size > m_sendBuffer.size() - m_sendFill) return SIMCONNECT_E_FAIL;
    slot = m_sendBuffer.data() + m_sendFill;
    std::memset(slot, 0, size);
    m_sendFill += size;
    if (++m_sendId == 0) m_sendId = 1;
    lf_putU32(slot, size);
    lf_putU32(slot + 4, kSimProtocolVersion);
    lf_putU32(slot + 8, kSimPacketIdBase + function);
    lf_putU32(slot + 12, m_sendId);
    return SIMCONNECT_OK;
}

void SimConnectConnection::releasePacket(std::uint8_t* slot) {
    std::size_t at = static_cast<std::size_t>(slot - m_sendBuffer.data());
    if (at > m_sendFill) return;
    std::memset(slot, 0, m_sendFill - at);
    m_sendFill = at;
}

SimConnectResult SimConnectConnection::commitPacket() {
    if (m_sendFill == 0) return SIMCONNECT_OK;
    std::unique_ptr<SimConnectRecord> record;
    try {
        record = std::make_unique<SimConnectRecord>();
        record->bytes.assign(m_sendBuffer.begin(), m_sendBuffer.begin() + static_cast<std::ptrdiff_t>(m_sendFill));
    } catch (const std::bad_alloc&) {
        releasePacket(m_sendBuffer.data());
        return SIMCONNECT_E_OUTOFMEMORY;
    }
    record->connectionId = connectionId();
    std::fill(m_sendBuffer.begin(), m_sendBuffer.begin() + static_cast<std::ptrdiff_t>(m_sendFill), 0);
    m_sendFill = 0;
    // A packet that could not be handed over is lost: the caller must hear
    // it. A failure the completion threads store after the hand-over (the
    // peer closing) is the next call's: reading it here would make this
    // call's result depend on how fast the peer was.
    if (!queueSend(std::move(record))) return failed() ? failureStatus() : SIMCONNECT_E_FAIL;
    return SIMCONNECT_OK;
}

void SimConnectConnection::flushSendBuffer() {
    if (m_sendFill > 0) commitPacket();
}

void SimConnectConnection::onMessage(std::vector<std::uint8_t>&& message) {
    bool full = false;
    try {
        auto record = std::make_unique<SimConnectRecord>();
        record->bytes = std::move(message);
        record->connectionId = connectionId();
        std::lock_guard lock(m_receivedLock);
        const std::size_t size = record->bytes.size();
        if (size > kSimReceivedLimit_bytes - m_receivedBytes) {
            full = true;
        } else {
            m_received.push_back(std::move(record));
            m_receivedBytes += size;
        }
    } catch (const std::bad_alloc&) {
        full = true;
    }
    if (full) {
        close(SimFailureNoMemory, static_cast<std::uint32_t>(SIMCONNECT_E_OUTOFMEMORY));
        return;
    }
    notifyCaller();
}

int SimConnectConnection::dispatch(SimConnectDispatchProc procedure, void* context) {
    if (!procedure) return 1;
    // The failure is read before the drain: a failure reported means every
    // message that came before it has been handed over, even when both
    // arrive while the list is being drained.
    const bool failedBefore = failed();
    for (;;) {
        std::unique_ptr<SimConnectRecord> record;
        {
            std::lock_guard lock(m_receivedLock);
            if (m_received.empty()) break;
            record = std::move(m_received.front());
            m_received.pop_front();
            m_receivedBytes -= record->bytes.size();
        }
        if (record->bytes.size() < kSimRecvHeaderSize) continue;
        // The message's own size, so a handler can check its fields against it.
        procedure(record->bytes.data(), static_cast<std::uint32_t>(record->bytes.size()), context);
    }
    return failedBefore ? 2 : 0;
}

void SimConnectConnection::dropReceived() {
    std::deque<std::unique_ptr<SimConnectRecord>> dropped;
    std::lock_guard lock(m_receivedLock);
    dropped.swap(m_received);
    m_receivedBytes = 0;
}

std::size_t SimConnectConnection::receivedCount() const {
    std::lock_guard lock(m_receivedLock);
    return m_received.size();
}

void SimConnectConnection::setNotification(void* window, std::uint32_t message, void* event) {
    m_window = window;
    m_message = message;
    m_event = event;
}

void SimConnectConnection::notifyCaller() const {
    if ((m_window || m_event) && g_simConnectPlatform.notify) g_simConnectPlatform.notify(m_window, m_message, m_event);
}

// ---------------------------------------------------------------- platform seam

SimConnectPlatform g_simConnectPlatform = gf_systemSimConnectPlatform();
