#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace lumora {

class AsyncUdpSocket;

// What an AsyncUdpSocket tells its owner. Every callback runs on the socket's
// serving run loop, with the socket alive for the whole call. All callbacks
// are optional: the default bodies behave exactly as a delegate without the
// callback (nothing happens; a datagram is accepted).
class AsyncUdpSocketDelegate {
public:
    using ByteBuffer = std::vector<uint8_t>;
    virtual ~AsyncUdpSocketDelegate() = default;

    // A datagram was handed to the system.
    virtual void onUdpSocketDidSendDataWithTag(AsyncUdpSocket& sock, long tag) {
        (void)sock;
        (void)tag;
    }
    // A datagram was not sent: the send call failed or its time-out passed.
    virtual void onUdpSocketDidNotSendDataWithTag(AsyncUdpSocket& sock, long tag, const Error& error) {
        (void)sock;
        (void)tag;
        (void)error;
    }
    // A datagram arrived for the current receive request (tag). Answer true to
    // take it (the request is done), false to refuse it: the request stays
    // current and the next datagram is offered under the same tag.
    virtual bool onUdpSocketDidReceiveData(AsyncUdpSocket& sock, const ByteBuffer& data, long tag,
                                           const std::string& host, uint16_t port) {
        (void)sock;
        (void)data;
        (void)tag;
        (void)host;
        (void)port;
        return true;
    }
    // A receive request failed or its time-out passed.
    virtual void onUdpSocketDidNotReceiveDataWithTag(AsyncUdpSocket& sock, long tag, const Error& error) {
        (void)sock;
        (void)tag;
        (void)error;
    }
    // The socket was closed (by close() or a close-after operation); arrives
    // on a later turn of the run loop, and never once the socket is destroyed.
    virtual void onUdpSocketDidClose(AsyncUdpSocket& sock) { (void)sock; }
};

}  // namespace lumora
