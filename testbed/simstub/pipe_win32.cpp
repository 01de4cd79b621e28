// The simulator's named pipe: byte-mode instances with overlapped I/O, served
// by the host without blocking; the operations' events wake the host. One
// instance always waits for the next client.
#include "simstub/link.h"

#include <windows.h>

#include <string>

namespace simstub {

namespace {

constexpr DWORD kPipeBufferSize = 65536;

std::wstring lf_widen(const std::string& text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

class Overlapped {
public:
    Overlapped() {
        ZeroMemory(&ov, sizeof ov);
        ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~Overlapped() {
        if (ov.hEvent) CloseHandle(ov.hEvent);
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    OVERLAPPED ov;
};

class PipeLink : public Link {
public:
    explicit PipeLink(HANDLE h) : h_(h) {}
    ~PipeLink() override {
        // The buffers and OVERLAPPEDs belong to this object: the outstanding
        // operations must be finished before they go.
        CancelIoEx(h_, nullptr);
        DWORD n = 0;
        if (readPending_) GetOverlappedResult(h_, &read_.ov, &n, TRUE);
        if (writePending_) GetOverlappedResult(h_, &write_.ov, &n, TRUE);
        DisconnectNamedPipe(h_);
        CloseHandle(h_);
    }

    bool readAvailable(Bytes& out) override {
        for (;;) {
            DWORD n = 0;
            if (!readPending_) {
                if (!ReadFile(h_, buf_, sizeof buf_, nullptr, &read_.ov) && GetLastError() != ERROR_IO_PENDING) {
                    return false;
                }
                readPending_ = true;
            }
            if (!GetOverlappedResult(h_, &read_.ov, &n, FALSE)) {
                return GetLastError() == ERROR_IO_INCOMPLETE;
            }
            readPending_ = false;
            out.insert(out.end(), buf_, buf_ + n);
        }
    }

    bool write(const Bytes& bytes) override {
        queued_.insert(queued_.end(), bytes.begin(), bytes.end());
        return flush();
    }

    bool flush() override {
        for (;;) {
            if (writePending_) {
                DWORD n = 0;
                if (!GetOverlappedResult(h_, &write_.ov, &n, FALSE)) {
                    return GetLastError() == ERROR_IO_INCOMPLETE;
                }
                writePending_ = false;
                inFlight_.erase(inFlight_.begin(), inFlight_.begin() + n);
                if (!inFlight_.empty()) {
                    // A short write: what is left goes out before anything newer.
                    inFlight_.insert(inFlight_.end(), queued_.begin(), queued_.end());
                    queued_.swap(inFlight_);
                    inFlight_.clear();
                }
            }
            if (queued_.empty()) return true;
            inFlight_.swap(queued_);
            queued_.clear();
            if (!WriteFile(h_, inFlight_.data(), static_cast<DWORD>(inFlight_.size()), nullptr, &write_.ov) &&
                GetLastError() != ERROR_IO_PENDING) {
                return false;
            }
            writePending_ = true;
        }
    }

    bool idle() const override { return !writePending_ && queued_.empty(); }
    std::string transport() const override { return "pipe"; }
    bool addWaitables(std::vector<Waitable>& out) override {
        if (readPending_) out.push_back({reinterpret_cast<std::intptr_t>(read_.ov.hEvent), false});
        if (writePending_) out.push_back({reinterpret_cast<std::intptr_t>(write_.ov.hEvent), true});
        // Output not yet handed to the pipe: the next pass must see to it.
        return !writePending_ && !queued_.empty();
    }

private:
    HANDLE h_;
    Overlapped read_;
    Overlapped write_;
    bool readPending_ = false;
    bool writePending_ = false;
    std::uint8_t buf_[kPipeBufferSize];
    Bytes inFlight_;
    Bytes queued_;
};

class PipeListener : public Listener {
public:
    explicit PipeListener(std::wstring path) : path_(std::move(path)) {}
    ~PipeListener() override { dropInstance(); }

    // The first instance claims the name, so a second stand-in (or a real
    // simulator) already serving it is reported instead of shared.
    bool createInstance(bool first, std::string& error) {
        DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
        h_ = CreateNamedPipeW(path_.c_str(), openMode, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                              PIPE_UNLIMITED_INSTANCES, kPipeBufferSize, kPipeBufferSize, 0, nullptr);
        if (h_ == INVALID_HANDLE_VALUE) {
            error = "CreateNamedPipe failed: " + std::to_string(GetLastError());
            return false;
        }
        connected_ = false;
        connectPending_ = false;
        if (!ConnectNamedPipe(h_, &connect_.ov)) {
            DWORD e = GetLastError();
            if (e == ERROR_PIPE_CONNECTED) {
                connected_ = true;
            } else if (e == ERROR_IO_PENDING) {
                connectPending_ = true;
            } else {
                error = "ConnectNamedPipe failed: " + std::to_string(e);
                dropInstance();
                return false;
            }
        } else {
            connected_ = true;
        }
        return true;
    }

    std::unique_ptr<Link> accept() override {
        if (h_ == INVALID_HANDLE_VALUE) {
            std::string ignored;
            if (!createInstance(false, ignored)) return nullptr;
        }
        if (!connected_) {
            DWORD n = 0;
            if (!GetOverlappedResult(h_, &connect_.ov, &n, FALSE)) {
                if (GetLastError() == ERROR_IO_INCOMPLETE) return nullptr;
                // A client that came and went before being served: start over.
                connectPending_ = false;
                dropInstance();
                return nullptr;
            }
            connectPending_ = false;
        }
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        std::string ignored;
        createInstance(false, ignored);
        return std::make_unique<PipeLink>(h);
    }

    bool addWaitables(std::vector<Waitable>& out) override {
        // Without an instance the next pass tries to make one after the wait.
        if (h_ == INVALID_HANDLE_VALUE) return false;
        if (connected_) return true;
        out.push_back({reinterpret_cast<std::intptr_t>(connect_.ov.hEvent), false});
        return false;
    }

private:
    void dropInstance() {
        if (h_ == INVALID_HANDLE_VALUE) return;
        CancelIoEx(h_, nullptr);
        DWORD n = 0;
        if (connectPending_) GetOverlappedResult(h_, &connect_.ov, &n, TRUE);
        CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

    std::wstring path_;
    HANDLE h_ = INVALID_HANDLE_VALUE;
    Overlapped connect_;
    bool connected_ = false;
    bool connectPending_ = false;
};

}  // namespace

std::unique_ptr<Listener> openPipeListener(const std::string& path, std::string& error) {
    auto listener = std::make_unique<PipeListener>(lf_widen(path));
    if (!listener->createInstance(true, error)) return nullptr;
    return listener;
}

}  // namespace simstub
