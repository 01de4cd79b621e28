// Opening, dispatching and closing a SimConnect connection.
#include <algorithm>
#include <new>

#include "simconnect/api.h"
#include "simconnect/config.h"
#include "simconnect/packets.h"
#include "simconnect/platform.h"
#include "simconnect/transport.h"
#include "simconnect/value_guard.h"

namespace {

constexpr int kConnectOk = 0;
constexpr int kConnectFailed = 1;
constexpr int kConnectNoSection = 3;

constexpr std::chrono::milliseconds kCloseSettle{100};
constexpr std::chrono::milliseconds kCloseAfter{250};
constexpr std::chrono::milliseconds kCloseWaitStep{250};
constexpr int kCloseWaitSteps = 20;

std::mutex g_simNetworkLock;
bool g_simWinsockStarted = false;

void lf_sleep(std::chrono::milliseconds duration) {
    if (g_simConnectPlatform.sleep) g_simConnectPlatform.sleep(duration);
}

bool lf_startWinsock() {
    std::lock_guard lock(g_simNetworkLock);
    if (!g_simWinsockStarted)
        g_simWinsockStarted = g_simConnectPlatform.startNetwork ? g_simConnectPlatform.startNetwork() : true;
    return g_simWinsockStarted;
}

void lf_stopWinsock() {
    std::lock_guard lock(g_simNetworkLock);
    if (!g_simWinsockStarted) return;
    if (g_simConnectPlatform.stopNetwork) g_simConnectPlatform.stopNetwork();
    g_simWinsockStarted = false;
}

SimConnectEndpoint lf_pipeEndpoint(const std::string& address, const std::string& port) {
    SimConnectEndpoint endpoint;
    endpoint.kind = SimTransportKind::Pipe;
    endpoint.pipePath = gf_simConnectPipePath(address, port);
    return endpoint;
}

SimConnectEndpoint lf_socketEndpoint(int family, const std::string& address, const std::string& port) {
    SimConnectEndpoint endpoint;
    endpoint.kind = SimTransportKind::Socket;
    endpoint.family = family;
    endpoint.address = address;
    endpoint.port = port;
    endpoint.connectTimeout = g_simConnectPlatform.connectTimeout;
    return endpoint;
}

// What the caller wants signalled when messages arrive.
struct SimNotification {
    void* window = nullptr;
    std::uint32_t message = 0;
    void* event = nullptr;
};

// One attempt: a connected connection, or nothing left behind. The
// notification is in place before the first read can complete.
SimConnectConnection* lf_tryOpen(const SimConnectEndpoint& endpoint, const SimConnectConfig& config,
                                 const SimNotification& notification) {
    SimConnectConnection* connection = new (std::nothrow) SimConnectConnection();
    if (!connection) return nullptr;
    connection->setNotification(notification.window, notification.message, notification.event);
    if (connection->open(endpoint, config.maxReceiveSize, config.disableNagle)) return connection;
    connection->shutdownAndWait();
    connection->release();
    return nullptr;
}

// The transport fallback: the pipe, then IPv6 on ::1, then IPv4 on
// 127.0.0.1, then the simulator's default pipe; a configured IPv6 or IPv4
// enters at its own step, and a configured remote host never falls back.
int lf_simConnectConnect(int configIndex, const SimNotification& notification, SimConnectConnection*& out) {
    out = nullptr;
    SimConnectConfig config;
    if (gf_readSimConnectConfig(configIndex, config) == kConnectNoSection) return kConnectNoSection;

    std::string address = config.address;
    std::string port = config.port;
    SimConnectProtocol step = config.protocol;

    if (step == SimConnectProtocol::Pipe) {
        if ((out = lf_tryOpen(lf_pipeEndpoint(address, port), config, notification))) return kConnectOk;
        if (!address.empty() && address != ".") return kConnectFailed;
        address = "::1";
        port = gf_readSimConnectPort(true);
        step = SimConnectProtocol::IPv6;
    }
    if (step == SimConnectProtocol::IPv6) {
        if (!lf_startWinsock()) return kConnectFailed;
        if (!port.empty() && (out = lf_tryOpen(lf_socketEndpoint(6, address, port), config, notification)))
            return kConnectOk;
        if (address != "::1") return kConnectFailed;
        address = "127.0.0.1";
        port = gf_readSimConnectPort(false);
    }
    if (!lf_startWinsock()) return kConnectFailed;
    if (!port.empty() && (out = lf_tryOpen(lf_socketEndpoint(4, address, port), config, notification)))
        return kConnectOk;
    if (address != "127.0.0.1") return kConnectFailed;
    if ((out = lf_tryOpen(lf_pipeEndpoint(".", ""), config, notification))) return kConnectOk;
    return kConnectFailed;
}

// Gives the connection up: the transport is shut down and the owner's
// reference released; the object goes once its completions are in.
void lf_dropConnection(SimConnectConnection* connection) {
    connection->shutdownAndWait();
    connection->dropReceived();
    connection->release();
}

}  // namespace

