// The host's view of a client connection and of a listening endpoint, behind
// which sit BSD sockets, Winsock or a named pipe. Everything is non-blocking:
// the host polls every link about once a millisecond from one thread.
#pragma once

#include "simstub/wire.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace simstub {

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
};

class Listener {
public:
    virtual ~Listener() = default;
    // A newly connected client, or null when none is waiting.
    virtual std::unique_ptr<Link> accept() = 0;
};

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
