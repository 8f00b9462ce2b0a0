#include "base/link/TolvClient.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <thread>

#include "base/network/NETStatusObj.h"
#include "base/network/SocketFunctions.h"
#include "platform/Config.h"
#include "platform/ErrorCodes.h"
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
constexpr int kLanReceiveMs = 1000;
constexpr int kLanReceives = 12;
constexpr int kLanSendRetries = 4;
constexpr int kServerTcpReadTimeout = 5;   // seconds, links a server gave
constexpr int kDirectTcpReadTimeout = 10;  // seconds, direct links
constexpr int kTcpReopenLimit = 2;
constexpr int kUdtReopenLimit = 3;

Error p2pError() { return Error(errors::kP2PErr, errors::kCodeP2P, "UDT link could not be opened"); }
Error netError() { return Error(errors::kNETErr, errors::kCodeNet, "no network"); }

const std::string& serverHost(int index) {
    return Config::shared().relayHosts[static_cast<size_t>(index < 0 || index > 3 ? 3 : index)];
}

}  // namespace

// ---------------------------------------------------------------- set-up

TolvClient::TolvClient(Private) {}

std::shared_ptr<TolvClient> TolvClient::create() {
    auto c = std::make_shared<TolvClient>(Private{});
    c->msgParser_.setDelegate(c.get());
    c->socketconnectQueue_ = DispatchQueue::createSerial("com.lumaro.udpsocket");
    c->groupAddr_ = "235.10.10.10";
    c->groupPort_ = 1500;
    c->vsHost_ = serverHost(0);
    c->vsPort_ = Config::shared().relayTcpPort;
    c->timestr_ = stringWithCurrentTime();
    c->startServerConnects();
    return c;
}

TolvClient::~TolvClient() {
    msgParser_.setDelegate(nullptr);
    serverUDP_.setDelegate(nullptr);
    PUConnectionPtr link;
    {
        std::lock_guard<std::mutex> g(mutex_);
        link = std::move(deviceConnection_);
    }
    if (link) {
        link->setDelegate(nullptr);
        link->close();
        PUConnection::releaseOffQueue(std::move(link));
    }
    std::lock_guard<std::mutex> g(fdMutex_);
    destroyed_ = true;
    for (int fd : currentsocket_) socketClose(fd);
    bool isStartup = false;
    for (int fd : currentsocket_) isStartup = isStartup || fd == currentsocketfd_;
    if (!isStartup) socketClose(currentsocketfd_);
}

void TolvClient::startServerConnects() {
    std::weak_ptr<TolvClient> weak = weak_from_this();
    // The host names are read here, on the creating thread, not on the
    // global queue while the configuration may be changing.
    std::array<std::string, 4> hosts;
    for (int i = 0; i < 4; ++i) hosts[static_cast<size_t>(i)] = serverHost(i);
    DispatchQueue::global()->async([weak, hosts] {
        std::array<int, 4> fds{};
        for (int i = 0; i < 4; ++i) {
            if (weak.expired()) break;
            fds[static_cast<size_t>(i)] = connectServer(hosts[static_cast<size_t>(i)]);
        }
        auto self = weak.lock();
        if (!self) {
            for (int fd : fds) socketClose(fd);
            return;
        }
        std::lock_guard<std::mutex> g(self->fdMutex_);
        self->currentsocket_ = fds;
        // An attempt that already opened a socket of its own keeps it.
        if (self->currentsocketfd_ == 0) self->currentsocketfd_ = fds[0];
    });
}

