// sim_send_bench [packets]: the send path of the program's SimConnect client
// against simstub (the native build, over TCP on 127.0.0.1): one AI aircraft,
// then SetDataOnSimObject packets of its 64-byte position block, as the
// traffic pass sends them, timed until simstub has answered a request sent
// after the last of them. The same packets' bytes, written one send() each
// over a plain loopback socket to a listener that only reads, give the
// machine's bound; the client once more to that plain listener shows what
// the client itself costs. Prints packets/s of all three.
#include "simconnect/api.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kDefine = 402;
constexpr std::uint32_t kDoneEvent = 999;
constexpr std::uint32_t kCreateRequest = 104;
constexpr std::uint32_t kPositionBytes = 64;
constexpr std::uint32_t kPacketBytes = 36 + kPositionBytes;

struct Received {
    std::uint32_t objectId = 0;
    bool created = false;
    bool done = false;
};

void lf_collect(const std::uint8_t* m, std::uint32_t size, void* context) {
    auto* r = static_cast<Received*>(context);
    auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        if (at + 4 <= size) std::memcpy(&v, m + at, 4);
        return v;
    };
    const std::uint32_t id = u32(8);
    if (id == 12 && u32(12) == kCreateRequest) {  // ASSIGNED_OBJECT_ID
        r->objectId = u32(16);
        r->created = true;
    }
    if (id == 4 && u32(16) == kDoneEvent) r->done = true;              // EVENT
    if (id == 1) std::fprintf(stderr, "simstub exception %u for send id %u\n", u32(12), u32(16));
}

bool lf_pump(SimConnectHandle h, Received& r, bool Received::*flag) {
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < end) {
        if (gf_simConnectFailed(SimConnect_CallDispatch(h, lf_collect, &r))) return false;
        if (r.*flag) return true;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return false;
}

struct Stub {
    pid_t pid = -1;
    int port = 0;
};

Stub lf_startStub(const fs::path& folder) {
    std::ofstream(folder / "scenario.json") << R"({"frame_rate": 0})";
    const std::string scenario = (folder / "scenario.json").string(), portFile = (folder / "port").string();
    const char* args[] = {GLIM_SIMSTUB_PATH, "--scenario", scenario.c_str(), "--port-file", portFile.c_str(), nullptr};
    Stub stub;
    if (posix_spawn(&stub.pid, GLIM_SIMSTUB_PATH, nullptr, nullptr, const_cast<char**>(args), environ) != 0) return {};
    for (int i = 0; i < 1000 && stub.port == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(portFile);
        in >> stub.port;
    }
    return stub;
}

std::vector<std::uint8_t> lf_position(int i) {
    const double block[8] = {47.46 + i * 1e-7, 8.55, 0.01, 0.0, 1.2, 3000.0 + i % 100, 5.0, 250.0};
    std::vector<std::uint8_t> bytes(kPositionBytes);
    std::memcpy(bytes.data(), block, kPositionBytes);
    return bytes;
}

// The client: packets/s, 0 on failure.
double lf_clientRate(int port, int packets) {
    std::ofstream("SimConnect.cfg") << "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" << port << "\n";
    SimConnectHandle h = nullptr;
    if (gf_simConnectFailed(SimConnect_Open(&h, "sim_send_bench", nullptr, 0, nullptr, 0)) || !h) return 0;
    const char* names[8] = {"Plane Latitude", "Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees",
                            "Plane Heading degrees true", "Plane Altitude", "Vertical Speed", "Airspeed True"};
    const char* units[8] = {"degree", "degree", "radians", "radians", "radians", "feet", "feet per second", "knots"};
    for (int d = 0; d < 8; ++d) SimConnect_AddToDataDefinition(h, kDefine, names[d], units[d], SimDatumFloat64, 0, kSimUnusedDatumId);
    SimConnectInitPosition at{47.46, 8.55, 3000, 0, 0, 70, 0, 250};
    SimConnect_AICreateNonATCAircraft(h, "Stub Airliner", "BENCH1", at, kCreateRequest);
    Received r;
    if (!lf_pump(h, r, &Received::created)) return 0;
    std::vector<std::vector<std::uint8_t>> blocks;
    for (int i = 0; i < 256; ++i) blocks.push_back(lf_position(i));

    const auto start = Clock::now();
    for (int i = 0; i < packets; ++i) {
        const auto& block = blocks[static_cast<std::size_t>(i) % blocks.size()];
        if (gf_simConnectFailed(
                SimConnect_SetDataOnSimObject(h, kDefine, r.objectId, 0, 0, kPositionBytes, block.data()))) {
            return 0;
        }
    }
    // The stand-in handles packets in order: its answer to a subscription
    // sent last means every position before it has arrived.
    SimConnect_SubscribeToSystemEvent(h, kDoneEvent, "Sim");
    const bool done = lf_pump(h, r, &Received::done);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    SimConnect_Close(h);
    return done ? packets / seconds : 0;
}

// A listener on 127.0.0.1 that only reads: its socket, bound address.
int lf_listen(sockaddr_in& address, socklen_t& length) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(listener);
        return -1;
    }
    return listener;
}

