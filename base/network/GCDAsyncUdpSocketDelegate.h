#pragma once

#include <any>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Error.h"

namespace lumora {

class GCDAsyncUdpSocket;

// What a GCDAsyncUdpSocket tells its owner. Every callback is optional and
// runs on the socket's delegate queue. The socket holds its delegate (an
// owning reference) and hands each callback the delegate that was set when
// the event was decided on the socket queue: a delegate replaced after that
// moment still receives the call, and no callback ever reaches a destroyed
// delegate.
//
// `sock` is the socket, alive while the callback runs; it is null only in
// the udpSocketDidClose that a socket's destruction sends (the object is gone
// by then).
class GCDAsyncUdpSocketDelegate {
public:
    using SocketPtr = std::shared_ptr<GCDAsyncUdpSocket>;
    using ByteBuffer = std::vector<uint8_t>;
    virtual ~GCDAsyncUdpSocketDelegate() = default;

    // A queued connect succeeded; address is a copy of the peer's address.
    virtual void udpSocketDidConnectToAddress(const SocketPtr& sock, const ByteBuffer& address) {
        (void)sock;
        (void)address;
    }
    // A queued connect failed.
    virtual void udpSocketDidNotConnect(const SocketPtr& sock, const Error& error) {
        (void)sock;
        (void)error;
    }
    // A datagram was handed to the system, or the send filter dropped it.
    virtual void udpSocketDidSendDataWithTag(const SocketPtr& sock, long tag) {
        (void)sock;
        (void)tag;
    }
    // A datagram could not be sent (resolution, destination, time-out, or a
    // failure of the send call that concerns only this datagram).
    virtual void udpSocketDidNotSendDataWithTag(const SocketPtr& sock, long tag, const Error& error) {
        (void)sock;
        (void)tag;
        (void)error;
    }
    // A datagram arrived and passed the receive filter; filterContext is what
    // the filter set (empty without a filter). The bytes are the delegate's own.
    virtual void udpSocketDidReceiveData(const SocketPtr& sock, ByteBuffer data, const ByteBuffer& address,
                                         const std::any& filterContext) {
        (void)sock;
        (void)data;
        (void)address;
        (void)filterContext;
    }
    // The sockets closed after having been created; error empty for an
    // orderly close.
    virtual void udpSocketDidClose(const SocketPtr& sock, const Error& error) {
        (void)sock;
        (void)error;
    }
};

}  // namespace lumora
