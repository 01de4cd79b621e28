// sim_send_bench [packets] [rounds]: the send path of the program's SimConnect
// client (native Release build, TCP on 127.0.0.1): SetDataOnSimObject packets
// of one AI aircraft's 64-byte position block, as the traffic pass sends
// them, one write each. Four senders and receivers, each on a connection of
// its own made once, each run timed from its first packet until the receiver
// has them all:
//   raw -> reader      a bare socket, one send() per packet, to a listener
//                      that only reads: the machine's bound (the reference);
//   raw -> simstub     the same bare socket to simstub: what the stand-in
//                      absorbs, so that it does not limit the rows below;
//   client -> reader   the client to the reading listener: the client's own cost;
//   client -> simstub  the client to simstub, until simstub has answered a
//                      request sent after the last position.
// Every sending socket keeps the options of the client's default
// configuration (Nagle on): a reference with other options would measure
// something else. The four runs are interleaved in rounds (ABCD, DCBA, ...)
// so that the machine's load weighs on all of them alike; each figure is the
// median over the rounds, each ratio the median of the rounds' own ratios
// with the lowest and highest beside it.
#include "simconnect/api.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kDefine = 402;
constexpr std::uint32_t kDoneEvent = 999;
constexpr std::uint32_t kCreateRequest = 104;
constexpr std::uint32_t kPositionBytes = 64;
constexpr std::uint32_t kPacketBytes = 36 + kPositionBytes;
constexpr std::uint32_t kFnOpen = 0xF0000001u, kFnAddToDefinition = 0xF000000Cu, kFnCreate = 0xF0000029u,
                        kFnSubscribe = 0xF0000017u, kFnSetData = 0xF0000010u;
constexpr std::uint32_t kMsgEvent = 4, kMsgAssignedObjectId = 12;

std::uint32_t lf_u32(const std::uint8_t* at) {
    std::uint32_t v;
    std::memcpy(&v, at, 4);
    return v;
}

Bytes lf_position(int i) {
    const double block[8] = {47.46 + i * 1e-7, 8.55, 0.01, 0.0, 1.2, 3000.0 + i % 100, 5.0, 250.0};
    Bytes bytes(kPositionBytes);
    std::memcpy(bytes.data(), block, kPositionBytes);
    return bytes;
}

bool lf_sendAll(int s, const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(s, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// ---- receivers ----

int lf_listen(int& port) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(listener);
        return -1;
    }
    port = ntohs(address.sin_port);
    return listener;
}

int lf_connect(int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// A listener that only reads, on a thread of its own: it accepts one
// connection and counts what arrives. A run tells it beforehand how many
// bytes it will have read by the run's end, then waits for that count and
// learns when it was reached. With keep set it keeps every byte as well.
class Reader {
public:
    explicit Reader(bool keep = false) : keep_(keep) {
        listener_ = lf_listen(port_);
        if (listener_ >= 0) thread_ = std::thread([this] { run(); });
    }
    ~Reader() {
        if (thread_.joinable()) {
            shutdown(listener_, SHUT_RDWR);
            {
                std::lock_guard lock(mutex_);
                if (socket_ >= 0) shutdown(socket_, SHUT_RDWR);
            }
            thread_.join();
        }
        if (listener_ >= 0) close(listener_);
    }
    int port() const { return port_; }

    void expect(std::size_t total) {
        std::lock_guard lock(mutex_);
        target_ = total;
        reached_ = got_ >= total;
        if (reached_) reachedAt_ = Clock::now();
    }
    // The time the expected count was reached; nullopt when the peer closed
    // first or a minute passed.
    std::optional<Clock::time_point> waitReached() {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::minutes(1), [&] { return reached_ || closed_; })) return {};
        if (!reached_ || got_ != target_) return {};
        return reachedAt_;
    }
    // The first word the peer sent (the size of its first packet), waited for.
    std::optional<std::uint32_t> firstWord() {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::minutes(1), [&] { return got_ >= 4 || closed_; }) || got_ < 4)
            return {};
        return lf_u32(first_);
    }
    // Everything kept, once the peer has closed.
    Bytes takeKept() {
        thread_.join();
        return std::move(kept_);
    }

