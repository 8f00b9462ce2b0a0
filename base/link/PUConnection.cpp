#include "base/link/PUConnection.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "base/link/OWSPMessageBuilder.h"
#include "base/link/UdtApi.h"
#include "base/network/GCDAsyncSocket.h"
#include "platform/Config.h"
#include "platform/Log.h"

namespace lumora {

namespace {

// Process-wide source of connection tags.
std::atomic<int> gTagCounter{0};

// Seconds of the TCP link's time-outs, before scaling.
constexpr double kConnectTimeout = 10.0;
constexpr double kWriteTimeout = 50.0;
constexpr int kDefaultReadTimeout = 10;
// Every UDT socket's send and receive time-out.
constexpr std::chrono::milliseconds kUdtTimeout{15000};
// Largest single UDT receive.
constexpr int kUdtReceiveSize = 100000;
// Receive side of a UDT link. The sender's congestion control leaves its
// start-up phase once its window reaches the flow window we advertise (the
// smaller of the flight-flag size and the receive buffer in packets); from
// then on it paces packets at the rate it has seen the link carry. A camera's
// stream is mostly small frames with a burst at every key frame, so a small
// window ends the start-up within a second and every key frame afterwards
// queues behind that trickle rate: the view stalls, then skips. A window of
// the library's own default size keeps the start-up phase (no pacing) for
// tens of thousands of packets; the buffer is only a table of slots until
// data fill it. The kernel's UDP buffer takes a key frame's burst whole
// (the kernel caps it at its own maximum).
constexpr int kUdtFlowWindow = 25600;                   // packets
constexpr int kUdtReceiveBuffer = kUdtFlowWindow * 1472;  // bytes: the window in full packets
constexpr int kUdpReceiveBuffer = 4 * 1024 * 1024;
// Pause after a UDT send and before each UDT receive.
constexpr std::chrono::microseconds kUdtPause{100};

double scaledSeconds(double seconds) { return seconds * Config::shared().timeScale; }

}  // namespace

// Receives the TCP socket's callbacks for a connection it does not own, so the
// socket's weak delegate reference and the connection's lifetime stay apart.
class PUConnection::SocketAdapter : public GCDAsyncSocketDelegate {
public:
    explicit SocketAdapter(std::weak_ptr<PUConnection> owner) : owner_(std::move(owner)) {}

    void socketDidConnectToHost(const SocketPtr&, const std::string& host, uint16_t port) override {
        with([&](PUConnection& c) { c.tcpDidConnect(host, port); });
    }
    void socketDidReadData(const SocketPtr&, std::vector<uint8_t> data, long) override {
        with([&](PUConnection& c) { c.tcpDidRead(std::move(data)); });
    }
    void socketDidWriteDataWithTag(const SocketPtr&, long) override {
        with([&](PUConnection& c) { c.tcpDidWrite(); });
    }
    void socketDidDisconnect(const SocketPtr&, const Error& err) override {
        with([&](PUConnection& c) { c.tcpDidDisconnect(err); });
    }

private:
    template <class F>
    void with(F f) {
        PUConnectionPtr c = owner_.lock();
        if (!c) return;
        f(*c);
        releaseOffQueue(std::move(c));
    }
    std::weak_ptr<PUConnection> owner_;
};

PUConnection::PUConnection(Private, int type) : tag_(gTagCounter.fetch_add(1)), type_(type) {}

PUConnectionPtr PUConnection::create(int type, const std::shared_ptr<PUConnectionDelegate>& delegate) {
    auto c = std::make_shared<PUConnection>(Private{}, type);
    c->delegate_ = delegate;
    if (type == kTCP) {
        c->socketQueue_ = DispatchQueue::createSerial("com.lumora.socket");
        c->adapter_ = std::make_shared<SocketAdapter>(c);
        c->socket_ = GCDAsyncSocket::create(c->adapter_, c->socketQueue_);
    } else if (type == kUDT) {
        c->udtQueue_ = DispatchQueue::createSerial("com.lumora.udt");
    }
    return c;
}

PUConnectionPtr PUConnection::create() { return create(kTCP, nullptr); }

PUConnection::~PUConnection() {
    udtFlag_ = false;
    closeUdtSocket();
    std::shared_ptr<GCDAsyncSocket> sock;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sock = std::move(socket_);
    }
    if (sock) {
        sock->setDelegate(nullptr);
        sock->disconnect();
    }
    ++httpGeneration_;
}

void PUConnection::releaseOffQueue(PUConnectionPtr connection) {
    if (!connection) return;
    // Ours may be the last reference (the owner can drop its own at any
    // moment, so counting references here would race): let the global queue
    // drop it, so the connection is never destroyed on the queue that runs
    // this task.
    DispatchQueue::global()->async([c = std::move(connection)]() mutable { c.reset(); });
}

