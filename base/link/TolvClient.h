#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/core/ConnectModes.h"
#include "base/link/ConnectTolvServerDelegate.h"
#include "base/decoder/MediaFrame.h"
#include "base/link/HolePuncher.h"
#include "base/link/LinkDropPolicy.h"
#include "base/link/OWSPLink.h"
#include "base/link/PUConnection.h"
#include "base/link/PUConnectionDelegate.h"
#include "base/link/ReconnectPause.h"
#include "base/link/RkMessageBuilder.h"
#include "base/link/RkMessageParser.h"
#include "base/link/RkMessgeParserDelegate.h"
#include "base/link/RelayServerSockets.h"
#include "base/link/TolvClientDelegate.h"
#include "base/link/TolvLanSearch.h"
#include "base/link/TolvLinkSlot.h"
#include "platform/dispatch/DispatchQueue.h"

namespace lumora {

class DeviceClientDelegate;

// The peer-to-peer client: gets one device link up and keeps it up.
//
// A device is reached by a given address (direct TCP), by a path an earlier
// look-up or pre-connection found, or by its UID alone: then a LAN search
// runs first, and the four relay/look-up servers (Config relayHosts) are
// asked one after another where the device is and how to reach it (TCP, UDT,
// relay or hole punching). One device connection (PUConnection) carries the
// link; it is replaced on every attempt. Received bytes go to the delegate's
// consumer. When a link fails to open or drops, the client reopens it by
// connect mode a bounded number of times and falls back to a relay or to
// UDP hole punching; the delegate hears only when the client gives up or
// when a relay link needs the owner to start again.
//
// Parts of its own: the LAN search (TolvLanSearch), hole punching
// (HolePuncher), the server sockets and requests (RelayServerSockets) and
// the current link (TolvLinkSlot); what the client knows of its attempt is
// one State under one lock (snapshot, update).
//
// Threads: entry points block the caller (server exchanges, UDT connects,
// hole punching: normally the global queue). Link callbacks arrive on the
// link's queues. Shared state is guarded (State and the link under a lock
// never held while calling out; flags and counts atomic), so callbacks from
// any queue are safe; the owner still must not run two attempts at once.
//
// Lifetime: always held by a shared_ptr (create()). Work started on other
// queues holds it weakly and ends quietly once the client is gone. The
// delegate is held weakly. Releasing the client closes its link and every
// server socket it opened.
class TolvClient : public PUConnectionDelegate,
                   public RkMessgeParserDelegate,
                   public ConnectTolvServerDelegate,
                   public OWSPLink,
                   public std::enable_shared_from_this<TolvClient> {
public:
    // Connect modes (getConnectMode): TolvClient::kRelay and so on.
    using Mode = connectmode::Mode;
    using enum connectmode::Mode;

    // What the client knows of its attempt, all under one lock.
    struct State {
        std::string deviceUdid;
        std::string queryId;
        std::string timestr;
        std::string vsHost;  // the relay/look-up server asked
        int vsPort = 0;
        std::string groupAddr;
        int groupPort = 0;
        std::string tcpIP;  // the TCP link's address
        int tcpPort = 0;
        std::string udpIP;  // the UDT link's address
        int udpPort = 0;
        std::weak_ptr<TolvClientDelegate> delegate;  // Not owned.
        std::weak_ptr<DeviceClientDelegate> client;  // Not owned.
        std::weak_ptr<void> tolvclient;              // Not owned.
    };
    // A copy of the state, taken under its lock.
    State snapshot() const;

    // init: builder, reader, the queue "com.lumaro.udpsocket", the time tag,
    // and (on the global queue) one TCP connection to each server.
    static std::shared_ptr<TolvClient> create();
    ~TolvClient() override;
    TolvClient(const TolvClient&) = delete;
    TolvClient& operator=(const TolvClient&) = delete;

    // ---- entry points (block the caller)
    // startConnect:shouldSearchLan:host:andport:
    void startConnectShouldSearchLan(const std::string& uid, bool searchLan, const std::string& host, int port);
    void startConnectJustForIP(const std::string& ip, uint16_t port);
    void startConnectJustForLanTCP(const std::string& ip, uint16_t port);
    void startConnectJustForLan(const std::string& ip, uint16_t port);
    // startConnectWithQuery:host:port:mode:vshost:
    void startConnectWithQuery(const std::string& uid, const std::string& host, uint16_t port, int mode,
                               const std::string& vshost);
    // startConnect:port:isudt:socketfd:currentMode: with isudt, a punched
    // socket given here belongs to the client from then on; without, the
    // socket is neither used nor closed.
    void startConnectPort(const std::string& host, uint16_t port, bool isudt, int socketfd, int currentMode);
    void startConnectjustFoward(const std::string& uid, const std::string& serverIP);
    void startConnectjustHole(const std::string& uid, const std::string& serverIP);
    void stopConnect();

    void sendMessage(const std::vector<uint8_t>& data);
    void sendAudioMessage(const std::vector<uint8_t>& data);
    void queryStatus();
    void LanTimeOut();
    int getConnectMode() const { return currentConnectMode_.load(); }
    int getDeviceConFD() const;

    // ---- server requests and searches
    void searchInLAN();
    // Runs on the global queue.
    void searchinInterNet(const std::string& uid);
    bool setupOpenConn(const std::string& uid);
    bool setupUDTFailedConn(const std::string& uid);
    bool setupUPNPFailedConn(const std::string& uid);
    // A blocking TCP socket to the server's relay port, or 0.
    static int connectServer(const std::string& host) { return RelayServerSockets::connect(host); }
    // The client's time tag: local date and time and a random number.
    static std::string stringWithCurrentTime();

    // ---- accessors
    std::shared_ptr<TolvClientDelegate> TolvClientdelegate() const { return snapshot().delegate.lock(); }
    void setTolvClientdelegate(const std::shared_ptr<TolvClientDelegate>& d) { update([&](State& s) { s.delegate = d; }); }
    std::string deviceUdid() const { return snapshot().deviceUdid; }
    void setDeviceUdid(const std::string& uid) { update([&](State& s) { s.deviceUdid = uid; }); }
    std::shared_ptr<void> tolvclient() const { return snapshot().tolvclient.lock(); }
    void setTolvclient(const std::shared_ptr<void>& owner) { update([&](State& s) { s.tolvclient = owner; }); }
    std::string timestr() const { return snapshot().timestr; }
    void setTimestr(const std::string& t) { update([&](State& s) { s.timestr = t; }); }
    bool justQuery() const { return justQuery_; }
    void setJustQuery(bool v) { justQuery_ = v; }
    std::string tcpIP() const { return snapshot().tcpIP; }
    int tcpPort() const { return snapshot().tcpPort; }
    std::string udpIP() const { return snapshot().udpIP; }
    int udpPort() const { return snapshot().udpPort; }
    std::string vsHost() const { return snapshot().vsHost; }
    void setVsHost(const std::string& host) { update([&](State& s) { s.vsHost = host; }); }
    std::string queryId() const { return snapshot().queryId; }
    bool isUDTConnect() const { return isUDTConnect_; }
    int channelMode() const { return channelMode_; }
    void setChannelMode(int m) { channelMode_ = m; }
    bool isPreCon() const { return isPreCon_; }
    void setIsPreCon(bool v) { isPreCon_ = v; }
    int tag() const override { return tag_; }
    void setTag(int t) { tag_ = t; }
    long deviceConnectionTag() const { return deviceConnectionTag_; }
    void setDeviceConnectionTag(long t) { deviceConnectionTag_ = t; }
    MediaFrame& frame() override { return frame_; }
    std::shared_ptr<DeviceClientDelegate> client() const override { return snapshot().client.lock(); }
    void setClient(const std::shared_ptr<DeviceClientDelegate>& c) { update([&](State& s) { s.client = c; }); }
    bool needRecon() const { return needRecon_; }
    int drectConTimes() const { return dropSteps_.tcpReopens(); }
    int udtrecConTimes() const { return dropSteps_.udtReopens(); }
    // Reopenings of the current attempt's link so far (spaced by a pause).
    int reopenAttempts() const { return reopenPause_.attempts(); }
    int kindofquery() const { return kindofquery_; }
    PUConnectionPtr deviceConnection() const { return currentLink(); }
    int currentsocketfd() const { return servers_->current(); }
    int currentsocket(int index) const { return servers_->startup(index); }  // currentsocket1 .. 4 as 0 .. 3
    const DispatchQueuePtr& socketconnectQueue() const { return socketconnectQueue_; }

    // ---- PUConnectionDelegate (the drop policy and UDT reopening)
    void connectionDidConnectToHost(PUConnection& connection, const std::string& host, uint16_t port) override;
    int connectionDidReceiveMessage(PUConnection& connection, const std::vector<uint8_t>& buffer) override;
    void connectionDidReceiveUrlResponse(PUConnection&, const std::vector<uint8_t>&) override {}
    void connectionDidDisconnect(PUConnection& connection, const Error& error) override;
    void reconnectUDT(PUConnection& connection) override;
    void connectiondidFailedUDT(PUConnection& connection) override;

    // ---- RkMessgeParserDelegate
    void tolvOpenVSConnResponseFromParser(RkMessageParser& parser, int queryResult, const std::string& address,
                                          uint16_t port, uint32_t connectionId, const RkDeviceId& deviceId,
                                          int connectMode) override;
    void tolvSearchDeviceResponseFromParser(RkMessageParser& parser, const RkDeviceId& deviceId, uint16_t udtPort,
                                            const std::string& address, uint16_t tcpPort) override;

    // ---- hole punching (HolePuncher's outcome, as ServerUdp reports it)
    void didHole(bool success, int udpSocketFd, const std::optional<std::string>& holeIP, int holePort,
                 bool isInner);

    // ---- ConnectTolvServerDelegate (a standing relay-server connection): answers go to the reader
    void connectTolvServerDidConnectToHost(ConnetTolvServer&, const std::string&, uint16_t) override {}
    void connectTolvServerDidReadData(ConnetTolvServer&, const std::vector<uint8_t>& data, long) override {
        msgParser_.parseMsgData(data, "", 0);
    }
    void connectTolvServerWithError(ConnetTolvServer&, const Error&) override {}

private:
    struct Private {};

public:
    explicit TolvClient(Private);

private:
    // The drop policy; connection null: the link the client just released.
    void dropPolicy(const PUConnection* connection, const Error& error);
    bool networkUp() const;  // isHaveNet or isWIFI
    void reportDisconnect(const Error& error);
    void reportConnect();
    void reportQueryStatus(bool online);
    std::shared_ptr<TolvClientDelegate> delegateRef() const { return TolvClientdelegate(); }
    // Changes the state under its lock: change(State&).
    template <class Change>
    void update(Change&& change) {
        std::lock_guard<std::mutex> g(mutex_);
        change(state_);
    }

    PUConnectionPtr currentLink() const { return link_.current(); }
    // Makes `link` the current link; the one before is closed and released.
    // Once stopped, a new link is refused (closed at once): false.
    bool installLink(PUConnectionPtr link);
    // A new attempt of the owner: clears the stop, voids pending reopenings.
    void beginAttempt();
    // Runs `step` on `queue` after the next reopen pause, unless the client
    // was stopped or started again meanwhile.
    void afterReopenPause(const DispatchQueuePtr& queue, std::function<void(TolvClient&)> step);
    // Closes and releases the current link.
    void dropLink();
    bool isCurrent(const PUConnection* connection) const { return link_.isCurrent(connection); }
    // A new TCP link made current and started; whether it started.
    bool openTcp(const std::string& ip, uint16_t port, int readTimeout);
    // A new UDT link made current and connected (blocking); whether it opened.
    bool openUdt(const std::string& ip, uint16_t port, int punchedFd);
    // Opens the link an open answer (or a stored look-up) named.
    void openByAnswer(int mode, const std::string& address, uint16_t port);
    void handleUdtOpen(bool opened, const std::string& ip, uint16_t port);
    void lanMatch(const TolvLanSearch::Answer& answer);
    // A TCP link opened to ip:port: the path is kept and reopened on drops.
    void keepTcpPath(const std::string& ip, uint16_t port);
    void reopenTcp();
    void reopenUdt();
    void holePunch();
    void holePunched(const HolePuncher::Hole& hole);
    void holeFailed();

    // beginAttempt, then whether the network is up; if not, reports NETErr.
    bool beginOnlineAttempt();
    // A server request; an answer goes to the reader, a request that found
    // no socket reports NETErr.
    RelayServerSockets::Reply askServer(const RelayServerSockets::Request& request);

    RkMessageBuilder msgBuilder_;
    RkMessageParser msgParser_;
    DispatchQueuePtr socketconnectQueue_;
    MediaFrame frame_;
    // Shared with the start-up connects still under way on the global queue.
    std::shared_ptr<RelayServerSockets> servers_ = std::make_shared<RelayServerSockets>();
    HolePuncher holePuncher_;

    mutable std::mutex mutex_;  // the state
    State state_;
    TolvLinkSlot link_;

    std::atomic<int> currentConnectMode_{kLanSearching};
    std::atomic<bool> needRecon_{false};
    std::atomic<bool> linkConnected_{false};  // the current TCP link reported its connect
    std::atomic<bool> justQuery_{false};
    std::atomic<int> kindofquery_{0};
    std::atomic<bool> isUDTConnect_{false};
    std::atomic<bool> isPreCon_{false};
    std::atomic<int> channelMode_{channelmode::kLive};
    std::atomic<int> tag_{0};
    std::atomic<long> deviceConnectionTag_{-1};
    std::atomic<bool> stopped_{false};
    std::atomic<uint64_t> attempt_{0};  // raised by every start and stop
    ReconnectPause reopenPause_;
    LinkDropPolicy dropSteps_;  // the step for each drop, and the reopenings in a row
};

}  // namespace lumora
