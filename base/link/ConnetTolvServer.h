#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/link/ConnectTolvServerDelegate.h"
#include "base/network/GCDAsyncSocketDelegate.h"

namespace lumora {

class GCDAsyncSocket;

// One standing TCP connection to a relay/look-up server. It reads without
// end and hands every chunk to its delegate, and reconnects by itself when
// the link drops: 60 s later when the server cannot be found or refuses
// (or the socket reports its "other" failure), 0.1 s later otherwise (both
// scaled by Config::timeScale). A close it asked for itself is not followed
// by a reconnect. The delegate is not told of drops; it learns of trouble
// only through "NetErr" 1003 when it sends without a network.
//
// Threads: socket callbacks, delegate calls and reconnects run on the main
// queue; the waits before a reconnect are timers there, so the main run loop
// never blocks. Public calls may come from any thread.
//
// Lifetime: always held by a shared_ptr (create()); TxConManager keeps the
// connections it makes for the life of the process. The delegate is held
// weakly: a delegate that is gone simply gets no callbacks.
class ConnetTolvServer : public GCDAsyncSocketDelegate, public std::enable_shared_from_this<ConnetTolvServer> {
public:
    using DelegatePtr = std::shared_ptr<ConnectTolvServerDelegate>;

    // init: a socket with this object as delegate on the main queue.
    static std::shared_ptr<ConnetTolvServer> create();
    // initWithDelegate:Host:port: init, delegate, connectToHost.
    static std::shared_ptr<ConnetTolvServer> create(const DelegatePtr& delegate, const std::string& host,
                                                    uint16_t port);
    ~ConnetTolvServer() override;
    ConnetTolvServer(const ConnetTolvServer&) = delete;
    ConnetTolvServer& operator=(const ConnetTolvServer&) = delete;

    // Stores host and port and starts a connect without time-out; answers
    // whether it started.
    bool connectToHost(const std::string& host, uint16_t port);
    // Without a network and with a delegate: "NetErr" 1003 to the delegate
    // (on the main queue) and nothing sent. Otherwise a write with a 10 s
    // time-out, tag 1 (dropped by the socket while it is not connected).
    void sendMessage(const std::vector<uint8_t>& data);
    // Starts the connect again to the stored host and port.
    void reconnect();

    std::string tolvServerIP() const;
    uint16_t tolvserverport() const;
    DelegatePtr delegate() const;
    void setDelegate(const DelegatePtr& delegate);
    bool connected() const { return connected_.load(); }

    // GCDAsyncSocketDelegate
    void socketDidConnectToHost(const SocketPtr& sock, const std::string& host, uint16_t port) override;
    void socketDidWriteDataWithTag(const SocketPtr& sock, long tag) override;
    void socketDidReadData(const SocketPtr& sock, std::vector<uint8_t> data, long tag) override;
    void socketDidDisconnect(const SocketPtr& sock, const Error& err) override;

    // Whether a drop with this error waits the long pause before reconnecting:
    // a host that cannot be found, a refused connection, or the socket
    // class's "other" failure (code 8).
    static bool isLongPauseError(const Error& err);

private:
    struct Private {};

public:
    explicit ConnetTolvServer(Private) {}

private:
    void queueRead();
    void scheduleReconnect(bool longPause);

    mutable std::mutex mutex_;
    std::shared_ptr<GCDAsyncSocket> socket_;
    std::string host_;
    uint16_t port_ = 0;
    std::weak_ptr<ConnectTolvServerDelegate> delegate_;  // Not owned.
    std::atomic<bool> connected_{false};
    std::atomic<bool> readOutstanding_{false};
    std::atomic<bool> reconnectPending_{false};
};

}  // namespace lumora
