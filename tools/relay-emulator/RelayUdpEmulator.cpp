#include "tools/relay-emulator/RelayUdpEmulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace lumora::relayemu {

int bindUdp(const std::string& addr, uint16_t port, uint16_t& boundPort) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::inet_pton(AF_INET, addr.c_str(), &a.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    boundPort = ntohs(a.sin_port);
    return fd;
}

bool sendUdp(int fd, const std::string& addr, uint16_t port, const std::vector<uint8_t>& data) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::inet_pton(AF_INET, addr.c_str(), &a.sin_addr) != 1) return false;
    return ::sendto(fd, data.data(), data.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&a), sizeof a) ==
           static_cast<ssize_t>(data.size());
}

int receiveAny(const int* fds, int count, int ms, std::vector<uint8_t>& data, std::string& fromAddr,
               uint16_t& fromPort) {
    pollfd p[4];
    for (int i = 0; i < count; ++i) p[i] = {fds[i], POLLIN, 0};
    if (::poll(p, static_cast<nfds_t>(count), ms) <= 0) return -1;
    for (int i = 0; i < count; ++i) {
        if (!(p[i].revents & POLLIN)) continue;
        uint8_t buf[2048];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = ::recvfrom(fds[i], buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) continue;
        data.assign(buf, buf + n);
        char text[INET_ADDRSTRLEN] = "";
        ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        fromAddr = text;
        fromPort = ntohs(from.sin_port);
        return fds[i];
    }
    return -1;
}

RelayUdpEmulator::RelayUdpEmulator(const std::string& bindAddr, uint16_t port, Script script,
                                   std::chrono::milliseconds lifetime)
    : script_(script) {
    fd_ = bindUdp(bindAddr, port, port_);
    if (fd_ < 0) return;
    if (script_.answerFromOtherPort) otherFd_ = bindUdp(bindAddr, 0, otherPort_);
    thread_ = std::thread([this, until = std::chrono::steady_clock::now() + lifetime] { run(until); });
}

RelayUdpEmulator::~RelayUdpEmulator() {
    stop();
    if (fd_ >= 0) ::close(fd_);
    if (otherFd_ >= 0) ::close(otherFd_);
}

void RelayUdpEmulator::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void RelayUdpEmulator::registerDevice(const std::string& uid, const Device& device) {
    std::lock_guard<std::mutex> g(lock_);
    devices_[uid.substr(0, 32)] = device;
}

HoleRequest RelayUdpEmulator::lastHoleRequest() const {
    std::lock_guard<std::mutex> g(lock_);
    return lastHole_;
}

void RelayUdpEmulator::run(std::chrono::steady_clock::time_point until) {
    int fds[2] = {fd_, otherFd_};
    int count = otherFd_ >= 0 ? 2 : 1;
    while (!stop_ && std::chrono::steady_clock::now() < until) {
        std::vector<uint8_t> d;
        std::string from;
        uint16_t fromPort = 0;
        int fd = receiveAny(fds, count, 20, d, from, fromPort);
        if (fd < 0) continue;
        ++datagrams_;
        handle(fd, d, from, fromPort);
    }
}

void RelayUdpEmulator::handle(int fd, const std::vector<uint8_t>& d, const std::string& fromAddr,
                              uint16_t fromPort) {
    uint16_t type = 0;
    if (!messageType(d, type)) return;
    if (type == kTermAddrRequest) {
        std::string uid;
        if (!deviceIdOf(d, uid)) return;
        int n = ++addressRequests_;
        if (n <= script_.silentFor) return;
        TermAddrAnswer a;
        a.uid = uid;
        a.selfAddr = fromAddr;
        a.selfPort = fromPort;
        {
            std::lock_guard<std::mutex> g(lock_);
            auto it = devices_.find(uid);
            if (it != devices_.end()) {
                a.extAddr = it->second.extAddr;
                a.extPort = it->second.extPort;
                a.innerAddr = it->second.innerAddr;
                a.innerPort = it->second.innerPort;
            }
        }
        std::vector<uint8_t> answer = encodeTermAddrAnswer(a);
        if (script_.answerBytes >= 0 && static_cast<size_t>(script_.answerBytes) < answer.size())
            answer.resize(static_cast<size_t>(script_.answerBytes));
        sendUdp(otherFd_ >= 0 ? otherFd_ : fd_, fromAddr, fromPort, answer);
    } else if (type == kHoleRequest) {
        HoleRequest r;
        if (!decodeHoleRequest(d, r)) return;
        ++holeRequests_;
        if (fd == otherFd_) ++holeRequestsOnOther_;
        Device dev;
        bool known = false;
        {
            std::lock_guard<std::mutex> g(lock_);
            lastHole_ = r;
            auto it = devices_.find(r.uid);
            if (it != devices_.end()) {
                dev = it->second;
                known = true;
            }
        }
        if (known && dev.standInPort != 0) sendUdp(fd_, dev.standInAddr, dev.standInPort, d);
    }
}

}  // namespace lumora::relayemu
