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

#include "base/link/ConnectTolvServerDelegate.h"
#include "base/link/HoleDelegate.h"
#include "base/decoder/MediaFrame.h"
#include "base/link/OWSPLink.h"
#include "base/link/PUConnection.h"
#include "base/link/PUConnectionDelegate.h"
#include "base/link/ReconnectPause.h"
#include "base/link/RkMessageBuilder.h"
#include "base/link/RkMessageParser.h"
#include "base/link/RkMessgeParserDelegate.h"
#include "base/link/ServerUdp.h"
#include "base/link/TolvClientDelegate.h"
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
// Threads: entry points block the caller (server exchanges, UDT connects,
// hole punching: normally the global queue). Link callbacks arrive on the
// link's queues. Shared state is guarded (texts and the link under a lock
// never held while calling out; numbers atomic), so callbacks from any queue
// are safe; the owner still must not run two attempts at once.
//
// Lifetime: always held by a shared_ptr (create()). Work started on other
// queues holds it weakly and ends quietly once the client is gone. The
// delegate is held weakly. Releasing the client closes its link and every
// server socket it opened.
class TolvClient : public PUConnectionDelegate,
                   public RkMessgeParserDelegate,
                   public HoleDelegate,
                   public ConnectTolvServerDelegate,
                   public OWSPLink,
                   public std::enable_shared_from_this<TolvClient> {
public:
    // Connect modes (getConnectMode).
    enum Mode : int {
        kStopped = -2,
        kLanSearching = -1,
        kServerTcp = 0,   // TCP to the address a server gave; 5 s reads
        kRelay = 1,       // TCP to the relay a server gave
        kServerUdt = 2,   // UDT to the address a server gave
        kLanFound = 3,
        kLanFailed = 4,
        kInnerUdt = 5,    // UDT to the device's LAN address
        kHoleUdt = 6,     // UDT through a punched hole
        kDirectTcp = 7,   // TCP to a configured address; 10 s reads
        kLanTcp = 8,      // TCP to an address found in the LAN
    };

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
    static int connectServer(const std::string& host);
    // The client's time tag: local date and time and a random number.
    static std::string stringWithCurrentTime();

    // ---- accessors
    std::shared_ptr<TolvClientDelegate> TolvClientdelegate() const;
    void setTolvClientdelegate(const std::shared_ptr<TolvClientDelegate>& delegate);
    std::string deviceUdid() const;
    void setDeviceUdid(const std::string& uid);
    std::shared_ptr<void> tolvclient() const { return tolvclient_.lock(); }
    void setTolvclient(const std::shared_ptr<void>& owner) { tolvclient_ = owner; }
    std::string timestr() const;
    void setTimestr(const std::string& t);
    bool justQuery() const { return justQuery_; }
    void setJustQuery(bool v) { justQuery_ = v; }
    std::string tcpIP() const;
    int tcpPort() const { return tcpPort_; }
    std::string udpIP() const;
    int udpPort() const { return udpPort_; }
    std::string vsHost() const;
    void setVsHost(const std::string& host);
    std::string queryId() const;
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
    std::shared_ptr<DeviceClientDelegate> client() const override;
    void setClient(const std::shared_ptr<DeviceClientDelegate>& client);
    bool needRecon() const { return needRecon_; }
    int drectConTimes() const { return drectConTimes_; }
    int udtrecConTimes() const { return udtrecConTimes_; }
    // Reopenings of the current attempt's link so far (spaced by a pause).
    int reopenAttempts() const { return reopenPause_.attempts(); }
    int kindofquery() const { return kindofquery_; }
    PUConnectionPtr deviceConnection() const;
    int currentsocketfd() const;
    int currentsocket(int index) const;  // currentsocket1 .. 4 as 0 .. 3
    const DispatchQueuePtr& socketconnectQueue() const { return socketconnectQueue_; }

    // ---- PUConnectionDelegate (the drop policy and UDT reopening)
    void connectionDidConnectToHost(PUConnection& connection, const std::string& host, uint16_t port) override;
    int connectionDidReceiveMessage(PUConnection& connection, const std::vector<uint8_t>& buffer) override;
    void connectionDidReceiveUrlResponse(PUConnection& connection, const std::vector<uint8_t>& data) override;
    void connectionDidDisconnect(PUConnection& connection, const Error& error) override;
    void reconnectUDT(PUConnection& connection) override;
    void connectiondidFailedUDT(PUConnection& connection) override;

    // ---- RkMessgeParserDelegate
    void tolvOpenVSConnResponseFromParser(RkMessageParser& parser, int queryResult, const std::string& address,
                                          uint16_t port, uint32_t connectionId, const RkDeviceId& deviceId,
                                          int connectMode) override;
    void tolvSearchDeviceResponseFromParser(RkMessageParser& parser, const RkDeviceId& deviceId, uint16_t udtPort,
                                            const std::string& address, uint16_t tcpPort) override;

    // ---- HoleDelegate
    void didHole(bool success, int udpSocketFd, const std::optional<std::string>& holeIP, int holePort,
                 bool isInner) override;

    // ---- ConnectTolvServerDelegate (a standing relay-server connection)
    void connectTolvServerDidConnectToHost(ConnetTolvServer& server, const std::string& host,
                                           uint16_t port) override;
    void connectTolvServerDidReadData(ConnetTolvServer& server, const std::vector<uint8_t>& data,
                                      long tag) override;
    void connectTolvServerWithError(ConnetTolvServer& server, const Error& error) override;

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
    std::shared_ptr<TolvClientDelegate> delegateRef() const;

    PUConnectionPtr currentLink() const;
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
    bool isCurrent(const PUConnection* connection) const;
    // A new TCP link made current and started; whether it started.
    bool openTcp(const std::string& ip, uint16_t port, int readTimeout);
    // A new UDT link made current and connected (blocking); whether it opened.
    bool openUdt(const std::string& ip, uint16_t port, int punchedFd);
    // Opens the link an open answer (or a stored look-up) named.
    void openByAnswer(int mode, const std::string& address, uint16_t port);
    void handleUdtOpen(bool opened, const std::string& ip, uint16_t port);
    void lanMatch(uint16_t udtPort, const std::string& address, uint16_t tcpPort);
    void reopenTcp();
    void reopenUdt();
    void holePunch();

    // Server sockets.
    void replaceCurrentSocket(int fd);
    int serverIndex(const std::string& host) const;  // 0..3; unknown hosts count as server 4
    int sendRequest(int fd, const std::vector<uint8_t>& msg, int ms);
    int receiveAnswer(int fd, std::vector<uint8_t>& buf, int ms);
    void handAnswer(const std::vector<uint8_t>& buf, int n);
    void startServerConnects();

    RkMessageBuilder msgBuilder_;
    RkMessageParser msgParser_;
    DispatchQueuePtr socketconnectQueue_;
    ServerUdp serverUDP_;
    MediaFrame frame_;

    mutable std::mutex mutex_;  // texts, the link, the delegates
    std::string vsHost_;
    std::string groupAddr_;
    std::string queryId_;
    std::string tcpIP_;
    std::string udpIP_;
    std::string deviceUdid_;
    std::string timestr_;
    PUConnectionPtr deviceConnection_;
    std::weak_ptr<TolvClientDelegate> delegate_;  // Not owned.
    std::weak_ptr<DeviceClientDelegate> client_;  // Not owned.
    std::weak_ptr<void> tolvclient_;              // Not owned.

    mutable std::mutex fdMutex_;  // server sockets
    int currentsocketfd_ = 0;
    std::array<int, 4> currentsocket_{0, 0, 0, 0};
    bool destroyed_ = false;

    std::atomic<int> vsPort_{0};
    std::atomic<int> groupPort_{0};
    std::atomic<int> currentConnectMode_{kLanSearching};
    std::atomic<bool> needRecon_{false};
    std::atomic<bool> linkConnected_{false};  // the current TCP link reported its connect
    std::atomic<int> tcpPort_{0};
    std::atomic<int> udpPort_{0};
    std::atomic<int> drectConTimes_{0};
    std::atomic<int> udtrecConTimes_{0};
    std::atomic<bool> justQuery_{false};
    std::atomic<int> kindofquery_{0};
    std::atomic<bool> isUDTConnect_{false};
    std::atomic<bool> isPreCon_{false};
    std::atomic<int> channelMode_{0};
    std::atomic<int> tag_{0};
    std::atomic<long> deviceConnectionTag_{-1};
    std::atomic<bool> stopped_{false};
    std::atomic<uint64_t> attempt_{0};  // raised by every start and stop
    ReconnectPause reopenPause_;
};

}  // namespace lumora
