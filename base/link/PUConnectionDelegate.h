#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace lumora {

class PUConnection;

// What a device connection tells its owner (the peer-to-peer client). Every
// callback has a default; which queue each runs on is given beside it.
class PUConnectionDelegate {
public:
    virtual ~PUConnectionDelegate() = default;

    // TCP: the link stands ("com.lumora.socket").
    virtual void connectionDidConnectToHost(PUConnection& connection, const std::string& host, uint16_t port) {
        (void)connection;
        (void)host;
        (void)port;
    }
    // A chunk of `length` bytes was appended to the receive buffer (the
    // receiving queue).
    virtual void connectionDidReciveDatalength(PUConnection& connection, int length) {
        (void)connection;
        (void)length;
    }
    // The consumer: offered the whole receive buffer right after each chunk,
    // answers how many bytes it used: more than 0 removes that many from the
    // front (all when more than the buffer holds), less than 0 empties the
    // buffer, 0 keeps everything until more arrives. A delegate without a
    // consumer lets the buffer be emptied, so unread bytes never pile up.
    virtual int connectionDidReceiveMessage(PUConnection& connection, const std::vector<uint8_t>& buffer) {
        (void)connection;
        (void)buffer;
        return -1;
    }
    // TCP: the link closed; error is empty after a close that was asked for
    // ("com.lumora.socket").
    virtual void connectionDidDisconnect(PUConnection& connection, const Error& error) {
        (void)connection;
        (void)error;
    }
    // UDT: receiving failed or timed out while the link was meant to run
    // ("com.lumora.udt"); never after close().
    virtual void reconnectUDT(PUConnection& connection) { (void)connection; }
    // UDT: a send failed; the connection is already closed. Runs on the
    // global queue, never on the thread that sent, so it may block.
    virtual void connectiondidFailedUDT(PUConnection& connection) { (void)connection; }
    // HTTP: data arrived (a worker of the global queue).
    virtual void connectionDidReceiveUrlResponse(PUConnection& connection, const std::vector<uint8_t>& data) {
        (void)connection;
        (void)data;
    }
};

}  // namespace lumora
