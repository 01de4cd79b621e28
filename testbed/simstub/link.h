// The host's view of a client connection and of a listening endpoint, behind
// which sit BSD sockets, Winsock or a named pipe. Everything is non-blocking:
// the host serves every link from one thread and, between passes, waits until
// one of them has something to do or a millisecond has passed.
#pragma once

#include "simstub/wire.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace simstub {

// What the host waits on: a descriptor (native) or an event handle (Windows),
// and whether writing to it is awaited as well as reading.
struct Waitable {
    std::intptr_t handle = 0;
    bool write = false;
};

class Link {
public:
    virtual ~Link() = default;
    // Appends whatever has arrived; false once the peer has closed or the
    // link has failed.
    virtual bool readAvailable(Bytes& out) = 0;
    // Queues bytes and writes what the link takes now; false on failure.
    virtual bool write(const Bytes& bytes) = 0;
    // Goes on writing queued bytes; false on failure.
    virtual bool flush() = 0;
    virtual bool idle() const = 0;
    virtual std::string transport() const = 0;
    // Adds what signals new input or room for queued output; true when
    // there is work already, so the host must not wait.
    virtual bool addWaitables(std::vector<Waitable>& out) = 0;
};

class Listener {
public:
    virtual ~Listener() = default;
    // A newly connected client, or null when none is waiting.
    virtual std::unique_ptr<Link> accept() = 0;
    // As Link::addWaitables, for a client coming in.
    virtual bool addWaitables(std::vector<Waitable>& out) = 0;
};

// Waits until one of the waitables is ready or the time limit has passed.
void waitForAny(const std::vector<Waitable>& waitables, int limitMs);

// Starts the socket library where the platform needs it; false on failure.
bool netStartup();
void netCleanup();

// A TCP listener on 127.0.0.1; port 0 takes a free one. boundPort tells
// which. Null with error set on failure.
std::unique_ptr<Listener> openTcpListener(std::uint16_t port, std::uint16_t& boundPort, std::string& error);

// A named-pipe listener for the full pipe path ("\\.\pipe\..."); only the
// Windows build has one, elsewhere it fails with error set.
std::unique_ptr<Listener> openPipeListener(const std::string& path, std::string& error);

// Renames temp over target, replacing it in one step.
bool replaceFile(const std::filesystem::path& temp, const std::filesystem::path& target);

}  // namespace simstub
