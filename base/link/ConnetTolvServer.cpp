#include "base/link/ConnetTolvServer.h"

#include <chrono>
#include <cstdio>

#include "base/network/GCDAsyncSocket.h"
#include "base/network/NETStatusObj.h"
#include "platform/Config.h"
#include "platform/ErrorCodes.h"
#include "platform/Log.h"

namespace lumora {

namespace {

constexpr double kWriteTimeout = 10.0;  // seconds
constexpr long kTag = 1;
constexpr std::chrono::milliseconds kShortPause{100};
constexpr std::chrono::seconds kLongPause{60};

}  // namespace

std::shared_ptr<ConnetTolvServer> ConnetTolvServer::create() {
    auto s = std::make_shared<ConnetTolvServer>(Private{});
    s->socket_ = GCDAsyncSocket::create(s, DispatchQueue::main());
    return s;
}

std::shared_ptr<ConnetTolvServer> ConnetTolvServer::create(const DelegatePtr& delegate, const std::string& host,
                                                           uint16_t port) {
    auto s = create();
    s->setDelegate(delegate);
    s->connectToHost(host, port);
    return s;
}

ConnetTolvServer::~ConnetTolvServer() {
    std::shared_ptr<GCDAsyncSocket> sock;
    {
        std::lock_guard<std::mutex> g(mutex_);
        sock = std::move(socket_);
    }
    if (sock) {
        sock->setDelegate(nullptr);
        sock->disconnect();
    }
}

bool ConnetTolvServer::connectToHost(const std::string& host, uint16_t port) {
    std::shared_ptr<GCDAsyncSocket> sock;
    {
        std::lock_guard<std::mutex> g(mutex_);
        host_ = host;
        port_ = port;
        sock = socket_;
    }
    if (!sock) return false;
    Error err;
    bool started = sock->connectToHost(host, port, "", -1, &err);
    if (!started) Log::warn("ConnetTolvServer", "connect to %s:%u not started: %s", host.c_str(), port,
                              err.toString().c_str());
    return started;
}

void ConnetTolvServer::sendMessage(const std::vector<uint8_t>& data) {
    DelegatePtr d = delegate();
    if (!NETStatusObj::sharedInstance().isHaveNet() && d) {
        std::weak_ptr<ConnetTolvServer> weak = weak_from_this();
        DispatchQueue::main()->async([weak, wd = std::weak_ptr<ConnectTolvServerDelegate>(d)] {
            auto self = weak.lock();
            auto del = wd.lock();
            if (self && del)
                del->connectTolvServerWithError(*self, Error(errors::kNetErr, errors::kCodeNet, "no network"));
        });
        return;
    }
    std::shared_ptr<GCDAsyncSocket> sock;
    {
        std::lock_guard<std::mutex> g(mutex_);
        sock = socket_;
    }
    if (sock) sock->writeData(data, kWriteTimeout * Config::shared().timeScale, kTag);
}

void ConnetTolvServer::reconnect() {
    std::string host;
    uint16_t port;
    {
        std::lock_guard<std::mutex> g(mutex_);
        host = host_;
        port = port_;
    }
    connectToHost(host, port);
}

std::string ConnetTolvServer::tolvServerIP() const {
    std::lock_guard<std::mutex> g(mutex_);
    return host_;
}

uint16_t ConnetTolvServer::tolvserverport() const {
    std::lock_guard<std::mutex> g(mutex_);
    return port_;
}

ConnetTolvServer::DelegatePtr ConnetTolvServer::delegate() const {
    std::lock_guard<std::mutex> g(mutex_);
    return delegate_.lock();
}

void ConnetTolvServer::setDelegate(const DelegatePtr& delegate) {
    std::lock_guard<std::mutex> g(mutex_);
    delegate_ = delegate;
}

void ConnetTolvServer::queueRead() {
    // One read at a time: a read is re-armed when the last one finished, not
    // once per write, so reads never pile up on a quiet server.
    if (readOutstanding_.exchange(true)) return;
    std::shared_ptr<GCDAsyncSocket> sock;
    {
        std::lock_guard<std::mutex> g(mutex_);
        sock = socket_;
    }
    if (sock) sock->readDataWithTimeout(-1, kTag);
}

void ConnetTolvServer::socketDidConnectToHost(const SocketPtr&, const std::string& host, uint16_t port) {
    connected_ = true;
    readOutstanding_ = false;
    if (DelegatePtr d = delegate()) d->connectTolvServerDidConnectToHost(*this, host, port);
    queueRead();
}

void ConnetTolvServer::socketDidWriteDataWithTag(const SocketPtr&, long) { queueRead(); }

void ConnetTolvServer::socketDidReadData(const SocketPtr&, std::vector<uint8_t> data, long tag) {
    readOutstanding_ = false;
    if (DelegatePtr d = delegate()) d->connectTolvServerDidReadData(*this, data, tag);
    queueRead();
}

bool ConnetTolvServer::isLongPauseError(const Error& err) {
    if (err.domain == errors::kGCDAsyncSocketErrorDomain) return err.code == errors::kGCDAsyncSocketOtherError;
    ErrorMeaning m = err.meaning();
    return m == ErrorMeaning::HostNotFound || m == ErrorMeaning::Refused;
}

void ConnetTolvServer::socketDidDisconnect(const SocketPtr&, const Error& err) {
    connected_ = false;
    readOutstanding_ = false;
    if (err.empty()) return;
    Log::warn("ConnetTolvServer", "%s: link dropped: %s", tolvServerIP().c_str(), err.toString().c_str());
    scheduleReconnect(isLongPauseError(err));
}

void ConnetTolvServer::scheduleReconnect(bool longPause) {
    if (reconnectPending_.exchange(true)) return;
    const Config& cfg = Config::shared();
    auto delay = longPause ? cfg.scaled(kLongPause) : cfg.scaled(kShortPause);
    std::weak_ptr<ConnetTolvServer> weak = weak_from_this();
    DispatchQueue::main()->after(delay, [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->reconnectPending_ = false;
        self->reconnect();
    });
}

}  // namespace lumora
