// sitestub: the maker's download site as a static HTTP server on 127.0.0.1.
//
//   sitestub --root <folder> [--port <n>] [--port-file <file>]
//            [--stall <name>]... [--cut <name>]... [--redirect <name>]... [--stall-seconds <n>]
//            [--trickle <name>]... [--trickle-rate <bytes a second>] [--claim <name>]...
//            [--unsized <name>]... [--claim-bytes <n>] [--max-seconds <n>]
//
// Serves the files of <folder> (a request for /a/b.bin gives <folder>/a/b.bin)
// and answers 404 for anything else. testbed/sitestub/site is a folder to
// serve for a demo: its downloads/versions.json names the program's own
// version, so the update check finds the program up to date. (The update
// tests build their own folders, with the data files and installer archives
// they need.) Port 0 (the default) takes a free port;
// the port is printed on the first line of stdout or, with --port-file,
// written to that file instead (created complete, so a waiting test never
// reads half of it). The failure switches name a file by its path below the root:
//   --stall  sends the headers and half of the body, then sends nothing more
//            until the client goes away or --stall-seconds (default 60) pass;
//   --cut    announces the whole Content-Length, sends half of the body and
//            closes the connection;
//   --redirect answers 302 with the file's bytes as its body;
//   --trickle sends the body at --trickle-rate bytes a second (default 150);
//   --claim  announces a Content-Length of --claim-bytes (default 10485760)
//            whatever the file's size, and sends the file followed by blanks
//            up to that length (a site that lies about what it serves);
//   --unsized sends the same padded body in chunks, announcing no length.
// --trickle combines with --claim and --unsized: a slow site announcing a
// body far larger than the file.
// A request for /__stop ends the server; so does --max-seconds <n> after n
// seconds. Both serve callers that cannot signal the process (a test under
// Wine gets no handle of a Linux child), and the time limit keeps a stub whose
// test died from lingering.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct Options {
    fs::path root;
    int port = 0;
    fs::path portFile;
    std::set<std::string> stalled;
    std::set<std::string> cut;
    std::set<std::string> redirected;
    std::set<std::string> trickled;
    std::set<std::string> claimed;
    std::set<std::string> unsized;
    int stallSeconds = 60;
    std::size_t trickleRate_bytesPerS = 150;
    std::size_t claim_bytes = 10 * 1024 * 1024;
    int maxSeconds = 0;
};

std::atomic<bool> g_stopping{false};

[[noreturn]] void lf_usage(const std::string& problem) {
    std::cerr << "sitestub: " << problem << "\n"
              << "usage: sitestub --root <folder> [--port <n>] [--port-file <file>] [--stall <name>]... "
                 "[--cut <name>]... [--redirect <name>]... [--stall-seconds <n>] [--trickle <name>]... "
                 "[--trickle-rate <n>] [--claim <name>]... [--unsized <name>]... [--claim-bytes <n>] "
                 "[--max-seconds <n>]\n";
    std::exit(2);
}

void lf_apply(Options& options, const std::string& arg, const std::string& value) {
    if (arg == "--root") {
        options.root = value;
    } else if (arg == "--port") {
        options.port = std::stoi(value);
    } else if (arg == "--port-file") {
        options.portFile = value;
    } else if (arg == "--stall") {
        options.stalled.insert(value);
    } else if (arg == "--cut") {
        options.cut.insert(value);
    } else if (arg == "--redirect") {
        options.redirected.insert(value);
    } else if (arg == "--trickle") {
        options.trickled.insert(value);
    } else if (arg == "--claim") {
        options.claimed.insert(value);
    } else if (arg == "--unsized") {
        options.unsized.insert(value);
    } else if (arg == "--trickle-rate") {
        options.trickleRate_bytesPerS = std::stoul(value);
        if (options.trickleRate_bytesPerS == 0) throw std::invalid_argument("zero rate");
    } else if (arg == "--claim-bytes") {
        options.claim_bytes = std::stoul(value);
    } else if (arg == "--stall-seconds") {
        options.stallSeconds = std::stoi(value);
    } else if (arg == "--max-seconds") {
        options.maxSeconds = std::stoi(value);
    } else {
        lf_usage("unknown switch " + arg);
    }
}

Options lf_parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) lf_usage("missing value after " + arg);
        const std::string value = argv[++i];
        try {
            lf_apply(options, arg, value);
        } catch (const std::exception&) {
            lf_usage("bad value for " + arg + ": " + value);
        }
    }
    if (options.root.empty()) lf_usage("--root is required");
    return options;
}

// The file below root that a request path names, or nothing for a path that
// leaves the root or names no regular file.
std::optional<fs::path> lf_resolve(const fs::path& root, const std::string& name) {
    const fs::path relative = fs::path(name).lexically_normal();
    if (relative.empty() || relative.is_absolute()) return std::nullopt;
    for (const auto& part : relative) {
        if (part == "..") return std::nullopt;
    }
    const fs::path file = root / relative;
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return std::nullopt;
    return file;
}

std::shared_ptr<std::string> lf_readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream body;
    body << in.rdbuf();
    return std::make_shared<std::string>(body.str());
}