std::shared_ptr<GCDAsyncSocket> PUConnection::socket() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return socket_;
}

std::shared_ptr<PUConnectionDelegate> PUConnection::delegate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return delegate_.lock();
}

void PUConnection::setDelegate(const std::shared_ptr<PUConnectionDelegate>& delegate) {
    std::lock_guard<std::mutex> lock(mutex_);
    delegate_ = delegate;
}

std::shared_ptr<DeviceClientDelegate> PUConnection::client() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return client_.lock();
}

void PUConnection::setClient(const std::shared_ptr<DeviceClientDelegate>& client) {
    std::lock_guard<std::mutex> lock(mutex_);
    client_ = client;
}

uint32_t PUConnection::sequenceNumber() { return ++sequence_; }

void PUConnection::heartbeat() { sendMessage(OWSPMessageBuilder::buildHeartbeatRequest(nullptr, this)); }

// ---------------------------------------------------------------- opening

bool PUConnection::openPort(const std::string& host, uint16_t port) {
    if (type_ == kTCP) {
        std::shared_ptr<GCDAsyncSocket> sock = socket();
        if (connected_ || port == 0 || !sock) return false;
        Error err;
        // Marked before the connect starts: its completion may be reported
        // on the socket's queue (and the owner send its login) before
        // connectToHost returns here.
        connected_ = true;
        bool started = sock->connectToHost(host, port, scaledSeconds(kConnectTimeout), &err);
        if (!started) Log::warn("PUConnection", "%d: connect to %s:%u not started: %s", tag_, host.c_str(), port,
                                  err.toString().c_str());
        // A connect that already failed on the socket's queue has cleared it.
        if (!started) connected_ = false;
        return started;
    }
    if (type_ == kUDT) {
        int s = -1;
        if (createUDTSocketAndport(s, "0", false) != 0) {
            releaseTempUdpSocket();
            return false;
        }
        serv_ = s;
        if (!connect(s, host, port)) closeUdtSocket();
        return connected_;
    }
    return false;
}

int PUConnection::createUDTSocketAndport(int& udtSocket, const std::string& port, bool rendezvous) {
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* local = nullptr;
    if (getaddrinfo(nullptr, port.c_str(), &hints, &local) != 0) {
        Log::warn("PUConnection", "illegal port number or port is busy.");
        return -1;
    }
    int s = UdtApi::socket(local->ai_family, local->ai_socktype, local->ai_protocol);
    freeaddrinfo(local);
    if (s < 0) {
        Log::warn("PUConnection", "udt socket: %s", UdtApi::lastErrorMessage().c_str());
        return -1;
    }
    int timeout = Config::shared().scaledMs(static_cast<int>(kUdtTimeout.count()));
    UdtApi::setInt(s, UdtApi::kFc, kUdtFlowWindow);
    UdtApi::setInt(s, UdtApi::kSndBuf, 8096);
    UdtApi::setInt(s, UdtApi::kRcvBuf, kUdtReceiveBuffer);
    UdtApi::setInt(s, UdtApi::kUdpSndBuf, 8096);
    UdtApi::setInt(s, UdtApi::kUdpRcvBuf, kUdpReceiveBuffer);
    UdtApi::setLinger(s, true, 1);
    UdtApi::setBool(s, UdtApi::kReuseAddr, true);
    UdtApi::setBool(s, UdtApi::kRendezvous, rendezvous);
    UdtApi::setInt(s, UdtApi::kSndTimeo, timeout);
    UdtApi::setInt(s, UdtApi::kRcvTimeo, timeout);
    udtSocket = s;
    return 0;
}

int PUConnection::createUDTSocketAndUDPSocket(int udtSocket, int udpSocket, bool rendezvous) {
    // Options first: the library takes most of them only before binding.
    int timeout = Config::shared().scaledMs(static_cast<int>(kUdtTimeout.count()));
    UdtApi::setInt(udtSocket, UdtApi::kFc, 1024);
    UdtApi::setInt(udtSocket, UdtApi::kSndBuf, 8096);
    UdtApi::setInt(udtSocket, UdtApi::kRcvBuf, 8096);
    UdtApi::setInt(udtSocket, UdtApi::kUdpSndBuf, 8096);
    UdtApi::setInt(udtSocket, UdtApi::kUdpRcvBuf, 16000);
    UdtApi::setInt(udtSocket, UdtApi::kMss, 540);
    UdtApi::setBool(udtSocket, UdtApi::kReuseAddr, true);
    UdtApi::setBool(udtSocket, UdtApi::kRendezvous, rendezvous);
    UdtApi::setBool(udtSocket, UdtApi::kRcvSyn, true);
    UdtApi::setInt(udtSocket, UdtApi::kSndTimeo, timeout);
    UdtApi::setInt(udtSocket, UdtApi::kRcvTimeo, timeout);
    if (!UdtApi::bindUdp(udtSocket, udpSocket)) {
        Log::warn("PUConnection", "bind: %s", UdtApi::lastErrorMessage().c_str());
        return -1;
    }
    return 0;
}

