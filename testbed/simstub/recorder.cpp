#include "simstub/recorder.h"

namespace simstub {

std::string jsonLine(const nlohmann::json& line) {
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

Recorder::Recorder(const std::filesystem::path& path) {
    if (!path.empty()) {
#ifdef _WIN32
        file_ = _wfopen(path.c_str(), L"ab");
#else
        file_ = std::fopen(path.c_str(), "ab");
#endif
    }
}

Recorder::~Recorder() {
    if (file_) std::fclose(file_);
}

void Recorder::write(const nlohmann::json& line) {
    if (!file_) return;
    // The whole line goes out in one write and is flushed at once, so a
    // reader never sees half a line unless it reads in the middle of it.
    std::string text = jsonLine(line);
    text += '\n';
    std::lock_guard lock(mutex_);
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
}

}  // namespace simstub