std::string TolvClient::stringWithCurrentTime() {
    static thread_local std::mt19937 gen{std::random_device{}()};
    std::time_t now = std::time(nullptr);
    std::tm t{};
    ::localtime_r(&now, &t);
    int random = static_cast<int>(gen() % 1000);
    char text[64];
    // The "_02d," is part of the tag as the system has always written it.
    std::snprintf(text, sizeof text, "%02d_%02d_%02d_%02d_%02d_%02d_02d,%d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, random);
    return text;
}

int TolvClient::connectServer(const std::string& host) {
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

// ---------------------------------------------------------------- accessors

std::shared_ptr<TolvClientDelegate> TolvClient::TolvClientdelegate() const { return delegateRef(); }

void TolvClient::setTolvClientdelegate(const std::shared_ptr<TolvClientDelegate>& delegate) {
    std::lock_guard<std::mutex> g(mutex_);
    delegate_ = delegate;
}

std::shared_ptr<TolvClientDelegate> TolvClient::delegateRef() const {
    std::lock_guard<std::mutex> g(mutex_);
    return delegate_.lock();
}

std::string TolvClient::deviceUdid() const {
    std::lock_guard<std::mutex> g(mutex_);
    return deviceUdid_;
}

void TolvClient::setDeviceUdid(const std::string& uid) {
    std::lock_guard<std::mutex> g(mutex_);
    deviceUdid_ = uid;
}

std::string TolvClient::timestr() const {
    std::lock_guard<std::mutex> g(mutex_);
    return timestr_;
}

void TolvClient::setTimestr(const std::string& t) {
    std::lock_guard<std::mutex> g(mutex_);
    timestr_ = t;
}

std::string TolvClient::tcpIP() const {
    std::lock_guard<std::mutex> g(mutex_);
    return tcpIP_;
}

std::string TolvClient::udpIP() const {
    std::lock_guard<std::mutex> g(mutex_);
    return udpIP_;
}

std::string TolvClient::vsHost() const {
    std::lock_guard<std::mutex> g(mutex_);
    return vsHost_;
}

void TolvClient::setVsHost(const std::string& host) {
    std::lock_guard<std::mutex> g(mutex_);
    vsHost_ = host;
}

std::string TolvClient::queryId() const {
    std::lock_guard<std::mutex> g(mutex_);
    return queryId_;
}

std::shared_ptr<DeviceClientDelegate> TolvClient::client() const {
    std::lock_guard<std::mutex> g(mutex_);
    return client_.lock();
}

void TolvClient::setClient(const std::shared_ptr<DeviceClientDelegate>& client) {
    std::lock_guard<std::mutex> g(mutex_);
    client_ = client;
}

PUConnectionPtr TolvClient::deviceConnection() const { return currentLink(); }

int TolvClient::currentsocketfd() const {
    std::lock_guard<std::mutex> g(fdMutex_);
    return currentsocketfd_;
}

int TolvClient::currentsocket(int index) const {
    std::lock_guard<std::mutex> g(fdMutex_);
    return index >= 0 && index < 4 ? currentsocket_[static_cast<size_t>(index)] : 0;
}

int TolvClient::getDeviceConFD() const {
    PUConnectionPtr link = currentLink();
    return link ? link->tempudpsocket() : 0;
}

// ---------------------------------------------------------------- reporting

bool TolvClient::networkUp() const {
    auto& net = NETStatusObj::sharedInstance();
    return net.isHaveNet() || net.isWIFI();
}

void TolvClient::reportDisconnect(const Error& error) {
    Log::warn("TolvClient", "%s: %s", deviceUdid().c_str(), error.toString().c_str());
    if (auto d = delegateRef()) d->tolvClientDidDisConnect(timestr(), error);
}

void TolvClient::reportConnect() {
    if (auto d = delegateRef()) d->tolvClientDidConnect(deviceUdid(), timestr());
}

void TolvClient::reportQueryStatus(bool online) {
    if (auto d = delegateRef()) d->tolvClientDidQueryStatus(deviceUdid(), online);
}

// ---------------------------------------------------------------- the link

PUConnectionPtr TolvClient::currentLink() const {
    std::lock_guard<std::mutex> g(mutex_);
    return deviceConnection_;
}

bool TolvClient::isCurrent(const PUConnection* connection) const {
    std::lock_guard<std::mutex> g(mutex_);
    return deviceConnection_.get() == connection;
}

bool TolvClient::installLink(PUConnectionPtr link) {
    PUConnectionPtr old;
    bool refused = false;
    {
        std::lock_guard<std::mutex> g(mutex_);
        // A reopening that was under way when the owner stopped the client
        // must not bring a link back: stopConnect sets stopped_ before it
        // takes this lock to drop the link.
        if (link && stopped_) {
            refused = true;
            old = std::move(link);
        } else {
            old = std::move(deviceConnection_);
            deviceConnection_ = std::move(link);
            linkConnected_ = false;
            deviceConnectionTag_ = deviceConnection_ ? deviceConnection_->tag() : -1;
        }
    }
    if (old) {
        old->close();
        PUConnection::releaseOffQueue(std::move(old));
    }
    return !refused;
}

void TolvClient::dropLink() { installLink(nullptr); }

void TolvClient::beginAttempt() {
    ++attempt_;
    stopped_ = false;
}

void TolvClient::afterReopenPause(const DispatchQueuePtr& queue, std::function<void(TolvClient&)> step) {
    const std::chrono::nanoseconds pause = reopenPause_.next();
    const uint64_t attempt = attempt_;
    std::weak_ptr<TolvClient> weak = weak_from_this();
    queue->after(pause, [weak, attempt, step = std::move(step)] {
        auto self = weak.lock();
        // Stopped, or started again by the owner: this reopening is void.
        if (!self || self->stopped_ || self->attempt_ != attempt) return;
        step(*self);
    });
}

bool TolvClient::openTcp(const std::string& ip, uint16_t port, int readTimeout) {
    auto link = PUConnection::create(PUConnection::kTCP, shared_from_this());
    link->setTcptimeout(readTimeout);
    link->setClient(client());
    if (!installLink(link)) return false;
    isUDTConnect_ = false;
    return link->openPort(ip, port);
}

bool TolvClient::openUdt(const std::string& ip, uint16_t port, int punchedFd) {
    auto link = PUConnection::create(PUConnection::kUDT, shared_from_this());
    link->setClient(client());
    if (punchedFd > 0) link->setTempudpsocket(punchedFd);
    if (!installLink(link)) {
        if (punchedFd > 0) socketClose(punchedFd);
        return false;
    }
    // The connect blocks: a stop meanwhile closed the link under it.
    bool opened = link->openPort(ip, port) && isCurrent(link.get());
    isUDTConnect_ = opened;
    if (opened) reopenPause_.linkUp();
    return opened;
}

void TolvClient::handleUdtOpen(bool opened, const std::string& ip, uint16_t port) {
    if (opened) {
        needRecon_ = true;
        {
            std::lock_guard<std::mutex> g(mutex_);
            udpIP_ = ip;
        }
        udpPort_ = port;
        reportConnect();
    } else {
        dropLink();
        needRecon_ = false;
        dropPolicy(nullptr, p2pError());
    }
}

void TolvClient::openByAnswer(int mode, const std::string& address, uint16_t port) {
    if (mode == kServerUdt) {
        handleUdtOpen(openUdt(address, port, 0), address, port);
    } else if (mode == kServerTcp || mode == kRelay) {
        if (openTcp(address, port, mode == kServerTcp ? kServerTcpReadTimeout : 0)) {
            {
                std::lock_guard<std::mutex> g(mutex_);
                tcpIP_ = address;
            }
            tcpPort_ = port;
            needRecon_ = true;
        } else {
            dropLink();
            needRecon_ = false;
        }
    }
    // Any other mode opens nothing.
}

// ---------------------------------------------------------------- entry points

void TolvClient::startConnectShouldSearchLan(const std::string& uid, bool searchLan, const std::string& host,
                                             int port) {
    beginAttempt();
    {
        std::lock_guard<std::mutex> g(mutex_);
        deviceUdid_ = uid;
        vsHost_ = host;
        if (searchLan) queryId_ = uid;
    }
    vsPort_ = port;
    currentConnectMode_ = kLanSearching;
    if (!networkUp()) {
        reportDisconnect(netError());
        return;
    }
    if (searchLan)
        searchInLAN();
    else
        searchinInterNet(uid);
}

void TolvClient::startConnectJustForIP(const std::string& ip, uint16_t port) {
    beginAttempt();
    if (!networkUp()) {
        reportDisconnect(netError());
        return;
    }
    currentConnectMode_ = kDirectTcp;
    if (openTcp(ip, port, kDirectTcpReadTimeout)) {
        {
            std::lock_guard<std::mutex> g(mutex_);
            tcpIP_ = ip;
        }
        tcpPort_ = port;
        needRecon_ = true;
    } else {
        dropLink();
        needRecon_ = false;
        reportDisconnect(Error(errors::kPingErr, errors::kCodePing, "direct link could not be started"));
    }
}

void TolvClient::startConnectJustForLanTCP(const std::string& ip, uint16_t port) {
    beginAttempt();
    if (!networkUp()) {
        reportDisconnect(netError());
        return;
    }
    currentConnectMode_ = kLanTcp;
    if (openTcp(ip, port, 0)) {
        {
            std::lock_guard<std::mutex> g(mutex_);
            tcpIP_ = ip;
        }
        tcpPort_ = port;
        needRecon_ = true;
    } else {
        dropLink();
        needRecon_ = false;
        dropPolicy(nullptr, Error(errors::kTCPErr, errors::kCodeTCP, "LAN link could not be started"));
    }
}

void TolvClient::startConnectJustForLan(const std::string& ip, uint16_t port) {
    beginAttempt();
    if (!networkUp()) {
        reportDisconnect(netError());
        return;
    }
    currentConnectMode_ = kInnerUdt;
    handleUdtOpen(openUdt(ip, port, 0), ip, port);
}

void TolvClient::startConnectWithQuery(const std::string& uid, const std::string& host, uint16_t port, int mode,
                                       const std::string& vshost) {
    beginAttempt();
    if (!networkUp()) {
        reportDisconnect(netError());
        return;
    }
    currentConnectMode_ = mode;
    {
        std::lock_guard<std::mutex> g(mutex_);
        deviceUdid_ = uid;
        queryId_ = uid;
        vsHost_ = vshost;
    }
    dropLink();
    openByAnswer(mode, host, port);
}

void TolvClient::startConnectPort(const std::string& host, uint16_t port, bool isudt, int socketfd,
                                  int currentMode) {
    beginAttempt();
    if (!networkUp()) {
        // A punched socket handed over for UDT: nothing else would close it.
        if (isudt) socketClose(socketfd);
        reportDisconnect(netError());
        return;
    }
    dropLink();
    if (isudt) {
        currentConnectMode_ = currentMode;
        handleUdtOpen(openUdt(host, port, socketfd), host, port);
        return;
    }
    // A TCP path takes no socket: a descriptor recorded with it (the punched
    // socket of an earlier UDT link) belongs to that link's UDT socket, which
    // closes it itself. Closing it here too could close whatever socket was
    // given that number meanwhile.
    if (currentMode == kRelay) {
        setupUDTFailedConn(deviceUdid());
        return;
    }
    currentConnectMode_ = currentMode;
    bool started = openTcp(host, port, currentMode == kServerTcp ? kServerTcpReadTimeout : 0);
    if (started) {
        {
            std::lock_guard<std::mutex> g(mutex_);
            tcpIP_ = host;
        }
        tcpPort_ = port;
    }
    needRecon_ = started;
}

void TolvClient::startConnectjustFoward(const std::string& uid, const std::string& serverIP) {
    beginAttempt();
    const auto& hosts = Config::shared().relayHosts;
    int index = 3;
    if (serverIP.empty() || serverIP == hosts[0])
        index = 0;
    else if (serverIP == hosts[1])
        index = 1;
    else if (serverIP == hosts[2])
        index = 2;
    {
        std::lock_guard<std::mutex> g(mutex_);
        deviceUdid_ = uid;
        queryId_ = uid;
        vsHost_ = serverHost(index);
    }
    setupUDTFailedConn(uid);
}

void TolvClient::startConnectjustHole(const std::string& uid, const std::string& serverIP) {
    beginAttempt();
    if (!networkUp()) {
        reportDisconnect(netError());
        return;
    }
    {
        std::lock_guard<std::mutex> g(mutex_);
        deviceUdid_ = uid;
        queryId_ = uid;
        vsHost_ = serverIP;
    }
    dropLink();
    holePunch();
}

void TolvClient::holePunch() {
    serverUDP_.setDelegate(this);
    serverUDP_.startHole(deviceUdid(), vsHost(), Config::shared().relayUdpPort);
}

void TolvClient::stopConnect() {
    stopped_ = true;
    ++attempt_;
    reopenPause_.reset();
    dropLink();
    channelMode_ = 0;
    currentConnectMode_ = kStopped;
    needRecon_ = false;
    {
        std::lock_guard<std::mutex> g(mutex_);
        tcpIP_.clear();
        udpIP_.clear();
        queryId_.clear();
    }
    tcpPort_ = 0;
    udpPort_ = 0;
    deviceConnectionTag_ = -1;
}

void TolvClient::sendMessage(const std::vector<uint8_t>& data) {
    PUConnectionPtr link = currentLink();
    if (link && link->connected()) {
        link->sendMessage(data);
        return;
    }
    reportDisconnect(Error(errors::kDeviceOff, errors::kCodeDeviceOffline, "no device link"));
}

void TolvClient::sendAudioMessage(const std::vector<uint8_t>& data) {
    PUConnectionPtr link = currentLink();
    if (link && link->connected()) link->sendMessage(data);
}

void TolvClient::queryStatus() {
    justQuery_ = true;
    setupOpenConn(deviceUdid());
}

void TolvClient::LanTimeOut() {
    int expected = kLanSearching;
    if (!currentConnectMode_.compare_exchange_strong(expected, kLanFailed)) return;
    searchinInterNet(deviceUdid());
}

// ---------------------------------------------------------------- LAN search

void TolvClient::searchInLAN() {
    const Config& cfg = Config::shared();
    int fd = udpSocketCreateBind(cfg.lanLocalPort);
    if (fd == 0) fd = udpSocketCreateBind(randomLocalPort());
    std::string uid = queryId();
    auto toInternet = [&] {
        socketClose(fd);
        currentConnectMode_ = kLanFailed;
        searchinInterNet(uid);
    };
    if (fd == 0) {
        toInternet();
        return;
    }
    std::vector<uint8_t> query = RkMessageBuilder::buildMsgForSearchDeviceRequest(RkDeviceId{});
    int sent = udpSocketSendTo(fd, cfg.lanGroup, cfg.lanPort, query.data(), query.size());
    for (int i = 0; i < kLanSendRetries && sent <= 0; ++i)
        sent = udpSocketSendTo(fd, cfg.lanGroup, cfg.lanPort, query.data(), query.size());
    if (sent <= 0) {
        toInternet();
        return;
    }
    const RkDeviceId wanted = RkMessageBuilder::deviceIdForUid(uid);
    std::vector<uint8_t> buf(kAnswerBufferSize);
    for (int i = 0; i < kLanReceives; ++i) {
        std::string from;
        uint16_t fromPort = 0;
        int n = udpSocketRecvFrom(fd, from, fromPort, buf.data(), buf.size(), cfg.scaledMs(kLanReceiveMs));
        if (n < static_cast<int>(rk::kHeaderSize)) continue;
        uint16_t type = static_cast<uint16_t>(buf[0] | (buf[1] << 8));
        if (type != rk::kSearchDeviceResponse) continue;
        RkDeviceId id{};
        uint16_t udtPort = 0, tcpPort = 0;
        std::string addr;
        // Only the bytes received are read: a short answer is skipped.
        if (!RkMessageParser::parseSearchDeviceResponse(
                std::span<const uint8_t>(buf.data() + rk::kHeaderSize, static_cast<size_t>(n) - rk::kHeaderSize), id,
                udtPort, addr, tcpPort))
            continue;
        // An all-zero id names no device, even when ours is empty too.
        if (id != wanted || id == RkDeviceId{}) continue;
        socketClose(fd);
        lanMatch(udtPort, addr, tcpPort);
        return;
    }
    socketClose(fd);
    searchinInterNet(uid);
}

void TolvClient::lanMatch(uint16_t udtPort, const std::string& address, uint16_t tcpPort) {
    currentConnectMode_ = kLanFound;
    reportQueryStatus(true);
    bool udt = udtPort != 0 && udtPort != 0xFFFF;
    uint16_t port = udt ? udtPort : tcpPort;
    if (address.empty() || port == 0) {
        needRecon_ = false;
        dropLink();
        searchinInterNet(deviceUdid());
        return;
    }
    if (udt) {
        handleUdtOpen(openUdt(address, port, 0), address, port);
        return;
    }
    if (openTcp(address, port, 0)) {
        {
            std::lock_guard<std::mutex> g(mutex_);
            tcpIP_ = address;
        }
        tcpPort_ = port;
        needRecon_ = true;
    } else {
        needRecon_ = false;
        dropLink();
        searchinInterNet(deviceUdid());
    }
}

void TolvClient::tolvSearchDeviceResponseFromParser(RkMessageParser&, const RkDeviceId& deviceId, uint16_t udtPort,
                                                    const std::string& address, uint16_t tcpPort) {
    if (stopped_) return;
    int mode = currentConnectMode_;
    if (mode == kLanFound || mode == kLanFailed) return;
    if (deviceId == RkDeviceId{} || deviceId != RkMessageBuilder::deviceIdForUid(deviceUdid())) return;
    lanMatch(udtPort, address, tcpPort);
}

// ---------------------------------------------------------------- server requests

void TolvClient::replaceCurrentSocket(int fd) {
    std::lock_guard<std::mutex> g(fdMutex_);
    int old = currentsocketfd_;
    currentsocketfd_ = fd;
    if (old == fd || old == 0) return;
    for (int s : currentsocket_)
        if (s == old) return;  // start-up sockets stay open until the client goes
    socketClose(old);
}

int TolvClient::serverIndex(const std::string& host) const {
    const auto& hosts = Config::shared().relayHosts;
    for (int i = 0; i < 3; ++i)
        if (host == hosts[static_cast<size_t>(i)]) return i;
    return 3;
}

int TolvClient::sendRequest(int fd, const std::vector<uint8_t>& msg, int ms) {
    if (fd <= 0) return -1;
    int sent = tcpSocketSendTimeout(fd, msg.data(), msg.size(), Config::shared().scaledMs(ms));
    // A request cut short would leave the server out of step: only a whole
    // request counts as sent.
    return sent == static_cast<int>(msg.size()) ? sent : (sent > 0 ? 0 : sent);
}

int TolvClient::receiveAnswer(int fd, std::vector<uint8_t>& buf, int ms) {
    if (fd <= 0) return 0;
    buf.assign(kAnswerBufferSize, 0);
    return tcpSocketRecvTimeout(fd, buf.data(), buf.size(), Config::shared().scaledMs(ms));
}

void TolvClient::handAnswer(const std::vector<uint8_t>& buf, int n) {
    // Only the bytes that arrived go to the reader.
    msgParser_.parseMsgData(std::span<const uint8_t>(buf.data(), static_cast<size_t>(n)), tcpIP(), tcpPort_);
}

void TolvClient::searchinInterNet(const std::string& uid) {
    std::weak_ptr<TolvClient> weak = weak_from_this();
    DispatchQueue::global()->async([weak, uid] {
        auto self = weak.lock();
        if (!self) return;
        self->setVsHost(serverHost(0));
        self->vsPort_ = Config::shared().relayTcpPort;
        self->replaceCurrentSocket(connectServer(serverHost(0)));
        self->setupOpenConn(uid);
    });
}

bool TolvClient::setupOpenConn(const std::string& uid) {
    if (!NETStatusObj::sharedInstance().isHaveNet()) {
        reportDisconnect(netError());
        return false;
    }
    if (currentsocketfd() == 0) {
        int next = (serverIndex(vsHost()) + 1) % 4;
        setVsHost(serverHost(next));
        replaceCurrentSocket(connectServer(serverHost(next)));
    }
    {
        std::lock_guard<std::mutex> g(mutex_);
        queryId_ = uid;
        deviceUdid_ = uid;
    }
    kindofquery_ = 0;
    std::vector<uint8_t> msg =
        RkMessageBuilder::buildMsgForOpenVSConnectionRequest(RkMessageBuilder::deviceIdForUid(uid));
    int fd = currentsocketfd();
    if (sendRequest(fd, msg, kOpenSendMs) < 1) {
        fd = connectServer(vsHost());
        replaceCurrentSocket(fd);
        if (fd == 0) {
            reportDisconnect(netError());
            return false;
        }
        if (sendRequest(fd, msg, kOpenSendMs) < 1) return false;
    }
    std::vector<uint8_t> buf;
    int n = receiveAnswer(fd, buf, kOpenReceiveMs);
    if (n <= 0) return false;
    handAnswer(buf, n);
    return true;
}

void TolvClient::tolvOpenVSConnResponseFromParser(RkMessageParser&, int queryResult, const std::string& address,
                                                  uint16_t port, uint32_t, const RkDeviceId&, int connectMode) {
    if (stopped_) return;
    if (queryResult != 0) {
        int index = serverIndex(vsHost());
        if (index < 3) {
            setVsHost(serverHost(index + 1));
            vsPort_ = Config::shared().relayTcpPort;
            replaceCurrentSocket(connectServer(serverHost(index + 1)));
            setupOpenConn(deviceUdid());
        } else {
            reportQueryStatus(false);
            reportDisconnect(Error(errors::kDeviceOffline, errors::kCodeDeviceOffline, "device offline"));
        }
        return;
    }
    currentConnectMode_ = connectMode;
    reportQueryStatus(true);
    dropLink();
    openByAnswer(connectMode, address, port);
}

bool TolvClient::setupUDTFailedConn(const std::string& /*uid*/) {
    kindofquery_ = 2;
    std::string uid = deviceUdid();
    {
        std::lock_guard<std::mutex> g(mutex_);
        queryId_ = uid;
    }
    std::vector<uint8_t> msg =
        RkMessageBuilder::buildMsgForFailedUDTVSConnectionRequest(RkMessageBuilder::deviceIdForUid(uid));
    const std::string host = serverHost(serverIndex(vsHost()));
    int fd = connectServer(host);
    replaceCurrentSocket(fd);
    if (sendRequest(fd, msg, kUdtFailedSendMs) < 1) {
        // Once more to the same server.
        fd = connectServer(host);
        replaceCurrentSocket(fd);
        if (fd == 0) {
            reportDisconnect(netError());
            return false;
        }
        if (sendRequest(fd, msg, kUdtFailedSendMs) < 1) return false;
    }
    std::vector<uint8_t> buf;
    int n = receiveAnswer(fd, buf, kUdtFailedFirstReceiveMs);
    if (n > 0) {
        handAnswer(buf, n);
        return true;
    }
    for (int i = 0; i < kUdtFailedMoreReceives; ++i) {
        n = receiveAnswer(fd, buf, kUdtFailedReceiveMs);
        if (n > 0) {
            handAnswer(buf, n);
            return true;
        }
    }
    if (n < 0) return setupUPNPFailedConn(uid);  // the last wait timed out
    return false;
}

bool TolvClient::setupUPNPFailedConn(const std::string& /*uid*/) {
    kindofquery_ = 1;
    std::vector<uint8_t> msg =
        RkMessageBuilder::buildMsgForFailedUPNPVSConnectionRequest(RkMessageBuilder::deviceIdForUid(queryId()));
    int fd = currentsocketfd();
    if (sendRequest(fd, msg, kTcpFailedSendMs) < 1) {
        fd = connectServer(serverHost(0));
        replaceCurrentSocket(fd);
        if (fd == 0) {
            reportDisconnect(netError());
            return false;
        }
        if (sendRequest(fd, msg, kTcpFailedSendMs) < 1) return false;
    }
    std::vector<uint8_t> buf;
    int n = receiveAnswer(fd, buf, kTcpFailedReceiveMs);
    if (n <= 0) return false;
    handAnswer(buf, n);
    return true;
}

// ---------------------------------------------------------------- link callbacks

void TolvClient::connectionDidConnectToHost(PUConnection& connection, const std::string&, uint16_t) {
    if (!isCurrent(&connection)) return;
    linkConnected_ = true;
    reopenPause_.linkUp();
    reportConnect();
}

int TolvClient::connectionDidReceiveMessage(PUConnection& connection, const std::vector<uint8_t>& buffer) {
    if (!isCurrent(&connection)) return msgParser_.parseMsgData(buffer, tcpIP(), tcpPort_);
    auto d = delegateRef();
    if (!d) return -1;
    std::string uid = deviceUdid();
    std::string t = timestr();
    d->tolvClientDidRecDataLength(static_cast<int>(buffer.size()), uid, t);
    return d->tolvClientDidRecData(buffer, uid, t);
}

void TolvClient::connectionDidReceiveUrlResponse(PUConnection&, const std::vector<uint8_t>&) {}

void TolvClient::connectionDidDisconnect(PUConnection& connection, const Error& error) {
    int mode = currentConnectMode_;
    // A direct or LAN link whose connect itself failed did not really start:
    // reopening it at once would only fail again, without end.
    if ((mode == kDirectTcp || mode == kLanTcp) && !error.empty() && isCurrent(&connection) && !linkConnected_)
        needRecon_ = false;
    dropPolicy(&connection, error);
}

// Reopenings wait a growing pause (ReconnectPause) after the link is
// dropped, so a device that accepts and closes every link, or is briefly
// away, is not hammered; the counts and the order of the drop policy stay.
void TolvClient::reopenTcp() {
    dropLink();
    afterReopenPause(DispatchQueue::global(), [](TolvClient& self) {
        std::string ip = self.tcpIP();
        self.needRecon_ = self.openTcp(ip, static_cast<uint16_t>(self.tcpPort_.load()), kServerTcpReadTimeout);
    });
}

void TolvClient::reopenUdt() {
    dropLink();
    afterReopenPause(DispatchQueue::global(), [](TolvClient& self) {
        std::string ip = self.udpIP();
        bool opened = self.openUdt(ip, static_cast<uint16_t>(self.udpPort_.load()), 0);
        self.needRecon_ = opened;
        // The device needs a fresh login on a new UDT link: tell the owner.
        if (opened && !self.stopped_) self.reportConnect();
    });
}

void TolvClient::dropPolicy(const PUConnection* connection, const Error& error) {
    if (error.empty()) return;  // closed by its owner
    if (stopped_) return;
    if (channelMode_ == 1) {
        dropLink();
        reportDisconnect(error);
        return;
    }
    if (!isCurrent(connection)) return;
    Log::warn("TolvClient", "%s: link lost in mode %d: %s", deviceUdid().c_str(), currentConnectMode_.load(),
                error.toString().c_str());
    switch (currentConnectMode_.load()) {
        case kServerTcp:
            if (drectConTimes_ >= kTcpReopenLimit) {
                drectConTimes_ = 0;
                setupUPNPFailedConn(deviceUdid());
            } else if (needRecon_) {
                ++drectConTimes_;
                reopenTcp();
            } else {
                setupUPNPFailedConn(deviceUdid());
            }
            break;
        case kDirectTcp:
        case kLanTcp:
            if (needRecon_) {
                ++drectConTimes_;
                reopenTcp();
            } else {
                reportDisconnect(Error(errors::kPingErr, errors::kCodePing, "device link lost"));
            }
            break;
        case kRelay:
            if (needRecon_) {
                dropLink();
                if (auto d = delegateRef()) d->tolvClientShouldRecon(timestr(), deviceUdid());
            } else {
                reportDisconnect(error);
            }
            break;
        case kServerUdt:
            if (udtrecConTimes_ >= kUdtReopenLimit) {
                udtrecConTimes_ = 0;
                setupUDTFailedConn(deviceUdid());
            } else if (needRecon_) {
                ++udtrecConTimes_;
                reopenUdt();
            } else {
                dropLink();
                holePunch();
            }
            break;
        case kInnerUdt:
        case kHoleUdt:
            if (udtrecConTimes_ >= kUdtReopenLimit) {
                udtrecConTimes_ = 0;
                setupUDTFailedConn(deviceUdid());
            } else if (needRecon_) {
                ++udtrecConTimes_;
                reopenUdt();
            } else if (isPreCon_) {
                currentConnectMode_ = kRelay;
                reportConnect();
            } else {
                setupUDTFailedConn(deviceUdid());
            }
            break;
        default:
            break;
    }
}

void TolvClient::reconnectUDT(PUConnection& connection) {
    if (!isCurrent(&connection)) return;  // a link already replaced
    if (channelMode_ == 1) {
        dropLink();
        reportDisconnect(Error(errors::kRECORD, errors::kCodeTCP, "link lost during playback"));
        return;
    }
    auto queue = DispatchQueue::createSerial("reconudt");
    afterReopenPause(queue, [](TolvClient& self) {
        std::string ip = self.udpIP();
        uint16_t port = static_cast<uint16_t>(self.udpPort_.load());
        if (ip.empty() || port == 0) return;
        self.dropLink();
        self.currentConnectMode_ = kServerUdt;
        if (self.openUdt(ip, port, 0)) {
            self.needRecon_ = true;
            if (!self.stopped_) self.reportConnect();
        } else if (!self.stopped_) {
            self.needRecon_ = false;
            self.dropLink();
            self.dropPolicy(nullptr, p2pError());
        }
    });
}

void TolvClient::connectiondidFailedUDT(PUConnection& connection) {
    if (!isCurrent(&connection) || stopped_) return;
    setupUDTFailedConn(deviceUdid());
}

// ---------------------------------------------------------------- hole punching

void TolvClient::didHole(bool success, int udpSocketFd, const std::optional<std::string>& holeIP, int holePort,
                         bool isInner) {
    if (stopped_) {
        socketClose(udpSocketFd);
        return;
    }
    if (success && holeIP) {
        dropLink();
        currentConnectMode_ = isInner ? kInnerUdt : kHoleUdt;
        bool opened = openUdt(*holeIP, static_cast<uint16_t>(holePort), udpSocketFd);
        handleUdtOpen(opened, *holeIP, static_cast<uint16_t>(holePort));
        return;
    }
    socketClose(udpSocketFd);
    currentConnectMode_ = kRelay;
    if (isPreCon_)
        reportConnect();
    else
        setupUDTFailedConn(deviceUdid());
}

// ---------------------------------------------------------------- relay-server connection

void TolvClient::connectTolvServerDidConnectToHost(ConnetTolvServer&, const std::string&, uint16_t) {}

void TolvClient::connectTolvServerDidReadData(ConnetTolvServer&, const std::vector<uint8_t>& data, long) {
    msgParser_.parseMsgData(data, "", 0);
}

void TolvClient::connectTolvServerWithError(ConnetTolvServer&, const Error&) {}

}  // namespace lumora