bool PUConnection::connect(int udtSocket, const std::string& host, uint16_t port) {
    connected_ = false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* peer = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &peer) != 0 || !peer) {
        Log::warn("PUConnection", "incorrect server/peer address. %s:%u", host.c_str(), port);
        releaseTempUdpSocket();
        return false;
    }
    int udp = tempudpsocket_;
    if (udp != 0) {
        // The punched UDP socket now belongs to the UDT library, which closes it.
        if (!UdtApi::bindUdp(udtSocket, udp)) {
            Log::warn("PUConnection", "bind: %s", UdtApi::lastErrorMessage().c_str());
            releaseTempUdpSocket();
            freeaddrinfo(peer);
            return false;
        }
    }
    bool ok = UdtApi::connect(udtSocket, peer->ai_addr, static_cast<int>(peer->ai_addrlen));
    freeaddrinfo(peer);
    if (!ok) Log::warn("PUConnection", "connect: %s", UdtApi::lastErrorMessage().c_str());
    connected_ = ok;
    return ok;
}

void PUConnection::releaseTempUdpSocket() {
    // A punched socket the UDT library never took is ours to close.
    int fd = tempudpsocket_.exchange(0);
    if (fd > 0) ::close(fd);
}

namespace {

size_t curlWrite(char* data, size_t size, size_t count, void* user) {
    auto* out = static_cast<std::vector<uint8_t>*>(user);
    out->insert(out->end(), data, data + size * count);
    return size * count;
}

}  // namespace

bool PUConnection::open(const std::string& url) {
    if (type_ != kHTTP) return false;
    uint64_t generation = ++httpGeneration_;
    std::weak_ptr<PUConnection> weak = weak_from_this();
    DispatchQueue::global()->async([weak, url, generation] {
        std::vector<uint8_t> body;
        CURL* curl = curl_easy_init();
        if (!curl) return;
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, curlWrite);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(Config::shared().scaledMs(60000)));
        CURLcode rc = curl_easy_perform(curl);
        curl_easy_cleanup(curl);
        PUConnectionPtr c = weak.lock();
        if (!c || c->httpGeneration_ != generation) return;  // closed or released meanwhile
        if (rc != CURLE_OK) {
            Log::warn("PUConnection", "%d: %s", c->tag_, curl_easy_strerror(rc));
            return;
        }
        if (auto d = c->delegate(); d && !body.empty()) d->connectionDidReceiveUrlResponse(*c, body);
    });
    connected_ = true;
    return true;
}

// ---------------------------------------------------------------- receiving

void PUConnection::consume(const uint8_t* data, size_t size) {
    buffer_.insert(buffer_.end(), data, data + size);
    std::shared_ptr<PUConnectionDelegate> d = delegate();
    if (!d) {
        buffer_.clear();
        return;
    }
    d->connectionDidReciveDatalength(*this, static_cast<int>(size));
    int used = d->connectionDidReceiveMessage(*this, buffer_);
    if (used < 0 || static_cast<size_t>(used) >= buffer_.size()) {
        buffer_.clear();
    } else if (used > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + used);
    }
}

double PUConnection::readTimeout() const {
    int t = tcptimeout_;
    return scaledSeconds(t == 0 ? kDefaultReadTimeout : t);
}

void PUConnection::queueReadIfIdle() {
    std::shared_ptr<GCDAsyncSocket> sock = socket();
    if (!sock) return;
    if (readOutstanding_.exchange(true)) return;
    sock->readDataWithTimeout(readTimeout(), 0);
}

void PUConnection::tcpDidConnect(const std::string& host, uint16_t port) {
    if (auto d = delegate()) d->connectionDidConnectToHost(*this, host, port);
    queueReadIfIdle();
}

void PUConnection::tcpDidRead(std::vector<uint8_t> data) {
    readOutstanding_ = false;
    consume(data.data(), data.size());
    queueReadIfIdle();
}

void PUConnection::tcpDidWrite() { queueReadIfIdle(); }

void PUConnection::tcpDidDisconnect(const Error& error) {
    readOutstanding_ = false;
    buffer_.clear();
    if (auto d = delegate()) d->connectionDidDisconnect(*this, error);
}

// ---------------------------------------------------------------- sending

void PUConnection::sendMessage(const std::vector<uint8_t>& data) {
    if (data.empty()) return;
    if (type_ == kTCP) {
        std::shared_ptr<GCDAsyncSocket> sock = socket();
        if (!sock) return;
        sock->writeData(data, scaledSeconds(kWriteTimeout), 0);
        queueReadIfIdle();
    } else if (type_ == kUDT) {
        sendUdt(data);
    }
}