private:
    void run() {
        const int s = accept(listener_, nullptr, nullptr);
        if (s >= 0) {
            std::lock_guard lock(mutex_);
            socket_ = s;
        }
        std::vector<std::uint8_t> buffer(1 << 16);
        for (ssize_t n; s >= 0 && (n = recv(s, buffer.data(), buffer.size(), 0)) > 0;) {
            std::lock_guard lock(mutex_);
            if (keep_) kept_.insert(kept_.end(), buffer.begin(), buffer.begin() + n);
            for (ssize_t i = 0; i < n && got_ + static_cast<std::size_t>(i) < 4; ++i) first_[got_ + i] = buffer[i];
            got_ += static_cast<std::size_t>(n);
            if (got_ >= 4 && got_ - static_cast<std::size_t>(n) < 4) changed_.notify_all();
            if (!reached_ && target_ && got_ >= target_) {
                reachedAt_ = Clock::now();
                reached_ = true;
                changed_.notify_all();
            }
        }
        std::lock_guard lock(mutex_);
        closed_ = true;
        if (s >= 0) close(s);
        socket_ = -1;
        changed_.notify_all();
    }

    bool keep_;
    int port_ = 0;
    int listener_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int socket_ = -1;
    std::size_t got_ = 0, target_ = 0;
    std::uint8_t first_[4] = {};
    bool reached_ = false, closed_ = false;
    Clock::time_point reachedAt_;
    Bytes kept_;
};

// ---- simstub ----

struct Stub {
    pid_t pid = -1;
    int port = 0;
};