// The client again, to a listener that only reads instead of simstub: what
// the client's own send path costs, apart from the stand-in's handling. The
// time runs until the listener has read the Open packet (its size is its
// first word) and every position after it.
double lf_clientToListenerRate(int packets) {
    sockaddr_in address;
    socklen_t length;
    const int listener = lf_listen(address, length);
    if (listener < 0) return 0;
    Clock::time_point end;
    bool whole = false;
    std::thread reader([&] {
        const int s = accept(listener, nullptr, nullptr);
        std::vector<unsigned char> buffer(1 << 16);
        std::size_t got = 0, expected = 0;
        for (ssize_t n; (n = recv(s, buffer.data(), buffer.size(), 0)) > 0;) {
            if (got == 0 && n >= 4) {
                std::uint32_t openSize;
                std::memcpy(&openSize, buffer.data(), 4);
                expected = openSize + static_cast<std::size_t>(packets) * kPacketBytes;
            }
            got += static_cast<std::size_t>(n);
            if (expected && got >= expected) break;
        }
        end = Clock::now();
        whole = expected && got == expected;
        close(s);
    });
    std::ofstream("SimConnect.cfg") << "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" << ntohs(address.sin_port)
                                    << "\n";
    SimConnectHandle h = nullptr;
    if (gf_simConnectFailed(SimConnect_Open(&h, "sim_send_bench", nullptr, 0, nullptr, 0)) || !h) {
        shutdown(listener, SHUT_RDWR);
        close(listener);
        reader.detach();
        return 0;
    }
    const auto block = lf_position(0);
    const auto start = Clock::now();
    bool sent = true;
    for (int i = 0; i < packets && sent; ++i) {
        sent = !gf_simConnectFailed(SimConnect_SetDataOnSimObject(h, kDefine, 100, 0, 0, kPositionBytes, block.data()));
    }
    // Closed only once everything arrived: a close drops what is still queued.
    reader.join();
    SimConnect_Close(h);
    close(listener);
    return sent && whole ? packets / std::chrono::duration<double>(end - start).count() : 0;
}

// The plain socket: the same packets' bytes, one send() each.
double lf_rawRate(int packets) {
    sockaddr_in address;
    socklen_t length;
    const int listener = lf_listen(address, length);
    if (listener < 0) return 0;
    const std::size_t total = static_cast<std::size_t>(packets) * kPacketBytes;
    std::atomic<bool> received{false};
    std::thread reader([&] {
        const int s = accept(listener, nullptr, nullptr);
        std::vector<char> buffer(1 << 16);
        std::size_t got = 0;
        while (got < total) {
            const ssize_t n = recv(s, buffer.data(), buffer.size(), 0);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        received = got == total;
        close(s);
    });
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), length) != 0) return 0;
    std::vector<std::uint8_t> packet(kPacketBytes);
    const std::uint32_t header[9] = {kPacketBytes, 35, 0xF0000010u, 0, kDefine, 100, 0, 1, kPositionBytes};
    std::memcpy(packet.data(), header, sizeof header);
    const auto start = Clock::now();
    for (int i = 0; i < packets; ++i) {
        const std::uint32_t sendId = static_cast<std::uint32_t>(i + 1);
        std::memcpy(packet.data() + 12, &sendId, 4);
        const auto block = lf_position(i % 256);
        std::memcpy(packet.data() + 36, block.data(), kPositionBytes);
        if (send(s, packet.data(), packet.size(), 0) != static_cast<ssize_t>(packet.size())) break;
    }
    reader.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(s);
    close(listener);
    return received ? packets / seconds : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int packets = argc > 1 ? std::atoi(argv[1]) : 200000;
    const fs::path folder = fs::temp_directory_path() / ("glim_sim_send_bench_" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::current_path(folder);
    const Stub stub = lf_startStub(folder);
    if (stub.port == 0) {
        std::fprintf(stderr, "simstub did not start (%s)\n", GLIM_SIMSTUB_PATH);
        return 1;
    }
    const double client = lf_clientRate(stub.port, packets);
    kill(stub.pid, SIGTERM);
    waitpid(stub.pid, nullptr, 0);
    const double raw = lf_rawRate(packets);
    const double clientAlone = lf_clientToListenerRate(packets);
    fs::current_path(folder.parent_path());
    fs::remove_all(folder);
    if (client <= 0 || raw <= 0) {
        std::fprintf(stderr, "a send run failed (client %.0f, raw %.0f packets/s)\n", client, raw);
        return 1;
    }
    std::printf("SetDataOnSimObject, %u bytes each, %d packets\n", kPacketBytes, packets);
    std::printf("raw loopback send():     %10.0f packets/s\n", raw);
    std::printf("client to simstub (TCP): %10.0f packets/s (%.2fx the raw rate)\n", client, client / raw);
    std::printf("client to a plain listener: %7.0f packets/s (%.2fx the raw rate)\n", clientAlone, clientAlone / raw);
    std::printf("RESULT sim_raw_pps %.0f packets/s\n", raw);
    std::printf("RESULT sim_client_pps %.0f packets/s\n", client);
    if (clientAlone > 0) std::printf("RESULT sim_client_plain_pps %.0f packets/s\n", clientAlone);
    return 0;
}