void PUConnection::sendUdt(const std::vector<uint8_t>& data) {
    // A message may go out in several pieces; one sender at a time, so no
    // other thread's bytes land between them.
    std::unique_lock<std::mutex> sending(sendMutex_);
    int s = serv_;
    size_t sent = 0;
    while (sent < data.size()) {
        int n = s < 0 ? -1 : UdtApi::send(s, data.data() + sent, static_cast<int>(data.size() - sent));
        if (n <= 0) {
            bool closedBefore = closed_;
            // A send that fails because the owner closed the link is no fault.
            if (closedBefore || UdtApi::shuttingDown())
                Log::debug("PUConnection", "%d: send after close: %s", tag_,
                           s < 0 ? "no UDT socket" : UdtApi::lastErrorMessage().c_str());
            else
                Log::warn("PUConnection", "send: %s", s < 0 ? "no UDT socket" : UdtApi::lastErrorMessage().c_str());
            close();
            if (closedBefore) return;  // the owner closed the link itself
            // The owner may answer with a blocking server exchange: never on
            // the sending thread (the main or the audio thread).
            DispatchQueue::global()->async([self = shared_from_this()] {
                if (auto d = self->delegate()) d->connectiondidFailedUDT(*self);
            });
            return;
        }
        sent += static_cast<size_t>(n);
    }
    sending.unlock();
    std::this_thread::sleep_for(kUdtPause);
    startUdtLoop();
}

void PUConnection::startUdtLoop() {
    bool expected = false;
    if (closed_ || !udtFlag_.compare_exchange_strong(expected, true)) return;
    DispatchQueuePtr queue;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!udtQueue_) udtQueue_ = DispatchQueue::createSerial("com.lumora.udt");
        queue = udtQueue_;
    }
    queue->async([self = shared_from_this()]() mutable { udtReceiveLoop(std::move(self)); });
}

void PUConnection::udtReceiveLoop(PUConnectionPtr self) {
    std::vector<uint8_t> chunk(kUdtReceiveSize);
    while (self->udtFlag_) {
        std::this_thread::sleep_for(kUdtPause);
        int s = self->serv_;
        int n = s < 0 ? -1 : UdtApi::recv(s, chunk.data(), kUdtReceiveSize);
        if (n <= 0) {
            // A close() cleared the flag first, or ran while this loop was
            // being started: an orderly end, told only at debug level.
            if (!self->udtFlag_.exchange(false) || self->closed_) {
                Log::debug("PUConnection", "%d: UDT receive ended by close", self->tag_);
                break;
            }
            // The process is exiting and closed every UDT socket: nothing to
            // reopen.
            if (UdtApi::shuttingDown()) break;
            Log::warn("PUConnection", "recv: %s", s < 0 ? "no UDT socket" : UdtApi::lastErrorMessage().c_str());
            if (!self->shouldRecUDT_) self->close();
            if (auto d = self->delegate()) d->reconnectUDT(*self);
            break;
        }
        if (!self->udtFlag_) break;
        self->consume(chunk.data(), static_cast<size_t>(n));
    }
    releaseOffQueue(std::move(self));
}

// ---------------------------------------------------------------- closing

void PUConnection::closeUdtSocket() {
    int s = serv_.exchange(-1);
    if (s < 0) return;
    // With linger on, closing waits up to a second for bytes a stalled peer
    // does not take: never on the caller's thread (often the main thread).
    UdtApi::closeInBackground(s);
}

void PUConnection::close() {
    closed_ = true;
    udtFlag_ = false;
    if (type_ == kUDT) {
        // Closing the socket wakes a receive that blocks on it, so the loop
        // ends at once instead of after its time-out.
        closeUdtSocket();
        DispatchQueuePtr queue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue = udtQueue_;
        }
        if (queue) {
            std::weak_ptr<PUConnection> weak = weak_from_this();
            queue->async([weak] {
                if (PUConnectionPtr c = weak.lock()) {
                    c->buffer_.clear();
                    releaseOffQueue(std::move(c));
                }
            });
        }
    } else if (type_ == kTCP) {
        std::shared_ptr<GCDAsyncSocket> sock;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            sock = std::move(socket_);
        }
        // The socket reports the close with no error before it goes.
        if (sock) sock->disconnect();
        if (socketQueue_) {
            std::weak_ptr<PUConnection> weak = weak_from_this();
            socketQueue_->async([weak] {
                if (PUConnectionPtr c = weak.lock()) {
                    c->buffer_.clear();
                    releaseOffQueue(std::move(c));
                }
            });
        }
    } else {
        ++httpGeneration_;
    }
    connected_ = false;
}

}  // namespace lumora
