#include "base/link/RelayServerSockets.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/link/RkMessageBuilder.h"
#include "base/network/NETStatusObj.h"
#include "base/network/SocketFunctions.h"
#include "platform/Config.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/Log.h"

namespace lumora {

namespace {

constexpr int kServerConnectAttempts = 5;
constexpr std::chrono::microseconds kServerConnectPause{100};
constexpr size_t kAnswerBufferSize = 1024;

constexpr int kOpenSendMs = 1000;
constexpr int kOpenReceiveMs = 2000;
constexpr int kUdtFailedSendMs = 3000;
constexpr int kUdtFailedFirstReceiveMs = 3000;
constexpr int kUdtFailedReceiveMs = 2000;
constexpr int kUdtFailedMoreReceives = 3;
constexpr int kTcpFailedSendMs = 1000;
constexpr int kTcpFailedReceiveMs = 2000;

}  // namespace

RelayServerSockets::~RelayServerSockets() {
    std::lock_guard<std::mutex> g(mutex_);
    for (int fd : startup_) socketClose(fd);
    bool isStartup = false;
    for (int fd : startup_) isStartup = isStartup || fd == current_;
    if (!isStartup) socketClose(current_);
}

const std::string& RelayServerSockets::host(int index) {
    return Config::shared().relayHosts[static_cast<size_t>(index < 0 || index > 3 ? 3 : index)];
}

RelayServerSockets::Request RelayServerSockets::openRequest(const std::string& uid, const std::string& host) {
    return {RkMessageBuilder::buildMsgForOpenVSConnectionRequest(RkMessageBuilder::deviceIdForUid(uid)), kOpenSendMs,
            host, false, {kOpenReceiveMs}};
}

RelayServerSockets::Request RelayServerSockets::udtFailedRequest(const std::string& uid, const std::string& host) {
    std::vector<int> waits{kUdtFailedFirstReceiveMs};
    waits.insert(waits.end(), kUdtFailedMoreReceives, kUdtFailedReceiveMs);
    return {RkMessageBuilder::buildMsgForFailedUDTVSConnectionRequest(RkMessageBuilder::deviceIdForUid(uid)),
            kUdtFailedSendMs, host, true, std::move(waits)};
}

RelayServerSockets::Request RelayServerSockets::tcpFailedRequest(const std::string& uid) {
    return {RkMessageBuilder::buildMsgForFailedUPNPVSConnectionRequest(RkMessageBuilder::deviceIdForUid(uid)),
            kTcpFailedSendMs, host(0), false, {kTcpFailedReceiveMs}};
}

int RelayServerSockets::indexOf(const std::string& host) {
    const auto& hosts = Config::shared().relayHosts;
    for (int i = 0; i < 3; ++i)
        if (host == hosts[static_cast<size_t>(i)]) return i;
    return 3;
}

int RelayServerSockets::connect(const std::string& host) {
    if (!NETStatusObj::sharedInstance().isHaveNet()) return 0;
    std::string addr = resolveFirstIPv4(host);
    if (addr.empty()) {
        Log::warn("TolvClient", "cannot resolve %s", host.c_str());
        return 0;
    }
    uint16_t port = Config::shared().relayTcpPort;
    int fd = 0;
    for (int i = 0; i < kServerConnectAttempts && fd == 0; ++i) {
        fd = tcpSocketConnectHost(addr, port);
        if (fd == 0) {
            int err = errno;
            Log::warn("TolvClient", "Failed to connect to %s!, error: %s", host.c_str(), std::strerror(err));
            std::this_thread::sleep_for(kServerConnectPause);
        }
    }
    return fd;
}

void RelayServerSockets::connectAll(const std::shared_ptr<RelayServerSockets>& sockets) {
    std::weak_ptr<RelayServerSockets> weak = sockets;
    // The host names are read here, on the creating thread, not on the
    // global queue while the configuration may be changing.
    std::array<std::string, 4> hosts;
    for (int i = 0; i < 4; ++i) hosts[static_cast<size_t>(i)] = host(i);
    DispatchQueue::global()->async([weak, hosts] {
        std::array<int, 4> fds{};
        for (int i = 0; i < 4; ++i) {
            if (weak.expired()) break;
            fds[static_cast<size_t>(i)] = connect(hosts[static_cast<size_t>(i)]);
        }
        auto self = weak.lock();
        if (!self) {
            for (int fd : fds) socketClose(fd);
            return;
        }
        self->adoptStartup(fds);
    });
}

void RelayServerSockets::adoptStartup(const std::array<int, 4>& fds) {
    std::lock_guard<std::mutex> g(mutex_);
    startup_ = fds;
    // An attempt that already opened a socket of its own keeps it.
    if (current_ == 0) current_ = fds[0];
}

void RelayServerSockets::replaceCurrent(int fd) {
    std::lock_guard<std::mutex> g(mutex_);
    int old = current_;
    current_ = fd;
    if (old == fd || old == 0) return;
    for (int s : startup_)
        if (s == old) return;  // start-up sockets stay open until the set goes
    socketClose(old);
}

int RelayServerSockets::current() const {
    std::lock_guard<std::mutex> g(mutex_);
    return current_;
}

int RelayServerSockets::startup(int index) const {
    std::lock_guard<std::mutex> g(mutex_);
    return index >= 0 && index < 4 ? startup_[static_cast<size_t>(index)] : 0;
}

RelayServerSockets::Answer RelayServerSockets::ask(const Request& request) {
    Answer answer;
    int fd = 0;
    if (request.freshSocket) {
        fd = connect(request.retryHost);
        replaceCurrent(fd);
    } else {
        fd = current();
    }
    if (send(fd, request.msg, request.sendMs) < 1) {
        // Once more, over a new socket.
        fd = connect(request.retryHost);
        replaceCurrent(fd);
        if (fd == 0) {
            answer.reply = Reply::kNoSocket;
            return answer;
        }
        if (send(fd, request.msg, request.sendMs) < 1) {
            answer.reply = Reply::kNotSent;
            return answer;
        }
    }
    int n = 0;
    for (int ms : request.receiveMs) {
        n = receive(fd, answer.bytes, ms);
        if (n > 0) {
            answer.reply = Reply::kAnswered;
            answer.length = n;
            return answer;
        }
    }
    answer.reply = n < 0 ? Reply::kTimedOut : Reply::kNoAnswer;
    return answer;
}

int RelayServerSockets::send(int fd, const std::vector<uint8_t>& msg, int ms) {
    if (fd <= 0) return -1;
    int sent = tcpSocketSendTimeout(fd, msg.data(), msg.size(), Config::shared().scaledMs(ms));
    // A request cut short would leave the server out of step: only a whole
    // request counts as sent.
    return sent == static_cast<int>(msg.size()) ? sent : (sent > 0 ? 0 : sent);
}

int RelayServerSockets::receive(int fd, std::vector<uint8_t>& buf, int ms) {
    if (fd <= 0) return 0;
    buf.assign(kAnswerBufferSize, 0);
    return tcpSocketRecvTimeout(fd, buf.data(), buf.size(), Config::shared().scaledMs(ms));
}

}  // namespace lumora
