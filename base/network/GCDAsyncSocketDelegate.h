#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/Error.h"

namespace lumora {

class GCDAsyncSocket;

// What a GCDAsyncSocket tells its owner. Every callback is optional and runs
// on the socket's delegate queue, never on the socket queue; each passes the
// socket, which stays alive while the callback runs. A callback that was on
// its way when the delegate was cleared, replaced or destroyed is dropped.
//
// A callback may arrive after the state it reports changed again (a read
// after a close, for example): the socket queue never waits for the
// delegate queue.
class GCDAsyncSocketDelegate {
public:
    using SocketPtr = std::shared_ptr<GCDAsyncSocket>;
    virtual ~GCDAsyncSocketDelegate() = default;

    // A listening socket accepted a connection: the socket queue for the new
    // socket, or nullptr to let it make its own.
    virtual DispatchQueuePtr newSocketQueueForConnectionFromAddress(const std::vector<uint8_t>& address,
                                                                    const SocketPtr& sock) {
        (void)address;
        (void)sock;
        return nullptr;
    }
    // The accepted socket exists; keep newSocket to keep it open.
    virtual void socketDidAcceptNewSocket(const SocketPtr& sock, const SocketPtr& newSocket) {
        (void)sock;
        (void)newSocket;
    }
    // The connection stands; peer address text and port.
    virtual void socketDidConnectToHost(const SocketPtr& sock, const std::string& host, uint16_t port) {
        (void)sock;
        (void)host;
        (void)port;
    }
    // A read finished. The bytes are the delegate's own.
    virtual void socketDidReadData(const SocketPtr& sock, std::vector<uint8_t> data, long tag) {
        (void)sock;
        (void)data;
        (void)tag;
    }
    // An exact or terminator read received partLength bytes but is not done.
    virtual void socketDidReadPartialDataOfLength(const SocketPtr& sock, size_t partialLength, long tag) {
        (void)sock;
        (void)partialLength;
        (void)tag;
    }
    // A write finished: all its bytes went to the connection.
    virtual void socketDidWriteDataWithTag(const SocketPtr& sock, long tag) {
        (void)sock;
        (void)tag;
    }
    // A write sent partialLength more bytes but is not done.
    virtual void socketDidWritePartialDataOfLength(const SocketPtr& sock, size_t partialLength, long tag) {
        (void)sock;
        (void)partialLength;
        (void)tag;
    }

    // Time-out questions, asked only when implementsShouldTimeout...()
    // answers true: seconds to extend the read (write) by; 0 or less closes
    // the socket with a time-out error. Without them every time-out closes.
    virtual bool implementsShouldTimeoutRead() const { return false; }
    virtual double socketShouldTimeoutReadWithTag(const SocketPtr& sock, long tag, double elapsed, size_t bytesDone) {
        (void)sock;
        (void)tag;
        (void)elapsed;
        (void)bytesDone;
        return 0;
    }
    virtual bool implementsShouldTimeoutWrite() const { return false; }
    virtual double socketShouldTimeoutWriteWithTag(const SocketPtr& sock, long tag, double elapsed, size_t bytesDone) {
        (void)sock;
        (void)tag;
        (void)elapsed;
        (void)bytesDone;
        return 0;
    }

    // The peer closed its side while this side stays open for writing (only
    // with autoDisconnectOnClosedReadStream off).
    virtual void socketDidCloseReadStream(const SocketPtr& sock) { (void)sock; }
    // A started socket closed. err is empty for a requested close.
    virtual void socketDidDisconnect(const SocketPtr& sock, const Error& err) {
        (void)sock;
        (void)err;
    }
    // The TLS handshake finished.
    virtual void socketDidSecure(const SocketPtr& sock) { (void)sock; }
};

}  // namespace lumora
