#include "support/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace lumora::test {

namespace {

bool sendAll(int fd, const std::string& data) {
    size_t off = 0;
    while (off < data.size()) {
        ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        off += static_cast<size_t>(n);
    }
    return true;
}

const char* reasonFor(int status) {
    switch (status) {
        case 200: return "OK";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("socket");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || ::listen(listenFd_, 16) < 0)
        throw std::runtime_error("bind/listen");
    socklen_t len = sizeof a;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    {
        std::lock_guard<std::mutex> g(lock_);
        stopping_ = true;
    }
    uint64_t one = 1;
    ssize_t n = ::write(stopFd_, &one, sizeof one);
    (void)n;
    changed_.notify_all();
    acceptor_.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> g(lock_);
        workers.swap(workers_);
    }
    for (auto& w : workers) w.join();
    ::close(listenFd_);
    ::close(stopFd_);
}

std::string LoopbackHttpServer::url(const std::string& path) const { return "http://" + hostAndPort() + path; }

std::string LoopbackHttpServer::hostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> LoopbackHttpServer::events() const {
    std::lock_guard<std::mutex> g(lock_);
    return events_;
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const {
    std::lock_guard<std::mutex> g(lock_);
    return requests_;
}

bool LoopbackHttpServer::waitForEvents(size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, timeout, [&] { return events_.size() >= n; });
}

void LoopbackHttpServer::log(const std::string& event) {
    {
        std::lock_guard<std::mutex> g(lock_);
        events_.push_back(event);
    }
    changed_.notify_all();
}

void LoopbackHttpServer::acceptLoop() {
    while (true) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard<std::mutex> g(lock_);
        workers_.emplace_back([this, fd] { serve(fd); });
    }
}

void LoopbackHttpServer::serve(int fd) {
    // Waits on the stop signal; false when the server stops meanwhile.
    auto pause = [this](std::chrono::milliseconds d) {
        pollfd p{stopFd_, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(d.count())) == 0;
    };
    std::string head;
    char buf[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, 10000) <= 0 || fds[1].revents) {
            ::close(fd);
            return;
        }
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            ::close(fd);
            return;
        }
        head.append(buf, static_cast<size_t>(n));
    }
    Request req;
    size_t sp1 = head.find(' ');
    size_t sp2 = sp1 == std::string::npos ? sp1 : head.find(' ', sp1 + 1);
    if (sp2 != std::string::npos) {
        req.method = head.substr(0, sp1);
        req.target = head.substr(sp1 + 1, sp2 - sp1 - 1);
    }
    {
        std::lock_guard<std::mutex> g(lock_);
        requests_.push_back(req);
    }
    log("recv " + req.target);
    Reply reply = handler_(req);
    if (reply.hang) {
        pollfd p{stopFd_, POLLIN, 0};
        ::poll(&p, 1, 60000);
        ::close(fd);
        return;
    }
    if (reply.delay.count() > 0 && !pause(reply.delay)) {
        ::close(fd);
        return;
    }
    size_t length = 0;
    for (auto& p : reply.parts) length += p.size();
    std::string status = "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonFor(reply.status) +
                         "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(length) +
                         "\r\nConnection: close\r\n\r\n";
    // "done" is logged just before the last bytes go out, so that nothing
    // the client does after reading the whole reply can be logged before it.
    if (reply.parts.empty()) log("done " + req.target);
    bool ok = sendAll(fd, status);
    for (size_t i = 0; ok && i < reply.parts.size(); ++i) {
        if (i > 0 && !pause(reply.gap)) {
            ok = false;
            break;
        }
        if (i + 1 == reply.parts.size()) log("done " + req.target);
        ok = sendAll(fd, reply.parts[i]);
    }
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
}

}  // namespace lumora::test
