// The record file: one JSON object a line, appended and flushed as it
// happens, so a test can assert on what the client sent while the stand-in
// is still running.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <mutex>

namespace simstub {

class Recorder {
public:
    // An empty path records nothing.
    explicit Recorder(const std::filesystem::path& path);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    void write(const nlohmann::json& line);

private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

// One line of JSON; texts that are not UTF-8 (titles in the simulator's
// ANSI code page) are written with replacement characters instead of failing.
std::string jsonLine(const nlohmann::json& line);

}  // namespace simstub
