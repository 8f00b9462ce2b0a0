#include "base/link/TolvClient.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

#include "base/network/NETStatusObj.h"
#include "base/network/SocketFunctions.h"
#include "platform/Config.h"
#include "platform/ErrorCodes.h"
#include "platform/Log.h"

namespace lumora {

namespace {

constexpr int kServerTcpReadTimeout = 5;   // seconds, links a server gave
constexpr int kDirectTcpReadTimeout = 10;  // seconds, direct links

// Which server request the client sent last (kindofquery).
constexpr int kOpenQuery = 0;
constexpr int kTcpFailedQuery = 1;
constexpr int kUdtFailedQuery = 2;

using Reply = RelayServerSockets::Reply;
using DropStep = LinkDropPolicy::Step;

Error p2pError() { return Error(errors::kP2PErr, errors::kCodeP2P, "UDT link could not be opened"); }
Error netError() { return Error(errors::kNETErr, errors::kCodeNet, "no network"); }

const std::string& serverHost(int index) { return RelayServerSockets::host(index); }

}  // namespace

// ---------------------------------------------------------------- set-up

TolvClient::TolvClient(Private)
    : holePuncher_(HolePuncher::Handlers{[this] { return stopped_.load(); },
                                         [this](const HolePuncher::Hole& hole) { holePunched(hole); },
                                         [this] { holeFailed(); }}) {}

std::shared_ptr<TolvClient> TolvClient::create() {
    auto c = std::make_shared<TolvClient>(Private{});
    c->msgParser_.setDelegate(c.get());
    c->socketconnectQueue_ = DispatchQueue::createSerial("com.lumaro.udpsocket");
    c->update([](State& s) {
        s.groupAddr = "235.10.10.10";
        s.groupPort = 1500;
        s.vsHost = serverHost(0);
        s.vsPort = Config::shared().relayTcpPort;
        s.timestr = stringWithCurrentTime();
    });
    RelayServerSockets::connectAll(c->servers_);
    return c;
}

TolvClient::~TolvClient() {
    msgParser_.setDelegate(nullptr);
    link_.release();
    // The server sockets close with servers_ (after the start-up connects
    // if they are still under way).
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

TolvClient::State TolvClient::snapshot() const {
    std::lock_guard<std::mutex> g(mutex_);
    return state_;
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
    const State s = snapshot();
    Log::warn("TolvClient", "%s: %s", s.deviceUdid.c_str(), error.toString().c_str());
    if (auto d = s.delegate.lock()) d->tolvClientDidDisConnect(s.timestr, error);
}

void TolvClient::reportConnect() {
    const State s = snapshot();
    if (auto d = s.delegate.lock()) d->tolvClientDidConnect(s.deviceUdid, s.timestr);
}

void TolvClient::reportQueryStatus(bool online) {
    const State s = snapshot();
    if (auto d = s.delegate.lock()) d->tolvClientDidQueryStatus(s.deviceUdid, online);
}

// ---------------------------------------------------------------- the link

bool TolvClient::installLink(PUConnectionPtr link) {
    // A reopening that was under way when the owner stopped the client must
    // not bring a link back: stopConnect sets stopped_ before it drops the link.
    return link_.install(std::move(link), stopped_, [this](const PUConnectionPtr& installed) {
        linkConnected_ = false;
        deviceConnectionTag_ = installed ? installed->tag() : -1;
    });
}

void TolvClient::dropLink() { installLink(nullptr); }

void TolvClient::beginAttempt() {
    ++attempt_;
    stopped_ = false;
}

bool TolvClient::beginOnlineAttempt() {
    beginAttempt();
    if (networkUp()) return true;
    reportDisconnect(netError());
    return false;
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

void TolvClient::keepTcpPath(const std::string& ip, uint16_t port) {
    update([&](State& s) {
        s.tcpIP = ip;
        s.tcpPort = port;
    });
    needRecon_ = true;
}

void TolvClient::handleUdtOpen(bool opened, const std::string& ip, uint16_t port) {
    if (opened) {
        needRecon_ = true;
        update([&](State& s) {
            s.udpIP = ip;
            s.udpPort = port;
        });
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
            keepTcpPath(address, port);
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
    update([&](State& s) {
        s.deviceUdid = uid;
        s.vsHost = host;
        if (searchLan) s.queryId = uid;
        s.vsPort = port;
    });
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
    if (!beginOnlineAttempt()) return;
    currentConnectMode_ = kDirectTcp;
    if (openTcp(ip, port, kDirectTcpReadTimeout)) {
        keepTcpPath(ip, port);
    } else {
        dropLink();
        needRecon_ = false;
        reportDisconnect(Error(errors::kPingErr, errors::kCodePing, "direct link could not be started"));
    }
}

void TolvClient::startConnectJustForLanTCP(const std::string& ip, uint16_t port) {
    if (!beginOnlineAttempt()) return;
    currentConnectMode_ = kLanTcp;
    if (openTcp(ip, port, 0)) {
        keepTcpPath(ip, port);
    } else {
        dropLink();
        needRecon_ = false;
        dropPolicy(nullptr, Error(errors::kTCPErr, errors::kCodeTCP, "LAN link could not be started"));
    }
}

void TolvClient::startConnectJustForLan(const std::string& ip, uint16_t port) {
    if (!beginOnlineAttempt()) return;
    currentConnectMode_ = kInnerUdt;
    handleUdtOpen(openUdt(ip, port, 0), ip, port);
}

void TolvClient::startConnectWithQuery(const std::string& uid, const std::string& host, uint16_t port, int mode,
                                       const std::string& vshost) {
    if (!beginOnlineAttempt()) return;
    currentConnectMode_ = mode;
    update([&](State& s) {
        s.deviceUdid = uid;
        s.queryId = uid;
        s.vsHost = vshost;
    });
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
    if (started)
        keepTcpPath(host, port);
    else
        needRecon_ = false;
}

void TolvClient::startConnectjustFoward(const std::string& uid, const std::string& serverIP) {
    beginAttempt();
    const int index = serverIP.empty() ? 0 : RelayServerSockets::indexOf(serverIP);
    update([&](State& s) {
        s.deviceUdid = uid;
        s.queryId = uid;
        s.vsHost = serverHost(index);
    });
    setupUDTFailedConn(uid);
}

void TolvClient::startConnectjustHole(const std::string& uid, const std::string& serverIP) {
    if (!beginOnlineAttempt()) return;
    update([&](State& s) {
        s.deviceUdid = uid;
        s.queryId = uid;
        s.vsHost = serverIP;
    });
    dropLink();
    holePunch();
}

void TolvClient::holePunch() {
    const State s = snapshot();
    holePuncher_.punch(s.deviceUdid, s.vsHost, Config::shared().relayUdpPort);
}

void TolvClient::stopConnect() {
    stopped_ = true;
    ++attempt_;
    reopenPause_.reset();
    dropLink();
    channelMode_ = channelmode::kLive;
    currentConnectMode_ = kStopped;
    needRecon_ = false;
    update([](State& s) {
        s.tcpIP.clear();
        s.udpIP.clear();
        s.queryId.clear();
        s.tcpPort = 0;
        s.udpPort = 0;
    });
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
    const std::string uid = queryId();
    const TolvLanSearch::Result result = TolvLanSearch::search(uid);
    switch (result.outcome) {
        case TolvLanSearch::Outcome::kFound:
            lanMatch(result.answer);
            return;
        case TolvLanSearch::Outcome::kNotSent:
            currentConnectMode_ = kLanFailed;
            break;
        case TolvLanSearch::Outcome::kSilent:
            break;
    }
    searchinInterNet(uid);
}

void TolvClient::lanMatch(const TolvLanSearch::Answer& answer) {
    currentConnectMode_ = kLanFound;
    reportQueryStatus(true);
    const uint16_t port = answer.port();
    if (answer.address.empty() || port == 0) {
        needRecon_ = false;
        dropLink();
        searchinInterNet(deviceUdid());
        return;
    }
    if (answer.udt()) {
        handleUdtOpen(openUdt(answer.address, port, 0), answer.address, port);
        return;
    }
    if (openTcp(answer.address, port, 0)) {
        keepTcpPath(answer.address, port);
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
    if (!TolvLanSearch::isWanted(deviceId, RkMessageBuilder::deviceIdForUid(deviceUdid()))) return;
    lanMatch(TolvLanSearch::Answer{udtPort, address, tcpPort});
}

// ---------------------------------------------------------------- server requests

RelayServerSockets::Reply TolvClient::askServer(const RelayServerSockets::Request& request) {
    RelayServerSockets::Answer answer = servers_->ask(request);
    if (answer.reply == Reply::kNoSocket) reportDisconnect(netError());
    if (answer.reply != Reply::kAnswered) return answer.reply;
    // Only the bytes that arrived go to the reader.
    const State st = snapshot();
    msgParser_.parseMsgData(std::span<const uint8_t>(answer.bytes.data(), static_cast<size_t>(answer.length)),
                            st.tcpIP, st.tcpPort);
    return answer.reply;
}

void TolvClient::searchinInterNet(const std::string& uid) {
    std::weak_ptr<TolvClient> weak = weak_from_this();
    DispatchQueue::global()->async([weak, uid] {
        auto self = weak.lock();
        if (!self) return;
        self->update([](State& s) {
            s.vsHost = serverHost(0);
            s.vsPort = Config::shared().relayTcpPort;
        });
        self->servers_->replaceCurrent(connectServer(serverHost(0)));
        self->setupOpenConn(uid);
    });
}

bool TolvClient::setupOpenConn(const std::string& uid) {
    if (!NETStatusObj::sharedInstance().isHaveNet()) {
        reportDisconnect(netError());
        return false;
    }
    if (currentsocketfd() == 0) {
        int next = (RelayServerSockets::indexOf(vsHost()) + 1) % 4;
        setVsHost(serverHost(next));
        servers_->replaceCurrent(connectServer(serverHost(next)));
    }
    update([&](State& s) {
        s.queryId = uid;
        s.deviceUdid = uid;
    });
    kindofquery_ = kOpenQuery;
    return askServer(RelayServerSockets::openRequest(uid, vsHost())) == Reply::kAnswered;
}

void TolvClient::tolvOpenVSConnResponseFromParser(RkMessageParser&, int queryResult, const std::string& address,
                                                  uint16_t port, uint32_t, const RkDeviceId&, int connectMode) {
    if (stopped_) return;
    if (queryResult != 0) {
        int index = RelayServerSockets::indexOf(vsHost());
        if (index < 3) {
            update([&](State& s) {
                s.vsHost = serverHost(index + 1);
                s.vsPort = Config::shared().relayTcpPort;
            });
            servers_->replaceCurrent(connectServer(serverHost(index + 1)));
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
    kindofquery_ = kUdtFailedQuery;
    std::string uid = deviceUdid();
    update([&](State& s) { s.queryId = uid; });
    Reply reply =
        askServer(RelayServerSockets::udtFailedRequest(uid, serverHost(RelayServerSockets::indexOf(vsHost()))));
    if (reply == Reply::kTimedOut) return setupUPNPFailedConn(uid);  // the last wait timed out
    return reply == Reply::kAnswered;
}

bool TolvClient::setupUPNPFailedConn(const std::string& /*uid*/) {
    kindofquery_ = kTcpFailedQuery;
    return askServer(RelayServerSockets::tcpFailedRequest(queryId())) == Reply::kAnswered;
}

// ---------------------------------------------------------------- link callbacks

void TolvClient::connectionDidConnectToHost(PUConnection& connection, const std::string&, uint16_t) {
    if (!isCurrent(&connection)) return;
    linkConnected_ = true;
    reopenPause_.linkUp();
    reportConnect();
}

int TolvClient::connectionDidReceiveMessage(PUConnection& connection, const std::vector<uint8_t>& buffer) {
    if (!isCurrent(&connection)) {
        const State s = snapshot();
        return msgParser_.parseMsgData(buffer, s.tcpIP, s.tcpPort);
    }
    // Every chunk of a live stream passes here: copy only what it needs.
    std::shared_ptr<TolvClientDelegate> d;
    std::string uid, t;
    {
        std::lock_guard<std::mutex> g(mutex_);
        d = state_.delegate.lock();
        uid = state_.deviceUdid;
        t = state_.timestr;
    }
    if (!d) return -1;
    d->tolvClientDidRecDataLength(static_cast<int>(buffer.size()), uid, t);
    return d->tolvClientDidRecData(buffer, uid, t);
}

void TolvClient::connectionDidDisconnect(PUConnection& connection, const Error& error) {
    if (LinkDropPolicy::forgetsPathOnFailedConnect(currentConnectMode_) && !error.empty() &&
        isCurrent(&connection) && !linkConnected_)
        needRecon_ = false;
    dropPolicy(&connection, error);
}

// Reopenings wait a growing pause (ReconnectPause) after the link is
// dropped, so a device that accepts and closes every link, or is briefly
// away, is not hammered; the counts and the order of the drop policy stay.
void TolvClient::reopenTcp() {
    dropLink();
    afterReopenPause(DispatchQueue::global(), [](TolvClient& self) {
        const State s = self.snapshot();
        self.needRecon_ = self.openTcp(s.tcpIP, static_cast<uint16_t>(s.tcpPort), kServerTcpReadTimeout);
    });
}

void TolvClient::reopenUdt() {
    dropLink();
    afterReopenPause(DispatchQueue::global(), [](TolvClient& self) {
        const State s = self.snapshot();
        bool opened = self.openUdt(s.udpIP, static_cast<uint16_t>(s.udpPort), 0);
        self.needRecon_ = opened;
        // The device needs a fresh login on a new UDT link: tell the owner.
        if (opened && !self.stopped_) self.reportConnect();
    });
}

void TolvClient::dropPolicy(const PUConnection* connection, const Error& error) {
    if (error.empty()) return;  // closed by its owner
    if (stopped_) return;
    if (channelMode_ == channelmode::kPlayback) {
        dropLink();
        reportDisconnect(error);
        return;
    }
    if (!isCurrent(connection)) return;
    Log::warn("TolvClient", "%s: link lost in mode %d: %s", deviceUdid().c_str(), currentConnectMode_.load(),
                error.toString().c_str());
    switch (dropSteps_.next(currentConnectMode_.load(), needRecon_, isPreCon_)) {
        case DropStep::kReopenTcp:
            reopenTcp();
            break;
        case DropStep::kReopenUdt:
            reopenUdt();
            break;
        case DropStep::kAskTcpFailed:
            setupUPNPFailedConn(deviceUdid());
            break;
        case DropStep::kAskUdtFailed:
            setupUDTFailedConn(deviceUdid());
            break;
        case DropStep::kHolePunch:
            dropLink();
            holePunch();
            break;
        case DropStep::kOwnerRestarts:
            dropLink();
            if (auto d = delegateRef()) d->tolvClientShouldRecon(timestr(), deviceUdid());
            break;
        case DropStep::kRelayForPreCon:
            currentConnectMode_ = kRelay;
            reportConnect();
            break;
        case DropStep::kReportLost:
            reportDisconnect(Error(errors::kPingErr, errors::kCodePing, "device link lost"));
            break;
        case DropStep::kReportError:
            reportDisconnect(error);
            break;
        case DropStep::kNothing:
            break;
    }
}

void TolvClient::reconnectUDT(PUConnection& connection) {
    if (!isCurrent(&connection)) return;  // a link already replaced
    if (channelMode_ == channelmode::kPlayback) {
        dropLink();
        reportDisconnect(Error(errors::kRECORD, errors::kCodeTCP, "link lost during playback"));
        return;
    }
    auto queue = DispatchQueue::createSerial("reconudt");
    afterReopenPause(queue, [](TolvClient& self) {
        const State s = self.snapshot();
        const std::string& ip = s.udpIP;
        uint16_t port = static_cast<uint16_t>(s.udpPort);
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
    holePuncher_.didHole(success, udpSocketFd, holeIP, holePort, isInner);
}

void TolvClient::holePunched(const HolePuncher::Hole& hole) {
    dropLink();
    currentConnectMode_ = hole.inner ? kInnerUdt : kHoleUdt;
    bool opened = openUdt(hole.ip, hole.port, hole.fd);
    handleUdtOpen(opened, hole.ip, hole.port);
}

void TolvClient::holeFailed() {
    currentConnectMode_ = kRelay;
    if (isPreCon_)
        reportConnect();
    else
        setupUDTFailedConn(deviceUdid());
}

}  // namespace lumora
