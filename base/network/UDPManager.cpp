#include "base/network/UDPManager.h"

#include <cstdio>
#include <cstdlib>

#include "platform/bytes/ByteReader.h"
#include "platform/Log.h"

namespace lumora {

namespace {

// Tags of every datagram any manager sends, starting at 1.
std::atomic<long> sendCounter{1};

std::chrono::nanoseconds secondsToNanos(double seconds) {
    double ns = seconds * 1e9;
    if (ns >= 9.0e18) return std::chrono::nanoseconds(static_cast<int64_t>(9.0e18));
    return std::chrono::nanoseconds(static_cast<int64_t>(ns));
}

}  // namespace

// The socket's delegate: forwards the two callbacks the manager handles.
class UDPManager::Forwarder : public GCDAsyncUdpSocketDelegate {
public:
    explicit Forwarder(std::weak_ptr<UDPManager> manager) : manager_(std::move(manager)) {}
    void udpSocketDidReceiveData(const SocketPtr&, ByteBuffer data, const ByteBuffer& address,
                                 const std::any&) override {
        if (auto m = manager_.lock()) m->udpSocketDidReceiveData(data, address);
    }
    void udpSocketDidNotSendDataWithTag(const SocketPtr&, long tag, const Error& error) override {
        if (auto m = manager_.lock()) m->udpSocketDidNotSendDataWithTag(tag, error);
    }

private:
    std::weak_ptr<UDPManager> manager_;
};

std::shared_ptr<UDPManager> UDPManager::create(std::weak_ptr<UDPManagerDelegate> delegate) {
    auto manager = std::make_shared<UDPManager>(Private{});
    manager->udpasynSocket_ =
        GCDAsyncUdpSocket::create(std::make_shared<Forwarder>(manager), DispatchQueue::main());
    manager->delegate_ = std::move(delegate);
    return manager;
}

UDPManager::~UDPManager() {
    GCDAsyncUdpSocketPtr sock;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sock = std::move(udpasynSocket_);
    }
    if (!sock) return;
    sock->synchronouslySetDelegate(nullptr);
    sock->pauseReceiving();
    sock->close();
}

void UDPManager::setReceivePort(uint16_t port) {
    receivePort_ = port;
    GCDAsyncUdpSocketPtr sock = udpasynSocket();
    if (!sock) return;
    Error err;
    if (!sock->bindToPort(port, &err)) {
        Log::warn("UDPManager", "bind to port %u failed (%s); trying a random port", port, err.toString().c_str());
        uint16_t fallback = static_cast<uint16_t>(std::rand() % 64512 + 1023);
        sock->bindToPort(fallback, &err);
    }
    if (!sock->beginReceiving(&err)) {
        Log::warn("UDPManager", "receiving cannot start (%s)", err.toString().c_str());
        sock->close();
    }
}

bool UDPManager::sendData(std::vector<uint8_t> data, const std::string& host, uint16_t port, double writeTimeout,
                          double readTimeout, long tag) {
    (void)tag;
    long sendTag = sendCounter.fetch_add(1);
    uint64_t generation = ++sendGeneration_;
    if (GCDAsyncUdpSocketPtr sock = udpasynSocket()) sock->sendData(std::move(data), host, port, writeTimeout, sendTag);
    replied_ = false;
    DispatchQueue::main()->async([weak = weak_from_this(), readTimeout, generation] {
        if (readTimeout <= 0 || weak.expired()) return;
        RunLoopTimer::scheduled(RunLoop::main(), secondsToNanos(readTimeout), false,
                                [weak, generation](RunLoopTimer& timer) {
                                    auto self = weak.lock();
                                    if (!self || self->sendGeneration_ != generation) return;
                                    self->readTimeout(timer);
                                });
    });
    return true;
}

void UDPManager::readTimeout(RunLoopTimer&) { reportTimeoutOnce(); }

void UDPManager::udpSocketDidNotSendDataWithTag(long, const Error& error) {
    Log::warn("UDPManager", "datagram not sent (%s)", error.toString().c_str());
    reportTimeoutOnce();
}

void UDPManager::reportTimeoutOnce() {
    if (replied_.exchange(true)) return;
    if (auto d = delegate()) d->didReceiveUdpDataTimeout(*this);
}

void UDPManager::udpSocketDidReceiveData(const std::vector<uint8_t>& data, const std::vector<uint8_t>& address) {
    replied_ = true;
    std::string host;
    uint16_t port = 0;
    GCDAsyncUdpSocket::getHost(&host, &port, address);
    auto d = delegate();
    if (!d) return;
    // Shorter datagrams count as the reply but carry no message; the type is
    // read only from bytes that arrived.
    if (data.size() < 4) return;
    uint16_t type = 0;
    ByteReader reader(data.data(), data.size());
    reader.u16le(type);
    if (type == kEmptyRelayMessageType) replied_ = false;
    d->didReceiveUdpMessage(data, host, port);
}

void UDPManager::pauseReceiving() {
    if (GCDAsyncUdpSocketPtr sock = udpasynSocket()) sock->pauseReceiving();
}

void UDPManager::beginReceiving() {
    if (GCDAsyncUdpSocketPtr sock = udpasynSocket()) sock->beginReceiving();
}

void UDPManager::close() {
    if (GCDAsyncUdpSocketPtr sock = udpasynSocket()) sock->close();
}

int UDPManager::getUDPSocketFD() const {
    GCDAsyncUdpSocketPtr sock = udpasynSocket();
    return sock ? sock->socket4FD() : -1;
}

std::shared_ptr<UDPManagerDelegate> UDPManager::delegate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return delegate_.lock();
}

void UDPManager::setDelegate(std::weak_ptr<UDPManagerDelegate> delegate) {
    std::lock_guard<std::mutex> lock(mutex_);
    delegate_ = std::move(delegate);
}

GCDAsyncUdpSocketPtr UDPManager::udpasynSocket() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return udpasynSocket_;
}

void UDPManager::setUdpasynSocket(GCDAsyncUdpSocketPtr socket) {
    std::lock_guard<std::mutex> lock(mutex_);
    udpasynSocket_ = std::move(socket);
}

}  // namespace lumora
