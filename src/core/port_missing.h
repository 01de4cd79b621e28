// A port (the interface one subsystem offers another) asked for before the
// program's wiring installed it. Ports have no default implementation, so a
// wiring that forgot one has nothing to fall back on: the run stops, and the
// user's Log.txt says why, not only the stderr that nobody sees.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// What the thread's own handler catches: the worker's ends the run with its
// error line and SYSTEM ERROR, a reader's stops its reader.
class PortNotInstalled : public std::logic_error {
public:
    explicit PortNotInstalled(const std::string& text) : std::logic_error(text) {}
};

// Logs "==> {port} used before the wiring installed it" (flushed at once, also
// to stderr), stores SYSTEM ERROR when no reason is stored yet (which raises
// the run's stop flag), then throws PortNotInstalled with the same text.
[[noreturn]] void gf_portNotInstalled(std::string_view port);
