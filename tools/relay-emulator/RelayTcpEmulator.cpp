#include "tools/relay-emulator/RelayTcpEmulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace lumora::relayemu {

namespace {

bool sendAllTcp(int fd, const std::vector<uint8_t>& d) {
    size_t done = 0;
    while (done < d.size()) {
        ssize_t n = ::send(fd, d.data() + done, d.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

RelayTcpEmulator::RelayTcpEmulator(const std::string& bindAddr, uint16_t port, Script script,
                                   std::chrono::milliseconds lifetime)
    : addr_(bindAddr), script_(script) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::inet_pton(AF_INET, bindAddr.c_str(), &a.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 64) != 0) {
        ::close(fd);
        return;
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    listenFd_ = fd;
    thread_ = std::thread([this, until = std::chrono::steady_clock::now() + lifetime] { run(until); });
}

RelayTcpEmulator::~RelayTcpEmulator() {
    stop();
    if (listenFd_ >= 0) ::close(listenFd_);
}

void RelayTcpEmulator::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void RelayTcpEmulator::registerDevice(const std::string& uid, const Device& device) {
    std::lock_guard<std::mutex> g(lock_);
    devices_[uid.substr(0, 32)] = device;
}

void RelayTcpEmulator::setScript(const Script& script) {
    std::lock_guard<std::mutex> g(lock_);
    script_ = script;
    answeredOrSilenced_ = 0;
}

void RelayTcpEmulator::dropConnections() { dropAll_ = true; }

int RelayTcpEmulator::requests(uint16_t type) const {
    std::lock_guard<std::mutex> g(lock_);
    return static_cast<int>(std::count_if(log_.begin(), log_.end(), [&](const Request& r) { return r.type == type; }));
}

std::vector<RelayTcpEmulator::Request> RelayTcpEmulator::requestLog() const {
    std::lock_guard<std::mutex> g(lock_);
    return log_;
}

void RelayTcpEmulator::run(std::chrono::steady_clock::time_point until) {
    std::vector<Client> clients;
    auto closeClient = [&](Client& c) {
        ::close(c.fd);
        c.fd = -1;
        --open_;
    };
    while (!stop_ && std::chrono::steady_clock::now() < until) {
        if (dropAll_.exchange(false))
            for (Client& c : clients) closeClient(c);
        clients.erase(std::remove_if(clients.begin(), clients.end(), [](const Client& c) { return c.fd < 0; }),
                      clients.end());
        std::vector<pollfd> p;
        p.push_back({listenFd_, POLLIN, 0});
        for (const Client& c : clients) p.push_back({c.fd, POLLIN, 0});
        if (::poll(p.data(), p.size(), 20) <= 0) continue;
        if (p[0].revents & POLLIN) {
            int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                ++accepted_;
                bool closeNow;
                {
                    std::lock_guard<std::mutex> g(lock_);
                    closeNow = script_.closeOnAccept;
                }
                if (closeNow) {
                    ::close(fd);
                } else {
                    ++open_;
                    clients.push_back({fd, {}});
                }
            }
        }
        for (size_t i = 1; i < p.size(); ++i) {
            if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Client& c = clients[i - 1];
            uint8_t buf[2048];
            ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
            if (n <= 0) {
                closeClient(c);
                continue;
            }
            c.buffer.insert(c.buffer.end(), buf, buf + n);
            if (!handle(c)) closeClient(c);
        }
    }
    for (Client& c : clients)
        if (c.fd >= 0) closeClient(c);
}

bool RelayTcpEmulator::handle(Client& c) {
    while (c.buffer.size() >= 4) {
        uint16_t type = get16(c.buffer.data());
        size_t size = tcpRequestSize(type);
        if (size == 0) return false;  // not a request of this protocol: hang up
        if (c.buffer.size() < size) return true;
        std::string uid = getText(c.buffer.data() + 4, 32);
        c.buffer.erase(c.buffer.begin(), c.buffer.begin() + static_cast<long>(size));
        std::vector<uint8_t> answer = answerFor(type, uid);
        if (!answer.empty() && !sendAllTcp(c.fd, answer)) return false;
    }
    return true;
}

std::vector<uint8_t> RelayTcpEmulator::answerFor(uint16_t type, const std::string& uid) {
    std::lock_guard<std::mutex> g(lock_);
    log_.push_back({type, uid});
    if (answeredOrSilenced_++ < script_.silentFor) return {};
    auto it = devices_.find(uid);
    std::vector<uint8_t> answer;
    if (type == kStatusRequest) {
        answer = encodeStatusAnswer(uid, it == devices_.end() ? 0 : it->second.status);
    } else if (type == kCloseRequest) {
        answer = encodeCloseAnswer(uid, 0);
    } else {
        OpenAnswer a;
        a.uid = uid;
        if (it == devices_.end()) {
            a.result = 1;
        } else {
            const Answer& src = type == kOpenRequest        ? it->second.open
                                : type == kFailedTcpRequest ? it->second.afterFailedTcp
                                                            : it->second.afterFailedUdt;
            a.result = src.result;
            a.mode = src.mode;
            a.addr = src.addr;
            a.port = src.port;
            a.connectionId = src.connectionId;
        }
        answer = encodeOpenAnswer(a);
    }
    if (script_.answerBytes >= 0 && static_cast<size_t>(script_.answerBytes) < answer.size())
        answer.resize(static_cast<size_t>(script_.answerBytes));
    return answer;
}

}  // namespace lumora::relayemu
