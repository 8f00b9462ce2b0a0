#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumora::test {

// A small HTTP/1.1 server on 127.0.0.1 and a port of the kernel's choice.
// Each connection is served on its own thread (so requests that overlap are
// seen overlapping); the reply is written as the handler describes it, then
// the connection is closed. Stops (and joins its threads) when destroyed.
class LoopbackHttpServer {
public:
    struct Request {
        std::string method;
        std::string target;  // path and query as sent
    };
    struct Reply {
        int status = 200;
        // The body, written in these pieces with `gap` between them.
        std::vector<std::string> parts;
        std::chrono::milliseconds gap{30};
        // Wait this long before the status line.
        std::chrono::milliseconds delay{0};
        // Never answer (the connection is held until the client gives up or
        // the server stops).
        bool hang = false;
    };
    using Handler = std::function<Reply(const Request&)>;

    explicit LoopbackHttpServer(Handler handler);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>" + path (path starts with "/").
    std::string url(const std::string& path) const;
    // "127.0.0.1:<port>"
    std::string hostAndPort() const;

    // Event log in order: "recv <target>" when a request was read,
    // "done <target>" just before the last bytes of its reply are written.
    std::vector<std::string> events() const;
    std::vector<Request> requests() const;
    // Waits until at least n events were logged.
    bool waitForEvents(size_t n, std::chrono::milliseconds timeout) const;

private:
    void acceptLoop();
    void serve(int fd);
    void log(const std::string& event);

    Handler handler_;
    int listenFd_ = -1;
    int stopFd_ = -1;
    uint16_t port_ = 0;
    std::thread acceptor_;
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::vector<std::thread> workers_;
    std::vector<std::string> events_;
    std::vector<Request> requests_;
    bool stopping_ = false;
};

}  // namespace lumora::test
