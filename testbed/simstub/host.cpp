#include "simstub/host.h"

#include <cstdio>
#include <fstream>
#include <iostream>

namespace simstub {

namespace {

constexpr double kControlPollS = 0.1;
constexpr double kStateWriteS = 0.1;
// The longest wait between passes when no link has anything to do: frames,
// periodic data, the control file and the state file are due on the clock.
constexpr int kLoopWaitMs = 1;

}  // namespace

bool writeFileAtomically(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::path temp = path;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << text;
        out.flush();
        if (!out) return false;
    }
    return replaceFile(temp, path);
}

Host::Host(HostOptions options, const Scenario& scenario)
    : options_(std::move(options)),
      recorder_(options_.recordFile),
      stub_(scenario, &recorder_),
      start_(std::chrono::steady_clock::now()) {}

Host::~Host() {
    clients_.clear();
    listeners_.clear();
    if (netStarted_) netCleanup();
}

double Host::elapsedS() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

bool Host::start(std::string& error) {
    if (!options_.recordFile.empty() && !recorder_.isOpen()) {
        error = "cannot open the record file " + options_.recordFile.string();
        return false;
    }
    if (!netStartup()) {
        error = "the socket library does not start";
        return false;
    }
    netStarted_ = true;
    if (options_.tcp) {
        auto l = openTcpListener(options_.port, port_, error);
        if (!l) return false;
        listeners_.push_back(std::move(l));
    }
    if (options_.pipe) {
        auto l = openPipeListener(options_.pipePath, error);
        if (!l) return false;
        listeners_.push_back(std::move(l));
    }
    if (listeners_.empty()) {
        error = "neither TCP nor a pipe to listen on";
        return false;
    }
    // The control file's earlier lines belong to an earlier run.
    std::error_code ec;
    if (!options_.controlFile.empty()) {
        auto size = std::filesystem::file_size(options_.controlFile, ec);
        controlOffset_ = ec ? 0 : size;
    }
    writeState(true);
    // The port file comes last: a test that sees it may connect at once.
    if (!options_.portFile.empty() && !writeFileAtomically(options_.portFile, std::to_string(port_) + "\n")) {
        error = "cannot write the port file " + options_.portFile.string();
        return false;
    }
    return true;
}

void Host::acceptClients() {
    for (auto& l : listeners_) {
        while (auto link = l->accept()) {
            SessionId id = stub_.connect(link->transport());
            clients_.push_back(Client{id, std::move(link)});
        }
    }
}

void Host::serviceClients() {
    Bytes in;
    for (auto& c : clients_) {
        in.clear();
        bool alive = c.link->readAvailable(in);
        if (!in.empty()) stub_.receive(c.session, in.data(), in.size());
        if (!alive) {
            stub_.disconnect(c.session, "closed by the client");
            c.link.reset();
        }
    }
    stub_.tick();
    for (auto& c : clients_) {
        if (!c.link) continue;
        Bytes out = stub_.takeOutput(c.session);
        bool ok = out.empty() ? c.link->flush() : c.link->write(out);
        if (!ok) {
            stub_.disconnect(c.session, "write failed");
            c.link.reset();
        } else if (stub_.wantsClose(c.session)) {
            stub_.disconnect(c.session, "dropped by the stand-in");
            c.link.reset();
        }
    }
    std::erase_if(clients_, [](const Client& c) { return !c.link; });
}

bool Host::pollControl() {
    if (options_.controlFile.empty()) return true;
    std::error_code ec;
    auto size = std::filesystem::file_size(options_.controlFile, ec);
    if (ec) return true;
    if (size < controlOffset_) controlOffset_ = 0;     // truncated or made anew
    if (size == controlOffset_) return true;
    std::ifstream in(options_.controlFile, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(controlOffset_));
    std::string text(static_cast<std::size_t>(size - controlOffset_), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    // Only whole lines: a writer may be half-way through the next one.
    bool keepRunning = true;
    std::size_t pos = 0;
    for (std::size_t nl; (nl = text.find('\n', pos)) != std::string::npos; pos = nl + 1) {
        std::string line = text.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        CommandResult r = stub_.command(line);
        if (!r.ok) std::cerr << "simstub: " << r.message << "\n";
        if (r.stop) keepRunning = false;
    }
    controlOffset_ += pos;
    return keepRunning;
}

void Host::writeState(bool force) {
    if (stub_.takeStateChanged()) stateDirty_ = true;
    if (options_.stateFile.empty() || !stateDirty_) return;
    double now = elapsedS();
    if (!force && now < nextStateWriteS_) return;
    if (writeFileAtomically(options_.stateFile, jsonLine(stub_.state()) + "\n")) {
        stateDirty_ = false;
        nextStateWriteS_ = now + kStateWriteS;
    }
}

bool Host::pollOnce() {
    stub_.setTime(elapsedS());
    acceptClients();
    serviceClients();
    bool keepRunning = true;
    if (elapsedS() >= nextControlPollS_) {
        nextControlPollS_ = elapsedS() + kControlPollS;
        keepRunning = pollControl();
        // Messages a command produced go out in this pass.
        serviceClients();
    }
    writeState(!keepRunning);
    return keepRunning;
}

void Host::waitForWork() {
    std::vector<Waitable> waitables;
    bool ready = false;
    for (auto& l : listeners_) ready = l->addWaitables(waitables) || ready;
    for (auto& c : clients_) ready = c.link->addWaitables(waitables) || ready;
    if (!ready) waitForAny(waitables, kLoopWaitMs);
}

void Host::run(const std::atomic<bool>& stop) {
    while (!stop.load() && pollOnce()) {
        waitForWork();
    }
    writeState(true);
}

}  // namespace simstub