void gf_resetSimConnectPlatform() {
    g_simConnectPlatform = gf_systemSimConnectPlatform();
    gf_setSimConnectP3dVersion(kSimDefaultP3dVersion);
    std::lock_guard lock(g_simNetworkLock);
    g_simWinsockStarted = false;
}

SimConnectResult SimConnect_Open(SimConnectHandle* handle, const char* applicationName, void* window,
                                 std::uint32_t message, void* event, std::int32_t configIndex) {
    if (!handle) return SIMCONNECT_E_INVALIDARG;
    *handle = nullptr;
    if (!applicationName) return SIMCONNECT_E_INVALIDARG;

    SimConnectConnection* connection = nullptr;
    int connect = lf_simConnectConnect(configIndex, SimNotification{window, message, event}, connection);
    if (connect == kConnectNoSection) return SIMCONNECT_E_INVALIDARG;
    if (connect != kConnectOk || !connection) return SIMCONNECT_E_FAIL;

    SimConnectResult result = gf_simSendOpen(connection, applicationName);
    if (result == SIMCONNECT_OK) {
        std::lock_guard lock(g_simLibraryLock);
        try {
            g_simConnections.push_back(connection);
        } catch (const std::bad_alloc&) {
            result = SIMCONNECT_E_OUTOFMEMORY;
        }
    }
    if (result != SIMCONNECT_OK) {
        lf_dropConnection(connection);
        return result == SIMCONNECT_E_TEXT_TOO_LONG ? result : SIMCONNECT_E_FAIL;
    }
    // A new connection at the address of a closed one starts without its
    // definitions.
    gf_simGuardForget(connection);
    *handle = connection;
    return SIMCONNECT_OK;
}

SimConnectResult SimConnect_Close(SimConnectHandle handle) {
    if (!handle) return SIMCONNECT_E_FAIL;
    {
        // A handle closed before is no longer listed: refusing it keeps a
        // second close from touching freed memory.
        std::lock_guard lock(g_simLibraryLock);
        if (std::find(g_simConnections.begin(), g_simConnections.end(), handle) == g_simConnections.end())
            return SIMCONNECT_E_FAIL;
        handle->flushSendBuffer();
    }
    lf_sleep(kCloseSettle);
    handle->dropReceived();
    bool lastConnection = false;
    {
        std::lock_guard lock(g_simLibraryLock);
        g_simConnections.erase(std::remove(g_simConnections.begin(), g_simConnections.end(), handle),
                               g_simConnections.end());
        lastConnection = g_simConnections.empty();
    }
    gf_simGuardForget(handle);
    lf_dropConnection(handle);
    lf_sleep(kCloseAfter);
    if (lastConnection) {
        for (int step = 0; step < kCloseWaitSteps && SimConnectTransport::liveCount() > 0; ++step)
            lf_sleep(kCloseWaitStep);
        lf_stopWinsock();
    }
    return SIMCONNECT_OK;
}

SimConnectResult SimConnect_CallDispatch(SimConnectHandle handle, SimConnectDispatchProc procedure, void* context) {
    if (!handle || !procedure) return SIMCONNECT_E_FAIL;
    int result = handle->dispatch(procedure, context);
    if (result == 2) return handle->failureStatus();
    return result == 0 ? SIMCONNECT_OK : SIMCONNECT_E_FAIL;
}