Stub lf_startStub(const fs::path& folder) {
    std::ofstream(folder / "scenario.json") << R"({"frame_rate": 0, "remove_objects_on_disconnect": true})";
    const std::string scenario = (folder / "scenario.json").string(), portFile = (folder / "port").string();
    // No --record: the tests' record file is not part of what is measured.
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

// ---- the client ----

void lf_writeConfig(int port) {
    std::ofstream("SimConnect.cfg") << "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" << port << "\n";
}

struct Received {
    std::uint32_t objectId = 0;
    bool created = false;
    bool done = false;
};

void lf_collect(const std::uint8_t* m, std::uint32_t size, void* context) {
    auto* r = static_cast<Received*>(context);
    auto u32 = [&](std::size_t at) { return at + 4 <= size ? lf_u32(m + at) : 0u; };
    const std::uint32_t id = u32(8);
    if (id == kMsgAssignedObjectId && u32(12) == kCreateRequest) {
        r->objectId = u32(16);
        r->created = true;
    }
    if (id == kMsgEvent && u32(16) == kDoneEvent) r->done = true;
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

// The session's set-up: the position block's definition and one aircraft.
void lf_setUp(SimConnectHandle h) {
    const char* names[8] = {"Plane Latitude", "Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees",
                            "Plane Heading degrees true", "Plane Altitude", "Vertical Speed", "Airspeed True"};
    const char* units[8] = {"degree", "degree", "radians", "radians", "radians", "feet", "feet per second", "knots"};
    for (int d = 0; d < 8; ++d) {
        SimConnect_AddToDataDefinition(h, kDefine, names[d], units[d], SimDatumFloat64, 0, kSimUnusedDatumId);
    }
    SimConnectInitPosition at{47.46, 8.55, 3000, 0, 0, 70, 0, 250};
    SimConnect_AICreateNonATCAircraft(h, "Stub Airliner", "BENCH1", at, kCreateRequest);
}

bool lf_sendPositions(SimConnectHandle h, std::uint32_t objectId, int packets) {
    static const std::vector<Bytes> blocks = [] {
        std::vector<Bytes> b;
        for (int i = 0; i < 256; ++i) b.push_back(lf_position(i));
        return b;
    }();
    for (int i = 0; i < packets; ++i) {
        const Bytes& block = blocks[static_cast<std::size_t>(i) % blocks.size()];
        if (gf_simConnectFailed(SimConnect_SetDataOnSimObject(h, kDefine, objectId, 0, 0, kPositionBytes, block.data())))
            return false;
    }
    return true;
}

// The client's session with simstub: set up once, then one run a round.
class ClientToStub {
public:
    explicit ClientToStub(int port) {
        lf_writeConfig(port);
        if (gf_simConnectFailed(SimConnect_Open(&h_, "sim_send_bench", nullptr, 0, nullptr, 0)) || !h_) return;
        lf_setUp(h_);
        ready_ = lf_pump(h_, r_, &Received::created);
    }
    ~ClientToStub() {
        if (h_) SimConnect_Close(h_);
    }
    // Seconds, 0 on failure.
    double run(int packets) {
        if (!ready_) return 0;
        r_.done = false;
        const auto start = Clock::now();
        // simstub handles packets in order: its answer to a subscription
        // sent last means every position before it has arrived.
        if (!lf_sendPositions(h_, r_.objectId, packets)) return 0;
        SimConnect_SubscribeToSystemEvent(h_, kDoneEvent, "Sim");
        if (!lf_pump(h_, r_, &Received::done)) return 0;
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

private:
    SimConnectHandle h_ = nullptr;
    Received r_;
    bool ready_ = false;
};

class ClientToReader {
public:
    ClientToReader() {
        if (reader_.port() == 0) return;
        lf_writeConfig(reader_.port());
        if (gf_simConnectFailed(SimConnect_Open(&h_, "sim_send_bench", nullptr, 0, nullptr, 0)) || !h_) return;
        // The Open packet comes first; its size is its first word.
        const auto openSize = reader_.firstWord();
        if (!openSize) return;
        total_ = *openSize;
        reader_.expect(total_);
        ready_ = reader_.waitReached().has_value();
    }
    ~ClientToReader() {
        if (h_) SimConnect_Close(h_);
    }
    double run(int packets) {
        if (!ready_) return 0;
        total_ += static_cast<std::size_t>(packets) * kPacketBytes;
        reader_.expect(total_);
        const auto start = Clock::now();
        if (!lf_sendPositions(h_, 100, packets)) return 0;
        const auto end = reader_.waitReached();
        return end ? std::chrono::duration<double>(*end - start).count() : 0;
    }

private:
    Reader reader_;
    SimConnectHandle h_ = nullptr;
    std::size_t total_ = 0;
    bool ready_ = false;
};

// ---- the bare socket ----

// The client's own set-up packets, taken once from its byte stream to a
// reader, so the bare socket opens its simstub session exactly as the client
// does: Open, the definition and the creation; then the closing subscription.
struct Script {
    Bytes setUp;
    Bytes done;
    std::uint32_t version = 0;
};

Script lf_captureScript() {
    Script script;
    Reader reader(true);
    if (reader.port() == 0) return script;
    lf_writeConfig(reader.port());
    SimConnectHandle h = nullptr;
    if (gf_simConnectFailed(SimConnect_Open(&h, "sim_send_bench", nullptr, 0, nullptr, 0)) || !h) return script;
    lf_setUp(h);
    SimConnect_SubscribeToSystemEvent(h, kDoneEvent, "Sim");
    SimConnect_Close(h);
    const Bytes all = reader.takeKept();
    for (std::size_t at = 0; at + 16 <= all.size();) {
        const std::uint32_t size = lf_u32(all.data() + at), id = lf_u32(all.data() + at + 8);
        if (size < 16 || at + size > all.size()) break;
        Bytes& to = id == kFnSubscribe ? script.done : script.setUp;
        if (id == kFnOpen) script.version = lf_u32(all.data() + at + 4);
        if (id == kFnOpen || id == kFnAddToDefinition || id == kFnCreate || id == kFnSubscribe)
            to.insert(to.end(), all.begin() + static_cast<std::ptrdiff_t>(at),
                      all.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
    }
    return script;
}

bool lf_rawPositions(int s, std::uint32_t version, std::uint32_t objectId, int packets) {
    Bytes packet(kPacketBytes);
    const std::uint32_t header[9] = {kPacketBytes, version, kFnSetData, 0, kDefine, objectId, 0, 1, kPositionBytes};
    std::memcpy(packet.data(), header, sizeof header);
    for (int i = 0; i < packets; ++i) {
        const std::uint32_t sendId = static_cast<std::uint32_t>(i + 100);
        std::memcpy(packet.data() + 12, &sendId, 4);
        const Bytes block = lf_position(i % 256);
        std::memcpy(packet.data() + 36, block.data(), kPositionBytes);
        if (send(s, packet.data(), packet.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(packet.size())) return false;
    }
    return true;
}

// Reads simstub's messages until one passes the test; false on a closed link.
bool lf_awaitMessage(int s, Bytes& pending, const std::function<bool(const std::uint8_t*, std::uint32_t)>& wanted) {
    std::uint8_t buffer[65536];
    for (;;) {
        while (pending.size() >= 4) {
            const std::uint32_t size = lf_u32(pending.data());
            if (size < 4) return false;
            if (pending.size() < size) break;
            const bool hit = size >= 12 && wanted(pending.data(), size);
            pending.erase(pending.begin(), pending.begin() + size);
            if (hit) return true;
        }
        const ssize_t n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        pending.insert(pending.end(), buffer, buffer + n);
    }
}

class RawToStub {
public:
    RawToStub(int port, const Script& script) : script_(script), s_(lf_connect(port)) {
        ready_ = s_ >= 0 && lf_sendAll(s_, script.setUp) &&
                 lf_awaitMessage(s_, pending_, [&](const std::uint8_t* m, std::uint32_t size) {
                     if (lf_u32(m + 8) != kMsgAssignedObjectId || size < 20 || lf_u32(m + 12) != kCreateRequest)
                         return false;
                     objectId_ = lf_u32(m + 16);
                     return true;
                 });
    }
    ~RawToStub() {
        if (s_ >= 0) close(s_);
    }
    double run(int packets) {
        if (!ready_) return 0;
        const auto start = Clock::now();
        if (!lf_rawPositions(s_, script_.version, objectId_, packets) || !lf_sendAll(s_, script_.done) ||
            !lf_awaitMessage(s_, pending_, [](const std::uint8_t* m, std::uint32_t size) {
                return lf_u32(m + 8) == kMsgEvent && size >= 20 && lf_u32(m + 16) == kDoneEvent;
            })) {
            return 0;
        }
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

private:
    const Script& script_;
    int s_;
    Bytes pending_;
    std::uint32_t objectId_ = 0;
    bool ready_ = false;
};

class RawToReader {
public:
    RawToReader() : s_(reader_.port() ? lf_connect(reader_.port()) : -1) {}
    ~RawToReader() {
        if (s_ >= 0) close(s_);
    }
    double run(int packets) {
        if (s_ < 0) return 0;
        total_ += static_cast<std::size_t>(packets) * kPacketBytes;
        reader_.expect(total_);
        const auto start = Clock::now();
        if (!lf_rawPositions(s_, 35, 100, packets)) return 0;
        const auto end = reader_.waitReached();
        return end ? std::chrono::duration<double>(*end - start).count() : 0;
    }

private:
    Reader reader_;
    int s_;
    std::size_t total_ = 0;
};

// ---- figures ----

double lf_median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Series {
    const char* key;
    const char* label;
    std::function<double()> run;     // seconds, 0 on failure
    std::vector<double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
    const int packets = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 81;
    const fs::path folder = fs::temp_directory_path() / ("glim_sim_send_bench_" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::current_path(folder);
    const Stub stub = lf_startStub(folder);
    if (stub.port == 0) {
        std::fprintf(stderr, "simstub did not start (%s)\n", GLIM_SIMSTUB_PATH);
        return 1;
    }
    const Script script = lf_captureScript();
    if (script.setUp.empty() || script.done.empty()) {
        std::fprintf(stderr, "the client's set-up packets could not be taken\n");
        return 1;
    }
    // Each run's connection stays open through the rounds: the client's
    // Close alone waits a third of a second, far longer than a run.
    RawToReader rawToReader;
    RawToStub rawToStub(stub.port, script);
    ClientToReader clientToReader;
    ClientToStub clientToStub(stub.port);
    std::vector<Series> series = {
        {"sim_raw_pps", "raw -> reader    ", [&] { return rawToReader.run(packets); }, {}},
        {"sim_stub_raw_pps", "raw -> simstub   ", [&] { return rawToStub.run(packets); }, {}},
        {"sim_client_plain_pps", "client -> reader ", [&] { return clientToReader.run(packets); }, {}},
        {"sim_client_pps", "client -> simstub", [&] { return clientToStub.run(packets); }, {}},
    };
    bool failed = false;
    for (int r = 0; r < rounds && !failed; ++r) {
        for (std::size_t i = 0; i < series.size() && !failed; ++i) {
            Series& s = series[r % 2 ? series.size() - 1 - i : i];
            const double seconds = s.run();
            if (seconds <= 0) {
                std::fprintf(stderr, "%s failed in round %d\n", s.label, r + 1);
                failed = true;
            }
            s.seconds.push_back(seconds);
        }
    }
    kill(stub.pid, SIGTERM);
    waitpid(stub.pid, nullptr, 0);
    fs::current_path(folder.parent_path());
    fs::remove_all(folder);
    if (failed) return 1;

    std::printf("SetDataOnSimObject, %u bytes each, %d packets a run, %d rounds; Nagle on at every sender\n",
                kPacketBytes, packets, rounds);
    const Series& reference = series[0];
    for (const Series& s : series) {
        std::vector<double> rates, ratios;
        for (std::size_t r = 0; r < s.seconds.size(); ++r) {
            rates.push_back(packets / s.seconds[r]);
            ratios.push_back(s.seconds[r] / reference.seconds[r]);
        }
        const double rate = lf_median(rates);
        std::printf("%s %10.0f packets/s", s.label, rate);
        if (&s != &reference) {
            std::printf("  time %.2fx raw -> reader (rounds %.2f..%.2f)", lf_median(ratios),
                        *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()));
        }
        std::printf("\n");
    }
    for (const Series& s : series) {
        std::vector<double> rates, ratios;
        for (std::size_t r = 0; r < s.seconds.size(); ++r) {
            rates.push_back(packets / s.seconds[r]);
            ratios.push_back(s.seconds[r] / reference.seconds[r]);
        }
        std::printf("RESULT %s %.0f packets/s\n", s.key, lf_median(rates));
        if (&s != &reference) {
            std::printf("RATIO %s %s %.3f %.3f %.3f %d\n", s.key, reference.key, lf_median(ratios),
                        *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                        rounds);
        }
    }
    return 0;
}