// The bytes of body from offset on, at most count of them, where the body is
// the file followed by blanks up to size.
std::string lf_paddedSlice(const std::string& file, std::size_t size, std::size_t offset, std::size_t count) {
    std::string slice;
    const std::size_t end = std::min(size, offset + count);
    for (std::size_t at = offset; at < end; ++at) slice += at < file.size() ? file[at] : ' ';
    return slice;
}

// Writes the padded body's next bytes from offset on: a large block, or at
// the trickle's pace one tenth of a second's worth after a pause. The count
// written, or nothing when the client went away or the server stops.
std::optional<std::size_t> lf_sendFrom(const std::string& file, std::size_t size, std::size_t offset,
                                       std::size_t rate_bytesPerS, httplib::DataSink& sink) {
    std::size_t count = 64 * 1024;
    if (rate_bytesPerS != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (g_stopping.load() || !sink.is_writable()) return std::nullopt;
        count = std::max<std::size_t>(1, rate_bytesPerS / 10);
    }
    const std::string slice = lf_paddedSlice(file, size, offset, count);
    if (!sink.write(slice.data(), slice.size())) return std::nullopt;
    return slice.size();
}

void lf_writePortFile(const fs::path& portFile, int port) {
    fs::path temp = portFile;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << port << "\n";
    }
    fs::rename(temp, portFile);
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = lf_parse(argc, argv);
    httplib::Server server;

    server.Get("/__stop", [&server](const httplib::Request&, httplib::Response& res) {
        res.set_content("stopping", "text/plain");
        // stop() only closes the listening socket; the server finishes this
        // answer before listen returns. A thread of its own could still be
        // inside stop() when main returns and the server is gone.
        if (!g_stopping.exchange(true)) server.stop();
    });
    server.Get(R"(/.*)", [&options](const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.path.substr(1);
        const auto file = lf_resolve(options.root, name);
        if (!file) {
            res.status = 404;
            res.set_content("Not Found", "text/plain");
            return;
        }
        const auto body = lf_readFile(*file);
        const std::size_t half = body->size() / 2;
        const auto type = "application/octet-stream";
        if (options.redirected.count(name) != 0) {
            // A moved page: the file's bytes come as the body of the 302.
            res.status = 302;
            res.set_header("Location", "/moved/" + name);
            res.set_content(*body, "text/html");
        } else if (options.trickled.count(name) != 0 || options.claimed.count(name) != 0 ||
                   options.unsized.count(name) != 0) {
            const bool padded = options.claimed.count(name) != 0 || options.unsized.count(name) != 0;
            const std::size_t size = padded ? options.claim_bytes : body->size();
            const std::size_t rate = options.trickled.count(name) != 0 ? options.trickleRate_bytesPerS : 0;
            if (options.unsized.count(name) != 0) {
                auto sent = std::make_shared<std::size_t>(0);
                res.set_chunked_content_provider(type, [body, size, rate, sent](size_t, httplib::DataSink& sink) {
                    if (*sent >= size) {
                        sink.done();
                        return true;
                    }
                    const auto count = lf_sendFrom(*body, size, *sent, rate, sink);
                    if (count) *sent += *count;
                    return count.has_value();
                });
            } else {
                res.set_content_provider(size, type, [body, size, rate](size_t offset, size_t, httplib::DataSink& sink) {
                    return lf_sendFrom(*body, size, offset, rate, sink).has_value();
                });
            }
        } else if (options.stalled.count(name) != 0) {
            const int stallSeconds = options.stallSeconds;
            res.set_content_provider(body->size(), type,
                                     [body, half, stallSeconds](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset < half) return sink.write(body->data(), half);
                                         const auto until = std::chrono::steady_clock::now() +
                                                            std::chrono::seconds(stallSeconds);
                                         while (sink.is_writable() && !g_stopping.load() &&
                                                std::chrono::steady_clock::now() < until) {
                                             std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                         }
                                         return false;
                                     });
        } else if (options.cut.count(name) != 0) {
            res.set_content_provider(body->size(), type, [body, half](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset < half) return sink.write(body->data(), half);
                return false;
            });
        } else {
            res.set_content(*body, type);
        }
    });

    const int port = options.port == 0 ? server.bind_to_any_port("127.0.0.1")
                                       : (server.bind_to_port("127.0.0.1", options.port) ? options.port : -1);
    if (port <= 0) {
        std::cerr << "sitestub: cannot listen on 127.0.0.1:" << options.port << "\n";
        return 1;
    }
    if (options.portFile.empty()) {
        std::cout << port << std::endl;
    } else {
        lf_writePortFile(options.portFile, port);
    }
    // The time limit's thread is joined, not detached: it must not reach for
    // the server once main has returned. It stops the server only when
    // nothing else has begun to.
    std::thread limit;
    if (options.maxSeconds > 0) {
        limit = std::thread([&server, seconds = options.maxSeconds] {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
            while (!g_stopping.load() && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (!g_stopping.exchange(true)) server.stop();
        });
    }
    const bool ok = server.listen_after_bind();
    g_stopping.store(true);
    if (limit.joinable()) limit.join();
    return ok ? 0 : 1;
}
