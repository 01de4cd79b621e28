#include "loopback_server.h"

Bytes gf_loopbackAnswer(const Bytes& packet) {
    const std::uint32_t packetId = readU32(packet, 8);
    if (packetId == 0xF0000001u) return openMessage("Lockheed Martin\xC2\xAE Prepar3D\xC2\xAE v5", readU32(packet, 4));
    if (packetId == 0xF000000Eu && packet.size() >= 48) {
        ByteWriter w(40 + 96);
        w.u32(0, 136).u32(4, readU32(packet, 4)).u32(8, 8);
        w.u32(12, readU32(packet, 16)).u32(16, kLoopbackUserObjectId).u32(20, readU32(packet, 20));
        w.u32(24, 0).u32(28, 1).u32(32, 1).u32(36, 12);
        for (int i = 0; i < 8; ++i) w.f64(40 + 8 * i, kLoopbackUserDoubles[i]);
        for (int i = 0; i < 4; ++i) {
            auto v = static_cast<std::uint64_t>(kLoopbackUserInts[i]);
            w.u32(104 + 8 * i, static_cast<std::uint32_t>(v)).u32(108 + 8 * i, static_cast<std::uint32_t>(v >> 32));
        }
        return w;
    }
    return {};
}

LoopbackServer::LoopbackServer(Mode mode, bool ipv6) : m_mode(mode) {
    m_listener = loopback::listenOn(ipv6, m_port);
    if (listening()) m_thread = std::thread([this] { run(); });
}

LoopbackServer::~LoopbackServer() {
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
        if (m_client != loopback::kNoSocket) loopback::shutdownBoth(m_client);
    }
    if (listening()) {
        loopback::shutdownBoth(m_listener);
        loopback::closeSocket(m_listener);
    }
    if (m_thread.joinable()) m_thread.join();
}

std::vector<Bytes> LoopbackServer::packets() const {
    std::lock_guard lock(m_lock);
    return m_packets;
}

void LoopbackServer::run() {
    loopback::Socket client = loopback::acceptOne(m_listener);
    if (client == loopback::kNoSocket) return;
    {
        std::lock_guard lock(m_lock);
        if (m_stopping) {
            loopback::closeSocket(client);
            return;
        }
        m_client = client;
    }
    for (;;) {
        Bytes header(4);
        if (!loopback::receiveAll(client, header.data(), 4)) break;
        const std::uint32_t size = readU32(header, 0);
        if (size < 16 || size > 65536) break;
        Bytes packet(size);
        std::copy(header.begin(), header.end(), packet.begin());
        if (!loopback::receiveAll(client, packet.data() + 4, size - 4)) break;
        {
            std::lock_guard lock(m_lock);
            m_packets.push_back(packet);
        }
        if (m_mode == Mode::Silent) continue;
        Bytes answer = gf_loopbackAnswer(packet);
        if (!answer.empty() && !loopback::sendAll(client, answer.data(), answer.size())) break;
        if (m_mode == Mode::CloseAfterOpen && readU32(packet, 8) == 0xF0000001u) break;
    }
    {
        std::lock_guard lock(m_lock);
        loopback::shutdownBoth(client);
        loopback::closeSocket(client);
        m_client = loopback::kNoSocket;
    }
    m_clientGone = true;
}
